#pragma once
// The job entry window: the pending jobs in a list, one entry row per category of the
// selected jobs' printer group, and Save, Cancel, Help and About. A 100 ms timer runs the
// save and cancel requests, looks for new jobs every 2 seconds and unloads the window when no
// job is left.
#include "intake/cmonitor.h"
#include "intake/cprintjobinfos.h"

#include <QHash>
#include <QWidget>
#include <memory>
#include <vector>

class CCategory;
class CCategoryValue;
class CPrinterGroup;
class CTypeAhead;
class QComboBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QResizeEvent;
class QScrollArea;
class QSplitter;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class QSystemTrayIcon;
namespace Platform {
class DesktopNotifier;
}

class FPrintJobs : public QWidget {
    Q_OBJECT
public:
    FPrintJobs();
    ~FPrintJobs() override;

    // Shows the pending jobs and returns once the window has unloaded; returns at once when
    // no job needs the user. Jobs that need no input are settled by the scan.
    void DoPrintJobs();
    // The opening part of DoPrintJobs: scans, fills the list, shows the window and starts the
    // timer. False when no job is pending (the window is never shown).
    bool OpenPrintJobs();
    // Waits in a nested event loop until the window has unloaded.
    void WaitUntilUnloaded();
    bool IsUnloaded() const { return mbUnloaded; }

    // One tick of the 100 ms timer; public so that tests need not wait for it.
    void tmrCheckJobs_Timer();

Q_SIGNALS:
    void Unloaded();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // One entry row: the category's label and the field for its value.
    struct CEntryRow {
        int position = 0; // the category's position in its printer group (from 1)
        std::shared_ptr<CCategory> category;
        QLabel* label = nullptr;
        QComboBox* combo = nullptr;  // holds the list and the value of every row
        QLineEdit* masked = nullptr; // the visible field of a row that masks input
        QString loaded;              // the job's own value the row was loaded with
        QWidget* Field() const;
    };

    // The window and its list.
    void Form_Load();
    void Form_Unload();
    void BuildControls();
    void RestoreWindowState();
    void SaveWindowState();
    void Form_Resize();
    void LayOutPanes();
    void DisableCloseMenu();
    void StartHook(const QString& script);
    void DisplayPrintJobs();
    void lvwPrintJobs_ItemClick();
    void lvwPrintJobs_ColumnClick(int column);
    void SortList();
    QList<QTreeWidgetItem*> SelectedRows() const;
    std::shared_ptr<CPrintJobInfo> JobOfRow(const QTreeWidgetItem* row) const;
    void TakeOutOfUse();
    void PutBackIntoUse();
    void cmdCancel_Click();
    void cmdHelp_Click();
    void cmdAbout_Click();

    // The entry rows.
    void LoadUserValues(CPrintJobInfo& job);
    void UnloadUserValues();
    void AddListEntries(QComboBox* combo, const CCategory& category, CPrintJobInfo& job);
    void LayOutRows();
    void ChainTabOrder();
    void FocusFirstRow();
    void KeepEnteredValues();
    int RowOf(const QObject* widget) const;
    void CoupleQualityCost(int d);
    bool HandleRowKey(QKeyEvent* key);

    // Reaching the user while jobs wait and the window is not in front: a desktop
    // notification, the attention hint and a tray item.
    // call: restore, raise and flag the window, and notify, as for a job that just came.
    void UpdateWaiting(bool call);
    void CallUserIfRefused();
    void BringForward();

    // Validation, saving and cancelling.
    void cmdSave_Click();
    bool ValidateRows();
    void SavePrintJobs();
    void CancelPrintJobs();
    bool StoreJob(CPrintJobInfo& job);
    void ApplyOfflineValue(CPrintJobInfo& job, CCategoryValue& value) const;

    std::unique_ptr<CPrintJobInfos> mclsPrintJobs;
    std::unique_ptr<CMonitor> mclsMonitor;
    bool mbUnloaded = false;
    bool mbSavePending = false;
    bool mbCancelPending = false;
    qint64 mdtLastCheck = 0;
    int mSortColumn = -1;
    Qt::SortOrder mSortOrder = Qt::AscendingOrder;
    bool m_loaded = false;
    int m_busy = 0; // a save, cancel, scan or selection is running: ticks wait
    bool m_selecting = false;
    bool m_outOfUse = false;
    bool m_resizing = false;
    int m_focusPosition = 0; // category position of the row that had the focus at unload

    std::shared_ptr<CPrinterGroup> mclsPrinterGroup;
    std::vector<CEntryRow> m_rows;
    std::vector<bool> mabAcknowledged;
    // The jobs the shown rows answer for, and what the user changed in the rows for each job
    // they left, by job file name and category position: a job shown again gets back its own
    // answer, and what was never changed is computed afresh for it.
    QStringList m_shownFor;
    QHash<QString, QHash<int, QString>> m_entered;

    Platform::DesktopNotifier* m_notifier = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    QTimer* m_callAgain = nullptr; // repeats the notification while jobs wait unanswered
    bool m_wasInFront = false;     // active at least once since it opened

    QSplitter* splPanes = nullptr;
    QTreeWidget* lvwPrintJobs = nullptr;
    QScrollArea* picBack = nullptr;
    QWidget* picCategories = nullptr;
    QLabel* lblInstructions = nullptr;
    QWidget* picButtons = nullptr;
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdHelp = nullptr;
    QPushButton* cmdAbout = nullptr;
    QTimer* tmrCheckJobs = nullptr;
    CTypeAhead* m_typeAhead = nullptr;
};
