#include "report/breport.h"

#include "jobs/masterfields.h"
#include "platform/clock.h"

#include <QDateTime>
#include <QLocale>

namespace {
// The per-job listing's own columns, from Master, before the categories.
const QStringList kJobColumns{
    QStringLiteral("RecordID"),    QStringLiteral("SubmitDT"),     QStringLiteral("UserName"),
    QStringLiteral("MachineName"), QStringLiteral("PrinterName"),  QStringLiteral("DocumentName"),
    QStringLiteral("TotalPages"),  QStringLiteral("NumCopies"),    QStringLiteral("PaperName"),
    QStringLiteral("Color"),       QStringLiteral("PrinterGroup"),
};
constexpr qsizetype kFlushBytes = 1 << 16;
constexpr qint64 kQuietMs = 2000;
constexpr qint64 kProgressEveryMs = 500;

QString Field(const QVariant& v) {
    if (v.isNull()) return {};
    if (v.typeId() == QMetaType::QDateTime)
        return QLocale::c().toString(v.toDateTime(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    // Numbers are ours; a text is whatever was printed or typed.
    return v.typeId() == QMetaType::QString ? CsvText(v.toString()) : v.toString();
}

// Collects records and hands them on in large pieces.
class Output {
public:
    Output(const ReportSink& sink, const ReportProgress& progress)
        : m_sink(sink), m_progress(progress) {}
    bool Header(const QStringList& fields) { return Add(CsvRecord(fields), false); }
    bool Record(const QStringList& fields) { return Add(CsvRecord(fields), true); }
    bool Flush() {
        const bool ok = m_buffer.isEmpty() || m_sink(m_buffer);
        m_buffer.clear();
        return ok;
    }

private:
    bool Add(const QByteArray& record, bool row) {
        m_buffer += record;
        if (row && m_progress) m_progress(++m_rows);
        return m_buffer.size() < kFlushBytes || Flush();
    }
    const ReportSink& m_sink;
    const ReportProgress& m_progress;
    QByteArray m_buffer;
    qint64 m_rows = 0;
};

bool Failed(QString* why, const QString& text) {
    *why = text;
    return false;
}

bool Listing(Platform::JobDatabase& db, const CReportRequest& request, Output& out, QString* why) {
    bool ok = false;
    const QStringList categories = db.SelectedCategories(request.selection, &ok);
    if (!ok) return Failed(why, db.LastError());
    QList<Platform::ColumnDef> columns;
    for (const QString& name : kJobColumns)
        for (const Platform::ColumnDef& c : MasterColumns())
            if (name == QLatin1String(c.name)) columns << c;
    auto jobs = db.SelectedJobs(request.selection, columns);
    auto values = jobs ? db.SelectedValues(request.selection) : nullptr;
    if (!values) return Failed(why, db.LastError());
    QStringList header = kJobColumns;
    for (const QString& name : categories) header << CsvText(name);
    if (!out.Header(header)) return Failed(why, QString());
    // Both readings come in the same job order: a job's values are the next ones read.
    QVariantList value;
    bool more = values->Next(&value);
    bool written = true;
    QStringList texts(categories.size());
    const bool read = Platform::ForEachRow(*jobs, [&](const QVariantList& job) {
        QStringList fields;
        for (const QVariant& v : job) fields << Field(v);
        texts.fill(QString());
        for (qsizetype i = 0; more && value[0] == job[0]; more = values->Next(&value)) {
            // Both are sorted by name: the column is at or after the last one.
            const QString name = value[1].toString();
            while (i < categories.size() && categories[i] != name) ++i;
            if (i < categories.size() && texts[i].isNull()) texts[i] = Field(value[2]);
        }
        fields += texts;
        written = out.Record(fields);
        return written;
    });
    if (!read || !values->Error().isEmpty())
        return Failed(why, read ? values->Error() : jobs->Error());
    return written || Failed(why, QString());
}

// Whole cents as an amount with two decimals and a '.', whatever the locale.
QString Amount(qint64 cents) {
    const quint64 magnitude = cents < 0 ? 0 - quint64(cents) : quint64(cents);
    return (cents < 0 ? QStringLiteral("-") : QString()) + QString::number(magnitude / 100) +
           QLatin1Char('.') + QString::number(magnitude % 100).rightJustified(2, QLatin1Char('0'));
}

bool Summary(Platform::JobDatabase& db, const CReportRequest& request, Output& out, QString* why) {
    auto groups = db.SummarisedJobs(request.selection, request.by);
    if (!groups) return Failed(why, db.LastError());
    QStringList header;
    for (const QString& name : request.by) header << CsvText(name);
    if (!out.Header(header + QStringList{QStringLiteral("Jobs"), QStringLiteral("TotalPages"),
                                         QStringLiteral("Cost"), QStringLiteral("Unpriced")}))
        return Failed(why, QString());
    const qsizetype cost = request.by.size() + 2;
    bool written = true;
    const bool read = Platform::ForEachRow(*groups, [&](const QVariantList& row) {
        QStringList fields;
        for (const QVariant& v : row) fields << Field(v);
        fields[cost] = Amount(row[cost].toLongLong());
        written = out.Record(fields);
        return written;
    });
    if (!read) return Failed(why, groups->Error());
    return written || Failed(why, QString());
}
} // namespace

QString CsvText(const QString& text) {
    static const QString kFormula = QStringLiteral("=+-@\t\r");
    return !text.isEmpty() && kFormula.contains(text[0]) ? QLatin1Char('\'') + text : text;
}

QByteArray CsvRecord(const QStringList& fields) {
    QByteArray record;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0) record += ',';
        const QByteArray text = fields[i].toUtf8();
        if (text.contains(',') || text.contains('"') || text.contains('\r') ||
            text.contains('\n') || text.startsWith('\'')) {
            QByteArray quoted = text;
            record += '"' + quoted.replace('"', "\"\"") + '"';
        } else {
            record += text;
        }
    }
    return record + "\r\n";
}

bool WriteReport(Platform::JobDatabase& db, const CReportRequest& request, const ReportSink& sink,
                 const ReportProgress& progress, QString* why) {
    Output out(sink, progress);
    const bool ok =
        request.by.isEmpty() ? Listing(db, request, out, why) : Summary(db, request, out, why);
    return ok && (out.Flush() || Failed(why, QString()));
}

CReportProgressLine::CReportProgressLine(std::function<void(const QString&)> show)
    : m_show(std::move(show)), m_start(Platform::NowMs()) {}

void CReportProgressLine::Rows(qint64 rows) {
    m_rows = rows;
    // The clock is read every 1024 rows only: a listing may have millions.
    if (rows % 1024 != 0) return;
    const qint64 now = Platform::NowMs();
    if (now - m_start < kQuietMs || (m_shownAt >= 0 && now - m_shownAt < kProgressEveryMs)) return;
    m_shownAt = now;
    m_show(QStringLiteral("\r%1 rows written").arg(rows));
}

void CReportProgressLine::Finish() {
    if (m_shownAt >= 0) m_show(QStringLiteral("\r%1 rows written\n").arg(m_rows));
}
