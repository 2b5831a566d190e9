#pragma once
// A parsed INI file: sections and keys matched without regard to case, hashed lookups.
//
// Rules: "[name]" starts a section (the name is trimmed); "key = value" lines are split at
// the first "=" and both sides trimmed; lines starting with ";" are comments. Nothing else
// is interpreted: quotes, escapes and ";" inside a value are kept as written. A key given
// twice in a section keeps its first value (as the Windows profile functions do); a section
// given twice is one section, its keys merged under the same rule. Entries before the first
// section are ignored.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

namespace Platform {

class IniDocument {
public:
    static std::shared_ptr<const IniDocument> Parse(const QByteArray& bytes);
    // Parses the file, or returns the parse kept from an earlier call when the file is
    // unchanged (same path, size, modification time and inode). nullptr when unreadable.
    static std::shared_ptr<const IniDocument> Open(const QString& path);

    // The value, a view into this document valid while it lives; none when the section or
    // key is absent.
    std::optional<QStringView> Find(QStringView section, QStringView key) const;
    // The same in two steps, for many keys of one section: nullptr when it is absent.
    struct Section {
        QHash<QString, qsizetype> index;                // folded key: its place in entries
        QList<std::pair<QString, QStringView>> entries; // folded key and value, in file order
    };
    const Section* FindSection(QStringView section) const;
    // next, when given, is where the last lookup in this section ended (-1 before the first):
    // keys asked for in file order, as readers do, are found without hashing.
    static std::optional<QStringView> Find(const Section* section, QStringView key,
                                           qsizetype* next = nullptr);
    bool HasSection(QStringView section) const;
    int EntryCount() const { return m_entries; }

private:
    // Names and values point into these two texts: a list of tens of thousands of entries is
    // parsed, and freed, without an allocation per entry.
    QString m_text, m_names;
    QHash<QString, Section> m_sections;
    int m_entries = 0;
};

} // namespace Platform
