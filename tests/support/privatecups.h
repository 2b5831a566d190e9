#pragma once
// A print scheduler of the test's own: cupsd with all its folders in the sandbox, listening only
// on a Unix socket there; queues (tests/data/queue.ppd) print into files. Not in this process's
// environment: programs get it through Prepare, this process through Socket(); it stops with
// the fixture.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>

class Sandbox;

// What its cupsd.conf gets besides its defaults.
struct PrivateCupsSetup {
    QByteArray policy = {};    // lines (<Limit> blocks) of the default policy before its catch-all
    QByteArray policies = {};  // whole <Policy> blocks after the default one
    QByteArray locations = {}; // <Location> blocks after the one for "/"
};

class PrivateCups {
public:
    using Setup = PrivateCupsSetup;
    explicit PrivateCups(const Sandbox& box, const Setup& setup = {});
    ~PrivateCups();

    // False when cupsd is not installed.
    static bool Installed() { return !Cupsd().isEmpty(); }
    // Started and answering.
    bool Running() const { return m_running; }
    // The socket it listens on, for Platform::CupsServer.
    QString Socket() const { return m_root + QStringLiteral("/cups.sock"); }
    // Where the monitors started through Prepare keep their counted copies of PostScript
    // documents and the scheduler's filters look for them; the monitor makes it.
    QString Printed() const;
    // Points p at this scheduler (and adds extra variables) before it is started.
    void Prepare(QProcess& p, const QStringList& extra = {}) const;
    // Runs a program so prepared to its end: whether it succeeded; its output into out.
    bool Run(const QString& program, const QStringList& args, QByteArray* out = nullptr) const;
    // Adds a queue whose driver is called model; its output goes to out/<name>.out.
    bool AddQueue(const QString& name, const QString& model);
    // Submits a file with lp; the job number, 0 on failure.
    int Submit(const QString& queue, const QString& file, const QStringList& extra = {});
    // How often the access log tells of an operation that succeeded, e.g. "Release-Job".
    int Logged(const QString& operation) const;

private:
    static QString Cupsd();
    const Sandbox& m_box;
    QString m_root;
    QProcess m_cupsd;
    bool m_running = false;
};

// Stands in for the machine's own scheduler while it lives: CUPS_SERVER and CUPS_SERVERROOT of
// this process (and so of every program started without PrivateCups::Prepare) name a socket
// that only counts who connects and hangs up. A test fails when Requests() is not 0.
class DefaultSchedulerCanary {
public:
    DefaultSchedulerCanary();
    ~DefaultSchedulerCanary();
    int Requests() const { return m_requests; }
    void Reset() { m_requests = 0; }

private:
    QTemporaryDir m_dir;
    QThread m_thread;
    std::atomic<int> m_requests{0};
};
