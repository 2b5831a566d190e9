// A title resolved against the desktop's list of 1,000 recent documents (once the list has
// been read), and 10,000 new lines of an activity log exported to data files.
#include "benchsize.h"
#include "common/environment.h"
#include "jobs/cprintjobinfo.h"
#include "jobs/documentpath.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {
void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(bytes);
}

void ResolveRecent(benchmark::State& state) {
    QTemporaryDir dir;
    QByteArray xbel = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xbel version=\"1.0\">\n";
    for (int i = 0; i < 1000; ++i) {
        const QByteArray n = QByteArray::number(i).rightJustified(4, '0');
        xbel += "  <bookmark href=\"file:///Projects/P" + n + "/Drawing%20" + n +
                ".dwg\" added=\"2024-03-15T09:05:00.000000Z\" "
                "modified=\"2024-03-15T09:05:00.000000Z\" "
                "visited=\"2024-03-15T09:05:00.000000Z\">\n    <info><metadata "
                "owner=\"http://freedesktop.org\"/></info>\n  </bookmark>\n";
    }
    xbel += "</xbel>\n";
    const QString list = dir.path() + QStringLiteral("/recently-used.xbel");
    Write(list, xbel);
    gEnv.m_sFileServers = QStringLiteral("ServerName");
    gEnv.m_sMachineName = QStringLiteral("HOSTA");
    gEnv.m_sLoggingMachine = QStringLiteral("LOGSRV");
    const QString title = QStringLiteral("Drawing 0500.dwg - AutoCAD");
    const QString user = QStringLiteral("jsmith");
    if (GetPathAndFilename(list, title, user) != QLatin1String("/Projects/P0500/Drawing 0500.dwg"))
        state.SkipWithError("not found");
    for (auto _ : state) benchmark::DoNotOptimize(GetPathAndFilename(list, title, user));
}
BENCHMARK(ResolveRecent)->Unit(benchmark::kMicrosecond);

void ExportActivity(benchmark::State& state) {
    const int kLines = BenchSize(10000);
    QTemporaryDir dir;
    gEnv.m_sLocalUserPath = dir.path() + QStringLiteral("/local/");
    gEnv.m_sDataPath = dir.path() + QStringLiteral("/data/");
    gEnv.m_sUserName = QStringLiteral("jsmith");
    gEnv.m_sMachineName = QStringLiteral("HOSTA");
    gEnv.m_bOffline = false;
    QDir().mkpath(gEnv.m_sLocalUserPath);
    QByteArray log;
    for (int i = 0; i < kLines; ++i)
        log += "3/15/2024,9:05:00,john smith,Plan " + QByteArray::number(i) + ".dwg,12.50\r\n";
    const QString folder = gEnv.m_sDataPath + QStringLiteral("users/jsmith");
    for (auto _ : state) {
        state.PauseTiming();
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        QFile::remove(gEnv.m_sLocalUserPath + QStringLiteral("qorvcor1.txt"));
        Write(gEnv.m_sLocalUserPath + QStringLiteral("qorvcor.txt"), log);
        state.ResumeTiming();
        CPrintJobInfo().CheckCorvayne();
    }
    if (QDir(folder).entryList(QDir::Files).size() != kLines) state.SkipWithError("not all");
    state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(ExportActivity)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
} // namespace

BENCHMARK_MAIN();
