#pragma once
// The job database: an SQLite file named by a path, or a PostgreSQL database named by a
// postgresql:// (or postgres://) URI. Only this file knows which one it talks to.
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
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

class JobDatabase {
public:
    JobDatabase();
    ~JobDatabase();
    JobDatabase(const JobDatabase&) = delete;
    JobDatabase& operator=(const JobDatabase&) = delete;

    // Opens an existing database for reading and writing; never creates one.
    bool Open(const QString& target);
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
    // Adds the index on Master's submit time that the duplicate test seeks by, when missing.
    bool AddSubmitIndex();
    // Runs one statement that returns no rows.
    bool Execute(const QString& statement);

    // Starts the transaction of one job; another writer of the same key waits until it ends.
    bool BeginJob(const QString& key);
    bool CommitJob();
    void RollbackJob();

    // The Master rows with these keys (user and document letter case ignored), in the order
    // they were stored.
    QList<MasterMatch> SeekMaster(const QString& user, const QString& document,
                                  const QDateTime& submitted, bool* ok = nullptr);
    // Inserts a Master row and returns its automatic RecordID, or -1.
    qint64 InsertMaster(const Row& row);
    bool InsertDetail(const Row& row);

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
