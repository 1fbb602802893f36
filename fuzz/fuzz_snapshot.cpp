// Snapshot writer against the machine-file reader: a snapshot of any computer a file describes is
// itself a file the reader takes, and a snapshot of that replay says the same again.

#include "app/logic/snapshot.h"
#include "fuzz_support.h"

using namespace torvix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray json = torvix::fuzz::bytes(data, size);
    Machine machine;
    if (!torvix::fuzz::allowing<Failure>(
            [&] { machine = parseMachineFile(json, QStringLiteral("fuzz.json"), false); }))
        return 0;
    QByteArray first;
    try {
        first = machinefile::machineFileText(takeSnapshot(machine));
    } catch (const Failure& f) {
        torvix::fuzz::fail("the snapshot of a readable file cannot be taken", f.message());
    }
    Machine replay;
    try {
        replay = parseMachineFile(first, QStringLiteral("snapshot.json"), false);
    } catch (const Failure& f) {
        torvix::fuzz::fail("the snapshot cannot be read back", f.message());
    }
    const QByteArray second = machinefile::machineFileText(takeSnapshot(replay));
    FUZZ_CHECK(second == first,
               QString::fromUtf8(first) + QStringLiteral("\n----\n") + QString::fromUtf8(second));
    return 0;
}
