#include "config/bregistry.h"

#include "platform/registry.h"

static QString KeyPath(const QString& root, const QString& subkey) {
    return root + QLatin1Char('\\') + subkey;
}

static bool ReadValue(const QString& keyPath, const QString& name, QString& value) {
    if (!Platform::RegistryKeyExists(keyPath)) return false;
    Platform::RegValue v;
    if (!Platform::ReadRegistryValue(keyPath, name, &v)) return false;
    value = v.type == Platform::RegType::DWord ? QString::number(v.number) : v.text;
    return true;
}

QString ProductKey() {
    return QStringLiteral("SOFTWARE\\Velmora Group\\Kestova Sentrel\\") +
           QString::number(QORVLOG_VERSION_MAJOR);
}

bool GetKeyValue(const QString& root, const QString& subkey, const QString& name, QString& value) {
    return ReadValue(KeyPath(root, subkey), name, value);
}

QString GetMachineKeyValue(const QString& subkey, const QString& name) {
    QString value;
    return ReadValue(KeyPath(kLocalMachine, subkey), name, value) ? value
                                                                  : QStringLiteral("(unknown)");
}
