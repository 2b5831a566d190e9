// The monitor against a scheduler of the test's own: jobs held, written, answered and then
// released, moved, cancelled or billed as the answers say, across a restart and in bulk.
#include "platform/cups.h"
#include "platform/system.h"
#include "privatecups.h"
#include "testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <cups/cups.h>

#include <memory>

using namespace Qt::StringLiterals;
using Platform::CupsJobState;

class TestQorvmond : public QObject {
    Q_OBJECT
    std::unique_ptr<Sandbox> m_box;
    std::unique_ptr<PrivateCups> m_cups;
    StartedProgram m_monitor;
    std::unique_ptr<Platform::CupsServer> m_server;
    std::unique_ptr<DefaultSchedulerCanary> m_canary;
    const QString m_pdf = QStringLiteral(QORVLOG_TEST_DATA "/two.pdf");

    Platform::CupsJob Job(int id) {
        Platform::CupsJob job;
        m_server->Job(id, &job);
        return job;
    }
    QString JobName(int id) { // the job file's name
        return u"%1_%2_%3.prt"_s.arg(Platform::ComputerName())
            .arg(id, 5, 10, QChar(u'0'))
            .arg(Job(id).created);
    }
    QString Prt(int id) { // the job file, relative to the sandbox
        return u"share/data/users/%1/"_s.arg(Platform::LoginName()) + JobName(id);
    }
    // qorvmond, or the client when it is given, with messages into the sandbox.
    StartedProgram Start(const char* program = QORVMOND_BIN) {
        StartedProgram p(new QProcess);
        m_cups->Prepare(*p, {u"QORVLOG_MESSAGES="_s + m_box->Path(u"messages.txt"_s),
                             u"QT_QPA_PLATFORM=offscreen"_s});
        p->setProcessChannelMode(QProcess::MergedChannels);
        p->start(QString::fromUtf8(program));
        const bool started = p->waitForStarted() &&
                             (program != std::string_view(QORVMOND_BIN) ||
                              QTest::qWaitFor([&] { return p->peek(1000).contains("Started"); }));
        return started ? std::move(p) : nullptr;
    }
    // The job file of a job of two.pdf.
    QString JobFile(int id, const QString& queue, const QString& title) {
        return u"JOB|2|//%1/%6|%2|%6|%1|%3|%8||%4|%5|2|1|Letter|8.50|11.00|||Color|%7||Portrait|"_s
            .arg(
                Platform::ComputerName(), QString::number(id), Platform::LoginName(),
                QDateTime::fromSecsSinceEpoch(Job(id).created).toString(u"MM/dd/yyyy h:mm:ss AP"_s),
                QString::number(QFileInfo(m_pdf).size()), queue,
                queue == u"Office" ? u"Generic Office Laser"_s : u"Acme DesignJet Plotter"_s, title)
            .replace(u'|', u"\r\n"_s);
    }
    // Answers a job as the client does: its ".dat" and release file.
    void Answer(int id, const QString& dat, const QString& pas) {
        m_box->WriteLines(Prt(id).chopped(4) + u".dat"_s, {dat});
        m_box->WriteLines(u"share/data/Machines/%1/%2.pas"_s.arg(Platform::ComputerName())
                              .arg(id, 5, 10, QChar(u'0')),
                          {pas});
    }
    QStringList Status() const { // what qorvmond --status prints
        QByteArray out;
        m_cups->Run(QStringLiteral(QORVMOND_BIN), {u"--status"_s}, &out);
        return QString::fromUtf8(out).split(u'\n', Qt::SkipEmptyParts);
    }
    // Runs a shell command in the sandbox as uid (its own group, no others); its exit code.
    int As(int uid, const QString& command) const {
        QProcess p;
        m_cups->Prepare(p);
        p.setWorkingDirectory(m_box->Path(u"share/data"_s));
        p.start(u"setpriv"_s, {u"--reuid=%1"_s.arg(uid), u"--regid=%1"_s.arg(uid),
                               u"--clear-groups"_s, u"sh"_s, u"-c"_s, command});
        return p.waitForFinished(20000) ? p.exitCode() : -1;
    }
    // Mode and owner of a path in the data folder, as "2770 61002:0".
    QString Layout(const QString& relative) const {
        struct stat st;
        if (::lstat(m_box->Path(u"share/data/"_s + relative).toUtf8().constData(), &st) != 0)
            return u"missing"_s;
        return u"%1 %2:%3"_s.arg(st.st_mode & 07777, 0, 8).arg(st.st_uid).arg(st.st_gid);
    }

private Q_SLOTS:
    // The canary notices a program that was not pointed at the private scheduler.
    void initTestCase() {
        m_canary = std::make_unique<DefaultSchedulerCanary>();
        QProcess lpstat;
        lpstat.start(u"lpstat"_s, {u"-r"_s});
        QVERIFY(lpstat.waitForFinished(20000));
        QTRY_VERIFY(m_canary->Requests() > 0);
        m_canary->Reset();
    }
    void init() {
        if (!PrivateCups::Installed()) QSKIP("cupsd is not installed (package cups-daemon)");
        cleanup(); // what a failed init left
        m_box = std::make_unique<Sandbox>();
        LayOutInstallation(*m_box, TestData(u"config_monitor.ini"_s));
        m_cups = std::make_unique<PrivateCups>(*m_box);
        QVERIFY(m_cups->Running());
        // Throw-away accounts for the multi-user tests; nothing is added to the machine.
        QByteArray passwd;
        for (const auto& [name, uid, gid] :
             {std::tuple{Platform::LoginName(), ::geteuid(), ::getegid()},
              {u"alice"_s, 61001u, 61001u},
              {u"bob"_s, 61002u, 61002u}})
            passwd += u"%1:x:%2:%3::/nonexistent:/bin/sh\n"_s.arg(name).arg(uid).arg(gid).toUtf8();
        qputenv("QORVLOG_PASSWD", m_box->Write(u"passwd"_s, passwd).toUtf8());
        m_server = std::make_unique<Platform::CupsServer>(m_cups->Socket());
        for (const auto& [queue, model] : {std::pair{u"Plotter"_s, u"Acme DesignJet Plotter"_s},
                                           {u"Second"_s, u"Acme DesignJet Plotter"_s},
                                           {u"Office"_s, u"Generic Office Laser"_s}})
            QVERIFY(m_cups->AddQueue(queue, model));
        QVERIFY((m_monitor = Start()));
    }
    void cleanup() {
        m_monitor.reset(); // killed
        m_server.reset();
        m_cups.reset();
        m_box.reset();
        qunsetenv("QORVLOG_PASSWD");
        QCOMPARE(m_canary->Requests(), 0);
    }

    // lp -> held -> job file -> qorvlog stores it silently and answers -> billed, released;
    // a group that neither holds nor logs prints at once, unbilled.
    void jobPrintedAsAnswered_data() {
        QTest::addColumn<QString>("queue");
        QTest::addColumn<QString>("redirect");
        QTest::addColumn<QString>("printed"); // queue, then its billing
        QTest::newRow("held, released")
            << u"Plotter"_s << u"Enter IP Address Here"_s << u"Plotter Matter=M-4711; Pages=2"_s;
        QTest::newRow("held, redirected")
            << u"Plotter"_s << u"Second"_s << u"Second Matter=M-4711; Pages=2"_s;
        QTest::newRow("not held") << u"Office"_s << QString() << u"Office "_s;
    }
    void jobPrintedAsAnswered() {
        QFETCH(QString, queue);
        QFETCH(QString, redirect);
        QFETCH(QString, printed);
        m_box->Write(u"share/Config.ini"_s, IniEdit(m_box->Read(u"share/Config.ini"_s), u"PG1"_s,
                                                    u"Redirect"_s, redirect));
        const int id = m_cups->Submit(queue, m_pdf, {u"-t"_s, u"Site plan"_s});
        const bool held = queue == u"Plotter";
        QVERIFY(QTest::qWaitFor([&] { return id && QFileInfo::exists(m_box->Path(Prt(id))); }));
        QCOMPARE(QString::fromUtf8(m_box->Read(Prt(id))), JobFile(id, queue, u"Site plan"_s));
        QTest::qWait(300); // nothing held prints before the answer, the rest at once
        QCOMPARE(Job(id).state, held ? CupsJobState::Held : CupsJobState::Completed);

        const auto client = Start(QORVLOG_BIN);
        QVERIFY(client);
        QVERIFY(QTest::qWaitFor([&] { return Job(id).state == CupsJobState::Completed; }, 10000));
        QVERIFY(QTest::qWaitFor([&] { return Status() == QStringList{u"No held jobs"_s}; }));
        QCOMPARE(Job(id).queue + u' ' + Job(id).billing, printed);
        QCOMPARE(m_box->Read(u"cups/out/"_s + printed.section(u' ', 0, 0) + u".out"_s),
                 TestData(u"two.pdf"_s));
        QCOMPARE(m_box->Read(u"messages.txt"_s), QByteArray());
        QCOMPARE(m_cups->Logged(u"Release-Job"_s), held ? 1 : 0);
    }

    // A job created first and sent its document later (as lp does) is written once the
    // document is there, with its size and pages; the monitor made its queue hold new jobs.
    void documentSentLater() {
        QList<Platform::CupsQueue> qs; // Office, Plotter, Second
        QVERIFY(m_server->Queues(&qs) && qs.size() == 3);
        QCOMPARE(u"%1|%2|%3|%4|%5|%6"_s
                     .arg(qs[1].name, qs[1].makeAndModel, qs[1].mediaDefault, qs[1].colorDefault,
                          qs[1].holdDefault)
                     .arg(qs[1].colorSupported),
                 u"Plotter|Acme DesignJet Plotter|na_letter_8.5x11in|color|indefinite|1"_s);
        const std::unique_ptr<http_t, void (*)(http_t*)> http(
            httpConnect2(m_cups->Socket().toUtf8().constData(), 0, nullptr, AF_LOCAL,
                         HTTP_ENCRYPTION_IF_REQUESTED, 1, 30000, nullptr),
            httpClose);
        const int id = cupsCreateJob(http.get(), "Plotter", "late", 0, nullptr);
        QVERIFY(id > 0);
        QTest::qWait(500);
        QVERIFY(!QFileInfo::exists(m_box->Path(Prt(id))));
        const QByteArray pdf = TestData(u"two.pdf"_s);
        QCOMPARE(cupsStartDocument(http.get(), "Plotter", id, "two.pdf", CUPS_FORMAT_PDF, 1),
                 HTTP_STATUS_CONTINUE);
        QCOMPARE(cupsWriteRequestData(http.get(), pdf.constData(), size_t(pdf.size())),
                 HTTP_STATUS_CONTINUE);
        QCOMPARE(cupsFinishDocument(http.get(), "Plotter"), IPP_STATUS_OK);
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(m_box->Path(Prt(id))); }));
        QCOMPARE(QString::fromUtf8(m_box->Read(Prt(id))), JobFile(id, u"Plotter"_s, u"late"_s));
    }

    // Answered while the monitor was stopped: "resume" bills and releases once, "delete" cancels,
    // a job cancelled in the scheduler is forgotten (its job file stays), an unanswered one stays
    // held, no job file is written twice and another user's monitor keeps its subscription.
    void answeredWhileStopped() {
        QList<int> ids; // resumed, deleted, cancelled in the scheduler, unanswered
        for (int i = 0; i < 4; ++i) ids << m_cups->Submit(u"Plotter"_s, m_pdf);
        QVERIFY(QTest::qWaitFor([&] { return Status().size() == 4; }));
        const QDateTime written = QFileInfo(m_box->Path(Prt(ids[3]))).lastModified();
        m_monitor.reset(); // killed
        Answer(ids[0], u"QorvexDetail,2,\"Matter\",\"M-1\""_s, u" Resume "_s);
        Answer(ids[1], u"cancel"_s, u"delete"_s);
        const QString cancelled = Prt(ids[2]);
        QVERIFY(m_server->Cancel(ids[2]));
        cupsSetUser("alice");
        const int others = m_server->Subscribe({u"job-created"_s}, {}, 600, u"qorvmond"_s);
        cupsSetUser(nullptr);
        QVERIFY((m_monitor = Start()));
        const QStringList waiting{
            u"Plotter-%1 %2 held 0 min"_s.arg(ids[3]).arg(Platform::LoginName())};
        QVERIFY(QTest::qWaitFor([&] { return Status() == waiting; }));
        QCOMPARE(Job(ids[0]).billing, u"Matter=M-1"_s);
        QVERIFY(QTest::qWaitFor([&] { return Job(ids[0]).state == CupsJobState::Completed; }));
        QCOMPARE(Job(ids[1]).state, CupsJobState::Canceled);
        QCOMPARE(Job(ids[3]).state, CupsJobState::Held);
        QVERIFY(QFileInfo::exists(m_box->Path(cancelled)));
        QCOMPARE(m_box->Read(cancelled.chopped(4) + u".dat"_s), "cancel\r\n");
        QCOMPARE(QFileInfo(m_box->Path(Prt(ids[3]))).lastModified(), written);
        QCOMPARE(QDir(UserFolder(*m_box)).entryList({u"*.prt"_s}).size(), 4);
        QCOMPARE(m_cups->Logged(u"Release-Job"_s), 1);
        QVERIFY(others > 0 && m_server->Renew(others, 600));
    }

    // 100 jobs at once: each held and written once, each released by its answer.
    void hundredJobsAtOnce() {
        QVERIFY(m_cups->Run(
            u"sh"_s, {u"-c"_s, u"for i in $(seq 100); do lp -d Plotter $0 & done; wait"_s, m_pdf}));
        QVERIFY(QTest::qWaitFor([&] { return Status().size() == 100; }, 20000));
        QList<Platform::CupsJob> jobs;
        QVERIFY(m_server->Jobs(&jobs));
        for (const auto& job : std::as_const(jobs)) {
            QCOMPARE(job.state, CupsJobState::Held);
            Answer(job.id, u"cancel"_s, u"resume"_s);
        }
        QVERIFY(QTest::qWaitFor([&] { return m_server->Jobs(&jobs) && jobs.isEmpty(); }, 30000));
        QCOMPARE(m_cups->Logged(u"Release-Job"_s), 100);
        QCOMPARE(QDir(UserFolder(*m_box)).entryList({u"*.prt"_s}).size(), 100);
    }

    // Names from the scheduler are data: a user name that is no folder name is refused, a
    // title cannot break the job file's lines.
    void namesAreData() {
        const int refused = m_cups->Submit(u"Plotter"_s, m_pdf, {u"-U"_s, u"../evil"_s});
        const QString title = u"../../"_s + QString(248, u'x'); // the scheduler's longest name
        const int kept = m_cups->Submit(u"Plotter"_s, m_pdf, {u"-t"_s, title});
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(m_box->Path(Prt(kept))); }));
        const QList<QByteArray> lines = m_box->Read(Prt(kept)).split('\n');
        QCOMPARE(lines.size(), 23);
        QCOMPARE(lines[7], title.left(254).toUtf8() + '\r');
        QVERIFY(QTest::qWaitFor([&] {
            return m_monitor->peek(100000).contains("refused: the user name \"../evil\"");
        }));
        QCOMPARE(QDir(m_box->Path(u"share/data/users"_s))
                     .entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{Platform::LoginName()});
        QCOMPARE(Job(refused).state, CupsJobState::Held);
        const int stranger = m_cups->Submit(u"Plotter"_s, m_pdf, {u"-U"_s, u"mallory"_s});
        const QStringList status{
            u"Plotter-%1 refused 0 min: the user name \"../evil\" cannot name a folder of its own"_s
                .arg(refused),
            u"Plotter-%1 %2 held 0 min"_s.arg(kept).arg(Platform::LoginName()),
            u"Plotter-%1 refused 0 min: the user name \"mallory\" is not an account of this server"_s
                .arg(stranger)};
        QTRY_COMPARE(Status(), status);
    }

    // A second monitor says that one runs; a lock that cannot be made says why.
    void lockFailure_data() {
        QTest::addColumn<QString>("folders"); // XDG_RUNTIME_DIR and XDG_DATA_HOME, "" as they are
        QTest::addColumn<QString>("said");
        QTest::newRow("running") << QString() << u"qorvmond: another instance runs\n"_s;
        QTest::newRow("no folder") << u"file"_s // a file where the folders should be
                                   << u"qorvmond: unable to make the lock file %1/file/Qorvex/"
                                      "qorvmond-%2.lock: the folder is missing or not writable\n"_s;
    }
    void lockFailure() {
        QFETCH(QString, folders);
        QFETCH(QString, said);
        QProcess second;
        const QString missing = folders.isEmpty() ? QString() : m_box->Write(folders, "");
        m_cups->Prepare(second, folders.isEmpty() ? QStringList()
                                                  : QStringList{u"XDG_RUNTIME_DIR="_s + missing,
                                                                u"XDG_DATA_HOME="_s + missing});
        second.start(QStringLiteral(QORVMOND_BIN));
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 1);
        QCOMPARE(
            QString::fromUtf8(second.readAllStandardError()),
            QString(said).replace(u"%1"_s, m_box->Path()).replace(u"%2"_s, Platform::LoginName()));
    }

    // Two users of one server: each one's folder is his own, an answer another user leaves in
    // the machine folder is ignored, and the job's user's own answer releases and bills the job.
    void onlyTheJobsUserAnswers_data() {
        QTest::addColumn<QString>("forged");
        QTest::newRow("resume") << u"resume"_s;
        QTest::newRow("delete") << u"delete"_s;
    }
    void onlyTheJobsUserAnswers() {
        QFETCH(QString, forged);
        if (::geteuid() != 0) QSKIP("needs root to run each side as its own user");
        const int id = m_cups->Submit(u"Plotter"_s, m_pdf, {u"-U"_s, u"bob"_s});
        const QString folder = u"users/bob/"_s, prt = JobName(id);
        const QString machine = u"Machines/"_s + Platform::ComputerName();
        const QString pas = u"%1/%2.pas"_s.arg(machine).arg(id, 5, 10, QChar(u'0'));
        QVERIFY(QTest::qWaitFor([&] { return Layout(folder + prt) != u"missing"_s; }));
        QCOMPARE((QStringList{Layout(u"users"_s), Layout(folder), Layout(folder + prt),
                              Layout(machine)}),
                 (QStringList{u"711 0:0"_s, u"2770 61002:0"_s, u"640 61002:0"_s, u"1733 0:0"_s}));
        // alice can neither list, read nor write bob's folder, nor replace his files.
        QCOMPARE(As(61001, u"ls users/bob"_s), 2);
        QCOMPARE(As(61001, u"cat users/bob/"_s + prt), 1);
        QCOMPARE(As(61001, u"echo cancel > users/bob/x.dat"_s), 2);
        QCOMPARE(As(61001, u"ls users"_s), 2);
        QCOMPARE(As(61001, u"echo %1 > %2"_s.arg(forged, pas)), 0);
        QVERIFY(QTest::qWaitFor([&] {
            return m_monitor->peek(100000).contains(
                (pas.section(u'/', -1) + u" ignored: it belongs to uid 61001, not to bob"_s)
                    .toUtf8());
        }));
        QTest::qWait(300);
        QCOMPARE(Job(id).state, CupsJobState::Held);
        QCOMPARE(As(61002, u"echo resume > "_s + pas), 2); // sticky: alice's file stays hers
        QVERIFY(QFile::remove(m_box->Path(u"share/data/"_s + pas))); // the administrator
        // Written whole, as the client writes it.
        QCOMPARE(As(61002, u"printf 'QorvexDetail,2,\"Matter\",\"M-2\"\\r\\n' > users/bob/.new && "
                           "mv users/bob/.new users/bob/%1dat && echo resume > %2"_s.arg(
                               prt.chopped(3), pas)),
                 0);
        QVERIFY(QTest::qWaitFor([&] { return Job(id).state == CupsJobState::Completed; }, 10000));
        QCOMPARE(Job(id).billing, u"Matter=M-2"_s);
    }

    // bob's folder is swapped for a link to a folder of alice's while bob's first, large (60 MB)
    // document is fetched and counted: the job file still goes into bob's own folder.
    void swappedFolderIsNotFollowed() {
        if (::geteuid() != 0) QSKIP("needs root to swap a folder the monitor made");
        QByteArray ps = "%!PS-Adobe-3.0\n%%Pages: (atend)\n";
        ps += QByteArray(60 << 20, '%') + "\n%%Pages: 7\n%%EOF\n";
        const QString doc = m_box->Write(u"big.ps"_s, ps);
        const QString evil = m_box->Path(u"share/data/evil"_s), bob = u"users/bob"_s;
        QVERIFY(QDir().mkpath(evil) && ::chown(evil.toUtf8().constData(), 61001, 61001) == 0);
        const int id = m_cups->Submit(u"Plotter"_s, doc, {u"-U"_s, u"bob"_s});
        QVERIFY(QTest::qWaitFor([&] { return Layout(bob) == u"2770 61002:0"_s; }, 20000));
        const QByteArray real = m_box->Path(u"share/data/users/bob"_s).toUtf8();
        QVERIFY(::rename(real.constData(), real + ".real") == 0);
        QVERIFY(::symlink(evil.toUtf8().constData(), real.constData()) == 0);
        const QString prt = bob + u".real/"_s + JobName(id);
        QVERIFY2(Layout(prt) == u"missing"_s, "swapped only after the job file was written");
        QVERIFY2(QTest::qWaitFor([&] { return Layout(prt) == u"640 61002:0"_s; }, 20000),
                 m_monitor->peek(100000).constData());
        QCOMPARE(m_box->Read(u"share/data/"_s + prt).split('\n').value(11), "7\r");
        QCOMPARE(Listing(evil), QString());
    }

    // The submit policy the README gives: a local user can no longer print under another
    // user's name, and still prints under his own.
    void submitterIsTheUser() {
        if (::geteuid() != 0) QSKIP("needs root to submit as another user");
        const QString readme = QString::fromUtf8(TestData(u"../../README.md"_s));
        const qsizetype at = readme.indexOf(u"    <Limit Create-Job"_s);
        const QString policy = readme.mid(at, readme.indexOf(u"</Limit>\n"_s, at) + 9 - at);
        QVERIFY(at > 0 && policy.contains(u"Require valid-user"_s));
        m_monitor.reset();
        m_cups.reset(); // m_server reaches the new scheduler on the same socket
        m_cups = std::make_unique<PrivateCups>(*m_box, policy.toUtf8());
        QVERIFY(m_cups->Running() && m_cups->AddQueue(u"Plotter"_s, u"Generic Office Laser"_s));
        QFile::setPermissions(m_box->Write(u"cups/doc.pdf"_s, TestData(u"two.pdf"_s)),
                              QFile::Permissions(0x6644));
        const QString lp = u"setsid -w lp -d Plotter -H hold %1 ../../cups/doc.pdf"_s;
        QCOMPARE(As(65534, lp.arg(u"-U daemon"_s)), 1); // nobody, as the daemon account
        QCOMPARE(As(65534, lp.arg(QString())), 0);
        QList<Platform::CupsJob> jobs;
        QVERIFY(m_server->Jobs(&jobs) && jobs.size() == 1);
        QCOMPARE(jobs[0].user, u"nobody"_s);
    }
};

QTEST_GUILESS_MAIN(TestQorvmond)
#include "tst_qorvmond.moc"
