#include "platform/cups.h"

#include "platform/files.h"
#include "platform/posixfile.h"

#include <cups/cups.h>
#define POINTERHOLDER_TRANSITION 4 // no legacy pointer types
#include <qpdf/QPDF.hh>

#include <QProcess>
#include <QRandomGenerator>

#include <cstring>
#include <memory>
#include <sys/mman.h>
#include <unistd.h>

namespace Platform {

namespace {
const char* const kServerUri = "ipp://localhost/";

struct IppFree {
    void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using Ipp = std::unique_ptr<ipp_t, IppFree>;

QString Text(const char* s) {
    return s ? QString::fromUtf8(s) : QString();
}

QByteArray JobUri(int id) {
    return QByteArray("ipp://localhost/jobs/") + QByteArray::number(id);
}

QByteArray PrinterUri(const QString& queue) {
    return QByteArray("ipp://localhost/printers/") + queue.toUtf8();
}

ipp_t* Request(ipp_op_t op, const char* uriName, const QByteArray& uri) {
    ipp_t* r = ippNewRequest(op);
    ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_URI, uriName, nullptr, uri.constData());
    ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    return r;
}

void RequestAttributes(ipp_t* r, std::initializer_list<const char*> names) {
    std::vector<const char*> list(names);
    ippAddStrings(r, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", int(list.size()),
                  nullptr, list.data());
}

const char* const kJobAttributes[] = {"job-id",
                                      "job-printer-uri",
                                      "job-state",
                                      "job-state-reasons",
                                      "job-hold-until",
                                      "job-originating-user-name",
                                      "job-name",
                                      "job-originating-host-name",
                                      "time-at-creation",
                                      "job-k-octets",
                                      "job-impressions",
                                      "copies",
                                      "media",
                                      "print-color-mode",
                                      "orientation-requested",
                                      "job-billing",
                                      "number-of-documents"};

// Reads each group of kind tag into a new item of out: read(item, name, attribute).
template <class T, class F> void ReadGroups(ipp_t* ipp, ipp_tag_t tag, QList<T>* out, F&& read) {
    T* item = nullptr;
    for (ipp_attribute_t* a = ippFirstAttribute(ipp); a; a = ippNextAttribute(ipp)) {
        const char* name = ippGetName(a);
        if (!name || ippGetGroupTag(a) != tag) {
            item = nullptr;
            continue;
        }
        if (!item) item = &out->emplace_back();
        read(*item, QByteArray(name), a);
    }
}

QString String(ipp_attribute_t* attr) {
    return Text(ippGetString(attr, 0, nullptr));
}

void ReadJob(CupsJob& job, const QByteArray& n, ipp_attribute_t* attr) {
    if (n == "job-id") {
        job.id = ippGetInteger(attr, 0);
    } else if (n == "job-printer-uri") {
        const QString uri = String(attr);
        job.queue = uri.mid(uri.lastIndexOf(QLatin1Char('/')) + 1);
    } else if (n == "job-state") {
        job.state = CupsJobState(ippGetInteger(attr, 0));
    } else if (n == "job-state-reasons") {
        for (int i = 0; i < ippGetCount(attr); ++i)
            job.reasons << Text(ippGetString(attr, i, nullptr));
    } else if (n == "job-hold-until") {
        job.holdUntil = String(attr);
    } else if (n == "job-originating-user-name") {
        job.user = String(attr);
    } else if (n == "job-name") {
        job.title = String(attr);
    } else if (n == "job-originating-host-name") {
        job.originHost = String(attr);
    } else if (n == "time-at-creation") {
        job.created = ippGetInteger(attr, 0);
    } else if (n == "job-k-octets") {
        job.kOctets = ippGetInteger(attr, 0);
    } else if (n == "job-impressions") {
        job.impressions = ippGetInteger(attr, 0);
    } else if (n == "copies") {
        job.copies = ippGetInteger(attr, 0);
    } else if (n == "media") {
        job.media = String(attr);
    } else if (n == "print-color-mode") {
        job.colorMode = String(attr);
    } else if (n == "orientation-requested") {
        job.orientation = ippGetInteger(attr, 0);
    } else if (n == "job-billing") {
        job.billing = String(attr);
    } else if (n == "number-of-documents") {
        job.documents = ippGetInteger(attr, 0);
    }
}
} // namespace

void ForgetCupsServer() {
    cupsSetServer(nullptr);
}

CupsServer::CupsServer(const QString& server) {
    if (server.isEmpty()) return;
    const QByteArray name = server.toUtf8();
    m_http = httpConnect2(name.constData(), ippPort(), nullptr,
                          server.startsWith(QLatin1Char('/')) ? AF_LOCAL : AF_UNSPEC,
                          HTTP_ENCRYPTION_IF_REQUESTED, 1, 0, nullptr);
    // Made without connecting (each request connects): a scheduler that is not up yet is
    // reached later, never the default one instead.
    if (m_http) return;
    m_error = QStringLiteral("Unknown scheduler ") + server;
    m_http = httpConnect2("/nonexistent/cups.sock", 0, nullptr, AF_LOCAL,
                          HTTP_ENCRYPTION_IF_REQUESTED, 1, 0, nullptr);
}

CupsServer::~CupsServer() {
    if (m_http) httpClose(m_http);
}

bool CupsServer::Send(ipp_t* request, const char* resource, const char* what) {
    Ipp response(cupsDoRequest(m_http, request, resource));
    if (cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE) return true;
    m_error = QString::fromLatin1(what) + QStringLiteral(": ") + Text(cupsLastErrorString());
    return false;
}

bool CupsServer::JobOperation(int op, int id, const char* what) {
    return Send(Request(ipp_op_t(op), "job-uri", JobUri(id)), "/jobs/", what);
}

bool CupsServer::Queues(QList<CupsQueue>* out) {
    out->clear();
    ipp_t* r = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
    ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    RequestAttributes(r, {"printer-name", "printer-make-and-model", "media-default",
                          "print-color-mode-default", "color-supported", "job-hold-until-default"});
    Ipp response(cupsDoRequest(m_http, r, "/"));
    if (cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND) return true; // no queue at all
    if (!response || cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) {
        m_error = Text(cupsLastErrorString());
        return false;
    }
    ReadGroups(response.get(), IPP_TAG_PRINTER, out,
               [](CupsQueue& q, const QByteArray& n, ipp_attribute_t* a) {
                   if (n == "printer-name") q.name = String(a);
                   if (n == "printer-make-and-model") q.makeAndModel = String(a);
                   if (n == "media-default") q.mediaDefault = String(a);
                   if (n == "print-color-mode-default") q.colorDefault = String(a);
                   if (n == "color-supported") q.colorSupported = ippGetBoolean(a, 0);
                   if (n == "job-hold-until-default") q.holdDefault = String(a);
               });
    return true;
}

bool CupsServer::Jobs(QList<CupsJob>* out) {
    out->clear();
    ipp_t* r = Request(IPP_OP_GET_JOBS, "printer-uri", kServerUri);
    ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "not-completed");
    return ReadJobs(r, "/", out);
}

bool CupsServer::Job(int id, CupsJob* out) {
    QList<CupsJob> jobs;
    ReadJobs(Request(IPP_OP_GET_JOB_ATTRIBUTES, "job-uri", JobUri(id)), "/jobs/", &jobs);
    *out = jobs.value(0);
    return out->id == id;
}

bool CupsServer::ReadJobs(ipp_t* request, const char* resource, QList<CupsJob>* out) {
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  int(std::size(kJobAttributes)), nullptr, kJobAttributes);
    Ipp response(cupsDoRequest(m_http, request, resource));
    if (!response || cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) {
        m_error = Text(cupsLastErrorString());
        return false;
    }
    ReadGroups(response.get(), IPP_TAG_JOB, out, ReadJob);
    out->removeIf([](const CupsJob& j) { return j.id <= 0; });
    return true;
}

QByteArray CupsServer::Document(int id, qint64 maxBytes, int number) {
    // The document comes after the response on the connection: it is written into a memory
    // file, since the default connection cannot be read directly.
    const int fd = ::memfd_create("qorvmond-document", MFD_CLOEXEC);
    if (fd < 0) return {};
    ipp_t* r = Request(IPP_OP_CUPS_GET_DOCUMENT, "job-uri", JobUri(id));
    ippAddInteger(r, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "document-number", number);
    Ipp response(cupsDoIORequest(m_http, r, "/jobs/", -1, fd));
    QByteArray data;
    if (response && cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE &&
        ::lseek(fd, 0, SEEK_SET) == 0)
        Posix::ReadAll(fd, maxBytes, &data);
    else
        m_error = Text(cupsLastErrorString());
    ::close(fd);
    return data;
}

bool CupsServer::Hold(int id) {
    return JobOperation(IPP_OP_HOLD_JOB, id, "Hold-Job");
}

bool CupsServer::Release(int id) {
    return JobOperation(IPP_OP_RELEASE_JOB, id, "Release-Job");
}

bool CupsServer::Cancel(int id) {
    return JobOperation(IPP_OP_CANCEL_JOB, id, "Cancel-Job");
}

bool CupsServer::Move(int id, const QString& queue) {
    ipp_t* r = Request(IPP_OP_CUPS_MOVE_JOB, "job-uri", JobUri(id));
    ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_URI, "job-printer-uri", nullptr,
                 PrinterUri(queue).constData());
    return Send(r, "/jobs/", "CUPS-Move-Job");
}

bool CupsServer::SetBilling(int id, const QString& billing) {
    ipp_t* r = Request(IPP_OP_SET_JOB_ATTRIBUTES, "job-uri", JobUri(id));
    ippAddString(r, IPP_TAG_JOB, IPP_TAG_NAME, "job-billing", nullptr,
                 billing.toUtf8().constData());
    return Send(r, "/jobs/", "Set-Job-Attributes");
}

bool CupsServer::SetHoldDefault(const QString& queue, const QString& value) {
    ipp_t* r = Request(IPP_OP_CUPS_ADD_MODIFY_PRINTER, "printer-uri", PrinterUri(queue));
    ippAddString(r, IPP_TAG_PRINTER, IPP_TAG_NAME, "job-hold-until-default", nullptr,
                 value.toUtf8().constData());
    return Send(r, "/admin/", "CUPS-Add-Modify-Printer");
}

int CupsServer::Subscribe(const QStringList& events, const QString& recipient, int leaseSeconds,
                          const QString& tag) {
    ipp_t* r = Request(IPP_OP_CREATE_PRINTER_SUBSCRIPTIONS, "printer-uri", kServerUri);
    if (recipient.isEmpty())
        ippAddString(r, IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-pull-method", nullptr,
                     "ippget");
    else
        ippAddString(r, IPP_TAG_SUBSCRIPTION, IPP_TAG_URI, "notify-recipient-uri", nullptr,
                     recipient.toUtf8().constData());
    QList<QByteArray> names;
    for (const QString& e : events) names << e.toUtf8();
    std::vector<const char*> list;
    for (const QByteArray& n : names) list.push_back(n.constData());
    ippAddStrings(r, IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-events", int(list.size()),
                  nullptr, list.data());
    ippAddInteger(r, IPP_TAG_SUBSCRIPTION, IPP_TAG_INTEGER, "notify-lease-duration", leaseSeconds);
    const QByteArray data = tag.toUtf8();
    ippAddOctetString(r, IPP_TAG_SUBSCRIPTION, "notify-user-data", data.constData(),
                      int(data.size()));
    Ipp response(cupsDoRequest(m_http, r, "/"));
    ipp_attribute_t* id =
        response ? ippFindAttribute(response.get(), "notify-subscription-id", IPP_TAG_INTEGER)
                 : nullptr;
    if (id && cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE) return ippGetInteger(id, 0);
    m_error = QStringLiteral("Create-Printer-Subscriptions: ") + Text(cupsLastErrorString());
    return 0;
}

bool CupsServer::Renew(int subscription, int leaseSeconds) {
    ipp_t* r = Request(IPP_OP_RENEW_SUBSCRIPTION, "printer-uri", kServerUri);
    ippAddInteger(r, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-id", subscription);
    ippAddInteger(r, IPP_TAG_SUBSCRIPTION, IPP_TAG_INTEGER, "notify-lease-duration", leaseSeconds);
    return Send(r, "/", "Renew-Subscription");
}

void CupsServer::CancelSubscriptions(const QString& tag, const QString& recipient) {
    ipp_t* r = Request(IPP_OP_GET_SUBSCRIPTIONS, "printer-uri", kServerUri);
    ippAddBoolean(r, IPP_TAG_OPERATION, "my-subscriptions", 1);
    Ipp response(cupsDoRequest(m_http, r, "/"));
    if (!response) return;
    const QByteArray wanted = tag.toUtf8(), uri = recipient.toUtf8();
    QList<int> ids;
    // The id comes last in each subscription's group: a group is judged at its end.
    int id = 0;
    bool ours = false;
    auto close = [&] {
        if (id > 0 && ours) ids << id;
        id = 0;
        ours = false;
    };
    for (ipp_attribute_t* a = ippFirstAttribute(response.get()); a;
         a = ippNextAttribute(response.get())) {
        const char* name = ippGetName(a);
        if (!name) {
            close();
            continue;
        }
        if (!std::strcmp(name, "notify-subscription-id")) id = ippGetInteger(a, 0);
        if (!std::strcmp(name, "notify-recipient-uri") && !uri.isEmpty() &&
            uri == ippGetString(a, 0, nullptr))
            ours = true;
        if (!std::strcmp(name, "notify-user-data")) {
            int len = 0;
            const void* data = ippGetOctetString(a, 0, &len);
            if (QByteArray(static_cast<const char*>(data), len) == wanted) ours = true;
        }
    }
    close();
    for (int sub : ids) {
        ipp_t* c = Request(IPP_OP_CANCEL_SUBSCRIPTION, "printer-uri", kServerUri);
        ippAddInteger(c, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-id", sub);
        Send(c, "/", "Cancel-Subscription");
    }
}

ICupsServer::Pull CupsServer::Notifications(int subscription, int* sequence,
                                            QList<CupsEvent>* events, int* interval) {
    events->clear();
    // The scheduler answers at once (it does not hold the request for notify-wait): the
    // caller pulls when woken, or after the interval it is told.
    ipp_t* r = Request(IPP_OP_GET_NOTIFICATIONS, "printer-uri", kServerUri);
    ippAddInteger(r, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-ids", subscription);
    ippAddInteger(r, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-sequence-numbers", *sequence);
    Ipp response(cupsDoRequest(m_http, r, "/"));
    const ipp_status_t status = cupsLastError();
    if (status == IPP_STATUS_ERROR_NOT_FOUND) return Pull::Lost;
    if (!response || status > IPP_STATUS_OK_EVENTS_COMPLETE) {
        m_error = QStringLiteral("Get-Notifications: ") + Text(cupsLastErrorString());
        return Pull::Failed;
    }
    if (ipp_attribute_t* i =
            ippFindAttribute(response.get(), "notify-get-interval", IPP_TAG_INTEGER))
        *interval = ippGetInteger(i, 0);
    ReadGroups(response.get(), IPP_TAG_EVENT_NOTIFICATION, events,
               [](CupsEvent& e, const QByteArray& n, ipp_attribute_t* a) {
                   if (n == "notify-sequence-number") e.sequence = ippGetInteger(a, 0);
                   if (n == "notify-subscribed-event") e.event = String(a);
                   if (n == "notify-job-id") e.jobId = ippGetInteger(a, 0);
               });
    const bool lost = !events->isEmpty() && events->first().sequence > *sequence;
    for (const CupsEvent& ev : *events) *sequence = std::max(*sequence, ev.sequence + 1);
    return lost ? Pull::Lost : Pull::Ok;
}

MediaSize LookUpMedia(const QString& media) {
    const QByteArray m = media.toUtf8();
    pwg_media_t* pwg = nullptr;
    if (!m.isEmpty()) pwg = pwgMediaForPWG(m.constData());
    if (!pwg && !m.isEmpty()) pwg = pwgMediaForPPD(m.constData());
    if (!pwg && !m.isEmpty()) pwg = pwgMediaForLegacy(m.constData());
    if (!pwg) return {};
    MediaSize size;
    size.name = Text(pwg->ppd ? pwg->ppd : pwg->legacy ? pwg->legacy : pwg->pwg);
    size.widthIn = pwg->width / 2540.0;
    size.heightIn = pwg->length / 2540.0;
    return size;
}

namespace {
// Runs the document on a device that prints nothing and asks the device how many pages went
// out. "quit" only stops the document; the count follows a mark the document cannot know.
int CountPostScriptPages(const QByteArray& document) {
    const QByteArray mark = "pages-" + QByteArray::number(QRandomGenerator::system()->generate64());
    QProcess gs;
    gs.setStandardErrorFile(QProcess::nullDevice());
    gs.start(
        QStringLiteral("gs"),
        {QStringLiteral("-q"), QStringLiteral("-dSAFER"), QStringLiteral("-dBATCH"),
         QStringLiteral("-dNOPAUSE"), QStringLiteral("-sDEVICE=nullpage"),
         QStringLiteral("-sOutputFile=/dev/null"), QStringLiteral("-c"),
         QString::fromLatin1("/quit {stop} def {(%stdin) (r) file cvx exec} stopped pop "
                             "systemdict begin (" +
                             mark + " ) print currentpagedevice /PageCount get == flush end")});
    if (!gs.waitForStarted()) return 0;
    gs.write(document);
    gs.closeWriteChannel();
    if (!gs.waitForFinished(kCountMs)) {
        gs.kill();
        gs.waitForFinished();
        return 0;
    }
    const QByteArray out = gs.readAllStandardOutput();
    const qsizetype at = out.lastIndexOf(mark + ' ');
    if (at < 0) return 0;
    bool ok = false;
    const int n = out.mid(at + mark.size() + 1).trimmed().toInt(&ok);
    return ok ? n : 0;
}
} // namespace

int CountPages(const QByteArray& document) {
    if (document.startsWith("%PDF")) {
        try {
            QPDF pdf;
            pdf.setSuppressWarnings(true);
            pdf.processMemoryFile("job", document.constData(), size_t(document.size()));
            return int(pdf.getAllPages().size());
        } catch (const std::exception&) {
            return 0;
        }
    }
    if (document.startsWith("%!")) return CountPostScriptPages(document);
    return 0;
}

QString CupsFeedFolder() {
    const QString server = Text(cupsServer());
    const bool local = server.startsWith(QLatin1Char('/')) ||
                       server.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0;
    if (!local) return {};
    QString root = qEnvironmentVariable("CUPS_SERVERROOT");
    if (root.isEmpty()) root = QStringLiteral("/etc/cups");
    QString cache = QStringLiteral("/var/cache/cups");
    bool ok = false;
    for (const QString& line : ReadLines(root + QStringLiteral("/cups-files.conf"), &ok)) {
        const QString t = line.trimmed();
        if (t.startsWith(QLatin1String("CacheDir "), Qt::CaseInsensitive))
            cache = t.mid(9).trimmed();
    }
    return cache + QStringLiteral("/rss");
}

} // namespace Platform
