#include "jobs/bdataaccess.h"

#include "common/bcommon.h"
#include "common/environment.h"
#include "common/values.h"
#include "jobs/cprintjobinfo.h"
#include "jobs/importtrust.h"
#include "jobs/masterfields.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/messages.h"

#include <QDir>
#include <QHash>
#include <list>
#include <utility>

namespace {
constexpr qint64 kOpenRetryMs = 2000;
constexpr qint64 kTableRetryMs = 5000;
constexpr int kRetryPauseMs = 100;
constexpr qint64 kMaxFileBytes = 16 << 20; // a job's data or job file, many times over

// Tries until it works or limitMs have passed since the first attempt, pausing in between.
template <class F> bool Retry(qint64 limitMs, F&& attempt) {
    const qint64 start = Platform::NowMs();
    while (!attempt()) {
        if (Platform::NowMs() - start >= limitMs) return false;
        Platform::Pause(kRetryPauseMs);
    }
    return true;
}

void ShowCritical(const QString& text) {
    Platform::Message m;
    m.text = text;
    m.title = gEnv.m_sTitle;
    m.icon = Platform::MsgIcon::Critical;
    Platform::ShowMessage(m);
}

// Job numbers wrap at 16 bits on some spoolers: a large number carries the job number in its
// high word.
qint64 NormalizedJobNumber(qint64 id) {
    return id > 65535 ? (id / 65536) & 0xFFFF : id;
}
// Moves a job's print data next to the database as its record number + ".prn", never over a
// file there (a database made anew numbers its rows from 1 again). A failure leaves it where
// it is, and printData naming it.
void PlacePrintData(QString& printData, qint64 id) {
    if (printData.isEmpty() || !Platform::IsFile(printData)) return;
    const QString target = gEnv.m_sDataPath + QString::number(id) + QStringLiteral(".prn");
    if (!gEnv.m_sDataPath.isEmpty() && Platform::MoveFileNoReplace(printData, target)) {
        printData = target;
        // The printed document: for the importing account only.
        if (!Platform::MakePrivate(target))
            WriteLog(QStringLiteral("E"),
                     target + QStringLiteral(" left readable: ") + Platform::LastFileError().text,
                     true);
        return;
    }
    WriteLog(QStringLiteral("E"),
             printData + QStringLiteral(" not moved to ") + target + QStringLiteral(": ") +
                 (gEnv.m_sDataPath.isEmpty() ? QStringLiteral("no data folder")
                                             : Platform::LastFileError().text),
             true);
}
} // namespace

Platform::CreateResult CreateJobDatabase(const QString& target, QString* message) {
    return Platform::CreateJobDatabase(target, MasterColumns(), DetailColumns(), message);
}

bool AddMasterField(Platform::JobDatabase& database, const QString& name, int size) {
    const bool added = database.AddTextColumn(QStringLiteral("Master"), name, size);
    return database.Execute(QStringLiteral("UPDATE ") + QStringLiteral("Master") +
                            QStringLiteral(" SET ") + name + QStringLiteral(" = ''")) &&
           added;
}

std::unique_ptr<Platform::JobDatabase> OpenJobDatabase(const QString& path, QString* why) {
    if (path.isEmpty()) {
        ShowCritical(QStringLiteral("Unable to get the location of the database.") +
                     QLatin1Char('\r') +
                     QStringLiteral("You might need to repair your installation."));
        if (why) *why = QStringLiteral("no database is configured");
        return nullptr;
    }
    auto db = std::make_unique<Platform::JobDatabase>();
    if (!Retry(kOpenRetryMs, [&] { return db->Open(path); })) {
        WriteLog(QStringLiteral("E"), QStringLiteral("OpenJobDatabase: ") + db->LastError(), true);
        if (why) *why = db->LastError();
        return nullptr;
    }
    // Column names are compared without regard to case: some servers fold them.
    const QStringList columns = db->Columns(QStringLiteral("Master"));
    if (!columns.isEmpty()) {
        for (const CMasterField& c : MasterFields())
            if (c.upgrade && !columns.contains(QLatin1String(c.name), Qt::CaseInsensitive))
                AddMasterField(*db, QLatin1String(c.name), c.size);
        // Without it (a user who may not add one) the duplicate test reads every job of the
        // second.
        db->AddSeekIndex();
    }
    return db;
}

std::unique_ptr<CJobTable> OpenTableRetry(Platform::JobDatabase& database, const QString& name) {
    if (!Retry(kTableRetryMs, [&] { return !database.Columns(name).isEmpty(); })) return nullptr;
    auto table = std::make_unique<CJobTable>();
    table->Database = &database;
    table->Name = name;
    return table;
}

bool CPrintJobInfo::ExistsInDatabase(const CJobTable* master, QString& logMachine, qint64* recordID,
                                     bool* ok) {
    if (ok) *ok = true;
    if (!master || !master->Database || !DocumentName_Valid() || !SubmitDT_Valid()) return false;
    // Sought as stored: a long name is kept cut.
    const QList<Platform::MasterMatch> rows = master->Database->SeekMaster(
        MasterText("UserName", UserName), MasterText("DocumentName", DocumentName),
        SubmitWallClock(), ok);
    if (rows.isEmpty() || !PrintJobID_Valid()) return false;
    const qint64 id = NormalizedJobNumber(PrintJobID);
    for (const Platform::MasterMatch& row : rows)
        if (NormalizedJobNumber(row.printJobID) == id) {
            logMachine = row.logMachine;
            if (recordID) *recordID = row.recordID;
            return true;
        }
    return false;
}

namespace {
constexpr int kBatchJobs = 500;
constexpr qint64 kBatchMs = 250; // others wait for SQLite's file while a batch is open

// Jobs stored a batch at a time: one transaction for many jobs costs one commit instead of one
// each. Within it each job's rows are stored together or not at all; what follows a job's
// storing (its print data placed, its files deleted) waits until the batch is committed, so
// that a failure loses nothing.
class CJobBatch {
public:
    // saved: 1 stored, 2 already stored, 0 not stored; printData as after PlacePrintData.
    using Done = std::function<void(int saved, const QString& printData)>;
    CJobBatch(Platform::JobDatabase* database, const CJobTable* master, const CJobTable* detail)
        : m_db(database), m_master(master), m_ready(database && master && detail) {}
    ~CJobBatch() { End(); }
    CJobBatch(const CJobBatch&) = delete;
    CJobBatch& operator=(const CJobBatch&) = delete;

    // Stores the job in the batch, after ending a full one; done is called once its fate is
    // known. False on a failure: the job is done with 0, and so is every job of the batch when
    // the failure cost the batch.
    bool Add(CPrintJobInfo& job, const QString& printData, Done done);
    // Commits the batch, then tells its jobs; false when that failed (each then done with 0).
    bool End();
    // The last failure concerned the database (out of reach, locked, read-only): every further
    // job would fail alike.
    bool Broken() const { return !m_ready || m_broken; }
    QString Error() const { return m_error; }

private:
    struct Pending {
        Done done;
        QString printData;
        int saved;
        qint64 id;
    };
    bool Begin();
    // Inserts the job's rows: 1 stored as *id, 0 failed.
    int Store(CPrintJobInfo& job, qint64* id);
    // The job failed: noted, and the batch ended when it is lost or the database failed.
    bool Fail(const Done& done, const QString& printData, bool undone);
    void Tell(int saved);

    Platform::JobDatabase* m_db;
    const CJobTable* m_master;
    bool m_ready;
    bool m_open = false;
    bool m_broken = false;
    int m_keys = 0; // held by the open batch
    qint64 m_began = 0;
    QString m_error;
    QList<Pending> m_jobs;
};

bool CJobBatch::Begin() {
    if (m_open) return true;
    m_open = m_db->BeginBatch();
    m_began = Platform::NowMs();
    m_keys = 0;
    return m_open;
}

bool CJobBatch::Add(CPrintJobInfo& job, const QString& printData, Done done) {
    auto fail = [&](bool undone) { return Fail(done, printData, undone); };
    if (!m_ready) return fail(true);
    if (m_open && (m_jobs.size() >= kBatchJobs || Platform::NowMs() - m_began >= kBatchMs) &&
        !End())
        return fail(true);
    // Two machines storing the same job at once store it once: the job's key is held from
    // before it is sought until the batch ends.
    const QString key = job.UserName.toCaseFolded() + QChar(0x1f) +
                        job.DocumentName.toCaseFolded() + QChar(0x1f) +
                        QString::number(job.SubmitDT.Days(), 'f', 6);
    // A failure before the job's own savepoint costs the batch, which then holds no other key
    // or is lost anyway (the server gone).
    bool busy = false;
    if (!Begin()) return fail(false);
    if (!m_db->LockJob(key, m_keys == 0, &busy)) {
        // Held elsewhere: waited for once this batch holds no other key.
        if (!busy) return fail(false);
        if (!End()) return fail(true);
        if (!Begin() || !m_db->LockJob(key, true, &busy)) return fail(false);
    }
    ++m_keys;
    qint64 id = 0;
    QString logMachine;
    bool sought = false;
    int saved = 2;
    if (!job.ExistsInDatabase(m_master, logMachine, &id, &sought)) {
        if (!sought || !m_db->BeginJob()) return fail(false);
        saved = Store(job, &id);
        if (saved == 0) return fail(m_db->UndoJob());
        if (!m_db->EndJob()) return fail(false);
    }
    m_jobs << Pending{std::move(done), printData, saved, id};
    return true;
}

int CJobBatch::Store(CPrintJobInfo& job, qint64* id) {
    // A portrait tabloid sheet is charged as two letter sheets.
    if (gEnv.m_bConvert11x17 && job.PaperWidth > 10 && job.PaperWidth < 12 &&
        job.PaperHeight > 16 && job.PaperHeight < 18) {
        job.PagesPerCopy *= 2;
        job.TotalPages = job.PagesPerCopy * job.NumCopies;
        job.PaperWidth = 8.5;
        job.PaperHeight = 11;
        job.PaperName = QStringLiteral("Converted 11x17");
    }
    *id = m_db->InsertMaster(MasterRow(job));
    if (*id < 0) return 0;
    QList<Platform::Row> details;
    for (const auto& value : job.CategoryValues) details << DetailRow(*id, *value);
    return m_db->InsertDetails(details) ? 1 : 0;
}

bool CJobBatch::Fail(const Done& done, const QString& printData, bool undone) {
    if (m_ready) {
        m_error = m_db->LastError();
        m_broken = m_db->LastErrorConcernsDatabase();
    }
    done(0, printData);
    if (!undone) {
        // The batch is no longer what was stored in it: none of it is.
        if (m_open) m_db->RollbackBatch();
        m_open = false;
        Tell(0);
    } else if (m_broken) {
        End();
    }
    return false;
}

bool CJobBatch::End() {
    if (!m_open) return true;
    m_open = false;
    const bool committed = m_db->CommitBatch();
    if (!committed) {
        m_error = m_db->LastError();
        m_broken = m_db->LastErrorConcernsDatabase();
    }
    Tell(committed ? 1 : 0);
    return committed;
}

void CJobBatch::Tell(int committed) {
    const QList<Pending> jobs = std::exchange(m_jobs, {});
    for (const Pending& p : jobs) {
        QString printData = p.printData;
        if (committed) PlacePrintData(printData, p.id);
        p.done(committed ? p.saved : 0, printData);
    }
}
} // namespace

int CPrintJobInfo::Save(Platform::JobDatabase* database, const CJobTable* master,
                        const CJobTable* detail, const QString&, QString& printData) {
    int result = 0;
    CJobBatch batch(database, master, detail);
    batch.Add(*this, printData, [&](int saved, const QString& placed) {
        result = saved;
        printData = placed;
    });
    batch.End();
    return result;
}

namespace {
// The files of one user folder, listed once: the data files in listing order, and every name
// by its base (the name up to its first "."), so that a job's files are found without listing
// the folder again.
class CJobFolder {
public:
    explicit CJobFolder(QString folder) : m_folder(std::move(folder)) {
        Platform::ListMatching(m_folder + QStringLiteral("*"), Platform::ListKind::Files,
                               [&](const QString& name) {
                                   if (Platform::MatchWildcard(name, QStringLiteral("*.dat")))
                                       m_dataFiles << name;
                                   m_byBase[Base(name).toLower()] << name;
                                   return true;
                               });
    }
    static QString Base(const QString& name) {
        const qsizetype dot = name.indexOf(QLatin1Char('.'));
        return dot < 0 ? name : name.left(dot);
    }
    const QStringList& DataFiles() const { return m_dataFiles; }
    const QString& Path() const { return m_folder; }
    bool Has(const QString& name) const {
        return m_byBase.value(Base(name).toLower()).contains(name);
    }
    // The file's name as listed, letter case ignored; empty when there is none.
    QString Find(const QString& name) const {
        for (const QString& n : m_byBase.value(Base(name).toLower()))
            if (n.compare(name, Qt::CaseInsensitive) == 0) return n;
        return QString();
    }
    // Deletes the files matching prefix + pattern ("JOB1." + "p*"), ignoring failures.
    void Delete(const QString& prefix, const QString& pattern) {
        QStringList& names = m_byBase[Base(prefix).toLower()];
        for (qsizetype i = names.size() - 1; i >= 0; --i)
            if (Platform::MatchWildcard(names[i], prefix + pattern)) {
                Platform::RemoveFile(m_folder + names[i]);
                names.removeAt(i);
            }
    }

private:
    QString m_folder;
    QStringList m_dataFiles;
    QHash<QString, QStringList> m_byBase;
};

bool AnyLineHas(const QStringList& lines, const QString& text) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const QString& l) { return l.contains(text, Qt::CaseInsensitive); });
}

// The database and its two tables, opened at the first job that is to be stored, and the
// batch the jobs go into.
struct CStore {
    std::unique_ptr<Platform::JobDatabase> database;
    std::unique_ptr<CJobTable> master, detail;
    std::unique_ptr<CJobBatch> batch;
    QString error;

    void Open(const QString& dataFile) {
        if (batch) return;
        database = OpenJobDatabase(dataFile, &error);
        if (database) master = OpenTableRetry(*database, QStringLiteral("Master"));
        if (master) master->Index = QStringLiteral("UserDocSubmitDT");
        if (master) detail = OpenTableRetry(*database, QStringLiteral("Detail"));
        if (database && (!master || !detail)) error = database->LastError();
        batch = std::make_unique<CJobBatch>(database.get(), master.get(), detail.get());
    }
    ~CStore() {
        batch.reset();
        detail.reset();
        master.reset();
        database.reset();
    }
};
} // namespace

CImportResult CheckLocalJobs(const QString& rootPath, const QString& dataFile, bool,
                             const std::function<bool()>& stop) {
    CImportResult result;
    WriteTrace(QStringLiteral("starting checklocal jobs"));
    const QString root = AddBackslash(rootPath);
    CStore store;
    const CImportTrust trust(root);
    QStringList folders;
    // The monitor's copies of released jobs first: a user's own files of such a job are then
    // found stored, whatever he made of them.
    if (!root.isEmpty() && !trust.Own()) {
        const QString machines = QDir::cleanPath(root + QStringLiteral("../Machines")) + u'/';
        for (const QString& machine : Platform::Folder::Open(machines).Folders())
            if (Platform::KindOf(machines + machine + QStringLiteral("/billed")) ==
                Platform::EntryKind::Folder)
                folders << machines + machine + QStringLiteral("/billed/");
    }
    const qsizetype billedFolders = folders.size();
    if (!root.isEmpty() && Platform::IsDir(root))
        Platform::ListMatching(root + QStringLiteral("*"), Platform::ListKind::FilesAndFolders,
                               [&](const QString& name) {
                                   if (Platform::IsDir(root + name))
                                       folders << root + name + QLatin1Char('/');
                                   return true;
                               });
    // A job's files are dealt with once its batch is committed, maybe after its folder's turn.
    std::list<CJobFolder> opened;
    const auto failed = [&] {
        if (!store.batch->Error().isEmpty()) store.error = store.batch->Error();
        ShowCritical(QStringLiteral("Unable to import print job information to database!"));
        result.ended = store.batch->Broken();
    };
    int looked = 0;
    for (qsizetype f = 0; f < folders.size(); ++f) {
        if (result.ended) break;
        CJobFolder& folder = opened.emplace_back(folders[f]);
        const QString& s = folder.Path();
        const Platform::Folder dir = Platform::Folder::Open(s);
        const bool billed = f < billedFolders;
        for (const QString& listed : folder.DataFiles()) {
            if (result.ended) break;
            // At least one job per call, so that a folder that keeps changing cannot stall it.
            if (stop && looked++ > 0 && stop()) {
                result.ended = result.interrupted = true;
                break;
            }
            const QString name = TrimAtNul(listed).trimmed();
            const QString base = CJobFolder::Base(name);
            if (base.isEmpty()) continue;
            // The monitor is still writing a job whose job file says so.
            // Read through the folder opened once, with the owner of the very file read.
            QByteArray bytes;
            uint jobOwner = 0, dataOwner = 0;
            const QString jobFile = base + QStringLiteral(".prt");
            const bool jobRead =
                folder.Has(jobFile) && dir.Read(jobFile, kMaxFileBytes, &bytes, &jobOwner);
            const QStringList jobLines = jobRead ? Platform::DecodeLines(bytes) : QStringList();
            if (jobRead && AnyLineHas(jobLines, QStringLiteral("Spooling"))) continue;
            WriteTrace(QStringLiteral("stemp2 is") + base);
            const QString prefix = name.left(name.size() - 3);
            const bool dataRead = dir.Read(name, kMaxFileBytes, &bytes, &dataOwner);
            const QStringList dataLines = dataRead ? Platform::DecodeLines(bytes) : QStringList();
            const bool sameJobFile = jobRead && prefix + QStringLiteral("prt") == jobFile;
            if (billed) {
                // Never deleted unstored: the monitor copies only what it billed.
                QString refusal =
                    trust.BilledRefusal(dir.Owner(), dataRead, dataOwner, sameJobFile, jobOwner);
                if (refusal.isEmpty() &&
                    (IsCancelAnswer(dataLines) || IsUnreleasedAnswer(dataLines)))
                    refusal = QStringLiteral("a billed copy answers for no printed job");
                if (!refusal.isEmpty()) {
                    WriteLog(QStringLiteral("E"),
                             s + name + QStringLiteral(" left in place: ") + refusal, true);
                    ++result.refused;
                    continue;
                }
            }
            if (dataRead && IsCancelAnswer(dataLines)) {
                for (const char* ext : {".prt", ".dat", ".prn"})
                    Platform::RemoveFile(s + base + QLatin1String(ext));
                ++result.cancelled;
                continue;
            }
            if (dataRead && IsUnreleasedAnswer(dataLines)) {
                // Never answered nor billed: not a cancelled job, kept for the administrator.
                WriteLog(QStringLiteral("E"),
                         s + name + QStringLiteral(" printed without release: left in place"),
                         true);
                ++result.unreleased;
                continue;
            }
            CPrintJobInfo job;
            CError err;
            if (!job.ReadFromFile(s + name, &err, dataRead ? &dataLines : nullptr,
                                  sameJobFile ? &jobLines : nullptr)) {
                WriteLog(QStringLiteral("E"),
                         s + name + QStringLiteral(" left in place: ") +
                             (err.number ? err.description : QStringLiteral("bad format version")),
                         true);
                ++result.unreadable;
                continue;
            }
            const QString refusal =
                trust.Refusal(job, dataOwner, sameJobFile && !job.JobFileName.isEmpty(), jobOwner);
            if (!refusal.isEmpty()) {
                WriteLog(QStringLiteral("E"),
                         s + name + QStringLiteral(" left in place: ") + refusal, true);
                ++result.refused;
                continue;
            }
            job.JobFileName = name.left(name.lastIndexOf(QLatin1Char('.')));
            if (gEnv.m_bOffline) {
                ++result.kept;
            } else if (gEnv.m_bLogDatFilesOnly) {
                const QString target = gEnv.m_bDataHost ? AddBackslash(gEnv.m_sConfigPath) +
                                                              QStringLiteral("users/") +
                                                              gEnv.m_sUserName + QLatin1Char('/')
                                                        : gEnv.m_sDataPath;
                if (!FindFile(target + name).isEmpty()) {
                    ++result.kept;
                } else if (const QString prn = folder.Find(prefix + QStringLiteral("prn"));
                           gEnv.m_bDataHost && !prn.isEmpty() &&
                           !Platform::MoveFileNoReplace(s + prn, target + prn)) {
                    // Its print data goes first: a job whose print data stays keeps every file.
                    WriteLog(QStringLiteral("E"),
                             s + prn + QStringLiteral(" not moved to ") + target +
                                 QStringLiteral(": ") + Platform::LastFileError().text,
                             true);
                    ++result.kept;
                } else {
                    QString copy = target + name;
                    job.SaveToFile(copy);
                    if (FindFile(target + name).isEmpty()) {
                        ++result.failed;
                    } else {
                        folder.Delete(prefix, QStringLiteral("pr*"));
                        folder.Delete(prefix, QStringLiteral("da*"));
                        ++result.copied;
                    }
                }
            } else {
                store.Open(dataFile);
                const QString prn = folder.Find(job.JobFileName + QStringLiteral(".prn"));
                const QString kept = prn.isEmpty() ? QString() : s + prn;
                const auto done = [&result, &folder, kept, prefix](int saved, const QString&) {
                    if (saved == 0) {
                        ++result.failed;
                    } else if (!kept.isEmpty() && Platform::IsFile(kept)) {
                        ++result.kept; // its print data could not be placed: every file stays
                    } else if (saved == 2) {
                        folder.Delete(prefix, QStringLiteral("p*"));
                        folder.Delete(prefix, QStringLiteral("d*"));
                        ++result.duplicates;
                    } else {
                        ++result.stored;
                    }
                };
                if (!store.batch->Add(job, kept, done)) failed();
            }
            WriteTrace(QStringLiteral("stemp2 is ") + base);
        }
    }
    if (store.batch && !store.batch->End()) failed();
    result.error = store.error;
    WriteTrace(QStringLiteral("ending checklocal jobs"));
    return result;
}
