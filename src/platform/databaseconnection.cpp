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
    // Written by hand: every job's store formats two or three, and a formatting locale costs
    // more than the rest of the row.
    int year = 0, month = 0, day = 0;
    dt.date().getDate(&year, &month, &day);
    const QTime t = dt.time();
    if (!dt.isValid() || year < 1 || year > 9999) {
        const QLocale c = QLocale::c();
        return c.toString(dt.date(), QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ') +
               c.toString(t, QStringLiteral("HH:mm:ss"));
    }
    char text[] = "0000-00-00 00:00:00";
    auto put = [&](int at, int width, int value) {
        for (int i = at + width - 1; i >= at; --i, value /= 10) text[i] = char('0' + value % 10);
    };
    put(0, 4, year);
    put(5, 2, month);
    put(8, 2, day);
    put(11, 2, t.hour());
    put(14, 2, t.minute());
    put(17, 2, t.second());
    return QString::fromLatin1(text, sizeof text - 1);
}

QVariant Bindable(const QVariant& v) {
    if (v.typeId() == QMetaType::QDateTime) return DateText(v.toDateTime());
    if (v.typeId() == QMetaType::QString && v.toString().isNull()) return QStringLiteral("");
    return v;
}

bool ConcernsDatabase(Kind kind, const QSqlError& e) {
    const QString code = e.nativeErrorCode();
    // Qt's SQLite driver calls every failed step a connection error: its code tells.
    if (e.type() == QSqlError::ConnectionError && (kind != Kind::SQLite || code.isEmpty()))
        return true;
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
