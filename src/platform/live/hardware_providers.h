#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

#include "platform/wmi/provider.h"
#include "platform/wmi/service.h"

namespace torvix::live {

// The machine type as uname() reports it ("x86_64", "i686", "aarch64"), unless overridden.
QString machineType(const std::optional<QString>& override);
// Bitness of the operating system for a machine type: 64 or 32.
int addressWidthOf(const QString& machine);

// Win32_Processor: one instance per physical package, in package order.
class ProcessorProvider : public wmi::ClassProvider {
  public:
    explicit ProcessorProvider(QString root, std::optional<QString> machine = std::nullopt)
        : root_(std::move(root)), machine_(std::move(machine)) {}
    QString className() const override { return QStringLiteral("Win32_Processor"); }
    QStringList propertyNames() const override;
    std::unique_ptr<wmi::InstanceCursor> enumerate(const wmi::wql::Query& query) const override;

  private:
    QString root_;
    std::optional<QString> machine_;
};

// Win32_ComputerSystem: the one instance of this computer.
class ComputerSystemProvider : public wmi::ClassProvider {
  public:
    explicit ComputerSystemProvider(QString root) : root_(std::move(root)) {}
    QString className() const override { return QStringLiteral("Win32_ComputerSystem"); }
    QStringList propertyNames() const override;
    std::unique_ptr<wmi::InstanceCursor> enumerate(const wmi::wql::Query& query) const override;

  private:
    QString root_;
};

// Win32_OperatingSystem: the one running system.
class OperatingSystemProvider : public wmi::ClassProvider {
  public:
    explicit OperatingSystemProvider(QString root) : root_(std::move(root)) {}
    QString className() const override { return QStringLiteral("Win32_OperatingSystem"); }
    QStringList propertyNames() const override;
    std::unique_ptr<wmi::InstanceCursor> enumerate(const wmi::wql::Query& query) const override;

  private:
    QString root_;
};

// Win32_PointingDevice: mice, touchpads, pointing sticks and pen tablets (no touchscreens).
class PointingDeviceProvider : public wmi::ClassProvider {
  public:
    explicit PointingDeviceProvider(QString root) : root_(std::move(root)) {}
    QString className() const override { return QStringLiteral("Win32_PointingDevice"); }
    QStringList propertyNames() const override;
    std::unique_ptr<wmi::InstanceCursor> enumerate(const wmi::wql::Query& query) const override;

  private:
    QString root_;
};

// Win32_ComputerSystemProduct: the computer as a product (firmware tables or device tree).
class ProductProvider : public wmi::ClassProvider {
  public:
    explicit ProductProvider(QString root) : root_(std::move(root)) {}
    QString className() const override { return QStringLiteral("Win32_ComputerSystemProduct"); }
    QStringList propertyNames() const override;
    std::unique_ptr<wmi::InstanceCursor> enumerate(const wmi::wql::Query& query) const override;

  private:
    QString root_;
};

// Model name and maker of the computer (shared by the product and the computer-system class).
struct ProductIdentity {
    std::optional<QString> name;
    std::optional<QString> vendor;
};
ProductIdentity readProductIdentity(const QString& root);

// The computer's name as Windows shows it: the host name up to the first ".", upper case.
QString computerName(const QString& root);

// Registers every provider above.
void registerHardwareProviders(wmi::Registry& registry, const QString& root);

}  // namespace torvix::live
