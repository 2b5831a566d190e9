#pragma once
// PostScript documents print as the monitor counted them. A PostScript document is a program:
// run to be counted, it may tell that it is counted and print fewer pages than it does on the
// printer. So, for a queue that waits for answers, the monitor keeps what the document drew
// when counted (re-written by ghostscript as PDF: marks only, no program left) and counts that;
// the queue's companion prints that copy, written out as PostScript, in place of the document,
// by the filter qorvmond-counted.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace Platform {

// Where the copies are kept: $QORVMOND_PRINTED (set for the scheduler's filters too), else
// the package's folder. Its owner (the monitor) alone writes there; others may pass through to
// a copy they can name, never list: a copy's name holds its document's hash.
QString CountedCopiesFolder();

// The copy of document number (from 1) of job id, whose bytes as the scheduler spooled them
// hash (SHA-256) to sha256Hex, relative to CountedCopiesFolder(): "<id>/<number>-<hash>.pdf".
QString CountedCopyName(int id, int number, const QByteArray& sha256Hex);

// The monitor's side. The folder made when missing (as the package makes it); false, with why,
// when it is not a folder of this process's own that only it may write.
bool PrepareCountedCopies(QString* why);
// Makes the job's folder, which tells that its documents were counted as its companion prints
// them (also when none is PostScript): false when it cannot be made.
bool KeepCountedCopies(int id);
// Whether they were.
bool CountedCopiesKept(int id);
// Where the copy goes, in the job's folder.
QString CountedCopyPath(int id, int number, const QByteArray& sha256Hex);
void RemoveCountedCopies(int id);
// The jobs that have copies kept.
QList<int> CountedCopiesJobs();

// SHA-256 of a file's bytes, in lower-case hex; empty when it cannot be read.
QByteArray FileSha256(const QString& path);

// The scheduler's pre-filter of the companions, for application/postscript: given the spooled
// document (the 7th argument), writes the monitor's copy of it to standard output; given none
// (PostScript made by another filter of the chain), passes standard input through. Exits 1,
// saying why on standard error, when no trustworthy copy matches.
int RunCountedFilter(int argc, char** argv);
// The options of ghostscript that keep the pages as drawn (sizes, orientation, every pixel),
// for the copy and for writing it out.
QStringList RewriteOptions();

} // namespace Platform
