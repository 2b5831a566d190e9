// qorvmond: the print monitor. Run by the print server's administrator as a service.
#include "config/cconfigoptions.h"
#include "monitor/cqorvmonitor.h"
#include "platform/cups.h"
#include "platform/process.h"

#include <QCoreApplication>

#include <cstdio>

namespace {
void Print(FILE* to, const QString& text) {
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
    std::fflush(to);
}

const char* const kUsage = "usage: qorvmond [--printers QUEUE,QUEUE...]\n"
                           "       qorvmond --status\n"
                           "       qorvmond --help | --version";

int Usage() {
    Print(stderr, QString::fromLatin1(kUsage));
    return 2;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 1 &&
        (args[0] == QLatin1String("--help") || args[0] == QLatin1String("-h"))) {
        Print(stdout, QString::fromLatin1(kUsage));
        return 0;
    }
    if (args == QStringList{QStringLiteral("--version")}) {
        Print(stdout, QStringLiteral("qorvmond " QORVLOG_VERSION));
        return 0;
    }
    QStringList printers;
    bool status = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--status")) {
            status = true;
        } else if (args[i] == QLatin1String("--printers") && i + 1 < args.size()) {
            printers = args[++i].split(QLatin1Char(','), Qt::SkipEmptyParts);
            if (printers.isEmpty()) return Usage();
        } else {
            return Usage();
        }
    }
    // No message box: the configuration readers' messages go to standard error.
    if (qEnvironmentVariableIsEmpty("QORVLOG_MESSAGES")) qputenv("QORVLOG_MESSAGES", "-");
    Platform::CupsServer cups;
    CQorvMonitor monitor(cups, printers);
    if (status) {
        const QStringList lines = monitor.Status();
        for (const QString& line : lines) Print(stdout, line);
        if (!monitor.PolicyProblem().isEmpty()) Print(stderr, monitor.PolicyProblem());
        return lines.isEmpty() ? 1 : 0;
    }
    QString why;
    switch (Platform::AcquireInstanceLock(QStringLiteral("qorvmond"), GetLocalPath(), &why)) {
    case Platform::InstanceLock::Acquired:
        break;
    case Platform::InstanceLock::HeldByAnother:
        Print(stderr, QStringLiteral("qorvmond: another instance runs"));
        return 1;
    case Platform::InstanceLock::Unavailable:
        Print(stderr, QStringLiteral("qorvmond: ") + why);
        return 1;
    }
    if (!monitor.Start()) return 1;
    return QCoreApplication::exec();
}
