#pragma once
// Common file and text services, the debug log and the unexpected-error report.
#include "platform/openfiles.h"

#include <QHash>
#include <QString>
#include <QStringList>

// Classic runtime error numbers used in reports.
enum ErrNumber {
    kErrInvalidCall = 5,
    kErrOverflow = 6,
    kErrTypeMismatch = 13,
    kErrBadFileName = 52,
    kErrFileNotFound = 53,
    kErrDiskFull = 61,
    kErrPermissionDenied = 70,
    kErrPathFileAccess = 75,
    kErrPathNotFound = 76,
};

struct CError {
    int number = 0;
    QString description;
};

// The missing-entry marker of configuration entries and settings.
inline const QString kMissing = QStringLiteral("!2@3#4$5%6^7&8*9(0)[-]");

// Files and folders.
QString AddBackslash(const QString& path);
QString TrimAtNul(const QString& text);
QString FindFile(const QString& path);
int CountFiles(const QString& mask);
int CountEntries(const QString& mask);
qint32 GetFileStamp(const QString& path);
bool FindInFile(const QString& path, const QString& search, bool noCheck);
bool WriteLineToFile(const QString& path, const QString& text, bool replace);
// Writes text as the only line of Machines/<server>/<job number, 5 digits>.pas under the
// data folder; server is taken from a queue name such as "\\server\queue" or "//server/queue".
bool WritePassFile(const QString& server, const QString& jobNumber, const QString& text);
// The ".pas" file WritePassFile writes for this queue and job number, or "" when the queue
// names no server.
QString PassFilePath(const QString& queue, const QString& jobNumber);
QString TestFolderAccess(const QString& path);
QString TestFileAccess(const QString& path);
QString GetDriveLetterPath(const QString& path);
// The form by which this machine reaches a path: a share of this machine as its local
// folder, a share of another machine through the folder it is mounted on.
QString ResolvePath(const QString& path);
// The text after the last separator ("/" or "\"), and the text up to and including it.
QString LastComponent(const QString& path);
QString FolderOf(const QString& path);
// The text without its extension: without the text from its last "." on.
QString WithoutExtension(const QString& name);
// Whether a text from any machine holds a path: ":\" or "\\" in it, or a leading "/".
bool HoldsPath(const QString& text);

// Text.
QString GetNextField(const QString& line, int& pos, QChar separator);
QString CheckAmpersands(const QString& text);
QString DoubleQuotes(const QString& text);
// A text field of a data file: in quotation marks, the ones inside doubled.
QString QuotedField(const QString& text);
QString NormalizeDateText(const QString& text);
QString GetListItem(int n, const QString& list);
QString GetCostTextField(const QString& text, const QString& field);
// The first n characters of text, a character being a code point: a surrogate pair is never
// split, as a database that counts characters would count it.
QString LeftCharacters(const QString& text, qsizetype n);

// Diagnostics and settings.
void WriteLog(const QString& level, const QString& text, bool force = false);
void WriteTrace(const QString& text);
// At this size the debug log moves to one ".old" file and starts again.
constexpr qint64 kLogLimit = 10 << 20;
// While one lives, debug-log lines (not forced ones) are kept in memory; when it ends they
// are written if m_bDebugLog is then set, else dropped. For work that runs before the
// DebugLog option is known.
class CHeldLog {
public:
    CHeldLog();
    ~CHeldLog();
    CHeldLog(const CHeldLog&) = delete;
    CHeldLog& operator=(const CHeldLog&) = delete;

private:
    QStringList m_lines;
};
void ReportUnexpectedError(const QString& procedure, const CError& error);
void GetSettingLong(const QString& section, const QString& key, qint32& value, bool& found);
QString GetSettingText(const QString& section, const QString& key, const QString& fallback);
void SaveSettingText(const QString& section, const QString& key, const QString& value);

// System queries.
QString ThisComputerName();
QString GetSpecialFolder(int id);
QString GetIPAddress();

// The answers of the file servers for one job: each server is asked once however many folders
// the job's document is looked for in, and all of them together wait at most kWaitMs.
class COpenFilesRound {
public:
    static constexpr int kWaitMs = 5000;
    Platform::OpenFiles Ask(const QString& server, const QString& user);

private:
    QHash<QString, Platform::OpenFiles> m_answers;
    qint64 m_deadline = -1;
};
// The path of a file user holds open on server whose name without extension is one of the
// three names, or "". Only files this machine cannot find itself count; once one is looked at,
// the three names lose their extensions. Without a round the server waits on its own.
QString FindOpenFile(const QString& server, const QString& user, QString& name1, QString& name2,
                     QString& name3, COpenFilesRound* round = nullptr);
