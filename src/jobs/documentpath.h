#pragma once
// Finds the folder and file of a printed document from its title.
#include <QString>

// The full path of the document, or "" when it cannot be found. Searching the shortcuts in
// folder and the file servers is not built yet: the result is always "".
QString GetPathAndFilename(const QString& folder, const QString& documentName,
                           const QString& userName);
