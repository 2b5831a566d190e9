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
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {
const QString kUser = u"data/users/jsmith/"_s;

JobFields Plotter(const QString& id = u"42"_s) {
    JobFields f;
    f.id = id;
    return f;
}
JobFields Laser(const QString& id = u"43"_s) {
    JobFields f;
    f.id = id;
    f.queue = u"\\\\SRV\\Office"_s;
    f.printer = u"Office A"_s;
    f.document = u"Letter.docx"_s;
    f.driver = u"Office Laser 5"_s;
    return f;
}

// Takes the URLs the desktop would open.
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
    qint64 now = 1000000;

    void Configure(const QByteArray& ini = TestData(u"config_dialog.ini"_s)) {
        gConfigOptions = std::make_shared<CConfigOptions>();
        QVERIFY(gConfigOptions->ReadIniFile(box->Write(u"Config.ini"_s, ini)));
    }
    QString Job(const QString& name, const JobFields& fields) {
        return box->WriteLines(kUser + name, fields.Lines());
    }
    QByteArray File(const QString& name) const { return box->Read(kUser + name); }
    bool Has(const QString& name) const { return QFile::exists(box->Path(kUser + name)); }

    static QTreeWidget* List(FPrintJobs& w) { return w.findChild<QTreeWidget*>(u"lvwPrintJobs"_s); }
    static QPushButton* Button(FPrintJobs& w, const QString& name) {
        return w.findChild<QPushButton*>(name);
    }
    // The visible entry field of a category.
    static QWidget* Field(FPrintJobs& w, const QString& category) {
        for (QWidget* f : w.findChildren<QWidget*>())
            if (f->accessibleName() == category && !f->isHidden()) return f;
        return nullptr;
    }
    static QComboBox* Combo(FPrintJobs& w, int d) {
        return w.findChild<QComboBox*>(u"cboCategoryDropdownCombo"_s + QString::number(d));
    }
    static QStringList Labels(FPrintJobs& w) {
        QStringList out;
        for (int d = 1;; ++d) {
            auto* l = w.findChild<QLabel*>(u"lblCategory"_s + QString::number(d));
            if (!l) return out;
            out << (l->isHidden() ? u"(hidden) "_s : QString()) + l->text();
        }
    }
    static QStringList Items(QComboBox* c) {
        QStringList out;
        for (int i = 0; i < c->count(); ++i) out << c->itemText(i);
        return out;
    }
    static QStringList Rows(FPrintJobs& w) {
        QStringList out;
        QTreeWidget* list = List(w);
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            QStringList cols;
            for (int c = 0; c < list->columnCount(); ++c) cols << list->topLevelItem(i)->text(c);
            out << cols.join(u'|');
        }
        return out;
    }
    static QStringList Selected(FPrintJobs& w) {
        QStringList out;
        QTreeWidget* list = List(w);
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            if (list->topLevelItem(i)->isSelected()) out << list->topLevelItem(i)->text(0);
        return out;
    }
    bool Open(FPrintJobs& w) {
        if (!w.OpenPrintJobs()) return false;
        return QTest::qWaitForWindowActive(&w);
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
    QString Detail(const QString& name, const QString& value) {
        return u"QorvexDetail,2,\""_s + name + u"\",\""_s + value + u"\"\r\n"_s;
    }
    // The master line of a job file written from fields (ObtainPath off: the document name
    // stands for the path).
    static QString Master(const JobFields& f, const QString& paper = u"Letter"_s) {
        return u"QorvexMaster,2,%1,\"%2\",\"HOSTA\",\"jsmith\",\"%3\",\"03/05/2004 2:07:09 PM\",\"%4\",123456,3,0,2,\"%5\",8.500000,11.000000,6,\"%3\",\"Color\",0.000000,\"%6\",\"Bond\",\"Portrait\"\r\n"_s
            .arg(f.id, f.printer, f.document, f.queue, paper, f.driver);
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
        QDir().mkpath(gEnv.m_sUserPath);
        QDir().mkpath(box->Path(u"data/Machines/SRV"_s));
        QDir().mkpath(box->Path(u"prog"_s));
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
        QTest::addColumn<QString>("size");
        QTest::addColumn<QString>("total");
        QTest::newRow("named paper") << "Letter"
                                     << "8.5"
                                     << "3"
                                     << "2"
                                     << "Letter"
                                     << "6";
        QTest::newRow("custom paper") << "Custom"
                                      << "8.5"
                                      << "3"
                                      << "2"
                                      << "8.50x11.00 in"
                                      << "6";
        QTest::newRow("nameless paper") << ""
                                        << "8.5"
                                        << "3"
                                        << "2"
                                        << "8.50x11.00 in"
                                        << "6";
        QTest::newRow("name too short") << "A4"
                                        << "8.27"
                                        << "3"
                                        << "2"
                                        << "8.27x11.00 in"
                                        << "6";
        QTest::newRow("spooling") << ""
                                  << "0"
                                  << "0"
                                  << "2"
                                  << "Spooling"
                                  << "Spooling";
        QTest::newRow("copies unknown") << "Letter"
                                        << "8.5"
                                        << "3"
                                        << "0"
                                        << "Letter"
                                        << "3";
    }
    void listColumns() {
        QFETCH(QString, paper);
        QFETCH(QString, width);
        QFETCH(QString, pages);
        QFETCH(QString, copies);
        QFETCH(QString, size);
        QFETCH(QString, total);
        JobFields f = Plotter();
        f.paper = paper;
        f.width = width;
        f.pages = pages;
        f.copies = copies;
        f.printer.clear();
        Job(u"A.prt"_s, f);
        FPrintJobs w;
        QVERIFY(Open(w));
        const QString when =
            QLocale().toString(QDateTime(QDate(2004, 3, 5), QTime(14, 7, 9)), QLocale::ShortFormat);
        QCOMPARE(Rows(w), QStringList{u"Plan.dwg|%1|%2|%3|"_s.arg(size, total, when)});
    }

    void noPendingJobShowsNoWindow() {
        JobFields silent = Plotter();
        silent.driver = u"Generic Printer"_s; // the Default group, logged silently
        Job(u"S.prt"_s, silent);
        FPrintJobs w;
        w.DoPrintJobs();
        QVERIFY(!w.isVisible());
        QVERIFY(File(u"S.dat"_s).startsWith("QorvexMaster,2,42,"));
        QVERIFY(rec->Messages().isEmpty());
    }

    void loadStep_data() {
        QTest::addColumn<bool>("allowCancel");
        QTest::addColumn<bool>("sim");
        QTest::addColumn<QString>("pauseGroups");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("save");
        QTest::addColumn<int>("helpLeft"); // twips
        QTest::newRow("design") << true << false << ""
                                << "QorvLog"
                                << "&Save" << 2640;
        QTest::newRow("no cancel") << false << false << ""
                                   << "QorvLog"
                                   << "&Save" << 1320;
        QTest::newRow("simulated, holding") << true << true << "Plotter"
                                            << "*SIM* QorvLog"
                                            << "Print/&Save" << 2640;
    }
    void loadStep() {
        QFETCH(bool, allowCancel);
        QFETCH(bool, sim);
        QFETCH(QString, pauseGroups);
        QFETCH(QString, caption);
        QFETCH(QString, save);
        QFETCH(int, helpLeft);
        Configure(IniEdit(IniEdit(TestData(u"config_dialog.ini"_s), u"GENERAL"_s, u"AllowCancel"_s,
                                  allowCancel ? u"True"_s : u"False"_s),
                          u"GENERAL"_s, u"SIMMonitor"_s, sim ? u"True"_s : u"False"_s));
        gEnv.m_sPauseGroups = pauseGroups;
        Job(u"A.prt"_s, Plotter());
        FPrintJobs w;
        QVERIFY(Open(w));
        QCOMPARE(w.windowTitle(), caption);
        QCOMPARE(Button(w, u"cmdSave"_s)->text(), save);
        QCOMPARE(Button(w, u"cmdCancel"_s)->isVisible(), allowCancel);
        QCOMPARE(Button(w, u"cmdHelp"_s)->x(), Twips::ToPixelsX(helpLeft));
        QCOMPARE(Button(w, u"cmdAbout"_s)->x(), Twips::ToPixelsX(helpLeft + 1320));
        QCOMPARE(w.findChild<QWidget*>(u"picButtons"_s)->width(),
                 Twips::ToPixelsX(helpLeft + 1320 + 1215));
        // No close button, and the window manager's close is refused.
        QVERIFY(!(w.windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(!w.close());
        QVERIFY(w.isVisible() && !w.IsUnloaded());
    }

    void twipsFollowTheScreen() {
        const double dpi = QGuiApplication::primaryScreen()->logicalDotsPerInchX();
        QCOMPARE(Twips::PerPixelX(), 1440.0 / dpi);
        QCOMPARE(Twips::ToPixelsX(1440), qRound(dpi));
        QCOMPARE(Twips::FromPixelsX(qRound(dpi)), 1440.0 * qRound(dpi) / dpi);
    }

    void sortFlipsByShownText() {
        for (auto [name, document, pages] :
             {std::tuple{"51", "beta", "10"}, {"52", "Alpha", "6"}, {"53", "Gamma", "9"}}) {
            JobFields f = Plotter(QString::fromLatin1(name));
            f.document = QString::fromLatin1(document);
            f.pages = QString::fromLatin1(pages);
            f.copies = u"1"_s;
            Job(QString::fromLatin1(name) + u".prt"_s, f);
        }
        FPrintJobs w;
        QVERIFY(Open(w));
        QHeaderView* header = List(w)->header();
        QVERIFY(!header->isSortIndicatorShown());
        auto click = [&](int section) {
            QTest::mouseClick(
                header->viewport(), Qt::LeftButton, {},
                QPoint(header->sectionViewportPosition(section) + 5, header->height() / 2));
        };
        auto column = [&](int c) {
            QStringList out;
            for (int i = 0; i < List(w)->topLevelItemCount(); ++i)
                out << List(w)->topLevelItem(i)->text(c);
            return out;
        };
        click(2);
        QCOMPARE(column(2), (QStringList{u"10"_s, u"6"_s, u"9"_s})); // text, not number
        QCOMPARE(header->sortIndicatorSection(), 2);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        QVERIFY(header->isSortIndicatorShown());
        click(2);
        QCOMPARE(column(2), (QStringList{u"9"_s, u"6"_s, u"10"_s}));
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        click(0);
        QCOMPARE(column(0), (QStringList{u"Alpha"_s, u"beta"_s, u"Gamma"_s})); // case ignored
        QCOMPARE(header->sortIndicatorSection(), 0);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    }

    void selectionAcrossGroups() {
        JobFields p1 = Plotter(u"42"_s), p2 = Plotter(u"44"_s), l1 = Laser();
        p1.document = u"P1"_s;
        p2.document = u"P2"_s;
        l1.document = u"L1"_s;
        Job(u"A.prt"_s, p1);
        Job(u"B.prt"_s, p2);
        Job(u"C.prt"_s, l1);
        FPrintJobs w;
        QVERIFY(Open(w));
        QTreeWidget* list = List(w);
        QHeaderView* header = list->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
        auto click = [&](const QString& document, Qt::KeyboardModifiers mods) {
            const auto items = list->findItems(document, Qt::MatchExactly, 0);
            QTest::mouseClick(list->viewport(), Qt::LeftButton, mods,
                              list->visualItemRect(items.value(0)).center());
        };
        click(u"P1"_s, {});
        Type(w, u"Matter"_s, u"12"_s);
        // Jobs of one group: no message, the rows stay as they are.
        click(u"P2"_s, Qt::ControlModifier);
        QCOMPARE(Selected(w), (QStringList{u"P1"_s, u"P2"_s}));
        QVERIFY(rec->Messages().isEmpty());
        QCOMPARE(Combo(w, 2)->currentText(), u"12"_s);
        // Rows reloaded for another job of the group keep what was typed.
        click(u"P2"_s, {});
        QCOMPARE(Selected(w), QStringList{u"P2"_s});
        QCOMPARE(Combo(w, 2)->currentText(), u"12"_s);
        // Another group: one message, the first selected row's group stays selected.
        click(u"L1"_s, Qt::ControlModifier);
        QCOMPARE(rec->Joined(), u"All selected print jobs must be for the same printer group."_s);
        QCOMPARE(Selected(w), QStringList{u"L1"_s});
        QCOMPARE(Labels(w), (QStringList{u"Project"_s, u"Account"_s}));
        QCOMPARE(rec->Messages().size(), 1);
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
        QByteArray ini = TestData(u"config_dialog.ini"_s);
        if (!edit.isEmpty()) {
            const QStringList parts = edit.split(QRegularExpression(u"[/=]"_s));
            ini = IniEdit(ini, parts[0], parts[1], parts[2]);
        }
        Configure(ini);
        Job(u"A.prt"_s, Plotter());
        FPrintJobs w;
        QVERIFY(Open(w));
        Type(w, u"Client"_s, client);
        if (matter != u"-"_s) Type(w, u"Matter"_s, matter);
        QTest::mouseClick(Button(w, u"cmdSave"_s), Qt::LeftButton);
        QCOMPARE(rec->Joined(), message);
        QCOMPARE(w.isEnabled(), !message.isEmpty());
        Tick(w);
        if (!message.isEmpty()) {
            QVERIFY(!Has(u"A.dat"_s));
            QVERIFY(!w.IsUnloaded());
            return;
        }
        QCOMPARE(QString::fromUtf8(File(u"A.dat"_s)),
                 Master(Plotter()) + Detail(u"Client"_s, stored) +
                     Detail(u"Matter"_s, matter == u"-"_s ? QString() : matter) +
                     Detail(u"Quality"_s, u"Draft"_s) +
                     Detail(u"Cost"_s, u"Draft | 0.10 per page"_s));
        QCOMPARE(File(u"A.shd"_s), QByteArray("10.0.0.7\r\n"));
        QCOMPARE(box->Read(u"data/Machines/SRV/00042.pas"_s), QByteArray("resume\r\n"));
        QCOMPARE(GetSettingText(u"LastUsed"_s, u"Client"_s, kMissing), stored);
        QVERIFY(w.IsUnloaded() && !w.isVisible());
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
        QVERIFY(Open(w));
        // "Pages" needs no confirmation: no row, and the next row keeps its own category.
        QCOMPARE(Labels(w), (QStringList{u"Project"_s, u"Account"_s}));
        auto* masked = qobject_cast<QLineEdit*>(Field(w, u"Project"_s));
        QVERIFY(masked && masked->echoMode() == QLineEdit::Password);
        Type(w, u"Project"_s, project);
        QCOMPARE(masked->displayText(), QString(project.size(), u'*'));
        QTest::keyClick(masked, Qt::Key_Return); // leaves the field for the next row
        QCOMPARE(QApplication::focusWidget(), Field(w, u"Account"_s));
        QCOMPARE(Combo(w, 1)->currentText(), project);
        QTest::mouseClick(Button(w, u"cmdSave"_s), Qt::LeftButton);
        QCOMPARE(rec->Joined(), message);
        Tick(w);
        if (!message.isEmpty()) return;
        JobFields l = Laser();
        QCOMPARE(QString::fromUtf8(File(u"L.dat"_s)), Master(l) + Detail(u"Pages"_s, u"6"_s) +
                                                          Detail(u"Project"_s, project) +
                                                          Detail(u"Account"_s, QString()));
        QVERIFY(!Has(u"L.shd"_s));                                            // no redirect
        QVERIFY(!QFile::exists(box->Path(u"data/Machines/SRV/00043.pas"_s))); // not held
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
        QFETCH(QString, cost);
        Job(u"A.prt"_s, Plotter());
        FPrintJobs w;
        QVERIFY(Open(w));
        QCOMPARE(Labels(w).last(), u"(hidden) Cost"_s);
        Type(w, u"Quality"_s, u"Final"_s);
        Type(w, u"Quality"_s, quality);
        QCOMPARE(Combo(w, 4)->currentText(), cost);
    }

    void keyboardOnly() {
        Job(u"A.prt"_s, Plotter());
        FPrintJobs w;
        QVERIFY(Open(w));
        QCOMPARE(QApplication::focusWidget(), Field(w, u"Client"_s));
        auto* popup = w.findChild<QListView*>(u"lstTypeAhead"_s);
        auto shown = [&] {
            QStringList out;
            for (int r = 0; r < popup->model()->rowCount(); ++r)
                out << popup->model()->index(r, 0).data().toString();
            return out;
        };
        QTest::keyClicks(QApplication::focusWidget(), u"T"_s);
        QVERIFY(popup->isVisible());
        QCOMPARE(shown(), (QStringList{u"Acme Ltd"_s, u"Smith ; Jones"_s}));
        QCOMPARE(popup->currentIndex().row(), 0);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QTest::keyClicks(QApplication::focusWidget(), u"h"_s); // "th": narrows to one
        QCOMPARE(shown(), QStringList{u"Smith ; Jones"_s});
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(!popup->isVisible());
        QCOMPARE(Combo(w, 1)->currentText(), u"Smith ; Jones"_s);
        QCOMPARE(QApplication::focusWidget(), Field(w, u"Matter"_s));
        QTest::keyClicks(QApplication::focusWidget(), u"4711"_s);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClicks(QApplication::focusWidget(), u"FIN"_s);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
        QCOMPARE(QApplication::focusWidget(), Button(w, u"cmdSave"_s)); // the Cost row is hidden
        QTest::keyClick(&w, Qt::Key_S, Qt::AltModifier);
        QTRY_VERIFY(!w.isEnabled());
        Tick(w);
        QCOMPARE(QString::fromUtf8(File(u"A.dat"_s)),
                 Master(Plotter()) + Detail(u"Client"_s, u"Smith ; Jones"_s) +
                     Detail(u"Matter"_s, u"4711"_s) + Detail(u"Quality"_s, u"Final"_s) +
                     Detail(u"Cost"_s, u"Final | 0.50 per page"_s));
    }

    void savingTwoJobsAtOnce() {
        Job(u"A.prt"_s, Plotter(u"42"_s));
        Job(u"B.prt"_s, Plotter(u"44"_s));
        Job(u"C.prt"_s, Laser());
        FPrintJobs w;
        QVERIFY(Open(w));
        QTreeWidget* list = List(w);
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            list->topLevelItem(i)->setSelected(list->topLevelItem(i)->text(0) == u"Plan.dwg"_s);
        QVERIFY(rec->Messages().isEmpty());
        Type(w, u"Client"_s, u"Acme Ltd"_s);
        Type(w, u"Matter"_s, u"4711"_s);
        QTest::mouseClick(Button(w, u"cmdSave"_s), Qt::LeftButton);
        Tick(w);
        for (auto [name, id] : {std::pair{"A", "42"}, {"B", "44"}}) {
            const QString n = QString::fromLatin1(name);
            QCOMPARE(QString::fromUtf8(File(n + u".dat"_s)),
                     Master(Plotter(QString::fromLatin1(id))) + Detail(u"Client"_s, u"Acme Ltd"_s) +
                         Detail(u"Matter"_s, u"4711"_s) + Detail(u"Quality"_s, u"Draft"_s) +
                         Detail(u"Cost"_s, u"Draft | 0.10 per page"_s));
            QCOMPARE(File(n + u".shd"_s), QByteArray("10.0.0.7\r\n"));
        }
        QCOMPARE(box->Read(u"data/Machines/SRV/00044.pas"_s), QByteArray("resume\r\n"));
        QCOMPARE(GetSettingText(u"LastUsed"_s, u"Client"_s, kMissing), u"Acme Ltd"_s);
        // The laser job is left, selected, with its own rows.
        QCOMPARE(Rows(w).size(), 1);
        QCOMPARE(Selected(w), QStringList{u"Letter.docx"_s});
        QCOMPARE(Labels(w), (QStringList{u"Project"_s, u"Account"_s}));
        QVERIFY(w.isEnabled() && !w.IsUnloaded());
    }

    void remainingJobsTakeTheLastUsedValue() {
        Job(u"A.prt"_s, Plotter(u"42"_s));
        Job(u"B.prt"_s, Plotter(u"44"_s));
        FPrintJobs w;
        QVERIFY(Open(w));
        QCOMPARE(Combo(w, 1)->currentText(), QString()); // nothing used yet
        Type(w, u"Client"_s, u"Acme Ltd"_s);
        Type(w, u"Matter"_s, u"4711"_s);
        QTest::mouseClick(Button(w, u"cmdSave"_s), Qt::LeftButton);
        Tick(w);
        QCOMPARE(Rows(w).size(), 1);
        QCOMPARE(Combo(w, 1)->currentText(), u"Acme Ltd"_s);
        QCOMPARE(Combo(w, 2)->currentText(), QString()); // typed values do not carry over
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
        QVERIFY(Open(w));
        QDir().mkpath(box->Path(kUser + u"A.dat"_s)); // a folder where the data file goes
        Type(w, u"Client"_s, u"Acme Ltd"_s);
        Type(w, u"Matter"_s, u"4711"_s);
        QTest::mouseClick(Button(w, u"cmdSave"_s), Qt::LeftButton);
        rec->Script({Platform::MsgAnswer::Retry, Platform::MsgAnswer::Cancel});
        rec->OnEach([&](const Platform::Message& m) {
            QCOMPARE(m.buttons, Platform::MsgButtons::RetryCancel);
            Tick(w, 5000); // a tick while the message is open does nothing
            if (retryHelps) QDir().rmdir(box->Path(kUser + u"A.dat"_s));
        });
        Tick(w);
        const QString text = u"Unable to save print job data.|Choosing Cancel will cause data to "
                             u"be lost for selected print jobs."_s;
        if (retryHelps) {
            QCOMPARE(rec->Joined(), text);
            QVERIFY(File(u"A.dat"_s).startsWith("QorvexMaster,2,42,"));
            QCOMPARE(File(u"A.shd"_s), QByteArray("10.0.0.7\r\n"));
        } else {
            QCOMPARE(rec->Joined(), text + u"#"_s + text);
            QVERIFY(!Has(u"A.shd"_s));
            QVERIFY(!QFile::exists(box->Path(u"data/Machines/SRV/00042.pas"_s)));
        }
        QVERIFY(w.IsUnloaded()); // the job left the list either way
    }

    void cancel_data() {
        QTest::addColumn<bool>("deleteIfCanceled");
        QTest::addColumn<QByteArray>("pas");
        QTest::newRow("released") << false << QByteArray("resume\r\n");
        QTest::newRow("deleted") << true << QByteArray("delete\r\n");
    }
    void cancel() {
        QFETCH(bool, deleteIfCanceled);
        QFETCH(QByteArray, pas);
        gEnv.m_bDeleteIfCanceled = deleteIfCanceled;
        Job(u"A.prt"_s, Plotter());
        Job(u"C.prt"_s, Laser());
        box->WriteLines(kUser + u"A.shd"_s, {u"monitor line"_s});
        FPrintJobs w;
        QVERIFY(Open(w));
        List(w)->selectAll(); // both groups: one message, the first row's group stays
        QCOMPARE(Selected(w).size(), 1);
        QTest::mouseClick(Button(w, u"cmdCancel"_s), Qt::LeftButton);
        QVERIFY(!w.isEnabled());
        Tick(w);
        QTest::mouseClick(Button(w, u"cmdCancel"_s), Qt::LeftButton);
        Tick(w);
        QVERIFY(w.IsUnloaded());
        for (const char* name : {"A", "C"})
            QCOMPARE(File(QString::fromLatin1(name) + u".dat"_s), QByteArray("cancel\r\n"));
        QCOMPARE(File(u"A.shd"_s), QByteArray("monitor line\r\ncancel\r\n"));
        QCOMPARE(File(u"C.shd"_s), QByteArray("cancel\r\n"));
        QCOMPARE(box->Read(u"data/Machines/SRV/00042.pas"_s), pas);
        QVERIFY(!QFile::exists(box->Path(u"data/Machines/SRV/00043.pas"_s)));
        QCOMPARE(rec->Messages().size(), 1);
    }

    void offlineJob_data() {
        QTest::addColumn<QString>("size");
        QTest::addColumn<QString>("cost");
        QTest::addColumn<QString>("master"); // paper name, width, height, media
        QTest::addColumn<QString>("stored");
        const QString sqft = u"Color-Bond= 0.25 per square foot | ($)Cost per square foot"_s;
        QTest::newRow("priced by area")
            << "8.50 x 11.00 in" << sqft << "8.50 x 11.00 in|8.500000|11.000000|Bond"
            << "0.65";
        QTest::newRow("size without unit")
            << "11 x 17" << sqft << "11 x 17|11.000000|17.000000|Bond"
            << "1.30";
        QTest::newRow("size without x") << "A4" << sqft << "A4|24.000000|36.000000|Bond"
                                        << "6.00";
        QTest::newRow("no charging label") << "8.50 x 11.00 in"
                                           << "Color-Bond= 0.25 per square foot | Total Job Cost"
                                           << "8.50 x 11.00 in|8.500000|11.000000|Bond"
                                           << "Color-Bond= 0.25 per square foot | Total Job Cost";
        QTest::newRow("after the semicolon") << "8.50 x 11.00 in"
                                             << "Color;1.25"
                                             << "8.50 x 11.00 in|8.500000|11.000000|"
                                             << "1.25";
    }
    void offlineJob() {
        QFETCH(QString, size);
        QFETCH(QString, cost);
        QFETCH(QString, master);
        QFETCH(QString, stored);
        Configure(IniEdit(TestData(u"config_dialog.ini"_s), u"CATEGORYPG36"_s,
                          u"PreDefinedValue1"_s, u"0, "_s + cost));
        JobFields f = Plotter();
        f.document = u"Offline Job"_s;
        f.driver = u"Offline Station"_s;
        f.width = u"24"_s;
        f.height = u"36"_s;
        Job(u"O.prt"_s, f);
        FPrintJobs w;
        QVERIFY(Open(w));
        Type(w, u"Sheet Size"_s, size);
        Type(w, u"Total Sheets"_s, u"4"_s);
        Type(w, u"Media"_s, u"Vellum"_s);
        Type(w, u"Device"_s, u"Plotter 2"_s);
        Type(w, u"Sheet Color"_s, u"Color"_s);
        QTest::mouseClick(Button(w, u"cmdSave"_s), Qt::LeftButton);
        Tick(w);
        const QStringList m = master.split(u'|');
        QCOMPARE(
            QString::fromUtf8(File(u"O.dat"_s)),
            u"QorvexMaster,2,42,\"Plotter 2\",\"HOSTA\",\"jsmith\",\"Offline Job\",\"03/05/2004 2:07:09 PM\",\"\\\\SRV\\Plotter\",123456,4,0,1,\"%1\",%2,%3,4,\"Offline Job\",\"Color\",0.000000,\"Offline Station\",\"%4\",\"Portrait\"\r\n"_s
                    .arg(m[0], m[1], m[2], m[3]) +
                Detail(u"Sheet Size"_s, size) + Detail(u"Total Sheets"_s, u"4"_s) +
                Detail(u"Media"_s, u"Vellum"_s) + Detail(u"Device"_s, u"Plotter 2"_s) +
                Detail(u"Sheet Color"_s, u"Color"_s) + Detail(u"Cost"_s, stored));
    }

    void jobArrivesWhileOpen() {
        JobFields a = Plotter(u"42"_s), b = Plotter(u"44"_s);
        b.document = u"Later.dwg"_s;
        Job(u"A.prt"_s, a);
        FPrintJobs w;
        QVERIFY(Open(w));
        Tick(w); // the first tick scans at once
        Type(w, u"Matter"_s, u"12"_s);
        QWidget* focus = QApplication::focusWidget();
        Job(u"B.prt"_s, b);
        Tick(w, 1999);
        QCOMPARE(Rows(w).size(), 1);
        Tick(w, 1);
        QCOMPARE(Rows(w).size(), 2);
        QVERIFY(Rows(w).last().startsWith(u"Later.dwg|"_s));
        QCOMPARE(Selected(w), QStringList{u"Plan.dwg"_s});
        QCOMPARE(Combo(w, 2)->currentText(), u"12"_s);
        QCOMPARE(QApplication::focusWidget(), focus);
    }

    void doPrintJobsReturnsWhenTheLastJobIsGone() {
        for (const char* s : {"prog/start.sh", "prog/end.sh"})
            box->Write(QString::fromLatin1(s), "#!/bin/sh\ntouch \"$0.ran\"\n");
        for (const char* s : {"prog/start.sh", "prog/end.sh"})
            QFile::setPermissions(box->Path(QString::fromLatin1(s)),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        Job(u"A.prt"_s, Plotter());
        FPrintJobs w;
        QTimer::singleShot(0, &w, [&] { Button(w, u"cmdCancel"_s)->click(); });
        w.DoPrintJobs(); // the window's own timer runs the cancel and unloads it
        QVERIFY(w.IsUnloaded() && !w.isVisible());
        QCOMPARE(File(u"A.dat"_s), QByteArray("cancel\r\n"));
        QTRY_VERIFY(QFile::exists(box->Path(u"prog/start.sh.ran"_s)));
        QTRY_VERIFY(QFile::exists(box->Path(u"prog/end.sh.ran"_s)));
    }

    void help() {
        Job(u"A.prt"_s, Plotter());
        FPrintJobs w;
        QVERIFY(Open(w));
        QTest::mouseClick(Button(w, u"cmdHelp"_s), Qt::LeftButton);
        QCOMPARE(rec->Joined(), u"The help file was not found:|"_s + gEnv.m_sHelpFile);
        box->Write(u"prog/qorvlog-help.html"_s, "<html></html>");
        CUrlCatcher catcher;
        QDesktopServices::setUrlHandler(u"file"_s, &catcher, "Open");
        QTest::mouseClick(Button(w, u"cmdHelp"_s), Qt::LeftButton);
        QDesktopServices::unsetUrlHandler(u"file"_s);
        QCOMPARE(catcher.urls, QList<QUrl>{QUrl::fromLocalFile(gEnv.m_sHelpFile)});
        QCOMPARE(rec->Messages().size(), 1);
    }

    void listFileAndPathEntries() {
        box->Write(u"lists/accounts.txt"_s, QByteArray("  Beta\0junk\r\n\r\nAlpha  \r\n", 24));
        QByteArray ini = TestData(u"config_dialog.ini"_s);
        ini = IniEdit(ini, u"CATEGORYPG23"_s, u"NumPreDefinedValues"_s, u"3"_s);
        ini = IniEdit(ini, u"CATEGORYPG23"_s, u"PreDefinedValue1"_s,
                      u"0, "_s + box->Path(u"lists/accounts.txt"_s));
        ini = IniEdit(ini, u"CATEGORYPG23"_s, u"PreDefinedValue2"_s, u"41"_s);
        ini = IniEdit(ini, u"CATEGORYPG23"_s, u"PreDefinedValue3"_s,
                      u"0, "_s + box->Path(u"lists/missing.txt"_s));
        Configure(ini);
        gEnv.m_bObtainPath = true;
        Job(u"L.prt"_s, Laser());
        FPrintJobs w;
        QVERIFY(Open(w));
        QCOMPARE(Items(Combo(w, 2)), (QStringList{u"Beta"_s, u"Alpha"_s,
                                                  u"C:\\Clients\\Acme 4711\\Plan.dwg"_s, u" "_s}));
    }

    void rowLayout() {
        Job(u"A.prt"_s, Plotter());
        FPrintJobs w;
        QVERIFY(Open(w));
        QWidget* client = Field(w, u"Client"_s);
        QWidget* matter = Field(w, u"Matter"_s);
        QCOMPARE(matter->y() - client->y(), Twips::ToPixelsY(360));
        QCOMPARE(client->y(), Twips::ToPixelsY(600));
        QCOMPARE(w.findChild<QLabel*>(u"lblCategory1"_s)->x(), Twips::ToPixelsX(360));
        // Short labels and values: label column and entry column make 4000 twips together.
        const double labels = Twips::FromPixelsX(client->x()) - 480;
        QVERIFY(qAbs(labels + Twips::FromPixelsX(client->width()) - 4000) <= 2 * 15);
        QCOMPARE(matter->x(), client->x());
        QCOMPARE(matter->width(), client->width());
    }
};

QTEST_MAIN(TestFPrintJobs)
#include "tst_fprintjobs.moc"
