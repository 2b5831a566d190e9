#pragma once
// Registry readers.
#include <QString>

inline const QString kLocalMachine = QStringLiteral("HKEY_LOCAL_MACHINE");
inline const QString kCurrentUser = QStringLiteral("HKEY_CURRENT_USER");

// The product's own key under the local-machine hive, ending in the major version number.
QString ProductKey();

// Replaces value with the named value under root\subkey (a string as it is, a 32-bit number as
// decimal text); false when the key or the value cannot be read.
bool GetKeyValue(const QString& root, const QString& subkey, const QString& name, QString& value);
// The named value under the local-machine hive, or "(unknown)".
QString GetMachineKeyValue(const QString& subkey, const QString& name);
