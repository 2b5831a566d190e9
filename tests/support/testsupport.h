#pragma once
// Shared test fixtures: a sandbox folder with the platform overrides pointed into it, a
// message recorder with scripted answers, and small file helpers.
#include "platform/messages.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

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

class Sandbox {
public:
    Sandbox();
    bool IsValid() const { return m_dir.isValid(); }
    QString Path(const QString& relative = {}) const;
    // Writes bytes, creating folders; returns the full path.
    QString Write(const QString& relative, const QByteArray& bytes) const;
    // Writes lines joined with CR LF.
    QString WriteLines(const QString& relative, const QStringList& lines) const;
    QByteArray Read(const QString& relative) const;
    QString RegistryFile() const { return Path(QStringLiteral("registry.ini")); }

private:
    QTemporaryDir m_dir;
};

// Resets the process-wide settings to a fresh object.
void ResetEnvironment();

// A sample file of tests/data.
QByteArray TestData(const QString& name);
// Sets key in section of an INI text (added at the section's end when absent, section added
// when absent); a null value removes the key.
QByteArray IniEdit(const QByteArray& ini, const QString& section, const QString& key,
                   const QString& value);

// The fields of a job file as the monitor writes them.
struct JobFields {
    QString queue = QStringLiteral("\\\\SRV\\Plotter");
    QString id = QStringLiteral("42");
    QString printer = QStringLiteral("Plotter A0");
    QString machine = QStringLiteral("HOSTA");
    QString user = QStringLiteral("jsmith");
    QString document = QStringLiteral("Plan.dwg");
    QString path = QStringLiteral("C:\\Clients\\Acme 4711\\Plan.dwg");
    QString submitted = QStringLiteral("03/05/2004 2:07:09 PM");
    QString size = QStringLiteral("123456");
    QString pages = QStringLiteral("3");
    QString copies = QStringLiteral("2");
    QString paper = QStringLiteral("Letter");
    QString width = QStringLiteral("8.5");
    QString height = QStringLiteral("11");
    QString color = QStringLiteral("Color");
    QString driver = QStringLiteral("HP DesignJet Plotter");
    QString media = QStringLiteral("Bond");
    QString orientation = QStringLiteral("Portrait");
    QStringList Lines() const;
};

// An installation inside the sandbox: registry file naming share/Config.ini (the given
// configuration, its DataPath pointing at share/data unless dataPath is given), the
// program folder prog/, and the user's job folder. Returns the configuration path.
QString LayOutInstallation(const Sandbox& box, QByteArray config, const QString& dataPath = {});
// The user folder the program derives for this process's user.
QString UserFolder(const Sandbox& box);
