// qorvmond against a private cupsd: from lp to the job file, from the ".pas" answer to the
// job's release, and the monitor's CPU time while nothing happens.
//   build/bin/bench_monitor [--benchmark_filter=Idle]
#include "benchsize.h"
#include "platform/cups.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/watcher.h"
#include "privatecups.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <memory>

using namespace Qt::StringLiterals;

namespace {
const char* const kConfig = "[GENERAL]\nVersion = 2\nDataFile = jobs.db\nDisableLogging = False\n"
                            "AllowCancel = True\nLogSilent = False\nLogAllUsers = False\n"
                            "NumPrinterGroups = 1\n\n[PG1]\nPrinterGroupName = Plotter\n"
                            "DisableLogging = False\nPauseUntilAck = True\nNumCategories = 0\n";

struct Setup {
    Sandbox box;
    std::unique_ptr<PrivateCups> cups;
    QProcess monitor;
    std::unique_ptr<Platform::CupsServer> server;
    QString pdf;
    QString ps; // two pages drawn by a program: counted and kept as it will print
    bool ok = false;
    Setup() {
        LayOutInstallation(box, kConfig);
        cups = std::make_unique<PrivateCups>(box);
        if (!cups->Running() || !cups->AddQueue(u"Plotter"_s, u"Acme DesignJet Plotter"_s)) return;
        pdf = box.Write(u"two.pdf"_s, TestData(u"two.pdf"_s));
        ps = box.Write(u"two.ps"_s, "%!PS\n/Helvetica findfont 24 scalefont setfont\n"
                                    "1 1 2 {72 720 moveto 20 string cvs show showpage} for\n");
        server = std::make_unique<Platform::CupsServer>(cups->Socket());
        cups->Prepare(monitor);
        monitor.setProcessChannelMode(QProcess::MergedChannels);
        monitor.start(QStringLiteral(QORVMOND_BIN));
        ok = monitor.waitForStarted() &&
             QTest::qWaitFor([&] { return monitor.peek(1000).contains("Started"); }, 10000);
    }
    ~Setup() {
        monitor.kill();
        monitor.waitForFinished();
    }
    QString Folder() const { return UserFolder(box) + u'/'; }
};

Setup& World() {
    static Setup setup;
    return setup;
}

// Waits in the event loop until the folder changes or ms pass.
void WaitForChange(Platform::FolderWatch& watch, int ms) {
    QEventLoop loop;
    QObject::connect(&watch, &Platform::FolderWatch::Changed, &loop, &QEventLoop::quit);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void LpToJobFile(benchmark::State& state) {
    Setup& w = World();
    if (!w.ok) return state.SkipWithError("no private cupsd");
    Platform::FolderWatch watch;
    watch.Create(w.Folder());
    for (auto _ : state) {
        const int before = QDir(w.Folder()).entryList({u"*.prt"_s}).size();
        QElapsedTimer t;
        t.start();
        w.cups->Submit(u"Plotter"_s, state.range(0) ? w.ps : w.pdf);
        while (QDir(w.Folder()).entryList({u"*.prt"_s}).size() == before && t.elapsed() < 5000)
            WaitForChange(watch, 5000);
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
    }
}
// Arg: 0 a PDF, 1 PostScript.
BENCHMARK(LpToJobFile)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

qint64 CpuTicks(qint64 pid) {
    QFile f(u"/proc/%1/stat"_s.arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 15 ? fields[13].toLongLong() + fields[14].toLongLong() : 0;
}

// CPU seconds of the monitor while another user makes 20000 files in the machine folder, the
// held jobs of LpToJobFile waiting.
void MachineFolderFlood(benchmark::State& state) {
    Setup& w = World();
    if (!w.ok) return state.SkipWithError("no private cupsd");
    const QString folder = w.box.Path(u"share/data/Machines/"_s) + Platform::ComputerName();
    for (auto _ : state) {
        const qint64 before = CpuTicks(w.monitor.processId());
        for (int i = 0; i < 20000; ++i)
            QFile(folder + u"/flood%1"_s.arg(i)).open(QIODevice::WriteOnly);
        QTest::qWait(1000);
        state.counters["cpu_s"] = double(CpuTicks(w.monitor.processId()) - before) / 100.0;
    }
}
BENCHMARK(MachineFolderFlood)->Iterations(1)->Unit(benchmark::kSecond);

void PassToRelease(benchmark::State& state) {
    Setup& w = World();
    if (!w.ok) return state.SkipWithError("no private cupsd");
    QList<Platform::CupsJob> jobs;
    for (auto _ : state) {
        state.PauseTiming();
        w.server->Jobs(&jobs);
        const auto held = std::find_if(jobs.cbegin(), jobs.cend(), [](const auto& j) {
            return j.state == Platform::CupsJobState::Held;
        });
        if (held == jobs.cend()) return state.SkipWithError("no held job: run LpToJobFile first");
        const int id = held->id;
        const QString pas = w.box.Path(u"share/data/Machines/"_s) + Platform::ComputerName() +
                            u'/' + QString::number(id).rightJustified(5, u'0') + u".pas"_s;
        // Its data file first, as the client answers: a job is released only with it (the
        // group asks for no values).
        Platform::WriteLine(w.Folder() + u"%1_%2_%3.dat"_s.arg(Platform::ComputerName())
                                             .arg(id, 5, 10, QChar(u'0'))
                                             .arg(held->created),
                            u"QorvexMaster,2"_s, true);
        QTest::qWait(50);
        state.ResumeTiming();
        QElapsedTimer t;
        t.start();
        Platform::WriteLine(pas, u"resume"_s, true); // as the client writes it
        Platform::CupsJob job;
        while (w.server->Job(id, &job) && job.state == Platform::CupsJobState::Held &&
               t.elapsed() < 5000)
            QTest::qWait(1);
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
    }
}
BENCHMARK(PassToRelease)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// CPU seconds per minute while nothing is printed; the argument is the seconds measured.
void Idle(benchmark::State& state) {
    Setup& w = World();
    if (!w.ok) return state.SkipWithError("no private cupsd");
    for (auto _ : state) {
        const qint64 before = CpuTicks(w.monitor.processId());
        QTest::qWait(int(state.range(0)) * 1000);
        const qint64 used = CpuTicks(w.monitor.processId()) - before;
        state.counters["cpu_s_per_min"] = double(used) / 100.0 * 60.0 / double(state.range(0));
    }
}
BENCHMARK(Idle)->Arg(BenchSize(60))->Iterations(1)->Unit(benchmark::kSecond);
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (!PrivateCups::Installed()) return 0;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
