// The running program while a job's answers cannot be written: nearly idle, the job reported
// once, and answered within 10 s of the fault's end.
#include "testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <sys/mount.h>
#include <unistd.h>

class TestAnswerFaults : public QObject {
    Q_OBJECT
    static qint64 CpuMs(qint64 pid) { // user and system time, 12th and 13th after the name
        QFile f(u"/proc/%1/stat"_s.arg(pid));
        const auto v = f.open(QIODevice::ReadOnly) ? f.readAll().split(')').last().split(' ')
                                                   : QList<QByteArray>();
        return (v.value(12).toLongLong() + v.value(13).toLongLong()) * 1000 / sysconf(_SC_CLK_TCK);
    }

private Q_SLOTS:
    void retriedPatiently_data() {
        Table("fault", {"data folder full¦full", "no machine folder¦machine", "shd a folder¦shd"});
    }
    void retriedPatiently() {
        QFETCH(QString, fault);
        if (fault == u"full"_s && geteuid() != 0)
            QSKIP("a full job folder is a small file system mounted there, which needs root");
        Sandbox box;
        LayOutInstallation(box, IniEdits(TestData(u"config_v2.ini"_s),
                                         {u"PG1/LogSilent=True"_s, u"GENERAL/DebugLog=1"_s}));
        const QString jobs = UserFolder(box) + u'/', srv = box.Path(u"share/data/Machines/SRV"_s);
        const QByteArray at = QFile::encodeName(jobs);
        QVERIFY(fault == u"machine"_s || QDir().mkpath(srv));
        QVERIFY(fault != u"full"_s || mount("tmpfs", at, "tmpfs", 0, "size=64k,mode=0700") == 0);
        QProcess program;
        const auto end = qScopeGuard([&] {
            program.kill();
            program.waitForFinished();
            umount2(at, MNT_DETACH); // fails when nothing is mounted there
        });
        QVERIFY(StartProgram(program, box));
        // The job arrives whole under its name, as the monitor writes it.
        const QString rel = QDir(box.Path()).relativeFilePath(jobs) + u'/';
        box.WriteLines(rel + u".J"_s, JobFields().Lines());
        QFile fill(jobs + u"fill"_s);
        if (fault == u"full"_s && fill.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            while (fill.write(QByteArray(512, 'x')) == 512) {
            }
        QVERIFY(fault != u"shd"_s || QDir().mkdir(jobs + u"J.shd"_s));
        QVERIFY(QFile::rename(jobs + u".J"_s, jobs + u"J.prt"_s));
        QTRY_VERIFY_WITH_TIMEOUT(QFile(box.Path(u"messages.txt"_s)).size() > 0, 5000);
        const qint64 before = CpuMs(program.processId()); // seconds: 4, or QORVLOG_FAULT_SECONDS
        const int seconds = std::max(4, qEnvironmentVariableIntValue("QORVLOG_FAULT_SECONDS"));
        QTest::qWait(seconds * 1000);
        const qint64 used = CpuMs(program.processId()) - before;
        qInfo("%lld ms of CPU time in %d s", used, seconds);
        QVERIFY(used <= 15 * seconds);
        QVERIFY(QDir().mkpath(srv) && QDir(jobs).rmdir(u"J.shd"_s) == (fault == u"shd"_s) &&
                fill.remove() == (fault == u"full"_s)); // closed first: its room comes back
        QElapsedTimer mended;
        mended.start();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(srv + u"/00042.pas"_s), 15000); // written last
        QVERIFY2(mended.elapsed() <= 10500, qPrintable(u"after %1 ms"_s.arg(mended.elapsed())));
        QCOMPARE(box.Read(rel + u"J.dat"_s).left(18) + '|' + box.Read(rel + u"J.shd"_s) + '|' +
                     box.Read(u"messages.txt"_s) + '|' +
                     QByteArray::number(box.Read(u"home/.local/share/Qorvex/qorvlog.txt"_s)
                                            .count(" E Unable to save print job")),
                 "QorvexMaster,2,42,|10.0.0.7\r\n|Unable to save print job to database or to "
                 "file.\\nContact your system administrator for assistance.\n|1");
    }
};

QTEST_GUILESS_MAIN(TestAnswerFaults)
#include "tst_answerfaults.moc"
