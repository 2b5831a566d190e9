#pragma once
// Change notification on one folder (not its subfolders): last-write changes of its files,
// delivered through the event loop.
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace Platform {

class FolderWatch : public QObject {
    Q_OBJECT
public:
    FolderWatch();
    ~FolderWatch() override;

    // False when the folder cannot be watched. With names (a wildcard), only changes of files
    // so named count, and of the folder itself.
    bool Create(const QString& folder, const QString& names = {});
    // True when a change arrived since the last call, also one the event loop has not
    // delivered yet; forgets it.
    bool TakeChange();

Q_SIGNALS:
    // Changes arrived; emitted from the event loop, once per batch.
    void Changed();

private:
    // Reads the pending events; true when there were any.
    bool Drain();
    void Close();

    int m_fd = -1;
    QString m_names;
    QSocketNotifier* m_notifier = nullptr;
    bool m_changed = false;
};

} // namespace Platform
