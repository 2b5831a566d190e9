#include "platform/ini_document.h"

#include "platform/files.h"
#include "platform/lines.h"
#include "platform/posixfile.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace Platform {

// Case folding for hashed lookups into out, whose buffer is reused; ASCII, by far the common
// case, without Unicode tables.
static const QString& FoldInto(QStringView s, QString& out) {
    out.resize(s.size());
    QChar* d = out.data();
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        if (c >= 128) return out = s.toString().toCaseFolded();
        d[i] = QChar(c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c);
    }
    return out;
}

static QString Fold(QStringView s) {
    QString out;
    return FoldInto(s, out);
}

std::shared_ptr<const IniDocument> IniDocument::Parse(const QByteArray& bytes) {
    auto doc = std::make_shared<IniDocument>();
    doc->m_text = DecodeText(bytes);
    const QString& text = doc->m_text;
    // Folded ASCII names are never longer than the text: the buffer is never moved.
    doc->m_names.resize(text.size());
    QChar* const names = doc->m_names.data();
    qsizetype used = 0;
    const auto name = [&](QStringView s) {
        for (const QChar c : s)
            if (c.unicode() >= 128) return Fold(s);
        QChar* const at = names + used;
        for (qsizetype i = 0; i < s.size(); ++i) {
            const char16_t c = s[i].unicode();
            at[i] = QChar(c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c);
        }
        used += s.size();
        return QString::fromRawData(at, s.size());
    };
    Section* current = nullptr;
    ForEachLine(QStringView(text), [&](QStringView raw) {
        const QStringView line = raw.trimmed();
        if (line.isEmpty() || line.front() == QLatin1Char(';')) return true;
        if (line.front() == QLatin1Char('[')) {
            qsizetype close = line.indexOf(QLatin1Char(']'));
            const QStringView title = close < 0 ? line.mid(1) : line.mid(1, close - 1);
            current = &doc->m_sections[name(title.trimmed())];
            return true;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0 || !current) return true;
        // One lookup: a key given again keeps its first value.
        const qsizetype before = current->index.size();
        const QString key = name(line.left(eq).trimmed());
        qsizetype& at = current->index[key];
        if (current->index.size() == before) return true;
        at = current->entries.size();
        current->entries.append({key, line.mid(eq + 1).trimmed()});
        ++doc->m_entries;
        return true;
    });
    return doc;
}

namespace {
struct CacheEntry {
    qint64 size = -1;
    qint64 mtimeNs = 0;
    quint64 inode = 0;
    std::shared_ptr<const IniDocument> doc;
};
} // namespace

std::shared_ptr<const IniDocument> IniDocument::Open(const QString& path) {
    static QHash<QString, CacheEntry> cache;
    constexpr int kMaxCached = 16;

    // Configuration files may be links; a FIFO or device is never opened for reading.
    const QByteArray native = EncodeName(path);
    struct stat st;
    if (native.isEmpty() || ::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return nullptr;
    auto stamp = [](const struct stat& s) {
        return qint64(s.st_mtim.tv_sec) * 1000000000LL + s.st_mtim.tv_nsec;
    };
    auto it = cache.constFind(path);
    if (it != cache.constEnd() && it->size == st.st_size && it->mtimeNs == stamp(st) &&
        it->inode == st.st_ino)
        return it->doc;
    const int fd = Posix::OpenRegular(path, O_RDONLY, true, &st);
    if (fd < 0) return nullptr;
    QByteArray bytes;
    const bool read = Posix::ReadAll(fd, -1, &bytes);
    Posix::Close(fd);
    if (!read) return nullptr;
    auto doc = Parse(bytes);
    if (cache.size() >= kMaxCached && !cache.contains(path)) cache.clear();
    cache.insert(path, CacheEntry{qint64(st.st_size), stamp(st), quint64(st.st_ino), doc});
    return doc;
}

// A reading pass looks up tens of thousands of keys: no allocation per lookup.
thread_local QString folded;

const IniDocument::Section* IniDocument::FindSection(QStringView section) const {
    auto s = m_sections.constFind(FoldInto(section.trimmed(), folded));
    return s == m_sections.constEnd() ? nullptr : &*s;
}

std::optional<QStringView> IniDocument::Find(const Section* section, QStringView key,
                                             qsizetype* next) {
    if (!section) return std::nullopt;
    const QString& k = FoldInto(key.trimmed(), folded);
    qsizetype at = next ? *next : -1;
    if (at < 0 || at >= section->entries.size() || section->entries[at].first != k) {
        const auto found = section->index.constFind(k);
        if (found == section->index.constEnd()) return std::nullopt;
        at = *found;
    }
    if (next) *next = at + 1;
    return section->entries[at].second;
}

std::optional<QStringView> IniDocument::Find(QStringView section, QStringView key) const {
    return Find(FindSection(section), key);
}

bool IniDocument::HasSection(QStringView section) const {
    return m_sections.contains(Fold(section.trimmed()));
}

} // namespace Platform
