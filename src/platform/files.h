#pragma once
// File system access: the only place that touches files and folders directly. Every name goes
// to the system through EncodeName, so a name read from a listing opens the same file again.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

struct timespec;

namespace Platform {

// File names as the file system holds them: bytes that are not valid UTF-8 decode to lone
// surrogates U+DC80..U+DCFF and encode back to the same bytes.
QString DecodeName(const QByteArray& native);
QByteArray EncodeName(const QString& name);

// The readers take regular files only: never through a link, never blocking on a FIFO or a
// device. LastFileError() tells why a read failed.
// Whole text file as UTF-8 (single-byte files that are not valid UTF-8 are read as Latin-1).
bool ReadTextFile(const QString& path, QString* text);
// At most maxBytes from the start of a file; ok false when it cannot be read.
QByteArray ReadHead(const QString& path, qint64 maxBytes, bool* ok);
// Lines of a text file; CR LF, LF and a lone CR end a line. Empty list when unreadable.
QStringList ReadLines(const QString& path, bool* ok = nullptr);
// The lines of bytes read from a file, decoded as DecodeText does.
QStringList DecodeLines(const QByteArray& bytes);
// Whether the regular file (links followed) can be opened so, without changing or creating it.
bool CanOpenForReading(const QString& path);
bool CanOpenForAppending(const QString& path);
// Decodes bytes as UTF-8, falling back to Latin-1 when they are not valid UTF-8.
QString DecodeText(const QByteArray& bytes);

// The writers never follow a link at the name they write, and count a write only when every
// byte reached the disk. On failure they return false and LastFileError() tells why.
// Writes one line (CR LF), synced: appended in place with a single write to a regular file
// (a cut-short line is taken back), or with replace the file replaced as SaveFileAtomic does.
bool WriteLine(const QString& path, const QString& line, bool replace);
// Appends one line as WriteLine does, but unsynced: for logs, which may lose a line in a crash.
// A log that has reached maxBytes is first moved to path + ".old", replacing the one there. A
// relative path is refused, so that a log never lands in the current folder.
bool AppendLogLine(const QString& path, const QString& line, qint64 maxBytes);
// Replaces a file as a whole: a new file in the same folder, synced, then renamed over the
// name (a link there is replaced, not followed). The old file stays untouched on failure.
// Written by hand rather than with QSaveFile, which follows a link at the name and writes
// wherever it points: in a folder other users can write to, that is someone else's file.
// mode, when >= 0, is the new file's, else the old file's (a new one's by the umask).
bool SaveFileAtomic(const QString& path, const QByteArray& data, int mode = -1);
// The same, written in pieces for output too large to hold: nothing shows at the name until
// Commit, and the old file stays when a write or the commit fails or Commit is never called.
class AtomicFile {
public:
    explicit AtomicFile(const QString& path);
    // target relative to the folder dirfd (path names it in errors); mode, when >= 0, is the new
    // file's (else the old file's), owner, when >= 0, its owner.
    AtomicFile(int dirfd, const QByteArray& target, const QString& path, int mode = -1,
               int owner = -1);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    // False once any write has failed (LastFileError() tells why); later writes do nothing.
    bool Write(const QByteArray& data);
    // Syncs and renames; times, when given, become the access and modification times.
    bool Commit(const struct timespec* times = nullptr);

private:
    QString m_path;
    QByteArray m_target, m_temp;
    int m_dirfd;
    int m_fd = -1;
    bool m_ok = true;
    bool m_committed = false;
};
// Stores new files in folder without ever replacing one, for many small files at once: each
// goes to a temporary file there, one sync of the file system makes all of them durable (a
// sync per file costs milliseconds each), then each takes the first path pathOf(n) gives that
// no file has yet, n counting up from *next; *next ends one past the last number taken. Stops
// at the first file that cannot be stored and returns how many were, in order.
int SaveNewFiles(const QString& folder, const QList<QByteArray>& files,
                 const std::function<QString(int)>& pathOf, int* next);
// Lines joined with CR LF after each, encoded as UTF-8.
QByteArray EncodeLines(const QStringList& lines);
// Why the last failed file operation of this thread failed.
struct FileError {
    QString text;          // the system's reason, or "not a regular file"
    bool diskFull = false; // no room left on the device
};
FileError LastFileError();

// Test seam for a device that fills up: before each write the limit gets the name written to
// and the byte count and returns how many of the bytes fit; 0 fails the write with ENOSPC.
using WriteLimit = std::function<qint64(const QString& path, qint64 bytes)>;
void SetWriteLimit(WriteLimit limit);

// Windows wildcard rules: '*' and '?', case ignored, "x.*" also matches "x".
bool MatchWildcard(const QString& name, const QString& pattern);
bool HasWildcard(const QString& text);

// Files: regular files only (no folders, links, FIFOs, sockets or devices). FilesAndFolders:
// every entry.
enum class ListKind { Files, FilesAndFolders };
// Names (not paths) matching the last component of mask, in the folder before it.
// Calls visit for each name; visit returns false to stop. Returns false when the folder
// cannot be listed.
template <class F> bool ListMatching(const QString& mask, ListKind kind, F&& visit);
bool ListMatchingImpl(const QString& mask, ListKind kind, bool (*visit)(void*, const QString&),
                      void* ctx);

enum class EntryKind { Missing, Regular, Folder, Link, Other };
// What the name itself is: a link is reported as such, not followed.
EntryKind KindOf(const QString& path);
bool Exists(const QString& path);
bool IsDir(const QString& path);
bool IsFile(const QString& path);
// Last-write time in ns since the epoch, 0 when missing.
qint64 ModifiedNs(const QString& path);

// What tells one version of a file from another, without reading it.
struct FileStamp {
    bool exists = false;
    bool regular = false; // a plain file, not a link, folder, FIFO, device or socket
    qint64 size = 0;
    qint64 mtimeNs = 0;
    quint64 inode = 0;
    bool operator==(const FileStamp&) const = default;
};
// The stamp of path itself (a link is not followed).
FileStamp StampOf(const QString& path);
// Copies a regular file (links followed at from) as SaveFileAtomic writes, keeping its times.
bool CopyFileKeepTime(const QString& from, const QString& to);
// Renames a file over to; across file systems copies it and removes from.
bool MoveFile(const QString& from, const QString& to);
// Moves a regular file (not a link) to a name that no file has, never replacing one (EEXIST).
// Across file systems the source goes only once its copy is whole and synced.
bool MoveFileNoReplace(const QString& from, const QString& to);
bool RemoveFile(const QString& path);
// Makes an empty file that only its owner may read or write, when there is no entry of that
// name; true when it was made or a regular file is there.
bool MakePrivateFile(const QString& path);
// Takes every right of group and others from a regular file (not a link) of this process's.
bool MakePrivate(const QString& path);
bool MakeDir(const QString& path);
bool MakePath(const QString& path);
QString Separator();

// Owner, group (-1: as it is) and mode a folder is given.
struct FolderLayout {
    int owner = -1;
    int group = -1;
    int mode = 0700;
};

// A folder opened once: whatever is done through it happens in that very folder, even when
// its name is replaced by a link afterwards. Names given to it are single names, never paths,
// and a link is never followed.
class Folder {
public:
    Folder() = default;
    ~Folder();
    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    // The folder at path; not open when it is missing, not a folder, or a link.
    static Folder Open(const QString& path);
    bool IsOpen() const { return m_fd >= 0; }
    const QString& Path() const { return m_path; }
    // A subfolder; with a layout it is made when missing and given the layout.
    Folder Child(const QString& name, const FolderLayout* layout = nullptr) const;
    // Gives this folder the layout: false when it cannot be given.
    bool Repair(const FolderLayout& layout) const;
    // Replaces a file as SaveFileAtomic does, the new file with mode and, when owner >= 0,
    // handed to owner.
    bool Save(const QString& name, const QByteArray& data, int mode, int owner = -1) const;
    // At most maxBytes of a regular file, and the file's owner as the opened file tells.
    bool Read(const QString& name, qint64 maxBytes, QByteArray* out, uint* owner) const;
    // The folder's own owner; false when it cannot be told.
    bool Owner(uint* owner) const;
    // Whether an entry of that name is there (a link counts, not followed).
    bool Has(const QString& name) const;
    bool Remove(const QString& name) const;
    // Names of the subfolders (links are not).
    QStringList Folders() const;
    // The folder's owner; uint(-1) when it is not open.
    uint Owner() const;

private:
    int m_fd = -1;
    QString m_path;
};

template <class F> bool ListMatching(const QString& mask, ListKind kind, F&& visit) {
    return ListMatchingImpl(
        mask, kind, [](void* ctx, const QString& name) { return (*static_cast<F*>(ctx))(name); },
        static_cast<void*>(&visit));
}

} // namespace Platform
