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

#include <QtTest>
#include <QtWidgets>

using Settings = QList<std::pair<QString, QString>>; // "Section/Key", text
using namespace Twips;

namespace {
// A window placed and sized by the user, a sort descending on "Date and Time".
const Settings kStored = {
    {u"Window/Maximized"_s, u"0"_s},       {u"Window/Left"_s, u"1500"_s},
    {u"Window/Top"_s, u"900"_s},           {u"Window/Width"_s, u"7500"_s},
    {u"Window/Height"_s, u"6000"_s},       {u"Window/Resizer"_s, u"1200"_s},
    {u"Columns/Document"_s, u"3000"_s},    {u"Columns/Papersize"_s, u"1500"_s},
    {u"Columns/Pagesprinted"_s, u"900"_s}, {u"Columns/Color"_s, u"2400"_s},
    {u"Columns/Printer"_s, u"1800"_s},     {u"Columns/Sorted"_s, u"-1"_s},
    {u"Columns/SortKey"_s, u"3"_s},        {u"Columns/SortOrder"_s, u"1"_s}};
// What the window shows for kStored.
const QStringList kShown = {u"window normal 1500,900 7500x6000"_s, u"pane 1200"_s,
                            u"columns 3000,1500,900,2400,1800"_s, u"sort 3 down"_s, u"rows B,A"_s};

Settings With(Settings s, std::initializer_list<std::pair<const char*, const char*>> changes) {
    for (auto [key, text] : changes)
        for (auto& [k, v] : s)
            if (k == QLatin1String(key)) v = QString::fromLatin1(text);
    return s;
}
// kShown with the lines of the same first word replaced.
QStringList Shown(const QStringList& changes) {
    QStringList out = kShown;
    for (const QString& c : changes)
        for (QString& line : out)
            if (line.section(u' ', 0, 0) == c.section(u' ', 0, 0)) line = c;
    return out;
}
template <typename... T> void Row(const char* name, T... values) {
    (QTest::newRow(name) << ... << values);
}
} // namespace

class TestWindowState : public QObject {
    Q_OBJECT
    std::unique_ptr<Sandbox> box;
    std::unique_ptr<MessageRecorder> rec;
    std::unique_ptr<FPrintJobs> w;
    qint64 now = 0;

    void Open(const Settings& settings = {}) {
        for (const auto& [key, text] : settings)
            SaveSettingText(key.section(u'/', 0, 0), key.section(u'/', 1), text);
        w = std::make_unique<FPrintJobs>();
        QVERIFY(w->OpenPrintJobs());
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    }
    QTreeWidget* List() const { return w->findChild<QTreeWidget*>(u"lvwPrintJobs"_s); }
    QSplitter* Panes() const { return w->findChild<QSplitter*>(u"splPanes"_s); }
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

private Q_SLOTS:
    void init() {
        box = std::make_unique<Sandbox>();
        rec = std::make_unique<MessageRecorder>();
        gEnv.m_sUserPath = box->Path(u"data/users/jsmith"_s);
        gEnv.m_sDataPath = box->Path(u"data/"_s);
        gEnv.m_sMachineName = u"HOSTA"_s;
        QDir().mkpath(gEnv.m_sUserPath);
        QDir().mkpath(
            box->Path(u"data/Machines/SRV"_s)); // the monitor's, for the .pas of a held job
        now = 1000000;
        Platform::SetClockHooks({[this] { return now; }, [this](int ms) { now += ms; }});
        gConfigOptions = std::make_shared<CConfigOptions>();
        QVERIFY(gConfigOptions->ReadIniFile(
            box->Write(u"Config.ini"_s, TestData(u"config_dialog.ini"_s))));
        // Two jobs whose "Date and Time" texts sort the other way round from their names.
        for (auto [name, id, submitted] : {std::tuple{u"A"_s, u"41"_s, u"11/20/2003 9:00:00 AM"_s},
                                           {u"B"_s, u"42"_s, u"03/05/2004 2:07:09 PM"_s}}) {
            JobFields f;
            f.document = name, f.id = id, f.submitted = submitted;
            box->WriteLines(u"data/users/jsmith/"_s + name + u".prt"_s, f.Lines());
        }
    }
    void cleanup() {
        Platform::SetClockHooks({});
        w.reset();
        gConfigOptions.reset();
        rec.reset();
        box.reset();
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

    void restore_data() {
        QTest::addColumn<Settings>("settings");
        QTest::addColumn<QStringList>("state");
        // The first start on the 800 x 800 pixel offscreen screen (12000 twips square); 1000
        // twips are 66.7 pixels, shown as 67.
        const QString centred = u"window normal 2910,2850 6180x6300"_s;
        Row("first start", Settings{},
            QStringList{centred, u"pane 1590"_s, u"columns 2880,1005,720,1200,1440"_s,
                        u"sort none"_s, u"rows A,B"_s});
        Row("as left", kStored, kShown);
        Row("left maximised opens normal", With(kStored, {{"Window/Maximized", "2"}}), kShown);
        Row("non-numeric left: centred", With(kStored, {{"Window/Left", "15OO"}}),
            Shown({centred}));
        Row("non-numeric width", With(kStored, {{"Columns/Papersize", "wide"}}),
            Shown({u"columns 3000,1005,900,2400,1800"_s}));
        Row("gone monitor on the right", With(kStored, {{"Window/Left", "11401"}}),
            Shown({u"window normal 6000,900 7500x6000"_s}));
        Row("ascending", With(kStored, {{"Columns/SortOrder", "0"}}),
            Shown({u"sort 3 up"_s, u"rows A,B"_s}));
        Row("not sorted", With(kStored, {{"Columns/Sorted", "0"}}),
            Shown({u"sort none"_s, u"rows A,B"_s}));
    }
    void restore() {
        QFETCH(Settings, settings);
        Open(settings);
        QTEST(State(), "state");
    }

    void save_data() {
        QTest::addColumn<bool>("maximise");
        QTest::addColumn<Settings>("stored");
        // Moved, sized, the pane and a column dragged, the first column sorted ascending.
        const Settings normal = With(kStored, {{"Window/Left", "3000"},
                                               {"Window/Top", "1500"},
                                               {"Window/Width", "7200"},
                                               {"Window/Height", "5400"},
                                               {"Window/Resizer", "1500"},
                                               {"Columns/Printer", "2100"},
                                               {"Columns/SortKey", "0"},
                                               {"Columns/SortOrder", "0"}});
        Row("normal", false, normal);
        // Maximised: the normal place stays as it was stored before.
        Row("maximised", true,
            With(normal, {{"Window/Maximized", "2"},
                          {"Window/Left", "1500"},
                          {"Window/Top", "900"},
                          {"Window/Width", "7500"},
                          {"Window/Height", "6000"}}));
    }
    void save() {
        QFETCH(bool, maximise);
        Open(kStored);
        w->move(ToPixelsX(3000), ToPixelsY(1500)); // the frame's corner, as the window reports it
        w->resize(ToPixelsX(7200), ToPixelsY(5400));
        Panes()->setSizes(
            {ToPixelsY(1500), Panes()->height() - Panes()->handleWidth() - ToPixelsY(1500)});
        List()->setColumnWidth(4, ToPixelsX(2100));
        QHeaderView* h = List()->header(); // sorted by the first column instead
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                          QPoint(h->sectionViewportPosition(0) + 5, h->height() / 2));
        if (maximise) {
            w->showMaximized();
            QTRY_VERIFY(w->isMaximized());
        }
        // Cancel both jobs: the next tick finds none left and unloads the window.
        List()->selectAll();
        QTest::mouseClick(w->findChild<QPushButton*>(u"cmdCancel"_s), Qt::LeftButton);
        w->tmrCheckJobs_Timer();
        QVERIFY(w->IsUnloaded());
        Settings stored = kStored;
        for (auto& [key, text] : stored)
            text = GetSettingText(key.section(u'/', 0, 0), key.section(u'/', 1), u"(missing)"_s);
        QTEST(stored, "stored");
    }

    void minimumSizeAndLayout_data() {
        QTest::addColumn<QSize>("asked"); // twips
        QTest::addColumn<QSize>("got");   // twips; 0: the least width
        Row("least height", QSize(6180, 4980), QSize(6180, 4980));
        Row("a pixel lower", QSize(6180, 4965), QSize(6180, 4980));
        Row("narrower than the buttons", QSize(3000, 6300), QSize(0, 6300));
    }
    void minimumSizeAndLayout() {
        QFETCH(QSize, asked);
        QFETCH(QSize, got);
        Open();
        w->resize(ToPixelsX(asked.width()), ToPixelsY(asked.height()));
        // The buttons (5175 twips), a margin and a frame on either side.
        const int frame = w->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, w.get());
        const int least = ToPixelsX(120 + 5175 + 120) + 2 * frame;
        const QSize size(got.width() ? ToPixelsX(got.width()) : least, ToPixelsY(got.height()));
        QCOMPARE(w->size(), size);
        QCOMPARE(Panes()->geometry(),
                 QRect(ToPixelsX(120), ToPixelsY(120), size.width() - ToPixelsX(240),
                       size.height() - ToPixelsY(720)));
        QCOMPARE(w->findChild<QWidget*>(u"picButtons"_s)->pos(),
                 QPoint((size.width() - ToPixelsX(5175)) / 2, size.height() - ToPixelsY(570)));
    }

    void lowerWindowGrowsBack() {
        Open();
        const int width = w->width();
        w->windowHandle()->resize(width, ToPixelsY(4000)); // as a window manager may
        QTRY_COMPARE(w->size(), QSize(width, ToPixelsY(4980)));
        QCOMPARE(w->windowHandle()->height(), ToPixelsY(4980));
    }

    void aboutIsModalOverTheWindow() {
        Open();
        QString seen;
        QTimer::singleShot(0, w.get(), [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* about = qobject_cast<FAbout*>(modal))
                seen =
                    about->windowTitle() + (about->parentWidget() == w.get() ? u" over"_s : u""_s);
            if (modal) modal->close();
        });
        QTest::mouseClick(w->findChild<QPushButton*>(u"cmdAbout"_s), Qt::LeftButton);
        QCOMPARE(seen, u"About QorvLog over"_s);
    }
};

QTEST_MAIN(TestWindowState)
#include "tst_windowstate.moc"
