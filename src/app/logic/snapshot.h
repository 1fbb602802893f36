#pragma once

#include <QByteArray>
#include <QString>

#include "app/logic/command_line.h"
#include "platform/machine.h"
#include "platform/machinefile/machine_writer.h"

namespace torvix {

// Reads, once each, everything the program's routines and windows read about `machine`: every
// management class (the echo of the computer's own address as the ping answered it, only the
// first process the address date needs), the operating-system functions, the clock and locale,
// and the directory's answer to this user's query. A failing source is kept as its failure.
// Of the start and shutdown history only the newest events the history window shows for its
// largest count are kept. Throws SnapshotTooLarge when the snapshot would be too large to read
// back.
class SnapshotTooLarge : public Failure {
  public:
    using Failure::Failure;
};
machinefile::MachineDescription takeSnapshot(Machine& machine);

// Empty when `text`, the file of `description`, is within `limit` bytes; else one line for the
// user saying how large it would be and which part is the largest.
QString snapshotSizeProblem(const machinefile::MachineDescription& description,
                            const QByteArray& text, qint64 limit = machinefile::maxMachineFileSize);

// Writes `bytes` to `path` through a temporary file in the same folder and a rename, so that the
// path holds either its old content or all of the new one; "-" writes to standard output. A
// character device or a FIFO is written to as a stream, and a socket, a block device, a folder or
// a link in a shared folder that belongs to someone else is refused. A new file is made readable
// by its owner only; a file replaced keeps its owner and mode.
// Returns an empty text on success, else what went wrong, for the user.
QString writeWholeFile(const QString& path, const QByteArray& bytes);

// --snapshot FILE [--machine FILE]: the exit code (0, 1 when the file cannot be written, 2 for a
// bad machine file).
int runSnapshot(const CommandLine& commandLine, const LiveMachineOptions& live);

}  // namespace torvix
