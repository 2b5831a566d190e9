#pragma once
// The print scheduler, reached through libcups the way every libcups client reaches it
// ($CUPS_SERVER, which may name a local socket, else the default). Only this file and
// cups.cpp know libcups; the monitor talks to the small interface below.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

typedef struct _ipp_s ipp_t;
typedef struct _http_s http_t;

namespace Platform {

enum class CupsJobState {
    Pending = 3,
    Held = 4,
    Processing = 5,
    Stopped = 6,
    Canceled = 7,
    Aborted = 8,
    Completed = 9
};

struct CupsJob {
    int id = 0;
    QString queue;
    CupsJobState state = CupsJobState::Pending;
    QStringList reasons; // job-state-reasons
    QString holdUntil;   // job-hold-until
    QString user;        // job-originating-user-name
    QString title;       // job-name
    QString originHost;  // job-originating-host-name
    qint64 created = 0;  // time-at-creation, seconds since the epoch
    qint64 kOctets = 0;
    int impressions = 0; // 0 when the scheduler does not know
    int copies = 1;
    QString media;           // as the job asked for it, "" for the queue's default
    QString colorMode;       // print-color-mode, "" for the queue's default
    int orientation = 0;     // orientation-requested, 0 when not asked for
    QString billing;         // job-billing
    int documents = -1;      // number-of-documents, -1 when not told
    bool compressed = false; // its client sent it packed (IPP compression, of Print-Job)
    bool Finished() const { return state >= CupsJobState::Canceled; }
    // The document is still arriving: a job held from its creation has no "job-incoming"
    // reason, only no document yet.
    bool Incoming() const {
        return documents == 0 || reasons.contains(QLatin1String("job-incoming"));
    }
};

struct CupsQueue {
    QString name;
    QString makeAndModel;
    QString mediaDefault;
    QString colorDefault; // print-color-mode-default
    bool colorSupported = false;
    QString holdDefault; // job-hold-until-default
    QString deviceUri;
    QString opPolicy; // printer-op-policy
    QString info;     // printer-info
    bool raw = false; // no driver: documents go to the printer as they are
    bool stopped = false;
    QStringList allowedUsers; // requesting-user-name-allowed
    QStringList policies;     // printer-op-policy-supported: the scheduler's policies
};

// Whom a queue takes jobs from, as the scheduler checks it when a job is submitted.
struct CupsAdmission {
    bool accepting = true; // printer-is-accepting-jobs
    QStringList allowed;   // requesting-user-name-allowed ("@group" for a group)
    QStringList denied;    // requesting-user-name-denied
    int quotaPeriod = 0;   // job-quota-period, seconds
    int pageLimit = 0;     // job-page-limit, 0 for none
    int kLimit = 0;        // job-k-limit, 0 for none
};

// What a user has printed on a queue within a quota period, counted as the scheduler counts it.
struct CupsUsage {
    qint64 pages = 0;
    qint64 kOctets = 0;
};

struct CupsEvent {
    int sequence = 0;
    QString event; // notify-subscribed-event
    int jobId = 0;
};

// Where a job's documents print: from a queue that does not wait for answers, or from a
// companion, which prints PostScript as counted, or as sent: one without driver (a raw queue's),
// or a job its client sent packed (another filter unpacks it before the companion's sees it).
enum class PrintedFrom { Queue, Companion, CompanionAsSent };

struct DocumentCount {
    bool found = false; // the document is there, and not empty
    int pages = 0;
    qint64 bytes = 0;
    bool whole = true; // no limit of the count cut it short
};

// What the scheduler is asked to do; the monitor's logic runs against this, tests may give it
// a double.
class ICupsServer {
public:
    virtual ~ICupsServer() = default;
    // Why the last call failed.
    virtual QString LastError() const = 0;
    virtual bool Queues(QList<CupsQueue>* out) = 0;
    // Every job that has not finished.
    virtual bool Jobs(QList<CupsJob>* out) = 0;
    // False when the job is unknown (or the scheduler cannot be reached).
    virtual bool Job(int id, CupsJob* out) = 0;
    // The pages of document number (from 1) of a job, counted as CountPages does: read whole
    // where the scheduler keeps it, whatever its size, else fetched; a compressed one unpacked,
    // at most maxBytes of it (a document cut there, or that cannot be unpacked, is not counted
    // whole). from: where the job prints. A companion prints a PostScript document as counted
    // (a copy is kept); one it sends to the printer as it is (raw, or PostScript from a
    // companion without driver) is not counted whole: the printer runs it as it likes.
    // Safe on any thread: it changes nothing here, not even LastError().
    virtual DocumentCount CountDocument(int id, int number, qint64 maxBytes,
                                        PrintedFrom from) const = 0;
    virtual bool Hold(int id) = 0;
    virtual bool Release(int id) = 0;
    virtual bool Cancel(int id) = 0;
    virtual bool Move(int id, const QString& queue) = 0;
    virtual bool SetBilling(int id, const QString& billing) = 0;
    virtual bool Admission(const QString& queue, CupsAdmission* out) = 0;
    // The user's jobs on queue (any state) whose last time (completion, else processing, else
    // creation) is at or after since, seconds since the epoch.
    virtual bool Usage(const QString& queue, const QString& user, qint64 since, CupsUsage* out) = 0;
    // Sets job-hold-until-default of a queue ("indefinite", "no-hold").
    virtual bool SetHoldDefault(const QString& queue, const QString& value) = 0;
    // Stops a queue (it still takes jobs, but prints none), or starts it again.
    virtual bool SetStopped(const QString& queue, bool stopped) = 0;
    virtual bool SetPolicy(const QString& queue, const QString& policy) = 0;
    // The printer-info CopyQueue gives a companion of queue from: it tells which version of
    // the companion's driver it has.
    static QString CompanionInfo(const QString& from);
    // Makes (or brings up to date) queue to: from's driver on deviceUri, printing (not shared,
    // no hold) under policy, and taking jobs only from onlyUser.
    virtual bool CopyQueue(const QString& from, const QString& to, const QString& deviceUri,
                           const QString& policy, const QString& onlyUser) = 0;
    // A job held for good on queue, as this user, with document as its one document (sent after
    // the job is made); its number, 0 on failure (then no job is left).
    virtual int CreateHeldJob(const QString& queue, const QString& title,
                              const QByteArray& document) = 0;
    // Cancels a job and forgets it at once.
    virtual bool Purge(int id) = 0;
    enum class Probe { Hold, Release, SetAttributes, Move, GetDocument };
    // Asks, without authentication and naming user, what probe says on job id (Move: to
    // queue; GetDocument: its first document). True when the scheduler did it.
    virtual bool DoneUnauthenticated(Probe probe, int id, const QString& user,
                                     const QString& queue) = 0;
    // A subscription to events of every queue; pulled (ippget) when recipient is empty, else
    // pushed to recipient. tag goes into notify-user-data. Returns its id, 0 on failure.
    virtual int Subscribe(const QStringList& events, const QString& recipient, int leaseSeconds,
                          const QString& tag) = 0;
    virtual bool Renew(int subscription, int leaseSeconds) = 0;
    // Cancels this user's subscriptions carrying tag, and any pushing to recipient (left
    // behind by an earlier run).
    virtual void CancelSubscriptions(const QString& tag, const QString& recipient) = 0;
    enum class Pull { Ok, Lost, Failed };
    // The events from *sequence on; moves *sequence past them. Lost when events were dropped
    // or the subscription is gone. interval: the pause the scheduler asks for before the next
    // pull, in seconds.
    virtual Pull Notifications(int subscription, int* sequence, QList<CupsEvent>* events,
                               int* interval) = 0;
};

// Forgets the scheduler chosen so far (libcups keeps it per thread): the next call reads
// $CUPS_SERVER again.
void ForgetCupsServer();

// The scheduler named by the environment, or the one at server (a socket path or host).
class CupsServer : public ICupsServer {
public:
    explicit CupsServer(const QString& server = {});
    ~CupsServer() override;
    CupsServer(const CupsServer&) = delete;
    CupsServer& operator=(const CupsServer&) = delete;
    QString LastError() const override { return m_error; }
    bool Queues(QList<CupsQueue>* out) override;
    bool Jobs(QList<CupsJob>* out) override;
    bool Job(int id, CupsJob* out) override;
    DocumentCount CountDocument(int id, int number, qint64 maxBytes,
                                PrintedFrom from) const override;
    bool Hold(int id) override;
    bool Release(int id) override;
    bool Cancel(int id) override;
    bool Move(int id, const QString& queue) override;
    bool SetBilling(int id, const QString& billing) override;
    bool Admission(const QString& queue, CupsAdmission* out) override;
    bool Usage(const QString& queue, const QString& user, qint64 since, CupsUsage* out) override;
    bool SetHoldDefault(const QString& queue, const QString& value) override;
    bool SetStopped(const QString& queue, bool stopped) override;
    bool SetPolicy(const QString& queue, const QString& policy) override;
    bool CopyQueue(const QString& from, const QString& to, const QString& deviceUri,
                   const QString& policy, const QString& onlyUser) override;
    int CreateHeldJob(const QString& queue, const QString& title,
                      const QByteArray& document) override;
    bool Purge(int id) override;
    bool DoneUnauthenticated(Probe probe, int id, const QString& user,
                             const QString& queue) override;
    int Subscribe(const QStringList& events, const QString& recipient, int leaseSeconds,
                  const QString& tag) override;
    bool Renew(int subscription, int leaseSeconds) override;
    void CancelSubscriptions(const QString& tag, const QString& recipient) override;
    Pull Notifications(int subscription, int* sequence, QList<CupsEvent>* events,
                       int* interval) override;

private:
    // Sends a request whose answer holds nothing to read; on failure the reason is kept.
    bool Send(ipp_t* request, const char* resource, const char* what);
    bool JobOperation(int op, int id, const char* what);
    bool ReadJobs(ipp_t* request, const char* resource, QList<CupsJob>* out);
    QByteArray Host() const;
    // At most maxBytes of a document, fetched from the scheduler.
    // format: the document's, as the scheduler prints it.
    QByteArray FetchDocument(int id, int number, qint64 maxBytes, QString* format = nullptr) const;
    QString m_error;
    http_t* m_http = nullptr; // CUPS_HTTP_DEFAULT: the environment's scheduler
    QByteArray m_host;        // the scheduler named, "" for the environment's
};

// job-billing is a name: at most this many bytes.
constexpr int kBillingBytes = 255;

// A media keyword or name ("iso_a4_210x297mm", "na_letter_8.5x11in", "A4", "Letter") as the
// name people use and its size in inches; an empty name when unknown.
struct MediaSize {
    QString name;
    double widthIn = 0;
    double heightIn = 0;
};
MediaSize LookUpMedia(const QString& media);

// A queue's driver (PPD) as its companion gets it: PostScript prints through the pre-filter
// qorvmond-counted, the monitor's copy as it counted it. The driver's own pre-filters of
// PostScript are dropped: of two of one cost the scheduler keeps the first, which would print.
QByteArray CompanionDriver(const QByteArray& ppd);

// The scheduler's notifier of this program, "qorvmond" in its notifier folder: at every event
// it nudges a named pipe of the monitor's and passes on nothing of the event. Its recipient is
// "qorvmond://" and the pipe's path; the pipe is always named kWakeName, so that whoever
// subscribes, no other file is ever written.
inline constexpr char kWakeName[] = "qorvmond.wake";
QString WakeRecipient(const QString& pipe);
// The notifier's work: one nudge for each batch of events arriving on standard input, until
// the scheduler closes it; its exit code.
int RunWakeNotifier(const char* recipient);

} // namespace Platform
