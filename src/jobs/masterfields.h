#pragma once
// The fields of a stored job, once: each one's database column, its place in the data file's
// "QorvexMaster" line, and how it is read back from a data file and from the job file.
#include "common/bcommon.h"
#include "common/values.h"
#include "platform/database.h"

#include <QStringList>
#include <span>
#include <variant>

class CCategoryValue;
class CPrintJobInfo;

// Turns field texts into numbers and dates, remembering the first conversion that failed.
class CFieldConverter {
public:
    using Parser = bool (*)(const QString&, double*);
    CFieldConverter(Parser parse, CError& err) : m_parse(parse), m_err(err) {}
    bool Failed() const { return m_failed; }
    bool IsNumber(const QString& t, double* v) const { return m_parse(t, v); }
    double NumberOr(const QString& t, double fallback) const;
    // A whole number (halves to even) when numeric, else fallback.
    qint32 WholeOr(const QString& t, qint32 fallback) { return Convert(t, fallback, false); }
    // The integer part when numeric, else fallback.
    qint32 IntPartOr(const QString& t, qint32 fallback) { return Convert(t, fallback, true); }
    // A whole number where one must be: anything else is a type mismatch.
    qint32 Whole(const QString& t);
    qint32 Checked(double v);
    bool Date(const QString& t, CDate* out);
    void Fail(int number, const QString& description);

private:
    qint32 Convert(const QString& t, qint32 fallback, bool intPart);
    Parser m_parse;
    CError& m_err;
    bool m_failed = false;
};

// One field's text as a reader hands it over.
struct CFieldText {
    QString text;
    bool present = true; // job file: the line exists
    CFieldConverter& conv;
    const QStringList* jobLines = nullptr; // job file: all its lines
};
// The longest text a job file or data file gives one field (document name, path, value).
inline constexpr int kMaxText = 253;
using FieldReader = void (*)(CPrintJobInfo&, CFieldText&);

struct CMasterField {
    // The record's member, or what the store puts into a column the record has no member for.
    using Member = std::variant<std::monostate, QString CPrintJobInfo::*, qint32 CPrintJobInfo::*,
                                double CPrintJobInfo::*, CDate CPrintJobInfo::*, QVariant (*)()>;
    const char* name; // the database column, named as the record's member
    Platform::ColumnType type;
    int size;             // text columns: characters
    Member member;        // none: the automatic key
    bool upgrade;         // added to an older database's Master when missing
    FieldReader fromData; // none: not in the data file
    int sinceVersion;     // the data-file format version that brought the field
    int jobLine;          // the job file's line, 0 when the field comes from no line
    FieldReader fromJob;  // none: the job file leaves the field as the data file had it
};

// In column order; the data file's fields are the ones with a reader, in the same order.
std::span<const CMasterField> MasterFields();
// The width of Detail's ValueText: the longest value text a job can be stored with.
constexpr int kValueTextWidth = 255;
// text as the Master column of that name keeps it: cut to the column's width, the same on
// every database engine.
QString MasterText(const char* column, const QString& text);
// The columns of both tables as the schema declares them.
QList<Platform::ColumnDef> MasterColumns();
QList<Platform::ColumnDef> DetailColumns();
// What the store writes into a Master row for this job (every column but the automatic key),
// each text cut to its column's width.
Platform::Row MasterRow(const CPrintJobInfo& job);
// The Detail row of one category value of the job stored as recordId, its texts cut alike.
Platform::Row DetailRow(qint64 recordId, const CCategoryValue& value);
// The fields after "QorvexMaster,2," as the data file writes them.
QString DataFileFields(const CPrintJobInfo& job);
// The job file line n as its reader sees it: past the end, the last line stands for the
// missing ones.
QString JobLine(const QStringList& lines, int n);
