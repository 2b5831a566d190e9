#pragma once
// The print monitor: follows the scheduler's jobs, holds those whose printer group waits for
// an acknowledgement, writes each job's job file into its user's folder of the data folder,
// and acts on the answers exactly once: billing, moving, releasing or cancelling the job.
//
// Everything runs on the main thread inside the event loop but the counting of pages, which
// may take seconds per document and runs on threads of its own. The scheduler answers every
// request at once (a pull of notifications is never held open), so no call here waits for
// long; what wakes the monitor is a pipe our notifier nudges at every event, the answer
// folders watched with inotify, and a timer at the interval the scheduler asks pulls to keep.
#include "monitor/jobfilelines.h"
#include "platform/cups.h"
#include "platform/files.h"
#include "platform/system.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QQueue>
#include <QSet>
#include <QThreadPool>
#include <QTimer>
#include <map>
#include <memory>
#include <optional>

namespace Platform {
class FolderWatch;
class WakeFifo;
} // namespace Platform

class CQorvMonitor : public QObject {
    Q_OBJECT
public:
    // One job the monitor has written a job file for.
    struct CTrackedJob {
        int id = 0;
        QString user;
        QString base; // base name of its files in the user's folder
        QString queue;
        qint64 created = 0;
        bool held = false;    // held by the monitor until it is answered
        bool settled = false; // its ".dat" answer was read
        bool done = false;    // answered: nothing more to do while it lives
        QString billing;
        QStringList answer; // its ".dat" as read and billed
        QByteArray jobFile; // as last written to its user's folder
        QString unmoved;    // why the queue its user redirects it to was refused
        qint64 remindedMs = -1;
        uint uid = 0;      // the user's account
        int documents = 0; // counted in its job file
    };
    // A job the monitor does not take up (yet), and why.
    struct CRefusedJob {
        QString queue;
        QString user;
        qint64 created = 0;
        QString reason;
    };
    // The pages of a job's documents as they were when counting began.
    struct CCount {
        qint64 created = 0;
        int documents = 0;
        std::optional<CJobFacts> facts; // none while being counted
        int found = 0;                  // documents that were there to count
        Platform::PrintedFrom from = Platform::PrintedFrom::Queue; // counted as it prints there
    };
    // A held job that printed without the monitor's release.
    struct CUnreleasedJob {
        QString queue;
        QString user;
        qint64 seen = 0;
    };
    static constexpr int kLeaseSeconds = 3600;
    static constexpr int kReminderMs = 3600 * 1000;
    static constexpr qint64 kMaxDocumentBytes = 64 << 20;
    static constexpr int kFirstLookMs = 10;
    static constexpr int kLastLookMs = 1000;
    // Why a held job whose pages were not all counted is not taken up.
    static const QString kUncounted;
    // Tag of this program's subscriptions.
    static inline const QString kTag = QStringLiteral("qorvmond");
    // The scheduler's policy that leaves holding, releasing, moving and changing jobs to the
    // monitor (and the scheduler's administrators).
    static inline const QString kPolicy = QStringLiteral("qorvmond");
    // The companions' policy: as kPolicy, and adding documents is the monitor's too.
    static inline const QString kCompanionPolicy = QStringLiteral("qorvmond-released");
    // How long --status names a job that printed without release.
    static constexpr qint64 kUnreleasedSeconds = 7 * 24 * 3600;
    // The queue that prints the released jobs of a queue that waits for answers.
    static QString Companion(const QString& queue);
    static bool IsCompanion(const QString& queue);

    CQorvMonitor(Platform::ICupsServer& cups, QStringList printers, QObject* parent = nullptr);
    ~CQorvMonitor() override;

    // Reads the configuration and the saved state, subscribes and sweeps; false when the
    // configuration cannot be used or the scheduler cannot be reached.
    bool Start();
    // The held jobs and how long each has waited, one line each, as the running monitor's saved
    // state and the scheduler tell; changes nothing.
    QStringList Status();
    // What is wrong with the scheduler's policy, one line each, as last checked by the running
    // monitor.
    QString PolicyProblem() const { return m_policyProblem; }

    const QMap<int, CTrackedJob>& Jobs() const { return m_jobs; }
    // Why a job cannot be taken up as it stands ("" when it can); account gets its user's.
    QString Refusal(const Platform::CupsJob& job, Platform::Account* account) const;

private:
    // The names and the configuration; layOut: the folders are made and repaired (the
    // monitor), else only opened (--status).
    bool Prepare(bool layOut);
    bool LoadConfiguration(bool layOut = true);
    void ReloadIfChanged();
    // The saved state, when the file belongs to owner; why it could not be read ("" when it
    // could, or is missing).
    QString LoadState(uint owner);
    void SaveStateSoon();
    void SaveState();
    QString StateFile() const;
    bool Subscribe();
    void RefreshQueues();
    void ApplyHoldDefaults();
    void Pull();
    void Sweep();
    // A job the scheduler told of; created: it was just created (it may have finished since).
    void Consider(const Platform::CupsJob& job, bool created);
    void TakeUp(const Platform::CupsJob& job);
    // The facts of the job's documents as they are now, once counted; else nullptr, and they are
    // counted (one job of a user at a time, so that nobody's documents hold up another user's
    // job), the job being looked at again when they are.
    const CJobFacts* Counted(const Platform::CupsJob& job);
    void CountNext(const QString& user);
    void CountDone(int id, const QString& user, const CCount& count);
    // The job file of a job as the scheduler tells it now.
    bool WriteJobFile(CTrackedJob& t, const Platform::Folder& folder, const Platform::CupsJob& job,
                      const CJobFacts& facts);
    // Whether a job that left the scheduler as last is has its pages in its job file; false
    // while the documents sent after the job file was written are being counted (it is looked at
    // again when they are).
    bool Recounted(CTrackedJob& t, const Platform::CupsJob& last);
    // Looks at jobs whose document is still arriving again, sooner first.
    void WaitForDocument(const Platform::CupsJob& job);
    void LookAtIncoming();
    void CheckAnswers(CTrackedJob& t);
    // Answers changed in a user's folder: only the jobs whose files changed are looked at.
    void UserChanged(const QString& user);
    void ReadDataAnswer(CTrackedJob& t);
    // Refuses the values a user answered (why): the job stays held and the user is told.
    void SendBack(CTrackedJob& t, const Platform::Folder& folder, const QString& why);
    void Release(CTrackedJob& t, const Platform::CupsJob& now);
    // The billing record of a released job, kept where its user can neither change nor remove it
    // until it is imported.
    Platform::Folder BilledDir() const;
    void KeepBilled(const CTrackedJob& t);
    // Why the job's user could not submit it to queue himself, "" when he could.
    QString MoveRefusal(const CTrackedJob& t, const QString& queue);
    // Puts an empty release file of the user's own at the job's name, replacing what is there
    // (keepAnswer: unless it is the user's answer to this very job).
    void Reserve(const CTrackedJob& t, bool keepAnswer);
    // Release files changed in the machine folder: those of held jobs are read, any other
    // removed.
    void MachineChanged();
    // The job left the scheduler as last is (its state, its queue).
    void Forget(const Platform::CupsJob& last);
    // Records a held job that printed all the same, and answers it so when its user has not.
    void PrintedUnreleased(const CTrackedJob& t);
    // Keeps the queues of groups that wait for answers stopped, under the policy, each with its
    // companion; checks that the scheduler refuses everyone else.
    void SecureQueues();
    void CheckPolicy();
    void Refuse(const Platform::CupsJob& job, const QString& reason);
    // The user's folder, made and given its layout when missing.
    Platform::Folder UserDir(const CTrackedJob& t) const;
    // The lines of an answer file in dir, when it is there and its owner may speak for t.
    // foreign: the file is there but another user's.
    bool ReadAnswer(const Platform::Folder& dir, const QString& name, const CTrackedJob& t,
                    QStringList* lines, bool* foreign = nullptr);
    void LayOut();
    void Watch(const QString& user);
    void Remind();
    bool Monitored(const QString& queue) const;
    QString UserFolder(const QString& user) const;
    bool PauseQueue(const Platform::CupsQueue& q) const;

    Platform::ICupsServer& m_cups;
    QStringList m_printers;
    QString m_server;
    QString m_configFile;
    qint64 m_configMtime = 0;
    QMap<int, CTrackedJob> m_jobs;
    QHash<QString, Platform::CupsQueue> m_queues;
    QMap<int, CRefusedJob> m_refused;
    QMap<int, CUnreleasedJob> m_unreleased;
    QString m_policyProblem;              // one line each
    QHash<QString, QString> m_companions; // queue -> its state and its companion's when copied
    QSet<QString> m_foreign;              // answers logged as not the job's user's
    Platform::Account m_self;
    Platform::Folder m_usersDir, m_machineDir;
    int m_pullSub = 0, m_wakeSub = 0, m_sequence = 1;
    bool m_reachable = true;
    std::unique_ptr<Platform::WakeFifo> m_wake;
    std::unique_ptr<Platform::FolderWatch> m_machine;
    QHash<QString, std::shared_ptr<Platform::FolderWatch>> m_users;
    QHash<int, CCount> m_counts;
    QHash<QString, QQueue<int>> m_countQueue; // per user, the jobs waiting to be counted
    QSet<QString> m_counting;                 // users one of whose jobs is being counted
    QThreadPool m_counters;
    // A user's jobs whose document is still arriving, looked at one at a time in turn, so that
    // many of them cost no more than one; sooner again after one arrived.
    struct CIncoming {
        QQueue<int> jobs;
        int ms = kFirstLookMs;
        QDeadlineTimer due;
    };
    QHash<QString, CIncoming> m_incoming;
    QSet<int> m_arriving; // the jobs of m_incoming
    QTimer m_pullTimer, m_renewTimer, m_reminder, m_save, m_incomingTimer;
};
