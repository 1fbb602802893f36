#pragma once

#include <QByteArrayView>

namespace torvix {

// Writes the whole output and flushes it; false, with one line on standard error, when that
// fails (a full disk, a closed pipe).
bool writeStandardOutput(QByteArrayView bytes);

// Where the standard output is closed, keeps its descriptor taken by one that refuses writes:
// otherwise the next file opened would take its place and receive the output.
void keepStandardOutputTaken();

}  // namespace torvix
