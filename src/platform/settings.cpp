#include "platform/settings.h"

#include <QSettings>

#include <memory>

namespace Platform {

static QString GroupKey(const QString& app, const QString& section, const QString& key) {
    return app + QLatin1Char('/') + section + QLatin1Char('/') + key;
}

// A fresh object per call: the store's place follows $XDG_CONFIG_HOME at the time of use,
// and another instance of the program may have written since.
static std::unique_ptr<QSettings> Store() {
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("QorvLog"));
}

QVariant ReadSetting(const QString& app, const QString& section, const QString& key, bool* found) {
    auto s = Store();
    const QString k = GroupKey(app, section, key);
    *found = s->contains(k);
    return *found ? s->value(k) : QVariant();
}

void WriteSetting(const QString& app, const QString& section, const QString& key,
                  const QVariant& value) {
    auto s = Store();
    s->setValue(GroupKey(app, section, key), value);
    s->sync();
}

} // namespace Platform
