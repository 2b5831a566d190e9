// Save and Cancel of the job entry window: the checks of the entry rows, storing the selected
// jobs with the entered values, and the answers to the monitor.
#include "categories/categoryrules.h"
#include "categories/ccategory.h"
#include "categories/ccategoryvalue.h"
#include "categories/cpredefinedvalue.h"
#include "common/bcommon.h"
#include "common/environment.h"
#include "common/values.h"
#include "config/cprintergroup.h"
#include "dialog/fprintjobs.h"
#include "dialog/warn.h"
#include "intake/cprintjobinfos.h"
#include "platform/clock.h"
#include "platform/messages.h"

#include <QComboBox>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QTreeWidget>

namespace {
constexpr QChar kCR = QLatin1Char('\r');
constexpr int kLastUsedLength = 254;

void Trace(const char* text) {
    WriteLog(QStringLiteral("I"), QString::fromLatin1(text));
}

QString Quoted(const QString& name) {
    return QLatin1Char('\'') + name + QLatin1Char('\'');
}
} // namespace

void FPrintJobs::cmdSave_Click() {
    const QScopedValueRollback busy(m_busy, m_busy + 1);
    if (!ValidateRows()) return;
    TakeOutOfUse();
    mbSavePending = true;
}

bool FPrintJobs::ValidateRows() {
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const CEntryRow& row = m_rows[i];
        const CCategory& k = *row.category;
        const QString& name = k.CategoryName;
        if (k.AckDefaultValues && !mabAcknowledged[i]) {
            Warn(
                Quoted(name) + QStringLiteral(" must be acknowledged.") + kCR + kCR +
                QStringLiteral("You can acknowledge it by clicking on the value to the right of ") +
                Quoted(name) + QLatin1Char('.'));
            return false;
        }
        if (name == QLatin1String("Quality")) CoupleQualityCost(int(i) + 1);
        const QString text = row.combo->currentText();
        QString listed = k.MaskUserInput && row.masked ? row.masked->text() : text;
        QStringList list;
        for (int n = 0; n < row.combo->count(); ++n) list << row.combo->itemText(n);
        if (const QString broken = BrokenCategoryRule(k, text, listed, list); !broken.isEmpty()) {
            Warn(broken);
            return false;
        }
    }
    return true;
}

void FPrintJobs::SavePrintJobs() {
    Trace("Starting Saveprintjobs");
    for (const CEntryRow& row : m_rows)
        SaveSettingText(QStringLiteral("LastUsed"), row.category->CategoryName,
                        row.combo->currentText().trimmed().left(kLastUsedLength));
    for (const QTreeWidgetItem* item : SelectedRows()) {
        Trace("starting litPrintJob");
        const auto job = JobOfRow(item);
        if (!job) continue;
        const bool offline = job->DocumentName == QLatin1String("Offline Job");
        for (const CEntryRow& row : m_rows) {
            Trace("starting mlUserValues");
            const auto value = job->CategoryValues.Item(row.position);
            if (!value) continue;
            value->ValueString = row.combo->currentText();
            if (offline) ApplyOfflineValue(*job, *value);
            value->ValueString = value->ValueString.trimmed();
            value->ValueKnown = true;
        }
        StoreJob(*job);
        Trace("starting mclsPrintJobs.Remove");
        mclsPrintJobs->Remove(job->JobFileName);
        m_entered.remove(job->JobFileName);
    }
    Trace("starting DisplayPrintJobs");
    m_shownFor.clear(); // the rows answered for the jobs just stored
    DisplayPrintJobs();
    PutBackIntoUse();
}

bool FPrintJobs::StoreJob(CPrintJobInfo& job) {
    // The data file, the redirect line and the release are written together or the job stays
    // pending.
    const CJobAnswer answer = StoredJobAnswer(job);
    // Retry waits first: a fault of the machine is not mended at once, and where nobody reads
    // the question its default answer is Retry.
    int pause = 0;
    for (;;) {
        Trace("starting clsPrintJob.SaveToFile");
        if (SettleJob(job, answer)) break;
        Trace("set as not save to file");
        Platform::Message m;
        m.text = QStringLiteral("Unable to save print job data.") + kCR +
                 QStringLiteral("Choosing Cancel will cause data to be lost for selected print "
                                "jobs.");
        m.title = gEnv.m_sAppTitle;
        m.icon = Platform::MsgIcon::Exclamation;
        m.buttons = Platform::MsgButtons::RetryCancel;
        if (Platform::ShowMessage(m) != Platform::MsgAnswer::Retry) return false;
        pause = Platform::NextRetryPause(pause);
        Platform::Pause(pause);
    }
    Trace("about to set iresult");
    return true;
}

void FPrintJobs::ApplyOfflineValue(CPrintJobInfo& job, CCategoryValue& value) const {
    const QString& name = value.ValueName;
    const QString text = value.ValueString;
    double number = 0;
    if (name == QLatin1String("Sheet Size")) {
        job.PaperName = text;
        const qsizetype x = text.indexOf(QLatin1String(" x "));
        if (x < 0) return;
        if (ParseNumber(text.left(x), &number)) job.PaperWidth = number;
        QString height = text.mid(x + 3);
        if (const qsizetype in = height.indexOf(QLatin1String(" in")); in >= 0) height.truncate(in);
        if (ParseNumber(height.trimmed(), &number)) job.PaperHeight = number;
    } else if (name == QLatin1String("Total Sheets")) {
        if (!ParseNumber(text, &number) || RoundHalfEven(number) < 0 ||
            RoundHalfEven(number) > 2147483647.0)
            return;
        const qint32 sheets = qint32(RoundHalfEven(number));
        job.TotalPages = sheets;
        job.PagesPerCopy = sheets;
        job.NumCopies = 1;
    } else if (name == QLatin1String("Media")) {
        job.MediaType = text;
    } else if (name == QLatin1String("Device")) {
        job.PrinterName = text;
    } else if (name == QLatin1String("Sheet Color")) {
        job.Color = text;
    } else if (name == QLatin1String("Cost")) {
        job.MediaType = GetCostTextField(text, QStringLiteral("Media"));
        const qsizetype bar = text.indexOf(QLatin1String(" | "));
        if (bar >= 0) {
            // Priced again for the sheets entered: a bare rate before " | ", or the rate of a
            // "colour-media= rate per square foot" text.
            const QString before = text.left(bar);
            const QString rate = GetCostTextField(before, QStringLiteral("Cost"));
            CPreDefinedValue rated;
            rated.EntryText = !IsNumeric(before) && IsNumeric(rate)
                                  ? rate + QStringLiteral(" | ") + text.mid(bar + 3)
                                  : text;
            value.ConvertPreDefinedValue(rated, job, name);
            if (value.ValueString == rated.EntryText) value.ValueString = text;
        } else if (const qsizetype semi = text.indexOf(QLatin1Char(';')); semi >= 0) {
            value.ValueString = text.mid(semi + 1);
        }
    }
}

void FPrintJobs::CancelPrintJobs() {
    for (const QTreeWidgetItem* item : SelectedRows()) {
        const auto job = JobOfRow(item);
        if (!job) continue;
        mclsPrintJobs->Remove(job->JobFileName);
        m_entered.remove(job->JobFileName);
        CJobAnswer cancel{true, QStringLiteral("cancel"), {}};
        const auto group = job->PrinterGroup();
        if (group && group->PauseUntilAck)
            cancel.pass =
                gEnv.m_bDeleteIfCanceled ? QStringLiteral("delete") : QStringLiteral("resume");
        SettleJob(*job, cancel); // when not all were written the rescan finds the job again
    }
    mclsPrintJobs->GetPrintJobs(*mclsMonitor);
    m_shownFor.clear(); // the rows answered for the jobs just cancelled
    DisplayPrintJobs();
    PutBackIntoUse();
}
