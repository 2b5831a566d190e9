#pragma once
// A print scheduler of the test's own: cupsd with its server root, spool, cache, log and
// output folders inside the sandbox, listening only on a Unix socket there. Queues
// (tests/data/queue.ppd) print through a pass-through filter into files. CUPS_SERVER and
// CUPS_SERVERROOT point at it for the test and the programs it starts; the scheduler stops with the
// fixture.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

class Sandbox;

class PrivateCups {
public:
    explicit PrivateCups(const Sandbox& box);
    ~PrivateCups();

    // False when cupsd is not installed.
    static bool Installed();
    // Started and answering.
    bool Running() const { return m_running; }
    // Adds a queue whose driver is called model; its output goes to out/<name>.out.
    bool AddQueue(const QString& name, const QString& model);
    // Submits a file with lp; the job number, 0 on failure.
    int Submit(const QString& queue, const QString& file, const QStringList& extra = {});
    // How often the scheduler's access log tells of an operation that succeeded, e.g.
    // "Release-Job".
    int Logged(const QString& operation) const;

private:
    const Sandbox& m_box;
    QString m_root;
    QProcess m_cupsd;
    bool m_running = false;
};
