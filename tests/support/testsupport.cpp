#include "testsupport.h"

#include "common/bcommon.h"
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "jobs/cprintjobinfo.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/system.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QSettings>

#include <QTest>
#include <fcntl.h>
#include <ftw.h>
#include <sys/fsuid.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
// The recorders alive, the last made last, and the handler the first of them replaced.
QList<MessageRecorder*> gRecorders;
Platform::MessageHandler gBeforeRecorders;
} // namespace

MessageRecorder::MessageRecorder() {
    if (gRecorders.isEmpty())
        gBeforeRecorders = Platform::SetMessageHandler(
            [](const Platform::Message& m) { return gRecorders.last()->Answer(m); });
    gRecorders << this;
}

MessageRecorder::~MessageRecorder() {
    gRecorders.removeOne(this);
    if (gRecorders.isEmpty()) Platform::SetMessageHandler(std::move(gBeforeRecorders));
}

Platform::MsgAnswer MessageRecorder::Answer(const Platform::Message& m) {
    m_messages << m;
    if (m_onEach) m_onEach(m);
    if (!m_answers.isEmpty()) return m_answers.takeFirst();
    return Platform::DefaultAnswer(m);
}

QString MessageRecorder::Joined() const {
    QStringList texts;
    for (const auto& m : m_messages) texts << m.text;
    return texts.join(QLatin1Char('#')).replace(QLatin1Char('\r'), QLatin1Char('|'));
}

FailingDevice::FailingDevice(qint64 room, QString only) : m_room(room), m_only(std::move(only)) {
    Platform::SetWriteLimit([this](const QString& path, qint64 bytes) {
        if (!m_only.isEmpty() && !path.contains(m_only)) return bytes;
        const qint64 take = std::min(bytes, m_room);
        m_room -= take;
        return take;
    });
}

FailingDevice::~FailingDevice() {
    Platform::SetWriteLimit({});
}

FakeClock::FakeClock() {
    Platform::SetClockHooks({[this] { return m_now; },
                             [this](int ms) {
                                 m_now += ms;
                                 m_paused += ms;
                             }});
}

FakeClock::~FakeClock() {
    Platform::SetClockHooks({});
}

AsNobody::AsNobody() : m_root(::geteuid() == 0) {
    if (m_root) ::setfsuid(65534);
}

AsNobody::~AsNobody() {
    if (m_root) ::setfsuid(0);
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
    for (const char* folder : {"/home/.config", "/home/.local/share", "/run", "/cwd"})
        QDir().mkpath(root + QLatin1StringView(folder));
    // As a login session makes it: Qt warns on every start about any other mode.
    QFile::setPermissions(root + u"/run"_s, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // The settings store takes its folder once per process: point it here for every sandbox.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, root + u"/home/.config"_s);
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
    if (!m_dir.isValid()) return;
    ::nftw(
        QFile::encodeName(m_dir.path()).constData(),
        [](const char* path, const struct stat*, int, struct FTW*) {
            ::remove(path);
            return 0;
        },
        16, FTW_DEPTH | FTW_PHYS);
}

QByteArray Sandbox::NativePath(const QByteArray& relative) const {
    return QFile::encodeName(m_dir.path()) + '/' + relative;
}

bool Sandbox::WriteNative(const QByteArray& relative, const QByteArray& bytes) const {
    const int fd = ::open(NativePath(relative).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    const bool ok = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && ok;
}

QByteArray Sandbox::ReadNative(const QByteArray& relative) const {
    const int fd = ::open(NativePath(relative).constData(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) return "<missing>";
    QByteArray out;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) out.append(buffer, n);
    ::close(fd);
    return out;
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

void Table(const char* columns, std::initializer_list<const char*> rows, const char* each,
           const QStringList& values) {
    QStringList names = QString::fromLatin1(columns).split(QLatin1Char(' '));
    if (each) names.prepend(QString::fromLatin1(each));
    // The test library keeps the column name pointers: keep the names for the process.
    static QSet<QByteArray> kept;
    for (const QString& n : names)
        QTest::addColumn<QString>(kept.insert(n.toLatin1())->constData());
    for (const QString& value : each ? values : QStringList{QString()})
        for (const char* row : rows) {
            const QStringList fields = QString::fromUtf8(row).split(u"\u00a6"_s);
            if (fields.size() != names.size() + (each ? 0 : 1))
                qFatal("row \"%s\": %d fields", row, int(fields.size()));
            QTestData& data =
                QTest::newRow(qPrintable(each ? value + u": "_s + fields[0] : fields[0]));
            if (each) data << value;
            for (const QString& f : fields.mid(1)) data << f;
        }
}

bool TouchFile(const QString& path, int secondsFromNow) {
    QFile f(path); // the time can only be set on an open file
    return f.open(QIODevice::ReadWrite) &&
           f.setFileTime(QDateTime::currentDateTime().addSecs(secondsFromNow),
                         QFileDevice::FileModificationTime);
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

QByteArray IniEdits(QByteArray ini, const QStringList& edits) {
    for (const QString& e : edits) {
        const qsizetype eq = e.indexOf(QLatin1Char('='));
        QString value = eq < 0 ? QString() : e.mid(eq + 1);
        if (eq >= 0 && value.isNull()) value = u""_s; // blank, not removed
        const QString target = e.left(eq);
        ini = IniEdit(ini, target.section(QLatin1Char('/'), 0, 0),
                      target.section(QLatin1Char('/'), 1), value);
    }
    return ini;
}

QString Listing(const QString& folder) {
    QStringList out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        const QString text =
            f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : u"<unreadable>"_s;
        out << QDir(folder).relativeFilePath(path) + u" = "_s +
                   QString(text).replace(u"\r\n"_s, u"|"_s);
    }
    out.sort();
    return out.join(QLatin1Char('\n'));
}

QString ConfigDump(const CConfigOptions& o) {
    auto b = [](bool v) { return v ? u"1"_s : u"0"_s; };
    QStringList out{u"Version=%1 DataFile=%2 DisableLogging=%3 LogSilent=%4 AllowCancel=%5 "
                    "LogAllUsers=%6"_s.arg(o.Version)
                        .arg(o.DataFile, b(o.DisableLogging), b(o.LogSilent), b(o.AllowCancel),
                             b(o.LogAllUsers)),
                    u"LoggingMachine=%1 FileServers=%2 AutoUpdateLocation=%3 DataPath=%4 "
                    "DisplayAfter=%5"_s.arg(o.LoggingMachine, o.FileServers, o.AutoUpdateLocation,
                                            o.DataPath, o.DisplayAfter),
                    u"User=%1/%2/%3/%4/%5/%6"_s.arg(o.UserTimeFrame, o.UserPrintUnits, o.UserLimit,
                                                    o.UserFromTime, o.UserUntilTime, o.UserAction)};
    QString flags = u"Flags="_s;
    for (bool f : {o.PauseUntilAck, o.Convert11x17, o.SavePrintData, o.ObtainPath,
                   o.DisplayImmediately, o.DisplayToUserOnly, o.AutoUpdate, o.SetEmf, o.SetRaw,
                   o.DeleteIfCanceled, o.LogDatFilesOnly, o.DebugLog, o.SIMMonitor})
        flags += b(f);
    out << flags;
    for (const auto& g : o.PrinterGroups) {
        out << u"Group=%1 DisableLogging=%2 LogSilent=%3 PauseUntilAck=%4 Redirect=%5"_s.arg(
            g->PrinterGroupName, b(g->DisableLogging), b(g->LogSilent), b(g->PauseUntilAck),
            g->Redirect);
        for (const auto& c : g->Categories) {
            out << u"  Category=%1 Verification=%2 Ack=%3 Blank=%4 Only=%5 Mask=%6 Pattern=%7 "
                   "Default=%8"_s.arg(c->CategoryName, QString::number(c->Verification),
                                      b(c->AckDefaultValues), b(c->AllowBlankValues),
                                      b(c->OnlyPreDefinedValues), b(c->MaskUserInput), c->Pattern,
                                      QString::number(c->DefaultValue));
            for (const auto& v : c->PreDefinedValues)
                out << (v->IsSystemEntry ? u"    Code=%1"_s.arg(v->SystemCode)
                                         : u"    Text=%1"_s.arg(v->EntryText));
        }
    }
    return out.join(QLatin1Char('\n'));
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

QString JobDump(const CPrintJobInfo& j) {
    auto n = [](double v) { return QString::number(v, 'g', 15); };
    // Three texts, each given its values at once: a value holding "%1" is never read as a place.
    QString out =
        u"JobFileName=%1\nPrintJobID=%2\nPrinterName=%3\nMachineName=%4\nUserName=%5\n"
        "DocumentName=%6\nSubmitDT=%7\nQueueName=%8\nJobSizeBytes=%9\n"_s.arg(
            j.JobFileName, n(j.PrintJobID), j.PrinterName, j.MachineName, j.UserName,
            j.DocumentName, j.SubmitText(), j.QueueName, n(j.JobSizeBytes)) +
        u"PagesPerCopy=%1\nSeparatorPages=%2\nNumCopies=%3\nPaperName=%4\nPaperWidth=%5\n"
        "PaperHeight=%6\nTotalPages=%7\nPathAndFilename=%8\nColor=%9\n"_s.arg(
            n(j.PagesPerCopy), n(j.SeparatorPages), n(j.NumCopies), j.PaperName, n(j.PaperWidth),
            n(j.PaperHeight), n(j.TotalPages), j.PathAndFilename, j.Color) +
        u"Reserved=%1\nPrtDriverName=%2\nMediaType=%3\nOrientation=%4\nJobSummary=%5"_s.arg(
            n(j.Reserved), j.PrtDriverName, j.MediaType, j.Orientation, j.JobSummary);
    for (const auto& v : j.CategoryValues)
        out += u"\nValue="_s + v->ValueName + u" | "_s + v->ValueString + u" | "_s +
               n(v->ValueNumeric);
    return out;
}

bool StartProgram(QProcess& program, const Sandbox& box) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment(); // the sandbox's
    env.insert(u"QORVLOG_MESSAGES"_s, box.Path(u"messages.txt"_s));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(QORVLOG_BIN));
    const QString copy = box.Path(u"home/.local/share/Qorvex/qorvlog.ini"_s);
    if (!QTest::qWaitFor([&] { return QFile::exists(copy); }, 10000)) return false;
    QTest::qWait(300); // past start-up, waiting on the job folder
    return true;
}

void EndProgram::operator()(QProcess* p) const {
    p->kill();
    p->waitForFinished();
    delete p;
}

ProgramResult RunProgram(const QStringList& args, const QProcessEnvironment& extra,
                         const QString& program) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"DISPLAY"_s);
    env.remove(u"QT_QPA_PLATFORM"_s);
    env.insert(extra);
    p.setProcessEnvironment(env);
    p.start(program.isEmpty() ? QStringLiteral(QORVLOG_BIN) : program, args);
    p.closeWriteChannel();
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return {-1, {}, {}};
    }
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}
