#include "categories/categoryrules.h"

#include "categories/ccategory.h"
#include "categories/ccategoryvalue.h"
#include "common/bcommon.h"
#include "platform/files.h"

#include <algorithm>

QStringList CategoryListEntries(const CCategory& category, CPrintJobInfo& job) {
    QStringList entries;
    for (const auto& entry : category.PreDefinedValues) {
        CCategoryValue value;
        CError err;
        if (!value.ConvertPreDefinedValue(*entry, job, category.CategoryName, &err)) {
            ReportUnexpectedError(QStringLiteral("LoadUserValues"), err);
            continue;
        }
        if (!value.ValueKnown) continue;
        if (entry->Description() != QLatin1String("Path and Filename") &&
            HoldsPath(value.ValueString)) {
            bool ok = false;
            const QStringList lines = Platform::ReadLines(value.ValueString, &ok);
            for (const QString& line : lines)
                if (const QString text = TrimAtNul(line).trimmed(); !text.isEmpty())
                    entries << text;
        } else {
            entries << value.ValueString;
        }
    }
    return entries;
}

QString BrokenCategoryRule(const CCategory& k, const QString& text, const QString& listed,
                           const QStringList& list, bool withList) {
    const QString name = QLatin1Char('\'') + k.CategoryName + QLatin1Char('\'');
    if (k.Pattern.toUpper() != QLatin1String("ANY") && !MatchPattern(text, k.Pattern))
        return name + QStringLiteral("does not match pattern:") + k.Pattern;
    const bool allEmpty =
        std::all_of(list.begin(), list.end(), [](const QString& v) { return v.isEmpty(); });
    if (!k.AllowBlankValues && text.isEmpty() && !(k.OnlyPreDefinedValues && allEmpty))
        return name + QStringLiteral(" cannot be blank.");
    if (withList && k.OnlyPreDefinedValues && !k.AllowBlankValues) {
        const QString upper = (listed.isEmpty() ? text : listed).toUpper();
        if (std::none_of(list.begin(), list.end(),
                         [&](const QString& v) { return v.toUpper() == upper; }))
            return name + QStringLiteral(" is invalid.");
    }
    return {};
}
