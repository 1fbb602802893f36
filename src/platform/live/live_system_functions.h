#pragma once

#include <QHash>
#include <QString>
#include <functional>
#include <optional>

#include "platform/system_functions.h"

namespace torvix::live {

struct LiveSystemOptions {
    QString root = QStringLiteral("/");
    // The primary screen from the window layer; unset or nullopt: the kernel's display modes.
    std::function<std::optional<ScreenSize>()> screenSize;
    // For tests: a fixed processor count and a fixed environment (HOME, XDG_*), instead of the
    // system's.
    std::optional<std::uint32_t> processorCount;
    std::optional<QHash<QString, QString>> environment;
};

class LiveSystemFunctions : public SystemFunctions {
  public:
    explicit LiveSystemFunctions(LiveSystemOptions options) : options_(std::move(options)) {}

    std::uint32_t processorCount() const override;
    ScreenSize screenSize() const override;
    bool isUserAnAdmin() const override;
    DiskFreeSpace diskFreeSpace() const override;
    QString networkUserName() const override;
    QString specialFolder(const QString& key) const override;

  private:
    QString env(const QString& name) const;
    QString home() const;
    QString xdgUserDir(const QString& name, const QString& fallback) const;

    LiveSystemOptions options_;
};

// The first connected display's preferred mode from root/sys/class/drm ("1920x1080").
std::optional<ScreenSize> screenSizeFromDrm(const QString& root);

}  // namespace torvix::live
