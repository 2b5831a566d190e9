// The job entry window driven as a user drives it, offscreen: the list, the entry rows, the
// checks of Save, storing and cancelling, the window's life on the timer, and its state kept
// per user in twips (place, size, list pane, column widths and sort), its minimum size and
// pane layout, the About button.
#include "common/bcommon.h"
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "dialog/fabout.h"
#include "dialog/fprintjobs.h"
#include "dialog/twips.h"
#include "dialog/windowplacement.h"
#include "intake/cmonitor.h"
#include "jobs/masterfields.h"
#include "platform/clock.h"
#include "testsupport.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QtTest>
#include <QtWidgets>

using namespace Twips;

namespace {
const QString kUser = u"data/users/jsmith/"_s;
const QString kHeld = u"10.0.0.7\r\nresume\r\n"_s; // the plotter group's redirect and release

JobFields Plotter(const QString& id = u"42"_s, const QString& document = u"Plan.dwg"_s) {
    JobFields f;
    f.id = id, f.document = document;
    return f;
}
JobFields Laser(const QString& document = u"Letter.docx"_s) {
    JobFields f = Plotter(u"43"_s, document);
    f.queue = u"\\\\SRV\\Office"_s, f.printer = u"Office A"_s, f.driver = u"Office Laser 5"_s;
    return f;
}
// A data file as the window writes it for a job of these fields (the path is the document
// name: the configuration does not look documents up); details are "Name=value". The master
// line is the record as read from the job file, written by the field table, both tested on
// their own.
QString Dat(const JobFields& f, const QStringList& details) {
    QString text = u"QorvexMaster,2,"_s +
                   DataFileFields(*CMonitor().GetNextPrintJob({}, f.Lines())) + u"\r\n"_s;
    for (const QString& d : details)
        text +=
            u"QorvexDetail,2,\"%1\",\"%2\"\r\n"_s.arg(d.section(u'=', 0, 0), d.section(u'=', 1));
    return text;
}
QString PlotterDat(const QString& client, const QString& matter,
                   const QString& quality = u"Draft"_s,
                   const QString& cost = u"Draft | 0.10 per page"_s, const QString& id = u"42"_s) {
    return Dat(Plotter(id), {u"Client="_s + client, u"Matter="_s + matter, u"Quality="_s + quality,
                             u"Cost="_s + cost});
}
// A data row: the name, then one value per column.
template <typename... T> void Row(const char* name, T... values) {
    (QTest::newRow(name) << ... << values);
}
// An offline job's save row: the sheet size typed, the cost entry configured, the paper stored
// (name|width|height|media) and the cost stored.
void OfflineRow(const char* name, const QString& size, const QString& cost, const QString& paper,
                const QString& stored) {
    const QStringList p = paper.split(u'|');
    JobFields offline = Plotter(u"44"_s, u"Offline Job"_s), f;
    offline.driver = u"Offline Station"_s, offline.width = u"24"_s, offline.height = u"36"_s;
    f = offline, f.printer = u"Plotter 2"_s, f.pages = u"4"_s, f.copies = u"1"_s;
    f.paper = p[0], f.width = p[1], f.height = p[2], f.media = p[3];
    const QStringList entered = {u"Sheet Size="_s + size, u"Total Sheets=4"_s, u"Media=Vellum"_s,
                                 u"Device=Plotter 2"_s, u"Sheet Color=Color"_s};
    Row(name, QStringList{u"CATEGORYPG36/PreDefinedValue1=0, "_s + cost}, offline, entered,
        QString(), Dat(f, entered + QStringList{u"Cost="_s + stored}));
}

// A window placed and sized by the user, a sort descending on "Date and Time".
const QStringList kStored =
    u"Window/Maximized=0;Window/Left=1500;Window/Top=900;Window/Width=7500;Window/Height=6000;"
    "Window/Resizer=1200;Columns/Document=3000;Columns/Papersize=1500;Columns/Pagesprinted=900;"
    "Columns/Color=2400;Columns/Printer=1800;Columns/Sorted=-1;Columns/SortKey=3;"
    "Columns/SortOrder=1"_s.split(u';');
// What the window shows for kStored.
const QStringList kShown = {u"window normal 1500,900 7500x6000"_s, u"pane 1200"_s,
                            u"columns 3000,1500,900,2400,1800"_s, u"sort 3 down"_s, u"rows B,A"_s};
// lines with those of the same head (up to sep) replaced by changes.
QStringList With(QStringList lines, const QStringList& changes, QChar sep = u'=') {
    for (const QString& c : changes)
        for (QString& line : lines)
            if (line.section(sep, 0, 0) == c.section(sep, 0, 0)) line = c;
    return lines;
}
class CUrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void Open(const QUrl& url) { urls << url; }
};

// A notification service on the test's own session bus. Records each call: "notify <replaced
// id> <summary>|<body> <action>" or "close <id>".
class StandInNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList calls;
public Q_SLOTS:
    uint Notify(const QString&, uint replaces, const QString&, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap&, int) {
        calls << u"notify %1 %2|%3 %4"_s.arg(replaces).arg(summary, body, actions.value(0));
        return 1;
    }
    void CloseNotification(uint id) { calls << u"close %1"_s.arg(id); }
};
} // namespace

class TestFPrintJobs : public QObject {
    Q_OBJECT
    std::unique_ptr<Sandbox> box;
    std::unique_ptr<MessageRecorder> rec;
    std::unique_ptr<FPrintJobs> w;
    qint64 now = 0;

    // Edits are "SECTION/Key=value".
    void Configure(const QStringList& edits = {}) {
        gConfigOptions = std::make_shared<CConfigOptions>();
        QVERIFY(gConfigOptions->ReadIniFile(
            box->Write(u"Config.ini"_s, IniEdits(TestData(u"config_dialog.ini"_s), edits))));
    }
    void Job(const JobFields& f) { box->WriteLines(kUser + f.id + u".prt"_s, f.Lines()); }
    // Writes the jobs and opens the window on them.
    void Show(const QList<JobFields>& jobs) {
        for (const JobFields& f : jobs) Job(f);
        w = std::make_unique<FPrintJobs>();
        QVERIFY(w->OpenPrintJobs());
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
    }
    QString File(const QString& name) const { return QString::fromUtf8(box->Read(kUser + name)); }
    // What a job left: its data file, then its redirect lines and its answer to the monitor.
    QStringList Left(const QString& id) const {
        return {File(id + u".dat"_s),
                File(id + u".shd"_s) +
                    box->Read(u"data/Machines/SRV/"_s + id.rightJustified(5, u'0') + u".pas"_s)};
    }
    // The window on two jobs whose "Date and Time" texts sort the other way round from their
    // names, opened after storing these user settings.
    void OpenStored(const QStringList& settings = {}) {
        for (const QString& s : settings)
            SaveSettingText(s.section(u'/', 0, 0), s.section(u'/', 1).section(u'=', 0, 0),
                            s.section(u'=', 1));
        JobFields a = Plotter(u"41"_s, u"A"_s), b = Plotter(u"42"_s, u"B"_s);
        a.submitted = u"11/20/2003 9:00:00 AM"_s;
        Show({a, b});
    }
    QTreeWidget* List() const { return w->findChild<QTreeWidget*>(u"lvwPrintJobs"_s); }
    QSplitter* Panes() const { return w->findChild<QSplitter*>(u"splPanes"_s); }
    QPushButton* Button(const QString& name) const { return w->findChild<QPushButton*>(name); }
    // The visible entry field of a category.
    QWidget* Field(const QString& category) const {
        for (QWidget* f : w->findChildren<QWidget*>())
            if (f->accessibleName() == category && !f->isHidden()) return f;
        return nullptr;
    }
    // The entry rows as "Category=text", hidden ones marked.
    QStringList Form() const {
        QStringList out;
        for (int d = 1;; ++d) {
            auto* label = w->findChild<QLabel*>(u"lblCategory%1"_s.arg(d));
            auto* combo = w->findChild<QComboBox*>(u"cboCategoryDropdownCombo%1"_s.arg(d));
            if (!label || !combo) return out;
            out << (label->isHidden() ? u"(hidden) "_s : QString()) + label->text() + u'=' +
                       combo->currentText();
        }
    }
    // The list's rows (columns joined by "|"), selected ones marked with "*".
    QStringList Rows(int column = -1) const {
        QStringList out;
        for (int i = 0; i < List()->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = List()->topLevelItem(i);
            QStringList cols;
            for (int c = 0; c < List()->columnCount(); ++c)
                if (column < 0 || c == column) cols << item->text(c);
            out << (item->isSelected() ? u"*"_s : QString()) + cols.join(u'|');
        }
        return out;
    }
    void ClickRow(const QString& document, Qt::KeyboardModifiers mods = {}) {
        const QRect r = List()->visualItemRect(List()->findItems(document, Qt::MatchExactly)[0]);
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, mods, r.center());
    }
    void ClickHeader(int section) {
        QHeaderView* h = List()->header();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                          QPoint(h->sectionViewportPosition(section) + 5, h->height() / 2));
    }
    // Clicks into the field of a category and types text over what it holds.
    void Type(const QString& category, const QString& text) {
        QWidget* f = Field(category);
        QVERIFY2(f, qPrintable(category));
        QTest::mouseClick(f, Qt::LeftButton, {}, QPoint(4, f->height() / 2));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
        QTest::keyClicks(QApplication::focusWidget(), text);
    }
    void Tick(qint64 advanceMs = 0) {
        now += advanceMs;
        w->tmrCheckJobs_Timer();
    }
    // What the user sees, sizes in twips; rows by document name in list order.
    QStringList State() const {
        auto x = [](int px) { return QString::number(qRound(FromPixelsX(px))); };
        auto y = [](int px) { return QString::number(qRound(FromPixelsY(px))); };
        QStringList columns, rows;
        for (int c = 0; c < List()->columnCount(); ++c) columns << x(List()->columnWidth(c));
        for (int r = 0; r < List()->topLevelItemCount(); ++r)
            rows << List()->topLevelItem(r)->text(0);
        const QHeaderView* h = List()->header();
        const char* order = h->sortIndicatorOrder() == Qt::AscendingOrder ? "up" : "down";
        return {u"window %1 %2,%3 %4x%5"_s.arg(w->isMaximized() ? u"maximised"_s : u"normal"_s,
                                               x(w->x()), y(w->y()), x(w->width()), y(w->height())),
                u"pane "_s + y(Panes()->sizes().value(0)), u"columns "_s + columns.join(u','),
                h->isSortIndicatorShown()
                    ? u"sort %1 %2"_s.arg(h->sortIndicatorSection()).arg(order)
                    : u"sort none"_s,
                u"rows "_s + rows.join(u',')};
    }

    QTemporaryDir busDir;
    QProcess bus;
    StandInNotifications notifications;

private Q_SLOTS:
    void initTestCase() {
        bus.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--print-address"_s,
                                     u"--address=unix:path="_s + busDir.filePath(u"bus"_s)});
        QVERIFY2(bus.waitForReadyRead(5000), "dbus-daemon did not start");
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus.readLine().trimmed());
        auto service = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"stand-in"_s);
        QVERIFY(service.registerService(u"org.freedesktop.Notifications"_s));
        QVERIFY(service.registerObject(u"/org/freedesktop/Notifications"_s, &notifications,
                                       QDBusConnection::ExportAllSlots));
    }
    void cleanupTestCase() {
        bus.kill();
        bus.waitForFinished();
    }
    void init() {
        box = std::make_unique<Sandbox>();
        rec = std::make_unique<MessageRecorder>();
        gEnv.m_sDataPath = box->Path(u"data/"_s);
        gEnv.m_sUserPath = box->Path(u"data/users/jsmith"_s);
        gEnv.m_sMachineName = u"HOSTA"_s;
        gEnv.m_sProgramPath = box->Path(u"prog/"_s);
        gEnv.m_sHelpFile = box->Path(u"prog/qorvlog-help.html"_s);
        QDir().mkpath(gEnv.m_sUserPath);
        QDir().mkpath(box->Path(u"data/Machines/SRV"_s));
        now = 1000000;
        Platform::SetClockHooks({[this] { return now; }, [this](int ms) { now += ms; }});
        Configure();
    }
    void cleanup() {
        Platform::SetClockHooks({});
        w.reset();
        gConfigOptions.reset();
        rec.reset();
        box.reset();
    }

    void listColumns_data() {
        Table("fields shown", // paper, width, pages, copies; Size and Pages shown
              {"named paper¦Letter|8.5|3|2¦Letter|6", "custom paper¦Custom|8.5|3|2¦8.50x11.00 in|6",
               "nameless paper¦|8.5|3|2¦8.50x11.00 in|6",
               "name too short¦A4|8.27|3|2¦8.27x11.00 in|6", "spooling¦|0|0|2¦Spooling|Spooling",
               "copies unknown¦Letter|8.5|3|0¦Letter|3"});
    }
    void listColumns() {
        QFETCH(QString, fields);
        QFETCH(QString, shown);
        const QStringList job = fields.split(u'|');
        JobFields f = Plotter();
        f.paper = job[0], f.width = job[1], f.pages = job[2], f.copies = job[3], f.printer = {};
        Show({f});
        const QString when =
            QLocale().toString(QDateTime(QDate(2004, 3, 5), QTime(14, 7, 9)), QLocale::ShortFormat);
        QCOMPARE(Rows(), QStringList{u"*Plan.dwg|%1|%2|"_s.arg(shown, when)});
    }

    void loadStep_data() {
        Table(
            "edit pauseGroups caption save left", // Help's left edge in twips
            {"design¦¦¦QorvLog¦&Save¦2640",
             "no cancel¦GENERAL/AllowCancel=False¦¦QorvLog¦&Save¦1320",
             "simulated, holding¦GENERAL/SIMMonitor=True¦Plotter¦*SIM* QorvLog¦Print/&Save¦2640"});
    }
    void loadStep() {
        QFETCH(QString, edit);
        QFETCH(QString, pauseGroups);
        QFETCH(QString, left);
        const int helpLeft = left.toInt();
        Configure(edit.split(u';', Qt::SkipEmptyParts));
        gEnv.m_sPauseGroups = pauseGroups;
        Show({Plotter()});
        QTEST(w->windowTitle(), "caption");
        QTEST(Button(u"cmdSave"_s)->text(), "save");
        if (helpLeft != 2640) // without a Cancel button its mnemonic types nothing
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::AltModifier);
        QCOMPARE(Form(), (QStringList{"Client=", "Matter=", "Quality=Draft",
                                      "(hidden) Cost=Draft | 0.10 per page"}));
        QCOMPARE(Button(u"cmdCancel"_s)->isVisible(), helpLeft == 2640);
        using Twips::ToPixelsX;
        QCOMPARE((QList<int>{Button(u"cmdHelp"_s)->x(), Button(u"cmdAbout"_s)->x(),
                             w->findChild<QWidget*>(u"picButtons"_s)->width()}),
                 (QList<int>{ToPixelsX(helpLeft), ToPixelsX(helpLeft + 1320),
                             ToPixelsX(helpLeft + 1320 + 1215)}));
        // No close button, and a close from the window manager is refused.
        QVERIFY(!(w->windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(!w->close());
        QVERIFY(w->isVisible() && !w->IsUnloaded());
    }

    void sortFlipsByShownText() {
        QList<JobFields> jobs;
        for (auto [id, document, pages] : {std::tuple{u"51"_s, u"beta"_s, u"10"_s},
                                           {u"52"_s, u"Alpha"_s, u"6"_s},
                                           {u"53"_s, u"Gamma"_s, u"9"_s}}) {
            jobs << Plotter(id, document);
            jobs.back().pages = pages, jobs.back().copies = u"1"_s;
        }
        Show(jobs);
        QStringList got{State()[3]}; // in the order found
        for (const int column : {2, 2, 0}) {
            ClickHeader(column);
            got << State().mid(3).join(u' ');
        }
        // Pages as text ("10" before "6"), names with case ignored.
        QCOMPARE(got, (QStringList{"sort none", "sort 2 up rows beta,Alpha,Gamma",
                                   "sort 2 down rows Gamma,Alpha,beta",
                                   "sort 0 up rows Alpha,beta,Gamma"}));
    }

    void selectionAcrossGroups() {
        Show({Plotter(u"42"_s, u"P1"_s), Plotter(u"44"_s, u"P2"_s), Laser(u"L1"_s)});
        ClickHeader(0); // L1, P1, P2
        ClickRow(u"P1"_s);
        Type(u"Matter"_s, u"12"_s);
        // Jobs of one group: no message; selected together they share one answer, which
        // stays theirs when one of them is selected alone.
        const QStringList typed = {"Client=", "Matter=12", "Quality=Draft",
                                   "(hidden) Cost=Draft | 0.10 per page"};
        ClickRow(u"P2"_s, Qt::ControlModifier);
        QCOMPARE(Rows(0), (QStringList{"L1", "*P1", "*P2"}));
        QCOMPARE(Form(), typed);
        ClickRow(u"P2"_s);
        QCOMPARE(Form(), typed);
        QVERIFY(rec->Messages().isEmpty());
        // Another group: one message; the first selected row's group stays selected.
        ClickRow(u"L1"_s, Qt::ControlModifier);
        QCOMPARE(rec->Joined(), u"All selected print jobs must be for the same printer group."_s);
        QCOMPARE(Rows(0), (QStringList{"*L1", "P1", "P2"}));
        // "Pages" needs no confirmation: no row, and the next row keeps its own category.
        QCOMPARE(Form(), (QStringList{"Project=", "Account="}));
        Type(u"Project"_s, u"p200"_s);
        QCOMPARE(qobject_cast<QLineEdit*>(Field(u"Project"_s))->displayText(), u"****"_s);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); // on to the next row
        QCOMPARE(QApplication::focusWidget(), Field(u"Account"_s));
        QCOMPARE(Form(), (QStringList{"Project=p200", "Account="}));
    }

    void eachJobKeepsItsOwnValues_data() {
        // Typed, then Enter when the popup offers one.
        Table("client", {"typed out¦Gamma Trust", "chosen from the type-ahead¦Gamma"});
    }
    void eachJobKeepsItsOwnValues() {
        QFETCH(QString, client);
        Configure({u"CATEGORYPG11/PreDefinedValue2=0, Gamma Trust"_s,
                   u"CATEGORYPG11/DefaultValue=1"_s, u"CATEGORYPG12/Pattern=Any"_s,
                   u"CATEGORYPG12/AllowBlankValues=True"_s});
        const JobFields first = Plotter(u"501"_s, u"A.dwg"_s),
                        second = Plotter(u"502"_s, u"B.dwg"_s);
        Show({first, second});
        ClickRow(u"A.dwg"_s);
        Type(u"Client"_s, client);
        if (client != u"Gamma Trust"_s)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        Type(u"Matter"_s, u"X1"_s);
        Type(u"Quality"_s, u"N1"_s);
        const QString cost = u"(hidden) Cost=Draft | 0.10 per page"_s;
        const QStringList typed = {"Client=Gamma Trust", "Matter=X1", "Quality=N1", cost};
        QCOMPARE(Form(), typed);
        ClickRow(u"B.dwg"_s);
        QCOMPARE(Form(), (QStringList{"Client=Acme Ltd", "Matter=", "Quality=Draft", cost}));
        // What was entered for another job is not acknowledged for this one.
        QTest::mouseClick(Button(u"cmdSave"_s), Qt::LeftButton);
        QCOMPARE(rec->Joined(), u"'Client' must be acknowledged.||You can acknowledge it by "
                                u"clicking on the value to the right of 'Client'."_s);
        rec->Clear();
        QTest::mouseClick(Field(u"Client"_s), Qt::LeftButton);
        QTest::mouseClick(Button(u"cmdSave"_s), Qt::LeftButton);
        Tick();
        const QString draft = u"Cost=Draft | 0.10 per page"_s;
        QCOMPARE(Left(u"502"_s),
                 (QStringList{Dat(second, {"Client=Acme Ltd", "Matter=", "Quality=Draft", draft}),
                              kHeld}));
        // The job left over is shown with what was entered for it (its first row has the
        // focus, which acknowledges it).
        QCOMPARE(Rows(0), QStringList{"*A.dwg"});
        QCOMPARE(Form(), typed);
        QTest::mouseClick(Button(u"cmdSave"_s), Qt::LeftButton);
        Tick();
        QCOMPARE(rec->Joined(), QString());
        QCOMPARE(Left(u"501"_s),
                 (QStringList{Dat(first, {"Client=Gamma Trust", "Matter=X1", "Quality=N1", draft}),
                              kHeld}));
        QVERIFY(w->IsUnloaded());
    }

    void save_data() {
        QTest::addColumn<QStringList>("edits");
        QTest::addColumn<JobFields>("job");
        // "Category=text" types into a row; "?" and a row of the form checks that it is shown.
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("record"); // the data file
        using L = QStringList;
        const JobFields p = Plotter();
        const QString pattern = u"'Matter'does not match pattern:####"_s;
        Row("member, case ignored; quality chooses cost, case ignored", L{}, p,
            L{"Client=acme ltd", "Matter=4711", "Quality=final",
              "?(hidden) Cost=Final | 0.50 per page"},
            "", PlotterDat("acme ltd", "4711", "final", "Final | 0.50 per page"));
        Row("single space; no quality match: first cost", L{}, p,
            L{"Client= ", "Matter=0042", "Quality=Final", "Quality=Proof",
              "?(hidden) Cost=Draft | 0.10 per page"},
            "", PlotterDat("", "0042", "Proof"));
        Row("blank", L{}, p, L{"Client=", "Matter=4711"}, "'Client' cannot be blank.", "");
        Row("not a member", L{}, p, L{"Client=Acme", "Matter=4711"}, "'Client' is invalid.", "");
        Row("pattern before blank", L{}, p, L{"Client=Acme Ltd", "Matter="}, pattern, "");
        Row("pattern letter", L{}, p, L{"Client=Acme Ltd", "Matter=47a1"}, pattern, "");
        Row("pattern too long", L{}, p, L{"Client=Acme Ltd", "Matter=12345"}, pattern, "");
        Row("pattern any, any case", L{"CATEGORYPG12/Pattern=aNy"}, p,
            L{"Client=Acme Ltd", "Matter=x", "Quality=Final"}, "",
            PlotterDat("Acme Ltd", "x", "Final", "Final | 0.50 per page"));
        Row("not acknowledged", L{"CATEGORYPG12/AckDefaultValues=True"}, p, L{"Client=Acme Ltd"},
            "'Matter' must be acknowledged.||You can acknowledge it by clicking on the value to "
            "the right of 'Matter'.",
            "");
        Row("free text when blanks allowed", L{"CATEGORYPG11/AllowBlankValues=True"}, p,
            L{"Client=Zeta", "Matter=4711"}, "", PlotterDat("Zeta", "4711"));
        Row("masked member in other case", L{}, Laser(), L{"Project=p200"}, "",
            Dat(Laser(), {"Pages=6", "Project=p200", "Account="}));
        Row("masked, not a member", L{}, Laser(), L{"Project=P999"}, "'Project' is invalid.", "");
        const QString sqft = u"Color-Bond= 0.25 per square foot | ($)Cost per square foot"_s;
        const QString total = u"Color-Bond= 0.25 per square foot | Total Job Cost"_s;
        const QString letter = u"8.50 x 11.00 in"_s;
        OfflineRow("offline, priced by area", letter, sqft, letter + u"|8.5|11|Bond"_s, u"0.65"_s);
        OfflineRow("offline, size without unit", u"11 x 17"_s, sqft, u"11 x 17|11|17|Bond"_s,
                   u"1.30"_s);
        OfflineRow("offline, size without x", u"A4"_s, sqft, u"A4|24|36|Bond"_s, u"6.00"_s);
        OfflineRow("offline, no charging label", letter, total, letter + u"|8.5|11|Bond"_s, total);
        OfflineRow("offline, after the semicolon", letter, u"Color;1.25"_s, letter + u"|8.5|11|"_s,
                   u"1.25"_s);
    }
    void save() {
        QFETCH(QStringList, edits);
        QFETCH(JobFields, job);
        QFETCH(QStringList, steps);
        QFETCH(QString, message);
        Configure(edits);
        Show({job});
        QMap<QString, QString> typed; // the last text typed into each row, trimmed
        for (const QString& step : steps) {
            if (step.startsWith(u'?')) {
                QVERIFY2(Form().contains(step.mid(1)), qPrintable(Form().join(u'|')));
                continue;
            }
            Type(step.section(u'=', 0, 0), step.section(u'=', 1));
            typed[step.section(u'=', 0, 0)] = step.section(u'=', 1).trimmed();
        }
        QTest::mouseClick(Button(u"cmdSave"_s), Qt::LeftButton);
        QTEST(rec->Joined(), "message");
        QCOMPARE(w->isEnabled(), !message.isEmpty()); // out of use until the tick
        Tick();
        QCOMPARE(w->IsUnloaded(), message.isEmpty());
        const bool held = message.isEmpty() && job.id == u"42"_s; // the plotter's
        QFETCH(QString, record);
        QCOMPARE(Left(job.id), (QStringList{record, held ? kHeld : QString()}));
        if (!message.isEmpty()) return;
        QMap<QString, QString> used;
        for (const QString& category : typed.keys())
            used[category] = GetSettingText(u"LastUsed"_s, category, kMissing);
        QCOMPARE(used, typed);
    }

    // No more is typed into a row than its value can be stored with.
    void longValueCut() {
        Show({Plotter()});
        Type(u"Client"_s, QString(300, u'x'));
        QCOMPARE(Form().value(0), u"Client="_s + QString(255, u'x'));
    }

    void keyboardSavesSelectedJobs() {
        Show({Plotter(u"42"_s), Plotter(u"44"_s), Plotter(u"45"_s, u"Left.dwg"_s)});
        for (QTreeWidgetItem* item : List()->findItems(u"Plan.dwg"_s, Qt::MatchExactly))
            item->setSelected(true);
        List()->findItems(u"Left.dwg"_s, Qt::MatchExactly)[0]->setSelected(false);
        QCOMPARE(QApplication::focusWidget(), Field(u"Client"_s));
        auto* popup = w->findChild<QListView*>(u"lstTypeAhead"_s);
        auto offered = [&] {
            QStringList out;
            for (int r = 0; r < popup->model()->rowCount(); ++r)
                out << popup->model()->index(r, 0).data().toString();
            return out + QStringList{popup->isVisible() ? u"shown"_s : u"hidden"_s};
        };
        auto keys = [](auto... k) { (QTest::keyClick(QApplication::focusWidget(), k), ...); };
        QTest::keyClicks(QApplication::focusWidget(), u"T"_s);
        QCOMPARE(offered(), (QStringList{"Acme Ltd", "Smith ; Jones", "shown"}));
        QCOMPARE(popup->currentIndex().row(), 0);
        keys(Qt::Key_Down);
        QTest::keyClicks(QApplication::focusWidget(), u"h"_s); // "Th" narrows to one
        QCOMPARE(offered(), (QStringList{"Smith ; Jones", "shown"}));
        keys(Qt::Key_Return);
        QVERIFY(!popup->isVisible());
        QCOMPARE(QApplication::focusWidget(), Field(u"Matter"_s));
        QTest::keyClicks(QApplication::focusWidget(), u"4711"_s);
        keys(Qt::Key_Tab);
        QTest::keyClicks(QApplication::focusWidget(), u"FIN"_s);
        keys(Qt::Key_Enter);
        QCOMPARE(QApplication::focusWidget(), Button(u"cmdSave"_s)); // the Cost row is hidden
        QTest::keyClick(w.get(), Qt::Key_S, Qt::AltModifier);
        QTRY_VERIFY(!w->isEnabled() || Rows(0).size() == 1); // its own timer may save first
        Tick();
        for (const QString& id : {u"42"_s, u"44"_s})
            QCOMPARE(Left(id), (QStringList{PlotterDat("Smith ; Jones", "4711", "Final",
                                                       "Final | 0.50 per page", id),
                                            kHeld}));
        // The job left over is selected, its client the one used last, nothing else carried.
        QCOMPARE(Rows(0), QStringList{"*Left.dwg"});
        QCOMPARE(Form(), (QStringList{"Client=Smith ; Jones", "Matter=", "Quality=Draft",
                                      "(hidden) Cost=Draft | 0.10 per page"}));
        QVERIFY(w->isEnabled() && !w->IsUnloaded());
    }

    void failedStore_data() {
        Table("retry", {"retry after the obstacle is gone¦helps", "retry, then cancel¦fails"});
    }
    void failedStore() {
        QFETCH(QString, retry);
        const bool retryHelps = retry == u"helps"_s;
        Show({Plotter()});
        const QString obstacle = box->Path(kUser + u"42.dat"_s);
        QDir().mkpath(obstacle); // a folder where the data file goes
        Type(u"Client"_s, u"Acme Ltd"_s);
        Type(u"Matter"_s, u"4711"_s);
        QTest::mouseClick(Button(u"cmdSave"_s), Qt::LeftButton);
        rec->Script({Platform::MsgAnswer::Retry, Platform::MsgAnswer::Cancel});
        QList<qint64> asked;
        rec->OnEach([&](const Platform::Message& m) {
            asked << now;
            QCOMPARE(m.buttons, Platform::MsgButtons::RetryCancel);
            Tick(5000); // a tick while the message is open does nothing
            if (retryHelps) QDir().rmdir(obstacle);
        });
        Tick();
        const QString text = u"Unable to save print job data.|Choosing Cancel will cause data to "
                             u"be lost for selected print jobs."_s;
        QCOMPARE(rec->Joined(), retryHelps ? text : text + u"#"_s + text);
        if (!retryHelps) QCOMPARE(asked[1] - asked[0], 5000 + 500); // Retry waits 500 ms first
        const QStringList stored = {PlotterDat(u"Acme Ltd"_s, u"4711"_s), kHeld};
        QCOMPARE(Left(u"42"_s), (retryHelps ? stored : QStringList{QString(), QString()}));
        QVERIFY(w->IsUnloaded()); // the job left the list either way
    }

    void cancelThroughDoPrintJobs_data() {
        Table("pas", {"released¦resume\r\n", "deleted¦delete\r\n"});
    }
    void cancelThroughDoPrintJobs() {
        QFETCH(QString, pas);
        gEnv.m_bDeleteIfCanceled = pas.startsWith(u"delete"_s);
        for (const QString& s : {u"prog/start.sh"_s, u"prog/end.sh"_s}) {
            box->Write(s, "#!/bin/sh\ntouch \"$0.ran\"\n");
            QFile::setPermissions(box->Path(s), QFile::ReadOwner | QFile::ExeOwner);
        }
        JobFields silent = Plotter(u"46"_s);
        silent.driver = u"Generic Printer"_s; // the Default group: stored at once
        Job(silent);
        Job(Plotter());
        box->WriteLines(kUser + u"42.shd"_s, {u"monitor line"_s});
        w = std::make_unique<FPrintJobs>();
        QTimer::singleShot(0, w.get(), [&] {
            QVERIFY(QTest::qWaitForWindowActive(w.get()));
            QTest::keyClick(w.get(), Qt::Key_C, Qt::AltModifier);
        });
        w->DoPrintJobs(); // returns once the window's own timer has cancelled and unloaded
        QVERIFY(w->IsUnloaded() && !w->isVisible());
        QCOMPARE(Left(u"42"_s), (QStringList{"cancel\r\n", "monitor line\r\ncancel\r\n" + pas}));
        QCOMPARE(File(u"46.dat"_s), Dat(silent, {}));
        QTRY_VERIFY(QFile::exists(box->Path(u"prog/start.sh.ran"_s)) &&
                    QFile::exists(box->Path(u"prog/end.sh.ran"_s)));
        FPrintJobs none; // no job left: returns at once, never shown
        none.DoPrintJobs();
        QVERIFY(!none.isVisible());
    }

    void jobArrivesWhileOpen() {
        Show({Plotter()});
        Tick(); // the first tick scans at once
        Type(u"Matter"_s, u"12"_s);
        QWidget* focus = QApplication::focusWidget();
        Job(Plotter(u"44"_s, u"Later.dwg"_s));
        Tick(1999);
        QCOMPARE(Rows(0), QStringList{"*Plan.dwg"});
        Tick(1);
        QCOMPARE(Rows(0), (QStringList{"*Plan.dwg", "Later.dwg"}));
        QCOMPARE(Form().value(1), u"Matter=12"_s);
        QCOMPARE(QApplication::focusWidget(), focus);
    }

    // The user types elsewhere: a window that had the focus calls nobody; a job arriving
    // while it is buried, then minimised, notifies (replacing) and restores it; the click
    // activates it with the token; no job left withdraws the notification.
    void waitingJobsReachTheUser() {
        notifications.calls.clear();
        Show({Plotter()});
        QWidget editor;
        editor.show();
        editor.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&editor));
        QTest::qWait(1100); // past the check of the first opening
        QCOMPARE(notifications.calls, QStringList());
        auto arrives = [&](const JobFields& f) {
            Job(f);
            Tick(2000);
            (void)QTest::qWaitFor([&] { return !notifications.calls.isEmpty(); }, 1500);
            return std::exchange(notifications.calls, {});
        };
        QCOMPARE(arrives(Plotter(u"43"_s, u"Later.dwg"_s)),
                 QStringList{u"notify 0 2 print jobs wait for your entry|Later.dwg default"_s});
        w->showMinimized();
        QCOMPARE(arrives(Plotter(u"44"_s, u"Last.dwg"_s)),
                 QStringList{u"notify 1 3 print jobs wait for your entry|Last.dwg default"_s});
        QVERIFY(!w->isMinimized());
        for (const auto& [name, text] : {std::pair{u"ActivationToken"_s, u"token-1"_s},
                                         std::pair{u"ActionInvoked"_s, u"default"_s}}) {
            QDBusMessage m = QDBusMessage::createSignal(u"/org/freedesktop/Notifications"_s,
                                                        u"org.freedesktop.Notifications"_s, name);
            QDBusConnection(u"stand-in"_s).send(m << 1u << text);
        }
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QCOMPARE(qgetenv("XDG_ACTIVATION_TOKEN"), "token-1");
        List()->selectAll(); // all three cancelled: none waits
        Button(u"cmdCancel"_s)->click();
        Tick();
        QVERIFY(w->IsUnloaded());
        QTRY_COMPARE(notifications.calls, QStringList{u"close 1"_s});
    }

    void listFileAndPathEntries() {
        box->Write(u"lists/accounts.txt"_s, QByteArray("  Beta\0junk\r\n\r\nAlpha  \r\n", 24));
        Configure({u"CATEGORYPG23/NumPreDefinedValues=3"_s,
                   u"CATEGORYPG23/PreDefinedValue1=0, "_s + box->Path(u"lists/accounts.txt"_s),
                   u"CATEGORYPG23/PreDefinedValue2=41"_s,
                   u"CATEGORYPG23/PreDefinedValue3=0, "_s + box->Path(u"lists/missing.txt"_s)});
        gEnv.m_bObtainPath = true;
        Show({Laser()});
        auto* accounts = qobject_cast<QComboBox*>(Field(u"Account"_s));
        QStringList items;
        for (int i = 0; i < accounts->count(); ++i) items << accounts->itemText(i);
        QCOMPARE(items, (QStringList{"Beta", "Alpha", "C:\\Clients\\Acme 4711\\Plan.dwg", " "}));
    }

    void helpAndAbout() {
        Show({Plotter()});
        QTest::mouseClick(Button(u"cmdHelp"_s), Qt::LeftButton);
        box->Write(u"prog/qorvlog-help.html"_s, "<html></html>");
        CUrlCatcher catcher;
        QDesktopServices::setUrlHandler(u"file"_s, &catcher, "Open");
        QTest::mouseClick(Button(u"cmdHelp"_s), Qt::LeftButton);
        QDesktopServices::unsetUrlHandler(u"file"_s);
        QCOMPARE(catcher.urls, QList<QUrl>{QUrl::fromLocalFile(gEnv.m_sHelpFile)});
        QCOMPARE(rec->Joined(), u"The help file was not found:|"_s + gEnv.m_sHelpFile);
        QString seen;
        QTimer::singleShot(0, w.get(), [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* about = qobject_cast<FAbout*>(modal))
                seen =
                    about->windowTitle() + (about->parentWidget() == w.get() ? u" over"_s : u""_s);
            if (modal) modal->close();
        });
        QTest::mouseClick(Button(u"cmdAbout"_s), Qt::LeftButton);
        QCOMPARE(seen, u"About QorvLog over"_s);
    }

    void placement_data() {
        QTest::addColumn<QRect>("stored"); // null: a value is missing
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QRect>("place");
        const QSize screen(12000, 9000);
        Row("first start", QRect(), screen, QRect(2910, 1350, 6180, 6300));
        Row("screen just fits", QRect(), QSize(6180, 6300), QRect(0, 0, 6180, 6300));
        Row("screen two twips short", QRect(), QSize(6178, 6298), QRect(0, 0, 6178, 6298));
        Row("at the edge room", QRect(11400, 8400, 5000, 5000), screen,
            QRect(11400, 8400, 5000, 5000));
        Row("past the edge room", QRect(11401, 8401, 5000, 5000), screen,
            QRect(6000, 4500, 5000, 5000));
    }
    void placement() {
        QFETCH(QRect, stored);
        QFETCH(QSize, screen);
        QTEST(StartPlacement(stored.isNull() ? std::nullopt : std::optional(stored), screen),
              "place");
    }

    void windowState_data() {
        // Settings as changes to kStored ("-": none stored); ";"-separated steps in twips:
        // "move X,Y", "size WxH" (the program's resize), "wm WxH" (the window manager's), "pane
        // H", "column C W", "sort C" (a header click), "maximise"; the state as changes to
        // kShown ("least": the least width); the settings stored on unloading as changes to
        // kStored ("-": not compared).
        Table("settings steps state saved",
              {// The first start on the 800 x 800 pixel offscreen screen (12000 twips square);
               // 1000 twips are 66.7 pixels, shown as 67.
               "first start¦-¦¦window normal 2910,2850 6180x6300|pane 1590|columns "
               "2880,1005,720,1200,1440|sort none|rows A,B¦-",
               "as left, stored back¦¦¦¦", "left maximised opens normal¦Window/Maximized=2¦¦¦",
               "non-numeric left: centred¦Window/Left=15OO¦¦window normal 2910,2850 6180x6300¦-",
               "non-numeric width¦Columns/Papersize=wide¦¦columns 3000,1005,900,2400,1800¦-",
               "gone monitor on the right¦Window/Left=11401¦¦window normal 6000,900 7500x6000¦-",
               "ascending¦Columns/SortOrder=0¦¦sort 3 up|rows A,B¦-",
               "not sorted¦Columns/Sorted=0¦¦sort none|rows A,B¦-",
               // Moved, sized, the pane and a column dragged, the first column sorted ascending.
               "changed¦¦move 3000,1500;size 7200x5400;pane 1500;column 4 2100;sort 0¦window "
               "normal 3000,1500 7200x5400|pane 1500|columns 3000,1500,900,2400,2100|sort 0 "
               "up|rows A,B¦Window/Left=3000;Window/Top=1500;Window/Width=7200;Window/"
               "Height=5400;Window/Resizer=1500;Columns/Printer=2100;Columns/SortKey=0;Columns/"
               "SortOrder=0",
               // Maximised: the normal place stays as it was stored before.
               "changed, maximised¦¦move 3000,1500;size 7200x5400;pane 1500;column 4 2100;sort "
               "0;maximise¦window maximised 0,0 screen|pane 1500|columns "
               "3000,1500,900,2400,2100|sort 0 up|rows A,B¦Window/Maximized=2;Window/"
               "Resizer=1500;Columns/Printer=2100;Columns/SortKey=0;Columns/SortOrder=0",
               "least height¦¦size 6180x4980¦window normal 1500,900 6180x4980¦-",
               "a pixel lower¦¦size 6180x4965¦window normal 1500,900 6180x4980¦-",
               "narrower than the buttons¦¦size 3000x6300¦window normal 1500,900 leastx6300¦-",
               "made lower by the window manager¦¦wm 7500x4000¦window normal 1500,900 "
               "7500x4980¦-",
               "made narrower by the window manager¦¦wm 3000x6000¦window normal 1500,900 "
               "leastx6000¦-"});
    }
    void windowState() {
        QFETCH(QString, settings);
        QFETCH(QString, steps);
        QFETCH(QString, state);
        QFETCH(QString, saved);
        OpenStored(settings == u"-" ? QStringList() : With(kStored, settings.split(u';')));
        for (const QString& step : steps.split(u';', Qt::SkipEmptyParts)) {
            const QString what = step.section(u' ', 0, 0);
            QList<int> n;
            for (const QString& t : step.section(u' ', 1).split(QRegularExpression(u"[ ,x]"_s)))
                n << t.toInt();
            if (what == u"move") // the frame's corner, as the window reports it
                w->move(ToPixelsX(n[0]), ToPixelsY(n[1]));
            else if (what == u"size")
                w->resize(ToPixelsX(n[0]), ToPixelsY(n[1]));
            else if (what == u"wm")
                w->windowHandle()->resize(ToPixelsX(n[0]), ToPixelsY(n[1]));
            else if (what == u"pane")
                Panes()->setSizes({ToPixelsY(n[0]),
                                   Panes()->height() - Panes()->handleWidth() - ToPixelsY(n[0])});
            else if (what == u"column")
                List()->setColumnWidth(n[0], ToPixelsX(n[1]));
            else if (what == u"sort")
                ClickHeader(n[0]);
            else if (what == u"maximise")
                w->showMaximized();
        }
        // The buttons (5175 twips), a margin and a frame on either side.
        const int frame = w->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, w.get());
        const int least = ToPixelsX(120 + 5175 + 120) + 2 * frame;
        state.replace(u"least"_s, QString::number(qRound(FromPixelsX(least))));
        // The screen's room less the window manager's frame.
        const QSize room = w->screen()->availableSize().shrunkBy(w->windowHandle()->frameMargins());
        state.replace(u"screen"_s, u"%1x%2"_s.arg(qRound(FromPixelsX(room.width())))
                                       .arg(qRound(FromPixelsY(room.height()))));
        QTRY_COMPARE(State(), With(kShown, state.split(u'|', Qt::SkipEmptyParts), u' '));
        const QSize size = w->size();
        QCOMPARE(w->windowHandle()->size(), size);
        QCOMPARE(w->minimumSize(), QSize(least, ToPixelsY(4980)));
        QCOMPARE(Panes()->geometry(),
                 QRect(ToPixelsX(120), ToPixelsY(120), size.width() - ToPixelsX(240),
                       size.height() - ToPixelsY(720)));
        QCOMPARE(w->findChild<QWidget*>(u"picButtons"_s)->pos(),
                 QPoint((size.width() - ToPixelsX(5175)) / 2, size.height() - ToPixelsY(570)));
        // Cancel both jobs: the next tick finds none left and unloads the window.
        List()->selectAll();
        QTest::mouseClick(Button(u"cmdCancel"_s), Qt::LeftButton);
        Tick();
        QVERIFY(w->IsUnloaded());
        if (saved == u"-") return;
        QStringList stored;
        for (const QString& s : kStored)
            stored << s.section(u'=', 0, 0) + u'=' +
                          GetSettingText(s.section(u'/', 0, 0),
                                         s.section(u'/', 1).section(u'=', 0, 0), u"(missing)"_s);
        QCOMPARE(stored, With(kStored, saved.split(u';')));
    }
};

QTEST_MAIN(TestFPrintJobs)
#include "tst_fprintjobs.moc"
