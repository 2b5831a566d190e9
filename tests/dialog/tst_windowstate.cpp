// The job entry window reopens where the user left it: place, size, list pane, column widths
// and sort kept per user in twips; its minimum size and pane layout; the About button.
#include "common/bcommon.h"
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "dialog/fabout.h"
#include "dialog/fprintjobs.h"
#include "dialog/twips.h"
#include "dialog/windowplacement.h"
#include "platform/clock.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace Qt::StringLiterals;
using Settings = QList<std::pair<QString, QString>>; // "Section/Key", text

namespace {
const QStringList kKeys = {u"Window/Maximized"_s, u"Window/Left"_s,       u"Window/Top"_s,
                           u"Window/Width"_s,     u"Window/Height"_s,     u"Window/Resizer"_s,
                           u"Columns/Document"_s, u"Columns/Papersize"_s, u"Columns/Pagesprinted"_s,
                           u"Columns/Color"_s,    u"Columns/Printer"_s,   u"Columns/Sorted"_s,
                           u"Columns/SortKey"_s,  u"Columns/SortOrder"_s};
// A window placed and sized by the user, a sort descending on "Date and Time".
const Settings kStored = {
    {u"Window/Maximized"_s, u"0"_s},       {u"Window/Left"_s, u"1500"_s},
    {u"Window/Top"_s, u"900"_s},           {u"Window/Width"_s, u"7500"_s},
    {u"Window/Height"_s, u"6000"_s},       {u"Window/Resizer"_s, u"1200"_s},
    {u"Columns/Document"_s, u"3000"_s},    {u"Columns/Papersize"_s, u"1500"_s},
    {u"Columns/Pagesprinted"_s, u"900"_s}, {u"Columns/Color"_s, u"2400"_s},
    {u"Columns/Printer"_s, u"1800"_s},     {u"Columns/Sorted"_s, u"-1"_s},
    {u"Columns/SortKey"_s, u"3"_s},        {u"Columns/SortOrder"_s, u"1"_s}};
// The window of a first start on the 800 x 800 pixel offscreen screen (12000 twips square).
const QStringList kFirstStart = {u"normal 2910,2850 6180x6300"_s, u"pane 1590"_s,
                                 // 1000 twips are 66.7 pixels, shown as 67
                                 u"columns 2880,1005,720,1200,1440"_s, u"unsorted"_s,
                                 u"rows A,B"_s};

Settings With(Settings s, std::initializer_list<std::pair<const char*, const char*>> changes) {
    for (auto [key, text] : changes)
        for (auto& [k, v] : s)
            if (k == QLatin1String(key)) v = QString::fromLatin1(text);
    return s;
}
QStringList Lines(const Settings& s) {
    QStringList out;
    for (const auto& [key, text] : s) out << key + u'=' + text;
    return out;
}
} // namespace

class TestWindowState : public QObject {
    Q_OBJECT
    std::unique_ptr<Sandbox> box;
    std::unique_ptr<MessageRecorder> rec;
    qint64 now = 0;

    static void Store(const Settings& settings) {
        for (const auto& [key, text] : settings)
            SaveSettingText(key.section(u'/', 0, 0), key.section(u'/', 1), text);
    }
    static QStringList Stored() {
        QStringList out;
        for (const QString& key : kKeys)
            out << key + u'=' +
                       GetSettingText(key.section(u'/', 0, 0), key.section(u'/', 1),
                                      u"(missing)"_s);
        return out;
    }
    // What the user sees, sizes in twips; rows by document name in list order.
    static QStringList State(FPrintJobs& w) {
        auto x = [](int px) { return QString::number(qRound(Twips::FromPixelsX(px))); };
        auto y = [](int px) { return QString::number(qRound(Twips::FromPixelsY(px))); };
        auto* list = w.findChild<QTreeWidget*>(u"lvwPrintJobs"_s);
        QStringList columns, rows;
        for (int c = 0; c < list->columnCount(); ++c) columns << x(list->columnWidth(c));
        for (int r = 0; r < list->topLevelItemCount(); ++r) rows << list->topLevelItem(r)->text(0);
        const QHeaderView* h = list->header();
        return {(w.isMaximized() ? u"maximised "_s : u"normal "_s) + x(w.x()) + u',' + y(w.y()) +
                    u' ' + x(w.width()) + u'x' + y(w.height()),
                u"pane "_s + y(w.findChild<QSplitter*>(u"splPanes"_s)->sizes().value(0)),
                u"columns "_s + columns.join(u','),
                !h->isSortIndicatorShown()
                    ? u"unsorted"_s
                    : u"sorted %1 %2"_s.arg(h->sortIndicatorSection())
                          .arg(h->sortIndicatorOrder() == Qt::AscendingOrder ? u"up"_s : u"down"_s),
                u"rows "_s + rows.join(u',')};
    }
    void Open(FPrintJobs& w) {
        QVERIFY(w.OpenPrintJobs());
        QVERIFY(QTest::qWaitForWindowExposed(&w));
    }
    // Cancels the only selected job; the next tick finds no job left and unloads the window.
    static void Unload(FPrintJobs& w) {
        w.findChild<QTreeWidget*>(u"lvwPrintJobs"_s)->selectAll();
        QTest::mouseClick(w.findChild<QPushButton*>(u"cmdCancel"_s), Qt::LeftButton);
        w.tmrCheckJobs_Timer();
        QVERIFY(w.IsUnloaded());
    }

private Q_SLOTS:
    void init() {
        box = std::make_unique<Sandbox>();
        rec = std::make_unique<MessageRecorder>();
        gEnv.m_sUserPath = box->Path(u"data/users/jsmith"_s);
        gEnv.m_sDataPath = box->Path(u"data/"_s);
        gEnv.m_sMachineName = u"HOSTA"_s;
        QDir().mkpath(gEnv.m_sUserPath);
        now = 1000000;
        Platform::SetClockHooks({[this] { return now; }, [this](int ms) { now += ms; }});
        gConfigOptions = std::make_shared<CConfigOptions>();
        QVERIFY(gConfigOptions->ReadIniFile(
            box->Write(u"Config.ini"_s, TestData(u"config_dialog.ini"_s))));
        // Two jobs whose "Date and Time" texts sort the other way round from their names.
        for (auto [name, id, submitted] : {std::tuple{"A", "41", "11/20/2003 9:00:00 AM"},
                                           {"B", "42", "03/05/2004 2:07:09 PM"}}) {
            JobFields f;
            f.document = QString::fromLatin1(name);
            f.id = QString::fromLatin1(id);
            f.submitted = QString::fromLatin1(submitted);
            box->WriteLines(u"data/users/jsmith/"_s + f.document + u".prt"_s, f.Lines());
        }
    }
    void cleanup() {
        Platform::SetClockHooks({});
        gConfigOptions.reset();
        rec.reset();
        box.reset();
    }

    void placement_data() {
        QTest::addColumn<QRect>("stored"); // null: a value is missing
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QRect>("place");
        const QSize screen(12000, 9000);
        QTest::newRow("first start") << QRect() << screen << QRect(2910, 1350, 6180, 6300);
        QTest::newRow("screen just fits")
            << QRect() << QSize(6180, 6300) << QRect(0, 0, 6180, 6300);
        QTest::newRow("screen two twips short")
            << QRect() << QSize(6178, 6298) << QRect(0, 0, 6178, 6298);
        QTest::newRow("at the edge room")
            << QRect(11400, 8400, 5000, 5000) << screen << QRect(11400, 8400, 5000, 5000);
        QTest::newRow("past the edge room")
            << QRect(11401, 8401, 5000, 5000) << screen << QRect(6000, 4500, 5000, 5000);
    }
    void placement() {
        QFETCH(QRect, stored);
        QFETCH(QSize, screen);
        QTEST(StartPlacement(stored.isNull() ? std::nullopt : std::optional(stored), screen),
              "place");
    }

    void restore_data() {
        QTest::addColumn<Settings>("settings");
        QTest::addColumn<QStringList>("state");
        const QStringList stored = {u"normal 1500,900 7500x6000"_s, u"pane 1200"_s,
                                    u"columns 3000,1500,900,2400,1800"_s, u"sorted 3 down"_s,
                                    u"rows B,A"_s};
        QTest::newRow("first start") << Settings{} << kFirstStart;
        QTest::newRow("as left") << kStored << stored;
        QTest::newRow("left maximised opens normal")
            << With(kStored, {{"Window/Maximized", "2"}}) << stored;
        QTest::newRow("non-numeric left: centred")
            << With(kStored, {{"Window/Left", "15OO"}})
            << QStringList{kFirstStart[0], stored[1], stored[2], stored[3], stored[4]};
        QTest::newRow("non-numeric width")
            << With(kStored, {{"Columns/Papersize", "wide"}})
            << QStringList{stored[0], stored[1], u"columns 3000,1005,900,2400,1800"_s, stored[3],
                           stored[4]};
        QTest::newRow("gone monitor on the right")
            << With(kStored, {{"Window/Left", "11401"}})
            << QStringList{u"normal 6000,900 7500x6000"_s, stored[1], stored[2], stored[3],
                           stored[4]};
        QTest::newRow("ascending")
            << With(kStored, {{"Columns/SortOrder", "0"}})
            << QStringList{stored[0], stored[1], stored[2], u"sorted 3 up"_s, u"rows A,B"_s};
        QTest::newRow("not sorted")
            << With(kStored, {{"Columns/Sorted", "0"}})
            << QStringList{stored[0], stored[1], stored[2], u"unsorted"_s, u"rows A,B"_s};
    }
    void restore() {
        QFETCH(Settings, settings);
        Store(settings);
        FPrintJobs w;
        Open(w);
        QTEST(State(w), "state");
    }

    void save_data() {
        QTest::addColumn<bool>("maximise");
        QTest::addColumn<QStringList>("stored");
        // Moved, sized, the pane and a column dragged, the first column sorted ascending.
        const Settings normal = With(kStored, {{"Window/Left", "3000"},
                                               {"Window/Top", "1500"},
                                               {"Window/Width", "7200"},
                                               {"Window/Height", "5400"},
                                               {"Window/Resizer", "1500"},
                                               {"Columns/Printer", "2100"},
                                               {"Columns/SortKey", "0"},
                                               {"Columns/SortOrder", "0"}});
        QTest::newRow("normal") << false << Lines(normal);
        // Maximised: the normal place stays as it was stored before.
        QTest::newRow("maximised") << true
                                   << Lines(With(normal, {{"Window/Maximized", "2"},
                                                          {"Window/Left", "1500"},
                                                          {"Window/Top", "900"},
                                                          {"Window/Width", "7500"},
                                                          {"Window/Height", "6000"}}));
    }
    void save() {
        QFETCH(bool, maximise);
        Store(kStored);
        FPrintJobs w;
        Open(w);
        using namespace Twips;
        w.move(ToPixelsX(3000), ToPixelsY(1500)); // the frame's corner, as the window reports it
        w.resize(ToPixelsX(7200), ToPixelsY(5400));
        auto* panes = w.findChild<QSplitter*>(u"splPanes"_s);
        panes->setSizes(
            {ToPixelsY(1500), panes->height() - panes->handleWidth() - ToPixelsY(1500)});
        auto* list = w.findChild<QTreeWidget*>(u"lvwPrintJobs"_s);
        list->setColumnWidth(4, ToPixelsX(2100));
        QHeaderView* h = list->header(); // sorted by the first column instead
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                          QPoint(h->sectionViewportPosition(0) + 5, h->height() / 2));
        if (maximise) {
            w.showMaximized();
            QTRY_VERIFY(w.isMaximized());
        }
        Unload(w);
        QTEST(Stored(), "stored");
    }

    void minimumSizeAndLayout_data() {
        QTest::addColumn<QSize>("asked"); // twips
        QTest::addColumn<QSize>("got");   // twips; 0: the least width
        QTest::newRow("least height") << QSize(6180, 4980) << QSize(6180, 4980);
        QTest::newRow("a pixel lower") << QSize(6180, 4965) << QSize(6180, 4980);
        QTest::newRow("narrower than the buttons") << QSize(3000, 6300) << QSize(0, 6300);
    }
    void minimumSizeAndLayout() {
        QFETCH(QSize, asked);
        QFETCH(QSize, got);
        using namespace Twips;
        FPrintJobs w;
        Open(w);
        w.resize(ToPixelsX(asked.width()), ToPixelsY(asked.height()));
        // The buttons (5175 twips), a margin and a frame on either side.
        const int frame = w.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &w);
        const int least = ToPixelsX(120 + 5175 + 120) + 2 * frame;
        const QSize size(got.width() ? ToPixelsX(got.width()) : least, ToPixelsY(got.height()));
        QCOMPARE(w.size(), size);
        QCOMPARE(w.findChild<QSplitter*>(u"splPanes"_s)->geometry(),
                 QRect(ToPixelsX(120), ToPixelsY(120), size.width() - ToPixelsX(240),
                       size.height() - ToPixelsY(720)));
        QWidget* strip = w.findChild<QWidget*>(u"picButtons"_s);
        QCOMPARE(strip->pos(),
                 QPoint((size.width() - ToPixelsX(5175)) / 2, size.height() - ToPixelsY(570)));
    }

    void aboutIsModalOverTheWindow() {
        FPrintJobs w;
        Open(w);
        QString seen;
        QTimer::singleShot(0, &w, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* about = qobject_cast<FAbout*>(modal))
                seen = about->windowTitle() + (about->parentWidget() == &w ? u" over"_s : u""_s);
            if (modal) modal->close();
        });
        QTest::mouseClick(w.findChild<QPushButton*>(u"cmdAbout"_s), Qt::LeftButton);
        QCOMPARE(seen, u"About QorvLog over"_s);
    }
};

QTEST_MAIN(TestWindowState)
#include "tst_windowstate.moc"
