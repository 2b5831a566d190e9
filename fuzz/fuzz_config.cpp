// The whole configuration load on any file: a configuration that reads is written, read
// again and written again, and the two written files are the same bytes.
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "fuzzsupport.h"

#include <QFile>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ResetWorld();
    const Sandbox& box = FuzzBox();
    gEnv.m_sMachineName = u"HOSTA"_s;
    gEnv.m_sConfigPath = box.Path(u"share/"_s);
    const QString input = box.Write(FreshName(u".ini"_s), Bytes(data, size));
    const QString firstName = FreshName(u".ini"_s), secondName = FreshName(u".ini"_s);
    const QString first = box.Path(firstName), second = box.Path(secondName);

    CConfigOptions read;
    if (read.ReadIniFile(input)) {
        if (!read.WriteIniFile(first)) Broken("a configuration read is written", {}, first);
        CConfigOptions again;
        if (!again.ReadIniFile(first))
            Broken("a written configuration reads", {}, QString::fromUtf8(box.Read(firstName)));
        if (!again.WriteIniFile(second)) Broken("a configuration read is written", {}, second);
        const QByteArray a = box.Read(firstName), b = box.Read(secondName);
        if (a != b)
            Broken("written, read and written again, a configuration is the same bytes",
                   QString::fromUtf8(a), QString::fromUtf8(b));
    }
    for (const QString& path : {input, first, second}) QFile::remove(path);
    return 0;
}
