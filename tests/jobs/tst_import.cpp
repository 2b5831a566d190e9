// The import of the jobs stored as data files, in-process and as the real program's
// --import and --create-database modes, on a real SQLite file and a PostgreSQL server.
#include "common/environment.h"
#include "databases.h"
#include "jobs/bdataaccess.h"
#include "jobs/cprintjobinfo.h"
#include "platform/clock.h"
#include "platform/database.h"
#include "platform/system.h"
#include "testsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QSet>
#include <QTest>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
// Every file below folder, as relative paths, sorted.
QStringList Files(const QString& folder) {
    QStringList out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) out << QDir(folder).relativeFilePath(it.next());
    out.sort();
    return out;
}

CPrintJobInfo Job(const QString& document, int id = 42) {
    CPrintJobInfo j = SampleJob();
    j.DocumentName = document;
    j.PrintJobID = id;
    j.TotalPages = 7;
    for (const char* v : {"Client|4711", "Amount|12.50"}) {
        auto cv = j.CategoryValues.NewCCategoryValue();
        cv->ValueName = QString::fromLatin1(v).section(QLatin1Char('|'), 0, 0);
        cv->ValueString = QString::fromLatin1(v).section(QLatin1Char('|'), 1);
    }
    return j;
}

// A completed job: its data file and, unless told otherwise, the monitor's job file.
void WriteJob(const Sandbox& box, const QString& folder, const QString& base, CPrintJobInfo job,
              bool jobFile = true) {
    QDir().mkpath(box.Path(folder));
    QString dat = box.Path(folder + u"/"_s + base + u".dat"_s);
    QVERIFY(job.SaveToFile(dat));
    if (!jobFile) return;
    JobFields f;
    f.document = job.DocumentName;
    f.id = QString::number(job.PrintJobID);
    box.WriteLines(folder + u"/"_s + base + u".prt"_s, f.Lines());
}

// Drops this thread's right to write files it does not own, as for any user but root.
class FileRightsOfNobody {
public:
    FileRightsOfNobody() {
        if (m_root) ::setfsuid(65534);
    }
    ~FileRightsOfNobody() {
        if (m_root) ::setfsuid(0);
    }

private:
    bool m_root = ::geteuid() == 0;
};

struct Result {
    int status;
    QString out, err;
};
} // namespace

class TestImport : public QObject {
    Q_OBJECT
    PostgresServer m_server;
    QString m_pgSkip;
    FakeClock m_clock; // no failing open waits for real seconds

    QString Database(const QString& backend, const Sandbox& box, const QString& name = u"jobs"_s) {
        const QString target = backend == QLatin1String("sqlite") ? box.Path(name + u".db"_s)
                                                                  : m_server.NewDatabase(name);
        QString message;
        if (Platform::CreateJobDatabase(target, &message) != Platform::CreateResult::Created)
            qWarning() << message;
        return target;
    }
    void Backends() {
        QTest::addColumn<QString>("backend");
        QTest::newRow("sqlite") << u"sqlite"_s;
        QTest::newRow("postgresql") << u"postgresql"_s;
    }
    // The settings of a machine that is online, with its local folder in the sandbox.
    static void Online(const Sandbox& box) {
        gEnv.m_sLocalUserPath = box.Path(u"local/"_s);
        gEnv.m_sDataPath = box.Path(u"share/data/"_s);
        gEnv.m_sConfigPath = box.Path(u"share/"_s);
        gEnv.m_sUserName = u"jsmith"_s;
        gEnv.m_sMachineName = u"LOGHOST"_s;
        gEnv.m_sOSVersion = u"Linux 6.1"_s;
        QDir().mkpath(gEnv.m_sLocalUserPath + u"users"_s);
        QDir().mkpath(gEnv.m_sDataPath + u"users/jsmith"_s);
    }
    static QString Root(const Sandbox& box) { return box.Path(u"local/users/"_s); }

    Result Run(const QStringList& args, const QProcessEnvironment& extra = {}) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(u"DISPLAY"_s);
        env.remove(u"QT_QPA_PLATFORM"_s);
        env.insert(extra);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(QORVLOG_BIN), args);
        p.closeWriteChannel();
        if (!p.waitForFinished(120000)) return {-1, {}, {}};
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }

private Q_SLOTS:
    void initTestCase() { m_pgSkip = StartForTests(m_server); }
    void cleanupTestCase() { m_server.Stop(); }
    void init() { ResetEnvironment(); }

    void branches_data() { Backends(); }
    void branches() {
        QFETCH(QString, backend);
        if (backend == QLatin1String("postgresql") && !m_pgSkip.isEmpty())
            QSKIP(qPrintable(m_pgSkip));
        Sandbox box;
        Online(box);
        MessageRecorder messages;
        const QString db = Database(backend, box);
        WriteJob(box, u"local/users/jsmith"_s, u"A"_s, Job(u"Done.pdf"_s));
        box.Write(u"local/users/jsmith/A.prn"_s, "print data");
        WriteJob(box, u"local/users/jsmith"_s, u"B"_s, Job(u"Busy.pdf"_s));
        JobFields spooling;
        spooling.color = u"SPOOLING"_s;
        box.WriteLines(u"local/users/jsmith/B.prt"_s, spooling.Lines());
        WriteJob(box, u"local/users/jsmith"_s, u"C"_s, Job(u"Gone.pdf"_s));
        box.WriteLines(u"local/users/jsmith/C.dat"_s, {u"cancel"_s});
        box.Write(u"local/users/jsmith/C.prn"_s, "x");
        box.WriteLines(u"local/users/jsmith/D.dat"_s, {u"QorvexMaster,7,42"_s});
        box.WriteLines(u"local/users/jsmith/.dat"_s, {u"QorvexMaster,2"_s});
        WriteJob(box, u"local/users/asmith"_s, u"E"_s, Job(u"Other.pdf"_s, 7), false);

        CImportResult r = CheckLocalJobs(Root(box), db, false);
        QCOMPARE(QList<int>({r.stored, r.duplicates, r.cancelled, r.copied, r.kept, r.unreadable,
                             r.failed}),
                 QList<int>({2, 0, 1, 0, 0, 1, 0}));
        QCOMPARE(
            Files(Root(box)),
            QStringList({u"asmith/E.dat"_s, u"jsmith/.dat"_s, u"jsmith/A.dat"_s, u"jsmith/A.prt"_s,
                         u"jsmith/B.dat"_s, u"jsmith/B.prt"_s, u"jsmith/D.dat"_s}));
        // The users' folders come in the file system's order: look the record numbers up.
        SqlProbe probe(db);
        auto id = [&](const char* document) {
            return probe
                .Rows(u"SELECT RecordID FROM Master WHERE DocumentName = '"_s +
                      QLatin1String(document) + u"'"_s)
                .value(0)
                .value(0);
        };
        const QString a = id("Done.pdf"), e = id("Other.pdf");
        QCOMPARE(QSet<QString>({a, e}), QSet<QString>({u"1"_s, u"2"_s}));
        QCOMPARE(Files(gEnv.m_sDataPath), QStringList{a + u".prn"_s});
        QCOMPARE(probe.Rows(u"SELECT RecordID, DocumentName, PrintJobID, LogMachine FROM Master "
                            "ORDER BY DocumentName"_s),
                 QList<QStringList>({{a, u"Done.pdf"_s, u"42"_s, u"LOGHOST"_s},
                                     {e, u"Other.pdf"_s, u"7"_s, u"LOGHOST"_s}}));
        QCOMPARE(probe.Rows(u"SELECT RecordID, Category, ValueText, ValueNumber FROM Detail "
                            "ORDER BY RecordID, Category"_s),
                 QList<QStringList>({{u"1"_s, u"Amount"_s, u"12.50"_s, u"12.5"_s},
                                     {u"1"_s, u"Client"_s, u"4711"_s, u"4711"_s},
                                     {u"2"_s, u"Amount"_s, u"12.50"_s, u"12.5"_s},
                                     {u"2"_s, u"Client"_s, u"4711"_s, u"4711"_s}}));
        QCOMPARE(messages.Joined(), QString());

        // The next call finds the stored jobs in the database and deletes their files.
        r = CheckLocalJobs(Root(box), db, false);
        QCOMPARE(QList<int>({r.stored, r.duplicates, r.unreadable, r.failed}),
                 QList<int>({0, 2, 1, 0}));
        QCOMPARE(Files(Root(box)), QStringList({u"jsmith/.dat"_s, u"jsmith/B.dat"_s,
                                                u"jsmith/B.prt"_s, u"jsmith/D.dat"_s}));
        QCOMPARE(probe.Rows(u"SELECT count(*) FROM Master"_s), QList<QStringList>{{u"2"_s}});
        QCOMPARE(messages.Joined(), QString());
    }

    void offline() {
        Sandbox box;
        Online(box);
        gEnv.m_bOffline = true;
        MessageRecorder messages;
        WriteJob(box, u"local/users/jsmith"_s, u"A"_s, Job(u"Done.pdf"_s));
        const QStringList before = Files(Root(box));
        const CImportResult r = CheckLocalJobs(Root(box), QString(), false);
        QCOMPARE(r.kept, 1);
        QCOMPARE(Files(Root(box)), before);
        QCOMPARE(messages.Joined(), QString()); // the database was not even opened
    }

    void missingRoot() {
        Sandbox box;
        Online(box);
        MessageRecorder messages;
        const CImportResult r = CheckLocalJobs(box.Path(u"nowhere/"_s), QString(), false);
        QCOMPARE(r.stored + r.failed + r.kept + r.unreadable, 0);
        QCOMPARE(messages.Joined(), QString());
    }

    void logDatFilesOnly_data() {
        QTest::addColumn<bool>("dataHost");
        QTest::addColumn<bool>("present"); // the target already has a file of that name
        QTest::newRow("to the data folder") << false << false;
        QTest::newRow("data host to the configuration share") << true << false;
        QTest::newRow("already there") << false << true;
    }
    void logDatFilesOnly() {
        QFETCH(bool, dataHost);
        QFETCH(bool, present);
        Sandbox box;
        Online(box);
        gEnv.m_bLogDatFilesOnly = true;
        gEnv.m_bDataHost = dataHost;
        MessageRecorder messages;
        WriteJob(box, u"local/users/jsmith"_s, u"A"_s, Job(u"Done.pdf"_s));
        box.Write(u"local/users/jsmith/A.prn"_s, "print data");
        const QString target = dataHost ? u"share/users/jsmith/"_s : u"share/data/"_s;
        QDir().mkpath(box.Path(target));
        if (present) box.Write(target + u"A.dat"_s, "older");
        const QStringList before = Files(Root(box));
        const CImportResult r = CheckLocalJobs(Root(box), QString(), false);
        QCOMPARE(messages.Joined(), QString());
        if (present) {
            QCOMPARE(r.kept, 1);
            QCOMPARE(Files(Root(box)), before);
            QCOMPARE(box.Read(target + u"A.dat"_s), QByteArray("older"));
            return;
        }
        QCOMPARE(r.copied, 1);
        QCOMPARE(Files(Root(box)), QStringList());
        QCOMPARE(Files(box.Path(target)).filter(u"A."_s),
                 dataHost ? QStringList({u"A.dat"_s, u"A.prn"_s}) : QStringList({u"A.dat"_s}));
        // The copy is the job as read back, its values under their own names.
        CPrintJobInfo copy;
        QVERIFY(copy.ReadFromFile(box.Path(target + u"A.dat"_s)));
        QCOMPARE(copy.DocumentName, u"Done.pdf"_s);
        const QByteArray text = box.Read(target + u"A.dat"_s);
        QVERIFY(text.endsWith("QorvexDetail,2,\"Client\",\"4711\"\r\n"
                              "QorvexDetail,2,\"Amount\",\"12.50\"\r\n"));
    }

    void emptyDatabasePath() {
        Sandbox box;
        Online(box);
        MessageRecorder messages;
        WriteJob(box, u"local/users/jsmith"_s, u"A"_s, Job(u"One.pdf"_s));
        WriteJob(box, u"local/users/jsmith"_s, u"B"_s, Job(u"Two.pdf"_s));
        const QStringList before = Files(Root(box));
        const CImportResult r = CheckLocalJobs(Root(box), QString(), false);
        QCOMPARE(r.failed, 2);
        const QString location =
            u"Unable to get the location of the database.|You might need to repair your "
            "installation."_s;
        const QString unable = u"Unable to import print job information to database!"_s;
        QCOMPARE(messages.Joined(), QStringList({location, unable, location, unable}).join(u"#"_s));
        for (const auto& m : messages.Messages()) {
            QCOMPARE(m.icon, Platform::MsgIcon::Critical);
            QCOMPARE(m.title, gEnv.m_sTitle);
        }
        QCOMPARE(Files(Root(box)), before);
    }

    void storeFailures_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("not a database") << u"junk"_s;
        QTest::newRow("read-only database") << u"readonly"_s;
        QTest::newRow("server down") << u"down"_s;
        QTest::newRow("login refused") << u"login"_s;
        QTest::newRow("no right to insert") << u"reader"_s;
    }
    void storeFailures() {
        QFETCH(QString, kind);
        const bool pg = kind != QLatin1String("junk") && kind != QLatin1String("readonly");
        if (pg && !m_pgSkip.isEmpty()) QSKIP(qPrintable(m_pgSkip));
        Sandbox box;
        Online(box);
        MessageRecorder messages;
        QString db;
        if (kind == QLatin1String("junk")) db = box.Write(u"db/jobs.db"_s, "not a database\n");
        if (kind == QLatin1String("readonly")) {
            QDir().mkpath(box.Path(u"db"_s));
            db = Database(u"sqlite"_s, box, u"db/jobs"_s);
            QVERIFY(::chmod(QFile::encodeName(db).constData(), 0444) == 0);
            QVERIFY(::chmod(QFile::encodeName(box.Path(u"db"_s)).constData(), 0555) == 0);
            QVERIFY(::chmod(QFile::encodeName(box.Path()).constData(), 0755) == 0);
        }
        if (kind == QLatin1String("down")) db = m_server.DownUri();
        if (kind == QLatin1String("login")) db = m_server.Uri(u"postgres"_s, u"nobody_here"_s);
        if (kind == QLatin1String("reader")) {
            db = Database(u"postgresql"_s, box);
            m_server.Sql(u"jobs"_s, {u"DROP ROLE IF EXISTS reader"_s, u"CREATE ROLE reader LOGIN"_s,
                                     u"GRANT SELECT ON Master, Detail TO reader"_s});
            db = m_server.Uri(u"jobs"_s, u"reader"_s);
        }
        WriteJob(box, u"local/users/jsmith"_s, u"A"_s, Job(u"One.pdf"_s));
        WriteJob(box, u"local/users/jsmith"_s, u"B"_s, Job(u"Two.pdf"_s));
        const QStringList before = Files(Root(box));
        CImportResult r;
        if (kind == QLatin1String("readonly")) {
            FileRightsOfNobody nobody;
            r = CheckLocalJobs(Root(box), db, false);
        } else {
            r = CheckLocalJobs(Root(box), db, false);
        }
        QCOMPARE(r.failed, 2);
        QVERIFY(!r.error.isEmpty());
        const QString unable = u"Unable to import print job information to database!"_s;
        QCOMPARE(messages.Joined(), unable + u"#"_s + unable);
        QCOMPARE(Files(Root(box)), before);
        if (kind == QLatin1String("readonly")) {
            ::chmod(QFile::encodeName(box.Path(u"db"_s)).constData(), 0755);
            QCOMPARE(SqlProbe(db).Rows(u"SELECT count(*) FROM Master"_s),
                     QList<QStringList>{{u"0"_s}});
        }
        if (kind == QLatin1String("junk"))
            QCOMPARE(box.Read(u"db/jobs.db"_s), QByteArray("not a database\n"));
    }

    void createDatabaseMode_data() {
        QTest::addColumn<QStringList>("args"); // "@db" the sandbox file, "@pg" a server database
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output"); // start of standard output, or of standard error
        QTest::newRow("new file") << QStringList{u"--create-database"_s, u"@db"_s} << 0
                                  << u"Created the tables Master and Detail in "_s;
        QTest::newRow("server") << QStringList{u"--create-database"_s, u"@pg"_s} << 0
                                << u"Created the tables Master and Detail in postgresql://"_s;
        QTest::newRow("no such folder")
            << QStringList{u"--create-database"_s, u"@db/missing/jobs.db"_s} << 1
            << u"Cannot create the job database in "_s;
        QTest::newRow("server down") << QStringList{u"--create-database"_s, u"@down"_s} << 1
                                     << u"Cannot create the job database in postgresql://"_s;
        QTest::newRow("other scheme") << QStringList{u"--create-database"_s, u"mysql://h/x"_s} << 2
                                      << u"qorvlog: \"mysql://\" databases are not supported"_s;
        QTest::newRow("no target") << QStringList{u"--create-database"_s} << 2 << u"usage:"_s;
        QTest::newRow("empty target") << QStringList{u"--create-database"_s, u""_s} << 2
                                      << u"qorvlog: no database is named"_s;
        QTest::newRow("import without root") << QStringList{u"--import"_s} << 2 << u"usage:"_s;
        QTest::newRow("import, too many")
            << QStringList{u"--import"_s, u"a"_s, u"b"_s, u"c"_s} << 2 << u"usage:"_s;
    }
    void createDatabaseMode() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, output);
        const bool pg = args.value(1).startsWith(u"@pg"_s) || args.value(1) == u"@down"_s;
        if (pg && !m_pgSkip.isEmpty()) QSKIP(qPrintable(m_pgSkip));
        Sandbox box;
        for (QString& a : args) {
            if (a.startsWith(u"@db"_s)) a = box.Path(u"jobs.db"_s) + a.mid(3);
            if (a == u"@pg"_s) a = m_server.NewDatabase(u"jobs"_s);
            if (a == u"@down"_s) a = m_server.DownUri();
        }
        Result r = Run(args);
        QCOMPARE(r.status, status);
        QVERIFY2((status == 0 ? r.out : r.err).startsWith(output), qPrintable(r.out + r.err));
        if (status != 0) return;
        // The tables are there and empty; a second run leaves them alone.
        QCOMPARE(SqlProbe(args[1]).Rows(u"SELECT count(*) FROM Master, Detail"_s),
                 QList<QStringList>{{u"0"_s}});
        r = Run(args);
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(u"already has a table Master; nothing was changed."_s),
                 qPrintable(r.err));
        if (!pg)
            QCOMPARE(SqlProbe(args[1]).Rows(u"PRAGMA journal_mode"_s),
                     QList<QStringList>{{u"wal"_s}});
    }

    void importMode() {
        Sandbox box;
        const QString db = box.Path(u"share/jobs.db"_s);
        LayOutInstallation(box,
                           IniEdit(TestData(u"config_v2.ini"_s), u"GENERAL"_s, u"DataFile"_s, db));
        QVERIFY(Run({u"--create-database"_s, db}).status == 0);
        const QString root = box.Path(u"spool/users/"_s);
        WriteJob(box, u"spool/users/jsmith"_s, u"A"_s, Job(u"One.pdf"_s));
        WriteJob(box, u"spool/users/jsmith"_s, u"B"_s, Job(u"Two.pdf"_s));
        Result r = Run({u"--import"_s, root});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, u"2 stored, 0 already stored, 0 cancelled, 0 copied, 0 left in place, 0 "
                        "unreadable, 0 not stored\n"_s);
        QCOMPARE(r.err, QString());
        r = Run({u"--import"_s, root});
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.startsWith(u"0 stored, 2 already stored"_s));
        QCOMPARE(Files(root), QStringList());
        QCOMPARE(SqlProbe(db).Rows(u"SELECT count(*) FROM Master"_s), QList<QStringList>{{u"2"_s}});

        // A database that cannot be used: every job is reported, the run fails, files stay.
        WriteJob(box, u"spool/users/jsmith"_s, u"C"_s, Job(u"Three.pdf"_s));
        const QString junk = box.Write(u"junk.db"_s, "junk");
        r = Run({u"--import"_s, root, junk});
        QCOMPARE(r.status, 1);
        QVERIFY(r.out.endsWith(u"1 not stored\n"_s));
        QVERIFY2(r.err.startsWith(u"Unable to import print job information to database!\n"
                                  "qorvlog: job database: "_s),
                 qPrintable(r.err));
        QCOMPARE(Files(root), QStringList({u"jsmith/C.dat"_s, u"jsmith/C.prt"_s}));
        // With QORVLOG_MESSAGES the message goes there instead.
        QProcessEnvironment env;
        env.insert(u"QORVLOG_MESSAGES"_s, box.Path(u"messages.txt"_s));
        r = Run({u"--import"_s, root, junk}, env);
        QCOMPARE(r.status, 1);
        QCOMPARE(box.Read(u"messages.txt"_s),
                 QByteArray("Unable to import print job information to database!\n"));
        QVERIFY(!r.err.contains(u"Unable to import"_s));
        // An unreadable data file fails the run but not the other jobs.
        box.WriteLines(u"spool/users/jsmith/D.dat"_s, {u"QorvexMaster,9"_s});
        r = Run({u"--import"_s, root});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.out.startsWith(u"1 stored, 0 already stored, 0 cancelled, 0 copied, 0 left in "
                                  "place, 1 unreadable, 0 not stored"_s),
                 qPrintable(r.out));
    }

    void twoImportersOnePostgres() {
        if (!m_pgSkip.isEmpty()) QSKIP(qPrintable(m_pgSkip));
        Sandbox box;
        // Two machines: each its own installation (registry, shared folder, local folder).
        QList<QProcessEnvironment> machines;
        for (int machine = 1; machine <= 2; ++machine) {
            const QString share = u"share%1"_s.arg(machine);
            const QString cfg = box.Write(share + u"/Config.ini"_s,
                                          IniEdit(TestData(u"config_v2.ini"_s), u"GENERAL"_s,
                                                  u"DataPath"_s, box.Path(share + u"/data"_s)));
            QDir().mkpath(box.Path(share + u"/data/users/"_s) + Platform::LoginName());
            box.WriteLines(share + u"/registry.ini"_s,
                           {u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora Group\\Kestova Sentrel\\4]"_s,
                            u"ConfigFile = "_s + cfg});
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(u"QORVLOG_REGISTRY"_s, box.Path(share + u"/registry.ini"_s));
            env.insert(u"XDG_DATA_HOME"_s, box.Path(share + u"/local"_s));
            machines << env;
        }
        const QString db = Database(u"postgresql"_s, box, u"shared"_s);
        // Two machines hold the same 200 jobs.
        for (int machine = 1; machine <= 2; ++machine)
            for (int i = 0; i < 200; ++i)
                WriteJob(box, u"m%1/users/jsmith"_s.arg(machine),
                         u"J%1"_s.arg(i, 3, 10, QLatin1Char('0')),
                         Job(u"Doc%1.pdf"_s.arg(i), 1000 + i), i % 2 == 0);
        for (int pass = 0; pass < 2; ++pass) {
            QList<QProcess*> runs;
            for (int machine = 1; machine <= 2; ++machine) {
                auto* p = new QProcess(this);
                p->setProcessEnvironment(machines[machine - 1]);
                p->start(QStringLiteral(QORVLOG_BIN),
                         {u"--import"_s, box.Path(u"m%1/users/"_s.arg(machine)), db});
                runs << p;
            }
            int stored = 0, already = 0;
            for (QProcess* p : runs) {
                QVERIFY(p->waitForFinished(240000));
                const QString out = QString::fromUtf8(p->readAllStandardOutput());
                QVERIFY2(p->exitCode() == 0 && !out.contains(u"offline"_s),
                         qPrintable(out + QString::fromUtf8(p->readAllStandardError())));
                stored += out.section(u" stored"_s, 0, 0).toInt();
                already += out.section(u", "_s, 1, 1).section(QLatin1Char(' '), 0, 0).toInt();
                delete p;
            }
            QCOMPARE(stored, pass == 0 ? 200 : 0);
            // The copies of the jobs the other machine stored went in the first pass.
            QCOMPARE(already, 200);
        }
        SqlProbe probe(db);
        QCOMPARE(probe.Rows(u"SELECT count(*), count(DISTINCT DocumentName) FROM Master"_s),
                 QList<QStringList>({{u"200"_s, u"200"_s}}));
        QCOMPARE(probe.Rows(u"SELECT count(*) FROM Detail"_s), QList<QStringList>{{u"400"_s}});
        QCOMPARE(Files(box.Path(u"m1/users"_s)) + Files(box.Path(u"m2/users"_s)), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestImport)
#include "tst_import.moc"
