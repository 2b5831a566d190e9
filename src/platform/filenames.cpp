// The names of files as the system holds them: bytes, UTF-8 where they are valid.
#include "platform/files.h"

#include "platform/posixfile.h"

#include <algorithm>

namespace Platform {
using Posix::Fail;
using Posix::Native;
using Posix::StatPath;
using Posix::WriteAll;

namespace {
void AppendUtf8(QByteArray& out, char32_t cp) {
    if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
    }
    out += char(0x80 | (cp & 0x3F));
}
} // namespace

QString DecodeName(const QByteArray& native) {
    const auto* p = reinterpret_cast<const uchar*>(native.constData());
    const qsizetype n = native.size();
    if (std::all_of(p, p + n, [](uchar b) { return b < 0x80; })) return QString::fromLatin1(native);
    QString out;
    out.reserve(n);
    for (qsizetype i = 0; i < n;) {
        const uchar b = p[i];
        if (b < 0x80) {
            out += QChar(b);
            ++i;
            continue;
        }
        int len = 0;
        char32_t cp = 0, least = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2, cp = b & 0x1F, least = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3, cp = b & 0x0F, least = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4, cp = b & 0x07, least = 0x10000;
        }
        bool valid = len > 0 && i + len <= n;
        for (int k = 1; valid && k < len; ++k) {
            valid = (p[i + k] & 0xC0) == 0x80;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        valid = valid && cp >= least && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
        if (!valid) { // kept as a lone surrogate, which no valid UTF-8 can give
            out += QChar(char16_t(0xDC00 + b));
            ++i;
        } else if (cp >= 0x10000) {
            out += QChar(QChar::highSurrogate(cp));
            out += QChar(QChar::lowSurrogate(cp));
            i += len;
        } else {
            out += QChar(char16_t(cp));
            i += len;
        }
    }
    return out;
}

QByteArray EncodeName(const QString& name) {
    if (std::all_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() < 0x80; }))
        return name.toLatin1();
    QByteArray out;
    out.reserve(name.size());
    const qsizetype n = name.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = name[i].unicode();
        if (c < 0x80) {
            out += char(c);
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && name[i + 1].isLowSurrogate()) {
            AppendUtf8(out, QChar::surrogateToUcs4(c, name[i + 1].unicode()));
            ++i;
        } else if (c >= 0xDC80 && c <= 0xDCFF) {
            out += char(c - 0xDC00);
        } else {
            AppendUtf8(out, QChar::isSurrogate(c) ? char32_t(0xFFFD) : char32_t(c));
        }
    }
    return out;
}

} // namespace Platform
