#include "startup/session.h"

#include "platform/clock.h"
#include "platform/desktop.h"
#include "platform/process.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>

namespace {
// The first pause before a restart (QORVLOG_RESTART_MS changes it, for tests), doubled at each
// end that follows soon, up to the last; a client that ran this long starts the count afresh.
constexpr int kFirstPauseMs = 10 * 1000;
constexpr int kLastPauseMs = 5 * 60 * 1000;
constexpr qint64 kSteadyMs = 10 * 60 * 1000;
} // namespace

int RunSession() {
    const QString client = QCoreApplication::applicationFilePath();
    bool set = false;
    const int first = qEnvironmentVariableIntValue("QORVLOG_RESTART_MS", &set);
    const int firstPause = set && first > 0 ? first : kFirstPauseMs;
    int pause = firstPause;
    for (;;) {
        const qint64 started = Platform::NowMs();
        const int status = Platform::RunProgram(client);
        if (status == 0) return 0;
        if (!Platform::DisplayReachable()) return status;
        if (Platform::NowMs() - started >= kSteadyMs) pause = firstPause;
        const QByteArray line =
            QStringLiteral("qorvlog: ended abnormally (%1), started again in %2 s\n")
                .arg(status)
                .arg(pause / 1000.0)
                .toUtf8();
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        Platform::Pause(pause);
        pause = std::min(pause * 2, kLastPauseMs);
    }
}
