// The import of 10,000 offline jobs into SQLite and PostgreSQL, beside a bare Qt SQL loop that
// inserts the same rows with one transaction per job; and the second call, which deletes the
// stored jobs' files, beside a loop that only deletes them. The first argument is 0 for SQLite,
// 1 for PostgreSQL (a server started for the run in a temporary folder); the second is 1 when
// the jobs share one submit second, 0 when each has its own.
#include "benchsize.h"
#include "common/environment.h"
#include "databases.h"
#include "jobs/bdataaccess.h"
#include "platform/database.h"
#include "platform/messages.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

namespace {
const int kJobs = BenchSize(10000);
PostgresServer* gServer = nullptr;

// The submit time of job i: all in one second, or each in its own.
QDateTime Submitted(int i, bool oneSecond) {
    return QDateTime(QDate(2024, 3, 5), QTime(9, 7, 2)).addSecs(oneSecond ? 0 : i);
}
QByteArray SubmitText(int i, bool oneSecond) {
    return QLocale::c().toString(Submitted(i, oneSecond), "MM/dd/yyyy h:mm:ss AP").toLatin1();
}

QByteArray DataFile(int i, bool oneSecond) {
    const QByteArray n = QByteArray::number(i);
    return "QorvexMaster,2," + QByteArray::number(1000 + i) +
           ",\"Laser\",\"HOSTA\",\"jsmith\",\"Doc" + n + ".pdf\",\"" + SubmitText(i, oneSecond) +
           "\",\"\\\\SRV\\Laser\",5000,2,0,1,\"Letter\",8.500000,"
           "11.000000,2,\"/home/jsmith/Doc" +
           n +
           ".pdf\",\"Monochrome\",0.000000,\"Generic Laser\",\"Bond\",\"Portrait\"\r\n"
           "QorvexDetail,2,\"Client\",\"4711\"\r\nQorvexDetail,2,\"Matter\",\"Acme " +
           n + "\"\r\nQorvexDetail,2,\"Cost\",\"0.25\"\r\n";
}

QByteArray JobFile(int i, bool oneSecond) {
    const QByteArray n = QByteArray::number(i);
    return "JOB\r\n2\r\n\\\\SRV\\Laser\r\n" + QByteArray::number(1000 + i) +
           "\r\nLaser\r\nHOSTA\r\njsmith\r\nDoc" + n + ".pdf\r\n/home/jsmith/Doc" + n + ".pdf\r\n" +
           SubmitText(i, oneSecond) +
           "\r\n5000\r\n2\r\n1\r\nLetter\r\n8.5\r\n11\r\n\r\n\r\n"
           "Monochrome\r\nGeneric Laser\r\nBond\r\nPortrait\r\n";
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

// A local folder holding 10,000 completed jobs, and an empty job database.
struct Setup {
    QTemporaryDir dir;
    QString root, folder, database;
    explicit Setup(bool postgres, bool oneSecond = true, int jobs = kJobs) {
        root = dir.path() + QStringLiteral("/users/");
        folder = root + QStringLiteral("jsmith/");
        QDir().mkpath(folder);
        for (int i = 0; i < jobs; ++i) {
            const QString base = folder + QStringLiteral("J%1.").arg(i, 5, 10, QLatin1Char('0'));
            Write(base + QStringLiteral("dat"), DataFile(i, oneSecond));
            Write(base + QStringLiteral("prt"), JobFile(i, oneSecond));
        }
        database = postgres ? gServer->NewDatabase(QStringLiteral("bench"))
                            : dir.path() + QStringLiteral("/jobs.db");
        QString message;
        CreateJobDatabase(database, &message);
        gEnv.m_sLocalUserPath = dir.path() + QLatin1Char('/');
        gEnv.m_sUserName = QStringLiteral("jsmith"); // the folder is his own: his jobs
        gEnv.m_sDataPath = dir.path() + QStringLiteral("/data/");
        gEnv.m_sMachineName = QStringLiteral("LOGHOST");
        gEnv.m_sOSVersion = QStringLiteral("Linux 6.1");
    }
};

bool Skip(benchmark::State& state) {
    if (state.range(0) == 1 && !gServer) {
        state.SkipWithError("PostgreSQL is not installed");
        return true;
    }
    return false;
}

// Times work on a fresh setup per iteration; prepare runs untimed first.
template <class Prepare, class Work>
void Timed(benchmark::State& state, bool postgres, Prepare&& prepare, Work&& work) {
    std::unique_ptr<Setup> s;
    for (auto _ : state) {
        state.PauseTiming();
        s.reset();
        s = std::make_unique<Setup>(postgres, state.range(1) == 1);
        prepare(*s);
        state.ResumeTiming();
        work(*s);
    }
    state.SetItemsProcessed(state.iterations() * kJobs);
}

void BM_ImportFirstCall(benchmark::State& state) {
    if (Skip(state)) return;
    Timed(
        state, state.range(0) == 1, [](Setup&) {},
        [&](Setup& s) {
            if (CheckLocalJobs(s.root, s.database, false).stored != kJobs)
                state.SkipWithError("not every job was stored");
        });
}

// The same rows, prepared once, inserted with one transaction per job.
void BM_BareInsertLoop(benchmark::State& state) {
    if (Skip(state)) return;
    const bool pg = state.range(0) == 1;
    std::unique_ptr<Setup> s;
    for (auto _ : state) {
        state.PauseTiming();
        s.reset();
        s = std::make_unique<Setup>(pg, state.range(1) == 1);
        const Platform::DatabaseTarget t = Platform::ParseDatabaseTarget(s->database);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(
                pg ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), QStringLiteral("bare"));
            if (pg) {
                db.setHostName(t.host);
                db.setDatabaseName(t.database);
                db.setUserName(t.user);
                db.setPort(t.port);
            } else {
                db.setDatabaseName(t.path);
            }
            db.open();
            QSqlQuery q(db);
            if (!pg) {
                q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
                q.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
            }
            QSqlQuery master(db), detail(db);
            master.prepare(QStringLiteral(
                "INSERT INTO Master (RecordDT, LogMachine, LogOperSystem, PrintJobID, PrinterName, "
                "MachineName, UserName, DocumentName, SubmitDT, QueueName, JobSizeBytes, "
                "PagesPerCopy, SeparatorPages, NumCopies, PaperName, PaperWidth, PaperHeight, "
                "TotalPages, PathAndFilename, Color, Reserved, PrtDriverName, PrinterGroup, "
                "MediaType, Orientation, JobSummary) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING RecordID"));
            detail.prepare(QStringLiteral("INSERT INTO Detail (RecordID, Category, ValueText, "
                                          "ValueNumber) VALUES (?, ?, ?, ?)"));
            const QString begin = pg ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE");
            state.ResumeTiming();
            for (int i = 0; i < kJobs; ++i) {
                q.exec(begin);
                const QString doc = QStringLiteral("Doc%1.pdf").arg(i);
                const QString submitted = Submitted(i, state.range(1) == 1)
                                              .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
                const QVariantList values{QStringLiteral("2024-03-05 09:07:02"),
                                          QStringLiteral("LOGHOST"),
                                          QStringLiteral("Linux 6.1"),
                                          1000 + i,
                                          QStringLiteral("Laser"),
                                          QStringLiteral("HOSTA"),
                                          QStringLiteral("jsmith"),
                                          doc,
                                          submitted,
                                          QStringLiteral("\\\\SRV\\Laser"),
                                          5000,
                                          2,
                                          0,
                                          1,
                                          QStringLiteral("Letter"),
                                          8.5,
                                          11.0,
                                          2,
                                          QStringLiteral("/home/jsmith/") + doc,
                                          QStringLiteral("Monochrome"),
                                          0.0,
                                          QStringLiteral("Generic Laser"),
                                          QStringLiteral(""),
                                          QStringLiteral("Bond"),
                                          QStringLiteral("Portrait"),
                                          QStringLiteral("JSMITH printed")};
                for (const QVariant& v : values) master.addBindValue(v);
                master.exec();
                master.next();
                const qint64 id = master.value(0).toLongLong();
                master.finish();
                for (const auto& [name, text, number] :
                     {std::tuple{"Client", QStringLiteral("4711"), 4711.0},
                      std::tuple{"Matter", QStringLiteral("Acme %1").arg(i), 1.79769313486231E+308},
                      std::tuple{"Cost", QStringLiteral("0.25"), 0.25}}) {
                    detail.addBindValue(id);
                    detail.addBindValue(QString::fromLatin1(name));
                    detail.addBindValue(text);
                    detail.addBindValue(number);
                    detail.exec();
                }
                q.exec(QStringLiteral("COMMIT"));
            }
            state.PauseTiming();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("bare"));
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kJobs);
}

void BM_ImportSecondCall(benchmark::State& state) {
    if (Skip(state)) return;
    Timed(
        state, state.range(0) == 1, [](Setup& s) { CheckLocalJobs(s.root, s.database, false); },
        [&](Setup& s) {
            if (CheckLocalJobs(s.root, s.database, false).duplicates != kJobs)
                state.SkipWithError("not every job was found");
        });
}

// Reads every job back and stores nothing: the share of the files in the first call.
void BM_ImportOffline(benchmark::State& state) {
    Timed(
        state, false, [](Setup&) {},
        [](Setup& s) {
            gEnv.m_bOffline = true;
            CheckLocalJobs(s.root, s.database, false);
            gEnv.m_bOffline = false;
        });
}

// 2,000 jobs against a database that fails as a whole, in real time: 0 a server that is not
// running, 1 an SQLite file another writer holds locked. The first failure ends the call.
void BM_ImportDeadDatabase(benchmark::State& state) {
    const bool locked = state.range(0) == 1;
    std::unique_ptr<Setup> s;
    for (auto _ : state) {
        state.PauseTiming();
        s.reset();
        s = std::make_unique<Setup>(false, true, BenchSize(2000));
        if (!locked) {
            s->database = QStringLiteral("postgresql://postgres@/postgres?host=") + s->dir.path() +
                          QStringLiteral("/nothing&port=5432");
        }
        QSqlDatabase holder =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
        holder.setDatabaseName(s->dir.path() + QStringLiteral("/jobs.db"));
        holder.open();
        QSqlQuery lock(holder);
        if (locked) lock.exec(QStringLiteral("BEGIN IMMEDIATE"));
        state.ResumeTiming();
        const CImportResult r = CheckLocalJobs(s->root, s->database, false);
        state.PauseTiming();
        if (!r.ended || r.failed != 1) state.SkipWithError("the import did not end at once");
        lock.exec(QStringLiteral("ROLLBACK"));
        lock = QSqlQuery();
        holder.close();
        holder = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("holder"));
        state.ResumeTiming();
    }
}

// Lists the folder and deletes each job's two files.
void BM_PlainDeleteLoop(benchmark::State& state) {
    Timed(
        state, false, [](Setup&) {},
        [](Setup& s) {
            for (const QString& n : QDir(s.folder).entryList(QDir::Files))
                QFile::remove(s.folder + n);
        });
}
} // namespace

// Each database, the jobs in one second and each in its own.
void BothWays(benchmark::internal::Benchmark* b) {
    b->ArgsProduct({{0, 1}, {1, 0}})->Iterations(3)->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_ImportFirstCall)->Apply(BothWays);
BENCHMARK(BM_BareInsertLoop)->Apply(BothWays);
BENCHMARK(BM_ImportSecondCall)->Apply(BothWays);
BENCHMARK(BM_ImportDeadDatabase)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportOffline)->Args({0, 1})->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainDeleteLoop)->Args({0, 1})->Iterations(3)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Platform::SetMessageHandler(
        [](const Platform::Message& m) { return Platform::DefaultAnswer(m); });
    PostgresServer server;
    gServer = server.StartOrSkip();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
