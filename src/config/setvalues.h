#pragma once
// A category's list refreshed from a billing system's export: a CSV file of codes and
// descriptions becomes the category's text entries, its system-code entries kept.
#include "config/cconfigoptions.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// One row of the export.
struct CValueRow {
    QString code, description;
    int row = 0; // in the file, from 1, a header row counted
    // The entry's text: the code alone or "code | description", the form whose stored value
    // is the code while the window shows both.
    QString EntryText() const;
};

// The rows of a CSV file (RFC 4180, UTF-8, CR LF or LF, an optional header row
// "code,description", empty lines skipped; fields trimmed). False with why naming the row for
// a file that is not such CSV, an empty or repeated code, a line break inside a field or an
// entry too long to be read back.
bool ParseValueRows(const QByteArray& bytes, QList<CValueRow>* rows, QString* why);

struct CSetValuesResult {
    int added = 0, removed = 0, kept = 0; // codes, over every category changed
    bool changed = false;                 // the options differ from before
    QStringList notes;                    // a default whose entry went
};

// Replaces the text entries of the category named category in every printer group that has
// it (or the group named group only) by rows, the system-code entries first in their order;
// a default keeps its entry when it is still there, else becomes 0. False with why (options
// then unchanged) for an unknown category or group or too many entries.
bool SetCategoryValues(CConfigOptions& options, const QString& category, const QString& group,
                       const QList<CValueRow>& rows, CSetValuesResult* result, QString* why);
