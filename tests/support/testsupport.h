#pragma once
// Shared test fixtures: a sandbox folder with the platform overrides pointed into it, a
// message recorder with scripted answers, and small file helpers.
#include "platform/messages.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    // Answers given in order; the default button answers when none is left.
    void Script(QList<Platform::MsgAnswer> answers) { m_answers = std::move(answers); }
    const QList<Platform::Message>& Messages() const { return m_messages; }
    QStringList Texts() const;
    // The texts joined, CR shown as "|", for compact comparisons.
    QString Joined() const;
    void Clear() { m_messages.clear(); }

private:
    QList<Platform::Message> m_messages;
    QList<Platform::MsgAnswer> m_answers;
};

// A temporary folder for one test, with every override pointed into it. The current folder
// is an empty folder inside it while the sandbox lives; the test fails when anything
// appears there, since the program must never write relative to the current folder.
class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;
    bool IsValid() const { return m_dir.isValid(); }
    QString Path(const QString& relative = {}) const;
    // Writes bytes, creating folders; returns the full path.
    QString Write(const QString& relative, const QByteArray& bytes) const;
    // Writes lines, each ending in eol.
    QString WriteLines(const QString& relative, const QStringList& lines,
                       const QString& eol = u"\r\n"_s) const;
    QByteArray Read(const QString& relative) const;
    QString RegistryFile() const { return Path(u"registry.ini"_s); }

private:
    QTemporaryDir m_dir;
    QString m_previousCurrent;
};

// Resets the process-wide settings to a fresh object.
void ResetEnvironment();

// A sample file of tests/data.
QByteArray TestData(const QString& name);
// Sets key in section of an INI text (added at the section's end when absent, section added
// when absent); a null value removes the key.
QByteArray IniEdit(const QByteArray& ini, const QString& section, const QString& key,
                   const QString& value);

class CPrintJobInfo;
// A job record with every field set: 3 pages, 1 separator, 2 copies of Letter (8.5 x 11 in).
CPrintJobInfo SampleJob();

// The fields of a job file as the monitor writes them.
struct JobFields {
    QString queue = u"\\\\SRV\\Plotter"_s;
    QString id = u"42"_s;
    QString printer = u"Plotter A0"_s;
    QString machine = u"HOSTA"_s;
    QString user = u"jsmith"_s;
    QString document = u"Plan.dwg"_s;
    QString path = u"C:\\Clients\\Acme 4711\\Plan.dwg"_s;
    QString submitted = u"03/05/2004 2:07:09 PM"_s;
    QString size = u"123456"_s;
    QString pages = u"3"_s;
    QString copies = u"2"_s;
    QString paper = u"Letter"_s;
    QString width = u"8.5"_s;
    QString height = u"11"_s;
    QString color = u"Color"_s;
    QString driver = u"HP DesignJet Plotter"_s;
    QString media = u"Bond"_s;
    QString orientation = u"Portrait"_s;
    QStringList Lines() const;
};

// An installation inside the sandbox: registry file naming share/Config.ini (the given
// configuration, its DataPath pointing at share/data unless dataPath is given), the
// program folder prog/, and the user's job folder. Returns the configuration path.
QString LayOutInstallation(const Sandbox& box, QByteArray config, const QString& dataPath = {});
// The user folder the program derives for this process's user.
QString UserFolder(const Sandbox& box);
