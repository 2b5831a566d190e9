// Reports on large job databases: the totals of 200,000 jobs by one category (grouped by the
// database) on SQLite, and the peak memory of the program listing 1,000,000 jobs, on SQLite
// (argument 0) and PostgreSQL (1, a server started for the run in a temporary folder).
#include "benchsize.h"
#include "databases.h"
#include "jobs/bdataaccess.h"
#include "platform/database.h"
#include "report/breport.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

namespace {
PostgresServer* gServer = nullptr;

// n jobs over 300 days, each with a Client of 500 and a Matter of 2,000; every tenth job
// without a Matter.
QString SqliteDatabase(const QTemporaryDir& dir, int n) {
    const QString path = dir.path() + QStringLiteral("/jobs%1.db").arg(n);
    QString message;
    CreateJobDatabase(path, &message);
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

// The same jobs on the PostgreSQL server.
QString PostgresDatabase(int n) {
    const QString uri = gServer->NewDatabase(QStringLiteral("report"));
    QString message;
    CreateJobDatabase(uri, &message);
    const QString numbers = QStringLiteral(" FROM generate_series(1, %1) i").arg(n);
    gServer->Sql(
        QStringLiteral("report"),
        {QStringLiteral("INSERT INTO Master (RecordID, SubmitDT, UserName, MachineName, "
                        "PrinterName, DocumentName, TotalPages, NumCopies, PaperName, Color, "
                        "PrinterGroup) SELECT i, timestamp '2024-01-01' + (i % 300) * interval "
                        "'1 day' + (i % 86400) * interval '1 second', 'user' || (i % 40), "
                        "'HOST' || (i % 90), 'Laser ' || (i % 12), 'Document number ' || i || "
                        "'.pdf', 1 + i % 9, 1, 'Letter', 'Monochrome', 'PG1'") +
             numbers,
         QStringLiteral("INSERT INTO Detail (RecordID, Category, ValueText, ValueNumber) SELECT "
                        "i, 'Client', 'Client ' || (i % 500), 0") +
             numbers,
         QStringLiteral("INSERT INTO Detail (RecordID, Category, ValueText, ValueNumber) SELECT "
                        "i, 'Matter', 'M' || (i % 2000), 0") +
             numbers + QStringLiteral(" WHERE i % 10 <> 0"),
         QStringLiteral("ANALYZE")});
    return uri;
}

void BM_SummaryByOneCategory(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = SqliteDatabase(dir, int(state.range(0)));
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
    const bool postgres = state.range(0) == 1;
    if (postgres && !gServer) {
        state.SkipWithError("PostgreSQL is not installed");
        return;
    }
    const int kJobs = BenchSize(1000000);
    QTemporaryDir dir;
    const QByteArray target =
        (postgres ? PostgresDatabase(kJobs) : SqliteDatabase(dir, kJobs)).toUtf8();
    long peakKb = 0;
    for (auto _ : state) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        char* argv[] = {const_cast<char*>(QORVLOG_BIN), const_cast<char*>("--report"),
                        const_cast<char*>(target.constData()), nullptr};
        pid_t pid = -1;
        int status = -1;
        struct rusage usage {};
        if (posix_spawn(&pid, QORVLOG_BIN, &actions, nullptr, argv, environ) == 0)
            ::wait4(pid, &status, 0, &usage); // this run's own figures, not the server's
        posix_spawn_file_actions_destroy(&actions);
        if (status != 0) state.SkipWithError("the report failed");
        peakKb = std::max(peakKb, usage.ru_maxrss);
    }
    state.counters["peak_rss_MB"] = double(peakKb) / 1024.0;
    state.SetItemsProcessed(state.iterations() * kJobs);
}
} // namespace

BENCHMARK(BM_SummaryByOneCategory)
    ->Arg(BenchSize(200000))
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListingPeakMemory)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    PostgresServer server;
    gServer = server.StartOrSkip();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
