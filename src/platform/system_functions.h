#pragma once

#include <QString>
#include <cstdint>

#include "platform/failure.h"

namespace torvix {

struct ScreenSize {
    int width = 0;
    int height = 0;
};

// Cluster figures of the system drive (GetDiskFreeSpaceA), all 64-bit here.
struct DiskFreeSpace {
    std::uint64_t sectorsPerCluster = 0;
    std::uint64_t bytesPerSector = 0;
    std::uint64_t freeClusters = 0;
    std::uint64_t totalClusters = 0;
};

// The operating-system functions the window calls outside the management query service.
// Each throws Failure when the function is not available.
class SystemFunctions {
  public:
    virtual ~SystemFunctions() = default;
    virtual std::uint32_t processorCount() const = 0;  // GetSystemInfo dwNumberOfProcessors
    virtual ScreenSize screenSize() const = 0;         // GetSystemMetrics 0 and 1
    virtual bool isUserAnAdmin() const = 0;            // IsUserAnAdmin
    virtual DiskFreeSpace diskFreeSpace() const = 0;   // GetDiskFreeSpaceA "C:\"
    virtual QString networkUserName() const = 0;       // WScript.Network UserName
    virtual QString specialFolder(const QString& key) const = 0;  // WScript.Shell SpecialFolders
};

}  // namespace torvix
