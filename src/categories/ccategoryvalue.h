#pragma once
// The value of one category for one job, computed from a predefined value and the job.
#include "common/bcommon.h"
#include "common/collection.h"

class CPreDefinedValue;
class CPrintJobInfo;

class CCategoryValue {
public:
    QString ValueName;
    bool ValueKnown = false;
    QString ValueString;
    double ValueNumeric = 0;

    // Fills all four members. False (with the error in err) on an arithmetic overflow; the
    // members then keep what was set before it.
    bool ConvertPreDefinedValue(const CPreDefinedValue& entry, CPrintJobInfo& job,
                                const QString& categoryName, CError* err = nullptr);
    void Equals(const CCategoryValue& other) { *this = other; }
    // Codes 81 to 90: a folder level of the document's path.
    void GetDocumentDirectory(qint32 code, const QString& path, bool pathValid);

private:
    void ConvertText(const QString& text, const CPrintJobInfo& job);
};

class CCategoryValues : public CCollection<CCategoryValue> {
public:
    Ptr NewCCategoryValue(const QString& key = {}, const CRef& before = {},
                          const CRef& after = {}) {
        return AddNew(key, before, after);
    }
};

// The most code-like folder name of a path ("\" and "/" both separate).
QString AutoDirectoryLevel(const QString& path, bool includeFileName);
// The code part of one folder or file name: "4711 Acme" and "Acme 4711" give "4711".
QString ExtractLevelCode(const QString& name);
