// The print scheduler's notifier for qorvmond (installed as "qorvmond" in its notifier folder):
// started by the scheduler with the subscription's recipient, the events on standard input.
#include "platform/cups.h"

int main(int argc, char** argv) {
    return Platform::RunWakeNotifier(argc > 1 ? argv[1] : nullptr);
}
