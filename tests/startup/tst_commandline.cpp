// The administrators' command-line modes, run as the real program.
#include "startup/commandline.h"
#include "testsupport.h"

#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

class TestCommandLine : public QObject {
    Q_OBJECT
    struct Result {
        int status;
        QString out, err;
    };
    Result Run(const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(u"DISPLAY"_s);
        env.remove(u"QT_QPA_PLATFORM"_s);
        env.remove(u"QORVLOG_MESSAGES"_s);
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
        const QString cfg = box.Write(u"Config.ini"_s, TestData(u"config_v2.ini"_s));
        const Result r = Run({u"--check-config"_s, cfg});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QStringLiteral(
                            "Version 2: 2 printer groups, 3 categories, 6 predefined values\n"));
        QCOMPARE(r.err, QString());
    }
    void checkBrokenFile_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("what");
        QTest::newRow("bad flag") << "PG1"
                                  << "DisableLogging"
                                  << "Maybe"
                                  << "Entry [PG1].DisableLogging is not valid";
        // The program fails silently on version 0; an administrator is told why.
        QTest::newRow("version 0") << "GENERAL"
                                   << "Version"
                                   << "0"
                                   << "Entry [GENERAL].Version is not valid";
    }
    void checkBrokenFile() {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, what);
        Sandbox box;
        const QString cfg =
            box.Write(u"Config.ini"_s, IniEdit(TestData(u"config_v2.ini"_s), section, key, value));
        const Result r = Run({u"--check-config"_s, cfg});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.out, QString());
        QCOMPARE(r.err, what + u" in configuration file:\\n"_s + cfg + QLatin1Char('\n'));
    }
    void writeConfig() {
        Sandbox box;
        const QString in = box.Write(u"in.ini"_s, TestData(u"config_v1.ini"_s));
        const QString out = box.Path(u"out.ini"_s);
        const Result r = Run({u"--write-config"_s, in, out});
        QCOMPARE(r.status, 0);
        QVERIFY(box.Read(u"out.ini"_s).startsWith("[GENERAL]\r\nVersion                  = 2\r\n"));
        QCOMPARE(Run({u"--check-config"_s, out}).out,
                 u"Version 2: 1 printer groups, 2 categories, 1 predefined values\n"_s);
        // An output that cannot be written is reported and fails.
        const Result bad = Run({u"--write-config"_s, in, box.Path(u"no/dir/out.ini"_s)});
        QCOMPARE(bad.status, 1);
        QVERIFY(bad.err.startsWith(
            u"Unexpected error 75 in procedure 'CConfigOptions::WriteIniFile':"_s));
    }
    // Onto a full disk the configuration already there stays whole and the run fails.
    void writeConfigOnAFullDisk_data() {
        QTest::addColumn<int>("missing"); // bytes short of the whole file
        QTest::newRow("nothing fits") << -1;
        QTest::newRow("one byte short") << 1;
        QTest::newRow("just fits") << 0;
    }
    void writeConfigOnAFullDisk() {
        QFETCH(int, missing);
        Sandbox box;
        const QString in = box.Write(u"in.ini"_s, TestData(u"config_v1.ini"_s));
        const QString whole = box.Path(u"whole.ini"_s);
        QCOMPARE(RunCommandLine({u"--write-config"_s, in, whole}), 0);
        const QByteArray written = box.Read(u"whole.ini"_s);
        const QByteArray old = TestData(u"config_v2.ini"_s);
        const QString out = box.Write(u"Config.ini"_s, old);
        int status = -1;
        {
            FailingDevice device(missing < 0 ? 0 : written.size() - missing);
            status = RunCommandLine({u"--write-config"_s, in, out});
        }
        QCOMPARE(status, missing == 0 ? 0 : 1);
        QCOMPARE(box.Read(u"Config.ini"_s), missing == 0 ? written : old);
        QCOMPARE(QDir(box.Path()).entryList({u"*Config.ini*"_s}, QDir::Files | QDir::Hidden),
                 QStringList{u"Config.ini"_s});
    }
    void usage_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no file") << QStringList{u"--check-config"_s};
        QTest::newRow("unknown") << QStringList{u"--frobnicate"_s, u"x"_s};
        QTest::newRow("write one arg") << QStringList{u"--write-config"_s, u"x"_s};
    }
    void usage() {
        QFETCH(QStringList, args);
        const Result r = Run(args);
        QCOMPARE(r.status, 2);
        QVERIFY(r.err.startsWith(u"usage:"_s));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
