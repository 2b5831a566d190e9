#include "platform/clock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace Platform {

static ClockHooks& Hooks() {
    static ClockHooks hooks;
    return hooks;
}

void SetClockHooks(ClockHooks hooks) {
    Hooks() = std::move(hooks);
}

qint64 NowMs() {
    if (Hooks().now) return Hooks().now();
    static QElapsedTimer started = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return started.elapsed();
}

void Pause(int ms) {
    if (Hooks().pause) return Hooks().pause(ms);
    if (ms <= 0) return;
    if (!QCoreApplication::instance()) return; // nothing to run meanwhile, nothing to wait for
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace Platform
