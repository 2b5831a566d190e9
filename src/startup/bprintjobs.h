#pragma once
// Program start-up and the monitoring loop: wait for job files, count the pending ones, open
// the dialog when enough are pending, reload the configuration when it changes.
#include <QString>
#include <functional>
#include <memory>

// A change notification on the user's job folder.
class IChangeNotification {
public:
    virtual ~IChangeNotification() = default;
    // Waits up to ms; true when a change was seen since the last re-arm.
    virtual bool Wait(int ms) = 0;
    // Find-next: forgets the changes seen so far.
    virtual void Rearm() = 0;
};

// What the loop needs from the world; tests replace these to run the loop without real time.
struct CLoopHooks {
    // nullptr when the folder cannot be watched.
    std::function<std::unique_ptr<IChangeNotification>(const QString& folder)> notify;
    // Services the message queue, then sleeps (polling mode).
    std::function<void(int ms)> sleep;
    // Lets queued events run (every wait slice).
    std::function<void()> serviceQueue;
    // Creates the dialog, runs DoPrintJobs, releases it.
    std::function<void()> doPrintJobs;
    std::function<void(const QString& program)> startProgram;
    std::function<void(const QString& root, const QString& dataFile)> checkLocalJobs;
    // The hooks of the real program.
    static CLoopHooks Real();
};

class CMonitoringLoop {
public:
    explicit CMonitoringLoop(CLoopHooks hooks) : m_hooks(std::move(hooks)) {}
    // Start-up after the one-instance test: true when the loop may run, false when the
    // program ends (configuration not found or not usable).
    bool Start();
    // One pass of the loop; false when the program ends (a reload failed).
    bool Pass();

    // Observed by tests.
    bool Polling() const { return m_polling; }
    int DisplayAfter() const { return m_displayAfter; }
    const QString& ConfigPath() const { return m_configPath; }

private:
    void DataHostImport();
    // Counts pending job files and opens the dialog when enough are pending.
    void CountAndShow(bool log);
    void WaitForChange(int limit);
    bool ReadConfiguration();

    CLoopHooks m_hooks;
    std::unique_ptr<IChangeNotification> m_notify;
    bool m_polling = false;
    int m_displayAfter = 0;
    QString m_configPath;
};

// The program with no arguments: runs until a reload fails; returns the exit status.
int RunMain();
