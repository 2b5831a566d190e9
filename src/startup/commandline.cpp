#include "startup/commandline.h"

#include "common/bcommon.h"
#include "common/environment.h"
#include "config/bconfigfile.h"
#include "config/cconfigoptions.h"
#include "config/setvalues.h"
#include "jobs/bdataaccess.h"
#include "platform/database.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/system.h"
#include "report/breport.h"
#include "startup/initenvironment.h"
#include "startup/session.h"

#include <QRegularExpression>
#include <cstdio>
#include <cstring>

namespace {
void Print(FILE* to, const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
    std::fflush(to);
}

const char* const kUsage =
    "usage: qorvlog                      (no arguments: runs for this user in the background)\n"
    "       qorvlog --check-config FILE\n"
    "       qorvlog --write-config IN OUT\n"
    "       qorvlog --set-values CONFIG CATEGORY FILE [--group NAME] [--dry-run]\n"
    "       qorvlog --create-database TARGET\n"
    "       qorvlog --import ROOT [DATABASE]\n"
    "       qorvlog --report [DATABASE] [--from YYYY-MM-DD] [--to YYYY-MM-DD] [--user NAME]\n"
    "               [--by CATEGORY[,CATEGORY...]] [--output FILE]\n"
    "       qorvlog --session\n"
    "       qorvlog --help | --version";

int Usage(const QString& why = {}) {
    if (!why.isEmpty()) Print(stderr, QStringLiteral("qorvlog: ") + why);
    Print(stderr, QString::fromLatin1(kUsage));
    return 2;
}

int CheckConfig(const QStringList& args, bool write) {
    // Every message as one line on standard error; nothing waits for an answer.
    int shown = 0;
    auto previous = Platform::SetMessageHandler([&shown](const Platform::Message& m) {
        ++shown;
        const QByteArray text = Platform::StandardErrorText(m.text);
        std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
        return Platform::DefaultAnswer(m);
    });
    CConfigOptions options;
    const bool ok = options.ReadIniFile(args[1]);
    // Version 0 fails without a word in the program; here the administrator is told why.
    if (!ok && shown == 0 && options.Version == 0)
        ShowEntryMessage(QStringLiteral("GENERAL"), QStringLiteral("Version"), args[1],
                         QStringLiteral(" is not valid"));
    if (ok)
        Print(stdout,
              QStringLiteral("Version %1: %2 printer groups, %3 categories, %4 predefined values")
                  .arg(options.Version)
                  .arg(options.PrinterGroups.Count())
                  .arg(options.CategoryCount())
                  .arg(options.PreDefinedValueCount()));
    const bool written = ok && (!write || options.WriteIniFile(args[2]));
    Platform::SetMessageHandler(std::move(previous));
    return written ? 0 : 1;
}

// A category's list from a billing system's CSV export, written through the configuration's
// own writer only when it changed.
int SetValues(const QStringList& args) {
    QStringList operands;
    QString group;
    bool dryRun = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--dry-run")) {
            dryRun = true;
        } else if (args[i] == QLatin1String("--group")) {
            if (++i >= args.size() || args[i].isEmpty())
                return Usage(QStringLiteral("--group needs a value"));
            group = args[i];
        } else if (args[i].startsWith(QLatin1String("--"))) {
            return Usage(QStringLiteral("unknown option ") + args[i]);
        } else {
            operands << args[i];
        }
    }
    if (operands.size() != 3 || operands.contains(QString()))
        return Usage(QStringLiteral("--set-values needs CONFIG, CATEGORY and FILE"));
    const QString config = operands[0], category = operands[1], file = operands[2];
    bool read = false;
    const QByteArray bytes = Platform::ReadHead(file, -1, &read);
    if (!read) {
        Print(stderr, QStringLiteral("qorvlog: cannot read %1: %2")
                          .arg(file, Platform::LastFileError().text));
        return 1;
    }
    QList<CValueRow> rows;
    QString why;
    if (!ParseValueRows(bytes, &rows, &why)) {
        Print(stderr, QStringLiteral("qorvlog: %1: %2").arg(file, why));
        return 1;
    }
    Platform::SetMessageHandler([](const Platform::Message& m) {
        Print(stderr, Platform::OneLine(m.text));
        return Platform::DefaultAnswer(m);
    });
    int status = 1;
    CConfigOptions options;
    CSetValuesResult result;
    if (!options.ReadIniFile(config)) {
        Print(stderr, QStringLiteral("qorvlog: %1 is not a usable configuration").arg(config));
    } else if (!SetCategoryValues(options, category, group, rows, &result, &why)) {
        Print(stderr, QStringLiteral("qorvlog: ") + why);
    } else {
        for (const QString& note : result.notes) Print(stdout, note);
        const bool write = result.changed && !dryRun;
        Print(stdout, QStringLiteral("%1 added, %2 removed, %3 kept: %4")
                          .arg(result.added)
                          .arg(result.removed)
                          .arg(result.kept)
                          .arg(!result.changed ? QStringLiteral("unchanged, not written")
                               : dryRun        ? QStringLiteral("not written (dry run)")
                                               : QStringLiteral("written")));
        status = !write || options.WriteIniFile(config) ? 0 : 1;
    }
    Platform::SetMessageHandler({});
    return status;
}

int CreateDatabase(const QString& target) {
    const Platform::DatabaseTarget t = Platform::ParseDatabaseTarget(target);
    if (t.kind == Platform::DatabaseTarget::Kind::Invalid) return Usage(t.error);
    QString message;
    const Platform::CreateResult r = CreateJobDatabase(target, &message);
    Print(r == Platform::CreateResult::Created ? stdout : stderr, message);
    return r == Platform::CreateResult::Created ? 0 : 1;
}

// One import as at start-up, for a data host's timer or an administrator. Its messages go
// where $QORVLOG_MESSAGES says, else to standard error.
int Import(const QStringList& args) {
    InitEnvironment();
    const QString database = args.size() == 3 ? args[2] : gEnv.m_sDataFile;
    const CImportResult r = CheckLocalJobs(AddBackslash(args[1]), database, false);
    Print(stdout,
          QStringLiteral("%1 stored, %2 already stored, %3 cancelled, %4 copied, %5 left "
                         "in place, %6 unreadable, %7 not stored%8%9")
              .arg(r.stored)
              .arg(r.duplicates)
              .arg(r.cancelled)
              .arg(r.copied)
              .arg(r.kept)
              .arg(r.unreadable)
              .arg(r.failed)
              .arg((r.refused ? QStringLiteral(", %1 refused").arg(r.refused) : QString()) +
                   (gEnv.m_bOffline ? QStringLiteral(" (offline: nothing moved)") : QString()))
              .arg(r.unreleased ? QStringLiteral(", %1 printed without release (left in place)")
                                      .arg(r.unreleased)
                                : QString()));
    if (!r.error.isEmpty()) Print(stderr, QStringLiteral("qorvlog: job database: ") + r.error);
    return r.failed > 0 || r.unreadable > 0 || r.refused > 0 ? 1 : 0;
}
bool WriteOut(const QByteArray& bytes) {
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size());
}

// A billing report as CSV, to standard output or written atomically to a file.
int Report(const QStringList& args) {
    QString database, output;
    CReportRequest request;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool option = arg.startsWith(QLatin1Char('-'));
        const bool known = arg == QLatin1String("--from") || arg == QLatin1String("--to") ||
                           arg == QLatin1String("--user") || arg == QLatin1String("--by") ||
                           arg == QLatin1String("--output");
        if (option && !known) return Usage(QStringLiteral("unknown option ") + arg);
        if (!option) {
            if (!database.isEmpty()) return Usage(QStringLiteral("more than one database: ") + arg);
            database = arg;
            continue;
        }
        if (i + 1 >= args.size()) return Usage(arg + QStringLiteral(" needs a value"));
        const QString value = args[++i];
        if (arg == QLatin1String("--from") || arg == QLatin1String("--to")) {
            static const QRegularExpression form(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
            const QDate date = QDate::fromString(value, QStringLiteral("yyyy-MM-dd"));
            if (!form.match(value).hasMatch() || !date.isValid())
                return Usage(QStringLiteral("%1 %2 is not a date (YYYY-MM-DD)").arg(arg, value));
            (arg == QLatin1String("--from") ? request.selection.from : request.selection.to) = date;
        } else if (arg == QLatin1String("--user")) {
            request.selection.user = value;
        } else if (arg == QLatin1String("--by")) {
            request.by = value.split(QLatin1Char(','));
            if (request.by.contains(QString()))
                return Usage(QStringLiteral("--by %1 names an empty category").arg(value));
        } else {
            output = value;
        }
    }
    if (database.isEmpty()) {
        InitEnvironment();
        database = gEnv.m_sDataFile;
        if (database.isEmpty())
            return Usage(QStringLiteral("--report: no database given and none is configured"));
    }
    const Platform::DatabaseTarget t = Platform::ParseDatabaseTarget(database);
    if (t.kind == Platform::DatabaseTarget::Kind::Invalid) return Usage(t.error);
    Platform::JobDatabase db;
    if (!db.Open(database, Platform::JobDatabase::Access::ReadOnly)) {
        Print(stderr, QStringLiteral("qorvlog: job database: ") + db.LastError());
        return 1;
    }
    std::unique_ptr<Platform::AtomicFile> file;
    if (!output.isEmpty()) file = std::make_unique<Platform::AtomicFile>(output);
    const ReportSink sink = file ? ReportSink([&](const QByteArray& b) { return file->Write(b); })
                                 : ReportSink(WriteOut);
    // Only a person watching a terminal wants to see a long report moving.
    std::unique_ptr<CReportProgressLine> line;
    if (Platform::StandardErrorIsTerminal())
        line = std::make_unique<CReportProgressLine>([](const QString& text) {
            const QByteArray bytes = text.toUtf8();
            std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
        });
    QString why;
    const ReportProgress progress =
        line ? ReportProgress([&](qint64 rows) { line->Rows(rows); }) : ReportProgress();
    const bool done = WriteReport(db, request, sink, progress, &why);
    if (line) line->Finish();
    const bool stored = done && (file ? file->Commit() : std::fflush(stdout) == 0);
    if (stored) return 0;
    if (why.isEmpty())
        Print(stderr, QStringLiteral("qorvlog: cannot write the report%1: %2")
                          .arg(file ? QStringLiteral(" to ") + output : QString(),
                               file ? Platform::LastFileError().text
                                    : QString::fromLocal8Bit(std::strerror(errno))));
    else
        Print(stderr, QStringLiteral("qorvlog: job database: ") + why);
    return 1;
}
} // namespace

int RunCommandLine(const QStringList& args) {
    const QString mode = args.value(0);
    if ((mode == QLatin1String("--help") || mode == QLatin1String("-h")) && args.size() == 1) {
        Print(stdout, QString::fromLatin1(kUsage));
        return 0;
    }
    if (mode == QLatin1String("--version") && args.size() == 1) {
        Print(stdout, QStringLiteral("qorvlog " QORVLOG_VERSION));
        return 0;
    }
    if (mode == QLatin1String("--check-config") && args.size() == 2)
        return CheckConfig(args, false);
    if (mode == QLatin1String("--write-config") && args.size() == 3) return CheckConfig(args, true);
    if (mode == QLatin1String("--set-values")) return SetValues(args);
    if (mode == QLatin1String("--create-database") && args.size() == 2)
        return CreateDatabase(args[1]);
    if (mode == QLatin1String("--import") && (args.size() == 2 || args.size() == 3) &&
        !args[1].isEmpty())
        return Import(args);
    if (mode == QLatin1String("--report")) return Report(args);
    if (mode == QLatin1String("--session") && args.size() == 1) return RunSession();
    return Usage();
}
