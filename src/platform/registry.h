#pragma once
// The registry, kept in an INI file: section = hive + key path written with "\",
// "Name = text" a string value, "Name = dword:00000100" a 32-bit number.
#include <QString>

namespace Platform {

enum class RegType { String = 1, DWord = 4 };

struct RegValue {
    RegType type = RegType::String;
    QString text;     // string values
    quint32 number{}; // 32-bit values
};

// $QORVLOG_REGISTRY, else /etc/qorvlog/registry.ini.
QString RegistryFilePath();
bool RegistryKeyExists(const QString& keyPath);
bool ReadRegistryValue(const QString& keyPath, const QString& name, RegValue* value);

} // namespace Platform
