#include "categories/cpredefinedvalue.h"

#include "categories/systemcode.h"
#include "config/bconfigfile.h"

QString CPreDefinedValue::CodeDescription(qint32 code) {
    const SSystemCodeInfo* info = FindSystemCode(code);
    return info ? QString::fromLatin1(info->Description) : QStringLiteral("(unknown)");
}

QString CPreDefinedValue::Description() const {
    return IsSystemEntry ? CodeDescription(SystemCode) : EntryText;
}

bool CPreDefinedValue::IsCalculatedValue() const {
    const SSystemCodeInfo* info = IsSystemEntry ? FindSystemCode(SystemCode) : nullptr;
    return info && info->Calculated;
}

bool CPreDefinedValue::IsSystemValue() const {
    const SSystemCodeInfo* info = IsSystemEntry ? FindSystemCode(SystemCode) : nullptr;
    return info && !info->Calculated;
}

bool CPreDefinedValue::ReadIniFile(qint32, const QString& path, qint32 handle,
                                   const QString& section, const QString& key) {
    const CIniSource src{path, handle};
    QString value;
    if (!ReadMandatory(src, section, key, value)) return false;
    if (value.startsWith(QLatin1String("0,"))) {
        IsSystemEntry = false;
        SystemCode = 0;
        // In place: the text is the value's own, no copy per entry of a long list.
        EntryText = std::move(value.remove(0, 2)).trimmed();
        return true;
    }
    IsSystemEntry = true;
    EntryText.clear();
    if (!CheckNumber(value, src, section, key, 0, kMaxCount, SystemCode)) return false;
    if (!FindSystemCode(SystemCode)) {
        ShowEntryMessage(section, key, path, QStringLiteral(" is not valid"));
        return false;
    }
    return true;
}

bool CPreDefinedValue::WriteIniFile(CLineWriter& file, const QString& key) const {
    return WriteIniFileValue(
        file, key, IsSystemEntry ? QString::number(SystemCode) : QStringLiteral("0, ") + EntryText);
}

namespace {
void AppendNumber(QString& text, qint32 n) {
    char digits[12];
    int i = 0;
    do digits[i++] = char('0' + n % 10);
    while ((n /= 10) > 0);
    while (i > 0) text += QLatin1Char(digits[--i]);
}
} // namespace

bool CPreDefinedValues::ReadIniFile(qint32 version, const QString& path, qint32 handle,
                                    const QString& section) {
    // One key buffer for the whole list: lists may hold tens of thousands of entries.
    const QString prefix = QStringLiteral("PreDefinedValue");
    QString key = prefix;
    return ReadCounted(
        {path, handle}, section, QStringLiteral("NumPreDefinedValues"), [&](qint32 n) {
            key.resize(prefix.size());
            AppendNumber(key, n);
            return NewCPreDefinedValue()->ReadIniFile(version, path, handle, section, key);
        });
}

bool CPreDefinedValues::WriteIniFile(CLineWriter& file) const {
    return WriteCounted(
        file, QStringLiteral("NumPreDefinedValues"), *this, [&](const CPreDefinedValue& v, int n) {
            return v.WriteIniFile(file, QStringLiteral("PreDefinedValue") + QString::number(n));
        });
}
