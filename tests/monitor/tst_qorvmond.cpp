// The monitor against a scheduler of the test's own: jobs held, written, answered and then
// released, moved, cancelled or billed as the answers say, across a restart and in bulk.
#include "platform/cups.h"
#include "platform/pagecount.h"
#include "platform/system.h"
#include "privatecups.h"
#include "testsupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
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
    // qorvmond, or the client when it is given, with messages into the sandbox; as: a command
    // that runs it (setpriv ...); wait: until it has started.
    StartedProgram Start(const char* program = QORVMOND_BIN, QStringList as = {},
                         bool wait = true) {
        StartedProgram p(new QProcess);
        m_cups->Prepare(*p, {u"QORVLOG_MESSAGES="_s + m_box->Path(u"messages.txt"_s),
                             u"QT_QPA_PLATFORM=offscreen"_s});
        p->setProcessChannelMode(QProcess::MergedChannels);
        as << QString::fromUtf8(program);
        p->start(as[0], as.mid(1));
        const bool started = p->waitForStarted() &&
                             (program != std::string_view(QORVMOND_BIN) || !wait ||
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
        const QByteArray path = m_box->WriteLines(Prt(id).chopped(4) + u".new"_s, {dat}).toUtf8();
        QCOMPARE(std::rename(path.constData(), (path.chopped(3) + "dat").constData()), 0);
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
    // A connection of its own to the scheduler.
    std::unique_ptr<http_t, void (*)(http_t*)> Connect() const {
        return {httpConnect2(m_cups->Socket().toUtf8().constData(), 0, nullptr, AF_LOCAL,
                             HTTP_ENCRYPTION_IF_REQUESTED, 1, 30000, nullptr),
                httpClose};
    }
    // Sends a document of a job made by Create-Job; whether the scheduler took it.
    static bool Send(http_t* http, const char* queue, int id, const QByteArray& doc, bool last) {
        return cupsStartDocument(http, queue, id, "doc", CUPS_FORMAT_AUTO, last) ==
                   HTTP_STATUS_CONTINUE &&
               cupsWriteRequestData(http, doc.constData(), size_t(doc.size())) ==
                   HTTP_STATUS_CONTINUE &&
               cupsFinishDocument(http, queue) == IPP_STATUS_OK;
    }
    // Whether the user's job file of job id is there, or comes within 5 s.
    bool Written(const QString& user, int id, int ms = 5000) {
        const QString prt = u"share/data/users/%1/"_s.arg(user) + JobName(id);
        return QTest::qWaitFor([&] { return QFileInfo::exists(m_box->Path(prt)); }, ms);
    }
    // Runs f(connection) in a process of uid, known to the scheduler by its socket's credentials
    // and naming name; Succeeded(pid) waits for it and tells whether f returned true.
    template <typename F> pid_t Spawn(uid_t uid, const char* name, F f) const {
        const pid_t pid = ::fork();
        if (pid == 0) {
            cupsSetUser(name);
            if (::setgroups(0, nullptr) || ::setresgid(uid, uid, uid) || ::setresuid(uid, uid, uid))
                ::_exit(2);
            const auto http = Connect();
            if (http) httpSetAuthString(http.get(), "PeerCred", name);
            ::_exit(!http || !f(http.get()));
        }
        return pid;
    }
    static bool Succeeded(pid_t pid) {
        int status = 1;
        return pid > 0 && ::waitpid(pid, &status, 0) == pid && status == 0;
    }
    // The scheduler again, under the README's policies (the package's file holds the same; the
    // companions' and documents' ones left out unless asked for), with nobody, and the monitor.
    void UnderReadmePolicies(bool companions = true, bool documents = true) {
        const QString readme = QString::fromUtf8(TestData(u"../../README.md"_s));
        const qsizetype at = readme.indexOf(u"    <Policy qorvmond>"_s);
        const qsizetype end =
            readme.indexOf(u"    </Policy>\n"_s, readme.indexOf(u"<Policy qorvmond-released>"_s));
        QString policy = readme.mid(at, end + 14 - at);
        policy.replace(u"\n    "_s, u"\n"_s);
        QCOMPARE(policy.mid(4),
                 QString::fromUtf8(TestData(u"../../packaging/cupsd-qorvmond.conf"_s)));
        if (!companions) policy.truncate(policy.indexOf(u"\n<Policy qorvmond-released>"_s));
        const qsizetype get = readme.indexOf(u"    <Limit CUPS-Get-Document>"_s);
        const QString getBlock =
            documents ? readme.mid(get, readme.indexOf(u"</Limit>\n"_s, get) + 9 - get) : QString();
        m_monitor.reset();
        m_cups.reset();
        m_cups = std::make_unique<PrivateCups>(
            *m_box, PrivateCups::Setup{getBlock.toUtf8(), policy.mid(4).toUtf8()});
        QVERIFY(m_cups->Running() && m_cups->AddQueue(u"Plotter"_s, u"Acme DesignJet Plotter"_s));
        m_box->Write(u"passwd"_s, m_box->Read(u"passwd"_s) + "nobody:x:65534:65534::/:/bin/sh\n");
        QVERIFY((m_monitor = Start()));
    }
    // nobody's answer to his job: a matter, and "resume".
    void AnswerAsNobody(int id) {
        const QString dat = u"users/nobody/"_s + JobName(id).chopped(3) + u"dat"_s;
        const QString pas =
            u"Machines/%1/%2.pas"_s.arg(Platform::ComputerName()).arg(id, 5, 10, QChar(u'0'));
        QCOMPARE(As(65534, u"printf 'QorvexDetail,2,\"Matter\",\"M-9\"\\r\\n' > %1.new && "
                           "mv %1.new %1 && echo resume > %2"_s.arg(dat, pas)),
                 0);
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
        QTest::newRow("held, released") << u"Plotter"_s << u"Enter IP Address Here"_s
                                        << u"Plotter-released Matter=M-4711; Pages=2"_s;
        QTest::newRow("held, redirected")
            << u"Plotter"_s << u"Second"_s << u"Second-released Matter=M-4711; Pages=2"_s;
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
        QCOMPARE(m_box->Read(u"cups/out/"_s + printed.section(u' ', 0, 0).section(u'-', 0, 0) +
                             u".out"_s),
                 TestData(u"two.pdf"_s));
        QCOMPARE(m_box->Read(u"messages.txt"_s), QByteArray());
        QCOMPARE(m_cups->Logged(u"Release-Job"_s), held ? 1 : 0);
        // The billing record of a released job, kept from its user: its job file and answer.
        const QString billed =
            u"Machines/%1/billed/"_s.arg(Platform::ComputerName()) + JobName(id).chopped(3);
        const QByteArray copy = m_box->Read(u"share/data/"_s + billed + u"prt"_s) + "|" +
                                m_box->Read(u"share/data/"_s + billed + u"dat"_s);
        QCOMPARE(copy, held
                           ? m_box->Read(Prt(id)) + "|" + m_box->Read(Prt(id).chopped(3) + u"dat"_s)
                           : "|");
        QCOMPARE(Layout(billed + u"dat"_s),
                 held ? u"600 %1:%2"_s.arg(::geteuid()).arg(::getegid()) : u"missing"_s);
    }

    // A PostScript document that prints one page when run on the counters' devices and three
    // elsewhere is billed the pages that print: its companion prints what was counted. One sent
    // raw, held on a queue without driver (the printer runs either), or said to be PDF, is
    // refused. Its copy goes with the job, with none of its code (run again, it prints more).
    void postScriptPrintsAsCounted_data() {
        QTest::addColumn<QString>("queue");
        QTest::addColumn<QStringList>("lp");
        QTest::addColumn<QString>("billed"); // pages billed and printed; "" refused
        QTest::newRow("as counted") << u"Plotter"_s << QStringList() << u"1 1"_s;
        QTest::newRow("raw") << u"Plotter"_s << QStringList{u"-o"_s, u"raw"_s} << QString();
        QTest::newRow("queue without driver") << u"Raw"_s << QStringList() << QString();
        QTest::newRow("said to be PDF")
            << u"Plotter"_s << QStringList{u"-o"_s, u"document-format=application/pdf"_s}
            << QString();
    }
    void postScriptPrintsAsCounted() {
        QFETCH(QString, queue);
        QFETCH(QStringList, lp);
        QFETCH(QString, billed);
        if (queue == u"Raw"_s) { // held, as every queue of the default group now
            m_monitor.reset();
            m_box->Write(u"share/Config.ini"_s, IniEdit(m_box->Read(u"share/Config.ini"_s),
                                                        u"PG2"_s, u"PauseUntilAck"_s, u"True"_s));
            QVERIFY(m_cups->Run(u"lpadmin"_s, {u"-p"_s, queue, u"-E"_s, u"-v"_s,
                                               u"file://"_s + m_box->Path(u"cups/out/Raw.out"_s)}));
            QVERIFY((m_monitor = Start()));
        }
        const QString doc =
            m_box->Write(u"sly.ps"_s, "%!PS\n/n currentpagedevice /OutputDevice get dup /bit eq "
                                      "exch dup /ps2write eq exch /pdfwrite eq or or {1} {3} "
                                      "ifelse def /more (currentpagedevice /OutputDevice get /bit "
                                      "ne {showpage} if) def << /PSDocOptions more >> "
                                      "setpagedevice [ /DataSource more /PS pdfmark\n"
                                      "n {72 72 moveto 200 200 lineto stroke showpage} repeat\n");
        const int id = m_cups->Submit(queue, doc, lp);
        const QString copies = m_box->Path(u"printed/"_s) + QString::number(id);
        if (billed.isEmpty()) {
            const QByteArray refused = "Job " + QByteArray::number(id) + " refused: its pages";
            QVERIFY(QTest::qWaitFor([&] { return m_monitor->peek(1 << 20).contains(refused); }));
            QCOMPARE(Job(id).state, CupsJobState::Held);
            return;
        }
        QVERIFY(QTest::qWaitFor([&] { return id && QFileInfo::exists(m_box->Path(Prt(id))); }));
        const auto client = Start(QORVLOG_BIN);
        QVERIFY(client);
        QVERIFY(QTest::qWaitFor([&] { return Job(id).state == CupsJobState::Completed; }, 10000));
        // As a printer runs it: on a device of neither counter.
        QProcess gs;
        gs.start(u"gs"_s, {u"-q"_s, u"-dSAFER"_s, u"-dBATCH"_s, u"-dNOPAUSE"_s, u"-sDEVICE=bbox"_s,
                           m_box->Path(u"cups/out/Plotter.out"_s)});
        QVERIFY(gs.waitForFinished(20000));
        const QByteArray pages = m_box->Read(Prt(id)).split('\n').value(11).trimmed();
        QCOMPARE(pages + ' ' + QByteArray::number(gs.readAllStandardError().count("%%BoundingBox")),
                 billed.toUtf8());
        QVERIFY(QTest::qWaitFor([&] { return !QFileInfo::exists(copies); }));
    }

    // A job created first and sent its document later (as lp does) is written once the
    // document is there, with its size and pages, also when it printed before the monitor looked
    // again; the monitor made its queue hold new jobs.
    void documentSentLater_data() {
        QTest::addColumn<QString>("queue");
        QTest::newRow("held") << u"Plotter"_s;
        // the document comes and the job prints while the monitor is not looking
        QTest::newRow("printed at once") << u"Office"_s;
    }
    void documentSentLater() {
        QFETCH(QString, queue);
        const QByteArray q = queue.toUtf8();
        QList<Platform::CupsQueue> qs; // Office, Plotter, Plotter-released, Second, ...
        QVERIFY(m_server->Queues(&qs) && qs.size() == 5);
        QCOMPARE(u"%1|%2|%3|%4|%5|%6"_s
                     .arg(qs[1].name, qs[1].makeAndModel, qs[1].mediaDefault, qs[1].colorDefault,
                          qs[1].holdDefault)
                     .arg(qs[1].colorSupported),
                 u"Plotter|Acme DesignJet Plotter|na_letter_8.5x11in|color|indefinite|1"_s);
        const auto http = Connect();
        const int id = cupsCreateJob(http.get(), q.constData(), "late", 0, nullptr);
        QVERIFY(id > 0);
        QTest::qWait(500);
        QVERIFY(!QFileInfo::exists(m_box->Path(Prt(id))));
        if (queue == u"Plotter"_s) // held, without a job file yet: named all the same
            QCOMPARE(Status(),
                     QStringList{u"Plotter-%1 %2 held 0 min, not taken up yet"_s.arg(id).arg(
                         Platform::LoginName())});
        if (queue == u"Office"_s) ::kill(pid_t(m_monitor->processId()), SIGSTOP);
        QVERIFY(Send(http.get(), q.constData(), id, TestData(u"two.pdf"_s), true));
        QVERIFY(queue == u"Plotter"_s || QTest::qWaitFor([&] { return Job(id).Finished(); }));
        ::kill(pid_t(m_monitor->processId()), SIGCONT);
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(m_box->Path(Prt(id))); }));
        QCOMPARE(QString::fromUtf8(m_box->Read(Prt(id))), JobFile(id, queue, u"late"_s));
    }

    // A document added to a held job after its job file was written, whose pages cannot all be
    // counted, keeps the job held though its user answers (on the companion, where it was
    // counted).
    void uncountedDocumentAddedLater() {
        const auto http = Connect();
        const int id = cupsCreateJob(http.get(), "Plotter", "late", 0, nullptr);
        QVERIFY(Send(http.get(), "Plotter", id, TestData(u"two.pdf"_s), false));
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(m_box->Path(Prt(id))); }));
        QVERIFY(Send(http.get(), "Plotter", id, "%!PS\nshowpage {} loop\n", true));
        Answer(id, u"QorvexDetail,2,\"Matter\",\"M-4711\""_s, u"resume"_s);
        const QByteArray refused = u"Job %1 refused: "_s.arg(id).toUtf8();
        QVERIFY(QTest::qWaitFor([&] { return m_monitor->peek(1 << 20).contains(refused); },
                                Platform::kCountMs + 5000));
        QCOMPARE(Job(id).state, CupsJobState::Held);
        QCOMPARE(Status(), QStringList{u"Plotter-released-%1 refused 0 min: its pages cannot all "
                                       "be counted (a document too large, sent raw, of a kind "
                                       "that cannot be counted, or stopped at its time "
                                       "limit)"_s.arg(id)});
    }

    // Its owner adds a document to a pending job of a queue that does not wait for answers
    // after its job file was written: the job file bills it once the job printed.
    void documentAddedBeforePrinting() {
        QVERIFY(m_server->SetStopped(u"Office"_s, true));
        const int id = m_cups->Submit(u"Office"_s, m_pdf);
        QVERIFY(QTest::qWaitFor([&] { return id && QFileInfo::exists(m_box->Path(Prt(id))); }));
        const QByteArray ps = "%!PS\nshowpage showpage showpage\n";
        QVERIFY(Send(Connect().get(), "Office", id, ps, true));
        QVERIFY(m_server->SetStopped(u"Office"_s, false));
        const QByteArray bytes = QByteArray::number(QFileInfo(m_pdf).size() + ps.size());
        QTRY_COMPARE_WITH_TIMEOUT(m_box->Read(Prt(id)).split('\n').mid(10, 2),
                                  (QList<QByteArray>{bytes + '\r', "5\r"}), 10000);
        QTRY_VERIFY(m_monitor->peek(1 << 20).contains(": 3 more pages, 5 in all"));
    }

    // Answered while the monitor was stopped: "resume" bills and releases once, "delete" cancels,
    // a job cancelled in the scheduler is forgotten (its job file stays), an unanswered one stays
    // held, no job file is written twice and another user's monitor keeps its subscription.
    void answeredWhileStopped() {
        QList<int> ids; // resumed, deleted, cancelled in the scheduler, unanswered
        for (int i = 0; i < 4; ++i) ids << m_cups->Submit(u"Plotter"_s, m_pdf);
        QVERIFY(QTest::qWaitFor([&] { // each written and in the saved state
            const QStringList status = Status();
            return status.size() == 4 && status.filter(u"not taken up"_s).isEmpty();
        }));
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
        // Its billed copy from the saved state: the job file as written before the restart.
        QCOMPARE(m_box->Read(u"share/data/Machines/%1/billed/"_s.arg(Platform::ComputerName()) +
                             JobName(ids[0])),
                 m_box->Read(Prt(ids[0])));
        QVERIFY(others > 0 && m_server->Renew(others, 600));
    }

    // 100 jobs at once: each held and written once, each released by its answer.
    void hundredJobsAtOnce() {
        QVERIFY(m_cups->Run(
            u"sh"_s, {u"-c"_s, u"for i in $(seq 100); do lp -d Plotter $0 & done; wait"_s, m_pdf}));
        // Answered once taken up (a release file for a job the monitor does not hold goes).
        QVERIFY(QTest::qWaitFor(
            [&] { return QDir(UserFolder(*m_box)).entryList({u"*.prt"_s}).size() == 100; }, 20000));
        QCOMPARE(Status().size(), 100);
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

    // The pages billed are every document's, counted from its content, whatever a PostScript
    // comment says; documents sent after the job file was written count before it prints.
    void pagesFromContent_data() { // "pdf": two.pdf (2 pages), "ps": 3 pages, "%%Pages: 1"
        Table("documents pages",
              {"two documents¦pdf pdf¦4", "lying %%Pages:¦ps¦3", "PDF and PostScript¦pdf ps¦5"});
    }
    void pagesFromContent() {
        QFETCH(QString, documents);
        QFETCH(QString, pages);
        const QString ps = m_box->Write(
            u"lie.ps"_s, "%!PS-Adobe-3.0\n%%Pages: 1\nshowpage\nshowpage\nshowpage\n%%Pages: 1\n");
        QStringList files;
        for (const QString& d : documents.split(u' ')) files << (d == u"pdf"_s ? m_pdf : ps);
        const int id = m_cups->Submit(u"Plotter"_s, files.takeLast(), files);
        QVERIFY(QTest::qWaitFor([&] { return id && QFileInfo::exists(m_box->Path(Prt(id))); }));
        Answer(id, u"QorvexDetail,2,\"Matter\",\"M-4711\""_s, u"resume"_s);
        QVERIFY(QTest::qWaitFor([&] { return Job(id).Finished(); }, 10000));
        const QList<QByteArray> lines = m_box->Read(Prt(id)).split('\n');
        QCOMPARE(lines.value(1) + lines.value(11), (pages + u'\r' + pages + u'\r').toUtf8());
    }

    // A document sent compressed is counted as it prints, unpacked. Held, its PostScript
    // cannot print as counted (the companion's filter gets it unpacked by another): refused.
    void compressedDocumentCounted_data() {
        QTest::addColumn<QString>("queue");
        QTest::newRow("not held") << u"Office"_s;
        QTest::newRow("held") << u"Plotter"_s;
    }
    void compressedDocumentCounted() {
        QFETCH(QString, queue);
        const QString ps = m_box->Write(u"three.ps"_s, "%!PS\nshowpage showpage showpage\n");
        QVERIFY(m_cups->Run(u"gzip"_s, {ps}));
        ipp_t* r = ippNewRequest(IPP_OP_PRINT_JOB);
        ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                     ("ipp://localhost/printers/" + queue).toUtf8().constData());
        ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                     cupsUser());
        ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "compression", nullptr, "gzip");
        ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
                     "application/postscript");
        ipp_t* sent =
            cupsDoFileRequest(Connect().get(), r, ("/printers/" + queue).toUtf8().constData(),
                              (ps + u".gz"_s).toUtf8().constData());
        const int id = ippGetInteger(ippFindAttribute(sent, "job-id", IPP_TAG_INTEGER), 0);
        ippDelete(sent);
        if (queue == u"Plotter"_s) {
            const QByteArray refused = "Job " + QByteArray::number(id) + " refused: its pages";
            QVERIFY(QTest::qWaitFor([&] { return m_monitor->peek(1 << 20).contains(refused); }));
            return;
        }
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(m_box->Path(Prt(id))); }));
        QCOMPARE(m_box->Read(Prt(id)).split('\n').value(11), "3\r");
    }

    // Values that break their category's rules keep the job held and the user's window says
    // why (a job stored without asking is not stored again as it was); the corrected answer
    // releases and bills it. edits: of the configuration; value: name and value as written.
    void brokenValueSentBack_data() {
        Table("edits value why",
              {"not listed¦CATEGORYPG11/OnlyPreDefinedValues=True "
               "CATEGORYPG11/AllowBlankValues=False¦Matter\",\"m-1¦'Matter' is invalid.",
               "pattern¦CATEGORYPG11/Pattern=M-####¦Matter\",\"M-47¦'Matter'does not match "
               "pattern:M-####",
               "blank¦CATEGORYPG11/AllowBlankValues=False¦Matter\",\" ¦'Matter' cannot be blank.",
               "no such category¦¦Client\",\"x¦'Client' is not a category of this printer."});
    }
    void brokenValueSentBack() {
        QFETCH(QString, edits);
        QFETCH(QString, value);
        QFETCH(QString, why);
        m_box->Write(u"share/Config.ini"_s, IniEdits(m_box->Read(u"share/Config.ini"_s),
                                                     edits.split(u' ', Qt::SkipEmptyParts)));
        m_monitor.reset();
        QVERIFY((m_monitor = Start()));
        const int id = m_cups->Submit(u"Plotter"_s, m_pdf);
        QVERIFY(QTest::qWaitFor([&] { return id && QFileInfo::exists(m_box->Path(Prt(id))); }));
        Answer(id, u"QorvexDetail,2,\"%1\""_s.arg(value), u"resume"_s);
        const QString whyFile = Prt(id).chopped(3) + u"why"_s;
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(m_box->Path(whyFile)); }));
        QCOMPARE(m_box->Read(whyFile), why.toUtf8() + "\r\n");
        QTest::qWait(300);
        QCOMPARE(Job(id).state, CupsJobState::Held);
        {
            const auto client = Start(QORVLOG_BIN);
            QVERIFY(QTest::qWaitFor(
                [&] { return m_box->Read(u"messages.txt"_s).contains(why.toUtf8()); }));
            QVERIFY(!QFileInfo::exists(m_box->Path(Prt(id).chopped(3) + u"dat"_s))); // removed
        }
        Answer(id, u"QorvexDetail,2,\"Matter\",\"M-4711\""_s, u"resume"_s);
        QVERIFY(QTest::qWaitFor([&] { return Job(id).state == CupsJobState::Completed; }, 10000));
        QCOMPARE(Job(id).billing, u"Matter=M-4711"_s);
        QVERIFY(!QFileInfo::exists(m_box->Path(whyFile)));
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

    // Two users of one server: each one's folder is his own; a "resume" alice leaves for bob's
    // job (taken up, or the next number) or bob's own for a job the scheduler lost, its number
    // then used again, neither answers the job nor keeps bob's answer out, which releases it
    // within 1 s; nobody else reads bob's release file.
    void onlyTheJobsUserAnswers_data() {
        QTest::addColumn<int>("when"); // 0: taken up, 1: next number, 2: number used again
        QTest::newRow("alice, taken up") << 0;
        QTest::newRow("alice, next number") << 1;
        QTest::newRow("bob, number used again") << 2;
    }
    void onlyTheJobsUserAnswers() {
        QFETCH(int, when);
        if (::geteuid() != 0) QSKIP("needs root to run each side as its own user");
        const QString machine = u"Machines/"_s + Platform::ComputerName();
        auto pasOf = [&](int n) { return u"%1/%2.pas"_s.arg(machine).arg(n, 5, 10, QChar(u'0')); };
        const int next = when ? m_cups->Submit(u"Office"_s, m_pdf) + 1 : 0;
        if (when == 1) {
            QCOMPARE(As(61001, u"echo resume > "_s + pasOf(next)), 0);
            QTRY_COMPARE(Layout(pasOf(next)), u"missing"_s);
        } else if (when == 2) { // the scheduler starts again without its jobs
            const qint64 created =
                Job(m_cups->Submit(u"Plotter"_s, m_pdf, {u"-U"_s, u"bob"_s})).created;
            QVERIFY(QTest::qWaitFor(
                [&] { return Layout(u"users/bob/"_s + JobName(next)) != u"missing"_s; }));
            m_monitor.reset();
            QCOMPARE(As(61002, u"echo resume > "_s + pasOf(next)), 0);
            m_cups.reset();
            QDir(m_box->Path(u"cups/spool"_s)).removeRecursively();
            QFile::remove(m_box->Path(u"cups/cache/job.cache"_s));
            m_cups = std::make_unique<PrivateCups>(*m_box);
            // Up to the number (the monitor's check of the policy took one of its own).
            for (int n = 0; (n = m_cups->Submit(u"Office"_s, m_pdf)) > 0 && n < next - 1;) {
            }
            QTRY_VERIFY(QDateTime::currentSecsSinceEpoch() > created); // a job of its own
        }
        const int id = m_cups->Submit(u"Plotter"_s, m_pdf, {u"-U"_s, u"bob"_s});
        QVERIFY(!next || id == next);
        if (when == 2) QVERIFY((m_monitor = Start()));
        const QString folder = u"users/bob/"_s, prt = JobName(id), pas = pasOf(id);
        QVERIFY(QTest::qWaitFor([&] { return Layout(folder + prt) != u"missing"_s; }));
        QCOMPARE((QStringList{Layout(u"users"_s), Layout(folder), Layout(folder + prt),
                              Layout(machine), Layout(pas)}),
                 (QStringList{u"711 0:0"_s, u"2770 61002:0"_s, u"644 0:0"_s, u"1733 0:0"_s,
                              u"600 61002:0"_s}));
        QCOMPARE(As(61002, u"chmod u+w users/bob/"_s + prt), 1); // his to read, not to change
        // alice can neither list, read nor write bob's folder, nor replace his files.
        QCOMPARE(As(61001, u"ls users/bob"_s), 2);
        QCOMPARE(As(61001, u"cat users/bob/"_s + prt), 1);
        QCOMPARE(As(61001, u"echo cancel > users/bob/x.dat"_s), 2);
        QCOMPARE(As(61001, u"ls users"_s), 2);
        QCOMPARE(As(61001, u"echo resume > "_s + pas), 2);
        QCOMPARE(As(61001, u"cat "_s + pas), 1);
        QTest::qWait(300);
        QCOMPARE(Job(id).state, CupsJobState::Held);
        // Written whole, as the client writes it.
        QCOMPARE(As(61002, u"printf 'QorvexDetail,2,\"Matter\",\"M-2\"\\r\\n' > users/bob/.new && "
                           "mv users/bob/.new users/bob/%1dat && echo resume > %2.new && "
                           "mv %2.new %2"_s.arg(prt.chopped(3), pas)),
                 0);
        QVERIFY(QTest::qWaitFor([&] { return Job(id).state != CupsJobState::Held; }, 1000));
        QVERIFY(QTest::qWaitFor([&] { return Job(id).state == CupsJobState::Completed; }, 10000));
        QCOMPARE(Job(id).billing, u"Matter=M-2"_s);
    }

    // No title is shown to another user: nothing of the monitor's under the scheduler's
    // /rss/, no feed there at all with the README's setup, and the monitor's wake-up pipe is
    // its own to read.
    void titlesNotShownToOthers() {
        if (::geteuid() != 0) QSKIP("needs root to look as another user");
        const QString curl = u"curl -s --unix-socket %1 http://localhost/rss/%2 | grep -c merger"_s;
        const QString readme = QString::fromUtf8(TestData(u"../../README.md"_s));
        const auto block = [&](const QString& start, const QString& end) {
            const qsizetype at = readme.indexOf(start);
            return readme.mid(at, readme.indexOf(end, at) + end.size() - at).toUtf8();
        };
        const QByteArray location = block(u"    <Location /rss>"_s, u"</Location>\n"_s);
        for (const bool readmes : {false, true}) {
            if (readmes) {
                m_monitor.reset();
                m_cups.reset();
                m_cups = std::make_unique<PrivateCups>(
                    *m_box, PrivateCups::Setup{
                                .policy = block(u"    <Limit Create-Printer-Subscriptions>"_s,
                                                u"</Limit>\n"_s),
                                .locations = location});
                QVERIFY(m_cups->Running() && location.contains("@SYSTEM"));
                QVERIFY(m_cups->AddQueue(u"Plotter"_s, u"Acme DesignJet Plotter"_s));
                QVERIFY((m_monitor = Start()));
                QVERIFY(m_server->Subscribe({u"job-created"_s}, u"rss:///admin.rss"_s, 600, {}));
            }
            const int id = m_cups->Submit(u"Plotter"_s, m_pdf,
                                          {u"-U"_s, u"bob"_s, u"-t"_s, u"bob-merger-plan.docx"_s});
            QVERIFY(Written(u"bob"_s, id));
            QCOMPARE(As(61001, curl.arg(m_cups->Socket(), u"qorvmond.rss"_s)), 1);
            if (readmes) QCOMPARE(As(61001, curl.arg(m_cups->Socket(), u"admin.rss"_s)), 1);
        }
        QCOMPARE(As(61001, u"timeout 2 cat "_s + m_box->Path(u"cups/run/qorvmond.wake"_s)), 1);
    }

    // bob's 1 MiB data file, 100 MB document, endless document or 400 jobs whose documents
    // never come, there when the monitor starts, delay alice's job, which comes just after it,
    // by less than a second. The large document is counted whole, past what is ever read into
    // memory; one whose pages could not all be counted keeps its job held, refused.
    void oneJobDelaysNoOther_data() {
        QTest::addColumn<QByteArray>("document"); // none: the data file
        QTest::newRow("1 MiB data file") << QByteArray();
        QTest::newRow("large document") << "%!PS-Adobe-3.0\n%%Pages: 1\n" +
                                               QByteArray(100 << 20, '%') +
                                               "\nshowpage showpage showpage\n";
        QTest::newRow("endless document") << QByteArray("%!PS\nshowpage {} loop showpage\n");
        QTest::newRow("jobs still arriving") << QByteArray("400");
    }
    void oneJobDelaysNoOther() {
        QFETCH(QByteArray, document);
        if (::geteuid() != 0) QSKIP("needs root to give each user a folder of his own");
        int bobs =
            document.isEmpty() ? m_cups->Submit(u"Plotter"_s, m_pdf, {u"-U"_s, u"bob"_s}) : 0;
        QVERIFY(!document.isEmpty() || Written(u"bob"_s, bobs));
        m_monitor.reset();
        const auto http = Connect();
        cupsSetUser("bob");
        for (int i = 0; i < document.toInt(); ++i)
            QVERIFY(cupsCreateJob(http.get(), "Plotter", "late", 0, nullptr) > 0);
        cupsSetUser(nullptr);
        if (!document.isEmpty() && !document.toInt()) {
            bobs = m_cups->Submit(u"Plotter"_s, m_box->Write(u"bob.ps"_s, document),
                                  {u"-U"_s, u"bob"_s});
        } else if (document.isEmpty()) {
            const QString line = u"QorvexDetail,2,\"Matter\",\"%1\""_s.arg(QString(250, u'x'));
            m_box->WriteLines(u"share/data/users/bob/"_s + JobName(bobs).chopped(3) + u"dat"_s,
                              QStringList(4096, line));
        }
        QVERIFY((m_monitor = Start(QORVMOND_BIN, {}, false)));
        const int alices = m_cups->Submit(u"Plotter"_s, m_pdf, {u"-U"_s, u"alice"_s});
        const qint64 start = QDateTime::currentMSecsSinceEpoch();
        QVERIFY(Written(u"alice"_s, alices) && QDateTime::currentMSecsSinceEpoch() - start < 1000);
        if (document.isEmpty() || document.toInt()) return;
        if (document.size() > (100 << 20)) {
            QVERIFY(Written(u"bob"_s, bobs, Platform::kCountMs + 5000));
            const QString prt = u"share/data/users/bob/"_s + JobName(bobs);
            QCOMPARE(m_box->Read(prt).split('\n').value(11), "3\r");
            return;
        }
        const QByteArray refused = u"Job %1 refused: its pages cannot"_s.arg(bobs).toUtf8();
        QVERIFY(QTest::qWaitFor([&] { return m_monitor->peek(1 << 20).contains(refused); },
                                Platform::kCountMs + 5000));
        QCOMPARE(Job(bobs).state, CupsJobState::Held);
    }

    // bob asks for his job to go to Second: it goes only when bob could print there himself;
    // else it stays held, and the refusal is logged once and shown by --status.
    void redirectOnlyWhereTheUserMayPrint_data() {
        QTest::addColumn<QString>("setup"); // commands run for Second
        QTest::addColumn<QString>("refusal");
        QTest::newRow("denied") << u"lpadmin -p Second -u deny:bob"_s
                                << u"the queue does not take jobs from bob"_s;
        QTest::newRow("over quota") << u"lp -U bob -d Second $0 && lpadmin -p Second -o "
                                       "job-quota-period=600 -o job-k-limit=1"_s
                                    << u"bob is over the queue's quota"_s;
        QTest::newRow("rejecting") << u"cupsreject Second"_s << u"the queue does not accept jobs"_s;
        QTest::newRow("allowed") << u"lpadmin -p Second -u allow:alice,BOB"_s << QString();
    }
    void redirectOnlyWhereTheUserMayPrint() {
        QFETCH(QString, setup);
        QFETCH(QString, refusal);
        if (::geteuid() != 0) QSKIP("needs root to answer as bob");
        QVERIFY(m_cups->Run(u"sh"_s, {u"-c"_s, setup, m_pdf}));
        const int id = m_cups->Submit(u"Plotter"_s, m_pdf, {u"-U"_s, u"bob"_s});
        const QString base = u"users/bob/"_s + JobName(id).chopped(3);
        QVERIFY(QTest::qWaitFor([&] { return Layout(base + u"prt"_s) != u"missing"_s; }));
        QCOMPARE(As(61002, u"echo cancel > %1dat && echo Second > %1shd && echo resume > %2.new "
                           "&& mv %2.new %2"_s.arg(
                               base, u"Machines/%1/%2.pas"_s.arg(Platform::ComputerName())
                                         .arg(id, 5, 10, QChar(u'0')))),
                 0);
        if (refusal.isEmpty()) {
            QVERIFY(QTest::qWaitFor([&] { return Job(id).state == CupsJobState::Completed; }));
            QCOMPARE(Job(id).queue, u"Second-released"_s);
        } else {
            const QByteArray logged = "not moved to Second: " + refusal.toUtf8();
            QTRY_VERIFY(m_monitor->peek(100000).contains(logged));
            QTest::qWait(300); // the answer's other files were seen too
            QCOMPARE(m_monitor->peek(100000).count(logged), 1);
            QCOMPARE(Job(id).state, CupsJobState::Held);
            QVERIFY(Status().contains(
                u"Plotter-%1 bob held 0 min, not moved to Second: "_s.arg(id) + refusal));
        }
    }

    // --status, run by root where the monitor runs as its own account, changes nothing in the
    // data folder and tells what that monitor holds.
    void statusChangesNothing() {
        if (::geteuid() != 0) QSKIP("needs root to run the monitor as its own account");
        m_monitor.reset();
        m_cups.reset(); // one that shows users' names to an account of no system group
        m_cups = std::make_unique<PrivateCups>(
            *m_box, PrivateCups::Setup{.policy = "  JobPrivateValues none\n"});
        m_box->Write(u"passwd"_s, m_box->Read(u"passwd"_s) + "qorvmond:x:61003:61003::/:/bin/sh\n");
        const QString home = m_box->Path(u"qorvmond"_s),
                      caps = u"+chown,+fowner,+dac_read_search"_s;
        QVERIFY(QDir().mkpath(home));
        for (const QString& path :
             {home, m_box->Path(u"share/data"_s), m_box->Write(u"messages.txt"_s, "")})
            QVERIFY(::chown(path.toUtf8().constData(), 61003, 61003) == 0);
        // Held by the queue's default, taken up as the monitor starts; as the service, it is in
        // the group lp, whose members may read the scheduler's documents.
        const int id = m_cups->Submit(u"Plotter"_s, m_pdf, {u"-U"_s, u"bob"_s});
        QVERIFY((m_monitor =
                     Start(QORVMOND_BIN,
                           {u"setpriv"_s, u"--reuid=61003"_s, u"--regid=61003"_s, u"--groups=lp"_s,
                            u"--inh-caps="_s + caps, u"--ambient-caps="_s + caps, u"env"_s,
                            u"XDG_DATA_HOME="_s + home, u"XDG_RUNTIME_DIR="_s + home})));
        const QString machine = u"Machines/"_s + Platform::ComputerName();
        // Its state is saved just after the job file is written.
        QVERIFY(QTest::qWaitFor([&] {
            return m_box->Read(u"share/data/"_s + machine + u"/qorvmond.state"_s)
                .startsWith(QByteArray::number(id) + '\t');
        }));
        m_monitor.reset(); // what it left stays still
        auto snapshot = [&](QStringList out = {}) {
            for (const QString& p : {u"."_s, u"users"_s, u"users/bob"_s, u"Machines"_s, machine})
                out << Layout(p)
                    << QFileInfo(m_box->Path(u"share/data/"_s + p))
                           .lastModified()
                           .toString(Qt::ISODateWithMs);
            return out << Layout(machine + u"/qorvmond.state"_s);
        };
        const QStringList before = snapshot();
        QCOMPARE(before[2], u"711 61003:61003"_s);
        QCOMPARE(Layout(machine + u"/billed"_s), u"700 61003:61003"_s);
        QCOMPARE(Status(), QStringList{u"Plotter-%1 bob held 0 min"_s.arg(id)});
        QCOMPARE(snapshot(), before);
    }

    // bob's folder is swapped for a link to a folder of alice's while bob's first, large (60 MB)
    // document is counted: nothing is written through the link, and the job is refused.
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
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         return m_monitor->peek(1 << 20).contains(
                             "refused: the folder of \"bob\" is not a folder");
                     },
                     20000),
                 m_monitor->peek(1 << 20).constData());
        QCOMPARE(Layout(prt), u"missing"_s);
        QCOMPARE(Listing(evil), QString());
    }

    // Under the README's policies nobody prints a held job without its answer: not by the
    // client's own hold, the owner's release or move, nor by IPP as another user or in the
    // monitor's name. The owner's answer still bills it and prints it from the companion; one-page
    // documents he keeps adding meanwhile are counted before it prints, or refused once it is on
    // the companion (the scheduler takes a document for a job in any state).
    void heldJobAttacks_data() {
        QTest::addColumn<QString>("lp");     // the owner's (nobody's) lp options
        QTest::addColumn<uint>("uid");       // the attacker
        QTest::addColumn<QString>("attack"); // %1 the job; "ipp NAME": Release-Job naming NAME
        QTest::newRow("lp -H immediate") << u"-H immediate"_s << 65534u << QString();
        QTest::newRow("owner resumes") << QString() << 65534u << u"lp -i %1 -H resume"_s;
        QTest::newRow("owner moves it") << QString() << 65534u << u"lpmove %1 Plotter-released"_s;
        QTest::newRow("re-billed as the monitor")
            << QString() << 65534u << u"lp -U root -i %1 -o job-billing=FORGED -H resume"_s;
        QTest::newRow("Release-Job by another") << QString() << 1u << u"ipp daemon"_s;
        QTest::newRow("Release-Job as the monitor") << QString() << 65534u << u"ipp root"_s;
        QTest::newRow("documents added as released") << QString() << 65534u << u"send"_s;
    }
    void heldJobAttacks() {
        QFETCH(QString, lp);
        QFETCH(uint, uid);
        QFETCH(QString, attack);
        if (::geteuid() != 0) QSKIP("needs root to act as other users");
        UnderReadmePolicies();
        if (QTest::currentTestFailed()) return;
        QFile::setPermissions(m_box->Write(u"cups/doc.pdf"_s, TestData(u"two.pdf"_s)),
                              QFile::Permissions(0x6644));
        QCOMPARE(As(65534, u"setsid -w lp -d Plotter %1 ../../cups/doc.pdf"_s.arg(lp)), 0);
        QList<Platform::CupsJob> jobs;
        QVERIFY(m_server->Jobs(&jobs) && jobs.size() == 1);
        const int id = jobs[0].id;
        const QString dat = u"users/nobody/"_s + JobName(id).chopped(3) + u"dat"_s;
        QVERIFY(QTest::qWaitFor([&] { return Layout(dat.chopped(3) + u"prt"_s) != u"missing"_s; }));
        if (attack.startsWith(u"ipp "_s))
            QVERIFY(!Succeeded(Spawn(uid, attack.mid(4).toUtf8().constData(), [&](http_t*) {
                return Platform::CupsServer(m_cups->Socket()).Release(id);
            })));
        else if (!attack.isEmpty() && attack != u"send"_s)
            QCOMPARE(As(int(uid), u"setsid -w "_s + attack.arg(id)), 1);
        QTest::qWait(1000);
        QCOMPARE(Job(id).queue + u' ' + Job(id).billing + u' ' +
                     QString::number(int(Job(id).state)),
                 u"Plotter  4"_s);
        QVERIFY(!QFileInfo::exists(m_box->Path(u"cups/out/Plotter.out"_s)));
        QVERIFY(!m_monitor->peek(1 << 20).contains("UNSAFE")); // the policy is safe
        const pid_t adder = attack != u"send"_s ? 0 : Spawn(uid, "nobody", [&](http_t* http) {
            QDeadlineTimer left(5000);
            while (!left.hasExpired() && Send(http, "Plotter", id, "%!PS\nshowpage\n", true)) {
            }
            return cupsLastError() == IPP_STATUS_ERROR_FORBIDDEN; // as the policy refuses
        });
        AnswerAsNobody(id);
        QVERIFY2(!adder || Succeeded(adder), "documents were still taken after the release");
        QVERIFY(QTest::qWaitFor([&] { return Job(id).state == CupsJobState::Completed; }, 10000));
        const Platform::CupsJob printed = Job(id);
        QCOMPARE(printed.queue + u' ' + printed.billing, u"Plotter-released Matter=M-9"_s);
        const QList<QByteArray> lines = m_box->Read(u"share/data/"_s + dat.chopped(3) + u"prt"_s)
                                            .split('\n'); // still on the queue it was sent to
        QCOMPARE(lines.value(4) + lines.value(11),
                 "Plotter\r" + QByteArray::number(1 + printed.documents) + '\r');
        if (!adder) QCOMPARE(m_box->Read(u"cups/out/Plotter.out"_s), TestData(u"two.pdf"_s));
    }

    // A job its client holds until a time of day is held for good; one the scheduler lets go
    // all the same (root's Release-Job stands in for that time) is held again before it is
    // moved, so that a document its owner added meanwhile is counted before it prints.
    void letGoJobHeldAgain() {
        if (::geteuid() != 0) QSKIP("needs root to act as another user");
        UnderReadmePolicies();
        if (QTest::currentTestFailed()) return;
        QFile::setPermissions(m_box->Write(u"cups/doc.pdf"_s, TestData(u"two.pdf"_s)),
                              QFile::Permissions(0x6644));
        const QString at = QDateTime::currentDateTimeUtc().addSecs(3600).toString(u"HH:mm"_s);
        QCOMPARE(As(65534, u"setsid -w lp -d Plotter -H %1 ../../cups/doc.pdf"_s.arg(at)), 0);
        QList<Platform::CupsJob> jobs;
        QVERIFY(m_server->Jobs(&jobs) && jobs.size() == 1);
        const int id = jobs[0].id;
        const QString prt = u"share/data/users/nobody/"_s + JobName(id);
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(m_box->Path(prt)); }));
        QCOMPARE(Job(id).holdUntil, u"indefinite"_s);
        ::kill(pid_t(m_monitor->processId()), SIGSTOP);
        QVERIFY(m_server->Release(id));
        const QByteArray more = "%!PS\nshowpage showpage showpage\n";
        QVERIFY(Succeeded(Spawn(
            65534, "nobody", [&](http_t* http) { return Send(http, "Plotter", id, more, true); })));
        ::kill(pid_t(m_monitor->processId()), SIGCONT);
        AnswerAsNobody(id);
        QVERIFY(QTest::qWaitFor([&] { return Job(id).state == CupsJobState::Completed; }, 10000));
        QCOMPARE(m_box->Read(prt).split('\n').value(11), "5\r");
        const QByteArray out = m_box->Read(u"cups/out/Plotter.out"_s); // the PostScript as counted
        QVERIFY(out.startsWith(TestData(u"two.pdf"_s) + "%!PS") && !out.endsWith(more));
    }

    // Under an open policy: the monitor says so loudly, and a held job that prints all the
    // same (here released by root on the companion) is answered and listed as such.
    void printedWithoutRelease() {
        const int id = m_cups->Submit(u"Plotter"_s, m_pdf);
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(m_box->Path(Prt(id))); }));
        QVERIFY(m_server->Move(id, u"Plotter-released"_s) && m_server->Release(id));
        const QString dat = Prt(id).chopped(3) + u"dat"_s;
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(m_box->Path(dat)); }, 10000));
        QCOMPARE(m_box->Read(dat), "unreleased\r\n");
        const QByteArray line = u"job %1 on Plotter for %2 PRINTED WITHOUT RELEASE"_s.arg(id)
                                    .arg(Platform::LoginName())
                                    .toUtf8();
        // Logged before the answer is written, but the pipe may not have been read yet.
        QVERIFY(QTest::qWaitFor([&] { return m_monitor->peek(1 << 20).contains(line); }));
        QProcess status;
        m_cups->Prepare(status);
        status.start(QStringLiteral(QORVMOND_BIN), {u"--status"_s});
        QVERIFY(status.waitForFinished(10000));
        QCOMPARE(QString::fromUtf8(status.readAllStandardOutput()),
                 u"No held jobs\nPlotter-%1 %2 PRINTED WITHOUT RELEASE 0 min ago\n"_s.arg(id).arg(
                     Platform::LoginName()));
        QVERIFY(status.readAllStandardError().startsWith("UNSAFE: the print scheduler lets"));
    }

    // A scheduler that has the queues' policy but not the companions' is named unsafe; the
    // companion is made under the queues' policy all the same.
    void companionPolicyMissing() {
        UnderReadmePolicies(false);
        QVERIFY(m_monitor &&
                m_monitor->peek(1 << 20).contains(
                    "UNSAFE: the print scheduler has no policy \"qorvmond-released\""));
        QList<Platform::CupsQueue> queues; // Office, Plotter, Plotter-released, ...
        QVERIFY(m_server->Queues(&queues) && queues.size() == 5);
        QCOMPARE(queues[1].opPolicy + u' ' + queues[2].opPolicy, u"qorvmond qorvmond"_s);
    }

    // A default policy that gives anyone a job's documents is named unsafe; the probe is purged.
    void documentsGivenToAnyone_data() {
        QTest::addColumn<bool>("readmes");
        QTest::newRow("open default policy") << false;
        QTest::newRow("README's") << true;
    }
    void documentsGivenToAnyone() {
        QFETCH(bool, readmes);
        UnderReadmePolicies(true, readmes);
        const auto told = [&] { // in the journal, and by --status once the state is saved
            QProcess status;
            m_cups->Prepare(status);
            status.start(QStringLiteral(QORVMOND_BIN), {u"--status"_s});
            return m_monitor && status.waitForFinished(10000) &&
                   (status.readAllStandardError() + m_monitor->peek(1 << 20))
                           .count("UNSAFE: the print scheduler gives anyone") == (readmes ? 0 : 2);
        };
        QVERIFY(QTest::qWaitFor(told, 5000));
        QList<Platform::CupsJob> jobs;
        QVERIFY(m_server->Jobs(&jobs) && jobs.isEmpty());
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
        m_cups =
            std::make_unique<PrivateCups>(*m_box, PrivateCups::Setup{.policy = policy.toUtf8()});
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
