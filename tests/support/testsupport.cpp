#include "testsupport.h"

#include "common/environment.h"
#include "jobs/cprintjobinfo.h"
#include "platform/system.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

using namespace Qt::StringLiterals;

MessageRecorder::MessageRecorder() {
    Platform::SetMessageHandler([this](const Platform::Message& m) {
        m_messages << m;
        if (!m_answers.isEmpty()) return m_answers.takeFirst();
        return Platform::DefaultAnswer(m);
    });
}

MessageRecorder::~MessageRecorder() {
    Platform::SetMessageHandler({});
}

QStringList MessageRecorder::Texts() const {
    QStringList out;
    for (const auto& m : m_messages) out << m.text;
    return out;
}

QString MessageRecorder::Joined() const {
    return Texts().join(QLatin1Char('#')).replace(QLatin1Char('\r'), QLatin1Char('|'));
}

Sandbox::Sandbox() {
    const QString root = m_dir.path();
    qputenv("QORVLOG_REGISTRY", (root + u"/registry.ini"_s).toUtf8());
    qputenv("QORVLOG_MOUNTS", (root + u"/mounts"_s).toUtf8());
    qputenv("QORVLOG_SMBCONF", (root + u"/smb.conf"_s).toUtf8());
    qputenv("HOME", (root + u"/home"_s).toUtf8());
    qputenv("XDG_CONFIG_HOME", (root + u"/home/.config"_s).toUtf8());
    qputenv("XDG_DATA_HOME", (root + u"/home/.local/share"_s).toUtf8());
    qputenv("XDG_RUNTIME_DIR", (root + u"/run"_s).toUtf8());
    qunsetenv("QORVLOG_MESSAGES");
    QDir().mkpath(root + u"/home/.config"_s);
    QDir().mkpath(root + u"/home/.local/share"_s);
    QDir().mkpath(root + u"/run"_s);
    QDir().mkpath(root + u"/cwd"_s);
    m_previousCurrent = QDir::currentPath();
    QDir::setCurrent(root + u"/cwd"_s);
    ResetEnvironment();
}

Sandbox::~Sandbox() {
    QDir::setCurrent(m_previousCurrent);
    const QStringList stray =
        QDir(Path(u"cwd"_s))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    if (!stray.isEmpty())
        QTest::qFail(("written to the current folder: " + stray.join(u", "_s)).toUtf8().constData(),
                     __FILE__, __LINE__);
}

QString Sandbox::Path(const QString& relative) const {
    return relative.isEmpty() ? m_dir.path() : m_dir.path() + QLatin1Char('/') + relative;
}

QString Sandbox::Write(const QString& relative, const QByteArray& bytes) const {
    const QString p = Path(relative);
    QDir().mkpath(QFileInfo(p).absolutePath());
    QFile f(p);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
    return p;
}

QString Sandbox::WriteLines(const QString& relative, const QStringList& lines,
                            const QString& eol) const {
    return Write(relative, (lines.join(eol) + eol).toUtf8());
}

QByteArray Sandbox::Read(const QString& relative) const {
    QFile f(Path(relative));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void ResetEnvironment() {
    gEnv = CEnvironment();
}

QByteArray TestData(const QString& name) {
    QFile f(QStringLiteral(QORVLOG_TEST_DATA) + QLatin1Char('/') + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray IniEdit(const QByteArray& ini, const QString& section, const QString& key,
                   const QString& value) {
    QStringList lines = QString::fromUtf8(ini).split(QLatin1Char('\n'));
    QString current;
    qsizetype sectionEnd = -1;
    bool done = false;
    for (qsizetype i = 0; i < lines.size() && !done; ++i) {
        const QString t = lines[i].trimmed();
        if (t.startsWith(QLatin1Char('['))) {
            if (current.compare(section, Qt::CaseInsensitive) == 0) break;
            current = t.mid(1, t.indexOf(QLatin1Char(']')) - 1);
            continue;
        }
        if (current.compare(section, Qt::CaseInsensitive) != 0) continue;
        if (!t.isEmpty()) sectionEnd = i;
        const qsizetype eq = t.indexOf(QLatin1Char('='));
        if (eq > 0 && t.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0) {
            if (value.isNull())
                lines.removeAt(i);
            else
                lines[i] = key + u" = "_s + value + QLatin1Char('\r');
            done = true;
        }
    }
    if (!done && !value.isNull()) {
        const QString line = key + u" = "_s + value + QLatin1Char('\r');
        if (sectionEnd >= 0)
            lines.insert(sectionEnd + 1, line);
        else
            lines << QLatin1Char('[') + section + u"]\r"_s << line;
    }
    return lines.join(QLatin1Char('\n')).toUtf8();
}

QStringList JobFields::Lines() const {
    return {u"JOB"_s,  pages,     queue, id,     printer, machine,    user,  document,
            path,      submitted, size,  pages,  copies,  paper,      width, height,
            QString(), QString(), color, driver, media,   orientation};
}

QString LayOutInstallation(const Sandbox& box, QByteArray config, const QString& dataPath) {
    const QString data = dataPath.isNull() ? box.Path(u"share/data"_s) : dataPath;
    config = IniEdit(config, u"GENERAL"_s, u"DataPath"_s, data);
    const QString cfg = box.Write(u"share/Config.ini"_s, config);
    box.WriteLines(u"registry.ini"_s,
                   {u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora Group\\Kestova Sentrel\\4]"_s,
                    u"ConfigFile = "_s + cfg,
                    u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]"_s,
                    u"Kestova Sentrel = "_s + box.Path(u"prog/qorvlog"_s)});
    QDir().mkpath(UserFolder(box));
    gEnv.m_sExeName = u"qorvlog"_s;
    return cfg;
}

QString UserFolder(const Sandbox& box) {
    return box.Path(u"share/data/users/"_s) + Platform::LoginName();
}

CPrintJobInfo SampleJob() {
    CPrintJobInfo j;
    j.PrintJobID = 42;
    j.PrinterName = u"Plotter A0"_s;
    j.MachineName = u"HOSTA"_s;
    j.UserName = u"jsmith"_s;
    j.DocumentName = u"Plan.dwg"_s;
    CDate::Parse(u"03/05/2004 2:07:09 PM"_s, &j.SubmitDT);
    j.QueueName = u"\\\\SRV\\Plotter"_s;
    j.JobSizeBytes = 123456;
    j.PagesPerCopy = 3;
    j.SeparatorPages = 1;
    j.NumCopies = 2;
    j.PaperName = u"Letter"_s;
    j.PaperWidth = 8.5;
    j.PaperHeight = 11;
    j.PathAndFilename = u"C:\\Clients\\4711 Acme\\Plan.doc"_s;
    j.Color = u"Color"_s;
    j.PrtDriverName = u"HP DesignJet"_s;
    j.MediaType = u"Bond"_s;
    j.Orientation = u"Portrait"_s;
    return j;
}
