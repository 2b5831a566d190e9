#include "platform/database.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>
#include <QtEndian>

namespace Platform {

namespace {
using Kind = DatabaseTarget::Kind;

// SQLite waits this long for another writer; it covers the open (2 s) and table (5 s) retries.
constexpr int kBusyTimeoutMs = 5000;

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

// Texts are never stored as NULL: the tables hold the empty text instead.
QVariant Bindable(const QVariant& v) {
    if (v.typeId() == QMetaType::QDateTime) return DateText(v.toDateTime());
    if (v.typeId() == QMetaType::QString && v.toString().isNull()) return QStringLiteral("");
    return v;
}

QString TypeName(const ColumnDef& c, Kind kind) {
    const bool pg = kind == Kind::PostgreSQL;
    switch (c.type) {
    case ColumnType::Key:
        return pg ? QStringLiteral("INTEGER GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY")
                  : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    case ColumnType::Whole:
        return QStringLiteral("INTEGER");
    case ColumnType::Number:
        return QStringLiteral("DOUBLE PRECISION");
    case ColumnType::DateTime:
        return pg ? QStringLiteral("TIMESTAMP(0)") : QStringLiteral("DATETIME");
    case ColumnType::Text:
        break;
    }
    return QStringLiteral("VARCHAR(%1)").arg(c.size);
}

QString CreateTable(const char* name, const QList<ColumnDef>& cols, Kind kind,
                    const QString& extra = {}) {
    QStringList parts;
    for (const ColumnDef& c : cols)
        parts << QLatin1String(c.name) + QLatin1Char(' ') + TypeName(c, kind);
    if (!extra.isEmpty()) parts << extra;
    return QStringLiteral("CREATE TABLE ") + QLatin1String(name) + QStringLiteral(" (") +
           parts.join(QStringLiteral(", ")) + QLatin1Char(')');
}

// The duplicate test seeks Master by submit time alone.
constexpr const char* kSubmitIndex = "MasterSubmitDT";

qint64 LockNumber(const QString& key) {
    const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1);
    return qFromBigEndian<qint64>(hash.constData());
}

// The target without its password, for messages.
QString Shown(const QString& target, const DatabaseTarget& t) {
    if (t.password.isEmpty()) return target;
    QString shown = target;
    const qsizetype at = shown.indexOf(QLatin1Char('@'));
    const qsizetype colon =
        shown.indexOf(QLatin1Char(':'), shown.indexOf(QLatin1String("://")) + 3);
    if (at > 0 && colon >= 0 && colon < at)
        shown.replace(colon + 1, at - colon - 1, QStringLiteral("***"));
    const qsizetype param = shown.indexOf(QLatin1String("password="));
    if (param >= 0) {
        const qsizetype end = shown.indexOf(QLatin1Char('&'), param);
        shown.replace(param + 9, (end < 0 ? shown.size() : end) - param - 9, QStringLiteral("***"));
    }
    return shown;
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

namespace {
// Whether a failure concerns the database itself (out of reach, locked, read-only, no right,
// full, damaged) rather than the values of one statement: then every other job fails alike.
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
    // The INSERT statement for these columns, built again only when they change.
    const QString& InsertText(const char* table, const Row& row, const char* tail = "") {
        auto& [names, sql] = inserts[QLatin1String(table)];
        bool same = names.size() == row.size();
        for (qsizetype i = 0; same && i < row.size(); ++i) same = names[i] == row[i].name;
        if (!same) {
            names.clear();
            QStringList marks;
            for (const Column& c : row) {
                names << c.name;
                marks << QStringLiteral("?");
            }
            sql = QStringLiteral("INSERT INTO ") + QLatin1String(table) + QStringLiteral(" (") +
                  names.join(QStringLiteral(", ")) + QStringLiteral(") VALUES (") +
                  marks.join(QStringLiteral(", ")) + QLatin1Char(')') + QLatin1String(tail);
        }
        return sql;
    }
    void Disconnect() {
        inserts.clear();
        prepared.clear();
        spellings.clear();
        masterColumns.clear();
        reading = false;
        if (db.isValid()) db.close();
        db = QSqlDatabase();
        if (!name.isEmpty()) QSqlDatabase::removeDatabase(name);
        name.clear();
        kind = Kind::Invalid;
    }
};
} // namespace

struct JobDatabase::Impl : Connection {};

JobDatabase::JobDatabase() : d(std::make_unique<Impl>()) {}

JobDatabase::~JobDatabase() {
    Close();
}

bool JobDatabase::Open(const QString& target, Access access) {
    Close();
    if (ParseDatabaseTarget(target).kind == Kind::SQLite &&
        !QFileInfo(ParseDatabaseTarget(target).path).isFile()) {
        d->Note(QStringLiteral("there is no database file %1").arg(target));
        return false;
    }
    const bool readOnly = access == Access::ReadOnly;
    if (d->Connect(target, readOnly ? "ro" : "rw") &&
        (!readOnly ||
         d->Run(d->kind == Kind::SQLite
                    ? QStringLiteral("BEGIN")
                    : QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY")))) {
        d->reading = readOnly;
        return true;
    }
    const QString why = d->error;
    d->Disconnect();
    d->error = why;
    return false;
}

void JobDatabase::Close() {
    d->Disconnect();
}

bool JobDatabase::IsOpen() const {
    return d->db.isValid() && d->db.isOpen();
}

QString JobDatabase::LastError() const {
    return d->error;
}

bool JobDatabase::LastErrorConcernsDatabase() const {
    return d->fault || !IsOpen();
}

QStringList JobDatabase::Columns(const QString& table) {
    return IsOpen() ? d->ColumnsOf(table) : QStringList();
}

bool JobDatabase::AddTextColumn(const QString& table, const QString& column, int size) {
    return IsOpen() && Execute(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 VARCHAR(%3)")
                                   .arg(table, column)
                                   .arg(size));
}

bool JobDatabase::AddSubmitIndex() {
    if (!IsOpen()) return false;
    const QString sql =
        d->kind == Kind::SQLite
            ? QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'index' AND "
                             "name = ? COLLATE NOCASE")
            : QStringLiteral("SELECT count(*) FROM pg_indexes WHERE schemaname = "
                             "current_schema() AND indexname = lower(?)");
    QSqlQuery* q = d->Prepared(sql);
    if (!q) return false;
    q->addBindValue(QLatin1String(kSubmitIndex));
    const bool present = q->exec() && q->next() && q->value(0).toInt() > 0;
    q->finish();
    return present || Execute(QStringLiteral("CREATE INDEX ") + QLatin1String(kSubmitIndex) +
                              QStringLiteral(" ON Master (SubmitDT)"));
}

bool JobDatabase::Execute(const QString& statement) {
    if (!IsOpen()) return false;
    QSqlQuery q(d->db);
    if (q.exec(statement)) return true;
    d->Note(q.lastError());
    return false;
}

bool JobDatabase::BeginJob(const QString& key) {
    if (!IsOpen()) return false;
    if (d->kind == Kind::SQLite) return d->Run(QStringLiteral("BEGIN IMMEDIATE"));
    if (!d->Run(QStringLiteral("BEGIN"))) return false;
    if (d->Run(QStringLiteral("SELECT pg_advisory_xact_lock(?)"), {LockNumber(key)})) return true;
    RollbackJob();
    return false;
}

bool JobDatabase::CommitJob() {
    if (!IsOpen()) return false;
    if (d->Run(QStringLiteral("COMMIT"))) return true;
    RollbackJob();
    return false;
}

void JobDatabase::RollbackJob() {
    if (!IsOpen()) return;
    const QString why = d->error;
    const bool fault = d->fault;
    d->Run(QStringLiteral("ROLLBACK"));
    d->error = why;
    d->fault = fault;
}

QList<MasterMatch> JobDatabase::SeekMaster(const QString& user, const QString& document,
                                           const QDateTime& submitted, bool* ok) {
    QList<MasterMatch> rows;
    if (ok) *ok = false;
    if (!IsOpen()) return rows;
    // The jobs of that second, compared here: SQLite folds the case of ASCII letters only, and
    // a database of an older layout has no index that ignores case.
    QSqlQuery* q = d->Prepared(QStringLiteral(
        "SELECT RecordID, PrintJobID, LogMachine, UserName, DocumentName FROM Master WHERE "
        "SubmitDT = ? ORDER BY RecordID"));
    if (!q) return rows;
    q->addBindValue(DateText(submitted));
    if (!q->exec()) {
        d->Note(q->lastError());
        return rows;
    }
    while (q->next())
        if (q->value(3).toString().compare(user, Qt::CaseInsensitive) == 0 &&
            q->value(4).toString().compare(document, Qt::CaseInsensitive) == 0)
            rows << MasterMatch{q->value(0).toLongLong(), q->value(1).toLongLong(),
                                q->value(2).toString()};
    q->finish();
    if (ok) *ok = true;
    return rows;
}

namespace {
QVariantList Values(const Row& row) {
    QVariantList values;
    for (const Column& c : row) values << c.value;
    return values;
}
} // namespace

qint64 JobDatabase::InsertMaster(const Row& row) {
    if (!IsOpen()) return -1;
    QSqlQuery* q = d->Prepared(d->InsertText("Master", row, " RETURNING RecordID"));
    if (!q) return -1;
    for (const Column& c : row) q->addBindValue(Bindable(c.value));
    qint64 id = -1;
    if (q->exec() && q->next())
        id = q->value(0).toLongLong();
    else
        d->Note(q->lastError());
    q->finish();
    return id;
}

bool JobDatabase::InsertDetail(const Row& row) {
    return IsOpen() && d->Run(d->InsertText("Detail", row), Values(row));
}

namespace {
// Rows fetched from a PostgreSQL cursor at a time: bounded memory, few round trips.
constexpr int kFetchRows = 2000;

// The values bound to the "?" marks of sql, written into it as the driver quotes them
// (PostgreSQL cannot prepare a cursor's declaration).
QString Inline(const QSqlDatabase& db, const QString& sql, const QVariantList& values) {
    QString out;
    qsizetype next = 0;
    for (const QChar ch : sql) {
        if (ch != QLatin1Char('?') || next >= values.size()) {
            out += ch;
            continue;
        }
        const QVariant v = Bindable(values[next++]);
        QSqlField field(QString(), v.metaType());
        field.setValue(v);
        out += db.driver()->formatValue(field);
    }
    return out;
}

// A stored date as the wall-clock time it holds.
QVariant WallClock(const QVariant& v) {
    if (v.isNull()) return v;
    if (v.typeId() == QMetaType::QDateTime) {
        QDateTime dt = v.toDateTime();
        dt.setTimeSpec(Qt::UTC);
        return dt;
    }
    // Read by hand: the parsers of QDateTime go through local time, which asks the system
    // for the zone at every call.
    const QString text = v.toString();
    const auto number = [&](qsizetype at, qsizetype digits) {
        int n = 0;
        for (qsizetype i = at; i < at + digits; ++i) {
            if (!text[i].isDigit()) return -1;
            n = n * 10 + text[i].digitValue();
        }
        return n;
    };
    if (text.size() == 19 && text[4] == u'-' && text[7] == u'-' &&
        (text[10] == u' ' || text[10] == u'T') && text[13] == u':' && text[16] == u':') {
        const QDateTime dt(QDate(number(0, 4), number(5, 2), number(8, 2)),
                           QTime(number(11, 2), number(14, 2), number(17, 2)), Qt::UTC);
        if (dt.isValid()) return dt;
    }
    return v;
}

// One reading. SQLite steps a forward-only statement row by row; the PostgreSQL driver can
// step only one statement per connection at a time, so there a server cursor is fetched in
// batches and readings interleave.
class Reader : public RowCursor {
public:
    Reader(Connection& c, const QString& sql, const QVariantList& values, QList<int> dates = {})
        : m_c(c), m_query(c.db), m_dates(std::move(dates)) {
        if (c.kind == Kind::SQLite) {
            m_query.setForwardOnly(true);
            bool ok = m_query.prepare(sql);
            for (const QVariant& v : values) m_query.addBindValue(Bindable(v));
            ok = ok && m_query.exec();
            if (!ok) Fail(m_query.lastError().text());
            return;
        }
        m_cursor = QStringLiteral("qorvlog_reading_%1").arg(++c.cursors);
        if (!m_query.exec(QStringLiteral("DECLARE ") + m_cursor +
                          QStringLiteral(" NO SCROLL CURSOR FOR ") + Inline(c.db, sql, values)))
            Fail(m_query.lastError().text());
    }
    ~Reader() override {
        m_query.finish();
        if (!m_cursor.isEmpty() && !m_failed && m_c.db.isOpen())
            QSqlQuery(m_c.db).exec(QStringLiteral("CLOSE ") + m_cursor);
    }
    bool Next(QVariantList* row) override {
        if (m_failed || m_done) return false;
        if (!m_query.next()) {
            if (m_query.lastError().isValid()) return Fail(m_query.lastError().text());
            // A short batch was the last one.
            if (m_cursor.isEmpty() || m_batch < kFetchRows) return Done();
            if (!m_query.exec(QStringLiteral("FETCH FORWARD %1 FROM ").arg(kFetchRows) + m_cursor))
                return Fail(m_query.lastError().text());
            m_batch = 0;
            if (!m_query.next()) return Done();
        }
        ++m_batch;
        // Asking the driver for the record costs more than the row itself.
        if (m_columns < 0) m_columns = m_query.record().count();
        const int n = m_columns;
        row->resize(n);
        for (int i = 0; i < n; ++i) (*row)[i] = m_query.value(i);
        for (const int i : m_dates) (*row)[i] = WallClock((*row)[i]);
        return true;
    }
    QString Error() const override { return m_error; }

private:
    bool Fail(const QString& why) {
        m_failed = true;
        m_error = why;
        m_c.error = why;
        return false;
    }
    bool Done() {
        m_done = true;
        m_query.finish();
        return false;
    }

    Connection& m_c;
    QSqlQuery m_query;
    QList<int> m_dates;
    QString m_cursor;
    int m_batch = kFetchRows; // a cursor's first fetch is still to come
    int m_columns = -1;
    bool m_failed = false, m_done = false;
    QString m_error;
};

std::unique_ptr<RowCursor> FailedReading(Connection& c, const QString& why) {
    c.error = why;
    return nullptr;
}

// Text ordered the same on both databases: by code point, whatever the server's locale.
QString Sorted(const Connection& c, const QString& expression) {
    return c.kind == Kind::PostgreSQL ? expression + QStringLiteral(" COLLATE \"C\"") : expression;
}

// The WHERE clause of a selection over Master m, its values appended to values. The user's
// spellings are matched here: the databases' lower() folds ASCII letters only.
bool Selecting(Connection& c, const JobSelection& s, QString* where, QVariantList* values) {
    QStringList parts;
    const QString day = QStringLiteral("yyyy-MM-dd 00:00:00");
    if (s.from.isValid()) {
        parts << QStringLiteral("m.SubmitDT >= ?");
        *values << QLocale::c().toString(s.from, day);
    }
    if (s.to.isValid()) {
        parts << QStringLiteral("m.SubmitDT < ?");
        *values << QLocale::c().toString(s.to.addDays(1), day);
    }
    if (!s.user.isEmpty()) {
        auto it = c.spellings.find(s.user);
        if (it == c.spellings.end()) {
            QStringList found;
            Reader users(c, QStringLiteral("SELECT DISTINCT UserName FROM Master"), {});
            QVariantList row;
            while (users.Next(&row))
                if (QString::compare(row[0].toString(), s.user, Qt::CaseInsensitive) == 0)
                    found << row[0].toString();
            if (!users.Error().isEmpty()) return false;
            it = c.spellings.insert(s.user, found);
        }
        if (it->isEmpty()) parts << QStringLiteral("1 = 0");
        QStringList marks;
        for (const QString& name : *it) {
            marks << QStringLiteral("?");
            *values << name;
        }
        if (!marks.isEmpty())
            parts << QStringLiteral("m.UserName IN (") + marks.join(QStringLiteral(", ")) +
                         QLatin1Char(')');
    }
    *where = parts.isEmpty() ? QString()
                             : QStringLiteral(" WHERE ") + parts.join(QStringLiteral(" AND "));
    return true;
}
} // namespace

bool ForEachRow(RowCursor& cursor, const RowVisitor& visit) {
    QVariantList row;
    while (cursor.Next(&row))
        if (!visit(row)) return true;
    return cursor.Error().isEmpty();
}

QStringList JobDatabase::SelectedCategories(const JobSelection& selection, bool* ok) {
    QStringList names;
    *ok = false;
    QString where;
    QVariantList values;
    if (!d->reading || !Selecting(*d, selection, &where, &values)) return names;
    Reader r(*d,
             QStringLiteral("SELECT d.Category FROM Master m JOIN Detail d ON d.RecordID = "
                            "m.RecordID") +
                 where + QStringLiteral(" GROUP BY d.Category ORDER BY ") +
                 Sorted(*d, QStringLiteral("d.Category")),
             values);
    *ok = ForEachRow(r, [&](const QVariantList& row) {
        names << row[0].toString();
        return true;
    });
    return names;
}

std::unique_ptr<RowCursor> JobDatabase::SelectedJobs(const JobSelection& selection,
                                                     const QList<ColumnDef>& columns) {
    if (!d->reading)
        return FailedReading(*d, QStringLiteral("the database is not open for reading"));
    if (d->masterColumns.isEmpty()) d->masterColumns = d->ColumnsOf(QStringLiteral("Master"));
    if (d->masterColumns.isEmpty()) return nullptr;
    QStringList select;
    QList<int> dates;
    for (const ColumnDef& c : columns) {
        const QString name = QLatin1String(c.name);
        if (c.type == ColumnType::DateTime) dates << int(select.size());
        // A database not yet upgraded lacks the newer text columns: they read as empty.
        select << (d->masterColumns.contains(name, Qt::CaseInsensitive)
                       ? QStringLiteral("m.") + name
                       : QStringLiteral("''"));
    }
    QString where;
    QVariantList values;
    if (!Selecting(*d, selection, &where, &values)) return nullptr;
    auto r =
        std::make_unique<Reader>(*d,
                                 QStringLiteral("SELECT ") + select.join(QStringLiteral(", ")) +
                                     QStringLiteral(" FROM Master m") + where +
                                     QStringLiteral(" ORDER BY m.SubmitDT, m.RecordID"),
                                 values, dates);
    return r->Error().isEmpty() ? std::move(r) : nullptr;
}

std::unique_ptr<RowCursor> JobDatabase::SelectedValues(const JobSelection& selection) {
    if (!d->reading)
        return FailedReading(*d, QStringLiteral("the database is not open for reading"));
    QString where;
    QVariantList values;
    if (!Selecting(*d, selection, &where, &values)) return nullptr;
    auto r = std::make_unique<Reader>(
        *d,
        QStringLiteral("SELECT d.RecordID, d.Category, d.ValueText FROM Master m JOIN Detail d ON "
                       "d.RecordID = m.RecordID") +
            where + QStringLiteral(" ORDER BY m.SubmitDT, m.RecordID, ") +
            Sorted(*d, QStringLiteral("d.Category")),
        values);
    return r->Error().isEmpty() ? std::move(r) : nullptr;
}

std::unique_ptr<RowCursor> JobDatabase::SummarisedJobs(const JobSelection& selection,
                                                       const QStringList& categories) {
    if (!d->reading)
        return FailedReading(*d, QStringLiteral("the database is not open for reading"));
    // One subquery per category: a job counts once even if a category's value was stored twice.
    QStringList inner, keys, order;
    QVariantList values;
    for (qsizetype i = 0; i < categories.size(); ++i) {
        const QString key = QStringLiteral("c%1").arg(i);
        inner << QStringLiteral("COALESCE((SELECT MIN(d.ValueText) FROM Detail d WHERE d.RecordID "
                                "= m.RecordID AND d.Category = ?), '') AS ") +
                     key;
        values << categories[i];
        keys << key;
        order << Sorted(*d, key);
    }
    QString where;
    if (!Selecting(*d, selection, &where, &values)) return nullptr;
    auto r = std::make_unique<Reader>(
        *d,
        QStringLiteral("SELECT ") + keys.join(QStringLiteral(", ")) +
            QStringLiteral(", COUNT(*), COALESCE(SUM(t.TotalPages), 0) FROM (SELECT ") +
            inner.join(QStringLiteral(", ")) + QStringLiteral(", m.TotalPages FROM Master m") +
            where + QStringLiteral(") t GROUP BY ") + keys.join(QStringLiteral(", ")) +
            QStringLiteral(" ORDER BY ") + order.join(QStringLiteral(", ")),
        values);
    return r->Error().isEmpty() ? std::move(r) : nullptr;
}

CreateResult CreateJobDatabase(const QString& target, const QList<ColumnDef>& master,
                               const QList<ColumnDef>& detail, QString* message) {
    const DatabaseTarget t = ParseDatabaseTarget(target);
    const QString shown = Shown(target, t);
    Connection impl;
    auto fail = [&](const QString& why) {
        *message = QStringLiteral("Cannot create the job database in %1: %2").arg(shown, why);
        impl.Disconnect();
        return CreateResult::Failed;
    };
    if (!impl.Connect(target, "rwc")) return fail(impl.error);
    for (const char* table : {"Master", "Detail"})
        if (!impl.ColumnsOf(QLatin1String(table)).isEmpty()) {
            *message = QStringLiteral("%1 already has a table %2; nothing was changed.")
                           .arg(shown, QLatin1String(table));
            impl.Disconnect();
            return CreateResult::TablesExist;
        }
    const QStringList statements{
        CreateTable("Master", master, t.kind),
        QStringLiteral("CREATE INDEX UserDocSubmitDT ON Master (UserName, DocumentName, SubmitDT)"),
        QStringLiteral("CREATE INDEX ") + QLatin1String(kSubmitIndex) +
            QStringLiteral(" ON Master (SubmitDT)"),
        CreateTable("Detail", detail, t.kind,
                    QStringLiteral("FOREIGN KEY (RecordID) REFERENCES Master (RecordID) ON DELETE "
                                   "CASCADE")),
        QStringLiteral("CREATE INDEX DetailRecordID ON Detail (RecordID)"),
    };
    if (!impl.Run(QStringLiteral("BEGIN"))) return fail(impl.error);
    for (const QString& sql : statements) {
        QSqlQuery q(impl.db);
        if (!q.exec(sql)) {
            const QString why = q.lastError().text();
            q.finish();
            impl.Run(QStringLiteral("ROLLBACK"));
            return fail(why);
        }
    }
    if (!impl.Run(QStringLiteral("COMMIT"))) return fail(impl.error);
    *message = QStringLiteral("Created the tables Master and Detail in %1.").arg(shown);
    impl.Disconnect();
    return CreateResult::Created;
}

} // namespace Platform
