#pragma once
// The page tree of a PDF, read by a program of its own (qorvmond-count) that the monitor runs
// under limits: a few kilobytes may unpack to gigabytes.

namespace Platform {

// The pages of the PDF at path on standard output (0 when it cannot be read); its exit code.
// Out of memory it aborts: the count was cut short.
int RunPdfCounter(const char* path);

} // namespace Platform
