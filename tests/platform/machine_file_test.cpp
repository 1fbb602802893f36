#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QJsonArray>
#include <QThread>

#include "platform/machine.h"
#include "platform/machinefile/json_reader.h"
#include "platform/outside_text.h"
#include "platform/wmi/error.h"
#include "platform/wmi/wql.h"
#include "support/test_support.h"

using namespace torvix;
using namespace torvix::wmi;

namespace {

Machine officePc(bool advances = false) {
    return loadMachineFile(test::dataPath("machines/office_pc.json"), advances);
}

Machine fromText(const QByteArray& json) {
    return parseMachineFile(json, "machine.json", false);
}

// The message of the MachineFileError a file raises, or "" when it loads.
QString problemOf(const QByteArray& json) {
    try {
        fromText(json);
    } catch (const MachineFileError& e) {
        return e.message();
    }
    return QString();
}

QByteArray withWmi(const QByteArray& wmi) {
    return R"({"torvix-machine": 1, "clock": {"now": "2024-04-01T08:05:09", "tickCount": 1}, "wmi": )" +
           wmi + "}";
}

std::vector<Instance> run(const Machine& m, const QString& moniker, const QString& query,
                          int flags = 16) {
    ObjectSet set = (moniker.isEmpty() ? m.wmi->ConnectServer() : m.wmi->connect(moniker))
                        .ExecQuery(query, flags);
    std::vector<Instance> out;
    while (std::optional<Instance> i = set.next()) out.push_back(std::move(*i));
    return out;
}

Error::Code failureOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.code();
    }
    ADD_FAILURE() << "no error";
    return Error::Code::NotSupported;
}

}  // namespace

TEST(MachineFile, AnswersEveryQueryOfTheWindow) {
    const Machine m = officePc();
    const QString dot = "winmgmts:\\\\.\\root\\cimv2";
    const QString bang = "winmgmts:!\\\\.\\root\\cimv2";
    const QString imp = "winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\cimv2";
    struct Case {
        QString moniker, query;
        int flags;
        std::size_t count;
        const char* property;
        Value first;
    };
    const std::vector<Case> cases = {
        {"", "Select * From Win32_Processor", 16, 1, "MaxClockSpeed", Value(std::int64_t(2394))},
        {dot, "Select * from Win32_ComputerSystem", 48, 1, "TotalPhysicalMemory",
         Value(std::int64_t(17072009216))},
        {dot, "Select * From Win32_OperatingSystem", 48, 1, "FreePhysicalMemory",
         Value(std::int64_t(9876543))},
        {"", "Select * From Win32_OperatingSystem", 16, 1, "ServicePackMajorVersion",
         Value(std::int64_t(0))},
        {"", "Select * From Win32_PointingDevice", 16, 2, "Description",
         Value("Logitech USB Optical Mouse")},
        {dot, "SELECT * FROM Win32_Process", 16, 2, "CreationDate",
         Value("20240401070000.000000+540")},
        {dot, "Select IPAddress from Win32_NetworkAdapterConfiguration where IPEnabled=TRUE", 16, 1,
         "IPAddress", Value::textArray({"192.168.0.10", "fe80::1a2b:3cff:fe4d:5e6f"})},
        {"winmgmts:{impersonationLevel=impersonate}",
         "select * from Win32_PingStatus where address = '192.168.0.10'", 16, 1, "StatusCode",
         Value(std::int64_t(0))},
        {bang, "Select * from Win32_ComputerSystem", 48, 1, "UserName", Value("AA\\user1")},
        {bang, "Select * from Win32_NetworkAdapterConfiguration Where IPEnabled = True", 16, 1,
         "DNSHostName", Value("pc01")},
        {"winmgmts:\\\\.\\root\\CIMV2",
         "SELECT * FROM Win32_NetworkAdapterConfiguration WHERE IPEnabled = True", 48, 1,
         "DefaultIPGateway", Value::textArray({"192.168.0.1"})},
        {dot, "Select * From Win32_NetworkAdapterConfiguration where IPEnabled=TRUE", 16, 1,
         "DNSServerSearchOrder", Value::textArray({"192.168.0.2", "192.168.0.3"})},
        {bang, "Select * From Win32_NetworkadapterConfiguration Where IPEnabled = True", 16, 1,
         "DHCPServer", Value("192.168.0.1")},
        {imp, "Select * from Win32_ComputerSystem", 0, 1, "Domain", Value("aa.bb.cc")},
        {"", "Select * From Win32_ComputerSystemProduct", 0, 1, "Vendor", Value("Dell Inc.")},
        {dot, "Select * from Win32_Product", 0, 2, "Version", Value("5.2.15-2+b2")},
        {"", "Select * From Win32_NetworkAdapterConfiguration", 16, 2, "MACAddress",
         Value("00:1A:2B:3C:4D:5E")},
        {"", "Select * From Win32_Printer Where Default='True'", 16, 1, "Caption",
         Value("Office_Laser")},
        {"", "Select * From Win32_Printer", 16, 2, "PortName",
         Value("ipp://printer.example/ipp/print")},
        {"", "Select * From Win32_NetworkLoginProfile", 16, 2, "NumberOfLogons",
         Value(std::int64_t(42))},
        {imp,
         "Select * from Win32_NTLogEvent Where Logfile = 'System' and (EventCode = '6005' or "
         "EventCode = '6006')",
         16, 3, "TimeWritten", Value("20240401070012.000000+540")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query.toStdString());
        const std::vector<Instance> found = run(m, c.moniker, c.query, c.flags);
        ASSERT_EQ(found.size(), c.count);
        EXPECT_EQ(found[0].property(QString::fromLatin1(c.property)), c.first);
    }
    // Ping instances answer by their address: an unknown one gives none, a quoted one its own.
    EXPECT_TRUE(run(m, "", "select * from Win32_PingStatus where address = ''").empty());
    const auto lost =
        run(m, "", "select * from Win32_PingStatus where address = " + wql::quote("192.168.0.99"));
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost[0].property(u"StatusCode"), Value(std::int64_t(11010)));
    EXPECT_TRUE(
        run(m, "", "select * from Win32_PingStatus where address = " + wql::quote("' or '1'='1"))
            .empty());
    // Instances keep file order.
    const auto events = run(m, "", "Select * from Win32_NTLogEvent");
    EXPECT_EQ(events[1].property(u"EventCode"), Value(std::int64_t(6006)));
}

TEST(MachineFile, ClockLocaleSystemAndDirectory) {
    const Machine m = officePc();
    EXPECT_EQ(m.clock->now(), QDateTime(QDate(2024, 4, 1), QTime(8, 5, 9)));
    EXPECT_EQ(m.clock->now().timeSpec(), Qt::LocalTime);
    EXPECT_EQ(m.clock->tickCountMs(), 3725000);
    EXPECT_EQ(m.locale, QStringLiteral("ja_JP"));
    EXPECT_EQ(m.system->processorCount(), 8u);
    EXPECT_EQ(m.system->screenSize().width, 1920);
    EXPECT_EQ(m.system->screenSize().height, 1080);
    EXPECT_FALSE(m.system->isUserAnAdmin());
    EXPECT_EQ(m.system->diskFreeSpace().totalClusters, 122096646u);
    EXPECT_EQ(m.system->diskFreeSpace().bytesPerSector, 512u);
    EXPECT_EQ(m.system->networkUserName(), QStringLiteral("User1"));
    EXPECT_EQ(m.system->specialFolder("DeskTop"), QStringLiteral("/home/user1/Desktop"));
    EXPECT_EQ(m.system->specialFolder("desktop"), QString());  // keys are exact, like the shell's
    EXPECT_EQ(m.system->specialFolder("NoSuchKey"), QString());
    ASSERT_TRUE(m.directory);
    const auto rows = m.directory->open("ADsDSOObject", "Active Directory Provider")
                          ->execute(
                              "SELECT ADsPath FROM 'LDAP://dc=aa,dc=bb,dc=cc' WHERE "
                              "objectCategory='user' and Name='user1'",
                              {10000, 2});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].adsPath, "LDAP://CN=user1,DC=aa,DC=bb,DC=cc");

    // In the window the clock moves on; in the report it stays put.
    const Machine moving = officePc(true);
    QThread::msleep(30);
    EXPECT_GE(moving.clock->tickCountMs(), 3725000 + 25);
    EXPECT_GT(moving.clock->now(), QDateTime(QDate(2024, 4, 1), QTime(8, 5, 9)));
    QThread::msleep(5);
    EXPECT_EQ(m.clock->tickCountMs(), 3725000);

    // A function whose member is absent fails and says which.
    const Machine bare = loadMachineFile(test::dataPath("machines/minimal.json"), false);
    EXPECT_TRUE(bare.locale.isEmpty());
    // Without a "directory" member the directory cannot be reached.
    ASSERT_TRUE(bare.directory);
    EXPECT_THROW(bare.directory->open("ADsDSOObject", "")
                     ->execute("SELECT ADsPath FROM 'LDAP://'", {10000, 2}),
                 Failure);
    try {
        bare.system->diskFreeSpace();
        FAIL();
    } catch (const Failure& e) {
        EXPECT_TRUE(e.message().contains("system.disk")) << e.message().toStdString();
    }
    EXPECT_THROW(bare.system->processorCount(), Failure);
    EXPECT_THROW(bare.system->screenSize(), Failure);
    EXPECT_THROW(bare.system->isUserAnAdmin(), Failure);
    EXPECT_THROW(bare.system->networkUserName(), Failure);
    EXPECT_THROW(bare.system->specialFolder("DeskTop"), Failure);
    // No wmi member: every known class is there with no instances; others are unknown.
    EXPECT_TRUE(run(bare, "", "Select * From Win32_Processor").empty());
    EXPECT_EQ(failureOf([&] { bare.wmi->ConnectServer().ExecQuery("Select * From Win32_Fan"); }),
              Error::Code::InvalidClass);
}

TEST(MachineFile, LargeIntegersStayExact) {
    const Machine m = fromText(R"({"torvix-machine": 1,
        "clock": {"now": "2030-12-31T23:59:59", "tickCount": 3155759999999},
        "wmi": {"Win32_ComputerSystem": [{"TotalPhysicalMemory": 9223372036854775807}]}})");
    EXPECT_EQ(m.clock->tickCountMs(), 3155759999999LL);  // past a float's 24 bits
    EXPECT_EQ(run(m, "", "select * from Win32_ComputerSystem")[0].property(u"TotalPhysicalMemory"),
              Value(std::int64_t(9223372036854775807LL)));
    EXPECT_TRUE(
        problemOf(
            R"({"torvix-machine": 1, "clock": {"now": "2024-04-01T08:05:09", "tickCount": -1}})")
            .contains("clock.tickCount"));
}

TEST(MachineFile, EveryPropertyKind) {
    const Machine m = fromText(withWmi(R"({"Win32_Process": [{
        "Nothing": null, "Yes": true, "Count": 42, "Huge": 18446744073709551616, "Ratio": 2.5,
        "Whole": 3.0, "Text": "テキスト\n\u00e9", "List": ["a", 1, null],
        "Inner": {"object": {"Name": "x", "Deeper": {"object": {}}}}, "Empty": []}]})"));
    const auto found = run(m, "", "select * from Win32_Process");
    ASSERT_EQ(found.size(), 1u);
    const Instance& i = found[0];
    EXPECT_EQ(i.className(), QStringLiteral("Win32_Process"));
    EXPECT_EQ(i.property(u"Nothing").kind(), Value::Kind::Null);
    EXPECT_EQ(i.property(u"Yes"), Value(true));
    EXPECT_EQ(i.property(u"Count").kind(), Value::Kind::Integer);
    EXPECT_EQ(i.property(u"Huge").kind(), Value::Kind::Double);  // beyond 64 bits
    EXPECT_EQ(i.property(u"Ratio"), Value(2.5));
    EXPECT_EQ(i.property(u"Whole").kind(), Value::Kind::Double);
    EXPECT_EQ(i.property(u"Text"), Value(QStringLiteral("テキスト\né")));
    EXPECT_EQ(i.property(u"List"),
              Value(std::vector<Value>{Value("a"), Value(std::int64_t(1)), Value()}));
    EXPECT_EQ(i.property(u"Empty").toArray().size(), 0u);
    const InstancePtr& inner = i.property(u"Inner").toObject();
    EXPECT_EQ(inner->property(u"Name"), Value("x"));
    EXPECT_TRUE(inner->property(u"Deeper").toObject()->properties().empty());
    // Properties_ lists them in file order.
    EXPECT_EQ(i.properties().front().name, QStringLiteral("Nothing"));
    EXPECT_EQ(i.properties().back().name, QStringLiteral("Empty"));
    // A property the instance lacks fails when read, and counts as null in WHERE.
    EXPECT_EQ(failureOf([&] { i.property(u"ProcessId"); }), Error::Code::InvalidProperty);
    EXPECT_EQ(run(m, "", "select * from Win32_Process where ProcessId is null").size(), 1u);
    // Names from the file join the class's schema; other names are still refused.
    EXPECT_EQ(run(m, "", "select Ratio, Caption from Win32_Process where Yes = TRUE").size(), 1u);
    EXPECT_EQ(
        failureOf([&] { m.wmi->ConnectServer().ExecQuery("select Missing from Win32_Process"); }),
        Error::Code::InvalidProperty);
}

TEST(MachineFile, ClassesThatFailOrAreUnknown) {
    const Machine m = fromText(withWmi(R"({
        "Win32_Printer": {"error": "the print spooler is not running"},
        "win32_product": [{"Caption": "bash"}],
        "Custom_Thing": [{"A": 1}, {"B": 2}]})"));
    // A failing class fails on its first instance, with the file's text.
    ObjectSet printers = m.wmi->ConnectServer().ExecQuery("Select * From Win32_Printer");
    try {
        printers.next();
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), Error::Code::ProviderFailure);
        EXPECT_EQ(e.message(), QStringLiteral("the print spooler is not running"));
    }
    ObjectSet counted =
        m.wmi->ConnectServer().ExecQuery("Select * From Win32_Printer Where Default='True'");
    EXPECT_EQ(failureOf([&] { counted.count(); }), Error::Code::ProviderFailure);
    // Class names in the file ignore case too.
    EXPECT_EQ(run(m, "", "Select * from Win32_Product").size(), 1u);
    // A class the schema does not know exists when the file gives it, with the names it uses.
    EXPECT_EQ(run(m, "", "select A, B from custom_thing where A = 1 or B = 2").size(), 2u);
    EXPECT_EQ(failureOf([&] { m.wmi->ConnectServer().ExecQuery("select C from Custom_Thing"); }),
              Error::Code::InvalidProperty);
    EXPECT_TRUE(run(m, "", "Select * From Win32_NetworkLoginProfile").empty());

    const Machine stopped = loadMachineFile(test::dataPath("machines/wmi_stopped.json"), false);
    try {
        stopped.wmi->connect("winmgmts:\\\\.\\root\\cimv2");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), Error::Code::ConnectionFailed);
        EXPECT_TRUE(e.message().contains("the management service is not running"));
    }
    EXPECT_EQ(failureOf([&] { stopped.wmi->ConnectServer(); }), Error::Code::ConnectionFailed);
}

TEST(MachineFile, MalformedFilesNameTheFileAndTheFault) {
    const QByteArray clock = R"("clock": {"now": "2024-04-01T08:05:09", "tickCount": 1})";
    const std::vector<std::pair<QByteArray, const char*>> cases = {
        {"", "not a JSON file"},
        {"{", "line 1"},
        {"{\"torvix-machine\": 1,\n \"locale\": }", "line 2, column 12"},
        {"[1]", "expected a JSON object"},
        {R"({"clock": {"now": "2024-04-01T08:05:09", "tickCount": 1}})", "torvix-machine"},
        {R"({"torvix-machine": 2})", "version 2 is newer than this program reads (1)"},
        {R"({"torvix-machine": "1"})", "version 1"},
        {R"({"torvix-machine": 1.0})", "version 1"},
        {R"({"torvix-machine": 1, "torvix-machine": 1})", "duplicate member"},
        {R"({"torvix-machine": 1} x)", "after the end"},
        {R"({"torvix-machine": 1, "wmiErorr": "x"})", "wmiErorr: unknown member"},
        {R"({"torvix-machine": 1, "locale": 5})", "locale: expected a text, found an integer"},
        {R"({"torvix-machine": 1, "wmiError": null})", "wmiError: expected a text"},
        {R"({"torvix-machine": 1, "clock": {"now": "yesterday", "tickCount": 1}})", "clock.now"},
        {R"({"torvix-machine": 1, "clock": {"now": "2024-04-01", "tickCount": 1}})", "clock.now"},
        {R"({"torvix-machine": 1, "clock": {"now": "2024-04-01T08:05:09"}})",
         "clock.tickCount: missing"},
        {R"({"torvix-machine": 1, "clock": {"now": "2024-04-01T08:05:09", "tickCount": 1.5}})",
         "clock.tickCount: expected an integer"},
        {R"({"torvix-machine": 1, "system": {"processors": "8"}})",
         "system.processors: expected an integer"},
        {R"({"torvix-machine": 1, "system": {"processors": -1}})",
         "system.processors: -1 is out of range"},
        {R"({"torvix-machine": 1, "system": {"screen": {"width": 1}}})",
         "system.screen.height: missing"},
        {R"({"torvix-machine": 1, "system": {"isUserAnAdmin": 0}})",
         "system.isUserAnAdmin: expected true or false"},
        {R"({"torvix-machine": 1, "system": {"disk": {"sectorsPerCluster": 8}}})",
         "system.disk.bytesPerSector"},
        {R"({"torvix-machine": 1, "system": {"specialFolders": {"DeskTop": 1}}})",
         "system.specialFolders.DeskTop"},
        {R"({"torvix-machine": 1, "system": {"procesors": 8}})",
         "system.procesors: unknown member"},
        {R"({"torvix-machine": 1, "directory": []})", "directory: expected an object"},
        {withWmi("[]"), "wmi: expected an object"},
        {withWmi(R"({"Win32_Processor": 5})"), "wmi.Win32_Processor: expected an array"},
        {withWmi(R"({"Win32_Processor": {"eror": "x"}})"),
         "wmi.Win32_Processor: expected an array"},
        {withWmi(R"({"Win32_Processor": {"error": 1}})"),
         "wmi.Win32_Processor.error: expected a text"},
        {withWmi(R"({"Win32_Processor": [5]})"), "wmi.Win32_Processor[0]: expected an object"},
        {withWmi(R"({"Win32_Processor": [{}, {"MaxClockSpeed": {"mhz": 1}}]})"),
         "wmi.Win32_Processor[1].MaxClockSpeed"},
        {withWmi(R"({"Win32_Processor": [{"X": [[1]]}]})"),
         "wmi.Win32_Processor[0].X[0]: an array cannot hold arrays"},
        {withWmi(R"({"Win32_Processor": [], "WIN32_PROCESSOR": []})"), "given twice"},
        {withWmi(R"({"Win32_Processor": [{"Name": 1, "NAME": 2}]})"),
         "wmi.Win32_Processor[0].NAME: the property is given twice (names ignore case)"},
        {withWmi(R"({"A": [{"O": {"object": {"p": 1, "P": 2}}}]})"), "wmi.A[0].O.object.P"},
        {withWmi(R"({"A": [{"O": {"object": {"P": {"x": 1}}}}]})"), "wmi.A[0].O.object.P"},
        {R"({"torvix-machine": 1, "locale": "\x"})", "invalid escape"},
        {R"({"torvix-machine": 1, "locale": "\u0x1F"})", "hexadecimal"},
        {R"({"torvix-machine": 1, "locale": "\u12"})", "hexadecimal"},
        {"{\"torvix-machine\": 1, \"locale\": \"a\x01\"}", "control character"},
        {"{\"torvix-machine\": 1, \"locale\": \"\xff\"}", "not UTF-8"},
        {R"({"torvix-machine": 1, "locale": 1e999})", "out of range"},
        {R"({"torvix-machine": 01})", "expected"},
        {QByteArray(10000, '[') + QByteArray(10000, ']'), "nested too deeply"},
    };
    for (const auto& [json, expected] : cases) {
        SCOPED_TRACE(json.left(200).toStdString());
        const QString problem = problemOf(json);
        EXPECT_TRUE(problem.startsWith("machine.json: ")) << problem.toStdString();
        EXPECT_TRUE(problem.contains(QLatin1String(expected))) << problem.toStdString();
    }
    EXPECT_TRUE(problemOf("\xEF\xBB\xBF{\"torvix-machine\": 1}").isEmpty());  // a BOM is fine
    EXPECT_TRUE(problemOf(withWmi("{}")).isEmpty());
}

TEST(MachineFile, FilesThatCannotBeReadAndTruncations) {
    test::FakeRoot dir;
    for (const QString& path : {dir.path() + "/absent.json", dir.path()}) {
        try {
            loadMachineFile(path, false);
            FAIL();
        } catch (const MachineFileError& e) {
            EXPECT_TRUE(e.message().startsWith(path + ": ")) << e.message().toStdString();
        }
    }
    // Any cut of a good file is refused with a message, never a crash.
    QFile f(test::dataPath("machines/office_pc.json"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray full = f.readAll();
    for (qsizetype n = 0; n < full.trimmed().size(); n += 7) {
        try {
            fromText(full.left(n));
            ADD_FAILURE() << "cut at " << n << " loaded";
        } catch (const MachineFileError&) {
        }
    }
}

TEST(MachineFile, TickCountMustBeARealUptime) {
    struct Case {
        QByteArray tickCount;
        const char* problem;  // "" when the file loads
    };
    const std::vector<Case> cases = {
        {"0", ""},
        {"3725000", ""},
        {"3155760000000", ""},  // 100 years
        {"3155760000001", "clock.tickCount: tickCount out of range: 3155760000001"},
        {"9223372036854775000", "tickCount out of range"},
        {"9223372036854775807", "tickCount out of range"},
        {"-1", "clock.tickCount: tickCount out of range: -1"},
        {"-9223372036854775808", "tickCount out of range"},
        {"9223372036854775808", "clock.tickCount: expected an integer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tickCount.toStdString());
        const QString problem = problemOf(
            R"({"torvix-machine": 1, "clock": {"now": "2024-04-01T08:05:09", "tickCount": )" +
            c.tickCount + "}}");
        if (*c.problem == 0)
            EXPECT_TRUE(problem.isEmpty()) << problem.toStdString();
        else
            EXPECT_TRUE(problem.contains(QLatin1String(c.problem))) << problem.toStdString();
    }
}

TEST(MachineFile, MessagesQuoteValuesEscapedAndCut) {
    const QByteArray longKey(1'000'000, 'k');
    const QByteArray longNow(10'000'000, '9');
    struct Case {
        QByteArray json;
        QString expected;  // the whole message
    };
    const std::vector<Case> cases = {
        {R"({"torvix-machine": 1, "clock": {"now": "a\nb\u001b[2J\u0007", "tickCount": 1}})",
         R"(machine.json: clock.now: "a\nb\x1b[2J\x07" is not a date and time like )"
         "2024-04-01T08:05:09"},
        {R"({"torvix-machine": 1, "clock": {"now": ")" + longNow + R"(", "tickCount": 1}})",
         "machine.json: clock.now: \"" + QString(200, QLatin1Char('9')) + QChar(0x2026) +
             "\" is not a date and time like 2024-04-01T08:05:09"},
        {R"({"torvix-machine": 1, "system": {"x\u0000y": 1}})",
         "machine.json: system.x\\0y: unknown member (known: processors, screen, isUserAnAdmin, "
         "disk, networkUserName, specialFolders)"},
        {R"({"torvix-machine": 1, ")" + longKey + R"(": 1})",
         "machine.json: " + QString(200, QLatin1Char('k')) + QChar(0x2026) +
             ": unknown member (known: torvix-machine, clock, locale, system, wmi, wmiError, "
             "directory)"},
        {R"({"torvix-machine": 1, "a\r": 1, "a\r": 2})",
         R"(machine.json: not a JSON file: duplicate member "a\r" at line 1, column 33)"},
        {withWmi(R"({"C\t": [{"P": 1, "p\u001b": 2, "P": 3}]})"),
         R"(machine.json: not a JSON file: duplicate member "P" at line 1, column 119)"},
        {R"({"torvix-machine": 1, "directory": {"objects": [{"adsPath": "X\u001b]0;"}]}})",
         R"(machine.json: directory.objects[0].adsPath: "X\x1b]0;" is not a path like )"
         "LDAP://CN=user1,DC=aa"},
        {R"({"torvix-machine": 1, "directory": {"objects": [{"adsPath": "LDAP://CN=a", "\n": 1}]}})",
         "machine.json: directory.objects[0].\\n: unknown member (known: adsPath, "
         "objectCategory, name, pwdLastSet)"},
        {withWmi(R"({"C\t": [{"P": [[1]]}]})"),
         R"(machine.json: wmi.C\t[0].P[0]: an array cannot hold arrays)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json.left(120).toStdString());
        const QString problem = problemOf(c.json);
        EXPECT_EQ(problem.toStdString(), c.expected.toStdString());
        EXPECT_LT(problem.size(), 1000);
    }
}

TEST(MachineFile, OnlyRegularFilesAreRead) {
    // FIFOs are tried in a process of their own (InputProcess), where a regression cannot hang
    // the tests.
    test::FakeRoot dir;
    const QString big = dir.path() + "/big.json";
    {
        QFile f(big);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(64 * 1024 * 1024 + 1));  // sparse: no disk used
    }
    struct Case {
        QString path;
        QString problem;
    };
    const std::vector<Case> cases = {
        {"/dev/zero", "/dev/zero: is not a regular file (a FIFO or device), not a machine file"},
        {"/dev/null", "/dev/null: is not a regular file (a FIFO or device), not a machine file"},
        {dir.path(), dir.path() + ": is a folder, not a machine file"},
        {dir.path() + "/absent.json", dir.path() + "/absent.json: cannot be read: "},
        {big, big + ": too large for a machine file (more than 64 MB)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        QString problem;
        try {
            loadMachineFile(c.path, false);
        } catch (const MachineFileError& e) {
            problem = e.message();
        }
        EXPECT_TRUE(problem.startsWith(c.problem)) << problem.toStdString();
    }
}

TEST(MachineFile, NamesThatAreNotUtf8OpenAndShowEscaped) {
    test::FakeRoot dir;
    const QByteArray good = R"({"torvix-machine": 1, "locale": "ja_JP"})";
    const QByteArray bad = R"({"torvix-machine": 1, "locale": 5})";
    struct Case {
        QByteArray name;  // bytes of the file name
        QByteArray content;
        QString shownName;  // "" when it loads
    };
    const std::vector<Case> cases = {
        {"\xFF\xFE.json", good, ""},
        {"\xE6\x97\xA5.json", good, ""},
        {"\xFF\xFE-bad.json", bad, "\\xff\\xfe-bad.json"},
        {"line\nbreak\x1b.json", bad, "line\\nbreak\\x1b.json"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toHex().toStdString());
        const QByteArray path = dir.path().toUtf8() + "/" + c.name;
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, c.content.constData(), size_t(c.content.size())),
                  ssize_t(c.content.size()));
        ::close(fd);
        // As the command line hands it over.
        const QString given = textFromBytes(path);
        QString problem;
        try {
            EXPECT_EQ(loadMachineFile(given, false).locale, "ja_JP");
        } catch (const MachineFileError& e) {
            problem = e.message();
        }
        ::unlink(path.constData());  // the temporary folder cannot remove such names itself
        if (c.shownName.isEmpty()) {
            EXPECT_TRUE(problem.isEmpty()) << problem.toStdString();
        } else {
            EXPECT_EQ(problem, dir.path() + "/" + c.shownName +
                                   ": locale: expected a text, found an integer");
        }
    }
}

// Values cost far more memory than their text ("0,"): a parse stops at a budget in proportion to
// the file's size and names the member too large.
TEST(MachineFile, ValuesBeyondTheMemoryBudgetNameTheirPart) {
    auto zeros = [](int n) { return "[" + QByteArray("0,").repeated(n) + "0]"; };
    const QByteArray product = R"({"torvix-machine": 1, "wmi": {"Win32_Product": )";
    const std::vector<std::tuple<QByteArray, qint64, QString>> cases = {
        {product + zeros(2000) + "}}", 100000, "wmi.Win32_Product holds too many values"},
        {zeros(2000), 100000, "the document holds too many values to read (more than 0 MB"},
        {product + zeros(2000) + "}}", 4000000, ""},
        {product + zeros(1500000) + "}}", -1,
         "wmi.Win32_Product holds too many values to read (more than 139 MB"},
    };
    for (const auto& [json, budget, error] : cases) {
        machinefile::JsonNode root;
        QString why;
        bool tooLarge = true;
        EXPECT_EQ(machinefile::parseJson(json, root, why, budget, &tooLarge), error.isEmpty());
        EXPECT_EQ(tooLarge, !error.isEmpty());
        EXPECT_EQ(why.left(error.size()), error);
    }
}
