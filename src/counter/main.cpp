// qorvmond-count: the pages of one PDF, for the monitor, which runs it under limits.
#include "platform/pdfcount.h"

int main(int argc, char** argv) {
    return argc == 2 ? Platform::RunPdfCounter(argv[1]) : 2;
}
