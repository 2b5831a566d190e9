#pragma once
// Per-user program settings (QSettings user scope, application "QorvLog"), grouped by the
// program's title and a section, as the Windows settings store groups them.
#include <QString>
#include <QVariant>

namespace Platform {

QVariant ReadSetting(const QString& app, const QString& section, const QString& key, bool* found);
void WriteSetting(const QString& app, const QString& section, const QString& key,
                  const QVariant& value);

} // namespace Platform
