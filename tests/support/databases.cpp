#include "databases.h"

#include "jobs/bdataaccess.h"
#include "platform/database.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>
#include <QVersionNumber>

#include <cstdio>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int kPort = 5432;

// The folder holding initdb and pg_ctl: on the PATH, else the newest Debian install.
QString FindPostgresBin() {
    auto usable = [](const QString& bin) {
        return QFile::exists(bin + u"/initdb"_s) && QFile::exists(bin + u"/pg_ctl"_s);
    };
    const QString onPath = QFileInfo(QStandardPaths::findExecutable(u"pg_ctl"_s)).absolutePath();
    if (!QStandardPaths::findExecutable(u"pg_ctl"_s).isEmpty() && usable(onPath)) return onPath;
    QString best;
    for (const QString& v :
         QDir(u"/usr/lib/postgresql"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (usable(u"/usr/lib/postgresql/%1/bin"_s.arg(v)) &&
            QVersionNumber::fromString(v) > QVersionNumber::fromString(best.section(u'/', 4, 4)))
            best = u"/usr/lib/postgresql/%1/bin"_s.arg(v);
    return best;
}
} // namespace

bool PostgresServer::Run(const QString& tool, const QStringList& args, QString* output) {
    QProcess p;
    QProcessEnvironment env;
    env.insert(u"PATH"_s, u"/usr/local/bin:/usr/bin:/bin"_s);
    env.insert(u"LC_ALL"_s, u"C"_s);
    env.insert(u"TZ"_s, u"UTC"_s);
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setWorkingDirectory(m_dir.path());
    const QString program = m_bin + QLatin1Char('/') + tool;
    if (m_asPostgres)
        p.start(u"runuser"_s, QStringList{u"-u"_s, u"postgres"_s, u"--"_s, program} + args);
    else
        p.start(program, args);
    const bool finished = p.waitForFinished(120000);
    if (output) *output = QString::fromLocal8Bit(p.readAll());
    return finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool PostgresServer::Start(QString* why, bool* missing) {
    m_bin = FindPostgresBin();
    *missing = m_bin.isEmpty();
    *why = u"the PostgreSQL server binaries (initdb, pg_ctl) are not installed"_s;
    if (*missing) return false;
    m_asPostgres = ::geteuid() == 0;
    if (m_asPostgres) {
        const struct passwd* pw = ::getpwnam("postgres");
        const QByteArray dir = QFile::encodeName(m_dir.path());
        *why = u"running as root, but the server folder cannot go to a postgres user"_s;
        if (!pw || ::chown(dir.constData(), pw->pw_uid, pw->pw_gid) != 0 ||
            ::chmod(dir.constData(), 0755) != 0)
            return false;
    }
    const QString data = m_dir.path() + u"/data"_s, log = m_dir.path() + u"/server.log"_s;
    const QString options = u"-k '%1' -c listen_addresses='' -p %2 -c fsync=off "
                            "-c full_page_writes=off -c max_connections=50"_s.arg(m_dir.path())
                                .arg(kPort);
    QString out;
    m_running =
        Run(u"initdb"_s,
            {u"-D"_s, data, u"-A"_s, u"trust"_s, u"-U"_s, u"postgres"_s, u"--no-locale"_s, u"-E"_s,
             u"UTF8"_s, u"--no-sync"_s},
            &out) &&
        Run(u"pg_ctl"_s,
            {u"-D"_s, data, u"-l"_s, log, u"-w"_s, u"-t"_s, u"60"_s, u"-o"_s, options, u"start"_s},
            &out);
    QFile logFile(log);
    logFile.open(QIODevice::ReadOnly);
    *why = u"the server did not start: "_s + out + QString::fromLocal8Bit(logFile.readAll());
    return m_running;
}

PostgresServer* PostgresServer::StartOrSkip() {
    QString why;
    bool missing = false;
    if (Start(&why, &missing)) return this;
    std::fprintf(stderr, "PostgreSQL runs skipped: %s\n", qPrintable(why));
    return nullptr;
}

void PostgresServer::Stop() {
    if (!m_running) return;
    Run(u"pg_ctl"_s,
        {u"-D"_s, m_dir.path() + u"/data"_s, u"-m"_s, u"immediate"_s, u"-w"_s, u"stop"_s}, nullptr);
    m_running = false;
}

QString PostgresServer::Uri(const QString& database, const QString& user) const {
    return u"postgresql://%1@/%2?host=%3&port=%4"_s.arg(
        user, database, QString::fromLatin1(QUrl::toPercentEncoding(m_dir.path())),
        QString::number(kPort));
}

QString PostgresServer::DownUri() const {
    return u"postgresql://postgres@/postgres?host=%1&port=%2"_s.arg(
        QString::fromLatin1(QUrl::toPercentEncoding(m_dir.path() + u"/nothing"_s)),
        QString::number(kPort));
}

bool PostgresServer::Sql(const QString& database, const QStringList& statements) {
    SqlProbe probe(Uri(database));
    bool ok = true;
    for (const QString& s : statements) ok = ok && probe.Exec(s);
    return ok;
}

QString PostgresServer::NewDatabase(const QString& name) {
    // Emptying the schema is much quicker than creating a database.
    if (m_created.contains(name))
        Sql(name, {u"DROP SCHEMA public CASCADE"_s, u"CREATE SCHEMA public"_s});
    else if (Sql(u"postgres"_s, {u"CREATE DATABASE "_s + name}))
        m_created << name;
    return Uri(name);
}

QString StartForTests(PostgresServer& server) {
    QString why;
    bool missing = false;
    if (server.Start(&why, &missing)) return {};
    if (!missing) QTest::qFail(qPrintable(why), __FILE__, __LINE__);
    return why;
}

void BackendRows() {
    QTest::addColumn<QString>("backend");
    QTest::newRow("sqlite") << u"sqlite"_s;
    QTest::newRow("postgresql") << u"postgresql"_s;
}

void BackendTable(const char* columns, std::initializer_list<const char*> rows) {
    Table(columns, rows, "backend", {u"sqlite"_s, u"postgresql"_s});
}

QString TestDatabases::New(const QString& backend, const QString& file, const QString& name,
                           bool tables) {
    const bool sqlite = backend == u"sqlite"_s;
    const QString target = sqlite ? file : m_server.NewDatabase(name);
    if (sqlite) QDir().mkpath(QFileInfo(file).path());
    QString message;
    if (!tables && sqlite) SqlProbe(target).Exec(u"CREATE TABLE other (x INTEGER)"_s);
    if (tables && CreateJobDatabase(target, &message) != Platform::CreateResult::Created)
        QTest::qFail(qPrintable(message), __FILE__, __LINE__);
    return target;
}

SqlProbe::SqlProbe(const QString& target) {
    static int counter = 0;
    m_name = u"probe-%1"_s.arg(++counter);
    const Platform::DatabaseTarget t = Platform::ParseDatabaseTarget(target);
    m_postgres = t.kind == Platform::DatabaseTarget::Kind::PostgreSQL;
    QSqlDatabase db = QSqlDatabase::addDatabase(m_postgres ? u"QPSQL"_s : u"QSQLITE"_s, m_name);
    if (m_postgres) {
        db.setHostName(t.host);
        db.setDatabaseName(t.database);
        db.setUserName(t.user);
        db.setPort(t.port);
        db.setConnectOptions(u"connect_timeout=5"_s);
    } else {
        db.setDatabaseName(t.path);
    }
    if (!db.open())
        m_error = db.lastError().text();
    else if (m_postgres)
        Exec(u"SET client_min_messages = warning"_s);
}

SqlProbe::~SqlProbe() {
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

QString SqlProbe::Rows(const QString& sql) {
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    if (!q.exec(sql)) return m_error = u"ERROR: "_s + q.lastError().text();
    QStringList rows;
    while (q.next()) {
        QStringList row;
        for (int i = 0; i < q.record().count(); ++i) {
            const QVariant v = q.value(i);
            row << (v.isNull() ? u"NULL"_s
                    : v.typeId() == QMetaType::QDateTime
                        ? v.toDateTime().toString(u"yyyy-MM-dd HH:mm:ss"_s)
                        : v.toString());
        }
        rows << row.join(u'|');
    }
    return rows.join(u'\n');
}

bool SqlProbe::Exec(const QString& sql) {
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    if (q.exec(sql)) return true;
    m_error = q.lastError().text();
    return false;
}
