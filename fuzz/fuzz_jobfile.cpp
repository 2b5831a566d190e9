// The job-file reader on any file, under a configuration whose categories compute every
// system value: the same lines with CR LF, LF or CR line ends give the same job.
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "fuzzsupport.h"
#include "intake/cmonitor.h"
#include "jobs/cprintjobinfo.h"

#include <QFile>

namespace {
// A Default group with one category per system value code and two computed texts, and a
// group picked by its driver name.
std::shared_ptr<CConfigOptions> EveryValueConfig() {
    QList<QString> entries;
    for (int code : {1,  2,  10, 11, 12, 13, 14, 15, 16, 17, 20, 21, 22, 23, 24, 25, 31, 32, 33, 34,
                     35, 36, 37, 38, 39, 40, 41, 42, 43, 81, 82, 83, 84, 85, 86, 87, 88, 89, 90})
        entries << QString::number(code);
    entries << u"0, 0.10 - ($)Cost per page"_s << u"0, 0.25 | ($)Cost per square foot"_s;
    QString ini = u"[GENERAL]\nVersion = 2\nDataFile = jobs.db\nDisableLogging = False\n"
                  "AllowCancel = True\nLogSilent = False\nLogAllUsers = False\n"
                  "NumPrinterGroups = 2\n"
                  "[PG1]\nPrinterGroupName = Default\nDisableLogging = False\n"_s;
    ini += u"NumCategories = "_s + QString::number(entries.size()) + u"\n"_s;
    for (int i = 1; i <= entries.size(); ++i)
        ini += u"[CATEGORYPG1%1]\nCategoryName = Value %1\nVerification = 1\n"
               "AckDefaultValues = False\nAllowBlankValues = True\nOnlyPreDefinedValues = False\n"
               "NumPreDefinedValues = 1\nPreDefinedValue1 = %2\nDefaultValue = 1\n"_s.arg(i)
                   .arg(entries[i - 1]);
    ini += u"[PG2]\nPrinterGroupName = Plot\nDisableLogging = False\nNumCategories = 1\n"
           "[CATEGORYPG21]\nCategoryName = Client\nVerification = 2\nAckDefaultValues = False\n"
           "AllowBlankValues = False\nOnlyPreDefinedValues = False\nNumPreDefinedValues = 1\n"
           "PreDefinedValue1 = 13\nDefaultValue = 1\n"_s;
    auto options = std::make_shared<CConfigOptions>();
    if (!options->ReadIniFile(FuzzBox().Write(u"every-value.ini"_s, ini.toUtf8())))
        Broken("the fuzz configuration reads", {}, ini);
    return options;
}

QByteArray WithLineEnds(const QByteArray& bytes, const char* eol) {
    QByteArray out = bytes;
    out.replace("\r\n", "\n").replace('\r', "\n");
    return out.replace("\n", eol);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ResetWorld();
    static const auto config = EveryValueConfig();
    gConfigOptions = config;
    const QByteArray bytes = Bytes(data, size);
    // Placeholders for unknown values, or empty values, as the configuration asks.
    gEnv.m_sDisplayImmediately = size % 2 ? u"True"_s : u"False"_s;

    const QString name = FreshName(u".prt"_s);
    CMonitor monitor;
    QString expected;
    for (const char* eol : {"\r\n", "\n", "\r"}) {
        const QString path = FuzzBox().Write(name, WithLineEnds(bytes, eol));
        bool ok = false;
        const QStringList lines = CMonitor::ReadJobLines(path, CMonitor::kJobLines, &ok);
        if (!ok || lines.size() > CMonitor::kJobLines)
            Broken("a job file reads, at most 22 lines", {}, QString::number(lines.size()));
        const QString got = JobDump(*monitor.GetNextPrintJob(path, lines));
        if (expected.isNull())
            expected = got;
        else if (got != expected)
            Broken("line ends do not change the job", expected, got);
        QFile::remove(path);
    }
    return 0;
}
