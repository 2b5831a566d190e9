// A job's document path looked up while the job is read: in the running program, and with the
// servers asked once per job.
#include "common/environment.h"
#include "intake/cmonitor.h"
#include "jobs/cprintjobinfo.h"
#include "platform/openfiles.h"
#include "platform/system.h"
#include "testsupport.h"

#include <QDir>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

class TestDocumentLookup : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // In the running program, a job printed from a document the desktop lists as recent is
    // stored with the document's folder level.
    void runningProgramFillsFolderLevels() {
        Sandbox box;
        const QByteArray ini =
            IniEdits(TestData(u"config_v2.ini"_s),
                     {u"GENERAL/ObtainPath=True"_s, u"GENERAL/FileServers=ServerName"_s,
                      u"GENERAL/LoggingMachine=LOGSRV"_s, u"CATEGORYPG21/CategoryName=Folder"_s,
                      u"CATEGORYPG21/PreDefinedValue1=82"_s});
        LayOutInstallation(box, ini);
        box.Write(u"home/.local/share/recently-used.xbel"_s,
                  "<?xml version=\"1.0\"?><xbel version=\"1.0\"><bookmark "
                  "href=\"file:///Clients/Acme%204711/Plan.dwg\"/></xbel>");
        JobFields fields;
        fields.machine = Platform::ComputerName();
        fields.document = u"Plan.dwg - AutoCAD"_s;
        fields.path.clear();
        fields.driver = u"Laser 5"_s;
        const QString job = QDir(box.Path()).relativeFilePath(UserFolder(box)) + u"/A."_s;
        box.WriteLines(job + u"prt"_s, fields.Lines());
        QFile::setPermissions(box.Path(u"run"_s),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment(); // the sandbox's
        env.insert(u"QORVLOG_MESSAGES"_s, box.Path(u"messages.txt"_s));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(QORVLOG_BIN));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(box.Path(job + u"dat"_s)), 10000);
        program.kill();
        program.waitForFinished();
        QCOMPARE(QString::fromUtf8(box.Read(job + u"dat"_s)),
                 u"QorvexMaster,2,42,\"Plotter A0\",\"%1\",\"jsmith\",\"Plan.dwg - AutoCAD\","
                 "\"03/05/2004 2:07:09 PM\",\"\\\\SRV\\Plotter\",123456,3,0,2,\"Letter\",8.500000,"
                 "11.000000,6,\"/Clients/Acme 4711/Plan.dwg\",\"Color\",0.000000,\"Laser 5\","
                 "\"Bond\",\"Portrait\"\r\nQorvexDetail,2,\"Folder\",\"Acme 4711\"\r\n"_s.arg(
                     fields.machine));
        QCOMPARE(box.Read(u"messages.txt"_s), QByteArray());
    }

    // Four folders are searched for a job; a slow server holds it up once, not four times.
    void serversAskedOncePerJob() {
        Sandbox box;
        FakeClock clock;
        QStringList asked;
        Platform::SetOpenFilesDouble([&](const QString& s, const QString& u, int wait) {
            asked << u"%1 %2 %3"_s.arg(s, u).arg(wait);
            return Platform::OpenFilesAnswer{{true, {}}, 4000}; // too late
        });
        gEnv.m_sLocalUserPath = box.Path(u"local/"_s);
        gEnv.m_sFileServers = u"fs1"_s;
        gEnv.m_bObtainPath = true;
        JobFields fields;
        fields.document = u"Plan.dwg - AutoCAD"_s;
        fields.path.clear();
        const auto job = CMonitor().GetNextPrintJob(box.WriteLines(u"A.prt"_s, fields.Lines()));
        Platform::SetOpenFilesDouble({});
        QCOMPARE(job->PathAndFilename, u"Plan.dwg - AutoCAD"_s);
        QCOMPARE(asked, QStringList{u"fs1 jsmith 3000"_s});
        QCOMPARE(clock.Paused(), qint64(3000 + 500));
    }
};

QTEST_GUILESS_MAIN(TestDocumentLookup)
#include "tst_documentlookup.moc"
