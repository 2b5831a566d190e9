#pragma once
// The files a user holds open on a file server, as the server reports them.
#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

namespace Platform {

struct OpenFile {
    QString path; // as the server names it: a Windows server gives "D:\Shares\Plan.dwg"
    QString user;
    bool operator==(const OpenFile&) const = default;
};

struct OpenFiles {
    bool ok = false; // the request was answered in one piece
    QList<OpenFile> files;
};

// How long one server may take to answer.
constexpr int kOpenFilesWaitMs = 3000;

// The files user holds open on server (every user's when user is empty). This machine (an
// empty server, or its own name) is asked through Samba's smbstatus, any other server through
// Samba's client (`net rpc file`, with the user's Kerberos ticket). Waits at most waitMs with
// the event loop running; a missing tool, a failed request or no answer in time is a failure.
OpenFiles ListOpenFiles(const QString& server, const QString& user, int waitMs);

// What a stand-in server answers, and after how long.
struct OpenFilesAnswer {
    OpenFiles result;
    int delayMs = 0;
};
using OpenFilesDouble =
    std::function<OpenFilesAnswer(const QString& server, const QString& user, int waitMs)>;
// Replaces the servers (tests); an empty function restores them. A stand-in's delay is waited
// for with Pause, up to waitMs; a longer one is no answer.
void SetOpenFilesDouble(OpenFilesDouble stand);

// The listings of the two tools.
OpenFiles ParseNetFileList(const QByteArray& text);
OpenFiles ParseSmbStatusJson(const QByteArray& json);

} // namespace Platform
