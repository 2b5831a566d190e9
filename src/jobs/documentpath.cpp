#include "jobs/documentpath.h"

#include "common/bcommon.h"
#include "common/environment.h"
#include "jobs/recentdocuments.h"
#include "platform/files.h"

#include <QHash>
#include <algorithm>
#include <cstring>
#include <memory>

namespace {
QString CutAndTrim(const QString& text) {
    return TrimAtNul(text).trimmed();
}

bool IsSeparator(QChar c) {
    return c == QLatin1Char('\\') || c == QLatin1Char('/');
}

// Characters of a string inside a shortcut file; anything below a blank ends one.
bool IsText(QChar c) {
    return c.unicode() >= 0x20 && c.unicode() != 0x7f;
}

// Where a path starts in text[from, to): a UNC start, else a drive letter, else a leading "/".
qsizetype PathStart(const QString& text, qsizetype from, qsizetype to) {
    const QStringView part = QStringView(text).sliced(from, to - from);
    qsizetype at = std::max(part.lastIndexOf(u"\\\\"), part.lastIndexOf(u"//"));
    if (at < 0) {
        at = std::max(part.lastIndexOf(u":\\"), part.lastIndexOf(u":/"));
        at = at >= 1 ? at - 1 : -1;
    }
    if (at < 0 && !part.isEmpty() && part.front() == QLatin1Char('/')) at = 0;
    return at < 0 ? -1 : from + at;
}

// Cuts a scanned path after the document's name and extension: what follows in the shortcut's
// bytes is not part of it.
QString CutAfterName(const QString& path, const QString& base) {
    auto last = [&](const QString& tail) {
        return std::max(path.lastIndexOf(QLatin1Char('\\') + tail, -1, Qt::CaseInsensitive),
                        path.lastIndexOf(QLatin1Char('/') + tail, -1, Qt::CaseInsensitive));
    };
    qsizetype at = last(base + QLatin1Char('.'));
    if (at >= 0) {
        const qsizetype dot = at + 1 + base.size();
        qsizetype end = dot + 1;
        while (end < path.size() && path[end].isLetterOrNumber()) ++end;
        return path.left(end == dot + 1 ? dot : end);
    }
    at = last(base);
    return at >= 0 ? path.left(at + 1 + base.size()) : path;
}

// The folder of shortcut files, or the desktop's list of recent documents standing in for it.
class CShortcuts {
public:
    explicit CShortcuts(const QString& folder) : m_folder(AddBackslash(folder)) {
        if (Platform::KindOf(folder) == Platform::EntryKind::Regular) {
            m_isList = true;
            m_list = CRecentDocuments::Open(folder);
        }
    }
    // The shortcut's name (name + ".lnk") when there is a shortcut for name, else "".
    QString Look(const QString& name) {
        if (name.isEmpty() || name.contains(QChar(0))) return {};
        const QString shortcut = name + QStringLiteral(".lnk");
        if (m_isList) {
            const QString path = m_list ? m_list->Find(name) : QString();
            if (path.isEmpty()) return {};
            m_targets.insert(shortcut, path);
            return shortcut;
        }
        if (!m_folder.startsWith(QLatin1Char('/'))) return {}; // never the current folder
        const QString found = FindFile(m_folder + shortcut);
        return found == QLatin1String(".") ? QString() : found;
    }
    // A shortcut's name for name, else for name without its extension.
    QString LookWithoutExtension(const QString& name) {
        QString found = Look(name);
        if (const QString bare = WithoutExtension(name); found.isEmpty() && bare != name)
            found = Look(bare);
        return found;
    }
    // The path the shortcut named leads to.
    QString Target(const QString& shortcut) const {
        if (m_isList) return m_targets.value(shortcut);
        const QString path = m_folder + shortcut;
        WriteTrace(QStringLiteral("sfind is ") + path);
        bool ok = false;
        const QByteArray bytes = Platform::ReadHead(path, kMaxShortcutBytes, &ok);
        WriteTrace(QStringLiteral("buffer is ") + QString::number(bytes.size()));
        if (!ok || bytes.size() >= kMaxShortcutBytes) return {};
        const QString base = WithoutExtension(shortcut);
        return CutAfterName(ScanShortcut(bytes, base), base);
    }

private:
    QString m_folder;
    bool m_isList = false;
    std::shared_ptr<const CRecentDocuments> m_list;
    QHash<QString, QString> m_targets; // shortcut name -> path, for the list
};

QString Search(const QString& folder, const QString& documentName, const QString& userName,
               COpenFilesRound* round) {
    if (PassesThrough(documentName)) return documentName;
    auto [left, right] = SplitTitle(documentName);
    // What follows a NUL is not part of the title.
    QString title = TrimAtNul(documentName);
    QString result;
    if ((!left.isEmpty() || !right.isEmpty() || !title.isEmpty()) &&
        gEnv.m_sFileServers != QLatin1String("ServerName")) {
        COpenFilesRound own;
        for (int n = 1;; ++n) {
            const QString server = GetListItem(n, gEnv.m_sFileServers).trimmed();
            if (server.isEmpty()) break;
            const QString found =
                FindOpenFile(server, userName, left, right, title, round ? round : &own);
            if (!found.isEmpty()) {
                result = server + QLatin1Char('|') + found;
                break;
            }
        }
    }
    if (!result.isEmpty() ||
        gEnv.m_sLoggingMachine.contains(gEnv.m_sMachineName, Qt::CaseInsensitive))
        return result;
    if (folder.isEmpty()) return {};
    CShortcuts shortcuts(folder);
    left = shortcuts.LookWithoutExtension(left);
    right = shortcuts.LookWithoutExtension(right);
    QString candidate = left.size() > right.size() ? left : right;
    if (const QString named = shortcuts.LookWithoutExtension(title); !named.isEmpty())
        candidate = named;
    return candidate.isEmpty() ? QString() : shortcuts.Target(candidate);
}
} // namespace

bool PassesThrough(const QString& title) {
    static const char* const kPlaceholders[] = {"remote downlevel document",
                                                "dos print job",
                                                "lpt1",
                                                "untitled",
                                                "lpt1:",
                                                "lpt2",
                                                "lpt2:",
                                                "lpt3",
                                                "lpt3:",
                                                "test page",
                                                "no document name",
                                                "local downlevel document"};
    for (const char* name : kPlaceholders)
        if (title.contains(QLatin1String(name), Qt::CaseInsensitive)) return true;
    return HoldsPath(title);
}

CTitleParts SplitTitle(const QString& title) {
    QString left, right;
    if (const qsizetype dash = title.indexOf(QLatin1Char('-')); dash >= 0) {
        left = title.left(dash);
        right = title.mid(dash + 1);
    }
    if (title.contains(QLatin1Char('(')) && title.contains(QLatin1Char(')'))) {
        qsizetype at = title.indexOf(QLatin1String("Model"));
        if (at < 0) at = title.indexOf(QLatin1String("Layout"));
        if (at < 0) {
            // The last blank before the character in front of the first "(".
            const qsizetype open = title.indexOf(QLatin1Char('('));
            at = open >= 1 ? title.left(open - 1).lastIndexOf(QLatin1Char(' ')) : -1;
        }
        if (at >= 0) left = title.left(at);
    }
    if (left.isEmpty()) {
        if (const qsizetype blank = title.indexOf(QLatin1Char(' ')); blank >= 0) {
            left = title.left(blank);
            right = title.mid(blank + 1);
        }
    }
    if (left.contains(QLatin1String("Microsoft")))
        left.clear();
    else if (left.isEmpty())
        left = title;
    left = CutAndTrim(left);
    right = CutAndTrim(right);
    if (title.contains(QLatin1String("Print ")) && title.contains(QLatin1Char('(')) &&
        title.contains(QLatin1Char(')'))) {
        right = title.mid(6);
        if (const qsizetype open = right.indexOf(QLatin1Char('(')); open >= 0) right.truncate(open);
    }
    for (const char* prefix :
         {"Microsoft Word - ", "Microsoft Photo Editor - ", "Microsoft Power Point - "}) {
        if (!title.contains(QLatin1String(prefix))) continue;
        left = title.mid(qsizetype(std::strlen(prefix)));
        right.clear();
    }
    return {CutAndTrim(left), CutAndTrim(right)};
}

QString ScanShortcut(const QByteArray& bytes, const QString& base) {
    WriteTrace(QStringLiteral("starting first loop"));
    if (base.isEmpty()) return {};
    // The strings of a shortcut are in the system's single-byte code page.
    const QString text = QString::fromLatin1(bytes);
    qsizetype at = text.lastIndexOf(base);
    if (at < 0) at = text.indexOf(base, 0, Qt::CaseInsensitive);
    if (at < 0) return {};
    WriteTrace(QStringLiteral("icount is ") + QString::number(at + 1));
    // The string that holds the name, and the path it starts with.
    qsizetype runStart = at, runEnd = at + base.size();
    while (runStart > 0 && IsText(text[runStart - 1])) --runStart;
    while (runEnd < text.size() && IsText(text[runEnd])) ++runEnd;
    if (const qsizetype start = PathStart(text, runStart, at); start >= 0)
        return text.mid(start, runEnd - start);
    // The name stands alone (a share and a path below it are kept apart): the longest folder
    // among the strings before it.
    WriteTrace(QStringLiteral("starting second loop"));
    QString folder;
    for (qsizetype end = runStart;;) {
        while (end > 0 && !IsText(text[end - 1])) --end;
        if (end == 0) break;
        qsizetype from = end;
        while (from > 0 && IsText(text[from - 1])) --from;
        if (const qsizetype start = PathStart(text, from, end);
            start >= 0 && end - start > folder.size())
            folder = text.mid(start, end - start);
        end = from;
    }
    if (folder.isEmpty()) return {};
    const QChar sep = folder.contains(QLatin1Char('\\')) || !folder.contains(QLatin1Char('/'))
                          ? QLatin1Char('\\')
                          : QLatin1Char('/');
    while (!folder.isEmpty() && IsSeparator(folder.back())) folder.chop(1);
    return folder + sep + text.mid(runStart, runEnd - runStart);
}

QString GetPathAndFilename(const QString& folder, const QString& documentName,
                           const QString& userName, COpenFilesRound* round) {
    WriteTrace(QStringLiteral("starting getpathandfilename"));
    const QString result = TrimAtNul(Search(folder, documentName, userName, round));
    WriteTrace(QStringLiteral("finished getpathandfilename"));
    return result;
}
