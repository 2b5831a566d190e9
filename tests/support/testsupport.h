#pragma once
// Shared test fixtures: a sandbox folder with the platform overrides pointed into it, a
// message recorder with scripted answers, a device that fills up, fake time, and the dumps
// that compare whole records, trees and folders.
#include "platform/messages.h"

#include <QByteArray>
#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

class QProcess;

using namespace Qt::StringLiterals;

// Every test program fails a test at once on a message nobody expected (one the message
// service shows, or a QMessageBox of Qt's own), answering it by its default button; a test
// that expects messages installs a MessageRecorder for the time it expects them. Of several
// alive, the one made last answers, whatever order they end in.
class MessageRecorder {
public:
    MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;
    ~MessageRecorder();
    // Answers given in order; the default button answers when none is left.
    void Script(QList<Platform::MsgAnswer> answers) { m_answers = std::move(answers); }
    // Runs before each message is answered (to change the world while a message is open).
    void OnEach(std::function<void(const Platform::Message&)> f) { m_onEach = std::move(f); }
    const QList<Platform::Message>& Messages() const { return m_messages; }
    // The texts joined by "#", CR shown as "|", for compact comparisons.
    QString Joined() const;
    void Clear() { m_messages.clear(); }

private:
    Platform::MsgAnswer Answer(const Platform::Message& m);
    QList<Platform::Message> m_messages;
    QList<Platform::MsgAnswer> m_answers;
    std::function<void(const Platform::Message&)> m_onEach;
};

// A device that fills up: writes to files whose path contains `only` (every file when empty)
// take `room` bytes in all, the write that crosses it is cut short, and later ones fail with
// ENOSPC. Installed for its lifetime.
class FailingDevice {
public:
    explicit FailingDevice(qint64 room, QString only = {});
    ~FailingDevice();
    FailingDevice(const FailingDevice&) = delete;
    FailingDevice& operator=(const FailingDevice&) = delete;

private:
    qint64 m_room;
    QString m_only;
};

// Test time for Platform::NowMs and Platform::Pause: a pause moves the clock on at once.
class FakeClock {
public:
    FakeClock();
    ~FakeClock();
    // Milliseconds paused since the clock was made or reset.
    qint64 Paused() const { return m_paused; }
    void Reset() { m_paused = 0; }

private:
    qint64 m_now = 1000000;
    qint64 m_paused = 0;
};

// Checks file rights as an ordinary user (nobody) would meet them, also when the tests run as
// root, for as long as it lives.
class AsNobody {
public:
    AsNobody();
    ~AsNobody();
    AsNobody(const AsNobody&) = delete;
    AsNobody& operator=(const AsNobody&) = delete;

private:
    bool m_root;
};

// A temporary folder for one test, with every override pointed into it. The current folder
// is an empty folder inside it while the sandbox lives; the test fails when anything
// appears there, since the program must never write relative to the current folder.
class Sandbox {
public:
    Sandbox();
    // Removes names that are not UTF-8 too, which QTemporaryDir cannot.
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;
    QString Path(const QString& relative = {}) const;
    // Writes bytes, creating folders; returns the full path.
    QString Write(const QString& relative, const QByteArray& bytes) const;
    // Writes lines, each ending in eol.
    QString WriteLines(const QString& relative, const QStringList& lines,
                       const QString& eol = u"\r\n"_s) const;
    QByteArray Read(const QString& relative) const;
    QString RegistryFile() const { return Path(u"registry.ini"_s); }
    // A file named by the file system's bytes (not necessarily UTF-8), written and read
    // without the program's own file code; Read gives "<missing>" when it cannot be opened.
    QByteArray NativePath(const QByteArray& relative) const;
    bool WriteNative(const QByteArray& relative, const QByteArray& bytes) const;
    QByteArray ReadNative(const QByteArray& relative) const;

private:
    QTemporaryDir m_dir;
    QString m_previousCurrent;
};

// Adds one QString column per name in columns (separated by blanks) and one row per text,
// its fields separated by "¦", the first naming the row. Given a column each, it comes first
// and every row is added once for each of its values.
void Table(const char* columns, std::initializer_list<const char*> rows, const char* each = nullptr,
           const QStringList& values = {});

// What a run of the program left: its exit status (-1 when it did not end in 120 s), its
// standard output and error.
struct ProgramResult {
    int status;
    QString out, err;
};
// Runs build/bin/qorvlog (or program) with args to its end, headless (no display), in this
// process's environment (the sandbox's) with extra added.
ProgramResult RunProgram(const QStringList& args, const QProcessEnvironment& extra = {},
                         const QString& program = {});

// A program a test started: killed and waited for when the test lets go of it, however the test
// ends, so that nothing a test starts outlives it.
struct EndProgram {
    void operator()(QProcess* p) const;
};
using StartedProgram = std::unique_ptr<QProcess, EndProgram>;
// Starts build/bin/qorvlog in the background, unattended (its messages appended to
// messages.txt in the sandbox); true once it waits on the job folder.
bool StartProgram(QProcess& program, const Sandbox& box);

// Sets a file's last-write time secondsFromNow away; false when it cannot.
bool TouchFile(const QString& path, int secondsFromNow);

// Resets the process-wide settings to a fresh object.
void ResetEnvironment();

// A sample file of tests/data.
QByteArray TestData(const QString& name);
// Sets key in section of an INI text (added at the section's end when absent, section added
// when absent); a null value removes the key.
QByteArray IniEdit(const QByteArray& ini, const QString& section, const QString& key,
                   const QString& value);
// "section/key=value" edits, each applied with IniEdit ("section/key=" blanks a key,
// "section/key" alone removes it).
QByteArray IniEdits(QByteArray ini, const QStringList& edits);

// Every file below folder, one "relative/path = text" line each (CR LF shown as "|"),
// sorted: the whole state a step left behind.
QString Listing(const QString& folder);

class CConfigOptions;
// Every member of a configuration tree, one "Name=value" line each, groups, categories and
// predefined values indented below their owner.
QString ConfigDump(const CConfigOptions& options);

class CPrintJobInfo;
// A job record with every field set: 3 pages, 1 separator, 2 copies of Letter (8.5 x 11 in).
CPrintJobInfo SampleJob();
// Every field of a job and its category values, one "Name=value" per line, for comparing
// whole records; numbers in their shortest form, the date as "MM/dd/yyyy h:mm:ss AP".
QString JobDump(const CPrintJobInfo& job);

// The fields of a job file as the monitor writes them.
struct JobFields {
    QString queue = u"\\\\SRV\\Plotter"_s, id = u"42"_s, printer = u"Plotter A0"_s,
            machine = u"HOSTA"_s, user = u"jsmith"_s, document = u"Plan.dwg"_s,
            path = u"C:\\Clients\\Acme 4711\\Plan.dwg"_s, submitted = u"03/05/2004 2:07:09 PM"_s,
            size = u"123456"_s, pages = u"3"_s, copies = u"2"_s, paper = u"Letter"_s,
            width = u"8.5"_s, height = u"11"_s, color = u"Color"_s,
            driver = u"HP DesignJet Plotter"_s, media = u"Bond"_s, orientation = u"Portrait"_s;
    QStringList Lines() const;
};
// An installation inside the sandbox: registry file naming share/Config.ini (the given
// configuration, its DataPath pointing at share/data unless dataPath is given), the
// program folder prog/, and the user's job folder. Returns the configuration path.
QString LayOutInstallation(const Sandbox& box, QByteArray config, const QString& dataPath = {});
// The user folder the program derives for this process's user.
QString UserFolder(const Sandbox& box);
