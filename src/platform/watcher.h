#pragma once
// Change notification on one folder (not its subfolders): last-write changes of its files,
// delivered through the event loop.
#include <QObject>
#include <QString>
#include <QStringList>

class QSocketNotifier;

namespace Platform {

class FolderWatch : public QObject {
    Q_OBJECT
public:
    FolderWatch();
    ~FolderWatch() override;

    // False when the folder cannot be watched.
    bool Create(const QString& folder);
    // True when a change arrived since the last call, also one the event loop has not
    // delivered yet; forgets it.
    bool TakeChange();

Q_SIGNALS:
    // Changes arrived; emitted from the event loop, once per batch.
    void Changed();
    // The same batch by name, each name once; all is true when the system lost events, so
    // that any entry may have changed.
    void ChangedNames(const QStringList& names, bool all);

private:
    // Reads the pending events; true when there were any.
    bool Drain();
    void Close();

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    bool m_changed = false;
    QStringList m_names;
    bool m_all = false;
};

} // namespace Platform
