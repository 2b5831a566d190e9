// The administrators' command-line modes, run as the real program.
#include "testsupport.h"

#include <QDir>
#include <QProcess>
#include <QTest>

class TestCommandLine : public QObject {
    Q_OBJECT
    struct Result {
        int status;
        QString out, err;
    };
    Result Run(const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("QORVLOG_MESSAGES"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(QORVLOG_BIN), args);
        p.closeWriteChannel();
        if (!p.waitForFinished(30000)) return {-1, {}, {}};
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }

private Q_SLOTS:
    void checkGoodFile() {
        Sandbox box;
        const QString cfg =
            box.Write(QStringLiteral("Config.ini"), TestData(QStringLiteral("config_v2.ini")));
        const Result r = Run({QStringLiteral("--check-config"), cfg});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QStringLiteral(
                            "Version 2: 2 printer groups, 3 categories, 6 predefined values\n"));
        QCOMPARE(r.err, QString());
        // Nothing was written beside the sandbox's own files.
        QCOMPARE(QDir(box.Path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(), 3);
    }
    void checkBrokenFile() {
        Sandbox box;
        const QString cfg =
            box.Write(QStringLiteral("Config.ini"),
                      IniEdit(TestData(QStringLiteral("config_v2.ini")), QStringLiteral("PG1"),
                              QStringLiteral("DisableLogging"), QStringLiteral("Maybe")));
        const Result r = Run({QStringLiteral("--check-config"), cfg});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.out, QString());
        QCOMPARE(r.err, QStringLiteral(
                            "Entry [PG1].DisableLogging is not valid in configuration file:\\n") +
                            cfg + QLatin1Char('\n'));
    }
    void writeConfig() {
        Sandbox box;
        const QString in =
            box.Write(QStringLiteral("in.ini"), TestData(QStringLiteral("config_v1.ini")));
        const QString out = box.Path(QStringLiteral("out.ini"));
        const Result r = Run({QStringLiteral("--write-config"), in, out});
        QCOMPARE(r.status, 0);
        QVERIFY(box.Read(QStringLiteral("out.ini"))
                    .startsWith("[GENERAL]\r\nVersion                  = 2\r\n"));
        QCOMPARE(
            Run({QStringLiteral("--check-config"), out}).out,
            QStringLiteral("Version 2: 1 printer groups, 2 categories, 1 predefined values\n"));
        // An output that cannot be written is reported and fails.
        const Result bad =
            Run({QStringLiteral("--write-config"), in, box.Path(QStringLiteral("no/dir/out.ini"))});
        QCOMPARE(bad.status, 1);
        QVERIFY(bad.err.startsWith(
            QStringLiteral("Unexpected error 75 in procedure 'CConfigOptions::WriteIniFile':")));
    }
    void usage_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no file") << QStringList{QStringLiteral("--check-config")};
        QTest::newRow("unknown") << QStringList{QStringLiteral("--frobnicate"),
                                                QStringLiteral("x")};
        QTest::newRow("write one arg")
            << QStringList{QStringLiteral("--write-config"), QStringLiteral("x")};
    }
    void usage() {
        QFETCH(QStringList, args);
        const Result r = Run(args);
        QCOMPARE(r.status, 2);
        QVERIFY(r.err.startsWith(QStringLiteral("usage:")));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
