#include "common/bcommon.h"

#include "common/environment.h"
#include "common/values.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/settings.h"
#include "platform/system.h"

#include <QDateTime>

#include <limits>

namespace {
constexpr QChar kSep = QLatin1Char('/');

QString ExeName() {
    return gEnv.m_sExeName.isEmpty() ? Platform::ExecutableName() : gEnv.m_sExeName;
}

QString StripTrailing(QString path, int most) {
    for (int i = 0; i < most && path.size() > 1 && path.endsWith(kSep); ++i) path.chop(1);
    return path;
}

bool StartsWithFolder(const QString& path, const QString& prefix) {
    return path.startsWith(prefix, Qt::CaseInsensitive) &&
           (path.size() == prefix.size() || path[prefix.size()] == kSep || prefix.endsWith(kSep));
}
} // namespace

QString AddBackslash(const QString& path) {
    if (path.isEmpty() || path.endsWith(kSep)) return path;
    return path + kSep;
}

QString TrimAtNul(const QString& text) {
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}

static qsizetype LastSeparator(const QString& path) {
    return std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
}

QString LastComponent(const QString& path) {
    return path.mid(LastSeparator(path) + 1);
}

QString FolderOf(const QString& path) {
    return path.left(LastSeparator(path) + 1);
}

QString WithoutExtension(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

bool HoldsPath(const QString& text) {
    return text.contains(QLatin1String(":\\")) || text.contains(QLatin1String("\\\\")) ||
           text.startsWith(kSep);
}

QString FindFile(const QString& rawPath) {
    const QString path = StripTrailing(rawPath, 2);
    if (path.isEmpty()) return {};
    if (!Platform::HasWildcard(path)) {
        if (Platform::IsDir(path)) return QStringLiteral(".");
        return Platform::IsFile(path) ? LastComponent(path) : QString();
    }
    QString first;
    Platform::ListMatching(path, Platform::ListKind::FilesAndFolders, [&](const QString& name) {
        first = name;
        return false;
    });
    if (first.isEmpty()) return {};
    return Platform::IsDir(FolderOf(path) + first) ? QStringLiteral(".") : LastComponent(path);
}

static int Count(const QString& mask, Platform::ListKind kind) {
    int count = 0;
    Platform::ListMatching(mask, kind, [&](const QString&) {
        return ++count < 32767; // a 16-bit count
    });
    return count;
}

int CountFiles(const QString& mask) {
    return Count(mask, Platform::ListKind::Files);
}

int CountEntries(const QString& mask) {
    return Count(mask, Platform::ListKind::FilesAndFolders);
}

qint32 GetFileStamp(const QString& path) {
    const qint64 ns = Platform::ModifiedNs(StripTrailing(path, 2));
    if (ns == 0) return 0;
    // The two halves of a Windows file time added together; only equality matters.
    const quint64 ft = quint64(ns / 100) + 116444736000000000ULL;
    return qint32(quint32(ft >> 32) + quint32(ft & 0xffffffffu));
}

bool FindInFile(const QString& path, const QString& search, bool noCheck) {
    WriteTrace(QStringLiteral("bfindinfile is starting"));
    WriteTrace(QStringLiteral("stempfile ") + path);
    WriteTrace(QStringLiteral("sSearchString ") + search);
    if (FindFile(path).isEmpty() && !noCheck) return false;
    bool ok = false;
    const QStringList lines = Platform::ReadLines(path, &ok);
    if (!ok) return false;
    WriteTrace(QStringLiteral("bfindinfile loop is starting"));
    bool found = false;
    for (const QString& line : lines)
        if (!found && line.contains(search, Qt::CaseInsensitive)) found = true;
    return found;
}

bool WriteLineToFile(const QString& path, const QString& text, bool replace) {
    if (Platform::WriteLine(path, text, replace)) return true;
    WriteLog(QStringLiteral("E"), QStringLiteral("Unable to write to ") + path +
                                      QStringLiteral(": ") + Platform::LastFileError().text);
    return false;
}

QString PassFilePath(const QString& queue, const QString& jobNumber) {
    auto isSep = [](QChar c) { return c == QLatin1Char('\\') || c == QLatin1Char('/'); };
    qsizetype from = 0, to = queue.size();
    while (from < to && isSep(queue[from])) ++from;
    while (to > from && isSep(queue[to - 1])) --to;
    QString server = queue.mid(from, to - from);
    for (qsizetype i = 0; i < server.size(); ++i)
        if (isSep(server[i])) {
            server.truncate(i);
            break;
        }
    // The name comes from another program: it must name a folder inside Machines.
    if (server.isEmpty() || server == QLatin1String(".") || server == QLatin1String("..") ||
        server.contains(QChar(0)))
        return {};
    return gEnv.m_sDataPath + QStringLiteral("Machines/") + server + kSep +
           jobNumber.rightJustified(5, QLatin1Char('0')) + QStringLiteral(".pas");
}

bool WritePassFile(const QString& queue, const QString& jobNumber, const QString& text) {
    const QString path = PassFilePath(queue, jobNumber);
    if (path.isEmpty()) {
        WriteLog(QStringLiteral("E"),
                 QStringLiteral("WritePassFile: no server in queue name ") + queue, true);
        return false;
    }
    // Every user's client writes into Machines: a folder planted there as a link is not used.
    const QString folder = FolderOf(path).chopped(1);
    if (Platform::KindOf(folder) == Platform::EntryKind::Link) {
        WriteLog(QStringLiteral("E"), QStringLiteral("Unable to write to ") + folder +
                                          QStringLiteral(": a symbolic link"));
        return false;
    }
    // Its writer's alone: the monitor reads it past the mode, no other user may.
    if (Platform::SaveFileAtomic(path, Platform::EncodeLines({text}), 0600)) return true;
    WriteLog(QStringLiteral("E"), QStringLiteral("Unable to write to ") + path +
                                      QStringLiteral(": ") + Platform::LastFileError().text);
    return false;
}

QString TestFolderAccess(const QString& rawPath) {
    // A path naming a file tests the file's folder; a "." in a folder's name is just a name.
    const QString path = AddBackslash(Platform::IsFile(rawPath) ? FolderOf(rawPath) : rawPath);
    QString result;
    if (path.isEmpty()) return result;
    const QString test = path + QStringLiteral("test.txt");
    const bool written = Platform::WriteLine(test, QStringLiteral("test"), true);
    if (written) result += QStringLiteral("write");
    QString first;
    Platform::ListMatching(path + QStringLiteral("*.*"), Platform::ListKind::Files,
                           [&](const QString& name) {
                               first = name;
                               return false;
                           });
    if (!first.isEmpty()) {
        result += QStringLiteral("list");
        if (Platform::CanOpenForReading(path + first)) result += QStringLiteral("read");
    }
    // Only a file this test wrote shows that deleting works.
    if (written && Platform::RemoveFile(test) && FindFile(test).isEmpty())
        result += QStringLiteral("delete");
    return result;
}

QString TestFileAccess(const QString& path) {
    QString result;
    if (path.isEmpty() || Platform::HasWildcard(path) || !Platform::IsFile(path)) return result;
    if (Platform::CanOpenForAppending(path)) result += QStringLiteral("write");
    result += QStringLiteral("list");
    if (Platform::CanOpenForReading(path)) result += QStringLiteral("read");
    return result;
}

QString GetDriveLetterPath(const QString& path) {
    for (const Platform::NetworkMount& m : Platform::NetworkMounts()) {
        const QString& remote = m.remoteName;
        if (remote.isEmpty() || !StartsWithFolder(path, remote)) continue;
        QString rest = path.mid(remote.size());
        if (rest.startsWith(kSep)) rest.remove(0, 1);
        return AddBackslash(m.mountPoint) + rest;
    }
    return path;
}

QString ResolvePath(const QString& path) {
    QString folder = path, file;
    if (const QString head = FolderOf(path); head.size() > 2) {
        folder = head;
        file = path.mid(head.size());
    }
    // A folder on a network mount becomes the mount's remote name.
    if (!folder.startsWith(QLatin1String("//"))) {
        for (const Platform::NetworkMount& m : Platform::NetworkMounts()) {
            if (!m.remoteName.startsWith(QLatin1String("//")) ||
                !StartsWithFolder(folder, m.mountPoint))
                continue;
            QString rest = folder.mid(m.mountPoint.size());
            if (rest.startsWith(kSep)) rest.remove(0, 1);
            folder = AddBackslash(m.remoteName) + rest;
            break;
        }
    }
    // A share of this machine becomes its local folder.
    const QString machine = gEnv.m_sMachineName;
    if (folder.startsWith(QLatin1String("//")) && !machine.isEmpty() &&
        folder.contains(machine, Qt::CaseInsensitive)) {
        const QStringList parts = folder.mid(2).split(kSep);
        if (parts.size() >= 2 && parts[0].compare(machine, Qt::CaseInsensitive) == 0) {
            const QString local = Platform::ShareLocalPath(parts[1]);
            if (!local.isEmpty()) folder = AddBackslash(local) + parts.mid(2).join(kSep);
        }
    }
    const QString joined = folder + file;
    const QString resolved = FindFile(joined).isEmpty() ? path : joined;
    // Any other share is reached here through the folder it is mounted on.
    return resolved.startsWith(QLatin1String("//")) ? GetDriveLetterPath(resolved) : resolved;
}

QString GetNextField(const QString& line, int& pos, QChar separator) {
    QString field;
    bool quoted = false;
    const int n = int(line.size());
    for (int i = std::max(pos, 0); i < n; ++i) {
        const QChar c = line[i];
        if (!quoted) {
            if (c == QLatin1Char('"')) {
                quoted = true;
            } else if (c == separator) {
                pos = i + 1;
                return field.trimmed();
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"')) {
            if (i + 1 < n && line[i + 1] == QLatin1Char('"')) {
                field += c;
                ++i;
            } else {
                quoted = false;
            }
        } else {
            field += c;
        }
    }
    pos = n + 1;
    return field.trimmed();
}

QString CheckAmpersands(const QString& text) {
    return QString(text).replace(QLatin1Char('&'), QLatin1String("&&"));
}

QString DoubleQuotes(const QString& text) {
    return QString(text).replace(QLatin1Char('"'), QLatin1String("\"\""));
}

QString LeftCharacters(const QString& text, qsizetype n) {
    if (text.size() <= n) return text;
    qsizetype end = 0;
    for (qsizetype count = 0; end < text.size() && count < n; ++count)
        end +=
            text[end].isHighSurrogate() && end + 1 < text.size() && text[end + 1].isLowSurrogate()
                ? 2
                : 1;
    return text.left(end);
}

QString QuotedField(const QString& text) {
    return QLatin1Char('"') + DoubleQuotes(text) + QLatin1Char('"');
}

QString NormalizeDateText(const QString& raw) {
    const QString text = TrimAtNul(raw).trimmed();
    CDate date;
    if (CDate::Parse(text, &date)) return date.Text();
    // Pad month and day to two digits. Any of "/", "\" and "." separates, so that the result,
    // joined with "/", splits at the same places when it is normalised again.
    auto isSeparator = [](QChar c) {
        return c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char('.');
    };
    qsizetype first = -1, second = -1;
    for (qsizetype i = 0; i < text.size() && second < 0; ++i)
        if (isSeparator(text[i])) (first < 0 ? first : second) = i;
    if (second < 0) return text;
    auto pad = [](QString s) { return s.size() < 2 ? s.rightJustified(2, QLatin1Char('0')) : s; };
    const QString padded = pad(text.left(first)) + QLatin1Char('/') +
                           pad(text.mid(first + 1, second - first - 1)) + QLatin1Char('/') +
                           text.mid(second + 1);
    // A date written with dots or backslashes reads once they are slashes.
    return CDate::Parse(padded, &date) ? date.Text() : padded;
}

QString GetListItem(int n, const QString& list) {
    int count = 1;
    QString rest = list, item;
    qsizetype comma = rest.indexOf(QLatin1Char(','));
    while (count <= n && comma >= 0) {
        item = rest.left(comma);
        rest = rest.mid(comma + 1);
        comma = rest.indexOf(QLatin1Char(','));
        ++count;
    }
    if (count > n) return item;
    if (count == n) return rest;
    return {};
}

QString GetCostTextField(const QString& text, const QString& field) {
    QString colour, media, cost;
    if (text.contains(QLatin1String("square foot"), Qt::CaseInsensitive)) {
        const qsizetype d = text.indexOf(QLatin1Char('-')) + 1; // 1-based, 0 when absent
        if (d > 0) colour = text.left(d - 1);
        const qsizetype e = text.indexOf(QLatin1Char('=')) + 1;
        if (e > 0) {
            const QString middle = text.mid(d, std::max<qsizetype>(e - d - 1, 0));
            if (colour == QLatin1String("Monochrome") || colour == QLatin1String("Color") ||
                colour.isEmpty())
                media = middle;
            else
                colour = middle;
        }
        const qsizetype bar = text.indexOf(QLatin1String(" | "));
        if (bar >= 0) {
            const QString head = text.left(bar);
            const qsizetype dash = head.lastIndexOf(QLatin1Char('-'));
            cost = dash < 0 ? head : head.left(dash + 1);
        } else if (e > 0) {
            const qsizetype from = e + 1; // 0-based index of position e + 2
            const qsizetype blank = text.indexOf(QLatin1Char(' '), from);
            if (blank >= 0) cost = text.mid(from, blank - from);
        }
    }
    if (field == QLatin1String("Color")) return colour;
    if (field == QLatin1String("Media")) return media;
    if (field == QLatin1String("Cost")) return cost;
    return {};
}

namespace {
QStringList* gHeldLog = nullptr; // lines kept by a CHeldLog

void AppendToLog(const QString& line, bool held) {
    if (held && gHeldLog) {
        *gHeldLog << line;
        return;
    }
    // Without a local folder there is no log: never the current folder instead.
    if (gEnv.m_sLocalUserPath.isEmpty()) return;
    Platform::AppendLogLine(gEnv.m_sLocalUserPath + ExeName() + QStringLiteral(".txt"), line,
                            kLogLimit);
}
} // namespace

CHeldLog::CHeldLog() {
    if (!gHeldLog) gHeldLog = &m_lines;
}

CHeldLog::~CHeldLog() {
    if (gHeldLog != &m_lines) return;
    gHeldLog = nullptr;
    if (gEnv.m_bDebugLog)
        for (const QString& line : m_lines) AppendToLog(line, false);
}

void WriteLog(const QString& level, const QString& text, bool force) {
    if (!gEnv.m_bDebugLog && !force) return;
    const QString line =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")) +
        QLatin1Char(' ') + QString::number(Platform::TickCount()) + QLatin1Char(' ') + level +
        QLatin1Char(' ') + text;
    AppendToLog(line, !force);
}

void WriteTrace(const QString& text) {
    if (gEnv.m_bDebugLog) AppendToLog(ExeName() + QStringLiteral(": ") + text, true);
}

void ReportUnexpectedError(const QString& procedure, const CError& error) {
    const QChar cr = QLatin1Char('\r');
    Platform::Message m;
    m.text = QStringLiteral("Unexpected error ") + QString::number(error.number) +
             QStringLiteral(" in procedure '") + procedure + QStringLiteral("':") + cr +
             error.description + cr + cr + QStringLiteral("Please contact us at") + cr +
             gEnv.SupportContact() + QStringLiteral(" with the above information.");
    m.title = gEnv.m_sProductName;
    m.icon = Platform::MsgIcon::Exclamation;
    Platform::ShowMessage(m);
}

void GetSettingLong(const QString& section, const QString& key, qint32& value, bool& found) {
    bool present = false;
    const QVariant v = Platform::ReadSetting(gEnv.m_sAppTitle, section, key, &present);
    value = 0;
    found = present && ToWholeNumber(v.toString(), std::numeric_limits<qint32>::min(),
                                     std::numeric_limits<qint32>::max(), &value) == NumberCheck::Ok;
}

QString GetSettingText(const QString& section, const QString& key, const QString& fallback) {
    bool found = false;
    const QVariant v = Platform::ReadSetting(gEnv.m_sAppTitle, section, key, &found);
    return found ? v.toString() : fallback;
}

void SaveSettingText(const QString& section, const QString& key, const QString& value) {
    Platform::WriteSetting(gEnv.m_sAppTitle, section, key, value);
}

QString ThisComputerName() {
    return Platform::ComputerName().left(15);
}

QString GetSpecialFolder(int id) {
    return id == 8 ? Platform::RecentFolder().left(260) : QString();
}

QString GetIPAddress() {
    return Platform::IPAddress();
}

Platform::OpenFiles COpenFilesRound::Ask(const QString& server, const QString& user) {
    const QString key = server + QChar(0) + user;
    if (const auto it = m_answers.constFind(key); it != m_answers.constEnd()) return *it;
    if (m_deadline < 0) m_deadline = Platform::NowMs() + kWaitMs;
    const qint64 left = m_deadline - Platform::NowMs();
    Platform::OpenFiles answer;
    if (left > 0)
        answer = Platform::ListOpenFiles(server, user,
                                         int(std::min<qint64>(left, Platform::kOpenFilesWaitMs)));
    m_answers.insert(key, answer);
    return answer;
}

QString FindOpenFile(const QString& rawServer, const QString& user, QString& name1, QString& name2,
                     QString& name3, COpenFilesRound* round) {
    // "\\fs1" and "//fs1" name the server fs1.
    qsizetype from = 0;
    while (from < rawServer.size() &&
           (rawServer[from] == QLatin1Char('\\') || rawServer[from] == kSep))
        ++from;
    const QString server = rawServer.mid(from);
    COpenFilesRound own;
    const Platform::OpenFiles open = (round ? round : &own)->Ask(server, user);
    if (!open.ok || (name1.isEmpty() && name2.isEmpty() && name3.isEmpty())) return {};
    bool stripped = false;
    for (const Platform::OpenFile& file : open.files) {
        const QString& path = file.path;
        if (path.size() <= 4 || path.endsWith(QLatin1Char('\\')) || path.endsWith(kSep)) continue;
        // Only a path of this machine can be found here; a server's "D:\\..." is not looked
        // up in the current folder.
        if (path.startsWith(kSep) && !FindFile(path).isEmpty()) continue;
        if (!stripped) {
            for (QString* name : {&name1, &name2, &name3}) *name = WithoutExtension(*name);
            stripped = true;
        }
        const QString name = WithoutExtension(LastComponent(path));
        if (!name.isEmpty() && (name == name1 || name == name2 || name == name3)) return path;
    }
    return {};
}
