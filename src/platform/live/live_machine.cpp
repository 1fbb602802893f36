#include <memory>

#include "platform/clock.h"
#include "platform/live/hardware_providers.h"
#include "platform/live/history_providers.h"
#include "platform/live/live_system_functions.h"
#include "platform/live/network_providers.h"
#include "platform/live/printer_provider.h"
#include "platform/live/software_provider.h"
#include "platform/machine.h"

namespace torvix {

namespace live {

void registerHardwareProviders(wmi::Registry& registry, const QString& root) {
    registry.add(std::make_shared<ProcessorProvider>(root));
    registry.add(std::make_shared<ComputerSystemProvider>(root));
    registry.add(std::make_shared<OperatingSystemProvider>(root));
    registry.add(std::make_shared<PointingDeviceProvider>(root));
    registry.add(std::make_shared<ProductProvider>(root));
}

}  // namespace live

Machine makeLiveMachine(const LiveMachineOptions& options) {
    const QString root = options.root.isEmpty() ? QStringLiteral("/") : options.root;
    auto registry = std::make_shared<wmi::Registry>();
    live::registerHardwareProviders(*registry, root);
    live::registerNetworkProviders(*registry, root);
    live::registerHistoryProviders(*registry, live::HistorySources{root, std::nullopt});
    registry->add(std::make_shared<live::PrinterProvider>());
    registry->add(std::make_shared<live::SoftwareProvider>(root));

    live::LiveSystemOptions system;
    system.root = root;
    system.screenSize = options.screenSize;

    Machine machine;
    machine.wmi = std::make_shared<wmi::QueryService>(registry);
    machine.clock = std::make_shared<SystemClock>();
    machine.system = std::make_shared<live::LiveSystemFunctions>(std::move(system));
    machine.root = root;
    machine.launcher = makeLiveCommandLauncher();
    machine.directory = directory::makeLdapDirectory();
    return machine;
}

}  // namespace torvix
