#pragma once
// The job database (opening, upgrading, its two tables) and the import of the jobs stored as
// data files.
#include "platform/database.h"

#include <QString>
#include <functional>
#include <memory>

// A table of the job database opened for appending rows; Master is sought through its
// UserDocSubmitDT index.
struct CJobTable {
    Platform::JobDatabase* Database = nullptr;
    QString Name;
    QString Index;
};

// The database named by path, upgraded with the missing Master columns, or none (after the
// message for an empty path, or 2 s of failed attempts; why then says what went wrong).
std::unique_ptr<Platform::JobDatabase> OpenJobDatabase(const QString& path, QString* why = nullptr);
// Creates Master and Detail with the job record's columns (see Platform::CreateJobDatabase).
Platform::CreateResult CreateJobDatabase(const QString& target, QString* message);
// The table, or none when it cannot be used within 5 s.
std::unique_ptr<CJobTable> OpenTableRetry(Platform::JobDatabase& database, const QString& name);
// Adds one of the upgrade columns to Master and fills it with the empty text.
bool AddMasterField(Platform::JobDatabase& database, const QString& name, int size);

// What one import did with the completed jobs it found.
struct CImportResult {
    int stored = 0;     // added to the database (their files go at the next call)
    int duplicates = 0; // already in the database: files deleted
    int cancelled = 0;  // cancelled jobs: files deleted
    int copied = 0;     // data files written to the shared folder
    int kept = 0;       // left in place as described (offline, target already there)
    int unreadable = 0; // data file could not be read: left in place
    int failed = 0;     // could not be stored: left in place
    int unreleased = 0; // held jobs that printed without the monitor's release: left in place
    int refused = 0;    // not the word of whom it speaks for: left in place
    QString error;      // why the database could not be used, when it could not
    // Ended before the last job, every file of the rest kept: the database failed as a whole
    // (error says why), or stop asked for it (interrupted).
    bool ended = false;
    bool interrupted = false;
};

// Imports the completed jobs below root (one subfolder per user) into the database named by
// dataFile, or copies them to the shared folder when only data files are logged. After the
// first job that fails for the database's sake (out of reach, locked, read-only) the call
// ends: the others would wait as long and fail alike. stop, asked after each job, ends it
// early too.
CImportResult CheckLocalJobs(const QString& root, const QString& dataFile, bool unused,
                             const std::function<bool()>& stop = {});
