// Pages of users' documents, counted by running them apart, under limits.
#include "platform/pagecount.h"

#include "platform/countedcopy.h"
#include "platform/files.h"

#include <cups/file.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <algorithm>
#include <fcntl.h>
#include <linux/landlock.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace Platform {

namespace {
// The child keeps none of the monitor's capabilities and, where the kernel has Landlock, may
// write, make or remove no file (but in writable, when given): a document that broke out of
// the interpreter's own sandbox still could not touch a job file. Async-signal-safe: it runs
// between fork and exec.
void DenyWrites(const char* writable) {
    ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    landlock_ruleset_attr attr{};
    attr.handled_access_fs = LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_REMOVE_DIR |
                             LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_MAKE_CHAR |
                             LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_MAKE_REG |
                             LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO |
                             LANDLOCK_ACCESS_FS_MAKE_BLOCK | LANDLOCK_ACCESS_FS_MAKE_SYM;
    const int rules = int(::syscall(SYS_landlock_create_ruleset, &attr, sizeof attr, 0));
    if (rules < 0) return; // a kernel without it: the other limits still hold
    if (writable) {
        landlock_path_beneath_attr beneath{};
        beneath.allowed_access = LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_MAKE_REG |
                                 LANDLOCK_ACCESS_FS_REMOVE_FILE;
        beneath.parent_fd = ::open(writable, O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (beneath.parent_fd >= 0) {
            ::syscall(SYS_landlock_add_rule, rules, LANDLOCK_RULE_PATH_BENEATH, &beneath, 0);
            ::close(beneath.parent_fd);
        }
    }
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0)
        ::syscall(SYS_landlock_restrict_self, rules, 0);
    ::close(rules);
}
} // namespace

QByteArray RunSandboxed(const QString& program, const QStringList& args, bool* whole,
                        const QString& writable) {
    QProcess counter;
    counter.setStandardInputFile(QProcess::nullDevice());
    counter.setStandardErrorFile(QProcess::nullDevice());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Its scratch files where it may write.
    if (!writable.isEmpty()) env.insert(QStringLiteral("TMPDIR"), writable);
#ifdef __SANITIZE_ADDRESS__ // its shadow memory alone is terabytes of address space: its own limit
    env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) +
                                                   QStringLiteral(":hard_rss_limit_mb=1024"));
    const bool limitAddresses = program == QLatin1String("gs");
#else
    const bool limitAddresses = true;
#endif
    // A PostScript document is a program that may run for its whole time: it yields to every
    // other process. Reading a page tree takes its data's time only.
    const bool yields = program == QLatin1String("gs");
    counter.setProcessEnvironment(env);
    const QByteArray folder = EncodeName(writable);
    counter.setChildProcessModifier([limitAddresses, yields, &folder] {
        const rlimit cpu{kCountMs / 1000, kCountMs / 1000 + 1}, memory{1L << 30, 1L << 30};
        ::setrlimit(RLIMIT_CPU, &cpu);
        if (limitAddresses) ::setrlimit(RLIMIT_AS, &memory);
        // What it writes, however much the document draws: at most as much as its memory.
        if (!folder.isEmpty()) ::setrlimit(RLIMIT_FSIZE, &memory);
        if (yields) {
            [[maybe_unused]] const int ignored = ::nice(10);
        }
        DenyWrites(folder.isEmpty() ? nullptr : folder.constData());
    });
    counter.start(program, args);
    if (!counter.waitForStarted()) {
        if (whole) *whole = false;
        return {};
    }
    if (!counter.waitForFinished(kCountMs)) {
        counter.kill();
        counter.waitForFinished();
    }
    if (counter.exitStatus() != QProcess::NormalExit && whole) *whole = false;
    return counter.readAllStandardOutput();
}

namespace {
// The program that reads a PDF's page tree: beside this one's (in the build tree), else where it
// is installed.
QString PdfCounter() {
    static const QString counter = [] {
        const QString beside =
            QCoreApplication::applicationDirPath() + QStringLiteral("/qorvmond-count");
        return QFileInfo(beside).isExecutable() ? beside : QStringLiteral(QORVMOND_COUNT_BIN);
    }();
    return counter;
}

// Runs the document as PostScript on device, read from its file (a pipe would be read many
// times slower) as the scheduler may print it whatever it starts with. Nothing the document
// writes goes to standard output (-sstdout).
QByteArray RunPostScript(const QString& path, const QStringList& device, bool* whole,
                         const QString& writable = {}) {
    return RunSandboxed(
        QStringLiteral("gs"),
        QStringList{QStringLiteral("-q"), QStringLiteral("-dSAFER"),
                    QStringLiteral("--permit-file-read=") + path, QStringLiteral("-dBATCH"),
                    QStringLiteral("-dNOPAUSE")} +
            device +
            QStringList{QStringLiteral("-sstdout=%stderr"), QStringLiteral("-sCountedFile=") + path,
                        QStringLiteral("-c"), QStringLiteral("CountedFile (r) file cvx exec")},
        whole, writable);
}

// On a device that writes one byte for every page (every copy) it prints, at once: the pages it
// printed before it quit, dropped its device or ran out of time are counted all the same.
int CountPostScriptPages(const QString& path, bool* whole) {
    return int(
        RunPostScript(path,
                      {QStringLiteral("-sDEVICE=bit"), QStringLiteral("-r10"),
                       QStringLiteral("-g1x1"), QStringLiteral("-dFIXEDMEDIA"),
                       QStringLiteral("-dFIXEDRESOLUTION"), QStringLiteral("-sOutputFile=-")},
                      whole)
            .size());
}

// What the document draws, written to copy as PDF (its program is gone: what it does when run
// to be counted is what prints), and that copy's pages, read from its page tree. Not written
// as PostScript here: a document run on that device could have its own PostScript written into
// the copy (its PSDocOptions, PSPageOptions, /PS pdfmarks), to run again when printed; from a
// PDF, whose own PostScript the interpreter does not run, the companion's filter writes it.
int CountRewrittenPages(const QString& path, const QString& copy, bool* whole) {
    // Everything the interpreter writes (its scratch files too, left behind when it is stopped
    // at its time limit) goes into a folder of its own, removed whole.
    const QTemporaryDir scratch(copy + QStringLiteral(".XXXXXX"));
    const QString marks = scratch.filePath(QStringLiteral("marks.pdf"));
    bool written = scratch.isValid();
    if (written)
        RunPostScript(path,
                      QStringList{QStringLiteral("-sDEVICE=pdfwrite")} + RewriteOptions() +
                          QStringList{QStringLiteral("-sOutputFile=") + marks},
                      &written, scratch.path());
    const int pages = written ? RunSandboxed(PdfCounter(), {marks}, &written).trimmed().toInt() : 0;
    // Others may read it by its name, which holds its document's hash; the folder they cannot list.
    if (!written || !QFile::setPermissions(marks, QFile::Permissions(0x6644)) ||
        !QFile::rename(marks, copy)) {
        if (whole) *whole = false;
        return 0;
    }
    return pages;
}

// Run as PostScript, a PDF whose first words after its comments are "N G obj" stops there,
// having printed nothing.
bool StopsAtFirstObject(const QByteArray& head) {
    static const QRegularExpression start(
        QStringLiteral("^(?:\\s|%[^\\r\\n\\f]*+)*+\\d+\\s+\\d+\\s+obj\\b"));
    return start.match(QString::fromLatin1(head)).hasMatch();
}
} // namespace

int CountPagesOfFile(const QString& path, bool* whole, const QString& printedAs) {
    if (whole) *whole = true;
    // The scheduler prints a document as PDF or as PostScript by its content or by what its
    // client says: whichever reading prints more is counted.
    bool ok = false;
    const QByteArray head = ReadHead(path, 4096, &ok);
    const int pdf = head.left(1024).contains("%PDF")
                        ? RunSandboxed(PdfCounter(), {path}, whole).trimmed().toInt()
                        : 0;
    const int pages =
        pdf > 0 && StopsAtFirstObject(head)
            ? pdf
            : std::max(pdf, printedAs.isEmpty() ? CountPostScriptPages(path, whole)
                                                : CountRewrittenPages(path, printedAs, whole));
    // Read either way it prints nothing: what the printer makes of it (text, an image, its own
    // language sent raw) is not known.
    if (pages == 0 && whole) *whole = false;
    return pages;
}

int CountPages(const QByteArray& document, bool* whole) {
    QTemporaryFile file; // its owner's only
    if (!file.open() || file.write(document) != document.size() || !file.flush()) {
        if (whole) *whole = false;
        return 0;
    }
    return CountPagesOfFile(file.fileName(), whole);
}

bool Unpack(const QString& path, qint64 maxBytes, QFile& out, bool* whole) {
    cups_file_t* in = cupsFileOpen(EncodeName(path).constData(), "r"); // unpacks as it reads
    if (!in) return false;
    char buffer[65536];
    qint64 n = 0, left = maxBytes;
    bool written = true;
    while (written && left > 0 && (n = cupsFileRead(in, buffer, sizeof buffer)) > 0) {
        written = out.write(buffer, std::min(n, left)) >= 0;
        left -= n; // below 0: cut
    }
    // Its end reads as -1, as a fault does.
    const bool read = written && (n >= 0 || cupsFileEOF(in));
    *whole = left >= 0 && (n <= 0 || cupsFileRead(in, buffer, 1) <= 0);
    cupsFileClose(in);
    return read && out.flush();
}

} // namespace Platform
