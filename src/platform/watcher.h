#pragma once
// Change notification on one folder (not its subfolders): last-write changes of its files.
// Once a change is seen the notification stays signalled until it is re-armed.
#include <QString>

namespace Platform {

class FolderWatch {
public:
    FolderWatch() = default;
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // False when the folder cannot be watched.
    bool Create(const QString& folder);
    // Blocks up to ms for a change; true when signalled.
    bool Wait(int ms);
    // Clears the signalled state (drops the changes seen so far).
    void Rearm();

private:
    int m_fd = -1;
};

} // namespace Platform
