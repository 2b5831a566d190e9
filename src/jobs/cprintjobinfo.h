#pragma once
// One print job: the facts the monitor reports, the category values entered for it, its
// printer group, and how it stores itself as a data file.
#include "categories/ccategoryvalue.h"
#include "common/values.h"

#include <memory>

class CPrinterGroup;
struct CJobTable;
namespace Platform {
class JobDatabase;
}

class CPrintJobInfo {
public:
    QString JobFileName;
    qint32 PrintJobID = 0;
    QString PrinterName;
    QString MachineName;
    QString UserName;
    QString DocumentName;
    CDate SubmitDT;
    QString QueueName;
    qint32 JobSizeBytes = 0;
    qint32 PagesPerCopy = 0;
    qint32 SeparatorPages = 0;
    qint32 NumCopies = 0;
    QString PaperName;
    double PaperWidth = 0;
    double PaperHeight = 0;
    qint32 TotalPages = 0;
    QString PathAndFilename;
    QString Color;
    double Reserved = 0;
    QString PrtDriverName;
    QString MediaType;
    QString Orientation;
    QString JobSummary;
    CCategoryValues CategoryValues;

    bool DisplayRequired();
    // True when master holds this job: the same user, document and submit time (letter case
    // ignored), and the same 16-bit job number; logMachine then names the machine that stored
    // it, and recordID (when given) its row. ok (when given) is false when master could not be
    // read.
    bool ExistsInDatabase(const CJobTable* master, QString& logMachine, qint64* recordID = nullptr,
                          bool* ok = nullptr);
    // Stores the job and its values in one transaction. 0 not stored, 1 stored, 2 already in
    // the database (nothing written). When stored or already there, its print data goes to the
    // data folder under the row's number, never over a file there; printData then names it.
    int Save(Platform::JobDatabase* database, const CJobTable* master, const CJobTable* detail,
             const QString& unused, QString& printData);
    bool DocumentName_Valid() const { return !DocumentName.isEmpty(); }
    bool JobSizeBytes_Valid() const { return JobSizeBytes >= 1; }
    bool MachineName_Valid() const { return !MachineName.isEmpty(); }
    bool NumCopies_Valid() const { return NumCopies >= 1; }
    bool PagesPerCopy_Valid() const { return PagesPerCopy >= 1; }
    // Names a nameless sheet of valid size "Custom".
    bool PaperName_Valid();
    bool PaperHeight_Valid() const { return PaperHeight > 0; }
    bool PaperWidth_Valid() const { return PaperWidth > 0; }
    bool PrintJobID_Valid() const { return PrintJobID >= 1; }
    bool PrinterName_Valid() const { return !PrinterName.isEmpty(); }
    bool TotalPages_Valid() const { return PagesPerCopy_Valid() && NumCopies_Valid(); }
    bool PathAndFilename_Valid() const { return !PathAndFilename.isEmpty(); }
    bool Reserved_Valid() const { return Reserved > 0; }
    bool Color_Valid() const { return !Color.isEmpty(); }
    bool PrtDriverName_Valid() const { return !PrtDriverName.isEmpty(); }
    // The group whose name occurs in the driver name (longest wins), else "Default".
    std::shared_ptr<CPrinterGroup> PrinterGroup();
    bool QueueName_Valid() const { return !QueueName.isEmpty(); }
    // Reads a data file and the job file beside it. False on a bad format version, and with the
    // error in err on a file that cannot be read, is cut short or holds no usable number or
    // date where one is needed. Callers that already hold the lines pass them.
    bool ReadFromFile(const QString& path, CError* err = nullptr,
                      const QStringList* dataLines = nullptr,
                      const QStringList* jobLines = nullptr);
    // Turns the lines added to the user's activity log since the last run into data files
    // (Job1.dat, Job2.dat, ... in the user's job folder). Uses nothing of this record.
    void CheckCorvayne();
    // Writes the data file; an empty dataFile is derived from JobFileName and returned. Runs
    // CheckCorvayne first where the activity export is on.
    bool SaveToFile(QString& dataFile);
    bool SeparatorPages_Valid() const { return SeparatorPages >= 0; }
    void SetUserValues();
    bool SubmitDT_Valid() const { return SubmitDT.Days() >= 36526.0; }
    bool UserName_Valid() const { return !UserName.isEmpty(); }

    // The date as the data file writes it: "MM/DD/YYYY h:mm:ss AM".
    QString SubmitText() const;
    // The submit time as the wall clock showed it, in a form that needs no time-zone lookups
    // (the store compares and writes it for every job).
    QDateTime SubmitWallClock() const;
    // Forgets the cached printer group, so that the next call resolves it again.
    void ClearPrinterGroup() { m_group.reset(); }

private:
    // The readers of ReadFromFile: the "QorvexMaster" line, the job file, the detail lines.
    bool ReadMasterLine(const QString& line, CError& e);
    bool ReadJobLines(const QStringList& lines, CError& e);
    bool ReadDetailLines(const QStringList& dataLines);
    // The one-line description the store keeps with the job.
    QString Summary() const;

    std::shared_ptr<CPrinterGroup> m_group;
};

// Whether the lines of a data file are the answer "cancel" (the job is not logged): the single
// line "cancel", letter case and surrounding blanks ignored. Anything else, a "QorvexMaster"
// line above all, is a stored job whatever its values say.
bool IsCancelAnswer(const QStringList& dataLines);
// The answer the print monitor gives a held job that printed without its release: the job is
// answered, but was never entered nor billed.
inline const QString kUnreleasedAnswer = QStringLiteral("unreleased");
// Whether the lines of a data file are that answer, as IsCancelAnswer tells "cancel".
bool IsUnreleasedAnswer(const QStringList& dataLines);
