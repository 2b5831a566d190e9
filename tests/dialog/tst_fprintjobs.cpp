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
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

using namespace Qt::StringLiterals;
using Details = QList<std::pair<QString, QString>>;

namespace {
const QString kUser = u"data/users/jsmith/"_s;

JobFields Plotter(const QString& id = u"42"_s, const QString& document = u"Plan.dwg"_s) {
    JobFields f;
    f.id = id;
    f.document = document;
    return f;
}
JobFields Laser(const QString& document = u"Letter.docx"_s) {
    JobFields f;
    f.id = u"43"_s;
    f.queue = u"\\\\SRV\\Office"_s;
    f.printer = u"Office A"_s;
    f.document = document;
    f.driver = u"Office Laser 5"_s;
    return f;
}
// A data file as the window writes it for a job read from these fields (the path is the
// document name: the configuration does not look documents up).
QString Dat(const JobFields& f, const Details& details) {
    QString text = u"QorvexMaster,2,%1,\"%2\",\"HOSTA\",\"jsmith\",\"%3\",\"03/05/2004 2:07:09 "
                   u"PM\",\"%4\",123456,3,0,2,\"Letter\",8.500000,11.000000,6,\"%3\",\"Color\","
                   u"0.000000,\"%5\",\"Bond\",\"Portrait\"\r\n"_s.arg(f.id, f.printer, f.document,
                                                                      f.queue, f.driver);
    for (const auto& [name, value] : details)
        text += u"QorvexDetail,2,\""_s + name + u"\",\""_s + value + u"\"\r\n"_s;
    return text;
}
const Details kPlotterSaved = {{u"Client"_s, u"Acme Ltd"_s},
                               {u"Matter"_s, u"4711"_s},
                               {u"Quality"_s, u"Draft"_s},
                               {u"Cost"_s, u"Draft | 0.10 per page"_s}};

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

    void Configure(const QString& section = {}, const QString& key = {},
                   const QString& value = {}) {
        QByteArray ini = TestData(u"config_dialog.ini"_s);
        if (!section.isEmpty()) ini = IniEdit(ini, section, key, value);
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
    static QString Text(FPrintJobs& w, int row) {
        return w.findChild<QComboBox*>(u"cboCategoryDropdownCombo"_s + QString::number(row))
            ->currentText();
    }
    static QStringList Labels(FPrintJobs& w) {
        QStringList out;
        for (int d = 1;; ++d) {
            auto* l = w.findChild<QLabel*>(u"lblCategory"_s + QString::number(d));
            if (!l) return out;
            out << (l->isHidden() ? u"(hidden) "_s : QString()) + l->text();
        }
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
            out << (item->isSelected() && column < 0 ? u"*"_s : QString()) + cols.join(u'|');
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
        QTest::addColumn<QString>("paper");
        QTest::addColumn<QString>("width");
        QTest::addColumn<QString>("pages");
        QTest::addColumn<QString>("copies");
        QTest::addColumn<QString>("shown"); // Size and Pages
        QTest::newRow("named paper") << "Letter"
                                     << "8.5"
                                     << "3"
                                     << "2"
                                     << "Letter|6";
        QTest::newRow("custom paper") << "Custom"
                                      << "8.5"
                                      << "3"
                                      << "2"
                                      << "8.50x11.00 in|6";
        QTest::newRow("nameless paper") << ""
                                        << "8.5"
                                        << "3"
                                        << "2"
                                        << "8.50x11.00 in|6";
        QTest::newRow("name too short") << "A4"
                                        << "8.27"
                                        << "3"
                                        << "2"
                                        << "8.27x11.00 in|6";
        QTest::newRow("spooling") << ""
                                  << "0"
                                  << "0"
                                  << "2"
                                  << "Spooling|Spooling";
        QTest::newRow("copies unknown") << "Letter"
                                        << "8.5"
                                        << "3"
                                        << "0"
                                        << "Letter|3";
    }
    void listColumns() {
        QFETCH(QString, paper);
        QFETCH(QString, width);
        QFETCH(QString, pages);
        QFETCH(QString, copies);
        QFETCH(QString, shown);
        JobFields f = Plotter();
        f.paper = paper, f.width = width, f.pages = pages, f.copies = copies;
        f.printer.clear();
        Job(u"A.prt"_s, f);
        FPrintJobs w;
        Open(w);
        const QString when =
            QLocale().toString(QDateTime(QDate(2004, 3, 5), QTime(14, 7, 9)), QLocale::ShortFormat);
        QCOMPARE(Rows(w), QStringList{u"*Plan.dwg|"_s + shown + u"|"_s + when + u"|"_s});
    }

    void noPendingJobShowsNoWindow() {
        JobFields silent = Plotter();
        silent.driver = u"Generic Printer"_s; // the Default group: stored at once
        Job(u"S.prt"_s, silent);
        FPrintJobs w;
        w.DoPrintJobs();
        QVERIFY(!w.isVisible());
        QVERIFY(File(u"S.dat"_s).startsWith(u"QorvexMaster,2,42,"_s));
    }

    void loadStep_data() {
        QTest::addColumn<QString>("edit"); // GENERAL key=value
        QTest::addColumn<QString>("pauseGroups");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("save");
        QTest::addColumn<int>("helpLeft"); // twips
        QTest::newRow("design") << ""
                                << ""
                                << "QorvLog"
                                << "&Save" << 2640;
        QTest::newRow("no cancel") << "AllowCancel=False"
                                   << ""
                                   << "QorvLog"
                                   << "&Save" << 1320;
        QTest::newRow("simulated, holding") << "SIMMonitor=True"
                                            << "Plotter"
                                            << "*SIM* QorvLog"
                                            << "Print/&Save" << 2640;
    }
    void loadStep() {
        QFETCH(QString, edit);
        QFETCH(QString, pauseGroups);
        QFETCH(int, helpLeft);
        if (!edit.isEmpty())
            Configure(u"GENERAL"_s, edit.section(u'=', 0, 0), edit.section(u'=', 1));
        gEnv.m_sPauseGroups = pauseGroups;
        Job(u"A.prt"_s, Plotter());
        FPrintJobs w;
        Open(w);
        QTEST(w.windowTitle(), "caption");
        QTEST(Button(w, "cmdSave")->text(), "save");
        QCOMPARE(Button(w, "cmdCancel")->isVisible(), helpLeft == 2640);
        QCOMPARE(Button(w, "cmdHelp")->x(), Twips::ToPixelsX(helpLeft));
        QCOMPARE(Button(w, "cmdAbout")->x(), Twips::ToPixelsX(helpLeft + 1320));
        QCOMPARE(w.findChild<QWidget*>(u"picButtons"_s)->width(),
                 Twips::ToPixelsX(helpLeft + 1320 + 1215));
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
            Job(QString::fromLatin1(id) + u".prt"_s, f);
        }
        FPrintJobs w;
        Open(w);
        QHeaderView* header = List(w)->header();
        QVERIFY(!header->isSortIndicatorShown());
        ClickHeader(w, 2);
        QCOMPARE(Rows(w, 2), (QStringList{u"10"_s, u"6"_s, u"9"_s})); // as text
        QCOMPARE(header->sortIndicatorSection(), 2);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        QVERIFY(header->isSortIndicatorShown());
        ClickHeader(w, 2);
        QCOMPARE(Rows(w, 2), (QStringList{u"9"_s, u"6"_s, u"10"_s}));
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        ClickHeader(w, 0);
        QCOMPARE(Rows(w, 0), (QStringList{u"Alpha"_s, u"beta"_s, u"Gamma"_s})); // case ignored
        QCOMPARE(header->sortIndicatorSection(), 0);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
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
        // Jobs of one group: no message, the rows stay as they are.
        ClickRow(w, u"P2"_s, Qt::ControlModifier);
        QCOMPARE(Rows(w, 0).size(), 3);
        QCOMPARE(Text(w, 2), u"12"_s);
        // Rows reloaded for another job of the group keep what was typed.
        ClickRow(w, u"P2"_s);
        QCOMPARE(Text(w, 2), u"12"_s);
        QVERIFY(rec->Messages().isEmpty());
        // Another group: one message; the first selected row's group stays selected.
        ClickRow(w, u"L1"_s, Qt::ControlModifier);
        QCOMPARE(rec->Joined(), u"All selected print jobs must be for the same printer group."_s);
        QCOMPARE(Rows(w).filter(u"*"_s).size(), 1);
        QVERIFY(Rows(w).first().startsWith(u"*L1|"_s));
        QCOMPARE(Labels(w), (QStringList{u"Project"_s, u"Account"_s}));
    }

    void saveChecks_data() {
        QTest::addColumn<QString>("edit"); // section/key=value of the configuration
        QTest::addColumn<QString>("client");
        QTest::addColumn<QString>("matter"); // "-": the row is never entered
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("stored"); // the Client value stored
        QTest::newRow("member, case ignored") << ""
                                              << "acme ltd"
                                              << "4711"
                                              << ""
                                              << "acme ltd";
        QTest::newRow("single space") << ""
                                      << " "
                                      << "0042"
                                      << ""
                                      << "";
        QTest::newRow("blank") << ""
                               << ""
                               << "4711"
                               << "'Client' cannot be blank."
                               << "";
        QTest::newRow("not a member") << ""
                                      << "Acme"
                                      << "4711"
                                      << "'Client' is invalid."
                                      << "";
        QTest::newRow("pattern before blank") << ""
                                              << "Acme Ltd"
                                              << ""
                                              << "'Matter'does not match pattern:####"
                                              << "";
        QTest::newRow("pattern letter") << ""
                                        << "Acme Ltd"
                                        << "47a1"
                                        << "'Matter'does not match pattern:####"
                                        << "";
        QTest::newRow("pattern too long") << ""
                                          << "Acme Ltd"
                                          << "12345"
                                          << "'Matter'does not match pattern:####"
                                          << "";
        QTest::newRow("pattern any, any case") << "CATEGORYPG12/Pattern=aNy"
                                               << "Acme Ltd"
                                               << "x"
                                               << ""
                                               << "Acme Ltd";
        QTest::newRow("not acknowledged")
            << "CATEGORYPG12/AckDefaultValues=True"
            << "Acme Ltd"
            << "-"
            << "'Matter' must be acknowledged.||You can acknowledge it by clicking on the value "
               "to the right of 'Matter'."
            << "";
        QTest::newRow("free text when blanks allowed") << "CATEGORYPG11/AllowBlankValues=True"
                                                       << "Zeta"
                                                       << "4711"
                                                       << ""
                                                       << "Zeta";
    }
    void saveChecks() {
        QFETCH(QString, edit);
        QFETCH(QString, client);
        QFETCH(QString, matter);
        QFETCH(QString, message);
        QFETCH(QString, stored);
        if (!edit.isEmpty())
            Configure(edit.section(u'/', 0, 0), edit.section(u'/', 1).section(u'=', 0, 0),
                      edit.section(u'=', 1));
        Job(u"A.prt"_s, Plotter());
        FPrintJobs w;
        Open(w);
        Type(w, u"Client"_s, client);
        if (matter != u"-"_s) Type(w, u"Matter"_s, matter);
        QTest::mouseClick(Button(w, "cmdSave"), Qt::LeftButton);
        QCOMPARE(rec->Joined(), message);
        QCOMPARE(w.isEnabled(), !message.isEmpty()); // out of use until the tick
        Tick(w);
        QCOMPARE(w.IsUnloaded(), message.isEmpty());
        if (!message.isEmpty()) {
            QVERIFY(File(u"A.dat"_s).isEmpty());
            return;
        }
        Details details = kPlotterSaved;
        details[0].second = stored;
        details[1].second = matter == u"-"_s ? QString() : matter;
        QCOMPARE(File(u"A.dat"_s), Dat(Plotter(), details));
        QCOMPARE(File(u"A.shd"_s), u"10.0.0.7\r\n"_s);
        QCOMPARE(Pass(u"42"_s), QByteArray("resume\r\n"));
        QCOMPARE(GetSettingText(u"LastUsed"_s, u"Client"_s, kMissing), stored);
    }

    void maskedRowAndSkippedCategory_data() {
        QTest::addColumn<QString>("project");
        QTest::addColumn<QString>("message");
        QTest::newRow("member in other case") << "p200"
                                              << "";
        QTest::newRow("not a member") << "P999"
                                      << "'Project' is invalid.";
    }
    void maskedRowAndSkippedCategory() {
        QFETCH(QString, project);
        QFETCH(QString, message);
        Job(u"L.prt"_s, Laser());
        FPrintJobs w;
        Open(w);
        // "Pages" needs no confirmation: no row, and the next row keeps its own category.
        QCOMPARE(Labels(w), (QStringList{u"Project"_s, u"Account"_s}));
        auto* masked = qobject_cast<QLineEdit*>(Field(w, u"Project"_s));
        QVERIFY(masked && masked->echoMode() == QLineEdit::Password);
        Type(w, u"Project"_s, project);
        QCOMPARE(masked->displayText(), QString(project.size(), u'*'));
        QTest::keyClick(masked, Qt::Key_Return); // on to the next row
        QCOMPARE(QApplication::focusWidget(), Field(w, u"Account"_s));
        QCOMPARE(Text(w, 1), project);
        Save(w);
        QCOMPARE(rec->Joined(), message);
        if (message.isEmpty())
            QCOMPARE(File(u"L.dat"_s), Dat(Laser(), {{u"Pages"_s, u"6"_s},
                                                     {u"Project"_s, project},
                                                     {u"Account"_s, QString()}}));
        QVERIFY(File(u"L.shd"_s).isEmpty() && Pass(u"43"_s).isEmpty()); // no redirect, no hold
    }

    void qualityChoosesCost_data() {
        QTest::addColumn<QString>("quality");
        QTest::addColumn<QString>("cost");
        QTest::newRow("match") << "Final"
                               << "Final | 0.50 per page";
        QTest::newRow("case ignored") << "final"
                                      << "Final | 0.50 per page";
        QTest::newRow("no match: first entry") << "Proof"
                                               << "Draft | 0.10 per page";
    }
    void qualityChoosesCost() {
        QFETCH(QString, quality);
        Job(u"A.prt"_s, Plotter());
        FPrintJobs w;
        Open(w);
        QCOMPARE(Labels(w).last(), u"(hidden) Cost"_s);
        Type(w, u"Quality"_s, u"Final"_s);
        Type(w, u"Quality"_s, quality);
        QTEST(Text(w, 4), "cost");
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
        QCOMPARE(offered(), (QStringList{u"Acme Ltd"_s, u"Smith ; Jones"_s}));
        QCOMPARE(popup->currentIndex().row(), 0);
        keys(Qt::Key_Down);
        QTest::keyClicks(QApplication::focusWidget(), u"h"_s); // "Th" narrows to one
        QCOMPARE(offered(), QStringList{u"Smith ; Jones"_s});
        keys(Qt::Key_Return);
        QVERIFY(!popup->isVisible());
        QCOMPARE(Text(w, 1), u"Smith ; Jones"_s);
        QCOMPARE(QApplication::focusWidget(), Field(w, u"Matter"_s));
        QTest::keyClicks(QApplication::focusWidget(), u"4711"_s);
        keys(Qt::Key_Tab);
        QTest::keyClicks(QApplication::focusWidget(), u"FIN"_s);
        keys(Qt::Key_Enter);
        QCOMPARE(QApplication::focusWidget(), Button(w, "cmdSave")); // the Cost row is hidden
        QTest::keyClick(&w, Qt::Key_S, Qt::AltModifier);
        QTRY_VERIFY(!w.isEnabled() || w.IsUnloaded()); // the window's own timer may save first
        Tick(w);
        QCOMPARE(File(u"A.dat"_s), Dat(Plotter(), {{u"Client"_s, u"Smith ; Jones"_s},
                                                   {u"Matter"_s, u"4711"_s},
                                                   {u"Quality"_s, u"Final"_s},
                                                   {u"Cost"_s, u"Final | 0.50 per page"_s}}));
    }

    void savingTwoJobsAtOnce() {
        Job(u"A.prt"_s, Plotter(u"42"_s));
        Job(u"B.prt"_s, Plotter(u"44"_s));
        Job(u"C.prt"_s, Plotter(u"45"_s, u"Left.dwg"_s));
        FPrintJobs w;
        Open(w);
        for (QTreeWidgetItem* item : List(w)->findItems(u"Plan.dwg"_s, Qt::MatchExactly))
            item->setSelected(true);
        QCOMPARE(Text(w, 1), QString()); // nothing used before
        Type(w, u"Client"_s, u"Acme Ltd"_s);
        Type(w, u"Matter"_s, u"4711"_s);
        Save(w);
        for (const QString& id : {u"42"_s, u"44"_s}) {
            const QString base = id == u"42"_s ? u"A"_s : u"B"_s;
            QCOMPARE(File(base + u".dat"_s), Dat(Plotter(id), kPlotterSaved));
            QCOMPARE(File(base + u".shd"_s), u"10.0.0.7\r\n"_s);
            QCOMPARE(Pass(id), QByteArray("resume\r\n"));
        }
        // The job left over is selected, its client the one used last, nothing else carried.
        QCOMPARE(Rows(w, 0), QStringList{u"Left.dwg"_s});
        QCOMPARE(Text(w, 1), u"Acme Ltd"_s);
        QCOMPARE(Text(w, 2), QString());
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
        QCOMPARE(File(u"A.dat"_s), retryHelps ? Dat(Plotter(), kPlotterSaved) : QString());
        QCOMPARE(File(u"A.shd"_s), retryHelps ? u"10.0.0.7\r\n"_s : QString());
        QCOMPARE(Pass(u"42"_s), retryHelps ? QByteArray("resume\r\n") : QByteArray());
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
        QTRY_VERIFY(QFile::exists(box->Path(u"prog/start.sh.ran"_s)));
        QTRY_VERIFY(QFile::exists(box->Path(u"prog/end.sh.ran"_s)));
    }

    void offlineJob_data() {
        QTest::addColumn<QString>("size");
        QTest::addColumn<QString>("cost");
        QTest::addColumn<QString>("paper"); // name|width|height|media
        QTest::addColumn<QString>("stored");
        const QString sqft = u"Color-Bond= 0.25 per square foot | ($)Cost per square foot"_s;
        const QString letter = u"8.50 x 11.00 in|8.500000|11.000000|"_s;
        QTest::newRow("priced by area") << "8.50 x 11.00 in" << sqft << letter + "Bond"
                                        << "0.65";
        QTest::newRow("size without unit")
            << "11 x 17" << sqft << "11 x 17|11.000000|17.000000|Bond"
            << "1.30";
        QTest::newRow("size without x") << "A4" << sqft << "A4|24.000000|36.000000|Bond"
                                        << "6.00";
        QTest::newRow("no charging label")
            << "8.50 x 11.00 in"
            << "Color-Bond= 0.25 per square foot | Total Job Cost" << letter + "Bond"
            << "Color-Bond= 0.25 per square foot | Total Job Cost";
        QTest::newRow("after the semicolon") << "8.50 x 11.00 in"
                                             << "Color;1.25" << letter << "1.25";
    }
    void offlineJob() {
        QFETCH(QString, size);
        QFETCH(QString, cost);
        QFETCH(QString, paper);
        QFETCH(QString, stored);
        Configure(u"CATEGORYPG36"_s, u"PreDefinedValue1"_s, u"0, "_s + cost);
        JobFields f = Plotter(u"42"_s, u"Offline Job"_s);
        f.driver = u"Offline Station"_s;
        f.width = u"24"_s;
        f.height = u"36"_s;
        Job(u"O.prt"_s, f);
        FPrintJobs w;
        Open(w);
        const Details entered = {{u"Sheet Size"_s, size},
                                 {u"Total Sheets"_s, u"4"_s},
                                 {u"Media"_s, u"Vellum"_s},
                                 {u"Device"_s, u"Plotter 2"_s},
                                 {u"Sheet Color"_s, u"Color"_s}};
        for (const auto& [category, text] : entered) Type(w, category, text);
        Save(w);
        const QStringList p = paper.split(u'|');
        QCOMPARE(File(u"O.dat"_s),
                 u"QorvexMaster,2,42,\"Plotter 2\",\"HOSTA\",\"jsmith\",\"Offline Job\",\"03/05/"
                 u"2004 2:07:09 PM\",\"\\\\SRV\\Plotter\",123456,4,0,1,\"%1\",%2,%3,4,\"Offline "
                 u"Job\",\"Color\",0.000000,\"Offline Station\",\"%4\",\"Portrait\"\r\n"_s.arg(
                     p[0], p[1], p[2], p[3]) +
                     Dat(f, entered + Details{{u"Cost"_s, stored}}).section(u"\r\n"_s, 1));
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
        QCOMPARE(Rows(w, 0), QStringList{u"Plan.dwg"_s});
        Tick(w, 1);
        QCOMPARE(Rows(w, 0), (QStringList{u"Plan.dwg"_s, u"Later.dwg"_s}));
        QVERIFY(Rows(w).first().startsWith(u"*"_s) && !Rows(w).last().startsWith(u"*"_s));
        QCOMPARE(Text(w, 2), u"12"_s);
        QCOMPARE(QApplication::focusWidget(), focus);
    }

    void listFileAndPathEntries() {
        box->Write(u"lists/accounts.txt"_s, QByteArray("  Beta\0junk\r\n\r\nAlpha  \r\n", 24));
        QByteArray ini = TestData(u"config_dialog.ini"_s);
        for (auto [key, value] :
             {std::pair{u"NumPreDefinedValues"_s, u"3"_s},
              {u"PreDefinedValue1"_s, u"0, "_s + box->Path(u"lists/accounts.txt"_s)},
              {u"PreDefinedValue2"_s, u"41"_s},
              {u"PreDefinedValue3"_s, u"0, "_s + box->Path(u"lists/missing.txt"_s)}})
            ini = IniEdit(ini, u"CATEGORYPG23"_s, key, value);
        gConfigOptions = std::make_shared<CConfigOptions>();
        QVERIFY(gConfigOptions->ReadIniFile(box->Write(u"Config.ini"_s, ini)));
        gEnv.m_bObtainPath = true;
        Job(u"L.prt"_s, Laser());
        FPrintJobs w;
        Open(w);
        auto* accounts = qobject_cast<QComboBox*>(Field(w, u"Account"_s));
        QStringList items;
        for (int i = 0; i < accounts->count(); ++i) items << accounts->itemText(i);
        QCOMPARE(items, (QStringList{u"Beta"_s, u"Alpha"_s, u"C:\\Clients\\Acme 4711\\Plan.dwg"_s,
                                     u" "_s}));
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
