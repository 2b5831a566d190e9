#include "platform/databaseconnection.h"

#include <QFileInfo>
#include <QLocale>
#include <QUrl>

namespace Platform::DatabaseDetail {

QString SqliteUri(const QString& path, const char* mode) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    return QStringLiteral("file:") + QString::fromLatin1(QUrl::toPercentEncoding(absolute, "/")) +
           QStringLiteral("?mode=") + QLatin1String(mode);
}

QString DateText(const QDateTime& dt) {
    const QLocale c = QLocale::c();
    return c.toString(dt.date(), QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ') +
           c.toString(dt.time(), QStringLiteral("HH:mm:ss"));
}

QVariant Bindable(const QVariant& v) {
    if (v.typeId() == QMetaType::QDateTime) return DateText(v.toDateTime());
    if (v.typeId() == QMetaType::QString && v.toString().isNull()) return QStringLiteral("");
    return v;
}

bool ConcernsDatabase(Kind kind, const QSqlError& e) {
    if (e.type() == QSqlError::ConnectionError) return true;
    const QString code = e.nativeErrorCode();
    if (kind == Kind::SQLite) {
        enum { Perm = 3, Busy = 5, Locked = 6, ReadOnly = 8, IoErr = 10, Corrupt = 11, Full = 13 };
        enum { CantOpen = 14, NotADb = 26 };
        switch (code.toInt() & 0xff) {
        case Perm:
        case Busy:
        case Locked:
        case ReadOnly:
        case IoErr:
        case Corrupt:
        case Full:
        case CantOpen:
        case NotADb:
            return true;
        default:
            return false;
        }
    }
    // No SQLSTATE: the server did not answer. Classes: connection, resources, operator
    // intervention (shutdown), system, no such database, login; then no privilege, read-only
    // transaction, lock not available.
    if (code.isEmpty()) return true;
    for (const char* c : {"08", "53", "57", "58", "3D", "28"})
        if (code.startsWith(QLatin1String(c))) return true;
    return code == QLatin1String("42501") || code == QLatin1String("25006") ||
           code == QLatin1String("55P03");
}

} // namespace Platform::DatabaseDetail
