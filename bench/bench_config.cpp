// Reading a large configuration: G printer groups of 20 categories with 200 predefined values
// each (G = 50 is about 220,000 entries), beside a plain read of the file's bytes. The sizes
// show that reading time grows linearly with the file. And a workstation's reload of one
// client list of N entries as --set-values writes them.
#include "config/cconfigoptions.h"
#include "platform/messages.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {
// The general options of a configuration of groups printer groups.
QByteArray General(int groups) {
    return "[GENERAL]\r\nVersion = 2\r\nDataFile = jobs.db\r\nDisableLogging = False\r\n"
           "AllowCancel = True\r\nLogSilent = False\r\nLogAllUsers = False\r\n"
           "NumPrinterGroups = " +
           QByteArray::number(groups) + "\r\n";
}

// A file of a temporary folder, written once.
QString Kept(const QString& name, const QByteArray& text) {
    static QTemporaryDir dir;
    const QString path = dir.path() + QLatin1Char('/') + name;
    QFile f(path);
    if (!f.exists() && f.open(QIODevice::WriteOnly)) f.write(text);
    return path;
}

QString Make(int groups) {
    QByteArray t = General(groups);
    for (int g = 1; g <= groups; ++g) {
        const QByteArray pg = "PG" + QByteArray::number(g);
        t += "\r\n[" + pg + "]\r\nPrinterGroupName = Group " + QByteArray::number(g) +
             "\r\nDisableLogging = False\r\nRedirect = 10.0.0.1\r\nNumCategories = 20\r\n";
        for (int c = 1; c <= 20; ++c) {
            t += "\r\n[CATEGORY" + pg + QByteArray::number(c) + "]\r\nCategoryName = Category " +
                 QByteArray::number(c) +
                 "\r\nVerification = 2\r\nAckDefaultValues = True\r\n"
                 "AllowBlankValues = False\r\nOnlyPreDefinedValues = True\r\nNumPreDefinedValues = "
                 "200\r\n";
            for (int v = 1; v <= 200; ++v)
                t += "PreDefinedValue" + QByteArray::number(v) + " = " +
                     (v % 10 == 0 ? QByteArray("25")
                                  : "0, Client " + QByteArray::number(v) + " Ltd") +
                     "\r\n";
            t += "DefaultValue = 1\r\n";
        }
    }
    return Kept(QStringLiteral("config%1.ini").arg(groups), t);
}

QString MakeList(int entries) {
    QByteArray t = General(1) +
                   "\r\n[PG1]\r\nPrinterGroupName = Default\r\n"
                   "DisableLogging = False\r\nNumCategories = 1\r\n\r\n[CATEGORYPG11]\r\n"
                   "CategoryName = Client\r\nVerification = 2\r\nAckDefaultValues = False\r\n"
                   "AllowBlankValues = False\r\nOnlyPreDefinedValues = True\r\n"
                   "NumPreDefinedValues = " +
                   QByteArray::number(entries + 1) + "\r\nPreDefinedValue1 = 2\r\n";
    for (int v = 1; v <= entries; ++v)
        t += "PreDefinedValue" + QByteArray::number(v + 1) + " = 0, C" +
             QByteArray::number(v).rightJustified(5, '0') + " | Client " + QByteArray::number(v) +
             " Ltd, Matter " + QByteArray::number(v * 7919 % 100000) + "\r\n";
    t += "DefaultValue = 1\r\n";
    return Kept(QStringLiteral("list%1.ini").arg(entries), t);
}

void BM_PlainRead(benchmark::State& state) {
    const QString path = Make(int(state.range(0)));
    for (auto _ : state) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        benchmark::DoNotOptimize(f.readAll());
    }
}

void ReadChanged(benchmark::State& state, const QString& path) {
    Platform::SetMessageHandler(
        [](const Platform::Message& m) { return Platform::DefaultAnswer(m); });
    int values = 0;
    for (auto _ : state) {
        // Touch the file so that every pass parses it again, as after a change.
        state.PauseTiming();
        QFile f(path);
        f.open(QIODevice::ReadWrite);
        f.setFileTime(QDateTime::currentDateTime().addSecs(state.iterations()),
                      QFileDevice::FileModificationTime);
        f.close();
        state.ResumeTiming();
        CConfigOptions o;
        if (!o.ReadIniFile(path)) state.SkipWithError("configuration not usable");
        values = o.PreDefinedValueCount();
    }
    state.counters["values"] = values;
}

void BM_ReadIniFile(benchmark::State& state) {
    ReadChanged(state, Make(int(state.range(0))));
}

void BM_ReloadList(benchmark::State& state) {
    ReadChanged(state, MakeList(int(state.range(0))));
}
} // namespace

BENCHMARK(BM_PlainRead)->Arg(12)->Arg(25)->Arg(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadIniFile)->Arg(12)->Arg(25)->Arg(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReloadList)->Arg(10000)->Arg(30000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
