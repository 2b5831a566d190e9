#pragma once
// A category: one question asked for every print job, how it is verified, and its
// predefined values; and the ordered collection of a printer group's categories.
#include "categories/cpredefinedvalue.h"

class CCategory {
public:
    QString CategoryName;
    qint32 Verification = 0;
    bool AckDefaultValues = false;
    bool AllowBlankValues = false;
    bool OnlyPreDefinedValues = false;
    bool MaskUserInput = false;
    QString Pattern;
    CPreDefinedValues PreDefinedValues;
    qint32 DefaultValue = 0;

    // Must the dialog show the job so that this category is confirmed?
    bool DisplayRequired(bool valueKnown) const;
    void Equals(const CCategory& other);
    bool ReadIniFile(qint32 version, const QString& path, qint32 handle, const QString& section);
    bool WriteIniFile(CLineWriter& file, const QString& section) const;
};

class CCategories : public CCollection<CCategory> {
public:
    Ptr NewCCategory(const QString& key = {}, const CRef& before = {}, const CRef& after = {}) {
        return AddNew(key, before, after);
    }
    bool ReadIniFile(qint32 version, const QString& path, qint32 handle, const QString& section,
                     const QString& suffix);
    bool WriteIniFile(CLineWriter& file, const QString& suffix) const;
};

// "#" a digit, "@" an ASCII letter, anything else itself; lengths must agree.
bool MatchPattern(const QString& text, const QString& pattern);
