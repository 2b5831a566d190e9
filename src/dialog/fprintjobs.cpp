#include "dialog/fprintjobs.h"

#include "common/bcommon.h"
#include "common/environment.h"
#include "common/values.h"
#include "config/cconfigoptions.h"
#include "dialog/fabout.h"
#include "dialog/twips.h"
#include "dialog/typeahead.h"
#include "dialog/warn.h"
#include "platform/clock.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/process.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QSplitter>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>

namespace {
constexpr int kTickMs = 100;
constexpr qint64 kRescanMs = 2000;
constexpr int kJobFileRole = Qt::UserRole;

// Design sizes (twips).
constexpr int kListHeight = 1590, kEntryHeight = 1980;
constexpr int kButtonWidth = 1215, kButtonHeight = 375, kButtonStep = 1320;

struct Column {
    const char* header;
    int width;
};
constexpr Column kColumns[] = {
    {"Document", 2880}, {"Size", 1000}, {"Pages", 720}, {"Date and Time", 1200}, {"Printer", 1440}};

// Rows sort by their shown text, letter case ignored.
class CJobRow : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override {
        const int c = treeWidget() ? treeWidget()->sortColumn() : 0;
        return text(c).compare(other.text(c), Qt::CaseInsensitive) < 0;
    }
};

class CBusyCursor {
public:
    CBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~CBusyCursor() { QApplication::restoreOverrideCursor(); }
    CBusyCursor(const CBusyCursor&) = delete;
    CBusyCursor& operator=(const CBusyCursor&) = delete;
};

QString PaperText(CPrintJobInfo& job) {
    if (job.PaperName_Valid() && job.PaperName != QLatin1String("Custom")) return job.PaperName;
    if (!job.PaperWidth_Valid() || !job.PaperHeight_Valid()) return QStringLiteral("Spooling");
    return FormatFixed(job.PaperWidth, 2) + QLatin1Char('x') + FormatFixed(job.PaperHeight, 2) +
           QStringLiteral(" in");
}

QString PagesText(const CPrintJobInfo& job) {
    const qint64 perCopy = qint64(job.PagesPerCopy) + job.SeparatorPages;
    if (job.NumCopies_Valid() && job.PagesPerCopy_Valid())
        return QString::number(perCopy * job.NumCopies);
    if (job.PagesPerCopy_Valid()) return QString::number(perCopy);
    return QStringLiteral("Spooling");
}

// The list row of a job; its tag is the job's file name.
QTreeWidgetItem* MakeRow(CPrintJobInfo& job) {
    auto* row = new CJobRow;
    row->setText(0, job.DocumentName_Valid() ? job.DocumentName : QString());
    row->setText(1, PaperText(job));
    row->setText(2, PagesText(job));
    row->setText(3, QLocale().toString(job.SubmitDT.ToDateTime(), QLocale::ShortFormat));
    row->setText(4, job.PrinterName_Valid() ? job.PrinterName : QString());
    row->setData(0, kJobFileRole, job.JobFileName);
    return row;
}
} // namespace

FPrintJobs::FPrintJobs() {
    setObjectName(QStringLiteral("FPrintJobs"));
}

FPrintJobs::~FPrintJobs() {
    if (tmrCheckJobs) tmrCheckJobs->stop();
    if (m_loaded) UnloadUserValues(); // while the rows' handlers can still run
    if (m_outOfUse) QApplication::restoreOverrideCursor();
}

void FPrintJobs::DoPrintJobs() {
    if (OpenPrintJobs()) WaitUntilUnloaded();
}

bool FPrintJobs::OpenPrintJobs() {
    mclsPrintJobs = std::make_unique<CPrintJobInfos>();
    mclsMonitor = std::make_unique<CMonitor>();
    {
        QScopedValueRollback busy(m_busy, m_busy + 1);
        mclsPrintJobs->GetPrintJobs(*mclsMonitor);
    }
    if (mclsPrintJobs->Count() == 0) return false;
    mbUnloaded = true; // the first fill: the window is not shown yet
    Form_Load();
    DisplayPrintJobs();
    mbUnloaded = false;
    ChainTabOrder();
    show();
    QApplication::beep();
    raise();
    activateWindow();
    FocusFirstRow();
    tmrCheckJobs->start();
    UpdateWaiting(false);
    CallUserIfRefused();
    return true;
}

void FPrintJobs::WaitUntilUnloaded() {
    if (mbUnloaded || !m_loaded) return;
    QEventLoop loop;
    connect(this, &FPrintJobs::Unloaded, &loop, &QEventLoop::quit);
    loop.exec();
}

void FPrintJobs::BuildControls() {
    using namespace Twips;
    // The panes and the button strip are placed by the resize handler.
    splPanes = new QSplitter(Qt::Vertical, this);
    splPanes->setObjectName(QStringLiteral("splPanes"));
    splPanes->setChildrenCollapsible(false);

    lvwPrintJobs = new QTreeWidget(splPanes);
    lvwPrintJobs->setObjectName(QStringLiteral("lvwPrintJobs"));
    lvwPrintJobs->setRootIsDecorated(false);
    lvwPrintJobs->setUniformRowHeights(true);
    lvwPrintJobs->setAllColumnsShowFocus(true);
    lvwPrintJobs->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvwPrintJobs->setToolTip(
        QStringLiteral("Use Ctrl-Click and Shift-Click to select multiple jobs"));
    QStringList headers;
    for (const Column& c : kColumns) headers << QString::fromLatin1(c.header);
    lvwPrintJobs->setHeaderLabels(headers);
    for (int i = 0; i < int(std::size(kColumns)); ++i)
        lvwPrintJobs->setColumnWidth(i, ToPixelsX(kColumns[i].width));
    QHeaderView* header = lvwPrintJobs->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    header->setStretchLastSection(false);
    connect(header, &QHeaderView::sectionClicked, this, &FPrintJobs::lvwPrintJobs_ColumnClick);
    connect(lvwPrintJobs, &QTreeWidget::itemSelectionChanged, this,
            &FPrintJobs::lvwPrintJobs_ItemClick);

    picBack = new QScrollArea(splPanes);
    picBack->setObjectName(QStringLiteral("picBack"));
    picBack->setWidgetResizable(false);
    picCategories = new QWidget;
    picCategories->setObjectName(QStringLiteral("picCategories"));
    auto* icon = new QLabel(picCategories);
    const int iconSize = ToPixelsY(240);
    icon->setPixmap(style()->standardIcon(QStyle::SP_FileDialogDetailedView).pixmap(iconSize));
    icon->setGeometry(ToPixelsX(60), ToPixelsY(90), iconSize, iconSize);
    lblInstructions =
        new QLabel(QStringLiteral("Please Enter Print Job Information:"), picCategories);
    lblInstructions->setObjectName(QStringLiteral("lblInstructions"));
    QFont instructions(QStringLiteral("Times New Roman"), 12);
    instructions.setBold(true);
    lblInstructions->setFont(instructions);
    lblInstructions->move(ToPixelsX(360), ToPixelsY(90));
    lblInstructions->adjustSize();
    picBack->setWidget(picCategories);
    for (QScrollBar* bar : {picBack->horizontalScrollBar(), picBack->verticalScrollBar()})
        connect(bar, &QScrollBar::valueChanged, this, [this] { m_typeAhead->Hide(); });
    splPanes->setSizes({ToPixelsY(kListHeight), ToPixelsY(kEntryHeight)});
    // A taller or shorter window changes the entry pane; the list keeps its height.
    splPanes->setStretchFactor(0, 0);
    splPanes->setStretchFactor(1, 1);

    picButtons = new QWidget(this);
    picButtons->setObjectName(QStringLiteral("picButtons"));
    picButtons->setFixedSize(ToPixelsX(3 * kButtonStep + kButtonWidth), ToPixelsY(kButtonHeight));
    auto makeButton = [&](const char* name, const QString& text, int step) {
        auto* b = new QPushButton(text, picButtons);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(true); // Enter presses the focused button
        b->setGeometry(ToPixelsX(step * kButtonStep), 0, ToPixelsX(kButtonWidth),
                       ToPixelsY(kButtonHeight));
        return b;
    };
    cmdSave = makeButton("cmdSave", QStringLiteral("&Save"), 0);
    cmdCancel = makeButton("cmdCancel", QStringLiteral("&Cancel"), 1);
    cmdHelp = makeButton("cmdHelp", QStringLiteral("&Help"), 2);
    cmdAbout = makeButton("cmdAbout", QStringLiteral("&About"), 3);
    connect(cmdSave, &QPushButton::clicked, this, &FPrintJobs::cmdSave_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &FPrintJobs::cmdCancel_Click);
    connect(cmdHelp, &QPushButton::clicked, this, &FPrintJobs::cmdHelp_Click);
    connect(cmdAbout, &QPushButton::clicked, this, &FPrintJobs::cmdAbout_Click);

    tmrCheckJobs = new QTimer(this);
    tmrCheckJobs->setObjectName(QStringLiteral("tmrCheckJobs"));
    tmrCheckJobs->setInterval(kTickMs);
    connect(tmrCheckJobs, &QTimer::timeout, this, &FPrintJobs::tmrCheckJobs_Timer);

    m_typeAhead = new CTypeAhead(this);
    LayOutRows();
}

void FPrintJobs::Form_Load() {
    if (m_loaded) return;
    m_loaded = true;
    BuildControls();
    StartHook(QStringLiteral("start.sh"));
    const bool sim = gConfigOptions && gConfigOptions->SIMMonitor;
    setWindowTitle(sim ? QStringLiteral("*SIM* ") + gEnv.m_sAppTitle : gEnv.m_sAppTitle);
    if (!gEnv.m_sPauseGroups.isEmpty()) cmdSave->setText(QStringLiteral("Print/&Save"));
    DisableCloseMenu();
    if (gConfigOptions && !gConfigOptions->AllowCancel) {
        cmdCancel->hide();
        const int shift = Twips::ToPixelsX(kButtonStep);
        for (QPushButton* b : {cmdHelp, cmdAbout}) b->move(b->x() - shift, b->y());
        picButtons->setFixedWidth(picButtons->width() - shift);
    }
    RestoreWindowState();
}

void FPrintJobs::DisableCloseMenu() {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint);
}

void FPrintJobs::closeEvent(QCloseEvent* event) {
    // The window closes through Save, Cancel or the timer, never from its title bar.
    event->ignore();
}

void FPrintJobs::Form_Unload() {
    SaveWindowState();
    mbUnloaded = true;
    StartHook(QStringLiteral("end.sh"));
    m_typeAhead->Hide();
    hide();
    UpdateWaiting(false); // no job left: the notification and the tray item go
    Q_EMIT Unloaded();
}

void FPrintJobs::StartHook(const QString& script) {
    if (gEnv.m_sProgramPath.isEmpty()) return;
    const QString path = AddBackslash(gEnv.m_sProgramPath) + script;
    if (Platform::IsFile(path)) Platform::StartProgram(path);
}

void FPrintJobs::DisplayPrintJobs() {
    {
        const QSignalBlocker quiet(lvwPrintJobs);
        lvwPrintJobs->clear();
        QList<QTreeWidgetItem*> rows;
        rows.reserve(mclsPrintJobs->Count());
        for (const auto& job : *mclsPrintJobs) {
            job->SetUserValues();
            rows << MakeRow(*job);
        }
        lvwPrintJobs->addTopLevelItems(rows);
        SortList();
        lvwPrintJobs->clearSelection();
        if (QTreeWidgetItem* first = lvwPrintJobs->topLevelItem(0)) {
            lvwPrintJobs->setCurrentItem(first);
            first->setSelected(true);
        }
    }
    if (lvwPrintJobs->topLevelItemCount() > 0)
        lvwPrintJobs_ItemClick();
    else
        UnloadUserValues();
    if (lvwPrintJobs->topLevelItemCount() > 0 && !mbUnloaded) FocusFirstRow();
}

QList<QTreeWidgetItem*> FPrintJobs::SelectedRows() const {
    QList<QTreeWidgetItem*> rows;
    for (int i = 0; i < lvwPrintJobs->topLevelItemCount(); ++i)
        if (QTreeWidgetItem* row = lvwPrintJobs->topLevelItem(i); row->isSelected()) rows << row;
    return rows;
}

std::shared_ptr<CPrintJobInfo> FPrintJobs::JobOfRow(const QTreeWidgetItem* row) const {
    return row ? mclsPrintJobs->Item(row->data(0, kJobFileRole).toString()) : nullptr;
}

void FPrintJobs::lvwPrintJobs_ItemClick() {
    if (m_selecting) return;
    const QScopedValueRollback selecting(m_selecting, true);
    const QScopedValueRollback busy(m_busy, m_busy + 1);
    const CBusyCursor hourglass;
    const QList<QTreeWidgetItem*> rows = SelectedRows();
    if (rows.isEmpty()) {
        UnloadUserValues();
        return;
    }
    const auto first = JobOfRow(rows.first());
    if (!first) return;
    // The rows answer for every selected job.
    auto answerForSelected = [this] {
        m_shownFor.clear();
        for (const QTreeWidgetItem* row : SelectedRows())
            m_shownFor << row->data(0, kJobFileRole).toString();
    };
    if (rows.size() > 1) {
        QSet<const CPrinterGroup*> groups;
        for (const QTreeWidgetItem* row : rows)
            if (const auto job = JobOfRow(row)) groups.insert(job->PrinterGroup().get());
        if (groups.size() < 2) {
            // Jobs of one group share the answer already shown for it.
            if (groups.contains(mclsPrinterGroup.get())) {
                KeepEnteredValues();
                answerForSelected();
                return;
            }
        } else {
            Warn(QStringLiteral("All selected print jobs must be for the same printer group."));
            const CPrinterGroup* keep = first->PrinterGroup().get();
            const QSignalBlocker quiet(lvwPrintJobs);
            for (QTreeWidgetItem* row : rows)
                if (const auto job = JobOfRow(row); job && job->PrinterGroup().get() != keep)
                    row->setSelected(false);
        }
    }
    UnloadUserValues();
    LoadUserValues(*first);
    answerForSelected();
}

void FPrintJobs::lvwPrintJobs_ColumnClick(int column) {
    if (column == mSortColumn) {
        mSortOrder = mSortOrder == Qt::DescendingOrder ? Qt::AscendingOrder : Qt::DescendingOrder;
    } else {
        mSortColumn = column;
        mSortOrder = Qt::AscendingOrder;
    }
    SortList();
}

void FPrintJobs::SortList() {
    if (mSortColumn < 0) return;
    QHeaderView* header = lvwPrintJobs->header();
    header->setSortIndicatorShown(true);
    header->setSortIndicator(mSortColumn, mSortOrder);
    lvwPrintJobs->sortItems(mSortColumn, mSortOrder);
}

void FPrintJobs::tmrCheckJobs_Timer() {
    if (m_busy || !mclsPrintJobs) return;
    const QScopedValueRollback busy(m_busy, m_busy + 1);
    const int counted = mclsPrintJobs->Count();
    if (mbSavePending) {
        SavePrintJobs();
        mbSavePending = false;
        mdtLastCheck = Platform::NowMs() - 3000; // the scan follows at once
    }
    if (mbCancelPending) {
        CancelPrintJobs();
        mbCancelPending = false;
    } else if (const qint64 now = Platform::NowMs(); now - mdtLastCheck >= kRescanMs) {
        mdtLastCheck = now;
        const int before = mclsPrintJobs->Count();
        const int dropped = gConfigOptions && gConfigOptions->SIMMonitor
                                ? 0
                                : mclsPrintJobs->GetPrintJobs(*mclsMonitor);
        if (dropped > 0) { // answered in the scheduler: the list is built again
            DisplayPrintJobs();
        } else if (mclsPrintJobs->Count() > before) {
            QList<QTreeWidgetItem*> rows;
            for (int k = before + 1; k <= mclsPrintJobs->Count(); ++k)
                if (const auto job = mclsPrintJobs->Item(k)) rows << MakeRow(*job);
            lvwPrintJobs->addTopLevelItems(rows); // appended in one step: nothing is rebuilt
            SortList();
        }
    }
    if (mclsPrintJobs->Count() == 0) {
        tmrCheckJobs->stop();
        Form_Unload();
    } else if (mclsPrintJobs->Count() != counted) {
        UpdateWaiting(mclsPrintJobs->Count() > counted && !isActiveWindow());
    }
}

void FPrintJobs::TakeOutOfUse() {
    if (m_outOfUse) return;
    m_outOfUse = true;
    m_typeAhead->Hide();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    setEnabled(false);
}

void FPrintJobs::PutBackIntoUse() {
    if (!m_outOfUse) return;
    m_outOfUse = false;
    setEnabled(true);
    QApplication::restoreOverrideCursor();
    if (!mbUnloaded) FocusFirstRow();
}

void FPrintJobs::cmdCancel_Click() {
    TakeOutOfUse();
    mbCancelPending = true;
}

void FPrintJobs::cmdHelp_Click() {
    const QString& help = gEnv.m_sHelpFile;
    if (!Platform::IsFile(help))
        Warn(QStringLiteral("The help file was not found:") + QLatin1Char('\r') + help);
    else if (!Platform::OpenDocument(help))
        Warn(QStringLiteral("The help file could not be opened:") + QLatin1Char('\r') + help);
}

void FPrintJobs::cmdAbout_Click() {
    FAbout about(this);
    about.exec();
}
