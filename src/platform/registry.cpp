#include "platform/registry.h"

#include "platform/ini_document.h"

namespace Platform {

QString RegistryFilePath() {
    const QString env = qEnvironmentVariable("QORVLOG_REGISTRY");
    return env.isEmpty() ? QStringLiteral("/etc/qorvlog/registry.ini") : env;
}

bool RegistryKeyExists(const QString& keyPath) {
    auto doc = IniDocument::Open(RegistryFilePath());
    return doc && doc->HasSection(keyPath);
}

bool ReadRegistryValue(const QString& keyPath, const QString& name, RegValue* value) {
    auto doc = IniDocument::Open(RegistryFilePath());
    if (!doc) return false;
    const auto raw = doc->Find(keyPath, name);
    if (!raw) return false;
    if (raw->startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
        bool ok = false;
        const quint32 n = raw->mid(6).trimmed().toUInt(&ok, 16);
        if (!ok) return false;
        value->type = RegType::DWord;
        value->number = n;
        value->text.clear();
        return true;
    }
    value->type = RegType::String;
    value->text = raw->toString();
    return true;
}

} // namespace Platform
