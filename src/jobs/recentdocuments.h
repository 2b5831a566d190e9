#pragma once
// The desktop's list of recently used documents (recently-used.xbel): where a document of a
// given name was last opened from.
#include <QByteArray>
#include <QHash>
#include <QString>
#include <memory>

class CRecentDocuments {
public:
    // The list in an XBEL text; empty when the text is not a well-formed XBEL document.
    static std::shared_ptr<const CRecentDocuments> Parse(const QByteArray& xbel);
    // The list in the file at path, parsed again only when the file changed; nullptr when it
    // cannot be read.
    static std::shared_ptr<const CRecentDocuments> Open(const QString& path);

    // The local path of the most recently used document whose file name is name, else of the
    // one whose name without extension is name (letter case ignored); "" when none.
    QString Find(const QString& name) const;
    int Count() const { return m_count; }

private:
    struct Entry {
        QString path;
        qint64 usedMs = -1; // when last modified or visited; -1 when not given
    };
    static void Keep(QHash<QString, Entry>& index, const QString& key, const Entry& entry);
    QHash<QString, Entry> m_byName; // case-folded file name -> entry
    QHash<QString, Entry> m_byStem; // case-folded name without extension -> entry
    int m_count = 0;
};
