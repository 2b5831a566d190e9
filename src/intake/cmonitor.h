#pragma once
// Reads the job files that the monitor writes, one value per line.
#include <QString>
#include <QStringList>
#include <memory>

class CPrintJobInfo;

class CMonitor {
public:
    CMonitor();
    // A new record from the job file at path, with one category value per category of its
    // printer group, pre-filled. A short or unreadable file gives what could be read.
    std::shared_ptr<CPrintJobInfo> GetNextPrintJob(const QString& path);
    // The same from lines already read from the job file at path.
    std::shared_ptr<CPrintJobInfo> GetNextPrintJob(const QString& path, const QStringList& lines);
    const QString& ThisComputerName() const { return m_computerName; }

    // The first lines of a job file (at most maxLines), or an empty list when it cannot be
    // read. Reads no more than a few megabytes, whatever the file holds.
    static constexpr int kJobLines = 22;
    static QStringList ReadJobLines(const QString& path, int maxLines, bool* ok = nullptr);

private:
    QString m_computerName;
};
