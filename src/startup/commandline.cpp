#include "startup/commandline.h"

#include "config/bconfigfile.h"
#include "config/cconfigoptions.h"
#include "platform/messages.h"

#include <cstdio>

namespace {
void Print(FILE* to, const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
    std::fflush(to);
}

int Usage() {
    Print(stderr, QStringLiteral("usage: qorvlog --check-config FILE\n"
                                 "       qorvlog --write-config IN OUT"));
    return 2;
}
} // namespace

int RunCommandLine(const QStringList& args) {
    const bool check = args.size() == 2 && args[0] == QLatin1String("--check-config");
    const bool write = args.size() == 3 && args[0] == QLatin1String("--write-config");
    if (!check && !write) return Usage();
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
