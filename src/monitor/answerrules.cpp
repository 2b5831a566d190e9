#include "monitor/answerrules.h"

#include "categories/categoryrules.h"
#include "categories/ccategory.h"
#include "common/bcommon.h"
#include "config/cprintergroup.h"
#include "jobs/cprintjobinfo.h"
#include "monitor/jobfilelines.h"

#include <QHash>

QString BrokenAnswer(const QStringList& dataLines, const QString& makeAndModel) {
    if (IsCancelAnswer(dataLines)) return {};
    CPrintJobInfo probe;
    probe.PrtDriverName = makeAndModel;
    const auto group = probe.PrinterGroup();
    if (!group) return {};
    QHash<QString, const CCategory*> categories;
    for (const auto& category : group->Categories)
        categories.insert(category->CategoryName, category.get());
    const auto broken = [&](const CCategory& category, const QString& value) {
        // System values are computed from the job: only the client knows them all.
        bool computed = false;
        for (const auto& entry : category.PreDefinedValues) computed |= entry->IsSystemEntry;
        QStringList list = computed ? QStringList() : CategoryListEntries(category, probe);
        list << QStringLiteral(" "); // as the window offers it: the way to choose an empty value
        const QString text = value.trimmed();
        return BrokenCategoryRule(category, text, text, list, !computed);
    };
    // Every value given (a name given twice is refused), then every category left out.
    for (const auto& [name, value] : DetailValues(dataLines)) {
        const CCategory* category = categories.take(name);
        if (!category)
            return QLatin1Char('\'') + JobFileValue(name).left(40) +
                   QStringLiteral("' is not a category of this printer.");
        if (QString why = broken(*category, value); !why.isEmpty()) return why;
    }
    for (const CCategory* category : std::as_const(categories))
        if (QString why = broken(*category, QString()); !why.isEmpty()) return why;
    return {};
}
