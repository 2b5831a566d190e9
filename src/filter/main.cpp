// qorvmond-counted: the scheduler's pre-filter of PostScript on the monitor's companion queues
// (installed in its filter folder): prints the copy the monitor counted, never the document.
#include "platform/countedcopy.h"

int main(int argc, char** argv) {
    return Platform::RunCountedFilter(argc, argv);
}
