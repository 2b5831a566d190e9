// The activity export: lines that an outside program adds to a log in the user's local folder
// become data files, so that the offline import stores them like print jobs.
#include "common/bcommon.h"
#include "common/environment.h"
#include "common/values.h"
#include "jobs/cprintjobinfo.h"
#include "platform/files.h"
#include "platform/lines.h"

#include <QLocale>

namespace {
// Data files made durable together (one sync each); bounds the memory a long log takes.
constexpr qsizetype kBatch = 1000;

struct CLogLine {
    QByteArrayView text;
    qsizetype end = 0; // offset just past its line end
};

// The lines of a file. A last line without a line end may be half written by the program
// that writes the log: with completeOnly it is left for a later run.
QList<CLogLine> Lines(const QByteArray& bytes, bool completeOnly) {
    QList<CLogLine> lines;
    Platform::ForEachLine(QByteArrayView(bytes), [&](QByteArrayView line) {
        qsizetype end = qsizetype(line.data() - bytes.constData()) + line.size();
        if (end < bytes.size())
            end += bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n' ? 2 : 1;
        else if (completeOnly)
            return false;
        lines.append(CLogLine{line, end});
        return true;
    });
    return lines;
}

// Where the new lines of the log begin. The snapshot holds the lines exported before. A log
// that only grew continues it. A log that is no continuation was rewritten (rotated, or cut
// and written on): of its lines after the part it shares with the snapshot, those that repeat
// the snapshot's last lines were exported already, so the new ones start after that overlap;
// a fresh log has none and is new from its first line. Nothing is exported twice and no
// line after the ones seen before is skipped.
qsizetype FirstNewLine(const QList<CLogLine>& log, const QList<CLogLine>& snap) {
    qsizetype p = 0;
    while (p < log.size() && p < snap.size() && log[p].text == snap[p].text) ++p;
    if (p == snap.size() || p == log.size()) return p;
    // The longest tail of snap[p..] that is a head of log[p..], in linear time.
    auto head = [&](qsizetype i) { return log[p + i].text; };
    const qsizetype m = log.size() - p;
    QList<qsizetype> back(m, 0);
    for (qsizetype i = 1, k = 0; i < m; ++i) {
        while (k > 0 && head(i) != head(k)) k = back[k - 1];
        if (head(i) == head(k)) ++k;
        back[i] = k;
    }
    qsizetype k = 0;
    for (qsizetype i = p; i < snap.size(); ++i) {
        while (k > 0 && (k == m || snap[i].text != head(k))) k = back[k - 1];
        if (snap[i].text == head(k)) ++k;
    }
    return p + k;
}

struct CActivity {
    QString date, time, user, document, rest;
};

// Date, time, user and document end at the first four commas; a line with fewer leaves the
// fields it lacks as the previous line had them.
void Split(const QString& line, CActivity& a) {
    QStringView rest(line);
    for (QString* field : {&a.date, &a.time, &a.user, &a.document}) {
        const qsizetype comma = rest.indexOf(QLatin1Char(','));
        if (comma < 0) break;
        *field = rest.left(comma).toString();
        rest = rest.sliced(comma + 1);
    }
    a.rest = rest.trimmed().toString();
}

QString DateText(const QString& text) {
    CDate d;
    if (!CDate::Parse(text, &d)) return text;
    return QLocale::c().toString(d.Date(), u"M/dd/yyyy");
}

QString TimeText(const QString& text) {
    CDate t;
    if (!CDate::Parse(QStringLiteral("1/1/2000 ") + text.trimmed(), &t)) return text;
    return QLocale::c().toString(t.Time(), u"h:mm:ss AP");
}

QByteArray DataFile(const CActivity& a) {
    QString user = a.user;
    if (const qsizetype blank = user.indexOf(QLatin1Char(' ')); blank >= 0) user.remove(blank, 1);
    const QChar c = QLatin1Char(',');
    const QString unknown = QuotedField(QStringLiteral("unknown"));
    const QString master =
        QStringLiteral("QorvexMaster,2,1,") + QuotedField(QStringLiteral("Act Print")) + c +
        QuotedField(gEnv.m_sMachineName) + c + QuotedField(user) + c + QuotedField(a.document) + c +
        QuotedField(DateText(a.date) + QLatin1Char(' ') + TimeText(a.time)) + c + unknown +
        QStringLiteral(",1000,1,1,1,") + unknown + QStringLiteral(",1.0,1.0,1,") + unknown + c +
        unknown + c + QuotedField(a.rest) + c + unknown;
    return Platform::EncodeLines(
        {master, QStringLiteral("QorvexDetail,2,\"corvayne\",\"corvayne\"")});
}

// A missing file reads as empty; one that is there but cannot be read stops the export.
bool ReadOrEmpty(const QString& path, QByteArray* bytes) {
    if (Platform::KindOf(path) == Platform::EntryKind::Missing) return true;
    bool ok = false;
    *bytes = Platform::ReadHead(path, -1, &ok);
    return ok;
}
} // namespace

void CPrintJobInfo::CheckCorvayne() {
    const QString& local = gEnv.m_sLocalUserPath;
    const QString& user = gEnv.m_sUserName;
    const QString base = gEnv.m_bOffline ? local : gEnv.m_sDataPath;
    // Only into the user's own folder, and never relative to the current folder.
    if (!local.startsWith(QLatin1Char('/')) || !base.startsWith(QLatin1Char('/')) ||
        user.isEmpty() || user == QLatin1String(".") || user == QLatin1String("..") ||
        user.contains(QLatin1Char('/')) || user.contains(QChar(0)))
        return;
    const QString logPath = AddBackslash(local) + QStringLiteral("qorvcor.txt");
    const QString snapPath = AddBackslash(local) + QStringLiteral("qorvcor1.txt");
    QByteArray log, snap;
    if (!ReadOrEmpty(logPath, &log) || !ReadOrEmpty(snapPath, &snap)) return;
    const QList<CLogLine> lines = Lines(log, true);
    const qsizetype start = FirstNewLine(lines, Lines(snap, false));

    const QString folder = AddBackslash(base) + QStringLiteral("users/") + user;
    if (start < lines.size() && !Platform::IsDir(folder)) Platform::MakePath(folder);
    auto pathOf = [&](int n) {
        return folder + QStringLiteral("/Job") + QString::number(n) + QStringLiteral(".dat");
    };
    qsizetype done = start; // lines before this one are exported (or were empty)
    int next = 1;
    QList<QByteArray> batch;
    QList<qsizetype> batchLines;
    // Stores the batch; then every line before through is dealt with.
    auto flush = [&](qsizetype through) {
        const int stored = Platform::SaveNewFiles(folder, batch, pathOf, &next);
        if (stored < batch.size()) {
            done = batchLines[stored];
            WriteLog(QStringLiteral("E"), QStringLiteral("Activity not exported to ") + folder +
                                              QStringLiteral(": ") +
                                              Platform::LastFileError().text);
            return false;
        }
        batch.clear();
        batchLines.clear();
        done = through;
        return true;
    };
    // The fields a line lacks come from the lines before it: from the last full line on.
    qsizetype first = start;
    if (start < lines.size())
        while (first > 0 && lines[first].text.count(',') < 4) --first;
    CActivity activity;
    bool ok = true;
    for (qsizetype i = first; i < lines.size() && ok; ++i) {
        const QString text = Platform::DecodeText(lines[i].text.toByteArray());
        if (text.trimmed().isEmpty()) continue; // no activity on an empty line
        Split(text, activity);
        if (i < start) continue;
        batch << DataFile(activity);
        batchLines << i;
        if (batch.size() == kBatch) ok = flush(i + 1);
    }
    if (ok) flush(lines.size());
    // The snapshot is the log up to the last line dealt with: a line that could not be
    // exported is tried again at the next run.
    const QByteArray seen = log.left(done > 0 ? lines[done - 1].end : 0);
    if (seen != snap) Platform::SaveFileAtomic(snapPath, seen);
}
