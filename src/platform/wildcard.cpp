// Wildcard masks ("*", "?", letter case ignored) and the listings they select.
#include "platform/files.h"

#include "platform/posixfile.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace Platform {
using Posix::Fail;
using Posix::Native;
using Posix::StatPath;
using Posix::WriteAll;

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

bool ListMatchingImpl(const QString& mask, ListKind kind, bool (*visit)(void*, const QString&),
                      void* ctx) {
    if (mask.isEmpty()) return false;
    QString folder, pattern;
    SplitMask(mask, &folder, &pattern);
    if (pattern.isEmpty()) return false;
    const bool files = kind == ListKind::Files;
    if (!HasWildcard(pattern)) {
        // A plain name: one lstat instead of a listing.
        struct stat st;
        if (!StatPath(mask, &st, false)) return IsDir(folder);
        if (!files || S_ISREG(st.st_mode)) visit(ctx, pattern);
        return true;
    }
    DIR* dir = ::opendir(Native(folder).constData());
    if (!dir) return Fail(errno);
    const bool everything = pattern == QLatin1String("*") || pattern == QLatin1String("*.*");
    while (struct dirent* e = ::readdir(dir)) {
        const char* raw = e->d_name;
        if (raw[0] == '.' && (raw[1] == 0 || (raw[1] == '.' && raw[2] == 0))) continue;
        const QString name = DecodeName(QByteArray(raw));
        if (!everything && !MatchWildcard(name, pattern)) continue;
        if (files && e->d_type != DT_REG) {
            struct stat st;
            if (e->d_type != DT_UNKNOWN ||
                ::fstatat(::dirfd(dir), raw, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
                continue;
        }
        if (!visit(ctx, name)) break;
    }
    ::closedir(dir);
    return true;
}

} // namespace Platform
