#pragma once
// Finds the folder and file of a printed document from its title.
#include <QByteArray>
#include <QString>

class COpenFilesRound;

// The full path of the document, or "": a title that holds a path (or names no document)
// comes back as it is; otherwise a file that userName holds open on one of the FileServers
// ("server|path"), else, unless this machine is the logging machine, the target of a shortcut
// in folder named after the title. folder is a folder of ".lnk" files, or the desktop's list
// of recently used documents standing in for one. round keeps the servers' answers for a job
// that is looked for in several folders.
QString GetPathAndFilename(const QString& folder, const QString& documentName,
                           const QString& userName, COpenFilesRound* round = nullptr);

// A title that is returned as it is: a placeholder name or a path.
bool PassesThrough(const QString& title);
// The two parts of a title the search looks for, cut at NUL and trimmed.
struct CTitleParts {
    QString left;
    QString right;
    bool operator==(const CTitleParts&) const = default;
};
CTitleParts SplitTitle(const QString& title);
// The path a shortcut file's bytes lead to for the document named baseName, or "".
QString ScanShortcut(const QByteArray& bytes, const QString& baseName);
// Shortcut files this long or longer are not scanned.
constexpr qint64 kMaxShortcutBytes = 3000;
