#pragma once
// The one ordered collection behind every collection class: positions from 1, an optional
// text key per item (letter case ignored, unique), hashed key lookup.
#include <QHash>
#include <QString>
#include <memory>
#include <vector>

// A position (from 1) or a key.
class CRef {
public:
    CRef() = default; // no item
    CRef(int position) : m_position(position) {}
    CRef(const QString& key) : m_key(key), m_isKey(true) {}
    CRef(const char* key) : m_key(QString::fromUtf8(key)), m_isKey(true) {}
    bool IsSet() const { return m_isKey || m_position != 0; }
    bool IsKey() const { return m_isKey; }
    int Position() const { return m_position; }
    const QString& Key() const { return m_key; }

private:
    int m_position = 0;
    QString m_key;
    bool m_isKey = false;
};

// Keys ignore letter case, as collection keys always have; ExactKeys compares them exactly
// (file paths on a case-sensitive file system).
template <class T, bool ExactKeys = false> class CCollection {
public:
    using Ptr = std::shared_ptr<T>;

private:
    struct Entry {
        Ptr item;
        QString key;
    };

public:
    // Adds item before or after the given item (at the end by default). nullptr, and nothing
    // added, when the key is already used or before/after names no item.
    Ptr Add(Ptr item, const QString& key = {}, const CRef& before = {}, const CRef& after = {}) {
        if (!item) return nullptr;
        const QString folded = Fold(key);
        if (!key.isEmpty() && m_index.contains(folded)) return nullptr;
        size_t at = m_items.size();
        if (before.IsSet() || after.IsSet()) {
            const int pos = IndexOf(before.IsSet() ? before : after);
            if (pos < 0) return nullptr;
            at = size_t(before.IsSet() ? pos : pos + 1);
        }
        m_items.insert(m_items.begin() + ptrdiff_t(at), Entry{item, key});
        if (!key.isEmpty()) m_index.insert(folded, item);
        return item;
    }
    // Creates a default item and adds it.
    Ptr AddNew(const QString& key = {}, const CRef& before = {}, const CRef& after = {}) {
        return Add(std::make_shared<T>(), key, before, after);
    }

    int Count() const { return int(m_items.size()); }
    bool Exists(const CRef& ref) const { return Item(ref) != nullptr; }
    // nullptr when there is no such item.
    Ptr Item(const CRef& ref) const {
        if (ref.IsKey()) return m_index.value(Fold(ref.Key()));
        const int i = IndexOf(ref);
        return i < 0 ? nullptr : m_items[size_t(i)].item;
    }
    bool Remove(const CRef& ref) {
        const int i = IndexOf(ref);
        if (i < 0) return false;
        if (!m_items[size_t(i)].key.isEmpty()) m_index.remove(Fold(m_items[size_t(i)].key));
        m_items.erase(m_items.begin() + i);
        return true;
    }
    // Makes this a deep copy of other, each item copied through its Equals.
    void Equals(const CCollection& other) {
        if (&other == this) return;
        RemoveAll();
        for (const Entry& e : other.m_items) {
            auto copy = std::make_shared<T>();
            copy->Equals(*e.item);
            Add(copy, e.key);
        }
    }
    void RemoveAll() {
        m_items.clear();
        m_index.clear();
    }

    // Enumeration in order, yielding the items.
    class Iterator {
    public:
        using Base = typename std::vector<Entry>::const_iterator;
        explicit Iterator(Base it) : m_it(it) {}
        const Ptr& operator*() const { return m_it->item; }
        Iterator& operator++() {
            ++m_it;
            return *this;
        }
        bool operator!=(const Iterator& o) const { return m_it != o.m_it; }

    private:
        Base m_it;
    };
    Iterator begin() const { return Iterator(m_items.begin()); }
    Iterator end() const { return Iterator(m_items.end()); }

private:
    static QString Fold(const QString& key) { return ExactKeys ? key : key.toCaseFolded(); }
    // 0-based index, -1 when absent.
    int IndexOf(const CRef& ref) const {
        if (!ref.IsKey()) {
            const int p = ref.Position();
            return p >= 1 && p <= Count() ? p - 1 : -1;
        }
        const T* target = m_index.value(Fold(ref.Key())).get();
        if (!target) return -1;
        for (size_t i = 0; i < m_items.size(); ++i)
            if (m_items[i].item.get() == target) return int(i);
        return -1;
    }

    std::vector<Entry> m_items;
    QHash<QString, Ptr> m_index;
};
