#include "platform/files.h"

#include "platform/lines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>

namespace Platform {

QString DecodeText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) return QString::fromLatin1(bytes);
    return text;
}

bool ReadTextFile(const QString& path, QString* text) {
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly)) return false;
    QByteArray bytes = f.readAll();
    if (f.error() != QFile::NoError) return false;
    *text = DecodeText(bytes);
    return true;
}

QByteArray ReadHead(const QString& path, qint64 maxBytes, bool* ok) {
    QFile f(path);
    *ok = false;
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = f.read(maxBytes);
    *ok = f.error() == QFile::NoError;
    return bytes;
}

bool CanOpenForReading(const QString& path) {
    QFile f(path);
    return !path.isEmpty() && f.open(QIODevice::ReadOnly);
}

bool CanOpenForAppending(const QString& path) {
    QFile f(path);
    return !path.isEmpty() && f.open(QIODevice::WriteOnly | QIODevice::Append);
}

QStringList ReadLines(const QString& path, bool* ok) {
    QString text;
    const bool read = ReadTextFile(path, &text);
    if (ok) *ok = read;
    QStringList lines;
    if (read)
        ForEachLine(QStringView(text), [&](QStringView line) {
            lines << line.toString();
            return true;
        });
    return lines;
}

QByteArray EncodeLines(const QStringList& lines) {
    QByteArray out;
    for (const QString& l : lines) {
        out += l.toUtf8();
        out += "\r\n";
    }
    return out;
}

bool WriteLine(const QString& path, const QString& line, bool replace) {
    if (path.isEmpty()) return false;
    QFile f(path);
    if (!f.open(replace ? (QIODevice::WriteOnly | QIODevice::Truncate)
                        : (QIODevice::WriteOnly | QIODevice::Append)))
        return false;
    const QByteArray bytes = line.toUtf8() + "\r\n";
    return f.write(bytes) == bytes.size();
}

bool SaveFileAtomic(const QString& path, const QByteArray& data) {
    if (path.isEmpty()) return false;
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    if (f.write(data) != data.size()) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

bool AppendLineAtomic(const QString& path, const QString& line) {
    QByteArray data;
    QFile f(path);
    if (f.exists()) {
        if (!f.open(QIODevice::ReadOnly)) return false;
        data = f.readAll();
        f.close();
        if (!data.isEmpty() && !data.endsWith('\n')) data += "\r\n";
    }
    return SaveFileAtomic(path, data + line.toUtf8() + "\r\n");
}

bool HasWildcard(const QString& text) {
    return text.contains(QLatin1Char('*')) || text.contains(QLatin1Char('?'));
}

static bool GlobMatch(QStringView name, QStringView pat) {
    // Iterative matcher with one backtrack point: linear in practice, never exponential.
    qsizetype n = 0, p = 0, starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pat.size() && pat[p] == QLatin1Char('*')) {
            starP = p++;
            starN = n;
        } else if (p < pat.size() && (pat[p] == QLatin1Char('?') ||
                                      pat[p].toCaseFolded() == name[n].toCaseFolded())) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pat.size() && pat[p] == QLatin1Char('*')) ++p;
    return p == pat.size();
}

bool MatchWildcard(const QString& name, const QString& pattern) {
    if (GlobMatch(name, pattern)) return true;
    // "*.*" and "name.*" also match names without an extension, as on Windows.
    if (pattern.endsWith(QLatin1String(".*")) && !name.contains(QLatin1Char('.')))
        return GlobMatch(name, QStringView(pattern).chopped(2));
    return false;
}

static void SplitMask(const QString& mask, QString* folder, QString* pattern) {
    const qsizetype slash = mask.lastIndexOf(QLatin1Char('/'));
    if (slash < 0) {
        *folder = QStringLiteral(".");
        *pattern = mask;
    } else {
        *folder = slash == 0 ? QStringLiteral("/") : mask.left(slash);
        *pattern = mask.mid(slash + 1);
    }
}

static bool StatPath(const QString& path, struct stat* st) {
    const QByteArray native = QFile::encodeName(path);
    return !native.isEmpty() && ::stat(native.constData(), st) == 0;
}

bool ListMatchingImpl(const QString& mask, ListKind kind, bool (*visit)(void*, const QString&),
                      void* ctx) {
    if (mask.isEmpty()) return false;
    QString folder, pattern;
    SplitMask(mask, &folder, &pattern);
    if (pattern.isEmpty()) return false;
    if (!HasWildcard(pattern)) {
        // A plain name: one stat instead of a listing.
        struct stat st;
        if (!StatPath(mask, &st)) return IsDir(folder);
        if (S_ISDIR(st.st_mode) && kind == ListKind::Files) return true;
        visit(ctx, pattern);
        return true;
    }
    const QByteArray native = QFile::encodeName(folder);
    DIR* dir = ::opendir(native.constData());
    if (!dir) return false;
    const bool everything = pattern == QLatin1String("*") || pattern == QLatin1String("*.*");
    while (struct dirent* e = ::readdir(dir)) {
        const char* raw = e->d_name;
        if (raw[0] == '.' && (raw[1] == 0 || (raw[1] == '.' && raw[2] == 0))) continue;
        const QString name = QFile::decodeName(raw);
        if (!everything && !MatchWildcard(name, pattern)) continue;
        if (kind == ListKind::Files) {
            bool isDir = e->d_type == DT_DIR;
            if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
                struct stat st;
                isDir = StatPath(folder + QLatin1Char('/') + name, &st) && S_ISDIR(st.st_mode);
            }
            if (isDir) continue;
        }
        if (!visit(ctx, name)) break;
    }
    ::closedir(dir);
    return true;
}

bool Exists(const QString& path) {
    struct stat st;
    return StatPath(path, &st);
}

bool IsDir(const QString& path) {
    struct stat st;
    return StatPath(path, &st) && S_ISDIR(st.st_mode);
}

bool IsFile(const QString& path) {
    struct stat st;
    return StatPath(path, &st) && !S_ISDIR(st.st_mode);
}

qint64 ModifiedNs(const QString& path) {
    struct stat st;
    if (!StatPath(path, &st)) return 0;
    return qint64(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

bool CopyFileKeepTime(const QString& from, const QString& to) {
    struct stat st;
    if (!StatPath(from, &st) || S_ISDIR(st.st_mode)) return false;
    QFile src(from);
    if (!src.open(QIODevice::ReadOnly)) return false;
    const QByteArray data = src.readAll();
    if (src.error() != QFile::NoError) return false;
    if (!SaveFileAtomic(to, data)) return false;
    // Keep the last-write time: the configuration reload compares stamps of copies.
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    const QByteArray native = QFile::encodeName(to);
    return ::utimensat(AT_FDCWD, native.constData(), times, 0) == 0;
}

bool MoveFile(const QString& from, const QString& to) {
    if (!IsFile(from)) return false;
    if (Exists(to) && !QFile::remove(to)) return false;
    if (QFile::rename(from, to)) // QFile::rename copies across volumes itself
        return true;
    return false;
}

bool RemoveFile(const QString& path) {
    return !path.isEmpty() && QFile::remove(path);
}

bool MakeDir(const QString& path) {
    return !path.isEmpty() && QDir().mkdir(path);
}

bool MakePath(const QString& path) {
    return !path.isEmpty() && QDir().mkpath(path);
}

QString Separator() {
    return QStringLiteral("/");
}

} // namespace Platform
