// The job entry window driven as a user drives it, offscreen: the list, the entry rows, the
// checks of Save, storing and cancelling, and the window's life on the timer.
#include "common/bcommon.h"
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "dialog/fprintjobs.h"
#include "dialog/twips.h"
#include "platform/clock.h"
#include "testsupport.h"

#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {
const QString kUser = u"data/users/jsmith/"_s;

JobFields Plotter(const QString& id = u"42"_s, const QString& document = u"Plan.dwg"_s) {
    JobFields f;
    f.id = id;
    f.document = document;
    return f;
}
JobFields Laser(const QString& document = u"Letter.docx"_s) {
    JobFields f = Plotter(u"43"_s, document);
    f.queue = u"\\\\SRV\\Office"_s;
    f.printer = u"Office A"_s;
    f.driver = u"Office Laser 5"_s;
    return f;
}
// A data file as the window writes it for a job of these fields (the path is the document
// name: the configuration does not look documents up); details are "Name=value".
QString Dat(const JobFields& f, const QStringList& details) {
    auto fixed = [](const QString& n) { return QString::number(n.toDouble(), 'f', 6); };
    QString text =
        u"QorvexMaster,2,%1,\"%2\",\"HOSTA\",\"jsmith\",\"%3\",\"03/05/2004 2:07:09 PM\",\"%4\","
        u"123456,%5,0,%6,\"%7\",%8,%9,"_s.arg(f.id, f.printer, f.document, f.queue, f.pages,
                                              f.copies, f.paper, fixed(f.width), fixed(f.height)) +
        u"%1,\"%2\",\"Color\",0.000000,\"%3\",\"%4\",\"Portrait\"\r\n"_s.arg(
            QString::number(f.pages.toInt() * f.copies.toInt()), f.document, f.driver, f.media);
    for (const QString& d : details)
        text +=
            u"QorvexDetail,2,\"%1\",\"%2\"\r\n"_s.arg(d.section(u'=', 0, 0), d.section(u'=', 1));
    return text;
}
QString PlotterDat(const QString& client, const QString& matter,
                   const QString& quality = u"Draft"_s,
                   const QString& cost = u"Draft | 0.10 per page"_s) {
    return Dat(Plotter(), {u"Client="_s + client, u"Matter="_s + matter, u"Quality="_s + quality,
                           u"Cost="_s + cost});
}
const QStringList kSaved = {u"Client=Acme Ltd"_s, u"Matter=4711"_s, u"Quality=Draft"_s,
                            u"Cost=Draft | 0.10 per page"_s};
JobFields Offline() {
    JobFields f = Plotter(u"42"_s, u"Offline Job"_s);
    f.driver = u"Offline Station"_s;
    f.width = u"24"_s;
    f.height = u"36"_s;
    return f;
}
// A data row: the name, then one value per column.
template <typename... T> void Row(const char* name, T... values) {
    (QTest::newRow(name) << ... << values);
}

// An offline job's row: the sheet size typed, the cost entry configured, the paper stored
// (name|width|height|media) and the cost stored.
void OfflineRow(const char* name, const QString& size, const QString& cost, const QString& paper,
                const QString& stored) {
    const QStringList p = paper.split(u'|');
    JobFields f = Offline();
    f.printer = u"Plotter 2"_s, f.pages = u"4"_s, f.copies = u"1"_s;
    f.paper = p[0], f.width = p[1], f.height = p[2], f.media = p[3];
    const QStringList entered = {u"Sheet Size="_s + size, u"Total Sheets=4"_s, u"Media=Vellum"_s,
                                 u"Device=Plotter 2"_s, u"Sheet Color=Color"_s};
    Row(name, QStringList{u"CATEGORYPG36/PreDefinedValue1=0, "_s + cost}, u"O"_s, entered,
        QString(), Dat(f, entered + QStringList{u"Cost="_s + stored}));
}

class CUrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void Open(const QUrl& url) { urls << url; }
};
} // namespace

class TestFPrintJobs : public QObject {
    Q_OBJECT
    std::unique_ptr<Sandbox> box;
    std::unique_ptr<MessageRecorder> rec;
    qint64 now = 0;

    // Edits are "SECTION/Key=value".
    void Configure(const QStringList& edits = {}) {
        QByteArray ini = TestData(u"config_dialog.ini"_s);
        for (const QString& e : edits)
            ini = IniEdit(ini, e.section(u'/', 0, 0), e.section(u'/', 1).section(u'=', 0, 0),
                          e.section(u'=', 1));
        gConfigOptions = std::make_shared<CConfigOptions>();
        QVERIFY(gConfigOptions->ReadIniFile(box->Write(u"Config.ini"_s, ini)));
    }
    void Job(const QString& name, const JobFields& fields) {
        box->WriteLines(kUser + name, fields.Lines());
    }
    QString File(const QString& name) const { return QString::fromUtf8(box->Read(kUser + name)); }
    QByteArray Pass(const QString& id) const {
        return box->Read(u"data/Machines/SRV/000"_s + id + u".pas"_s);
    }

    static QTreeWidget* List(FPrintJobs& w) { return w.findChild<QTreeWidget*>(u"lvwPrintJobs"_s); }
    static QPushButton* Button(FPrintJobs& w, const char* name) {
        return w.findChild<QPushButton*>(QString::fromLatin1(name));
    }
    // The visible entry field of a category.
    static QWidget* Field(FPrintJobs& w, const QString& category) {
        for (QWidget* f : w.findChildren<QWidget*>())
            if (f->accessibleName() == category && !f->isHidden()) return f;
        return nullptr;
    }
    static QStringList Labels(FPrintJobs& w) {
        QStringList out;
        for (int d = 1;; ++d) {
            auto* l = w.findChild<QLabel*>(u"lblCategory"_s + QString::number(d));
            if (!l) return out;
            out << (l->isHidden() ? u"(hidden) "_s : QString()) + l->text();
        }
    }
    // The text a category's row holds, shown or not.
    static QString Value(FPrintJobs& w, const QString& category) {
        const int d = Labels(w).replaceInStrings(u"(hidden) "_s, QString()).indexOf(category) + 1;
        auto* combo = w.findChild<QComboBox*>(u"cboCategoryDropdownCombo"_s + QString::number(d));
        return combo ? combo->currentText() : u"(no row)"_s;
    }
    // The list's rows (columns joined by "|"), selected ones marked with "*".
    static QStringList Rows(FPrintJobs& w, int column = -1) {
        QStringList out;
        QTreeWidget* list = List(w);
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = list->topLevelItem(i);
            QStringList cols;
            for (int c = 0; c < list->columnCount(); ++c)
                if (column < 0 || c == column) cols << item->text(c);
            out << (item->isSelected() ? u"*"_s : QString()) + cols.join(u'|');
        }
        return out;
    }
    void Open(FPrintJobs& w) {
        QVERIFY(w.OpenPrintJobs());
        QVERIFY(QTest::qWaitForWindowActive(&w));
    }
    static void ClickRow(FPrintJobs& w, const QString& document, Qt::KeyboardModifiers mods = {}) {
        QTreeWidget* list = List(w);
        const QRect r = list->visualItemRect(list->findItems(document, Qt::MatchExactly).value(0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, mods, r.center());
    }
    static void ClickHeader(FPrintJobs& w, int section) {
        QHeaderView* h = List(w)->header();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                          QPoint(h->sectionViewportPosition(section) + 5, h->height() / 2));
    }
    // Clicks into the field of a category and types text over what it holds.
    static void Type(FPrintJobs& w, const QString& category, const QString& text) {
        QWidget* f = Field(w, category);
        QVERIFY2(f, qPrintable(category));
        QTest::mouseClick(f, Qt::LeftButton, {}, QPoint(4, f->height() / 2));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
        QTest::keyClicks(QApplication::focusWidget(), text);
    }
    void Tick(FPrintJobs& w, qint64 advanceMs = 0) {
        now += advanceMs;
        w.tmrCheckJobs_Timer();
    }
    void Save(FPrintJobs& w) {
        QTest::mouseClick(Button(w, "cmdSave"), Qt::LeftButton);
        Tick(w);
    }

private Q_SLOTS:
    void init() {
        box = std::make_unique<Sandbox>();
        rec = std::make_unique<MessageRecorder>();
        gEnv.m_sDataPath = box->Path(u"data/"_s);
        gEnv.m_sUserPath = box->Path(u"data/users/jsmith"_s);
        gEnv.m_sMachineName = u"HOSTA"_s;
        gEnv.m_sProgramPath = box->Path(u"prog/"_s);
        gEnv.m_sHelpFile = box->Path(u"prog/qorvlog-help.html"_s);
        for (const QString& d : {gEnv.m_sUserPath, box->Path(u"data/Machines/SRV"_s)})
            QDir().mkpath(d);
        now = 1000000;
        Platform::SetClockHooks({[this] { return now; }, [this](int ms) { now += ms; }});
        Configure();
    }
    void cleanup() {
        Platform::SetClockHooks({});
        gConfigOptions.reset();
        rec.reset();
        box.reset();
    }

    void listColumns_data() {
        for (const char* c : {"paper", "width", "pages", "copies", "shown"})
            QTest::addColumn<QString>(c); // shown: Size and Pages
        Row("named paper", "Letter", "8.5", "3", "2", "Letter|6");
        Row("custom paper", "Custom", "8.5", "3", "2", "8.50x11.00 in|6");
        Row("nameless paper", "", "8.5", "3", "2", "8.50x11.00 in|6");
        Row("name too short", "A4", "8.27", "3", "2", "8.27x11.00 in|6");
        Row("spooling", "", "0", "0", "2", "Spooling|Spooling");
        Row("copies unknown", "Letter", "8.5", "3", "0", "Letter|3");
    }
    void listColumns() {
        JobFields f = Plotter();
        QFETCH(QString, paper);
        QFETCH(QString, width);
        QFETCH(QString, pages);
        QFETCH(QString, copies);
        f.paper = paper, f.width = width, f.pages = pages, f.copies = copies;
        f.printer.clear();
        Job(u"A.prt"_s, f);
        FPrintJobs w;
        Open(w);
        const QString when =
            QLocale().toString(QDateTime(QDate(2004, 3, 5), QTime(14, 7, 9)), QLocale::ShortFormat);
        QFETCH(QString, shown);
        QCOMPARE(Rows(w), QStringList{u"*Plan.dwg|"_s + shown + u'|' + when + u'|'});
    }

    void noPendingJobShowsNoWindow() {
        JobFields silent = Plotter();
        silent.driver = u"Generic Printer"_s; // the Default group: stored at once
        Job(u"S.prt"_s, silent);
        FPrintJobs w;
        w.DoPrintJobs();
        QVERIFY(!w.isVisible());
        QCOMPARE(File(u"S.dat"_s), Dat(silent, {}));
    }

    void loadStep_data() {
        QTest::addColumn<QStringList>("edits");
        QTest::addColumn<QString>("pauseGroups");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("save");
        QTest::addColumn<int>("helpLeft"); // twips
        Row("design", QStringList{}, "", "QorvLog", "&Save", 2640);
        Row("no cancel", QStringList{"GENERAL/AllowCancel=False"}, "", "QorvLog", "&Save", 1320);
        Row("simulated, holding", QStringList{"GENERAL/SIMMonitor=True"}, "Plotter",
            "*SIM* QorvLog", "Print/&Save", 2640);
    }
    void loadStep() {
        QFETCH(QStringList, edits);
        QFETCH(QString, pauseGroups);
        QFETCH(int, helpLeft);
        Configure(edits);
        gEnv.m_sPauseGroups = pauseGroups;
        Job(u"A.prt"_s, Plotter());
        FPrintJobs w;
        Open(w);
        QTEST(w.windowTitle(), "caption");
        QTEST(Button(w, "cmdSave")->text(), "save");
        QCOMPARE(Labels(w), (QStringList{"Client", "Matter", "Quality", "(hidden) Cost"}));
        QCOMPARE(Button(w, "cmdCancel")->isVisible(), helpLeft == 2640);
        using Twips::ToPixelsX;
        QCOMPARE((QList<int>{Button(w, "cmdHelp")->x(), Button(w, "cmdAbout")->x(),
                             w.findChild<QWidget*>(u"picButtons"_s)->width()}),
                 (QList<int>{ToPixelsX(helpLeft), ToPixelsX(helpLeft + 1320),
                             ToPixelsX(helpLeft + 1320 + 1215)}));
        // No close button, and a close from the window manager is refused.
        QVERIFY(!(w.windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(!w.close());
        QVERIFY(w.isVisible() && !w.IsUnloaded());
    }

    void sortFlipsByShownText() {
        for (auto [id, document, pages] :
             {std::tuple{"51", "beta", "10"}, {"52", "Alpha", "6"}, {"53", "Gamma", "9"}}) {
            JobFields f = Plotter(QString::fromLatin1(id), QString::fromLatin1(document));
            f.pages = QString::fromLatin1(pages);
            f.copies = u"1"_s;
            Job(f.id + u".prt"_s, f);
        }
        FPrintJobs w;
        Open(w);
        // A column's texts in list order, then the header's sort mark.
        auto sorted = [&](int column) {
            const QHeaderView* h = List(w)->header();
            const QString order =
                h->sortIndicatorOrder() == Qt::AscendingOrder ? u"up"_s : u"down"_s;
            return Rows(w, column).join(u',').remove(u'*') +
                   (h->isSortIndicatorShown() ? u" %1 "_s.arg(h->sortIndicatorSection()) + order
                                              : u" unsorted"_s);
        };
        QVERIFY(sorted(2).endsWith(u" unsorted"_s));
        ClickHeader(w, 2);
        QCOMPARE(sorted(2), u"10,6,9 2 up"_s); // as text
        ClickHeader(w, 2);
        QCOMPARE(sorted(2), u"9,6,10 2 down"_s);
        ClickHeader(w, 0);
        QCOMPARE(sorted(0), u"Alpha,beta,Gamma 0 up"_s); // case ignored
    }

    void selectionAcrossGroups() {
        Job(u"A.prt"_s, Plotter(u"42"_s, u"P1"_s));
        Job(u"B.prt"_s, Plotter(u"44"_s, u"P2"_s));
        Job(u"C.prt"_s, Laser(u"L1"_s));
        FPrintJobs w;
        Open(w);
        ClickHeader(w, 0); // L1, P1, P2
        ClickRow(w, u"P1"_s);
        Type(w, u"Matter"_s, u"12"_s);
        // Jobs of one group: no message, and rows reloaded for another of its jobs keep what
        // was typed.
        ClickRow(w, u"P2"_s, Qt::ControlModifier);
        QCOMPARE(Rows(w, 0), (QStringList{"L1", "*P1", "*P2"}));
        QCOMPARE(Value(w, u"Matter"_s), u"12"_s);
        ClickRow(w, u"P2"_s);
        QCOMPARE(Value(w, u"Matter"_s), u"12"_s);
        QVERIFY(rec->Messages().isEmpty());
        // Another group: one message; the first selected row's group stays selected.
        ClickRow(w, u"L1"_s, Qt::ControlModifier);
        QCOMPARE(rec->Joined(), u"All selected print jobs must be for the same printer group."_s);
        QCOMPARE(Rows(w, 0), (QStringList{"*L1", "P1", "P2"}));
        QCOMPARE(Labels(w), (QStringList{"Project", "Account"}));
    }

    void save_data() {
        QTest::addColumn<QStringList>("edits");
        QTest::addColumn<QString>("job"); // P plotter, L laser, O offline
        // "Category=text" types into the row, "Category?text" checks what the row holds.
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("record"); // the data file
        using L = QStringList;
        const QString pattern = u"'Matter'does not match pattern:####"_s;
        Row("member, case ignored; quality chooses cost, case ignored", L{}, "P",
            L{"Client=acme ltd", "Matter=4711", "Quality=final", "Cost?Final | 0.50 per page"}, "",
            PlotterDat("acme ltd", "4711", "final", "Final | 0.50 per page"));
        Row("single space; no quality match: first cost", L{}, "P",
            L{"Client= ", "Matter=0042", "Quality=Final", "Quality=Proof",
              "Cost?Draft | 0.10 per page"},
            "", PlotterDat("", "0042", "Proof"));
        Row("blank", L{}, "P", L{"Client=", "Matter=4711"}, "'Client' cannot be blank.", "");
        Row("not a member", L{}, "P", L{"Client=Acme", "Matter=4711"}, "'Client' is invalid.", "");
        Row("pattern before blank", L{}, "P", L{"Client=Acme Ltd", "Matter="}, pattern, "");
        Row("pattern letter", L{}, "P", L{"Client=Acme Ltd", "Matter=47a1"}, pattern, "");
        Row("pattern too long", L{}, "P", L{"Client=Acme Ltd", "Matter=12345"}, pattern, "");
        Row("pattern any, any case", L{"CATEGORYPG12/Pattern=aNy"}, "P",
            L{"Client=Acme Ltd", "Matter=x", "Quality=Final", "Cost?Final | 0.50 per page"}, "",
            PlotterDat("Acme Ltd", "x", "Final", "Final | 0.50 per page"));
        Row("not acknowledged", L{"CATEGORYPG12/AckDefaultValues=True"}, "P", L{"Client=Acme Ltd"},
            "'Matter' must be acknowledged.||You can acknowledge it by clicking on the value to "
            "the right of 'Matter'.",
            "");
        Row("free text when blanks allowed", L{"CATEGORYPG11/AllowBlankValues=True"}, "P",
            L{"Client=Zeta", "Matter=4711"}, "", PlotterDat("Zeta", "4711"));
        Row("masked member in other case", L{}, "L", L{"Project=p200"}, "",
            Dat(Laser(), {"Pages=6", "Project=p200", "Account="}));
        Row("masked, not a member", L{}, "L", L{"Project=P999"}, "'Project' is invalid.", "");
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
        QFETCH(QString, job);
        QFETCH(QStringList, steps);
        QFETCH(QString, message);
        Configure(edits);
        const JobFields f = job == u"P"_s ? Plotter() : job == u"L"_s ? Laser() : Offline();
        Job(u"J.prt"_s, f);
        FPrintJobs w;
        Open(w);
        QMap<QString, QString> typed; // the last text typed into each row, trimmed
        for (const QString& step : steps) {
            const qsizetype at = step.indexOf(QRegularExpression(u"[=?]"_s));
            const QString category = step.left(at), text = step.mid(at + 1);
            if (step[at] == u'?') {
                QCOMPARE(Value(w, category), text);
                continue;
            }
            Type(w, category, text);
            typed[category] = text.trimmed();
        }
        QTest::mouseClick(Button(w, "cmdSave"), Qt::LeftButton);
        QTEST(rec->Joined(), "message");
        QCOMPARE(w.isEnabled(), !message.isEmpty()); // out of use until the tick
        Tick(w);
        QCOMPARE(w.IsUnloaded(), message.isEmpty());
        QTEST(File(u"J.dat"_s), "record");
        const bool held = message.isEmpty() && job == u"P"_s; // redirected and held
        QCOMPARE(File(u"J.shd"_s) + QString::fromLatin1(Pass(f.id)),
                 held ? u"10.0.0.7\r\nresume\r\n"_s : QString());
        if (!message.isEmpty()) return;
        QMap<QString, QString> used;
        for (const QString& category : typed.keys())
            used[category] = GetSettingText(u"LastUsed"_s, category, kMissing);
        QCOMPARE(used, typed);
    }

    void maskedRow() {
        Job(u"L.prt"_s, Laser());
        FPrintJobs w;
        Open(w);
        // "Pages" needs no confirmation: no row, and the next row keeps its own category.
        QCOMPARE(Labels(w), (QStringList{"Project", "Account"}));
        auto* masked = qobject_cast<QLineEdit*>(Field(w, u"Project"_s));
        QVERIFY(masked && masked->echoMode() == QLineEdit::Password);
        Type(w, u"Project"_s, u"p200"_s);
        QCOMPARE(masked->displayText(), u"****"_s);
        QTest::keyClick(masked, Qt::Key_Return); // on to the next row
        QCOMPARE(QApplication::focusWidget(), Field(w, u"Account"_s));
        QCOMPARE(Value(w, u"Project"_s), u"p200"_s);
    }

    void keyboardOnly() {
        Job(u"A.prt"_s, Plotter());
        FPrintJobs w;
        Open(w);
        QCOMPARE(QApplication::focusWidget(), Field(w, u"Client"_s));
        auto* popup = w.findChild<QListView*>(u"lstTypeAhead"_s);
        auto offered = [&] {
            QStringList out;
            for (int r = 0; r < popup->model()->rowCount(); ++r)
                out << popup->model()->index(r, 0).data().toString();
            return out;
        };
        auto keys = [](auto... k) { (QTest::keyClick(QApplication::focusWidget(), k), ...); };
        QTest::keyClicks(QApplication::focusWidget(), u"T"_s);
        QVERIFY(popup->isVisible());
        QCOMPARE(offered(), (QStringList{"Acme Ltd", "Smith ; Jones"}));
        QCOMPARE(popup->currentIndex().row(), 0);
        keys(Qt::Key_Down);
        QTest::keyClicks(QApplication::focusWidget(), u"h"_s); // "Th" narrows to one
        QCOMPARE(offered(), QStringList{"Smith ; Jones"});
        keys(Qt::Key_Return);
        QVERIFY(!popup->isVisible());
        QCOMPARE(Value(w, u"Client"_s), u"Smith ; Jones"_s);
        QCOMPARE(QApplication::focusWidget(), Field(w, u"Matter"_s));
        QTest::keyClicks(QApplication::focusWidget(), u"4711"_s);
        keys(Qt::Key_Tab);
        QTest::keyClicks(QApplication::focusWidget(), u"FIN"_s);
        keys(Qt::Key_Enter);
        QCOMPARE(QApplication::focusWidget(), Button(w, "cmdSave")); // the Cost row is hidden
        QTest::keyClick(&w, Qt::Key_S, Qt::AltModifier);
        QTRY_VERIFY(!w.isEnabled() || w.IsUnloaded()); // the window's own timer may save first
        Tick(w);
        QCOMPARE(File(u"A.dat"_s),
                 PlotterDat("Smith ; Jones", "4711", "Final", "Final | 0.50 per page"));
    }

    void savingTwoJobsAtOnce() {
        Job(u"A.prt"_s, Plotter(u"42"_s));
        Job(u"B.prt"_s, Plotter(u"44"_s));
        Job(u"C.prt"_s, Plotter(u"45"_s, u"Left.dwg"_s));
        FPrintJobs w;
        Open(w);
        for (QTreeWidgetItem* item : List(w)->findItems(u"Plan.dwg"_s, Qt::MatchExactly))
            item->setSelected(true);
        QCOMPARE(Value(w, u"Client"_s), QString()); // nothing used before
        Type(w, u"Client"_s, u"Acme Ltd"_s);
        Type(w, u"Matter"_s, u"4711"_s);
        Save(w);
        for (auto [base, id] : {std::pair{u"A"_s, u"42"_s}, {u"B"_s, u"44"_s}}) {
            QCOMPARE(File(base + u".dat"_s), Dat(Plotter(id), kSaved));
            QCOMPARE(File(base + u".shd"_s) + QString::fromLatin1(Pass(id)),
                     u"10.0.0.7\r\nresume\r\n"_s);
        }
        // The job left over is selected, its client the one used last, nothing else carried.
        QCOMPARE(Rows(w, 0), QStringList{"*Left.dwg"});
        QCOMPARE((QStringList{Value(w, u"Client"_s), Value(w, u"Matter"_s)}),
                 (QStringList{"Acme Ltd", ""}));
        QVERIFY(w.isEnabled() && !w.IsUnloaded());
    }

    void failedStore_data() {
        QTest::addColumn<bool>("retryHelps");
        QTest::newRow("retry after the obstacle is gone") << true;
        QTest::newRow("retry, then cancel") << false;
    }
    void failedStore() {
        QFETCH(bool, retryHelps);
        Job(u"A.prt"_s, Plotter());
        FPrintJobs w;
        Open(w);
        const QString obstacle = box->Path(kUser + u"A.dat"_s);
        QDir().mkpath(obstacle); // a folder where the data file goes
        Type(w, u"Client"_s, u"Acme Ltd"_s);
        Type(w, u"Matter"_s, u"4711"_s);
        QTest::mouseClick(Button(w, "cmdSave"), Qt::LeftButton);
        rec->Script({Platform::MsgAnswer::Retry, Platform::MsgAnswer::Cancel});
        rec->OnEach([&](const Platform::Message& m) {
            QCOMPARE(m.buttons, Platform::MsgButtons::RetryCancel);
            Tick(w, 5000); // a tick while the message is open does nothing
            if (retryHelps) QDir().rmdir(obstacle);
        });
        Tick(w);
        const QString text = u"Unable to save print job data.|Choosing Cancel will cause data to "
                             u"be lost for selected print jobs."_s;
        QCOMPARE(rec->Joined(), retryHelps ? text : text + u"#"_s + text);
        QCOMPARE(File(u"A.dat"_s) + File(u"A.shd"_s) + QString::fromLatin1(Pass(u"42"_s)),
                 retryHelps ? Dat(Plotter(), kSaved) + u"10.0.0.7\r\nresume\r\n"_s : QString());
        QVERIFY(w.IsUnloaded()); // the job left the list either way
    }

    void cancelThroughDoPrintJobs_data() {
        QTest::addColumn<bool>("deleteIfCanceled");
        QTest::addColumn<QByteArray>("pas");
        QTest::newRow("released") << false << QByteArray("resume\r\n");
        QTest::newRow("deleted") << true << QByteArray("delete\r\n");
    }
    void cancelThroughDoPrintJobs() {
        QFETCH(bool, deleteIfCanceled);
        gEnv.m_bDeleteIfCanceled = deleteIfCanceled;
        for (const char* s : {"prog/start.sh", "prog/end.sh"}) {
            box->Write(QString::fromLatin1(s), "#!/bin/sh\ntouch \"$0.ran\"\n");
            QFile::setPermissions(box->Path(QString::fromLatin1(s)),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        Job(u"A.prt"_s, Plotter());
        box->WriteLines(kUser + u"A.shd"_s, {u"monitor line"_s});
        FPrintJobs w;
        QTimer::singleShot(0, &w, [&] {
            QVERIFY(QTest::qWaitForWindowActive(&w));
            QTest::keyClick(&w, Qt::Key_C, Qt::AltModifier);
        });
        w.DoPrintJobs(); // returns once the window's own timer has cancelled and unloaded
        QVERIFY(w.IsUnloaded() && !w.isVisible());
        QCOMPARE(File(u"A.dat"_s), u"cancel\r\n"_s);
        QCOMPARE(File(u"A.shd"_s), u"monitor line\r\ncancel\r\n"_s);
        QTEST(Pass(u"42"_s), "pas");
        QTRY_VERIFY(QFile::exists(box->Path(u"prog/start.sh.ran"_s)) &&
                    QFile::exists(box->Path(u"prog/end.sh.ran"_s)));
    }

    void jobArrivesWhileOpen() {
        Job(u"A.prt"_s, Plotter(u"42"_s));
        FPrintJobs w;
        Open(w);
        Tick(w); // the first tick scans at once
        Type(w, u"Matter"_s, u"12"_s);
        QWidget* focus = QApplication::focusWidget();
        Job(u"B.prt"_s, Plotter(u"44"_s, u"Later.dwg"_s));
        Tick(w, 1999);
        QCOMPARE(Rows(w, 0), QStringList{"*Plan.dwg"});
        Tick(w, 1);
        QCOMPARE(Rows(w, 0), (QStringList{"*Plan.dwg", "Later.dwg"}));
        QCOMPARE(Value(w, u"Matter"_s), u"12"_s);
        QCOMPARE(QApplication::focusWidget(), focus);
    }

    void listFileAndPathEntries() {
        box->Write(u"lists/accounts.txt"_s, QByteArray("  Beta\0junk\r\n\r\nAlpha  \r\n", 24));
        Configure({u"CATEGORYPG23/NumPreDefinedValues=3"_s,
                   u"CATEGORYPG23/PreDefinedValue1=0, "_s + box->Path(u"lists/accounts.txt"_s),
                   u"CATEGORYPG23/PreDefinedValue2=41"_s,
                   u"CATEGORYPG23/PreDefinedValue3=0, "_s + box->Path(u"lists/missing.txt"_s)});
        gEnv.m_bObtainPath = true;
        Job(u"L.prt"_s, Laser());
        FPrintJobs w;
        Open(w);
        auto* accounts = qobject_cast<QComboBox*>(Field(w, u"Account"_s));
        QStringList items;
        for (int i = 0; i < accounts->count(); ++i) items << accounts->itemText(i);
        QCOMPARE(items, (QStringList{"Beta", "Alpha", "C:\\Clients\\Acme 4711\\Plan.dwg", " "}));
    }

    void help() {
        Job(u"A.prt"_s, Plotter());
        FPrintJobs w;
        Open(w);
        QTest::mouseClick(Button(w, "cmdHelp"), Qt::LeftButton);
        QCOMPARE(rec->Joined(), u"The help file was not found:|"_s + gEnv.m_sHelpFile);
        box->Write(u"prog/qorvlog-help.html"_s, "<html></html>");
        CUrlCatcher catcher;
        QDesktopServices::setUrlHandler(u"file"_s, &catcher, "Open");
        QTest::mouseClick(Button(w, "cmdHelp"), Qt::LeftButton);
        QDesktopServices::unsetUrlHandler(u"file"_s);
        QCOMPARE(catcher.urls, QList<QUrl>{QUrl::fromLocalFile(gEnv.m_sHelpFile)});
        QCOMPARE(rec->Messages().size(), 1);
    }
};

QTEST_MAIN(TestFPrintJobs)
#include "tst_fprintjobs.moc"
