// The monitor against a scheduler of the test's own: jobs held, written, answered and then
// released, moved, cancelled or billed as the answers say, across a restart and in bulk.
#include "platform/cups.h"
#include "platform/system.h"
#include "privatecups.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using Platform::CupsJobState;

namespace {
const char* const kConfig = R"([GENERAL]
Version = 2
DataFile = jobs.db
DisableLogging = False
AllowCancel = True
LogSilent = False
LogAllUsers = False
NumPrinterGroups = 2

[PG1]
PrinterGroupName = Plotter
DisableLogging = False
LogSilent = True
PauseUntilAck = True
NumCategories = 2

[CATEGORYPG11]
CategoryName = Matter
Verification = 0
AckDefaultValues = False
AllowBlankValues = True
OnlyPreDefinedValues = False
NumPreDefinedValues = 1
PreDefinedValue1 = 0, M-4711
DefaultValue = 1

[CATEGORYPG12]
CategoryName = Pages
Verification = 0
AckDefaultValues = False
AllowBlankValues = True
OnlyPreDefinedValues = False
NumPreDefinedValues = 1
PreDefinedValue1 = 25
DefaultValue = 1

[PG2]
PrinterGroupName = Default
DisableLogging = True
PauseUntilAck = False
NumCategories = 0
)";

QProcessEnvironment Env(const Sandbox& box) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QORVLOG_MESSAGES"_s, box.Path(u"messages.txt"_s));
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    return env;
}
} // namespace

class TestQorvmond : public QObject {
    Q_OBJECT
    std::unique_ptr<Sandbox> m_box;
    std::unique_ptr<PrivateCups> m_cups;
    std::unique_ptr<QProcess> m_monitor;
    Platform::CupsServer m_server;
    QString m_pdf;

    QString Data(const QString& relative) const { return m_box->Path(u"share/data/"_s + relative); }
    QString Folder() const { return UserFolder(*m_box) + u'/'; }
    QString Base(int id) {
        Platform::CupsJob job;
        m_server.Job(id, &job);
        return Platform::ComputerName() + u'_' + QString::number(id).rightJustified(5, u'0') +
               u'_' + QString::number(job.created);
    }
    CupsJobState State(int id) {
        Platform::CupsJob job;
        return m_server.Job(id, &job) ? job.state : CupsJobState(0);
    }
    void StartMonitor() {
        m_monitor = std::make_unique<QProcess>();
        m_monitor->setProcessEnvironment(Env(*m_box));
        m_monitor->setProcessChannelMode(QProcess::MergedChannels);
        m_monitor->start(QStringLiteral(QORVMOND_BIN));
        QVERIFY(m_monitor->waitForStarted());
        QVERIFY(QTest::qWaitFor([&] { return m_monitor->peek(1000).contains("Started"); }, 10000));
    }
    // Answers a held job as the client does.
    void Answer(int id, const QStringList& dat, const QString& shd, const QString& pas) {
        const QString base = u"share/data/users/"_s + Platform::LoginName() + u'/' + Base(id);
        m_box->WriteLines(base + u".dat"_s, dat);
        if (!shd.isNull()) m_box->WriteLines(base + u".shd"_s, {shd});
        if (!pas.isNull())
            m_box->WriteLines(u"share/data/Machines/"_s + Platform::ComputerName() + u'/' +
                                  QString::number(id).rightJustified(5, u'0') + u".pas"_s,
                              {pas});
    }
    QString StateText() const {
        return QString::fromUtf8(m_box->Read(u"share/data/Machines/"_s + Platform::ComputerName() +
                                             u"/qorvmond.state"_s));
    }

private Q_SLOTS:
    void init() {
        if (!PrivateCups::Installed()) QSKIP("cupsd is not installed (package cups-daemon)");
        m_box = std::make_unique<Sandbox>();
        LayOutInstallation(*m_box, kConfig);
        m_cups = std::make_unique<PrivateCups>(*m_box);
        QVERIFY(m_cups->Running());
        QVERIFY(m_cups->AddQueue(u"Plotter"_s, u"Acme DesignJet Plotter"_s));
        QVERIFY(m_cups->AddQueue(u"Second"_s, u"Acme DesignJet Plotter"_s));
        QVERIFY(m_cups->AddQueue(u"Office"_s, u"Generic Office Laser"_s));
        m_pdf = m_box->Write(u"two.pdf"_s, MakePdf(2));
        StartMonitor();
    }
    void cleanup() {
        if (m_monitor) {
            m_monitor->kill();
            m_monitor->waitForFinished();
        }
        m_monitor.reset();
        m_cups.reset();
        m_box.reset();
    }

    // lp -> held -> job file -> qorvlog stores it silently and answers -> billed, released.
    void heldJobLoggedAndReleased_data() {
        QTest::addColumn<QString>("redirect");
        QTest::addColumn<QString>("printedOn");
        QTest::newRow("released") << u"Enter IP Address Here"_s << u"Plotter"_s;
        QTest::newRow("redirected") << u"Second"_s << u"Second"_s;
    }
    void heldJobLoggedAndReleased() {
        QFETCH(QString, redirect);
        QFETCH(QString, printedOn);
        m_box->Write(u"share/Config.ini"_s, IniEdit(m_box->Read(u"share/Config.ini"_s), u"PG1"_s,
                                                    u"Redirect"_s, redirect));
        const int id = m_cups->Submit(u"Plotter"_s, m_pdf, {u"-t"_s, u"Site plan"_s});
        QVERIFY(id > 0);
        const QString prt = Folder() + Base(id) + u".prt"_s;
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(prt); }, 5000));
        QCOMPARE(State(id), CupsJobState::Held);
        Platform::CupsJob job;
        QVERIFY(m_server.Job(id, &job));
        const QString server = Platform::ComputerName();
        QCOMPARE(
            QString::fromUtf8(m_box->Read(prt.mid(m_box->Path().size() + 1))).split(u"\r\n"_s),
            (QStringList{
                u"JOB"_s,
                u"2"_s,
                u"//"_s + server + u"/Plotter"_s,
                QString::number(id),
                u"Plotter"_s,
                server,
                Platform::LoginName(),
                u"Site plan"_s,
                QString(),
                QDateTime::fromSecsSinceEpoch(job.created).toString(u"MM/dd/yyyy h:mm:ss AP"_s),
                QString::number(MakePdf(2).size()),
                u"2"_s,
                u"1"_s,
                u"Letter"_s,
                u"8.50"_s,
                u"11.00"_s,
                QString(),
                QString(),
                u"Color"_s,
                u"Acme DesignJet Plotter"_s,
                QString(),
                u"Portrait"_s,
                QString()}));
        QTest::qWait(300);
        QCOMPARE(State(id), CupsJobState::Held); // nothing prints before the answer

        QProcess client;
        client.setProcessEnvironment(Env(*m_box));
        client.start(QStringLiteral(QORVLOG_BIN));
        QVERIFY(client.waitForStarted());
        QVERIFY(QTest::qWaitFor([&] { return State(id) == CupsJobState::Completed; }, 10000));
        client.kill();
        client.waitForFinished();
        QVERIFY(m_server.Job(id, &job));
        QCOMPARE(job.billing, u"Matter=M-4711; Pages=2"_s);
        QCOMPARE(job.queue, printedOn);
        QCOMPARE(m_box->Read(u"cups/out/"_s + printedOn + u".out"_s), MakePdf(2));
        QCOMPARE(m_box->Read(u"messages.txt"_s), QByteArray());
        QVERIFY(QTest::qWaitFor([&] { return StateText().isEmpty(); }, 2000));
    }

    // A group that neither holds nor logs prints at once; its "cancel" answer bills nothing.
    void unheldJobPrintsAtOnceUnbilled() {
        const int id = m_cups->Submit(u"Office"_s, m_pdf);
        QVERIFY(QTest::qWaitFor([&] { return State(id) == CupsJobState::Completed; }, 5000));
        const QString prt = Folder() + Base(id) + u".prt"_s;
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(prt); }, 5000));
        Answer(id, {u"cancel"_s}, u"cancel"_s, QString());
        QTest::qWait(300);
        Platform::CupsJob job;
        QVERIFY(m_server.Job(id, &job));
        QCOMPARE(job.billing, QString());
        QCOMPARE(m_box->Read(u"cups/out/Office.out"_s), MakePdf(2));
    }

    // "delete" cancels the held job; a job deleted in the scheduler is forgotten, its
    // files left for the import.
    void heldJobCancelledOrDeleted() {
        const int answered = m_cups->Submit(u"Plotter"_s, m_pdf);
        const int deleted = m_cups->Submit(u"Plotter"_s, m_pdf);
        QVERIFY(QTest::qWaitFor([&] { return StateText().count(u'\n') == 2; }, 5000));
        Answer(answered, {u"cancel"_s}, u"cancel"_s, u"delete"_s);
        QVERIFY(m_server.Cancel(deleted));
        QVERIFY(QTest::qWaitFor([&] { return StateText().isEmpty(); }, 5000));
        QCOMPARE(State(answered), CupsJobState::Canceled);
        QVERIFY(QFileInfo::exists(Folder() + Base(deleted) + u".prt"_s));
        QVERIFY(!QFileInfo::exists(m_cups->OutputFile(u"Plotter"_s)));
        QCOMPARE(m_cups->Logged(u"Release-Job"_s), 0);
    }

    // Stopped while jobs are held, answered meanwhile, started again: the answered job is
    // released once, the other stays held, and no job file is written twice.
    void restartWhileHeld() {
        const int first = m_cups->Submit(u"Plotter"_s, m_pdf);
        const int second = m_cups->Submit(u"Plotter"_s, m_pdf);
        QVERIFY(QTest::qWaitFor([&] { return StateText().count(u'\n') == 2; }, 5000));
        const QString secondPrt = Folder() + Base(second) + u".prt"_s;
        const QDateTime written = QFileInfo(secondPrt).lastModified();
        m_monitor->kill();
        m_monitor->waitForFinished();
        Answer(first, {u"QorvexDetail,2,\"Matter\",\"M-1\""_s}, QString(), u"resume"_s);
        StartMonitor();
        QVERIFY(QTest::qWaitFor([&] { return State(first) == CupsJobState::Completed; }, 5000));
        QCOMPARE(State(second), CupsJobState::Held);
        QCOMPARE(QFileInfo(secondPrt).lastModified(), written);
        QCOMPARE(QDir(Folder()).entryList({u"*.prt"_s}).size(), 2);
        QCOMPARE(m_cups->Logged(u"Release-Job"_s), 1);
        QVERIFY(QTest::qWaitFor([&] { return StateText().count(u'\n') == 1; }, 2000));
        QVERIFY(StateText().startsWith(QString::number(second) + u'\t'));
    }

    // 100 jobs at once: each held and written once, each released by its answer.
    void hundredJobsAtOnce() {
        QList<std::shared_ptr<QProcess>> lps;
        for (int i = 0; i < 100; ++i) {
            auto lp = std::make_shared<QProcess>();
            lp->start(u"lp"_s, {u"-d"_s, u"Plotter"_s, m_pdf});
            lps << lp;
        }
        for (const auto& lp : lps) QVERIFY(lp->waitForFinished(30000));
        QDir folder(Folder());
        QVERIFY(
            QTest::qWaitFor([&] { return folder.entryList({u"*.prt"_s}).size() == 100; }, 20000));
        QList<Platform::CupsJob> jobs;
        QVERIFY(m_server.Jobs(&jobs));
        QCOMPARE(jobs.size(), 100);
        for (const auto& job : std::as_const(jobs)) {
            QCOMPARE(job.state, CupsJobState::Held);
            Answer(job.id, {u"cancel"_s}, u"cancel"_s, u"resume"_s);
        }
        QVERIFY(QTest::qWaitFor([&] { return m_server.Jobs(&jobs) && jobs.isEmpty(); }, 30000));
        QCOMPARE(m_cups->Logged(u"Release-Job"_s), 100);
        QCOMPARE(folder.entryList({u"*.prt"_s}).size(), 100);
    }

    // Names from the scheduler are data: a user name that is no folder name is refused, a
    // title cannot break the job file's lines.
    void namesAreData() {
        const int refused = m_cups->Submit(u"Plotter"_s, m_pdf, {u"-U"_s, u"../evil"_s});
        const QString title = u"../../"_s + QString(248, u'x'); // the scheduler's longest name
        const int kept = m_cups->Submit(u"Plotter"_s, m_pdf, {u"-t"_s, title});
        const QString prt = Folder() + Base(kept) + u".prt"_s;
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(prt); }, 5000));
        const QStringList lines =
            QString::fromUtf8(m_box->Read(prt.mid(m_box->Path().size() + 1))).split(u"\r\n"_s);
        QCOMPARE(lines.size(), 23);
        QCOMPARE(lines[7], title.left(254));
        QVERIFY(QTest::qWaitFor(
            [&] { return m_monitor->peek(100000).contains("refused: the user name \"../evil\""); },
            5000));
        QCOMPARE(QDir(Data(u"users"_s)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{Platform::LoginName()});
        QVERIFY(!QFileInfo::exists(Data(u"evil"_s)));
        QCOMPARE(State(refused), CupsJobState::Held);
    }
};

QTEST_GUILESS_MAIN(TestQorvmond)
#include "tst_qorvmond.moc"
