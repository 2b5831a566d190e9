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

QString BillingText(const QStringList& dataLines) {
    if (IsCancelAnswer(dataLines)) return {};
    QStringList pairs;
    for (const auto& [name, value] : DetailValues(dataLines))
        pairs << JobFileValue(name) + QLatin1Char('=') + JobFileValue(value);
    QString text = pairs.join(QStringLiteral("; "));
    while (text.toUtf8().size() > Platform::kBillingBytes) {
        text.chop(1);
        if (!text.isEmpty() && text.back().isHighSurrogate()) text.chop(1);
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
