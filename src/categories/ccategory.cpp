#include "categories/ccategory.h"

#include "common/bcommon.h"
#include "config/bconfigfile.h"

bool CCategory::DisplayRequired(bool valueKnown) const {
    if (CategoryName == QLatin1String("Cost")) return true;
    switch (Verification) {
    case 0:
        return false;
    case 1:
        return !valueKnown;
    default:
        return true;
    }
}

void CCategory::Equals(const CCategory& other) {
    *this = other; // plain members; the owned collection is then copied deeply
    PreDefinedValues.Equals(other.PreDefinedValues);
}

bool CCategory::ReadIniFile(qint32 version, const QString& path, qint32 handle,
                            const QString& section) {
    const CIniSource src{path, handle};
    if (!ReadMandatory(src, section, QStringLiteral("CategoryName"), CategoryName) ||
        !ReadNumber(src, section, QStringLiteral("Verification"), 0, 2, Verification) ||
        !ReadStrictBool(src, section, QStringLiteral("AckDefaultValues"), AckDefaultValues) ||
        !ReadStrictBool(src, section, QStringLiteral("AllowBlankValues"), AllowBlankValues) ||
        !ReadStrictBool(src, section, QStringLiteral("OnlyPreDefinedValues"), OnlyPreDefinedValues))
        return false;
    const QString mask = GetPPS(section, QStringLiteral("MaskUserInput"), path, handle, true, true);
    MaskUserInput = mask != kMissing && LenientFlag(mask);
    Pattern = GetPPS(section, QStringLiteral("Pattern"), path, handle, true, true);
    if (Pattern == kMissing || Pattern.isEmpty()) Pattern = QStringLiteral("Any");
    if (!PreDefinedValues.ReadIniFile(version, path, handle, section)) return false;
    return ReadNumber(src, section, QStringLiteral("DefaultValue"), 0, PreDefinedValues.Count(),
                      DefaultValue);
}

bool CCategory::WriteIniFile(CLineWriter& file, const QString& section) const {
    return WriteIniFileSection(file, QString()) && WriteIniFileSection(file, section) &&
           WriteIniFileValue(file, QStringLiteral("CategoryName"), CategoryName) &&
           WriteIniFileValue(file, QStringLiteral("Verification"), QString::number(Verification)) &&
           WriteIniFileValue(file, QStringLiteral("AckDefaultValues"),
                             BoolText(AckDefaultValues)) &&
           WriteIniFileValue(file, QStringLiteral("AllowBlankValues"),
                             BoolText(AllowBlankValues)) &&
           WriteIniFileValue(file, QStringLiteral("OnlyPreDefinedValues"),
                             BoolText(OnlyPreDefinedValues)) &&
           WriteIniFileValue(file, QStringLiteral("MaskUserInput"), BoolText(MaskUserInput)) &&
           WriteIniFileValue(file, QStringLiteral("Pattern"), Pattern) &&
           PreDefinedValues.WriteIniFile(file) &&
           WriteIniFileValue(file, QStringLiteral("DefaultValue"), QString::number(DefaultValue));
}

bool CCategories::ReadIniFile(qint32 version, const QString& path, qint32 handle,
                              const QString& section, const QString& suffix) {
    return ReadCounted({path, handle}, section, QStringLiteral("NumCategories"), [&](qint32 i) {
        return NewCCategory()->ReadIniFile(
            version, path, handle, QStringLiteral("CATEGORY") + suffix + QString::number(i));
    });
}

bool CCategories::WriteIniFile(CLineWriter& file, const QString& suffix) const {
    return WriteCounted(
        file, QStringLiteral("NumCategories"), *this, [&](const CCategory& c, int i) {
            return c.WriteIniFile(file, QStringLiteral("CATEGORY") + suffix + QString::number(i));
        });
}

bool MatchPattern(const QString& text, const QString& pattern) {
    if (text.size() != pattern.size()) return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t p = pattern[i].unicode(), t = text[i].unicode();
        if (p == u'#') {
            if (t < u'0' || t > u'9') return false;
        } else if (p == u'@') {
            if (!((t >= u'A' && t <= u'Z') || (t >= u'a' && t <= u'z'))) return false;
        } else if (p != t) {
            return false;
        }
    }
    return true;
}
