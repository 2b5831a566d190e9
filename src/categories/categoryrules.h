#pragma once
// The rules an entered category value keeps, wherever it is checked: in the job window before
// it is saved, and in the monitor before it bills or releases what a user answered.
#include <QString>
#include <QStringList>

class CCategory;
class CPrintJobInfo;

// The values a category offers for a job: its predefined values computed for the job, a
// value that names a file giving the file's lines. Entries that cannot be computed are
// reported and left out.
QStringList CategoryListEntries(const CCategory& category, CPrintJobInfo& job);

// Why text breaks the category's rules, as the window tells it; "" when it keeps them. listed
// is what is looked up in list (the typed text of a masked entry); list holds the values
// offered. withList false leaves the list rule out (a list that cannot be computed here).
QString BrokenCategoryRule(const CCategory& category, const QString& text, const QString& listed,
                           const QStringList& list, bool withList = true);
