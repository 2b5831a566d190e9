// Reports on a large SQLite job database: the totals of 200,000 jobs by one category (grouped
// by the database), and the peak memory of the program listing 1,000,000 jobs.
#include "databases.h"
#include "platform/database.h"
#include "report/breport.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace {
// n jobs over 300 days, each with a Client of 500 and a Matter of 2,000; every tenth job
// without a Matter.
QString Database(const QTemporaryDir& dir, int n) {
    const QString path = dir.path() + QStringLiteral("/jobs%1.db").arg(n);
    QString message;
    Platform::CreateJobDatabase(path, &message);
    SqlProbe probe(path);
    const QString numbers =
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
                       "%1) ")
            .arg(n);
    probe.Exec(QStringLiteral("BEGIN"));
    probe.Exec(
        QStringLiteral("INSERT INTO Master (RecordID, SubmitDT, UserName, MachineName, "
                       "PrinterName, DocumentName, TotalPages, NumCopies, PaperName, Color, "
                       "PrinterGroup) ") +
        numbers +
        QStringLiteral("SELECT i, strftime('%Y-%m-%d %H:%M:%S', '2024-01-01', (i % 300) || "
                       "' days', (i % 86400) || ' seconds'), 'user' || (i % 40), 'HOST' || (i % "
                       "90), 'Laser ' || (i % 12), 'Document number ' || i || '.pdf', 1 + i % 9, "
                       "1, 'Letter', 'Monochrome', 'PG1' FROM n"));
    probe.Exec(QStringLiteral("INSERT INTO Detail (RecordID, Category, ValueText, ValueNumber) ") +
               numbers + QStringLiteral("SELECT i, 'Client', 'Client ' || (i % 500), 0 FROM n"));
    probe.Exec(QStringLiteral("INSERT INTO Detail (RecordID, Category, ValueText, ValueNumber) ") +
               numbers +
               QStringLiteral("SELECT i, 'Matter', 'M' || (i % 2000), 0 FROM n WHERE i % 10 <> 0"));
    probe.Exec(QStringLiteral("COMMIT"));
    return path;
}

void BM_SummaryByOneCategory(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = Database(dir, int(state.range(0)));
    qint64 bytes = 0;
    for (auto _ : state) {
        Platform::JobDatabase db;
        db.Open(path, Platform::JobDatabase::Access::ReadOnly);
        QString why;
        const bool ok = WriteReport(
            db, {{}, {QStringLiteral("Client")}},
            [&](const QByteArray& b) {
                bytes += b.size();
                return true;
            },
            {}, &why);
        if (!ok) state.SkipWithError(qPrintable(why));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["bytes"] = double(bytes) / double(state.iterations());
}

// The program itself, its output thrown away; peak_rss_MB is its largest resident size.
void BM_ListingPeakMemory(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = Database(dir, int(state.range(0)));
    for (auto _ : state) {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start(QStringLiteral(QORVLOG_BIN), {QStringLiteral("--report"), path});
        p.waitForFinished(-1);
        if (p.exitCode() != 0) state.SkipWithError(p.readAllStandardError().constData());
    }
    struct rusage usage {};
    ::getrusage(RUSAGE_CHILDREN, &usage); // the largest of the waited-for children
    state.counters["peak_rss_MB"] = double(usage.ru_maxrss) / 1024.0;
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
} // namespace

BENCHMARK(BM_SummaryByOneCategory)->Arg(200000)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListingPeakMemory)
    ->Arg(1000000)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
