#include "config/setvalues.h"

#include "config/bconfigfile.h"

#include <QHash>
#include <QSet>
#include <QStringDecoder>

namespace {
const QString kBar = QStringLiteral(" | ");
// A value is read back to 2048 characters, "0, " before the text.
constexpr qsizetype kMaxEntryText = 2048 - 3;

// What a job stores for an entry: the text before its first " | ".
QString CodeOf(const QString& entryText) {
    const qsizetype bar = entryText.indexOf(kBar);
    return bar < 0 ? entryText : entryText.left(bar).trimmed();
}

bool SameEntries(const CPreDefinedValues& a, const QList<CPreDefinedValue>& b) {
    if (a.Count() != b.size()) return false;
    qsizetype i = 0;
    for (const auto& v : a) {
        const CPreDefinedValue& w = b[i++];
        if (v->IsSystemEntry != w.IsSystemEntry || v->SystemCode != w.SystemCode ||
            v->EntryText != w.EntryText)
            return false;
    }
    return true;
}

struct CTarget {
    CPrinterGroup* group;
    CCategory* category;
    QList<CPreDefinedValue> entries;
    qint32 defaultValue = 0;
};
} // namespace

QString CValueRow::EntryText() const {
    return description.isEmpty() ? code : code + kBar + description;
}

bool ParseValueRows(const QByteArray& bytes, QList<CValueRow>* rows, QString* why) {
    int row = 1;
    const auto fail = [&](const QString& text) {
        *why = QStringLiteral("row %1: %2").arg(row).arg(text);
        return false;
    };
    // The initial byte order mark is dropped, as spreadsheets write one.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (utf8.hasError()) {
        for (const QByteArray& line : bytes.split('\n')) {
            QStringDecoder check(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString decoded = check.decode(line);
            if (check.hasError()) break;
            ++row;
        }
        return fail(QStringLiteral("not UTF-8 text"));
    }
    rows->clear();
    QHash<QString, int> seen;
    QStringList fields;
    QString field;
    bool inQuotes = false, closed = false, quoted = false, first = true;
    const auto finish = [&]() {
        fields << field;
        const bool blank = fields.size() == 1 && !quoted && fields[0].trimmed().isEmpty();
        const bool header =
            first && fields.size() == 2 &&
            fields[0].trimmed().compare(QLatin1String("code"), Qt::CaseInsensitive) == 0 &&
            fields[1].trimmed().compare(QLatin1String("description"), Qt::CaseInsensitive) == 0;
        CValueRow r{fields[0].trimmed(), fields.value(1).trimmed(), row};
        const qsizetype count = fields.size();
        fields.clear();
        field.clear();
        closed = quoted = false;
        if (blank) return true;
        if (std::exchange(first, false) && header) return true;
        if (count > 2)
            return fail(QStringLiteral("%1 fields, where a row is a code and an optional "
                                       "description")
                            .arg(count));
        if (r.code.isEmpty()) return fail(QStringLiteral("empty code"));
        if (r.code.contains(kBar))
            return fail(QStringLiteral("the code \"%1\" holds \" | \"").arg(r.code));
        if (r.EntryText().size() > kMaxEntryText)
            return fail(QStringLiteral("code and description longer than %1 characters")
                            .arg(kMaxEntryText - kBar.size()));
        if (const auto it = seen.constFind(r.code); it != seen.cend())
            return fail(QStringLiteral("the code \"%1\" given twice (first in row %2)")
                            .arg(r.code)
                            .arg(*it));
        if (rows->size() >= kMaxCount)
            return fail(QStringLiteral("more than %L1 entries").arg(kMaxCount));
        seen.insert(r.code, row);
        rows->append(r);
        return true;
    };
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (inQuotes) {
            if (c == u'"' && i + 1 < n && text[i + 1] == u'"') {
                field += c;
                ++i;
            } else if (c == u'"') {
                inQuotes = false;
                closed = true;
            } else if (c == u'\r' || c == u'\n') {
                return fail(QStringLiteral("a line break inside a field"));
            } else {
                field += c;
            }
        } else if (c == u',') {
            fields << field;
            field.clear();
            closed = false;
        } else if (c == u'\n' || (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')) {
            if (c == u'\r') ++i;
            if (!finish()) return false;
            ++row;
        } else if (c == u'\r') {
            return fail(QStringLiteral("a carriage return without a line feed"));
        } else if (closed) {
            return fail(QStringLiteral("text after the closing quote of a field"));
        } else if (c == u'"') {
            if (!field.isEmpty()) return fail(QStringLiteral("a quote inside an unquoted field"));
            inQuotes = quoted = true;
        } else {
            field += c;
        }
    }
    if (inQuotes) return fail(QStringLiteral("a quoted field is not closed"));
    return (fields.isEmpty() && field.isEmpty() && !quoted) || finish();
}

bool SetCategoryValues(CConfigOptions& options, const QString& category, const QString& group,
                       const QList<CValueRow>& rows, CSetValuesResult* result, QString* why) {
    *result = {};
    QList<CTarget> targets;
    bool groupFound = group.isEmpty();
    for (const auto& g : options.PrinterGroups) {
        if (!group.isEmpty() && g->PrinterGroupName != group) continue;
        groupFound = true;
        for (const auto& c : g->Categories)
            if (c->CategoryName == category) targets.append({g.get(), c.get(), {}});
    }
    if (!groupFound) {
        *why = QStringLiteral("no printer group is named \"%1\"").arg(group);
        return false;
    }
    if (targets.isEmpty()) {
        *why = group.isEmpty()
                   ? QStringLiteral("no printer group has a category named \"%1\"").arg(category)
                   : QStringLiteral("the printer group \"%1\" has no category named \"%2\"")
                         .arg(group, category);
        return false;
    }
    QSet<QString> codes;
    codes.reserve(rows.size());
    for (const CValueRow& r : rows) codes.insert(r.code);
    // Everything is worked out before anything changes: a refusal leaves options as they were.
    for (CTarget& t : targets) {
        const CCategory& c = *t.category;
        QSet<QString> old;
        QHash<QString, int> at; // a code's new position, from 1
        for (const auto& v : c.PreDefinedValues) {
            if (v->IsSystemEntry) {
                t.entries.append(*v);
            } else {
                old.insert(CodeOf(v->EntryText));
            }
        }
        const qsizetype system = t.entries.size();
        if (system + rows.size() > kMaxCount) {
            *why = QStringLiteral("row %1: more than %L2 entries in the category \"%3\" of the "
                                  "printer group \"%4\", which keeps %5 system entries")
                       .arg(rows[kMaxCount - system].row)
                       .arg(kMaxCount)
                       .arg(category, t.group->PrinterGroupName)
                       .arg(system);
            return false;
        }
        for (const CValueRow& r : rows) {
            CPreDefinedValue v;
            v.EntryText = r.EntryText();
            t.entries.append(v);
            at.insert(r.code, int(t.entries.size()));
        }
        for (const QString& code : old) (codes.contains(code) ? result->kept : result->removed)++;
        for (const QString& code : codes) result->added += old.contains(code) ? 0 : 1;
        // The default follows its entry: a system entry by its place among them, a text entry
        // by its code.
        t.defaultValue = 0;
        if (c.DefaultValue >= 1 && c.DefaultValue <= c.PreDefinedValues.Count()) {
            const auto entry = c.PreDefinedValues.Item(c.DefaultValue);
            int systemBefore = 0;
            for (int i = 1; i < c.DefaultValue; ++i)
                systemBefore += c.PreDefinedValues.Item(i)->IsSystemEntry ? 1 : 0;
            t.defaultValue =
                entry->IsSystemEntry ? systemBefore + 1 : at.value(CodeOf(entry->EntryText), 0);
            if (t.defaultValue == 0)
                result->notes << QStringLiteral("printer group \"%1\", category \"%2\": the "
                                                "default entry \"%3\" is gone, DefaultValue is "
                                                "now 0")
                                     .arg(t.group->PrinterGroupName, category, entry->EntryText);
        }
        result->changed = result->changed || t.defaultValue != c.DefaultValue ||
                          !SameEntries(c.PreDefinedValues, t.entries);
    }
    for (CTarget& t : targets) {
        CPreDefinedValues& list = t.category->PreDefinedValues;
        list.RemoveAll();
        for (const CPreDefinedValue& v : t.entries) *list.NewCPreDefinedValue() = v;
        t.category->DefaultValue = t.defaultValue;
    }
    return true;
}
