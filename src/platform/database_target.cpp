// Naming a job database: a file path for SQLite, a postgresql:// address for PostgreSQL.
#include "platform/database.h"

#include <QUrl>

#include <algorithm>

namespace Platform {

namespace {
using Kind = DatabaseTarget::Kind;

QString Decode(const QString& text) {
    return QUrl::fromPercentEncoding(text.toUtf8());
}

// A libpq parameter value, quoted; Qt joins the parameters with ";", so a value cannot hold one.
bool AddOption(DatabaseTarget& t, const QString& key, const QString& value) {
    if (value.contains(QLatin1Char(';')) || key.contains(QLatin1Char(';'))) {
        t.error =
            QStringLiteral("the parameter %1 holds a \";\", which cannot be passed on").arg(key);
        return false;
    }
    QString quoted = value;
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('\''), QLatin1String("\\'"));
    t.options << key + QStringLiteral("='") + quoted + QLatin1Char('\'');
    return true;
}

bool SetPort(DatabaseTarget& t, const QString& text) {
    bool ok = false;
    const int port = text.toInt(&ok);
    if (!ok || port <= 0 || port > 65535) {
        t.error = QStringLiteral("the port \"%1\" is not a port number").arg(text);
        return false;
    }
    t.port = port;
    return true;
}

// postgresql://[user[:password]@][host][:port][/dbname][?key=value&...], as libpq reads it.
bool ParsePostgresUri(const QString& rest, DatabaseTarget& t) {
    QString main = rest, query;
    const qsizetype q = rest.indexOf(QLatin1Char('?'));
    if (q >= 0) {
        main = rest.left(q);
        query = rest.mid(q + 1);
    }
    QString authority = main;
    const qsizetype slash = main.indexOf(QLatin1Char('/'));
    if (slash >= 0) {
        authority = main.left(slash);
        t.database = Decode(main.mid(slash + 1));
    }
    const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        const QString userInfo = authority.left(at);
        authority = authority.mid(at + 1);
        const qsizetype colon = userInfo.indexOf(QLatin1Char(':'));
        t.user = Decode(colon < 0 ? userInfo : userInfo.left(colon));
        if (colon >= 0) t.password = Decode(userInfo.mid(colon + 1));
    }
    if (authority.contains(QLatin1Char(','))) {
        // Several hosts: libpq takes them as lists.
        QStringList hosts, ports;
        for (const QString& h : authority.split(QLatin1Char(','))) {
            const qsizetype colon = h.lastIndexOf(QLatin1Char(':'));
            const bool hasPort = colon >= 0 && !h.mid(colon).contains(QLatin1Char(']'));
            hosts << Decode(hasPort ? h.left(colon) : h)
                         .remove(QLatin1Char('['))
                         .remove(QLatin1Char(']'));
            ports << (hasPort ? h.mid(colon + 1) : QString());
        }
        if (!AddOption(t, QStringLiteral("host"), hosts.join(QLatin1Char(','))) ||
            !AddOption(t, QStringLiteral("port"), ports.join(QLatin1Char(','))))
            return false;
    } else if (!authority.isEmpty()) {
        QString host = authority;
        const qsizetype colon = authority.lastIndexOf(QLatin1Char(':'));
        if (colon >= 0 && !authority.mid(colon).contains(QLatin1Char(']'))) {
            host = authority.left(colon);
            if (!SetPort(t, authority.mid(colon + 1))) return false;
        }
        if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
            host = host.mid(1, host.size() - 2);
        t.host = Decode(host);
    }
    bool timeout = false;
    for (const QString& pair : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            t.error = QStringLiteral("the parameter \"%1\" has no value").arg(pair);
            return false;
        }
        const QString key = Decode(pair.left(eq));
        const QString value = Decode(pair.mid(eq + 1));
        if (key == QLatin1String("host"))
            t.host = value;
        else if (key == QLatin1String("port")) {
            if (!SetPort(t, value)) return false;
        } else if (key == QLatin1String("user"))
            t.user = value;
        else if (key == QLatin1String("password"))
            t.password = value;
        else if (key == QLatin1String("dbname"))
            t.database = value;
        else if (!AddOption(t, key, value))
            return false;
        timeout = timeout || key == QLatin1String("connect_timeout");
    }
    // A connection attempt never blocks longer than the open retries last.
    return timeout || AddOption(t, QStringLiteral("connect_timeout"), QStringLiteral("2"));
}

} // namespace

DatabaseTarget ParseDatabaseTarget(const QString& target) {
    DatabaseTarget t;
    if (target.trimmed().isEmpty()) {
        t.error = QStringLiteral("no database is named");
        return t;
    }
    const qsizetype sep = target.indexOf(QLatin1String("://"));
    const QString scheme = sep > 0 ? target.left(sep).toLower() : QString();
    const bool schemeLike = !scheme.isEmpty() && scheme[0].isLetter() &&
                            std::all_of(scheme.begin(), scheme.end(), [](QChar c) {
                                return c.isLetterOrNumber() || c == QLatin1Char('+') ||
                                       c == QLatin1Char('-') || c == QLatin1Char('.');
                            });
    if (!schemeLike) {
        t.kind = Kind::SQLite;
        t.path = target;
        return t;
    }
    if (scheme != QLatin1String("postgresql") && scheme != QLatin1String("postgres")) {
        t.error = QStringLiteral("\"%1://\" databases are not supported; use a file path or a "
                                 "postgresql:// address")
                      .arg(scheme);
        return t;
    }
    if (ParsePostgresUri(target.mid(sep + 3), t)) t.kind = Kind::PostgreSQL;
    return t;
}

} // namespace Platform
