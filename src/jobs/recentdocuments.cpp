#include "jobs/recentdocuments.h"

#include "common/bcommon.h"
#include "platform/files.h"

#include <QDateTime>
#include <QUrl>
#include <QXmlStreamReader>

namespace {
constexpr qint64 kMaxListBytes = 64 << 20;

qint64 UsedMs(const QXmlStreamAttributes& attributes) {
    qint64 used = -1;
    for (const char* name : {"modified", "visited"}) {
        const QDateTime t = QDateTime::fromString(attributes.value(QLatin1String(name)).toString(),
                                                  Qt::ISODateWithMs);
        if (t.isValid()) used = std::max(used, t.toMSecsSinceEpoch());
    }
    return used;
}
} // namespace

void CRecentDocuments::Keep(QHash<QString, Entry>& index, const QString& key, const Entry& entry) {
    if (key.isEmpty()) return;
    auto it = index.find(key);
    if (it == index.end())
        index.insert(key, entry);
    else if (entry.usedMs >= it->usedMs) // the later of two equally old entries
        *it = entry;
}

std::shared_ptr<const CRecentDocuments> CRecentDocuments::Parse(const QByteArray& xbel) {
    auto list = std::make_shared<CRecentDocuments>();
    CRecentDocuments parsed;
    QXmlStreamReader xml(xbel);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("xbel")) return list;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement ||
            xml.name() != QLatin1String("bookmark"))
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        const QUrl url(attributes.value(QLatin1String("href")).toString());
        if (!url.isLocalFile()) continue; // no href, or not a file
        const Entry entry{url.toLocalFile(), UsedMs(attributes)};
        const QString name = LastComponent(entry.path);
        Keep(parsed.m_byName, name.toCaseFolded(), entry);
        Keep(parsed.m_byStem, WithoutExtension(name).toCaseFolded(), entry);
        ++parsed.m_count;
    }
    // A list cut short or damaged is not the desktop's list: nothing in it is taken.
    if (xml.hasError()) return list;
    *list = std::move(parsed);
    return list;
}

std::shared_ptr<const CRecentDocuments> CRecentDocuments::Open(const QString& path) {
    struct Cached {
        Platform::FileStamp stamp;
        std::shared_ptr<const CRecentDocuments> list;
    };
    static QHash<QString, Cached> cache;
    constexpr int kMaxCached = 8;
    // The stamp before the bytes: a change while reading shows at the next call.
    const Platform::FileStamp stamp = Platform::StampOf(path);
    if (!stamp.regular) return nullptr;
    if (const auto it = cache.constFind(path); it != cache.constEnd() && it->stamp == stamp)
        return it->list;
    bool ok = false;
    const QByteArray bytes = Platform::ReadHead(path, kMaxListBytes, &ok);
    if (!ok) return nullptr;
    auto list = Parse(bytes);
    if (cache.size() >= kMaxCached && !cache.contains(path)) cache.clear();
    cache.insert(path, Cached{stamp, list});
    return list;
}

QString CRecentDocuments::Find(const QString& name) const {
    const QString key = name.toCaseFolded();
    if (const auto it = m_byName.constFind(key); it != m_byName.constEnd()) return it->path;
    if (const auto it = m_byStem.constFind(key); it != m_byStem.constEnd()) return it->path;
    return {};
}
