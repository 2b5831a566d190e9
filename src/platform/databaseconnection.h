#pragma once
// One Qt SQL connection of the job database, shared by its store and its readings.
#include "platform/database.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace Platform {
namespace DatabaseDetail {
using Kind = DatabaseTarget::Kind;

// SQLite waits this long for another writer; it covers the open (2 s) and table (5 s) retries.
constexpr int kBusyTimeoutMs = 5000;

QString SqliteUri(const QString& path, const char* mode);
QString DateText(const QDateTime& dt);
// Texts are never stored as NULL: the tables hold the empty text instead.
QVariant Bindable(const QVariant& v);
// Whether a failure concerns the database itself (out of reach, locked, read-only, no right,
// full, damaged) rather than the values of one statement: then every other job fails alike.
bool ConcernsDatabase(Kind kind, const QSqlError& e);

// One Qt SQL connection with its prepared statements.
struct Connection {
    QString name;
    Kind kind = Kind::Invalid;
    QSqlDatabase db;
    QString error;
    bool fault = false; // the last failure concerns the database

    void Note(const QSqlError& e) {
        error = e.text();
        fault = ConcernsDatabase(kind, e);
    }
    void Note(const QString& why) {
        error = why;
        fault = true;
    }
    QHash<QString, QSqlQuery> prepared;
    QHash<QString, std::pair<QStringList, QString>> inserts;
    bool reading = false;                  // opened ReadOnly: one snapshot until closed
    QHash<QString, QStringList> spellings; // a user name as typed: its stored spellings
    QStringList masterColumns;             // of the table as it is, for readings
    int userDocKey = -1;                   // Master has the duplicate test's key: 1, 0, -1 unasked
    int cursors = 0;

    // A prepared statement, kept for the life of the connection.
    QSqlQuery* Prepared(const QString& sql) {
        auto it = prepared.find(sql);
        if (it == prepared.end()) {
            QSqlQuery q(db);
            if (!q.prepare(sql)) {
                Note(q.lastError());
                return nullptr;
            }
            it = prepared.insert(sql, q);
        }
        return &it.value();
    }
    bool Run(const QString& sql, const QVariantList& values = {}) {
        // The server prepares only statements that take values, not BEGIN, COMMIT or SET.
        if (kind == Kind::PostgreSQL && values.isEmpty()) {
            QSqlQuery direct(db);
            if (direct.exec(sql)) return true;
            Note(direct.lastError());
            return false;
        }
        QSqlQuery* q = Prepared(sql);
        if (!q) return false;
        for (const QVariant& v : values) q->addBindValue(Bindable(v));
        const bool ok = q->exec();
        if (!ok) Note(q->lastError());
        q->finish();
        return ok;
    }
    bool Connect(const QString& target, const char* sqliteMode) {
        const DatabaseTarget t = ParseDatabaseTarget(target);
        if (t.kind == Kind::Invalid) {
            Note(t.error);
            return false;
        }
        const char* driver = t.kind == Kind::SQLite ? "QSQLITE" : "QPSQL";
        if (!QSqlDatabase::isDriverAvailable(QLatin1String(driver))) {
            error =
                QStringLiteral("the Qt SQL driver %1 is not installed").arg(QLatin1String(driver));
            return false;
        }
        static int counter = 0;
        name = QStringLiteral("qorvlog-jobs-%1").arg(++counter);
        db = QSqlDatabase::addDatabase(QLatin1String(driver), name);
        kind = t.kind;
        if (kind == Kind::SQLite) {
            db.setDatabaseName(SqliteUri(t.path, sqliteMode));
            db.setConnectOptions(
                QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
        } else {
            db.setHostName(t.host);
            db.setDatabaseName(t.database);
            db.setUserName(t.user);
            db.setPassword(t.password);
            db.setPort(t.port);
            db.setConnectOptions(t.options.join(QLatin1Char(';')));
        }
        if (!db.open()) {
            Note(db.lastError());
            return false;
        }
        if (kind == Kind::SQLite) {
            // Fails on a file that is not a database; the pragmas may fail on a read-only one.
            if (!Run(QStringLiteral("SELECT count(*) FROM sqlite_master"))) return false;
            Run(QStringLiteral("PRAGMA journal_mode=WAL"));
            Run(QStringLiteral("PRAGMA synchronous=NORMAL"));
        } else {
            Run(QStringLiteral("SET client_min_messages = warning"));
            Run(QStringLiteral("SET lock_timeout = %1").arg(kBusyTimeoutMs));
        }
        return true;
    }
    // The column names of table in table order, asked of the catalogue: drivers differ in
    // how they fold names.
    QStringList ColumnsOf(const QString& table) {
        QStringList names;
        const QString sql =
            kind == Kind::SQLite
                ? QStringLiteral("SELECT name FROM pragma_table_info(?) ORDER BY cid")
                : QStringLiteral("SELECT column_name FROM information_schema.columns WHERE "
                                 "table_schema = current_schema() AND table_name IN (?, lower(?)) "
                                 "ORDER BY ordinal_position");
        QSqlQuery* q = Prepared(sql);
        if (!q) return names;
        q->addBindValue(table);
        if (kind == Kind::PostgreSQL) q->addBindValue(table);
        if (!q->exec()) {
            Note(q->lastError());
            return names;
        }
        while (q->next()) names << q->value(0).toString();
        q->finish();
        if (names.isEmpty()) Note(QStringLiteral("there is no table %1").arg(table));
        return names;
    }
    // The INSERT statement of rows rows with these columns, built again only when they change.
    const QString& InsertText(const char* table, const Row& row, const char* tail = "",
                              int rows = 1) {
        auto& [names, sql] =
            inserts[QLatin1String(table) + QLatin1Char('/') + QString::number(rows)];
        bool same = names.size() == row.size();
        for (qsizetype i = 0; same && i < row.size(); ++i) same = names[i] == row[i].name;
        if (!same) {
            names.clear();
            QStringList marks;
            for (const Column& c : row) {
                names << c.name;
                marks << QStringLiteral("?");
            }
            const QString values =
                QLatin1Char('(') + marks.join(QStringLiteral(", ")) + QLatin1Char(')');
            sql = QStringLiteral("INSERT INTO ") + QLatin1String(table) + QStringLiteral(" (") +
                  names.join(QStringLiteral(", ")) + QStringLiteral(") VALUES ") +
                  QStringList(rows, values).join(QStringLiteral(", ")) + QLatin1String(tail);
        }
        return sql;
    }
    void Disconnect() {
        inserts.clear();
        prepared.clear();
        spellings.clear();
        masterColumns.clear();
        userDocKey = -1;
        reading = false;
        if (db.isValid()) db.close();
        db = QSqlDatabase();
        if (!name.isEmpty()) QSqlDatabase::removeDatabase(name);
        name.clear();
        kind = Kind::Invalid;
    }
};
} // namespace DatabaseDetail

struct JobDatabase::Impl : DatabaseDetail::Connection {};

} // namespace Platform
