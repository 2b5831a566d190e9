#pragma once
// What the monitor writes and reads in the data folder: the job file of one print job, the
// names it may use for folders and files, and the billing text of an answered job.
#include "platform/cups.h"

#include <QString>
#include <QStringList>

#include <utility>

// What is known of a job beyond the scheduler's own attributes.
struct CJobFacts {
    QString server; // this machine's short name
    int pages = 1;  // pages per copy
    qint64 bytes = 0;
    bool whole = true; // no document was cut short by a limit of its count
};

// The 22 lines of the job file, one value per line, every value on one line.
QStringList JobFileLines(const Platform::CupsJob& job, const Platform::CupsQueue& queue,
                         const CJobFacts& facts);
// A value as one line of a job file: control characters (CR and LF among them) become blanks,
// at most 254 characters.
QString JobFileValue(const QString& value);
// Whether a name from the scheduler can name a folder of its own: not empty, not "." or "..",
// no separator or control character, at most 255 bytes.
bool UsableFolderName(const QString& name);
// The base name of a job's files: server, job number and creation time (job numbers start
// again when the scheduler loses its state).
QString JobBaseName(const QString& server, int id, qint64 created);
// The release file's name of a job: its number padded to five digits, ".pas".
QString PassFileName(int id);
// The job number a name given by PassFileName stands for, 0 for any other name.
int PassFileNumber(const QString& name);
// The category name and value of each detail line of a data file, as written.
QList<std::pair<QString, QString>> DetailValues(const QStringList& dataLines);
// "name=value" of each detail line of a data file, joined with "; ", cut to the scheduler's
// limit for job-billing on a character boundary; "" for the answer "cancel". Within names and
// values ";", "=" and "\" are escaped with "\", format and control characters dropped, so that
// no value reads as another pair.
QString BillingText(const QStringList& dataLines);
// The queue of this server a ".shd" line names ("queue", "//server/queue" or
// "\\server\queue"), or "".
QString QueueOfShadowLine(const QString& line, const QString& server);
