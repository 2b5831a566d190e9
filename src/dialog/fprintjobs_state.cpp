// The job entry window's remembered state: its place and size, the list's pane height, column
// widths and sort, kept per user in twips so that they mean the same on every screen; and the
// resize handler that keeps the window above its minimum and lays out the panes.
#include "common/bcommon.h"
#include "dialog/fprintjobs.h"
#include "dialog/twips.h"
#include "dialog/windowplacement.h"

#include <QHeaderView>
#include <QLocale>
#include <QResizeEvent>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QTreeWidget>
#include <cmath>

namespace {
const QString kWindow = QStringLiteral("Window");
const QString kColumns = QStringLiteral("Columns");
const char* const kColumnKeys[] = {"Document", "Papersize", "Pagesprinted", "Color", "Printer"};

// Layout (twips): margins of the panes, room below them, the button strip's distance from the
// bottom of the client area, and the least height.
constexpr int kMargin = 120, kBelowPanes = 720, kStripFromBottom = 570, kMinHeight = 4980;

std::optional<qint32> Setting(const QString& section, const char* key) {
    qint32 value = 0;
    bool found = false;
    GetSettingLong(section, QString::fromLatin1(key), value, found);
    return found ? std::optional(value) : std::nullopt;
}

void Save(const QString& section, const char* key, const QString& text) {
    SaveSettingText(section, QString::fromLatin1(key), text);
}

// A size as the text of a single-precision number, read back as the nearest whole number.
QString SizeText(double twips) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(double(float(twips)), 'g', 7);
}
} // namespace

void FPrintJobs::RestoreWindowState() {
    using namespace Twips;
    const auto left = Setting(kWindow, "Left"), top = Setting(kWindow, "Top");
    const auto width = Setting(kWindow, "Width"), height = Setting(kWindow, "Height");
    std::optional<QRect> stored;
    if (left && top && width && height) stored = QRect(*left, *top, *width, *height);
    const QSize pixels = screen() ? screen()->size() : QSize();
    const QSize twips(int(std::lround(FromPixelsX(pixels.width()))),
                      int(std::lround(FromPixelsY(pixels.height()))));
    const QRect place = StartPlacement(stored, twips);
    // A window left maximised kept its normal place; it opens normal.
    setWindowState(Qt::WindowNoState);
    move(ToPixelsX(place.x()), ToPixelsY(place.y()));
    resize(ToPixelsX(place.width()), ToPixelsY(place.height()));
    // A hidden window gets no resize event before it is shown: lay out now, so that the pane
    // height below is taken from the splitter's real size.
    Form_Resize();

    if (const auto resizer = Setting(kWindow, "Resizer")) {
        const int upper = ToPixelsY(*resizer);
        const int lower = splPanes->height() - splPanes->handleWidth() - upper;
        splPanes->setSizes({upper, std::max(lower, 0)});
    }
    for (int i = 0; i < int(std::size(kColumnKeys)); ++i)
        if (const auto w = Setting(kColumns, kColumnKeys[i]))
            lvwPrintJobs->setColumnWidth(i, ToPixelsX(*w));

    // The sort goes through the column click, which sets the order and the header mark.
    const auto sorted = Setting(kColumns, "Sorted"), key = Setting(kColumns, "SortKey");
    const auto order = Setting(kColumns, "SortOrder");
    if (sorted && *sorted != 0 && key && *key >= 0 && *key < lvwPrintJobs->columnCount() && order &&
        (*order == 0 || *order == 1)) {
        lvwPrintJobs_ColumnClick(*key);
        if (*order == 1) lvwPrintJobs_ColumnClick(*key);
    }
}

void FPrintJobs::SaveWindowState() {
    using namespace Twips;
    const Qt::WindowStates state = windowState();
    const int shown = state & Qt::WindowMinimized                            ? 1
                      : state & (Qt::WindowMaximized | Qt::WindowFullScreen) ? 2
                                                                             : 0;
    Save(kWindow, "Maximized", QString::number(shown));
    if (shown == 0) {
        Save(kWindow, "Left", SizeText(FromPixelsX(x())));
        Save(kWindow, "Top", SizeText(FromPixelsY(y())));
        Save(kWindow, "Width", SizeText(FromPixelsX(width())));
        Save(kWindow, "Height", SizeText(FromPixelsY(height())));
    }
    Save(kWindow, "Resizer", SizeText(FromPixelsY(splPanes->sizes().value(0))));
    for (int i = 0; i < int(std::size(kColumnKeys)); ++i)
        Save(kColumns, kColumnKeys[i], SizeText(FromPixelsX(lvwPrintJobs->columnWidth(i))));
    Save(kColumns, "Sorted", mSortColumn >= 0 ? QStringLiteral("-1") : QStringLiteral("0"));
    Save(kColumns, "SortKey", QString::number(std::max(mSortColumn, 0)));
    Save(kColumns, "SortOrder", QString::number(mSortOrder == Qt::DescendingOrder ? 1 : 0));
}

void FPrintJobs::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}

void FPrintJobs::Form_Resize() {
    if (!splPanes || m_resizing || isMinimized()) return;
    const QScopedValueRollback resizing(m_resizing, true);
    using namespace Twips;
    // Wide enough for the button strip, its margins and a frame on either side.
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    const QSize minimum(ToPixelsX(2 * kMargin + FromPixelsX(picButtons->width() + 2 * frame)),
                        ToPixelsY(kMinHeight));
    if (minimumSize() != minimum) setMinimumSize(minimum);
    // The window system may make the window smaller than its minimum: it grows back.
    if (width() < minimum.width() || height() < minimum.height())
        resize(size().expandedTo(minimum));
    LayOutPanes();
}

void FPrintJobs::LayOutPanes() {
    using namespace Twips;
    const double clientWidth = FromPixelsX(width()), clientHeight = FromPixelsY(height());
    splPanes->setGeometry(ToPixelsX(kMargin), ToPixelsY(kMargin),
                          ToPixelsX(clientWidth - 2 * kMargin),
                          ToPixelsY(clientHeight - kBelowPanes));
    picButtons->move((width() - picButtons->width()) / 2,
                     ToPixelsY(clientHeight - kStripFromBottom));
}
