#include "jobs/documentpath.h"

QString GetPathAndFilename(const QString&, const QString&, const QString&) {
    return {};
}
