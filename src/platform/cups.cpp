#include "platform/cups.h"

#include "platform/countedcopy.h"
#include "platform/files.h"
#include "platform/pagecount.h"
#include "platform/posixfile.h"

#include <cups/cups.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/landlock.h>
#include <memory>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
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
                                      "number-of-documents",
                                      "compression"};

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
    } else if (n == "compression") {
        job.compressed = String(attr) != QLatin1String("none");
    }
}
} // namespace

void ForgetCupsServer() {
    cupsSetServer(nullptr);
}

namespace {
// Made without connecting (each request connects): a scheduler that is not up yet is reached
// later.
http_t* Connect(const QByteArray& server) {
    return httpConnect2(server.constData(), ippPort(), nullptr,
                        server.startsWith('/') ? AF_LOCAL : AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED,
                        1, 0, nullptr);
}
} // namespace

CupsServer::CupsServer(const QString& server) {
    if (server.isEmpty()) return;
    m_host = server.toUtf8();
    m_http = Connect(m_host);
    // Never the default scheduler instead.
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
                          "print-color-mode-default", "color-supported", "job-hold-until-default",
                          "device-uri", "printer-op-policy", "printer-info", "printer-state",
                          "requesting-user-name-allowed", "printer-op-policy-supported"});
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
                   // what the scheduler names a queue without driver
                   q.raw = q.makeAndModel == QLatin1String("Local Raw Printer");
                   if (n == "media-default") q.mediaDefault = String(a);
                   if (n == "print-color-mode-default") q.colorDefault = String(a);
                   if (n == "color-supported") q.colorSupported = ippGetBoolean(a, 0);
                   if (n == "job-hold-until-default") q.holdDefault = String(a);
                   if (n == "device-uri") q.deviceUri = String(a);
                   if (n == "printer-op-policy") q.opPolicy = String(a);
                   if (n == "printer-info") q.info = String(a);
                   if (n == "printer-state") q.stopped = ippGetInteger(a, 0) == IPP_PSTATE_STOPPED;
                   QStringList* list = n == "requesting-user-name-allowed"  ? &q.allowedUsers
                                       : n == "printer-op-policy-supported" ? &q.policies
                                                                            : nullptr;
                   for (int i = 0; list && i < ippGetCount(a); ++i)
                       *list << Text(ippGetString(a, i, nullptr));
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

namespace {
// The scheduler's spool folder (RequestRoot of its cups-files.conf) when it runs on this
// machine, else "".
QString SpoolFolder(const QByteArray& server) {
    if (!server.startsWith('/') && server.compare("localhost", Qt::CaseInsensitive) != 0) return {};
    QString root = qEnvironmentVariable("CUPS_SERVERROOT");
    if (root.isEmpty()) root = QStringLiteral("/etc/cups");
    QString spool = QStringLiteral("/var/spool/cups");
    for (const QString& line : ReadLines(root + QStringLiteral("/cups-files.conf"))) {
        const QString t = line.trimmed();
        if (t.startsWith(QLatin1String("RequestRoot "), Qt::CaseInsensitive))
            spool = t.mid(12).trimmed();
    }
    return spool;
}
} // namespace

QByteArray CupsServer::Host() const {
    return m_host.isEmpty() ? QByteArray(cupsServer()) : m_host;
}

QByteArray CupsServer::FetchDocument(int id, int number, qint64 maxBytes, QString* format) const {
    const QByteArray host = Host();
    // Else on a connection of its own: the document follows the response on it, and once
    // maxBytes are read, closing it leaves the rest unread, however large.
    const std::unique_ptr<http_t, void (*)(http_t*)> http(Connect(host), httpClose);
    Ipp request(Request(IPP_OP_CUPS_GET_DOCUMENT, "job-uri", JobUri(id)));
    ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "document-number", number);
    Ipp response;
    // As every libcups request does: once more after authenticating.
    for (int tries = 0; http && tries < 3 && !response; ++tries) {
        const http_status_t sent =
            cupsSendRequest(http.get(), request.get(), "/jobs/", ippLength(request.get()));
        if (sent != HTTP_STATUS_CONTINUE && sent != HTTP_STATUS_OK) break;
        response.reset(cupsGetResponse(http.get(), "/jobs/"));
        if (!response && httpGetStatus(http.get()) != HTTP_STATUS_UNAUTHORIZED) break;
    }
    QByteArray data;
    if (!response || cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) return data;
    if (format) // as the scheduler typed it, whatever its client said
        *format = Text(ippGetString(
            ippFindAttribute(response.get(), "document-format", IPP_TAG_MIMETYPE), 0, nullptr));
    char buffer[65536];
    while (data.size() < maxBytes) {
        const ssize_t n = httpRead2(
            http.get(), buffer, size_t(std::min<qint64>(sizeof buffer, maxBytes - data.size())));
        if (n <= 0) break;
        data.append(buffer, qsizetype(n));
    }
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

bool CupsServer::Admission(const QString& queue, CupsAdmission* out) {
    *out = {};
    ipp_t* r = Request(IPP_OP_GET_PRINTER_ATTRIBUTES, "printer-uri", PrinterUri(queue));
    RequestAttributes(r, {"printer-is-accepting-jobs", "requesting-user-name-allowed",
                          "requesting-user-name-denied", "job-quota-period", "job-page-limit",
                          "job-k-limit"});
    Ipp response(cupsDoRequest(m_http, r, "/"));
    if (!response || cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) {
        m_error = QStringLiteral("Get-Printer-Attributes: ") + Text(cupsLastErrorString());
        return false;
    }
    auto names = [](ipp_attribute_t* a) {
        QStringList list;
        for (int i = 0; i < ippGetCount(a); ++i) list << Text(ippGetString(a, i, nullptr));
        return list;
    };
    for (ipp_attribute_t* a = ippFirstAttribute(response.get()); a;
         a = ippNextAttribute(response.get())) {
        const QByteArray n(ippGetName(a) ? ippGetName(a) : "");
        const bool number = ippGetValueTag(a) == IPP_TAG_INTEGER;
        if (n == "printer-is-accepting-jobs") out->accepting = ippGetBoolean(a, 0);
        if (n == "requesting-user-name-allowed" && ippGetValueTag(a) == IPP_TAG_NAME)
            out->allowed = names(a);
        if (n == "requesting-user-name-denied" && ippGetValueTag(a) == IPP_TAG_NAME)
            out->denied = names(a);
        if (n == "job-quota-period" && number) out->quotaPeriod = ippGetInteger(a, 0);
        if (n == "job-page-limit" && number) out->pageLimit = ippGetInteger(a, 0);
        if (n == "job-k-limit" && number) out->kLimit = ippGetInteger(a, 0);
    }
    return true;
}

bool CupsServer::Usage(const QString& queue, const QString& user, qint64 since, CupsUsage* out) {
    *out = {};
    ipp_t* r = Request(IPP_OP_GET_JOBS, "printer-uri", PrinterUri(queue));
    ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
    RequestAttributes(r, {"job-originating-user-name", "time-at-creation", "time-at-processing",
                          "time-at-completion", "job-impressions-completed",
                          "job-media-sheets-completed", "job-k-octets"});
    Ipp response(cupsDoRequest(m_http, r, "/"));
    if (!response || cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) {
        m_error = QStringLiteral("Get-Jobs: ") + Text(cupsLastErrorString());
        return false;
    }
    struct Seen {
        QString user;
        qint64 times[3] = {-1, -1, -1}; // completion, processing, creation
        qint64 impressions = -1, sheets = -1, kOctets = 0;
    };
    QList<Seen> jobs;
    ReadGroups(response.get(), IPP_TAG_JOB, &jobs,
               [](Seen& j, const QByteArray& n, ipp_attribute_t* a) {
                   if (n == "job-originating-user-name") j.user = String(a);
                   if (ippGetValueTag(a) != IPP_TAG_INTEGER) return; // "no-value" until then
                   const qint64 v = ippGetInteger(a, 0);
                   if (n == "time-at-completion") j.times[0] = v;
                   if (n == "time-at-processing") j.times[1] = v;
                   if (n == "time-at-creation") j.times[2] = v;
                   if (n == "job-impressions-completed") j.impressions = v;
                   if (n == "job-media-sheets-completed") j.sheets = v;
                   if (n == "job-k-octets") j.kOctets = v;
               });
    for (const Seen& j : std::as_const(jobs)) {
        const qint64* time =
            std::find_if(std::begin(j.times), std::end(j.times), [](qint64 t) { return t >= 0; });
        if (j.user.compare(user, Qt::CaseInsensitive) != 0 || time == std::end(j.times) ||
            *time < since)
            continue;
        out->pages += j.impressions >= 0 ? j.impressions : std::max<qint64>(j.sheets, 0);
        out->kOctets += j.kOctets;
    }
    return true;
}

bool CupsServer::SetHoldDefault(const QString& queue, const QString& value) {
    ipp_t* r = Request(IPP_OP_CUPS_ADD_MODIFY_PRINTER, "printer-uri", PrinterUri(queue));
    ippAddString(r, IPP_TAG_PRINTER, IPP_TAG_NAME, "job-hold-until-default", nullptr,
                 value.toUtf8().constData());
    return Send(r, "/admin/", "CUPS-Add-Modify-Printer");
}

bool CupsServer::SetStopped(const QString& queue, bool stopped) {
    return Send(Request(stopped ? IPP_OP_PAUSE_PRINTER : IPP_OP_RESUME_PRINTER, "printer-uri",
                        PrinterUri(queue)),
                "/admin/", stopped ? "Pause-Printer" : "Resume-Printer");
}

bool CupsServer::SetPolicy(const QString& queue, const QString& policy) {
    ipp_t* r = Request(IPP_OP_CUPS_ADD_MODIFY_PRINTER, "printer-uri", PrinterUri(queue));
    ippAddString(r, IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-op-policy", nullptr,
                 policy.toUtf8().constData());
    return Send(r, "/admin/", "CUPS-Add-Modify-Printer");
}

QByteArray CompanionDriver(const QByteArray& ppd) {
    static const QRegularExpression postScript(
        QStringLiteral("^\\s*\\*cupsPreFilter:\\s*\"\\s*(application|\\*)/(postscript|\\*)\\s"),
        QRegularExpression::CaseInsensitiveOption);
    QList<QByteArray> lines = ppd.split('\n');
    lines.removeIf([](const QByteArray& line) {
        return postScript.match(QString::fromLatin1(line)).hasMatch();
    });
    QByteArray out = lines.join('\n');
    if (!out.isEmpty() && !out.endsWith('\n')) out += '\n';
    return out + "*cupsPreFilter: \"application/postscript 0 qorvmond-counted\"\n";
}

namespace {
// The driver read into fd, as the companion gets it.
bool MakeCompanionDriver(int fd) {
    QByteArray ppd;
    if (::lseek(fd, 0, SEEK_SET) != 0 || !Posix::ReadAll(fd, -1, &ppd)) return false;
    return ::ftruncate(fd, 0) == 0 && ::lseek(fd, 0, SEEK_SET) == 0 &&
           Posix::WriteAll(QStringLiteral("memfd:qorvmond-ppd"), fd, CompanionDriver(ppd));
}
} // namespace

QString ICupsServer::CompanionInfo(const QString& from) {
    // Changed with what the companion's driver gets: a companion of an earlier one is made again.
    return QStringLiteral("Jobs of ") + from +
           QStringLiteral(" released by qorvmond; PostScript printed as counted");
}

bool CupsServer::CopyQueue(const QString& from, const QString& to, const QString& deviceUri,
                           const QString& policy, const QString& onlyUser) {
    // The driver goes with the request, read from the scheduler into a memory file.
    const int fd = ::memfd_create("qorvmond-ppd", MFD_CLOEXEC);
    if (fd < 0) {
        m_error = QStringLiteral("memfd_create failed");
        return false;
    }
    const QByteArray ppd = "/printers/" + from.toUtf8() + ".ppd";
    // A queue without driver (raw) gets none, and no filter: it prints documents as sent.
    const bool driver = cupsGetFd(m_http, ppd.constData(), fd) == HTTP_STATUS_OK;
    if (driver && !MakeCompanionDriver(fd)) {
        ::close(fd);
        m_error = QStringLiteral("the driver of ") + from + QStringLiteral(" cannot be copied");
        return false;
    }
    ipp_t* r = Request(IPP_OP_CUPS_ADD_MODIFY_PRINTER, "printer-uri", PrinterUri(to));
    ippAddString(r, IPP_TAG_PRINTER, IPP_TAG_URI, "device-uri", nullptr,
                 deviceUri.toUtf8().constData());
    ippAddString(r, IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-op-policy", nullptr,
                 policy.toUtf8().constData());
    ippAddString(r, IPP_TAG_PRINTER, IPP_TAG_NAME, "requesting-user-name-allowed", nullptr,
                 onlyUser.toUtf8().constData());
    ippAddString(r, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-info", nullptr,
                 CompanionInfo(from).toUtf8().constData());
    ippAddString(r, IPP_TAG_PRINTER, IPP_TAG_NAME, "job-hold-until-default", nullptr, "no-hold");
    ippAddBoolean(r, IPP_TAG_PRINTER, "printer-is-shared", 0);
    ippAddBoolean(r, IPP_TAG_PRINTER, "printer-is-accepting-jobs", 1);
    ippAddInteger(r, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-state", IPP_PSTATE_IDLE);
    Ipp response(driver && ::lseek(fd, 0, SEEK_SET) == 0
                     ? cupsDoIORequest(m_http, r, "/admin/", fd, -1)
                     : cupsDoRequest(m_http, r, "/admin/"));
    ::close(fd);
    if (cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE) return true;
    m_error = QStringLiteral("CUPS-Add-Modify-Printer: ") + Text(cupsLastErrorString());
    return false;
}

int CupsServer::CreateHeldJob(const QString& queue, const QString& title,
                              const QByteArray& document) {
    const QByteArray name = queue.toUtf8(), titled = title.toUtf8();
    ipp_t* r = Request(IPP_OP_CREATE_JOB, "printer-uri", PrinterUri(queue));
    ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, titled.constData());
    ippAddString(r, IPP_TAG_JOB, IPP_TAG_KEYWORD, "job-hold-until", nullptr, "indefinite");
    Ipp response(cupsDoRequest(m_http, r, ("/printers/" + name).constData()));
    ipp_attribute_t* id =
        response ? ippFindAttribute(response.get(), "job-id", IPP_TAG_INTEGER) : nullptr;
    if (!id || cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) {
        m_error = QStringLiteral("Create-Job: ") + Text(cupsLastErrorString());
        return 0;
    }
    // Its hold stays: the scheduler lets a held job go at its last document only when it
    // asked for no hold.
    const int job = ippGetInteger(id, 0);
    if (cupsStartDocument(m_http, name.constData(), job, titled.constData(), CUPS_FORMAT_POSTSCRIPT,
                          1) == HTTP_STATUS_CONTINUE &&
        cupsWriteRequestData(m_http, document.constData(), size_t(document.size())) ==
            HTTP_STATUS_CONTINUE &&
        cupsFinishDocument(m_http, name.constData()) <= IPP_STATUS_OK_EVENTS_COMPLETE)
        return job;
    const QString error = QStringLiteral("Send-Document: ") + Text(cupsLastErrorString());
    Purge(job);
    m_error = error;
    return 0;
}

bool CupsServer::Purge(int id) {
    ipp_t* r = Request(IPP_OP_CANCEL_JOB, "job-uri", JobUri(id));
    ippAddBoolean(r, IPP_TAG_OPERATION, "purge-job", 1);
    return Send(r, "/jobs/", "Cancel-Job");
}

bool CupsServer::DoneUnauthenticated(Probe probe, int id, const QString& user,
                                     const QString& queue) {
    // A connection of its own: the shared one may carry this process's credentials.
    const QByteArray server = m_host.isEmpty() ? QByteArray(cupsServer()) : m_host;
    http_t* http = httpConnect2(server.constData(), ippPort(), nullptr,
                                server.startsWith('/') ? AF_LOCAL : AF_UNSPEC,
                                HTTP_ENCRYPTION_IF_REQUESTED, 1, 30000, nullptr);
    if (!http) return false;
    const ipp_op_t ops[] = {IPP_OP_HOLD_JOB, IPP_OP_RELEASE_JOB, IPP_OP_SET_JOB_ATTRIBUTES,
                            IPP_OP_CUPS_MOVE_JOB, IPP_OP_CUPS_GET_DOCUMENT};
    ipp_t* r = ippNewRequest(ops[int(probe)]);
    ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, JobUri(id).constData());
    ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 user.toUtf8().constData());
    if (probe == Probe::Move)
        ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_URI, "job-printer-uri", nullptr,
                     PrinterUri(queue).constData());
    if (probe == Probe::SetAttributes)
        ippAddString(r, IPP_TAG_JOB, IPP_TAG_KEYWORD, "job-hold-until", nullptr, "indefinite");
    if (probe == Probe::GetDocument)
        ippAddInteger(r, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "document-number", 1);
    // Sent once: the answer "unauthorized" is not followed by credentials.
    Ipp response(cupsSendRequest(http, r, "/jobs/", ippLength(r)) == HTTP_STATUS_CONTINUE
                     ? cupsGetResponse(http, "/jobs/")
                     : nullptr);
    // A document is given when its first byte follows the answer.
    char first = 0;
    const bool done = response && cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE &&
                      (probe != Probe::GetDocument || httpRead2(http, &first, 1) == 1);
    ippDelete(r);
    httpClose(http);
    return done;
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
const QByteArray kGzipMagic = "\x1f\x8b";
} // namespace

DocumentCount CupsServer::CountDocument(int id, int number, qint64 maxBytes,
                                        PrintedFrom from) const {
    const bool asPrinted = from != PrintedFrom::Queue;
    DocumentCount count;
    // Read where the scheduler keeps it (the monitor's group may), at the disk's pace.
    const QString spool = SpoolFolder(Host());
    const QString kept = spool + QStringLiteral("/d%1-%2")
                                     .arg(id, 5, 10, QLatin1Char('0'))
                                     .arg(number, 3, 10, QLatin1Char('0'));
    bool ok = false;
    const bool compressed = !spool.isEmpty() && ReadHead(kept, 2, &ok).startsWith(kGzipMagic);
    // Else from the scheduler, which gives it as it was sent: compressed too, maybe.
    QByteArray fetched;
    QString format;
    if (!ok || asPrinted) fetched = FetchDocument(id, number, ok ? 0 : maxBytes, &format);
    // On a companion PostScript prints as counted, from a copy named by the spooled bytes' hash.
    // What the printer is sent as it is (raw, or its own PostScript) it runs as it likes.
    QString copy;
    // Without its folder a PostScript copy cannot be written: not counted whole then.
    if (asPrinted) KeepCountedCopies(id);
    const bool postScript = format == QLatin1String("application/postscript");
    if (from == PrintedFrom::Companion && postScript) {
        const QByteArray hash =
            ok ? FileSha256(kept)
               : QCryptographicHash::hash(fetched, QCryptographicHash::Sha256).toHex();
        copy = CountedCopyPath(id, number, hash);
    }
    const bool sentAsIs = asPrinted && (format.startsWith(QLatin1String("application/vnd.cups-")) ||
                                        (from == PrintedFrom::CompanionAsSent && postScript));
    const auto counted = [&](const QString& path) {
        bool whole = true, read = false;
        count.pages = CountPagesOfFile(path, &whole, copy);
        // PostScript prints only as its copy (none is made of a PDF said to be PostScript). Of
        // any other type, the printer may be sent it as it is and take it for PostScript by its
        // first bytes, which would run as not counted: only a PDF that starts as one is.
        const bool asDeclared = copy.isEmpty() ? format == QLatin1String("application/pdf") &&
                                                     ReadHead(path, 5, &read).startsWith("%PDF-")
                                               : QFileInfo::exists(copy);
        count.whole &= whole && !sentAsIs && (!asPrinted || (!format.isEmpty() && asDeclared));
    };
    if (ok && !compressed) {
        count.bytes = QFileInfo(kept).size();
        if ((count.found = count.bytes > 0)) counted(kept);
        return count;
    }
    // Counted as it prints, unpacked: the packed pages would run as nothing.
    const bool packedFetched = !ok && fetched.startsWith(kGzipMagic);
    QTemporaryFile packed, unpacked; // their owner's only
    if (!ok) {
        if ((count.found = !fetched.isEmpty())) {
            QTemporaryFile& file = packedFetched ? packed : unpacked;
            if (!file.open() || file.write(fetched) != fetched.size() || !file.flush()) {
                count.whole = false;
                return count;
            }
            count.bytes = fetched.size();
            count.whole &= fetched.size() < maxBytes;
            if (!packedFetched) counted(unpacked.fileName());
        }
        if (!packedFetched) return count;
    }
    bool all = false;
    count.found = true;
    // One that cannot be unpacked whole prints as far as it goes: not counted whole.
    if (!unpacked.open() || !Unpack(ok ? kept : packed.fileName(), maxBytes, unpacked, &all)) {
        count.whole = false;
        return count;
    }
    count.bytes = unpacked.size();
    count.whole &= all;
    counted(unpacked.fileName());
    return count;
}

namespace {
const QByteArray kWakeScheme = "qorvmond://";

int OpenWakePipe(const QByteArray& path) {
    // Never blocks, never follows a link, never opens what is not a pipe for more than a look.
    const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode))) {
        ::close(fd);
        return -1;
    }
    return fd;
}
} // namespace

QString WakeRecipient(const QString& pipe) {
    return QString::fromLatin1(kWakeScheme + QUrl::toPercentEncoding(pipe, "/"));
}

int RunWakeNotifier(const char* recipient) {
    const QByteArray uri(recipient ? recipient : "");
    const QByteArray path = QByteArray::fromPercentEncoding(uri.mid(kWakeScheme.size()));
    if (!uri.startsWith(kWakeScheme) || !path.startsWith('/') ||
        !path.endsWith(QByteArray("/") + kWakeName))
        return 1;
    std::signal(SIGPIPE, SIG_IGN);
    int pipe = -1;
    char events[4096];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, events, sizeof events);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return 0;
        if (pipe < 0) pipe = OpenWakePipe(path);
        // A full pipe has a nudge waiting already; a pipe nobody reads is opened again later.
        if (pipe >= 0 && ::write(pipe, "!", 1) < 0 && errno != EAGAIN) {
            ::close(pipe);
            pipe = -1;
        }
    }
}

} // namespace Platform
