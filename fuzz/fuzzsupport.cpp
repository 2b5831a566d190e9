#include "fuzzsupport.h"

#include "config/cconfigoptions.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>
#include <cstdlib>

const Sandbox& FuzzBox() {
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static const Sandbox box;
    static const bool quiet = [] {
        Platform::SetMessageHandler(Platform::DefaultAnswer);
        return true;
    }();
    (void)quiet;
    return box;
}

void ResetWorld() {
    const Sandbox& box = FuzzBox();
    const QStringList stray =
        QDir(box.Path(u"cwd"_s))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    if (!stray.isEmpty())
        Broken("nothing is written to the current folder", {}, stray.join(u", "_s));
    ResetEnvironment();
    gConfigOptions.reset();
}

QString FreshName(const QString& suffix) {
    static quint64 next = 0;
    return QString::number(++next) + suffix;
}

QByteArray Bytes(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

void Broken(const char* property, const QString& expected, const QString& actual) {
    std::fprintf(stderr, "\n*** Broken property: %s\n--- expected:\n%s\n--- got:\n%s\n", property,
                 expected.toUtf8().constData(), actual.toUtf8().constData());
    std::abort();
}
