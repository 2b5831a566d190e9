#pragma once
// The system value codes a predefined value may name: one enumeration, one table.
#include <QtGlobal>

enum class ESystemCode : qint32 {
    None = 1,
    LastUsed = 2,
    PrinterName = 10,
    MachineName = 11,
    UserName = 12,
    DocumentName = 13,
    SubmitDT = 14,
    QueueName = 15,
    DriverName = 16,
    PrinterGroup = 17,
    JobSizeBytes = 20,
    PagesPerCopy = 21,
    SeparatorPages = 22,
    RecordID = 23,
    NumCopies = 24,
    TotalPages = 25,
    PaperName = 31,
    PaperWidth = 32,
    PaperHeight = 33,
    PaperAreaPerSheet = 34,
    PaperSize = 35,
    PaperNameAndSize = 36,
    TotalPaperArea = 37,
    MediaType = 38,
    Orientation = 39,
    JobSummary = 40,
    PathAndFilename = 41,
    Color = 42,
    Reserved = 43,
    DirectoryLevel1 = 81, // levels 1 to 8 are 81 to 88
    DirectoryLevel8 = 88,
    AutoDirectoryLevelWithFile = 89,
    AutoDirectoryLevel = 90,
};

struct SSystemCodeInfo {
    ESystemCode Code;
    const char* Description;
    bool Calculated; // worked out from several facts or from outside the job; else a copied fact
};

// The entry of a code, nullptr for a number that is not one.
const SSystemCodeInfo* FindSystemCode(qint32 code);

// The document folder level (1 to 8) a code names, 0 for any other code.
inline int DirectoryLevel(qint32 code) {
    return code >= qint32(ESystemCode::DirectoryLevel1) &&
                   code <= qint32(ESystemCode::DirectoryLevel8)
               ? code - qint32(ESystemCode::DirectoryLevel1) + 1
               : 0;
}
