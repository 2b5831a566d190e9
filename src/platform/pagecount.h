#pragma once
// Pages of users' documents, counted by running them apart, under limits: a document may be a
// program, or a few kilobytes that unpack to gigabytes.

#include <QByteArray>
#include <QString>
#include <QStringList>

class QFile;

namespace Platform {

// Pages of a PDF or PostScript document, 0 when they cannot be told. PostScript is run (by
// ghostscript, safely, at most kCountMs) and its printed pages counted: its comments may lie.
// A PDF's page tree is read by qorvmond-count under the same limits, never in this process.
// A document that prints no page either way is not counted whole: it is of a kind whose pages
// are not known (text, an image, a printer's own language).
// whole: false when it was stopped at a limit, having printed the pages counted so far.
int CountPages(const QByteArray& document, bool* whole = nullptr);
// The same for a file, of any size: it is never loaded whole.
// printedAs: where a document run as PostScript is kept as it drew when counted (marks only,
// its program gone), and that copy is counted instead: the copy prints in its place.
int CountPagesOfFile(const QString& path, bool* whole = nullptr, const QString& printedAs = {});
constexpr int kCountMs = 10000;
// What program writes on standard output, run as a counter of a user's document runs: at most
// kCountMs and 1 GiB (ghostscript also niced), without this process's capabilities, and writing
// no file but in writable (at most 1 GiB each). whole turns
// false when it was stopped at a limit (what it would have done after is not known), or did not
// run at all.
QByteArray RunSandboxed(const QString& program, const QStringList& args, bool* whole = nullptr,
                        const QString& writable = {});
// A compressed document as the scheduler prints it, unpacked into out, at most maxBytes of it;
// false when it cannot be read. whole: nothing of it was left out.
bool Unpack(const QString& path, qint64 maxBytes, QFile& out, bool* whole);

} // namespace Platform
