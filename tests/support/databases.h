#pragma once
// Real databases for the tests: a PostgreSQL server started by the test program itself, and a
// plain Qt SQL probe that reads and changes a job database behind the program's back.
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

// initdb and pg_ctl in a temporary folder, listening only on a Unix socket there (no TCP).
// Under root the server runs as the postgres system user, since initdb refuses root.
class PostgresServer {
public:
    PostgresServer() = default;
    ~PostgresServer() { Stop(); }
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // Starts the server. False with the reason; missing is set when PostgreSQL is not
    // installed (the caller skips), otherwise a failure is a test failure.
    bool Start(QString* why, bool* missing);
    // For benchmarks: this server started, or none after saying on standard error why its
    // runs are skipped.
    PostgresServer* StartOrSkip();
    void Stop();
    // A URI for database on this server as user, with the socket folder as libpq's host=.
    QString Uri(const QString& database, const QString& user = QStringLiteral("postgres")) const;
    // A URI naming a socket folder where no server listens.
    QString DownUri() const;
    // An empty database (created at the first call, emptied at later ones); its URI.
    QString NewDatabase(const QString& name);
    // Runs statements as the superuser in database.
    bool Sql(const QString& database, const QStringList& statements);

private:
    bool Run(const QString& tool, const QStringList& args, QString* output);

    QTemporaryDir m_dir;
    QString m_bin;
    bool m_asPostgres = false;
    bool m_running = false;
    QStringList m_created;
};

// Starts server in initTestCase (an installed server that does not start fails the test);
// why PostgreSQL rows are skipped, empty when it runs.
QString StartForTests(PostgresServer& server);

// The two databases of a test program: SQLite files and a server of its own, started by
// Start in initTestCase.
class TestDatabases {
public:
    void Start() { m_skipped = StartForTests(m_server); }
    PostgresServer& Server() { return m_server; }
    // Why "postgresql" rows are skipped; empty while the server runs.
    const QString& Skipped() const { return m_skipped; }
    // A new database of backend (the SQLite file, or name on the server) holding the job
    // tables, or (tables false) another table only; its target.
    QString New(const QString& backend, const QString& file, const QString& name = u"jobs"_s,
                bool tables = true);

private:
    PostgresServer m_server;
    QString m_skipped;
};
// The data column "backend" with the rows "sqlite" and "postgresql".
void BackendRows();
// The column "backend", then one QString column per name in columns; each row (fields
// separated by "¦", the first naming it) once for each backend.
void BackendTable(const char* columns, std::initializer_list<const char*> rows);
// Skips a "postgresql" row when the server of databases does not run.
#define NEED_BACKEND(databases, backend)                                                           \
    if ((backend) == u"postgresql"_s && !(databases).Skipped().isEmpty())                          \
    QSKIP(qPrintable((databases).Skipped()))
// The same in a test class whose databases are its member m_dbs.
#define NEED(backend) NEED_BACKEND(m_dbs, backend)

// Reads and changes a job database (a path or a URI) directly through Qt SQL.
class SqlProbe {
public:
    explicit SqlProbe(const QString& target);
    ~SqlProbe();
    bool IsPostgres() const { return m_postgres; }
    QString Error() const { return m_error; }
    // Every row of the query, one a line, its values as text joined by "|": NULL as "NULL",
    // dates as "yyyy-MM-dd HH:mm:ss", numbers in their shortest form; or "ERROR: " and why.
    QString Rows(const QString& sql);
    bool Exec(const QString& sql);

private:
    QString m_name;
    QString m_error;
    bool m_postgres = false;
};
