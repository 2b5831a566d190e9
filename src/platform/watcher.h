#pragma once
// Change notification on one folder (not its subfolders): last-write changes of its files,
// delivered through the event loop.
#include <QObject>
#include <QSet>
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
    // The names changed since the last call (only those the filter of Create lets through), and
    // forgets them; lost: more changed than was told (the queue overflowed, the folder went, a
    // flood of names): look at everything.
    QSet<QString> TakeNames(bool* lost);

Q_SIGNALS:
    // Changes arrived; emitted from the event loop, once per batch.
    void Changed();

private:
    // Reads the pending events; true when there were any.
    bool Drain();
    void Close();

    int m_fd = -1;
    QString m_filter;
    QSocketNotifier* m_notifier = nullptr;
    bool m_changed = false;
    bool m_lost = false;
    QSet<QString> m_names;
};

// A named pipe that only its maker reads and only a group writes: a wake-up with nothing in
// it. Every byte written is a nudge; the nudges that arrive together are one.
class WakeFifo : public QObject {
    Q_OBJECT
public:
    WakeFifo();
    ~WakeFifo() override;

    // Makes the pipe at path anew (mode 0620, writable by group when that group exists) and
    // listens; false, with the file error kept, when it cannot.
    bool Create(const QString& path, const QString& group);

Q_SIGNALS:
    void Woken();

private:
    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace Platform
