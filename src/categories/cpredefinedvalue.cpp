#include "categories/cpredefinedvalue.h"

#include "config/bconfigfile.h"

QString CPreDefinedValue::CodeDescription(qint32 code) {
    switch (code) {
    case 1:
        return QStringLiteral("None");
    case 2:
        return QStringLiteral("Last Used");
    case 10:
        return QStringLiteral("Printer Name");
    case 11:
        return QStringLiteral("Machine Name");
    case 12:
        return QStringLiteral("User Name");
    case 13:
        return QStringLiteral("Document Name");
    case 14:
        return QStringLiteral("Submitted Date/Time");
    case 15:
        return QStringLiteral("Queue Name");
    case 16:
        return QStringLiteral("Driver Name");
    case 17:
        return QStringLiteral("Printer Group");
    case 20:
        return QStringLiteral("Job Size (bytes)");
    case 21:
        return QStringLiteral("Number of Pages Per Copy");
    case 22:
        return QStringLiteral("Number of Separator Pages");
    case 23:
        return QStringLiteral("DataBase Record ID");
    case 24:
        return QStringLiteral("Number of Copies");
    case 25:
        return QStringLiteral("Total Pages");
    case 31:
        return QStringLiteral("Paper Name");
    case 32:
        return QStringLiteral("Paper Width (in)");
    case 33:
        return QStringLiteral("Paper Height (in)");
    case 34:
        return QStringLiteral("Paper Area Per Sheet (sq ft)");
    case 35:
        return QStringLiteral("Paper Size (## x ##)");
    case 36:
        return QStringLiteral("Paper Name and Size");
    case 37:
        return QStringLiteral("Total Paper Area (sq ft)");
    case 38:
        return QStringLiteral("Media Type");
    case 39:
        return QStringLiteral("Orientation");
    case 40:
        return QStringLiteral("Job Summary");
    case 41:
        return QStringLiteral("Path and Filename");
    case 42:
        return QStringLiteral("Color-Monochrome");
    case 43:
        return QStringLiteral("RESERVED");
    case 81:
        return QStringLiteral("Document Directory Level 1");
    case 89:
        return QStringLiteral("Auto Directory Level Including Filename");
    case 90:
        return QStringLiteral("Auto Directory Level");
    default:
        if (code >= 82 && code <= 88)
            return QStringLiteral("Document Directory Level ") + QString::number(code - 80);
        return QStringLiteral("(unknown)");
    }
}

QString CPreDefinedValue::Description() const {
    return IsSystemEntry ? CodeDescription(SystemCode) : EntryText;
}

bool CPreDefinedValue::IsCalculatedValue() const {
    if (!IsSystemEntry) return false;
    const qint32 c = SystemCode;
    return c == 1 || c == 2 || c == 25 || (c >= 34 && c <= 37) || (c >= 81 && c <= 90);
}

bool CPreDefinedValue::IsSystemValue() const {
    if (!IsSystemEntry) return false;
    const qint32 c = SystemCode;
    return (c >= 10 && c <= 17) || (c >= 20 && c <= 24) || (c >= 31 && c <= 33) ||
           (c >= 38 && c <= 43);
}

bool CPreDefinedValue::ReadIniFile(qint32, const QString& path, qint32 handle,
                                   const QString& section, const QString& key) {
    const CIniSource src{path, handle};
    QString value;
    if (!ReadMandatory(src, section, key, value)) return false;
    if (value.startsWith(QLatin1String("0,"))) {
        IsSystemEntry = false;
        SystemCode = 0;
        EntryText = value.mid(2).trimmed();
        return true;
    }
    IsSystemEntry = true;
    EntryText.clear();
    if (!CheckNumber(value, src, section, key, 0, kMaxCount, SystemCode)) return false;
    if (CodeDescription(SystemCode) == QLatin1String("(unknown)")) {
        ShowEntryMessage(section, key, path, QStringLiteral(" is not valid"));
        return false;
    }
    return true;
}

bool CPreDefinedValue::WriteIniFile(CLineWriter& file, const QString& key) const {
    return WriteIniFileValue(
        file, key, IsSystemEntry ? QString::number(SystemCode) : QStringLiteral("0, ") + EntryText);
}

bool CPreDefinedValues::ReadIniFile(qint32 version, const QString& path, qint32 handle,
                                    const QString& section) {
    return ReadCounted({path, handle}, section, QStringLiteral("NumPreDefinedValues"),
                       [&](qint32 n) {
                           return NewCPreDefinedValue()->ReadIniFile(
                               version, path, handle, section,
                               QStringLiteral("PreDefinedValue") + QString::number(n));
                       });
}

bool CPreDefinedValues::WriteIniFile(CLineWriter& file) const {
    return WriteCounted(
        file, QStringLiteral("NumPreDefinedValues"), *this, [&](const CPreDefinedValue& v, int n) {
            return v.WriteIniFile(file, QStringLiteral("PreDefinedValue") + QString::number(n));
        });
}
