#include <memory>

#include "platform/clock.h"
#include "platform/failure.h"
#include "platform/live/console_user.h"
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

// A computer joined to no domain has no directory: it answers at once that none is reached,
// without asking DNS (for its work group's name) or a server that libldap's configuration names.
// Membership is read at each query, as the routine asks afresh.
class JoinedOnlyDirectory : public directory::Directory {
  public:
    explicit JoinedOnlyDirectory(QString root) : root_(std::move(root)) {}
    std::unique_ptr<directory::Connection> open(const QString& provider,
                                                const QString& connectionString) override {
        auto connection = ldap_->open(provider, connectionString);
        return std::make_unique<Connection>(root_, std::move(connection));
    }

  private:
    class Connection : public directory::Connection {
      public:
        Connection(QString root, std::unique_ptr<directory::Connection> ldap)
            : root_(std::move(root)), ldap_(std::move(ldap)) {}
        std::vector<directory::Row> execute(const QString& queryText,
                                            const directory::CommandProperties& props) override {
            requireDomain();
            return ldap_->execute(queryText, props);
        }
        std::optional<QDateTime> passwordLastChanged(const QString& adsPath) override {
            requireDomain();
            return ldap_->passwordLastChanged(adsPath);
        }

      private:
        void requireDomain() const {
            if (readDomainMembership(root_).dnsDomain.isEmpty())
                throw Failure(QStringLiteral("this computer is joined to no domain"));
        }
        QString root_;
        std::unique_ptr<directory::Connection> ldap_;
    };

    QString root_;
    std::shared_ptr<directory::Directory> ldap_ = directory::makeLdapDirectory();
};

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
    machine.directory = std::make_shared<live::JoinedOnlyDirectory>(root);
    return machine;
}

}  // namespace torvix
