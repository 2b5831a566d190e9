#include "jobs/cprintjobinfo.h"

#include "categories/systemcode.h"
#include "common/bcommon.h"
#include "common/environment.h"
#include "common/linewriter.h"
#include "config/cconfigoptions.h"
#include "jobs/masterfields.h"

#include <QLocale>
#include <cmath>

bool CPrintJobInfo::PaperName_Valid() {
    if (PaperWidth_Valid() && PaperHeight_Valid() && PaperName.isEmpty()) {
        PaperName = QStringLiteral("Custom");
        return true;
    }
    return PaperName.size() >= 4;
}

std::shared_ptr<CPrinterGroup> CPrintJobInfo::PrinterGroup() {
    if (m_group || !gConfigOptions) return m_group;
    const QString driver = PrtDriverName.toUpper();
    std::shared_ptr<CPrinterGroup> best;
    for (const auto& g : gConfigOptions->PrinterGroups) {
        if (g->PrinterGroupName == QLatin1String("Default") || !PrtDriverName_Valid()) continue;
        if (driver.contains(g->PrinterGroupName.toUpper()) &&
            (!best || g->PrinterGroupName.size() > best->PrinterGroupName.size()))
            best = g;
    }
    if (!best)
        for (const auto& g : gConfigOptions->PrinterGroups)
            if (g->PrinterGroupName == QLatin1String("Default")) {
                best = g;
                break;
            }
    m_group = best;
    return m_group;
}

bool CPrintJobInfo::DisplayRequired() {
    const auto group = PrinterGroup();
    if (!group) return false;
    int i = 0;
    for (const auto& category : group->Categories) {
        const auto value = CategoryValues.Item(++i);
        if (category->DisplayRequired(value && value->ValueKnown)) return true;
    }
    return false;
}

void CPrintJobInfo::SetUserValues() {
    const auto group = PrinterGroup();
    if (!group) return;
    int i = 0;
    for (const auto& category : group->Categories) {
        const auto value = CategoryValues.Item(++i);
        if (!value) return;
        CPreDefinedValue none;
        none.IsSystemEntry = true;
        none.SystemCode = qint32(ESystemCode::None);
        const auto chosen = category->DefaultValue != 0
                                ? category->PreDefinedValues.Item(category->DefaultValue)
                                : nullptr;
        CError err;
        if (!value->ConvertPreDefinedValue(chosen ? *chosen : none, *this, category->CategoryName,
                                           &err)) {
            ReportUnexpectedError(QStringLiteral("CPrintJobInfo::SetUserValues"), err);
            return;
        }
    }
}

QString CPrintJobInfo::SubmitText() const {
    return SubmitDT.Text();
}

QDateTime CPrintJobInfo::SubmitWallClock() const {
    const double whole = std::floor(SubmitDT.Days());
    const qint64 ms = qint64(std::llround((SubmitDT.Days() - whole) * 86400000.0));
    return QDateTime(QDate(1899, 12, 30).addDays(qint64(whole)), QTime(0, 0), Qt::UTC).addMSecs(ms);
}

bool CPrintJobInfo::SaveToFile(QString& dataFile) {
    WriteTrace(QStringLiteral("starting savetofile"));
    if (gEnv.m_bCorvayneExport) CheckCorvayne();
    if (JobSizeBytes == 0) return true;
    const QChar c = QLatin1Char(',');
    const QString master = QStringLiteral("QorvexMaster,2,") + DataFileFields(*this);
    const bool derive = dataFile.isEmpty();
    const auto group = derive ? PrinterGroup() : nullptr;
    if (derive) dataFile = JobFileName.left(JobFileName.size() - 4) + QStringLiteral(".dat");
    CLineWriter file(dataFile);
    WriteTrace(QStringLiteral("starting to write to file"));
    file.WriteLine(master);
    int i = 0;
    for (const auto& value : CategoryValues) {
        ++i;
        QString name = value->ValueName;
        if (derive) {
            const auto category = group ? group->Categories.Item(i) : nullptr;
            name = category ? category->CategoryName : QString();
        }
        const QString head = QStringLiteral("QorvexDetail,2,") + QuotedField(name) + c;
        QString line = head + QuotedField(value->ValueString);
        // A value shown as code " | " description is stored as its code; a " | " in the
        // category's name stays, or the line would end inside the name.
        const qsizetype bar = line.indexOf(QLatin1String(" | "), head.size());
        if (bar >= 0 && !line.contains(QLatin1String("Cost"), Qt::CaseInsensitive))
            line = line.left(bar).trimmed();
        file.WriteLine(line);
    }
    const bool ok = file.Commit();
    WriteTrace(QStringLiteral("starting corvayne"));
    return ok;
}
