// Readings of the job database for reports: one snapshot, rows streamed, never all at once.
#include "platform/databaseconnection.h"

#include <QSqlDriver>
#include <QSqlField>
#include <QSqlRecord>

namespace Platform {
using namespace DatabaseDetail;

namespace {
// Rows fetched from a PostgreSQL cursor at a time: bounded memory, few round trips.
constexpr int kFetchRows = 2000;
// The category whose number is a job's price.
const QString kCostCategory = QStringLiteral("Cost");
// A price at or beyond this counts as none: no print job costs that, and the sum in cents of
// millions of such jobs would not fit 64 bits.
constexpr qint64 kMaxCost = 1000000000000;

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
    // The job's cost: a number when one of its values has one (the store marks a text
    // without a number with the largest double).
    inner << QStringLiteral("(SELECT MIN(d.ValueNumber) FROM Detail d WHERE d.RecordID = "
                            "m.RecordID AND d.Category = ?) AS cost");
    values << kCostCategory;
    const QString priced = QStringLiteral("t.cost > -%1 AND t.cost < %1").arg(kMaxCost);
    // Whole cents, halves away from zero, by the same IEEE steps on both engines: their
    // ROUND differ on halves (PostgreSQL's rounds a double to even).
    const QString halfUp = QStringLiteral("t.cost * 100 + CASE WHEN t.cost < 0 THEN -0.5 ELSE "
                                          "0.5 END");
    const QString cents =
        d->kind == Kind::PostgreSQL
            ? QStringLiteral("CAST(TRUNC(") + halfUp + QStringLiteral(") AS BIGINT)")
            : QStringLiteral("CAST(") + halfUp + QStringLiteral(" AS BIGINT)");
    QString where;
    if (!Selecting(*d, selection, &where, &values)) return nullptr;
    auto r = std::make_unique<Reader>(
        *d,
        QStringLiteral("SELECT ") + keys.join(QStringLiteral(", ")) +
            QStringLiteral(", COUNT(*), COALESCE(SUM(t.TotalPages), 0), CAST(SUM(CASE WHEN ") +
            priced + QStringLiteral(" THEN ") + cents +
            QStringLiteral(" ELSE 0 END) AS BIGINT), SUM(CASE WHEN ") + priced +
            QStringLiteral(" THEN 0 ELSE 1 END) FROM (SELECT ") + inner.join(QStringLiteral(", ")) +
            QStringLiteral(", m.TotalPages FROM Master m") + where +
            QStringLiteral(") t GROUP BY ") + keys.join(QStringLiteral(", ")) +
            QStringLiteral(" ORDER BY ") + order.join(QStringLiteral(", ")),
        values);
    return r->Error().isEmpty() ? std::move(r) : nullptr;
}

} // namespace Platform
