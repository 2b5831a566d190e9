#pragma once
// File system access: the only place that touches files and folders directly.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace Platform {

// Whole text file as UTF-8 (single-byte files that are not valid UTF-8 are read as Latin-1).
bool ReadTextFile(const QString& path, QString* text);
// At most maxBytes from the start of a file; ok false when it cannot be read.
QByteArray ReadHead(const QString& path, qint64 maxBytes, bool* ok);
// Whether the file can be opened so, without changing it.
bool CanOpenForReading(const QString& path);
bool CanOpenForAppending(const QString& path);
// Lines of a text file (platform/lines.h). Empty list when unreadable.
QStringList ReadLines(const QString& path, bool* ok = nullptr);
// Decodes bytes as UTF-8, falling back to Latin-1 when they are not valid UTF-8.
QString DecodeText(const QByteArray& bytes);
// Appends (or, with replace, writes) one line ending in CR LF.
bool WriteLine(const QString& path, const QString& line, bool replace);
// Replaces a file as a whole: write to a temporary file, then rename.
bool SaveFileAtomic(const QString& path, const QByteArray& data);
// Appends one line (CR LF) by replacing the file as a whole, so that no reader sees a
// half-written line.
bool AppendLineAtomic(const QString& path, const QString& line);
// Lines joined with CR LF after each, encoded as UTF-8.
QByteArray EncodeLines(const QStringList& lines);

// Windows wildcard rules: '*' and '?', case ignored, "x.*" also matches "x".
bool MatchWildcard(const QString& name, const QString& pattern);
bool HasWildcard(const QString& text);

enum class ListKind { Files, FilesAndFolders };
// Names (not paths) matching the last component of mask, in the folder before it.
// Calls visit for each name; visit returns false to stop. Returns false when the folder
// cannot be listed.
template <class F> bool ListMatching(const QString& mask, ListKind kind, F&& visit);
bool ListMatchingImpl(const QString& mask, ListKind kind, bool (*visit)(void*, const QString&),
                      void* ctx);

bool Exists(const QString& path);
bool IsDir(const QString& path);
bool IsFile(const QString& path);
// Last-write time in ns since the epoch, 0 when missing.
qint64 ModifiedNs(const QString& path);
bool CopyFileKeepTime(const QString& from, const QString& to);
bool MoveFile(const QString& from, const QString& to);
bool RemoveFile(const QString& path);
bool MakeDir(const QString& path);
bool MakePath(const QString& path);
QString Separator();

template <class F> bool ListMatching(const QString& mask, ListKind kind, F&& visit) {
    return ListMatchingImpl(
        mask, kind, [](void* ctx, const QString& name) { return (*static_cast<F*>(ctx))(name); },
        static_cast<void*>(&visit));
}

} // namespace Platform
