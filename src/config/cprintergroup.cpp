#include "config/cprintergroup.h"

#include "config/bconfigfile.h"

void CPrinterGroup::Equals(const CPrinterGroup& other) {
    *this = other; // plain members; the owned collection is then copied deeply
    Categories.Equals(other.Categories);
}

bool CPrinterGroup::ReadIniFile(qint32 version, const QString& path, qint32 handle,
                                const QString& section) {
    const CIniSource src{path, handle};
    if (!ReadMandatory(src, section, QStringLiteral("PrinterGroupName"), PrinterGroupName))
        return false;
    Redirect = kNoRedirect;
    ReadOptional(src, section, QStringLiteral("Redirect"), Redirect, false);
    if (Redirect.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0 ||
        Redirect.compare(QLatin1String("FALSE"), Qt::CaseInsensitive) == 0)
        Redirect = kNoRedirect;
    LogSilent = false;
    PauseUntilAck = false;
    ReadLenientBool(src, section, QStringLiteral("LogSilent"), LogSilent);
    ReadLenientBool(src, section, QStringLiteral("PauseUntilAck"), PauseUntilAck);
    if (!ReadStrictBool(src, section, QStringLiteral("DisableLogging"), DisableLogging,
                        Platform::MsgIcon::Critical))
        return false;
    return Categories.ReadIniFile(version, path, handle, section, section);
}

bool CPrinterGroup::WriteIniFile(CLineWriter& file, const QString& section) const {
    return WriteIniFileSection(file, QString()) && WriteIniFileSection(file, section) &&
           WriteIniFileValue(file, QStringLiteral("PrinterGroupName"), PrinterGroupName) &&
           WriteIniFileValue(file, QStringLiteral("DisableLogging"), BoolText(DisableLogging)) &&
           WriteIniFileValue(file, QStringLiteral("LogSilent"), BoolText(LogSilent)) &&
           WriteIniFileValue(file, QStringLiteral("PauseUntilAck"), BoolText(PauseUntilAck)) &&
           WriteIniFileValue(file, QStringLiteral("Redirect"), Redirect) &&
           Categories.WriteIniFile(file, section);
}

bool CPrinterGroups::ReadIniFile(qint32 version, const QString& path, qint32 handle) {
    if (version != 2) {
        auto group = NewCPrinterGroup();
        group->PrinterGroupName = QStringLiteral("Default");
        group->Redirect = kNoRedirect;
        return group->Categories.ReadIniFile(version, path, handle, QStringLiteral("GENERAL"),
                                             QString());
    }
    return ReadCounted({path, handle}, QStringLiteral("GENERAL"),
                       QStringLiteral("NumPrinterGroups"), [&](qint32 n) {
                           return NewCPrinterGroup()->ReadIniFile(
                               version, path, handle, QStringLiteral("PG") + QString::number(n));
                       });
}

bool CPrinterGroups::WriteIniFile(CLineWriter& file) const {
    return WriteCounted(file, QStringLiteral("NumPrinterGroups"), *this,
                        [&](const CPrinterGroup& g, int n) {
                            return g.WriteIniFile(file, QStringLiteral("PG") + QString::number(n));
                        });
}
