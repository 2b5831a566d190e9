#pragma once
// A predefined value of a category: a fixed text or a system value code, and their list.
#include "common/collection.h"
#include "common/linewriter.h"

#include <QString>

class CPreDefinedValue {
public:
    bool IsSystemEntry = false;
    qint32 SystemCode = 0;
    QString EntryText;

    QString Description() const;
    void Equals(const CPreDefinedValue& other) { *this = other; }
    bool IsCalculatedValue() const;
    bool IsSystemValue() const;
    bool ReadIniFile(qint32 version, const QString& path, qint32 handle, const QString& section,
                     const QString& key);
    bool WriteIniFile(CLineWriter& file, const QString& key) const;

    // The description of a system code, "(unknown)" for a number that is not one.
    static QString CodeDescription(qint32 code);
};

class CPreDefinedValues : public CCollection<CPreDefinedValue> {
public:
    Ptr NewCPreDefinedValue(const QString& key = {}, const CRef& before = {},
                            const CRef& after = {}) {
        return AddNew(key, before, after);
    }
    bool ReadIniFile(qint32 version, const QString& path, qint32 handle, const QString& section);
    bool WriteIniFile(CLineWriter& file) const;
};
