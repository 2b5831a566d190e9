// The job entry window: opening it on 1,000 pending jobs, a rescan that finds 10 new jobs
// beside the bare scan, and one key press of type-ahead in a list of 10,000 entries; opening
// it on a client list of N entries in the configuration (as --set-values writes them) and a
// key press in 30,000 of them.
#include "benchsize.h"
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "dialog/fprintjobs.h"
#include "intake/cmonitor.h"
#include "intake/cprintjobinfos.h"
#include "platform/clock.h"
#include "platform/messages.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QListView>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <benchmark/benchmark.h>

namespace {
QByteArray Config(const QString& listFile) {
    return "[GENERAL]\r\nVersion = 2\r\nDataFile = jobs.db\r\nDisableLogging = False\r\n"
           "AllowCancel = True\r\nLogSilent = False\r\nLogAllUsers = False\r\n"
           "NumPrinterGroups = 2\r\n[PG1]\r\nPrinterGroupName = Default\r\n"
           "DisableLogging = False\r\nNumCategories = 2\r\n"
           "[CATEGORYPG11]\r\nCategoryName = Client\r\nVerification = 2\r\n"
           "AckDefaultValues = F\r\nAllowBlankValues = F\r\nOnlyPreDefinedValues = T\r\n"
           "NumPreDefinedValues = 2\r\nPreDefinedValue1 = 0, " +
           listFile.toUtf8() +
           "\r\nPreDefinedValue2 = 2\r\nDefaultValue = 2\r\n"
           "[CATEGORYPG12]\r\nCategoryName = Pages\r\nVerification = 2\r\n"
           "AckDefaultValues = F\r\nAllowBlankValues = F\r\nOnlyPreDefinedValues = F\r\n"
           "NumPreDefinedValues = 1\r\nPreDefinedValue1 = 25\r\nDefaultValue = 1\r\n"
           "[PG2]\r\nPrinterGroupName = Silent\r\nDisableLogging = False\r\nLogSilent = True\r\n"
           "NumCategories = 1\r\n[CATEGORYPG21]\r\nCategoryName = Pages\r\nVerification = 1\r\n"
           "AckDefaultValues = F\r\nAllowBlankValues = F\r\nOnlyPreDefinedValues = F\r\n"
           "NumPreDefinedValues = 1\r\nPreDefinedValue1 = 25\r\nDefaultValue = 1\r\n";
}

// The first configuration with the client list written into it, N entries.
QByteArray InlineConfig(int entries) {
    QByteArray list = "NumPreDefinedValues = " + QByteArray::number(entries + 1) + "\r\n";
    for (int i = 1; i <= entries; ++i)
        list += "PreDefinedValue" + QByteArray::number(i) + " = 0, C" +
                QByteArray::number(i).rightJustified(5, '0') + " | Client " +
                QByteArray::number(i) + " Project " + QByteArray::number(i * 7919 % 100000) +
                "\r\n";
    list += "PreDefinedValue" + QByteArray::number(entries + 1) +
            " = 2\r\nDefaultValue = " + QByteArray::number(entries + 1) + "\r\n";
    QByteArray config = Config(QString());
    const qsizetype from = config.indexOf("NumPreDefinedValues = 2");
    const qsizetype to = config.indexOf("[CATEGORYPG12]");
    return config.replace(from, to - from, list);
}

QByteArray JobText(int id, const QByteArray& driver = "Generic Laser") {
    return "JOB\r\n1\r\nQueue\r\n" + QByteArray::number(id) +
           "\r\nLaser\r\nHOSTA\r\njsmith\r\nReport " + QByteArray::number(id) +
           ".pdf\r\n/home/jsmith/Report.pdf\r\n12/01/2026 10:00:00 AM\r\n"
           "5000\r\n2\r\n1\r\nLetter\r\n8.5\r\n11\r\n\r\n\r\nMonochrome\r\n" +
           driver + "\r\nBond\r\nPortrait\r\n";
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

// A job folder with pending jobs and a client list of the given length; time stands still
// unless a benchmark moves it.
struct Installation {
    QTemporaryDir dir;
    QString users;
    int next = 1;
    qint64 now = 1000000;

    // inlineList: the clients written into the configuration, else in a list file it names.
    Installation(int pending, int clients, bool inlineList = false) {
        users = dir.path() + QStringLiteral("/users/jsmith");
        QDir().mkpath(users);
        qputenv("XDG_CONFIG_HOME", (dir.path() + QStringLiteral("/config")).toUtf8());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           dir.path() + QStringLiteral("/config"));
        QByteArray list;
        for (int i = 1; i <= clients; ++i)
            list += "Client " + QByteArray::number(i).rightJustified(5, '0') + " Project " +
                    QByteArray::number(i * 7919 % 100000) + "\r\n";
        Write(dir.path() + QStringLiteral("/clients.txt"), list);
        Write(dir.path() + QStringLiteral("/Config.ini"),
              inlineList ? InlineConfig(clients)
                         : Config(dir.path() + QStringLiteral("/clients.txt")));
        gConfigOptions = std::make_shared<CConfigOptions>();
        gConfigOptions->ReadIniFile(dir.path() + QStringLiteral("/Config.ini"));
        gEnv.m_sUserPath = users;
        gEnv.m_sDataPath = dir.path() + QLatin1Char('/');
        gEnv.m_sMachineName = QStringLiteral("HOSTA");
        AddJobs(pending);
        Platform::SetClockHooks({[this] { return now; }, [this](int ms) { now += ms; }});
    }
    ~Installation() { Platform::SetClockHooks({}); }
    void AddJobs(int n, const QByteArray& driver = "Generic Laser") {
        for (int i = 0; i < n; ++i, ++next)
            Write(users + QStringLiteral("/J%1.prt").arg(next, 6, 10, QLatin1Char('0')),
                  JobText(next, driver));
    }
    int DataFiles() const {
        return int(QDir(users).entryList({QStringLiteral("*.dat")}, QDir::Files).size());
    }
};

void OpenWindow(benchmark::State& state) {
    for (auto _ : state) {
        auto window = std::make_unique<FPrintJobs>();
        benchmark::DoNotOptimize(window->OpenPrintJobs());
        state.PauseTiming();
        window.reset();
        state.ResumeTiming();
    }
}

void BM_OpenWith1000PendingJobs(benchmark::State& state) {
    Installation inst(BenchSize(1000), 10);
    OpenWindow(state);
}

void BM_RescanFindsTenNew(benchmark::State& state) {
    Installation inst(BenchSize(1000), 10);
    FPrintJobs window;
    window.OpenPrintJobs();
    window.tmrCheckJobs_Timer(); // the first scan of the open window
    for (auto _ : state) {
        state.PauseTiming();
        inst.AddJobs(10);
        inst.now += 2000;
        state.ResumeTiming();
        window.tmrCheckJobs_Timer();
    }
}

void BM_ScanFindsTenNew(benchmark::State& state) {
    Installation inst(BenchSize(1000), 10);
    CPrintJobInfos jobs;
    CMonitor monitor;
    jobs.GetPrintJobs(monitor);
    for (auto _ : state) {
        state.PauseTiming();
        inst.AddJobs(10);
        state.ResumeTiming();
        jobs.GetPrintJobs(monitor);
    }
}

// 200 jobs that need no input printed at once while the window is open on five that do, in
// real time with the event loop running: until every one has its data file.
void BM_SilentBurstWithWindowOpen(benchmark::State& state) {
    const int kBurst = BenchSize(200);
    for (auto _ : state) {
        state.PauseTiming();
        Installation inst(5, 10);
        Platform::SetClockHooks({});
        FPrintJobs window;
        window.OpenPrintJobs();
        QEventLoop settle; // the window's first scan
        QTimer::singleShot(300, &settle, &QEventLoop::quit);
        settle.exec();
        state.ResumeTiming();
        inst.AddJobs(kBurst, "Silent Laser");
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (inst.DataFiles() >= kBurst) loop.quit();
        });
        poll.start(10);
        QTimer::singleShot(180000, &loop, &QEventLoop::quit);
        loop.exec();
        state.PauseTiming();
        state.counters["stored"] = inst.DataFiles();
        state.counters["shown"] = window.findChild<QTreeWidget*>()->topLevelItemCount();
        state.ResumeTiming();
    }
}

void BM_OpenWithList(benchmark::State& state) {
    Installation inst(1, BenchSize(int(state.range(0))), true);
    OpenWindow(state);
}

void TypeAheadKey(benchmark::State& state, int entries, bool inlineList) {
    Installation inst(1, BenchSize(entries), inlineList);
    FPrintJobs window;
    window.OpenPrintJobs();
    auto* field = window.findChild<QComboBox*>(QStringLiteral("cboCategoryDropdownCombo1"));
    auto* popup = window.findChild<QListView*>(QStringLiteral("lstTypeAhead"));
    field->setFocus();
    bool one = true;
    for (auto _ : state) {
        state.PauseTiming();
        field->clearEditText();
        one = !one; // another digit each time: every press filters the whole list
        state.ResumeTiming();
        QTest::keyClick(field, one ? Qt::Key_1 : Qt::Key_2); // each matches about half
        popup->repaint();
    }
    state.counters["matches"] = popup->model()->rowCount();
}

void BM_TypeAheadKeyIn10000(benchmark::State& state) {
    TypeAheadKey(state, 10000, false);
}

void BM_TypeAheadKeyIn30000(benchmark::State& state) {
    TypeAheadKey(state, 30000, true);
}
} // namespace

BENCHMARK(BM_OpenWith1000PendingJobs)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_RescanFindsTenNew)->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK(BM_ScanFindsTenNew)->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK(BM_TypeAheadKeyIn10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenWithList)->Arg(10000)->Arg(30000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_TypeAheadKeyIn30000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SilentBurstWithWindowOpen)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Platform::SetMessageHandler(
        [](const Platform::Message& m) { return Platform::DefaultAnswer(m); });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    gConfigOptions.reset();
    return 0;
}
