#include "startup/commandline.h"

#include <QApplication>

int main(int argc, char** argv) {
    if (argc > 1) {
        QCoreApplication app(argc, argv); // no display needed
        return RunCommandLine(app.arguments().mid(1));
    }
    QApplication app(argc, argv);
    return 0;
}
