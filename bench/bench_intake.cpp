// The job scan: a folder of 10,000 settled jobs and 10 new ones, beside a plain listing of
// the same folder; 2,000 jobs waiting for the user and one new one, scanned into a fresh
// collection as every pass of the loop does; and a burst of 1,000 jobs stored silently,
// beside a plain loop that reads and writes as many small files.
#include "benchsize.h"
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "intake/cmonitor.h"
#include "intake/cprintjobinfos.h"
#include "platform/messages.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {
const QByteArray kConfig = "[GENERAL]\r\nVersion = 2\r\nDataFile = jobs.db\r\nDisableLogging = "
                           "False\r\nAllowCancel = True\r\n"
                           "LogSilent = False\r\nLogAllUsers = False\r\nNumPrinterGroups = "
                           "1\r\n[PG1]\r\nPrinterGroupName = Default\r\n"
                           "DisableLogging = False\r\nNumCategories = "
                           "1\r\n[CATEGORYPG11]\r\nCategoryName = Pages\r\nVerification = 1\r\n"
                           "AckDefaultValues = F\r\nAllowBlankValues = F\r\nOnlyPreDefinedValues = "
                           "F\r\nNumPreDefinedValues = 1\r\n"
                           "PreDefinedValue1 = 25\r\nDefaultValue = 1\r\n";

// The same with a category that has no default: every job waits for the user.
QByteArray PendingConfig() {
    return QByteArray(kConfig).replace("DefaultValue = 1", "DefaultValue = 0");
}

QByteArray JobText(int id) {
    return "JOB\r\n1\r\nQueue\r\n" + QByteArray::number(id) +
           "\r\nLaser\r\nHOSTA\r\njsmith\r\nReport.pdf\r\n/home/jsmith/Report.pdf\r\n12/01/2026 "
           "10:00:00 AM\r\n"
           "5000\r\n2\r\n1\r\nLetter\r\n8.5\r\n11\r\n\r\n\r\nMonochrome\r\nGeneric "
           "Laser\r\nBond\r\nPortrait\r\n";
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

struct Folder {
    QTemporaryDir dir;
    QString users;
    int generation = 0;
    explicit Folder(int settled, const QByteArray& config = kConfig) {
        users = dir.path() + QStringLiteral("/users/jsmith");
        QDir().mkpath(users);
        for (int i = 0; i < settled; ++i) {
            const QString base = users + QStringLiteral("/S%1.").arg(i, 6, 10, QLatin1Char('0'));
            Write(base + QStringLiteral("prt"), JobText(i + 1));
            Write(base + QStringLiteral("dat"), "QorvexMaster,2\r\n");
        }
        Write(dir.path() + QStringLiteral("/Config.ini"), config);
        gConfigOptions = std::make_shared<CConfigOptions>();
        gConfigOptions->ReadIniFile(dir.path() + QStringLiteral("/Config.ini"));
        gEnv.m_sUserPath = users;
        gEnv.m_sDataPath = dir.path() + QLatin1Char('/');
        gEnv.m_sMachineName = QStringLiteral("HOSTA");
    }
    // n job files under names never used before: this process has not read them.
    void AddNew(int n) {
        ++generation;
        for (int i = 0; i < n; ++i)
            Write(users + QStringLiteral("/N%1_%2.prt").arg(generation).arg(i),
                  JobText(100000 + i));
    }
    void DropNew(int n) {
        for (int i = 0; i < n; ++i)
            for (const char* ext : {"prt", "dat"})
                QFile::remove(users + QStringLiteral("/N%1_%2.").arg(generation).arg(i) +
                              QLatin1String(ext));
    }
};

void Scan() {
    CPrintJobInfos jobs;
    CMonitor monitor;
    jobs.GetPrintJobs(monitor);
}

void BM_ScanSettledPlusTenNew(benchmark::State& state) {
    Folder folder(int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        folder.DropNew(10);
        folder.AddNew(10);
        state.ResumeTiming();
        Scan();
    }
}

void BM_ScanPendingPlusOneNew(benchmark::State& state) {
    Folder folder(0, PendingConfig());
    for (int i = 0; i < state.range(0); ++i)
        Write(folder.users + QStringLiteral("/P%1.prt").arg(i), JobText(i + 1));
    Scan(); // the program has seen them once
    for (auto _ : state) {
        state.PauseTiming();
        folder.AddNew(1);
        state.ResumeTiming();
        Scan();
    }
}

void BM_PlainListing(benchmark::State& state) {
    Folder folder(int(state.range(0)));
    folder.AddNew(10);
    for (auto _ : state) benchmark::DoNotOptimize(QDir(folder.users).entryList(QDir::Files));
}

void BM_StoreBurst1000(benchmark::State& state) {
    Folder folder(0);
    for (auto _ : state) {
        state.PauseTiming();
        folder.DropNew(1000);
        folder.AddNew(1000);
        state.ResumeTiming();
        Scan();
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}

void BM_PlainReadWrite1000(benchmark::State& state) {
    Folder folder(0);
    folder.AddNew(1000);
    for (auto _ : state) {
        for (int i = 0; i < 1000; ++i) {
            const QString base = folder.users + QStringLiteral("/N1_%1.").arg(i);
            QFile in(base + QStringLiteral("prt"));
            in.open(QIODevice::ReadOnly);
            const QByteArray bytes = in.readAll();
            Write(base + QStringLiteral("dat"), bytes.left(300));
        }
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
} // namespace

BENCHMARK(BM_ScanSettledPlusTenNew)->Arg(0)->Arg(BenchSize(10000))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanPendingPlusOneNew)->Arg(BenchSize(2000))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainListing)->Arg(0)->Arg(BenchSize(10000))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreBurst1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainReadWrite1000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    Platform::SetMessageHandler(
        [](const Platform::Message& m) { return Platform::DefaultAnswer(m); });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    gConfigOptions.reset();
    return 0;
}
