#pragma once
// Program start-up and the monitoring loop: wait for job files, count the pending ones, open
// the dialog when enough are pending, reload the configuration when it changes. The loop
// lives in the application's event loop: each pass ends by arming a wait, and the end of the
// wait (a change in the job folder, or a timer) starts the next pass.
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

// A change notification on the user's job folder.
class IChangeNotification {
public:
    virtual ~IChangeNotification() = default;
    // True when a change was seen since the last call; forgets it.
    virtual bool TakeChange() = 0;
    // Calls wake from the event loop when a change arrives.
    virtual void OnChange(std::function<void()> wake) = 0;
};

// What the loop needs from the world; tests replace these to run the loop without real time.
struct CLoopHooks {
    // nullptr when the folder cannot be watched.
    std::function<std::unique_ptr<IChangeNotification>(const QString& folder)> notify;
    // Creates the dialog, runs DoPrintJobs, releases it.
    std::function<void()> doPrintJobs;
    std::function<void(const QString& program)> startProgram;
    // Imports the jobs below root; stop, asked between jobs, ends it early. False when it
    // was ended so and has jobs left.
    std::function<bool(const QString& root, const QString& dataFile,
                       const std::function<bool()>& stop)>
        checkLocalJobs;
    // The hooks of the real program.
    static CLoopHooks Real();
};

class CMonitoringLoop : public QObject {
    Q_OBJECT
public:
    enum class WaitKind {
        None,    // nothing armed: a pass is running, or the program ends
        Startup, // the one wait of start-up, on the notification, 120 s at most
        Change,  // notification mode: a change in the job folder, 120 s at most
        Poll,    // polling mode: 1 s
    };
    static constexpr int kWaitLimitMs = 120000;
    static constexpr int kPollMs = 1000;
    // A reload that finds the configuration unusable tries again this often, this far apart.
    static constexpr int kReloadRetries = 5;
    static constexpr int kReloadRetryMs = 2000;
    // How often a running import looks for new jobs of the user.
    static constexpr int kImportLookMs = 200;

    explicit CMonitoringLoop(CLoopHooks hooks, QObject* parent = nullptr);
    ~CMonitoringLoop() override;

    // Start-up after the one-instance test, up to the first wait; false when the program ends
    // (configuration not found or not usable).
    bool Start();
    // One pass of the loop, ending with the next wait armed; false when the program ends.
    bool Pass();
    // Ends the armed wait as its change or timer would, and runs what follows up to the next
    // wait; false when the program ends.
    bool Wake();
    // Start, then passes driven by the event loop until the program ends with Finished.
    void Run();

    // Observed by tests.
    WaitKind PendingWait() const { return m_wait; }
    // Milliseconds until the armed wait ends by itself.
    int PendingWaitMs() const { return m_waitMs; }
    bool Polling() const { return m_polling; }
    // The start-up import gave way to new jobs and goes on at the next pass.
    bool ImportPending() const { return m_importPending; }
    bool Watching() const { return m_notify != nullptr; }
    int DisplayAfter() const { return m_displayAfter; }
    const QString& ConfigPath() const { return m_configPath; }

Q_SIGNALS:
    // The program ends with this exit status.
    void Finished(int status);

private:
    void DataHostImport();
    // The import of the jobs kept while offline, ended early when the user prints meanwhile:
    // a new job is not held up by a long import.
    void LocalImport();
    // Keeps the local working copy of the configuration in step with the shared file.
    void CopyConfiguration();
    // Counts pending job files and opens the dialog when enough are pending.
    void CountAndShow(bool log);
    void ShowJobs();
    void Arm(WaitKind kind, int ms);
    void Disarm();
    // Reads the configuration found at start-up into a new gConfigOptions; false when it
    // cannot be used.
    bool ReadConfiguration();
    // The same, trying again while the shared file might be caught mid-copy.
    bool ReloadConfiguration();
    // The armed wait ended by its timer, or by a change in the job folder.
    void Woken();
    void ChangeSeen();

    CLoopHooks m_hooks;
    std::unique_ptr<IChangeNotification> m_notify;
    QTimer m_timer;
    WaitKind m_wait = WaitKind::None;
    int m_waitMs = 0;
    bool m_polling = false;
    bool m_importPending = false;
    qint64 m_retryAt = -1; // when the last scan wants to look again (Platform::NowMs), or -1
    int m_displayAfter = 0;
    QString m_configPath;
};

// The program with no arguments, inside the application's event loop: returns the exit status.
int RunMain();
