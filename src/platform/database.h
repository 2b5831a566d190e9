#pragma once
// The job database: an SQLite file named by a path, or a PostgreSQL database named by a
// postgresql:// (or postgres://) URI. Only this file knows which one it talks to.
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>

namespace Platform {

// What a database name points at. A plain path is an SQLite file.
struct DatabaseTarget {
    enum class Kind { Invalid, SQLite, PostgreSQL };
    Kind kind = Kind::Invalid;
    QString path; // SQLite: the file
    QString host, database, user, password;
    int port = -1;
    QStringList options; // PostgreSQL: further libpq parameters, "key='value'"
    QString error;       // Invalid: why
};
DatabaseTarget ParseDatabaseTarget(const QString& target);

// One column of a row to insert. QDateTime values are stored as wall-clock times to the
// second, whatever their zone or offset.
struct Column {
    QString name;
    QVariant value;
};
using Row = QList<Column>;

// One column of a table as the schema declares it.
enum class ColumnType { Key, Whole, Number, DateTime, Text }; // Key: the automatic RecordID
struct ColumnDef {
    const char* name;
    ColumnType type;
    int size; // text: characters
};

// A Master row found by its user, document and submit time.
struct MasterMatch {
    qint64 recordID = 0;
    qint64 printJobID = 0;
    QString logMachine;
};

// Which jobs a report reads: submitted on the days from..to, both included (a null date leaves
// that side open), by user with letter case ignored (empty: every user).
struct JobSelection {
    QDate from, to;
    QString user;
};

// One row at a time of a reading too large to hold, forward only.
class RowCursor {
public:
    virtual ~RowCursor() = default;
    // The next row's values in the order asked for; false at the end or on a failure, which
    // Error() then names.
    virtual bool Next(QVariantList* row) = 0;
    virtual QString Error() const = 0;
};
// Gets each row of a reading; returns false to stop it.
using RowVisitor = std::function<bool(const QVariantList& row)>;
// Calls visit with each row of cursor until the end or until visit stops; false when the
// cursor failed.
bool ForEachRow(RowCursor& cursor, const RowVisitor& visit);

class JobDatabase {
public:
    JobDatabase();
    ~JobDatabase();
    JobDatabase(const JobDatabase&) = delete;
    JobDatabase& operator=(const JobDatabase&) = delete;

    enum class Access { ReadWrite, ReadOnly };
    // Opens an existing database; never creates one. ReadOnly reads the whole time it is open
    // in one snapshot, so that readings taken one after another agree.
    bool Open(const QString& target, Access access = Access::ReadWrite);
    void Close();
    bool IsOpen() const;
    // Why the last call failed, as the database or the driver said it.
    QString LastError() const;
    // Whether that failure concerns the database (out of reach, locked, read-only, no right,
    // full, damaged) rather than the values of one statement.
    bool LastErrorConcernsDatabase() const;

    // The column names of table, in table order; empty when it is missing or unreadable.
    QStringList Columns(const QString& table);
    // Adds a variable-length text column of at most size characters; the empty text is allowed.
    bool AddTextColumn(const QString& table, const QString& column, int size);
    // Adds what the duplicate test seeks by, when missing: a column keeping each job's user and
    // document with their letter case folded, and an index on the submit time and that key.
    bool AddSeekIndex();
    // Runs one statement that returns no rows.
    bool Execute(const QString& statement);

    // Jobs are stored a batch at a time: one transaction, in which each job is stored or
    // undone on its own.
    bool BeginBatch();
    bool CommitBatch();
    void RollbackBatch();
    // Holds the key of one job until the batch ends: another writer of the same key waits.
    // Waits for it only when told: a batch that holds keys must never wait for another (two
    // writers could wait on each other); busy then says the key is held elsewhere.
    bool LockJob(const QString& key, bool wait, bool* busy);
    // Opens one job within the batch; EndJob keeps what it stored, UndoJob drops it (false:
    // it could not, and the batch is lost).
    bool BeginJob();
    bool EndJob();
    bool UndoJob();

    // The Master rows with these keys (user and document letter case ignored, also beyond
    // ASCII), in the order they were stored; the database finds them by all three keys.
    QList<MasterMatch> SeekMaster(const QString& user, const QString& document,
                                  const QDateTime& submitted, bool* ok = nullptr);
    // Inserts a Master row and returns its automatic RecordID, or -1.
    qint64 InsertMaster(const Row& row);
    // Inserts Detail rows of the same columns, a statement for many.
    bool InsertDetails(const QList<Row>& rows);
    bool InsertDetail(const Row& row) { return InsertDetails({row}); }

    // Readings for reports, on a database opened ReadOnly; several may be open at once.
    // Dates come as QDateTime in UTC standing for the stored wall-clock time.
    // The Category names among the selected jobs' values, sorted.
    QStringList SelectedCategories(const JobSelection& selection, bool* ok);
    // The given Master columns of the selected jobs, by SubmitDT then RecordID.
    std::unique_ptr<RowCursor> SelectedJobs(const JobSelection& selection,
                                            const QList<ColumnDef>& columns);
    // RecordID, Category and ValueText of the selected jobs' values, in the order of
    // SelectedJobs and by Category within a job.
    std::unique_ptr<RowCursor> SelectedValues(const JobSelection& selection);
    // Grouped by the database: per distinct combination of the categories' texts (a job
    // without one counts under the empty text), sorted by them, the texts, the number of jobs,
    // the sum of their TotalPages, the sum in whole cents of their "Cost" numbers (each
    // rounded to the cent, halves away from zero) and the number of jobs without one.
    std::unique_ptr<RowCursor> SummarisedJobs(const JobSelection& selection,
                                              const QStringList& categories);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

enum class CreateResult { Created, TablesExist, Failed };
// Creates Master (with its automatic RecordID and the UserDocSubmitDT index) and Detail in
// target; an SQLite file is created when missing, a PostgreSQL database must exist. Refuses
// a database that already has either table. message says what was done or why not.
CreateResult CreateJobDatabase(const QString& target, const QList<ColumnDef>& master,
                               const QList<ColumnDef>& detail, QString* message);

} // namespace Platform
