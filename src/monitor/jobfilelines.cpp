#include "monitor/jobfilelines.h"

#include "common/bcommon.h"
#include "common/values.h"
#include "jobs/cprintjobinfo.h"

#include <QDateTime>

namespace {
bool IsAddress(const QString& host) {
    if (host.contains(QLatin1Char(':'))) return true; // IPv6
    for (QChar c : host)
        if (!c.isDigit() && c != QLatin1Char('.')) return false;
    return !host.isEmpty();
}

// The originating machine as its short name; a local submission is this machine.
QString MachineOf(const QString& host, const QString& server) {
    if (host.isEmpty() || host == QLatin1String("localhost") || host == QLatin1String("::1") ||
        host.startsWith(QLatin1String("127.")))
        return server;
    if (IsAddress(host)) return host;
    return host.left(host.indexOf(QLatin1Char('.'))).left(15);
}

QString Inches(double v) {
    return QString::number(v, 'f', 2); // read back on every machine: no locale
}
} // namespace

QString JobFileValue(const QString& value) {
    QString out = value.left(1000);
    for (QChar& c : out)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    return out.trimmed().left(254);
}

bool UsableFolderName(const QString& name) {
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") ||
        name.toUtf8().size() > 255)
        return false;
    for (QChar c : name)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QLatin1Char('/') ||
            c == QLatin1Char('\\'))
            return false;
    return true;
}

QString JobBaseName(const QString& server, int id, qint64 created) {
    QString safe;
    for (QChar c : server)
        if (c.isLetterOrNumber() && c.unicode() < 0x80) safe += c;
    return safe + QLatin1Char('_') + QString::number(id).rightJustified(5, QLatin1Char('0')) +
           QLatin1Char('_') + QString::number(created);
}

QString PassFileName(int id) {
    return QString::number(id).rightJustified(5, QLatin1Char('0')) + QStringLiteral(".pas");
}

int PassFileNumber(const QString& name) {
    if (!name.endsWith(QLatin1String(".pas"))) return 0;
    bool ok = false;
    const int id = QStringView(name).chopped(4).toInt(&ok);
    return ok && id > 0 && PassFileName(id) == name ? id : 0;
}

QStringList JobFileLines(const Platform::CupsJob& job, const Platform::CupsQueue& queue,
                         const CJobFacts& facts) {
    const Platform::MediaSize media =
        Platform::LookUpMedia(job.media.isEmpty() ? queue.mediaDefault : job.media);
    const QString mode = job.colorMode.isEmpty() ? queue.colorDefault : job.colorMode;
    const bool colour = mode.isEmpty() ? queue.colorSupported
                                       : !mode.contains(QLatin1String("monochrome")) &&
                                             !mode.contains(QLatin1String("bi-level"));
    // orientation-requested: 4 landscape, 5 reverse landscape.
    const bool landscape = job.orientation == 4 || job.orientation == 5;
    const QString pages = QString::number(facts.pages);
    const QString submitted =
        CDate::FromDateTime(QDateTime::fromSecsSinceEpoch(job.created)).Text();
    return {QStringLiteral("JOB"),
            pages,
            JobFileValue(QStringLiteral("//") + facts.server + QLatin1Char('/') + job.queue),
            QString::number(job.id),
            JobFileValue(job.queue),
            JobFileValue(MachineOf(job.originHost, facts.server)),
            JobFileValue(job.user),
            JobFileValue(job.title),
            QString(),
            submitted,
            QString::number(facts.bytes),
            pages,
            QString::number(std::max(job.copies, 1)),
            JobFileValue(media.name),
            Inches(media.widthIn),
            Inches(media.heightIn),
            QString(),
            QString(),
            colour ? QStringLiteral("Color") : QStringLiteral("Monochrome"),
            JobFileValue(queue.makeAndModel),
            QString(),
            landscape ? QStringLiteral("Landscape") : QStringLiteral("Portrait")};
}

QList<std::pair<QString, QString>> DetailValues(const QStringList& dataLines) {
    QList<std::pair<QString, QString>> values;
    for (const QString& line : dataLines) {
        if (!line.startsWith(QLatin1String("QorvexDetail"))) continue;
        int pos = 0;
        GetNextField(line, pos, QLatin1Char(',')); // the tag
        GetNextField(line, pos, QLatin1Char(',')); // the version
        QString name = GetNextField(line, pos, QLatin1Char(','));
        values.emplace_back(std::move(name), GetNextField(line, pos, QLatin1Char(',')));
    }
    return values;
}

namespace {
// Appends text to a billing text, escaped, as long as it fits its bytes; false once full.
// Separators and the escape are escaped, format and control characters dropped; an escaped
// character is kept or dropped whole, so a cut never leaves half an escape.
bool AppendBilling(QString& out, int& bytes, QStringView text, bool literal = false) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        qsizetype units = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            c = QChar::surrogateToUcs4(text[i], text[i + 1]), units = 2;
        const QChar::Category kind = QChar::category(c);
        if (!literal && (kind == QChar::Other_Format || kind == QChar::Other_Control ||
                         kind == QChar::Other_Surrogate))
            continue;
        const bool escaped = !literal && (c == ';' || c == '=' || c == '\\');
        const int size = (escaped ? 1 : 0) + (c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4);
        if (bytes + size > Platform::kBillingBytes) return false;
        if (escaped) out += QLatin1Char('\\');
        out += text.mid(i, units);
        bytes += size;
        i += units - 1;
    }
    return true;
}
} // namespace

QString BillingText(const QStringList& dataLines) {
    if (IsCancelAnswer(dataLines) || IsUnreleasedAnswer(dataLines)) return {};
    QString text;
    int bytes = 0;
    for (const auto& [name, value] : DetailValues(dataLines)) {
        if ((!text.isEmpty() && !AppendBilling(text, bytes, u"; ", true)) ||
            !AppendBilling(text, bytes, JobFileValue(name)) ||
            !AppendBilling(text, bytes, u"=", true) ||
            !AppendBilling(text, bytes, JobFileValue(value)))
            break;
    }
    return text;
}

QString QueueOfShadowLine(const QString& line, const QString& server) {
    QString t = line.trimmed();
    t.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (t.startsWith(QLatin1String("//"))) {
        const QStringList parts = t.mid(2).split(QLatin1Char('/'));
        if (parts.size() != 2 || parts[0].compare(server, Qt::CaseInsensitive) != 0) return {};
        t = parts[1];
    }
    return UsableFolderName(t) && !t.contains(QLatin1Char(' ')) ? t : QString();
}
