#include <cmath>

#include "items/storage/storage_items.h"
#include "platform/text/number_format.h"

namespace torvix::items {

namespace {

struct DriveFigures {
    double capacity = 0;  // decimal gigabytes
    double free = 0;
};

// The cluster counts start at 0 and the call's own result is not examined: a drive the system
// cannot report on reads as empty.
DriveFigures driveC(RoutineContext& ctx) {
    ctx.step(QStringLiteral("GetDiskFreeSpaceA"));
    DiskFreeSpace counts;
    try {
        counts = ctx.system().diskFreeSpace();
    } catch (const Failure&) {
        counts = DiskFreeSpace{};
    }
    const double bytesPerCluster =
        static_cast<double>(counts.sectorsPerCluster) * static_cast<double>(counts.bytesPerSector);
    DriveFigures f;
    f.capacity = bytesPerCluster * static_cast<double>(counts.totalClusters) / 1000000000.0;
    f.free = bytesPerCluster * static_cast<double>(counts.freeClusters) / 1000000000.0;
    return f;
}

}  // namespace

void Command18_Click(RoutineContext& ctx) {
    const DriveFigures f = driveC(ctx);
    ctx.form().setText(QStringLiteral("Text15"),
                       formatNumber(f.capacity, u"#,##0.000") + QStringLiteral("Gバイト"));
    ctx.form().setBackground(QStringLiteral("Text15"), colors::filled);
}

void Command19_Click(RoutineContext& ctx) {
    const DriveFigures f = driveC(ctx);
    ctx.form().setText(QStringLiteral("Text16"),
                       formatNumber(f.capacity - f.free, u"#,##0.000") + QStringLiteral("Gバイト"));
    ctx.form().setBackground(QStringLiteral("Text16"), colors::filled);
}

void Command20_Click(RoutineContext& ctx) {
    const DriveFigures f = driveC(ctx);
    // No clusters reported: there is no ratio to show, so say it is unknown.
    const double ratio = (f.capacity - f.free) / f.capacity * 100;
    ctx.form().setText(QStringLiteral("Text17"),
                       f.capacity > 0 && std::isfinite(ratio)
                           ? formatNumber(ratio, u"##0.00") + QStringLiteral("%")
                           : QStringLiteral("不明"));
    ctx.form().setBackground(QStringLiteral("Text17"), colors::filled);
}

}  // namespace torvix::items
