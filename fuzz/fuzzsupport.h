#pragma once
// What every fuzz program shares: one sandbox per process, messages answered by their
// default button, the process-wide state reset per input, and the report of a broken property.
#include "testsupport.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

// Sets the process up once (sandbox, message handler); cheap to call for every input.
const Sandbox& FuzzBox();
// Fresh process-wide settings and no configuration; aborts when the previous input wrote into
// the current folder.
void ResetWorld();
// A file name not used before in this process: the INI cache keys on the path, and a file
// rewritten within one clock tick at the same size and inode must not look unchanged.
QString FreshName(const QString& suffix);
QByteArray Bytes(const uint8_t* data, size_t size);
// Prints what was expected and what came, then aborts so that libFuzzer keeps the input.
[[noreturn]] void Broken(const char* property, const QString& expected, const QString& actual);
