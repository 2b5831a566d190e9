#pragma once
// Billing reports from the job database: every selected job as a CSV row with one column per
// category found among them, or the jobs, pages and money per combination of some categories'
// values.
#include "platform/database.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

// What to report.
struct CReportRequest {
    Platform::JobSelection selection;
    QStringList by; // empty: one row per job
};

// Takes the report's bytes in pieces; false when they could not be written.
using ReportSink = std::function<bool(const QByteArray& bytes)>;
// Told after each row written how many have been.
using ReportProgress = std::function<void(qint64 rows)>;

// A text cell that a spreadsheet would take for a formula (starting with =, +, -, @, TAB or
// CR) with a single quote before it; any other text as it is.
QString CsvText(const QString& text);
// One CSV record (RFC 4180): a field holding a comma, a quote, CR or LF, or starting with a
// single quote, is quoted, its quotes doubled; the record ends with CR LF.
QByteArray CsvRecord(const QStringList& fields);

// Writes the report on a database opened for reading to sink; false when the database could
// not be read or the sink failed, why then saying which.
bool WriteReport(Platform::JobDatabase& db, const CReportRequest& request, const ReportSink& sink,
                 const ReportProgress& progress, QString* why);

// A progress line for a long report: nothing in the first 2 seconds, then the count of rows
// at most twice a second, each line over the one before; Finish ends the line.
class CReportProgressLine {
public:
    explicit CReportProgressLine(std::function<void(const QString& text)> show);
    void Rows(qint64 rows);
    void Finish();

private:
    std::function<void(const QString&)> m_show;
    qint64 m_start;
    qint64 m_shownAt = -1;
    qint64 m_rows = 0;
};
