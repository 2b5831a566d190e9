// INI reader: load time and lookup rate on a generated file of 200,000 entries, beside a plain
// read of the same bytes.
#include "benchsize.h"
#include "config/bconfigfile.h"
#include "platform/ini_document.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {
const int kSections = BenchSize(2000);
constexpr int kKeys = 100; // 200,000 entries

const QString& File() {
    static QTemporaryDir dir;
    static QString path;
    if (path.isEmpty()) {
        path = dir.path() + QStringLiteral("/big.ini");
        QByteArray text;
        for (int s = 1; s <= kSections; ++s) {
            text += "[CATEGORYPG" + QByteArray::number(s) + "]\r\n";
            for (int k = 1; k <= kKeys; ++k)
                text += "PreDefinedValue" + QByteArray::number(k) + "          = 0, Client " +
                        QByteArray::number(s * 1000 + k) + " Ltd\r\n";
        }
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(text);
    }
    return path;
}

void BM_PlainRead(benchmark::State& state) {
    for (auto _ : state) {
        QFile f(File());
        f.open(QIODevice::ReadOnly);
        benchmark::DoNotOptimize(f.readAll());
    }
}

void BM_Load(benchmark::State& state) {
    QFile f(File());
    f.open(QIODevice::ReadOnly);
    const QByteArray bytes = f.readAll();
    for (auto _ : state) {
        QFile g(File()); // read + parse, as a first open does
        g.open(QIODevice::ReadOnly);
        auto doc = Platform::IniDocument::Parse(g.readAll());
        benchmark::DoNotOptimize(doc);
    }
    state.counters["entries"] = Platform::IniDocument::Parse(bytes)->EntryCount();
}

void BM_OpenUnchanged(benchmark::State& state) {
    CloseIni(OpenIni(File()));
    for (auto _ : state) CloseIni(OpenIni(File()));
}

void BM_Lookup(benchmark::State& state) {
    const qint32 h = OpenIni(File());
    std::vector<std::pair<QString, QString>> keys;
    for (int i = 0; i < 4096; ++i) {
        const int s = 1 + (i * 7919) % kSections, k = 1 + (i * 104729) % kKeys;
        keys.emplace_back(QStringLiteral("categorypg%1").arg(s),
                          QStringLiteral("predefinedvalue%1").arg(k));
    }
    size_t i = 0;
    for (auto _ : state) {
        const auto& [s, k] = keys[i++ & 4095];
        benchmark::DoNotOptimize(GetIniString(s, k, QString(), h));
    }
    state.SetItemsProcessed(state.iterations());
    CloseIni(h);
}
} // namespace

BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenUnchanged)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Lookup);
BENCHMARK_MAIN();
