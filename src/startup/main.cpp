#include "startup/bprintjobs.h"
#include "startup/commandline.h"

#include <QApplication>

int main(int argc, char** argv) {
    if (argc > 1) {
        QCoreApplication app(argc, argv); // no display needed
        return RunCommandLine(app.arguments().mid(1));
    }
    // A background program: without a display it still runs, its messages going to
    // standard error unless QORVLOG_MESSAGES names a file.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        if (qEnvironmentVariableIsEmpty("QORVLOG_MESSAGES")) qputenv("QORVLOG_MESSAGES", "-");
    }
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    return RunMain();
}
