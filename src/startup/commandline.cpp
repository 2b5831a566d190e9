#include "startup/commandline.h"

#include "common/bcommon.h"
#include "common/environment.h"
#include "config/bconfigfile.h"
#include "config/cconfigoptions.h"
#include "jobs/bdataaccess.h"
#include "platform/database.h"
#include "platform/messages.h"
#include "startup/initenvironment.h"

#include <cstdio>

namespace {
void Print(FILE* to, const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
    std::fflush(to);
}

int Usage(const QString& why = {}) {
    if (!why.isEmpty()) Print(stderr, QStringLiteral("qorvlog: ") + why);
    Print(stderr, QStringLiteral("usage: qorvlog --check-config FILE\n"
                                 "       qorvlog --write-config IN OUT\n"
                                 "       qorvlog --create-database TARGET\n"
                                 "       qorvlog --import ROOT [DATABASE]"));
    return 2;
}

int CheckConfig(const QStringList& args, bool write) {
    // Every message as one line on standard error; nothing waits for an answer.
    int shown = 0;
    Platform::SetMessageHandler([&shown](const Platform::Message& m) {
        ++shown;
        Print(stderr, Platform::OneLine(m.text));
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
    Platform::SetMessageHandler({});
    return written ? 0 : 1;
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
                         "in place, %6 unreadable, %7 not stored%8")
              .arg(r.stored)
              .arg(r.duplicates)
              .arg(r.cancelled)
              .arg(r.copied)
              .arg(r.kept)
              .arg(r.unreadable)
              .arg(r.failed)
              .arg(gEnv.m_bOffline ? QStringLiteral(" (offline: nothing moved)") : QString()));
    if (!r.error.isEmpty()) Print(stderr, QStringLiteral("qorvlog: job database: ") + r.error);
    return r.failed > 0 || r.unreadable > 0 ? 1 : 0;
}
} // namespace

int RunCommandLine(const QStringList& args) {
    const QString mode = args.value(0);
    if (mode == QLatin1String("--check-config") && args.size() == 2)
        return CheckConfig(args, false);
    if (mode == QLatin1String("--write-config") && args.size() == 3) return CheckConfig(args, true);
    if (mode == QLatin1String("--create-database") && args.size() == 2)
        return CreateDatabase(args[1]);
    if (mode == QLatin1String("--import") && (args.size() == 2 || args.size() == 3) &&
        !args[1].isEmpty())
        return Import(args);
    return Usage();
}
