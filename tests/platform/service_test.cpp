#include "platform/wmi/service.h"

#include <gtest/gtest.h>

#include "platform/wmi/error.h"
#include "platform/wmi/schema.h"

using namespace torvix::wmi;

namespace {

// A provider over fixed instances that counts how many it has produced.
class CountingProvider : public ClassProvider {
  public:
    CountingProvider(QString name, std::vector<Instance> instances)
        : name_(std::move(name)), instances_(std::move(instances)) {}
    QString className() const override { return name_; }
    QStringList propertyNames() const override { return schemaProperties(name_); }
    std::unique_ptr<InstanceCursor> enumerate(const wql::Query&) const override {
        ++enumerations;
        auto pos = std::make_shared<std::size_t>(0);
        return std::make_unique<FunctionCursor>([this, pos]() -> std::optional<Instance> {
            if (failAt && *pos == *failAt) throw Error(Error::Code::ProviderFailure, "source gone");
            if (*pos >= instances_.size()) return std::nullopt;
            ++produced;
            return instances_[(*pos)++];
        });
    }
    mutable int produced = 0;
    mutable int enumerations = 0;
    std::optional<std::size_t> failAt;

  private:
    QString name_;
    std::vector<Instance> instances_;
};

Instance adapter(bool enabled, Value address, const char* host) {
    return Instance("Win32_NetworkAdapterConfiguration", {{"IPEnabled", Value(enabled)},
                                                          {"IPAddress", std::move(address)},
                                                          {"DNSHostName", Value(host)},
                                                          {"Description", Value("eth")}});
}

struct Fixture {
    std::shared_ptr<Registry> registry = std::make_shared<Registry>();
    std::shared_ptr<CountingProvider> adapters;
    std::shared_ptr<CountingProvider> processes;
    QueryService service{registry};

    Fixture() {
        adapters = std::make_shared<CountingProvider>(
            "Win32_NetworkAdapterConfiguration",
            std::vector<Instance>{adapter(false, Value(), "pc01"),
                                  adapter(true, Value::textArray({"10.0.0.5", "fe80::1"}), "pc01"),
                                  adapter(true, Value(), "pc01")});
        std::vector<Instance> procs;
        for (int pid = 1; pid <= 50; ++pid)
            procs.emplace_back(
                "Win32_Process",
                std::vector<Property>{{"ProcessId", Value(pid)},
                                      {"CreationDate", Value("20240401070000.000000+540")}});
        processes = std::make_shared<CountingProvider>("Win32_Process", std::move(procs));
        registry->add(adapters);
        registry->add(processes);
    }
};

Error::Code failureOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.code();
    }
    ADD_FAILURE() << "no error";
    return Error::Code::NotSupported;
}

std::vector<Instance> walk(ObjectSet& set) {
    std::vector<Instance> out;
    while (std::optional<Instance> i = set.next()) out.push_back(std::move(*i));
    return out;
}

}  // namespace

TEST(QueryService, EveryMonikerOfTheWindowConnects) {
    Fixture f;
    const QStringList monikers = {
        "winmgmts:\\\\.\\root\\cimv2",
        "winmgmts:\\\\.\\root\\CIMV2",
        "winmgmts:!\\\\.\\root\\cimv2",
        "winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\cimv2",
        "winmgmts:{impersonationLevel=impersonate}",
    };
    for (const QString& m : monikers) {
        SCOPED_TRACE(m.toStdString());
        Services s = f.service.connect(m);
        ObjectSet set = s.ExecQuery("Select * From Win32_NetworkAdapterConfiguration");
        EXPECT_EQ(set.count(), 3);
    }
    EXPECT_NO_THROW(f.service.ConnectServer().ExecQuery("SELECT * FROM Win32_Process"));

    for (const char* other :
         {"winmgmts:\\\\otherpc\\root\\cimv2", "winmgmts:\\\\.\\root\\default",
          "winmgmts:\\\\.\\root\\cimv2\\sub", "winmgmts:{authenticationLevel=pkt}",
          "wmi:\\\\.\\root\\cimv2", "", "winmgmts:\\\\"}) {
        SCOPED_TRACE(other);
        EXPECT_EQ(failureOf([&] { f.service.connect(other); }), Error::Code::ConnectionFailed);
    }

    // A stopped service fails every connection, the locator's too, and says why.
    f.registry->setConnectionError(QStringLiteral("service stopped"));
    EXPECT_EQ(failureOf([&] { f.service.ConnectServer(); }), Error::Code::ConnectionFailed);
    try {
        f.service.connect("winmgmts:\\\\.\\root\\cimv2");
        FAIL();
    } catch (const Error& e) {
        EXPECT_TRUE(e.message().contains("service stopped"));
    }
}

TEST(QueryService, QueryErrorsHaveTheirOwnCodes) {
    Fixture f;
    Services s = f.service.ConnectServer();
    EXPECT_EQ(failureOf([&] { s.ExecQuery("Select * Form Win32_Process"); }),
              Error::Code::InvalidQuery);
    EXPECT_EQ(failureOf([&] { s.ExecQuery("Select * From Win32_NoSuchClass"); }),
              Error::Code::InvalidClass);
    EXPECT_EQ(failureOf([&] { s.ExecQuery("Select Bogus From Win32_Process"); }),
              Error::Code::InvalidProperty);
    EXPECT_EQ(failureOf([&] { s.ExecQuery("Select * From Win32_Process Where Bogus = 1"); }),
              Error::Code::InvalidProperty);
    // Class and property names ignore case.
    EXPECT_NO_THROW(
        s.ExecQuery("select processid from WIN32_PROCESS where CREATIONDATE is not null"));
    EXPECT_EQ(f.processes->enumerations, 1);

    // A failed source surfaces on the walk, as the source fails.
    f.adapters->failAt = 1;
    ObjectSet set = s.ExecQuery("Select * From Win32_NetworkAdapterConfiguration");
    EXPECT_TRUE(set.next());
    EXPECT_EQ(failureOf([&] { set.next(); }), Error::Code::ProviderFailure);
}

TEST(QueryService, ForwardOnlyCollections) {
    Fixture f;
    Services s = f.service.connect("winmgmts:\\\\.\\root\\cimv2");
    ObjectSet once =
        s.ExecQuery("SELECT * FROM Win32_NetworkAdapterConfiguration WHERE IPEnabled = True",
                    wbemFlagReturnImmediately | wbemFlagForwardOnly);
    EXPECT_EQ(failureOf([&] { once.count(); }), Error::Code::NotSupported);
    EXPECT_EQ(walk(once).size(), 2u);
    EXPECT_EQ(failureOf([&] { once.rewind(); }), Error::Code::NotSupported);
    EXPECT_FALSE(once.next());

    // Without the flag the collection can be counted and walked again, in the same order.
    ObjectSet again =
        s.ExecQuery("Select * From Win32_NetworkAdapterConfiguration where IPEnabled=TRUE");
    ASSERT_TRUE(again.next());
    EXPECT_EQ(again.count(), 2);
    again.rewind();
    const std::vector<Instance> all = walk(again);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].property(u"IPAddress").toArray().at(0), Value("10.0.0.5"));
    EXPECT_TRUE(all[1].property(u"IPAddress").isNull());
    EXPECT_EQ(f.adapters->produced, 3 + 3);  // each query read the source once
}

TEST(QueryService, WalksAreLazy) {
    Fixture f;
    Services s = f.service.ConnectServer();
    ObjectSet set = s.ExecQuery("SELECT * FROM Win32_Process");
    EXPECT_EQ(f.processes->produced, 0);
    ASSERT_TRUE(set.next());
    EXPECT_EQ(f.processes->produced, 1);

    // A WHERE clause reads only as far as the first match.
    ObjectSet tenth = s.ExecQuery("SELECT * FROM Win32_Process WHERE ProcessId >= 10",
                                  wbemFlagReturnImmediately | wbemFlagForwardOnly);
    std::optional<Instance> first = tenth.next();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->property(u"ProcessId").toInteger(), 10);
    EXPECT_EQ(f.processes->produced, 1 + 10);
}

TEST(QueryService, SelectListProjects) {
    Fixture f;
    ObjectSet set =
        f.service.connect("winmgmts:\\\\.\\root\\cimv2")
            .ExecQuery(
                "Select IPAddress from Win32_NetworkAdapterConfiguration where IPEnabled=TRUE");
    std::optional<Instance> first = set.next();
    ASSERT_TRUE(first);
    ASSERT_EQ(first->properties().size(), 1u);
    EXPECT_EQ(first->properties()[0].name, QStringLiteral("IPAddress"));
    EXPECT_EQ(first->property(u"ipaddress").toArray().size(), 2u);
    EXPECT_EQ(failureOf([&] { first->property(u"DNSHostName"); }), Error::Code::InvalidProperty);
}

TEST(QueryService, SchemaCoversEveryClassAndPropertyTheWindowReads) {
    const std::vector<std::pair<const char*, QStringList>> used = {
        {"Win32_Processor", {"MaxClockSpeed", "Description", "AddressWidth", "Name", "Caption"}},
        {"Win32_ComputerSystem", {"TotalPhysicalMemory", "UserName", "Domain"}},
        {"Win32_OperatingSystem",
         {"Caption", "ServicePackMajorVersion", "TotalVisibleMemorySize", "FreePhysicalMemory"}},
        {"Win32_PointingDevice", {"Description"}},
        {"Win32_ComputerSystemProduct", {"Name", "Vendor"}},
        {"Win32_NetworkAdapterConfiguration",
         {"IPEnabled", "IPAddress", "IPSubnet", "DefaultIPGateway", "DNSServerSearchOrder",
          "WINSPrimaryServer", "WINSSecondaryServer", "DHCPEnabled", "DHCPServer", "DNSHostName",
          "MACAddress", "Description"}},
        {"Win32_PingStatus", {"Address", "StatusCode", "Timeout", "BufferSize", "TimeToLive"}},
        {"Win32_Process", {"CreationDate", "ProcessId"}},
        {"Win32_Printer", {"Caption", "PortName", "Default"}},
        {"Win32_NetworkLoginProfile", {"Name", "NumberOfLogons"}},
        {"Win32_NTLogEvent", {"Logfile", "EventCode", "TimeWritten"}},
        {"Win32_Product", {"Caption", "Version"}},
    };
    for (const auto& [cls, props] : used) {
        SCOPED_TRACE(cls);
        const QStringList schema = schemaProperties(QString::fromLatin1(cls).toUpper());
        for (const QString& p : props) EXPECT_TRUE(schema.contains(p)) << p.toStdString();
        // Windows lists properties alphabetically, ignoring case.
        for (qsizetype i = 1; i < schema.size(); ++i)
            EXPECT_LT(schema[i - 1].compare(schema[i], Qt::CaseInsensitive), 0);
        EXPECT_EQ(schemaClassName(QString::fromLatin1(cls).toLower()), QLatin1String(cls));
    }
    EXPECT_EQ(schemaClasses().size(), qsizetype(used.size()));
    EXPECT_TRUE(schemaProperties(u"Win32_Nothing").isEmpty());
}
