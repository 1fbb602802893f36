// Times the reading of large machine files: one instance with 100,000 properties, 100,000
// classes, 100,000 special folders, and 100,000 properties that differ only in letter case
// (refused at the last one). Each file is written to disk and read with loadMachineFile, as
// --machine does. Prints the file size and the median of N runs in milliseconds, of the whole
// reading and of the JSON syntax alone.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "bench_support.h"
#include "platform/machine.h"
#include "platform/machinefile/json_reader.h"

namespace {

constexpr int kMembers = 100000;

const QByteArray head =
    R"({"torvix-machine": 1, "clock": {"now": "2024-04-01T08:05:09", "tickCount": 3725000}, )";

QByteArray members(const char* format, const char* lastFormat) {
    QByteArray out;
    for (int i = 0; i < kMembers; ++i) {
        if (i) out += ", ";
        out += QByteArray(i + 1 == kMembers && lastFormat ? lastFormat : format)
                   .replace("%1", QByteArray::number(i));
    }
    return out;
}

double medianMs(int runs, const std::function<bool()>& once, bool* loaded) {
    return torvix::bench::medianMs(runs, [&] {
        *loaded = once();
        return true;
    });
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
    QTemporaryDir dir;
    if (!dir.isValid()) return 1;
    struct File {
        const char* name;
        QByteArray json;
        bool loads;
    };
    const std::vector<File> files = {
        {"100,000 properties of one instance",
         head + R"("wmi": {"Win32_Custom": [{)" + members(R"("Property%1": %1)", nullptr) + "}]}}",
         true},
        {"100,000 classes",
         head + R"("wmi": {)" + members(R"("Class%1": [{"P": %1}])", nullptr) + "}}", true},
        {"100,000 special folders",
         head + R"("system": {"specialFolders": {)" +
             members(R"("Folder%1": "/home/user1/F%1")", nullptr) + "}}}",
         true},
        {"100,000 properties, the last given twice in another case",
         head + R"("wmi": {"Win32_Custom": [{)" +
             members(R"("Property%1": %1)", R"("PROPERTY0": 0)") + "}]}}",
         false},
    };
    std::printf("machine file reading, median of %d runs:\n", runs);
    int status = 0;
    const QByteArray only = argc > 2 ? QByteArray(argv[2]) : QByteArray();  // e.g. "classes"
    for (const File& f : files) {
        if (!only.isEmpty() && !QByteArray(f.name).contains(only)) continue;
        const QString path = dir.filePath(QStringLiteral("machine.json"));
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(f.json) < 0)
            return 1;
        out.close();
        bool loaded = false;
        std::vector<torvix::Machine> kept;
        const double ms = medianMs(
            runs,
            [&] {
                try {
                    // Freed after the timing: reading is what is measured.
                    kept.push_back(torvix::loadMachineFile(path, false));
                    return true;
                } catch (const torvix::MachineFileError&) {
                    return false;
                }
            },
            &loaded);
        kept.clear();
        bool parsed = false;
        const double syntaxMs = medianMs(
            runs,
            [&] {
                torvix::machinefile::JsonNode root;
                QString error;
                return torvix::machinefile::parseJson(f.json, root, error);
            },
            &parsed);
        std::printf("  %-58s %5.2f MB %9.1f ms (JSON alone %.1f ms)%s\n", f.name,
                    f.json.size() / 1e6, ms, syntaxMs,
                    loaded == f.loads ? "" : "  (unexpected result)");
        if (loaded != f.loads) status = 1;
    }
    return status;
}
