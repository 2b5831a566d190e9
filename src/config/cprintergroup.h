#pragma once
// Printer groups: behaviour flags, redirect address and categories per group of printers.
#include "categories/ccategory.h"

inline const QString kNoRedirect = QStringLiteral("Enter IP Address Here");

class CPrinterGroup {
public:
    QString PrinterGroupName;
    bool DisableLogging = false;
    bool LogSilent = false;
    bool PauseUntilAck = false;
    QString Redirect;
    CCategories Categories;

    void Equals(const CPrinterGroup& other);
    bool ReadIniFile(qint32 version, const QString& path, qint32 handle, const QString& section);
    bool WriteIniFile(CLineWriter& file, const QString& section) const;
};

class CPrinterGroups : public CCollection<CPrinterGroup> {
public:
    Ptr NewCPrinterGroup(const QString& key = {}, const CRef& before = {}, const CRef& after = {}) {
        return AddNew(key, before, after);
    }
    bool ReadIniFile(qint32 version, const QString& path, qint32 handle);
    bool WriteIniFile(CLineWriter& file) const;
};
