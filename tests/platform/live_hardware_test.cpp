#include <gtest/gtest.h>

#include <QDateTime>
#include <cstring>

#include "platform/live/console_user.h"
#include "platform/live/hardware_providers.h"
#include "platform/wmi/error.h"
#include "support/test_support.h"

using namespace torvix;
using torvix::test::FakeRoot;

namespace {

std::vector<wmi::Instance> walk(const wmi::ClassProvider& provider) {
    wmi::wql::Query query;
    auto cursor = provider.enumerate(query);
    std::vector<wmi::Instance> out;
    while (auto next = cursor->next()) out.push_back(std::move(*next));
    return out;
}

// One logical processor block of /proc/cpuinfo.
QByteArray x86Cpu(int processor, int physical, int core, const char* vendor, int family, int model,
                  int stepping, const char* brand, const char* mhz) {
    return QStringLiteral(
               "processor\t: %1\nvendor_id\t: %2\ncpu family\t: %3\nmodel\t\t: %4\n"
               "model name\t: %5\nstepping\t: %6\ncpu MHz\t\t: %7\nphysical id\t: %8\n"
               "siblings\t: 2\ncore id\t\t: %9\ncpu cores\t: 2\nflags\t\t: fpu vme\n\n")
        .arg(processor)
        .arg(QString::fromLatin1(vendor))
        .arg(family)
        .arg(model)
        .arg(QString::fromLatin1(brand))
        .arg(stepping)
        .arg(QString::fromLatin1(mhz))
        .arg(physical)
        .arg(core)
        .toUtf8();
}

}  // namespace

// --- Win32_Processor --------------------------------------------------------------------------

TEST(LiveProcessor, DesktopIntelUsesBaseFrequencyBeforeBrandAndTurbo) {
    FakeRoot root;
    root.write("proc/cpuinfo", x86Cpu(0, 0, 0, "GenuineIntel", 6, 158, 10,
                                      "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz", "4300.012") +
                                   x86Cpu(1, 0, 1, "GenuineIntel", 6, 158, 10,
                                          "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz", "800.000"));
    root.write("sys/devices/system/cpu/cpu0/cpufreq/base_frequency", "3200000\n");
    root.write("sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq", "4600000\n");
    const auto cpus = walk(live::ProcessorProvider(root.path(), QStringLiteral("x86_64")));
    ASSERT_EQ(cpus.size(), 1u);
    const wmi::Instance& cpu = cpus[0];
    EXPECT_EQ(cpu.property(u"MaxClockSpeed").toInteger(), 3200);
    EXPECT_EQ(cpu.property(u"Description").toText(), "Intel64 Family 6 Model 158 Stepping 10");
    EXPECT_EQ(cpu.property(u"Caption").toText(), cpu.property(u"Description").toText());
    EXPECT_EQ(cpu.property(u"Name").toText(), "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz");
    EXPECT_EQ(cpu.property(u"AddressWidth").toInteger(), 64);
    EXPECT_EQ(cpu.property(u"Manufacturer").toText(), "GenuineIntel");
    EXPECT_EQ(cpu.property(u"NumberOfCores").toInteger(), 2);
    EXPECT_EQ(cpu.property(u"NumberOfLogicalProcessors").toInteger(), 2);
    // Every schema property is there; the ones Linux cannot fill are null.
    ASSERT_TRUE(cpu.has(u"L2CacheSize"));
    EXPECT_TRUE(cpu.property(u"L2CacheSize").isNull());
}

TEST(LiveProcessor, ClockSourcesInOrderOfPreference) {
    const QByteArray amd = x86Cpu(0, 0, 0, "AuthenticAMD", 23, 113, 0,
                                  "AMD Ryzen 5 3600 6-Core Processor", "2195.812");
    {
        // Firmware nominal clock (MHz) beats the turbo maximum (kHz).
        FakeRoot root;
        root.write("proc/cpuinfo", amd);
        root.write("sys/devices/system/cpu/cpu0/acpi_cppc/nominal_freq", "3600\n");
        root.write("sys/devices/system/cpu/cpufreq/policy0/cpuinfo_max_freq", "4208203\n");
        const auto cpus = walk(live::ProcessorProvider(root.path(), QStringLiteral("x86_64")));
        ASSERT_EQ(cpus.size(), 1u);
        EXPECT_EQ(cpus[0].property(u"MaxClockSpeed").toInteger(), 3600);
        EXPECT_EQ(cpus[0].property(u"Description").toText(),
                  "AMD64 Family 23 Model 113 Stepping 0");
    }
    {
        // No brand clock and no nominal one: the maximum of the policy folder, kHz → MHz.
        FakeRoot root;
        root.write("proc/cpuinfo", amd);
        root.write("sys/devices/system/cpu/cpufreq/policy0/cpuinfo_max_freq", "4208203\n");
        root.write("sys/devices/system/cpu/cpu0/acpi_cppc/nominal_freq", "0\n");  // unset
        EXPECT_EQ(walk(live::ProcessorProvider(root.path(), QStringLiteral("x86_64")))[0]
                      .property(u"MaxClockSpeed")
                      .toInteger(),
                  4208);
    }
    {
        // A virtual machine: no cpufreq at all, the brand names a clock.
        FakeRoot root;
        root.write("proc/cpuinfo", x86Cpu(0, 0, 0, "GenuineIntel", 6, 85, 4,
                                          "Intel(R) Xeon(R) Gold 6148 CPU @ 2.40GHz", "2394.374"));
        EXPECT_EQ(walk(live::ProcessorProvider(root.path(), QStringLiteral("x86_64")))[0]
                      .property(u"MaxClockSpeed")
                      .toInteger(),
                  2400);
    }
    {
        // A virtual machine whose brand has no clock: cpu MHz, rounded.
        FakeRoot root;
        root.write("proc/cpuinfo", x86Cpu(0, 0, 0, "AuthenticAMD", 25, 1, 1,
                                          "AMD EPYC 7763 64-Core Processor", "2445.406"));
        const auto cpus = walk(live::ProcessorProvider(root.path(), QStringLiteral("x86_64")));
        EXPECT_EQ(cpus[0].property(u"MaxClockSpeed").toInteger(), 2445);
        EXPECT_EQ(cpus[0].property(u"CurrentClockSpeed").toInteger(), 2445);
    }
    {
        // Figures no processor can have name no clock: the next source answers, else none.
        FakeRoot root;
        root.write("proc/cpuinfo", x86Cpu(0, 0, 0, "GenuineIntel", 6, 158, 10,
                                          "X @ 3666666666666666666.00GHz", "1e300"));
        const auto cpus = walk(live::ProcessorProvider(root.path(), QStringLiteral("x86_64")));
        EXPECT_TRUE(cpus[0].property(u"MaxClockSpeed").isNull());
        EXPECT_TRUE(cpus[0].property(u"CurrentClockSpeed").isNull());
        root.write("proc/cpuinfo", x86Cpu(0, 0, 0, "GenuineIntel", 6, 158, 10,
                                          "X @ 3666666666666666666.00GHz", "2400.5"));
        EXPECT_EQ(walk(live::ProcessorProvider(root.path(), QStringLiteral("x86_64")))[0]
                      .property(u"MaxClockSpeed")
                      .toInteger(),
                  2401);
    }
    {
        // Nothing names a clock: null rather than a made-up figure.
        FakeRoot root;
        root.write("proc/cpuinfo",
                   "processor\t: 0\nvendor_id\t: GenuineIntel\ncpu family\t: 6\n"
                   "model\t\t: 1\nstepping\t: 1\nmodel name\t: Test CPU\n\n");
        EXPECT_TRUE(walk(live::ProcessorProvider(root.path(), QStringLiteral("x86_64")))[0]
                        .property(u"MaxClockSpeed")
                        .isNull());
    }
}

TEST(LiveProcessor, TwoSocketsGiveTwoInstancesInPackageOrder) {
    FakeRoot root;
    // The kernel lists the processors interleaved; package 1 appears first in the file.
    const char* brand = "Intel(R) Xeon(R) CPU E5-2680 v4 @ 2.40GHz";
    root.write("proc/cpuinfo", x86Cpu(0, 1, 0, "GenuineIntel", 6, 79, 1, brand, "1200.000") +
                                   x86Cpu(1, 0, 0, "GenuineIntel", 6, 79, 1, brand, "1200.000") +
                                   x86Cpu(2, 1, 1, "GenuineIntel", 6, 79, 1, brand, "1200.000") +
                                   x86Cpu(3, 0, 1, "GenuineIntel", 6, 79, 1, brand, "1200.000"));
    root.write("sys/devices/system/cpu/cpu1/cpufreq/base_frequency", "2400000\n");
    root.write("sys/devices/system/cpu/cpu0/cpufreq/base_frequency", "2600000\n");
    const auto cpus = walk(live::ProcessorProvider(root.path(), QStringLiteral("x86_64")));
    ASSERT_EQ(cpus.size(), 2u);
    EXPECT_EQ(cpus[0].property(u"DeviceID").toText(), "CPU0");
    EXPECT_EQ(cpus[1].property(u"DeviceID").toText(), "CPU1");
    // Package 0's first processor is cpu1, package 1's is cpu0.
    EXPECT_EQ(cpus[0].property(u"MaxClockSpeed").toInteger(), 2400);
    EXPECT_EQ(cpus[1].property(u"MaxClockSpeed").toInteger(), 2600);
    EXPECT_EQ(cpus[0].property(u"NumberOfLogicalProcessors").toInteger(), 2);
}

TEST(LiveProcessor, ArmBoardWithoutBrandOrPackages) {
    FakeRoot root;
    QByteArray info;
    for (int i = 0; i < 4; ++i) {
        info += QStringLiteral(
                    "processor\t: %1\nBogoMIPS\t: 108.00\nFeatures\t: fp asimd\n"
                    "CPU implementer\t: 0x41\nCPU architecture: 8\nCPU variant\t: 0x0\n"
                    "CPU part\t: 0xd08\nCPU revision\t: 3\n\n")
                    .arg(i)
                    .toUtf8();
    }
    info += "Hardware\t: BCM2835\nRevision\t: c03111\nModel\t\t: Raspberry Pi 4 Model B\n";
    root.write("proc/cpuinfo", info);
    root.write("sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq", "1500000\n");
    const auto cpus = walk(live::ProcessorProvider(root.path(), QStringLiteral("aarch64")));
    ASSERT_EQ(cpus.size(), 1u);
    EXPECT_EQ(cpus[0].property(u"Description").toText(),
              "ARMv8 (64-bit) Family 8 Model D08 Revision 3, ARM");
    EXPECT_EQ(cpus[0].property(u"Name").toText(), "ARM Cortex-A72");
    EXPECT_EQ(cpus[0].property(u"Manufacturer").toText(), "ARM");
    EXPECT_EQ(cpus[0].property(u"MaxClockSpeed").toInteger(), 1500);
    EXPECT_EQ(cpus[0].property(u"AddressWidth").toInteger(), 64);
    EXPECT_EQ(cpus[0].property(u"NumberOfLogicalProcessors").toInteger(), 4);
    EXPECT_EQ(cpus[0].property(u"NumberOfCores").toInteger(), 4);
}

TEST(LiveProcessor, ThirtyTwoBitSystemOnSixtyFourBitProcessor) {
    FakeRoot root;
    root.write("proc/cpuinfo", x86Cpu(0, 0, 0, "GenuineIntel", 6, 142, 9,
                                      "Intel(R) Core(TM) i5-7200U CPU @ 2.50GHz", "2700.000"));
    const auto cpus = walk(live::ProcessorProvider(root.path(), QStringLiteral("i686")));
    EXPECT_EQ(cpus[0].property(u"AddressWidth").toInteger(), 32);
    EXPECT_EQ(cpus[0].property(u"Description").toText(), "x86 Family 6 Model 142 Stepping 9");
    EXPECT_EQ(live::addressWidthOf(QStringLiteral("armv7l")), 32);
    EXPECT_EQ(live::addressWidthOf(QStringLiteral("armv8l")), 32);
    EXPECT_EQ(live::addressWidthOf(QStringLiteral("riscv64")), 64);
    EXPECT_EQ(live::addressWidthOf(QStringLiteral("s390x")), 64);
    EXPECT_EQ(live::addressWidthOf(QStringLiteral("ppc64le")), 64);
}

TEST(LiveProcessor, MissingOrEmptyCpuinfoFailsAsProviderFailure) {
    FakeRoot root;
    live::ProcessorProvider missing(root.path(), QStringLiteral("x86_64"));
    // Nothing is read before the walk starts; the failure comes with the first instance.
    wmi::wql::Query query;
    auto cursor = missing.enumerate(query);
    EXPECT_THROW(cursor->next(), wmi::Error);
    try {
        walk(missing);
        FAIL() << "no failure";
    } catch (const wmi::Error& e) {
        EXPECT_EQ(e.code(), wmi::Error::Code::ProviderFailure);
    }
    root.write("proc/cpuinfo", "\n\n");
    EXPECT_THROW(walk(live::ProcessorProvider(root.path(), QStringLiteral("x86_64"))), wmi::Error);
    // Garbage is no crash: one processor named by what little there is.
    static const char garbage[] = "\x01\x02:\xff\xfe\n: :\nprocessor : x\n";
    root.write("proc/cpuinfo", QByteArray(garbage, sizeof garbage - 1));
    EXPECT_NO_THROW(walk(live::ProcessorProvider(root.path(), QStringLiteral("x86_64"))));
}

// --- Win32_OperatingSystem ------------------------------------------------------------------

TEST(LiveOperatingSystem, MemoryFiguresWithAndWithoutMemAvailable) {
    FakeRoot root;
    root.write(
        "proc/meminfo",
        "MemTotal:       16318480 kB\nMemFree:          512000 kB\n"
        "MemAvailable:    8294400 kB\nBuffers:          100000 kB\nCached:          2000000 kB\n");
    auto os = walk(live::OperatingSystemProvider(root.path()));
    ASSERT_EQ(os.size(), 1u);
    EXPECT_EQ(os[0].property(u"TotalVisibleMemorySize").toInteger(), 16318480);
    EXPECT_EQ(os[0].property(u"FreePhysicalMemory").toInteger(), 8294400);
    EXPECT_EQ(os[0].property(u"ServicePackMajorVersion").toInteger(), 0);

    // Kernels before 3.14: free + buffers + cache.
    root.write("proc/meminfo",
               "MemTotal:        2048000 kB\nMemFree:          100000 kB\n"
               "Buffers:           20000 kB\nCached:           300000 kB\n");
    os = walk(live::OperatingSystemProvider(root.path()));
    EXPECT_EQ(os[0].property(u"FreePhysicalMemory").toInteger(), 420000);

    auto cs = walk(live::ComputerSystemProvider(root.path()));
    EXPECT_EQ(cs[0].property(u"TotalPhysicalMemory").toInteger(), 2048000LL * 1024);
}

TEST(LiveOperatingSystem, CaptionFromOsRelease) {
    FakeRoot root;
    root.write("proc/meminfo", "MemTotal: 1000 kB\nMemAvailable: 500 kB\n");
    const auto caption = [&] {
        return walk(live::OperatingSystemProvider(root.path()))[0].property(u"Caption").toText();
    };
    // Only /usr/lib/os-release.
    root.write("usr/lib/os-release",
               "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n");
    EXPECT_EQ(caption(), "Debian GNU/Linux 12 (bookworm)");
    // /etc wins; unquoted, single-quoted and escaped forms.
    root.write("etc/os-release", "PRETTY_NAME=Fedora\n");
    EXPECT_EQ(caption(), "Fedora");
    root.write("etc/os-release", "# comment\nPRETTY_NAME='Ubuntu 24.04 LTS'\n");
    EXPECT_EQ(caption(), "Ubuntu 24.04 LTS");
    root.write("etc/os-release", "PRETTY_NAME=\"Say \\\"hi\\\" \\$HOME\"\n");
    EXPECT_EQ(caption(), "Say \"hi\" $HOME");
    // No PRETTY_NAME: NAME and VERSION.
    root.write("etc/os-release", "NAME=Arch\nVERSION=\"rolling\"\n");
    EXPECT_EQ(caption(), "Arch rolling");
    // An absolute link is followed inside the root, never into the real system.
    QFile::remove(root.path() + "/etc/os-release");
    root.symlink("etc/os-release", "/usr/lib/os-release");
    EXPECT_EQ(caption(), "Debian GNU/Linux 12 (bookworm)");
}

TEST(LiveOperatingSystem, LastBootUpTimeIsLocalManagementDateTime) {
    FakeRoot root;
    root.write("proc/meminfo", "MemTotal: 1000 kB\nMemAvailable: 500 kB\n");
    const qint64 btime = 1711926309;  // 2024-03-31T23:05:09Z
    root.write("proc/stat",
               QStringLiteral("cpu  1 2 3\nbtime %1\nprocesses 5\n").arg(btime).toUtf8());
    const QString text =
        walk(live::OperatingSystemProvider(root.path()))[0].property(u"LastBootUpTime").toText();
    const QDateTime local = QDateTime::fromSecsSinceEpoch(btime);
    const int offset = local.offsetFromUtc() / 60;
    const QString expected = local.toString("yyyyMMddHHmmss") + ".000000" +
                             (offset < 0 ? "-" : "+") +
                             QString("%1").arg(std::abs(offset), 3, 10, QChar('0'));
    EXPECT_EQ(text, expected);
    EXPECT_EQ(text.size(), 25);
}

TEST(LiveOperatingSystem, UnreadableMeminfoIsProviderFailure) {
    FakeRoot root;
    EXPECT_THROW(walk(live::OperatingSystemProvider(root.path())), wmi::Error);
    EXPECT_THROW(walk(live::ComputerSystemProvider(root.path())), wmi::Error);
}

// --- Win32_ComputerSystemProduct -----------------------------------------------------------

TEST(LiveProduct, FirmwareTablesDeviceTreeOrNothing) {
    {
        FakeRoot root;
        root.write("sys/class/dmi/id/product_name", "  OptiPlex 7070  \n");
        root.write("sys/class/dmi/id/sys_vendor", "Dell Inc.\n");
        const auto p = walk(live::ProductProvider(root.path()));
        ASSERT_EQ(p.size(), 1u);
        // Trailing blanks go, leading ones stay (the model item trims them itself).
        EXPECT_EQ(p[0].property(u"Name").toText(), "  OptiPlex 7070");
        EXPECT_EQ(p[0].property(u"Vendor").toText(), "Dell Inc.");
        EXPECT_TRUE(p[0].property(u"UUID").isNull());
        auto cs = live::readProductIdentity(root.path());
        EXPECT_EQ(*cs.vendor, "Dell Inc.");
    }
    {
        FakeRoot root;
        root.write("sys/class/dmi/id/product_name", "To Be Filled By O.E.M.\n");
        root.write("sys/class/dmi/id/sys_vendor", "To Be Filled By O.E.M.\n");
        const auto p = walk(live::ProductProvider(root.path()));
        EXPECT_EQ(p[0].property(u"Name").toText(), "To Be Filled By O.E.M.");
    }
    {
        FakeRoot root;
        root.write("sys/firmware/devicetree/base/model",
                   QByteArray("Raspberry Pi 4 Model B Rev 1.4\0", 31));
        root.write("sys/firmware/devicetree/base/compatible",
                   QByteArray("raspberrypi,4-model-b\0brcm,bcm2711\0", 35));
        const auto p = walk(live::ProductProvider(root.path()));
        EXPECT_EQ(p[0].property(u"Name").toText(), "Raspberry Pi 4 Model B Rev 1.4");
        EXPECT_EQ(p[0].property(u"Vendor").toText(), "raspberrypi");
    }
    {
        FakeRoot root;
        const auto p = walk(live::ProductProvider(root.path()));
        ASSERT_EQ(p.size(), 1u);
        EXPECT_TRUE(p[0].property(u"Name").isNull());
        EXPECT_TRUE(p[0].property(u"Vendor").isNull());
    }
}

// --- Win32_PointingDevice ------------------------------------------------------------------

namespace {

void inputDevice(const FakeRoot& root, int n, const QByteArray& name, const QByteArray& key,
                 const QByteArray& rel, const QByteArray& abs, const QByteArray& props = "0") {
    const QString dir = QStringLiteral("sys/class/input/input%1/").arg(n);
    root.write(dir + "name", name + "\n");
    root.write(dir + "capabilities/key", key + "\n");
    root.write(dir + "capabilities/rel", rel + "\n");
    root.write(dir + "capabilities/abs", abs + "\n");
    root.write(dir + "properties", props + "\n");
}

QStringList descriptions(const QString& root) {
    QStringList out;
    for (const auto& i : walk(live::PointingDeviceProvider(root)))
        out << i.property(u"Description").toText();
    return out;
}

}  // namespace

TEST(LivePointingDevice, SysfsBitmapsClassifyLikeUdev) {
    FakeRoot root;
    // Keyboard: no pointer.
    inputDevice(root, 0, "AT Translated Set 2 keyboard",
                "402000000 3803078f800d001 feffffdfffefffff fffffffffffffffe", "0", "0");
    // USB mouse: REL_X, REL_Y, BTN_LEFT (bit 0x110 = word 4, bit 16).
    inputDevice(root, 10, "Logitech USB Optical Mouse", "1f0000 0 0 0 0", "143", "0");
    // Touchpad: ABS_X/Y, BTN_TOOL_FINGER (0x145), BTN_TOUCH (0x14a), BTN_LEFT.
    inputDevice(root, 5, "SynPS/2 Synaptics TouchPad", "6420 30000 0 0 0 0", "0", "660800011000003",
                "5");
    // Touchscreen: ABS + MT + BTN_TOUCH, direct.
    inputDevice(root, 7, "ELAN Touchscreen", "400 0 0 0 0 0", "0", "3273800000000003", "2");
    // Pen tablet: BTN_TOOL_PEN (0x140) and BTN_STYLUS (0x14b).
    inputDevice(root, 3, "Wacom Intuos S Pen", "1c43 0 0 0 0 0", "0", "1000003");
    // Pointing stick: REL + BTN_LEFT + INPUT_PROP_POINTING_STICK (bit 5).
    inputDevice(root, 6, "TPPS/2 IBM TrackPoint", "70000 0 0 0 0", "3", "0", "21");
    EXPECT_EQ(descriptions(root.path()),
              QStringList({"Wacom Intuos S Pen", "SynPS/2 Synaptics TouchPad",
                           "TPPS/2 IBM TrackPoint", "Logitech USB Optical Mouse"}));
    const auto devices = walk(live::PointingDeviceProvider(root.path()));
    EXPECT_EQ(devices[1].property(u"PointingType").toInteger(), 7);
    EXPECT_EQ(devices[2].property(u"PointingType").toInteger(), 5);
    EXPECT_EQ(devices[3].property(u"PointingType").toInteger(), 3);
    EXPECT_EQ(devices[3].property(u"Name").toText(), devices[3].property(u"Caption").toText());
}

TEST(LivePointingDevice, UdevDatabaseWinsOverBitmaps) {
    FakeRoot root;
    // The bitmaps say mouse, udev says touchscreen (quirk): udev decides.
    inputDevice(root, 2, "Odd Panel", "1f0000 0 0 0 0", "3", "0");
    root.write("run/udev/data/+input:input2", "E:ID_INPUT=1\nE:ID_INPUT_TOUCHSCREEN=1\n");
    // No bitmaps at all, udev data on the event node.
    root.write("sys/class/input/input4/name", "VirtualBox USB Tablet\n");
    root.write("sys/class/input/input4/event4/dev", "13:68\n");
    root.write("run/udev/data/c13:68", "E:ID_INPUT=1\nE:ID_INPUT_MOUSE=1\n");
    EXPECT_EQ(descriptions(root.path()), QStringList({"VirtualBox USB Tablet"}));
}

TEST(LivePointingDevice, ProcDevicesFallbackSkipsTouchscreensAndDuplicates) {
    FakeRoot root;
    root.write("proc/bus/input/devices",
               "I: Bus=0011 Vendor=0001 Product=0001 Version=ab41\n"
               "N: Name=\"AT Translated Set 2 keyboard\"\n"
               "S: Sysfs=/devices/platform/i8042/serio0/input/input0\n"
               "H: Handlers=sysrq kbd event0 \n"
               "B: EV=120013\n\n"
               "I: Bus=0011 Vendor=0002 Product=0013 Version=0006\n"
               "N: Name=\"VirtualPS/2 VMware VMMouse\"\n"
               "S: Sysfs=/devices/platform/i8042/serio1/input/input4\n"
               "H: Handlers=mouse0 event3 \n"
               "B: KEY=70000 0 0 0 0\nB: REL=3\n\n"
               "I: Bus=0011 Vendor=0002 Product=0013 Version=0006\n"
               "N: Name=\"VirtualPS/2 VMware VMMouse\"\n"
               "S: Sysfs=/devices/platform/i8042/serio1/input/input4\n"
               "H: Handlers=mouse0 event3 \n\n"
               "I: Bus=0018 Vendor=04f3 Product=2234 Version=0100\n"
               "N: Name=\"ELAN Touchscreen\"\n"
               "S: Sysfs=/devices/pci0000:00/i2c/input/input9\n"
               "H: Handlers=mouse1 event9 \n"
               "B: PROP=2\nB: KEY=400 0 0 0 0 0\nB: ABS=3273800000000003\n\n"
               "I: Bus=0003 Vendor=046d Product=c52b\n"
               "N: Name=\"Logitech M705\"\n"
               "S: Sysfs=/devices/pci0000:00/usb1/input/input12\n"
               "H: Handlers=event12 mouse2\n");
    const auto devices = walk(live::PointingDeviceProvider(root.path()));
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].property(u"Description").toText(), "VirtualPS/2 VMware VMMouse");
    EXPECT_EQ(devices[0].property(u"DeviceID").toText(),
              "/devices/platform/i8042/serio1/input/input4");
    EXPECT_EQ(devices[1].property(u"Description").toText(), "Logitech M705");
}

TEST(LivePointingDevice, NoInputDevicesGiveNoInstances) {
    FakeRoot root;
    EXPECT_TRUE(walk(live::PointingDeviceProvider(root.path())).empty());
    root.write("proc/bus/input/devices", "garbage\n\n\nN: Name=\"x\nH: Handlers=mouse\n");
    EXPECT_TRUE(walk(live::PointingDeviceProvider(root.path())).empty());
}

// --- Win32_ComputerSystem: console user and domain -------------------------------------------

namespace {

// One glibc struct utmp record (384 bytes).
QByteArray utmpRecord(short type, const char* line, const char* user, const char* host,
                      int seconds) {
    QByteArray r(384, '\0');
    std::memcpy(r.data(), &type, sizeof type);
    const int pid = 1234;
    std::memcpy(r.data() + 4, &pid, sizeof pid);
    std::strncpy(r.data() + 8, line, 32);
    std::strncpy(r.data() + 44, user, 32);
    std::strncpy(r.data() + 76, host, 256);
    std::memcpy(r.data() + 340, &seconds, sizeof seconds);
    return r;
}

constexpr short kUser = 7, kLogin = 6, kDead = 8, kBoot = 2;

wmi::Instance computerSystem(const FakeRoot& root) {
    return walk(live::ComputerSystemProvider(root.path())).at(0);
}

void baseSystem(const FakeRoot& root) {
    root.write("proc/meminfo", "MemTotal: 8000000 kB\n");
    root.write("proc/sys/kernel/hostname", "office-pc12.example.lan\n");
    root.write("etc/passwd",
               "root:x:0:0:root:/root:/bin/bash\nyamada:x:1000:1000::/home/yamada:/bin/bash\n");
}

}  // namespace

TEST(LiveComputerSystem, ConsoleUserFromUtmp) {
    FakeRoot root;
    baseSystem(root);
    // Nobody on the console: a getty, a remote ssh login, a terminal emulator of a remote X.
    root.write("run/utmp", utmpRecord(kBoot, "~", "reboot", "6.1.0", 100) +
                               utmpRecord(kLogin, "tty1", "LOGIN", "", 110) +
                               utmpRecord(kUser, "pts/0", "suzuki", "192.0.2.7", 120) +
                               utmpRecord(kDead, "tty2", "", "", 130));
    EXPECT_TRUE(computerSystem(root).property(u"UserName").isNull());

    // A local login on tty2.
    root.write("run/utmp", utmpRecord(kUser, "pts/0", "suzuki", "192.0.2.7", 120) +
                               utmpRecord(kUser, "tty2", "yamada", "", 130));
    const wmi::Instance cs = computerSystem(root);
    EXPECT_EQ(cs.property(u"UserName").toText(), "OFFICE-PC12\\yamada");
    EXPECT_EQ(cs.property(u"Name").toText(), "OFFICE-PC12");
    EXPECT_EQ(cs.property(u"Domain").toText(), "WORKGROUP");
    EXPECT_FALSE(cs.property(u"PartOfDomain").toBool());

    // Two local logins: the one on the VT shown wins over the later one.
    root.write("run/utmp", utmpRecord(kUser, "tty2", "yamada", "", 130) +
                               utmpRecord(kUser, ":0", "root", ":0", 140));
    EXPECT_EQ(live::consoleUserFromUtmp(root.path()).value(), "root");
    root.write("sys/class/tty/tty0/active", "tty2\n");
    EXPECT_EQ(live::consoleUserFromUtmp(root.path()).value(), "yamada");

    // A truncated file is read up to its last whole record; no utmp at all gives null.
    root.write("run/utmp", utmpRecord(kUser, "tty3", "yamada", "", 1).left(200));
    EXPECT_FALSE(live::consoleUserFromUtmp(root.path()).has_value());
    QFile::remove(root.path() + "/run/utmp");
    EXPECT_TRUE(computerSystem(root).property(u"UserName").isNull());
}

TEST(LiveComputerSystem, DomainFromSssdSambaOrWorkgroup) {
    FakeRoot root;
    baseSystem(root);
    root.write("etc/samba/smb.conf", "[global]\n   workgroup = KEIRI\n   server string = x\n");
    EXPECT_EQ(computerSystem(root).property(u"Domain").toText(), "KEIRI");
    EXPECT_TRUE(computerSystem(root).property(u"Workgroup").toText() == "KEIRI");

    // A Kerberos default realm alone is no join.
    root.write("etc/krb5.conf", "[libdefaults]\n default_realm = AD.EXAMPLE.COM\n");
    EXPECT_EQ(computerSystem(root).property(u"Domain").toText(), "KEIRI");

    // winbind join.
    root.write("etc/samba/smb.conf",
               "[global]\n  Work Group = CORP\n  security = ADS\n  realm = AD.EXAMPLE.COM\n");
    EXPECT_EQ(computerSystem(root).property(u"Domain").toText(), "ad.example.com");

    // realmd/sssd join wins; domain users get the NetBIOS domain.
    root.write("etc/samba/smb.conf", "[global]\n workgroup = KEIRI\n");
    root.write("etc/sssd/sssd.conf",
               "[sssd]\ndomains = Corp.Example.COM\nservices = nss, pam\n\n"
               "[domain/Corp.Example.COM]\nid_provider = ad\nad_domain = Corp.Example.COM\n"
               "use_fully_qualified_names = True\n");
    root.write("run/utmp", utmpRecord(kUser, "tty1", "tanaka@corp.example.com", "", 5));
    wmi::Instance cs = computerSystem(root);
    EXPECT_EQ(cs.property(u"Domain").toText(), "corp.example.com");
    EXPECT_TRUE(cs.property(u"PartOfDomain").toBool());
    EXPECT_TRUE(cs.property(u"Workgroup").isNull());
    EXPECT_EQ(cs.property(u"UserName").toText(), "CORP\\tanaka");

    // Short names: a local account keeps the host, an account unknown to /etc/passwd is the
    // domain's.
    root.write("run/utmp", utmpRecord(kUser, "tty1", "yamada", "", 5));
    EXPECT_EQ(computerSystem(root).property(u"UserName").toText(), "OFFICE-PC12\\yamada");
    root.write("run/utmp", utmpRecord(kUser, "tty1", "sato", "", 5));
    EXPECT_EQ(computerSystem(root).property(u"UserName").toText(), "CORP\\sato");
    // winbind's own form stays as it is.
    root.write("run/utmp", utmpRecord(kUser, "tty1", "CORP\\ito", "", 5));
    EXPECT_EQ(computerSystem(root).property(u"UserName").toText(), "CORP\\ito");

    // An LDAP-only sssd domain is no Windows domain.
    root.write("etc/sssd/sssd.conf", "[sssd]\ndomains = ldap\n[domain/ldap]\nid_provider = ldap\n");
    EXPECT_EQ(computerSystem(root).property(u"Domain").toText(), "KEIRI");
}

TEST(LiveComputerSystem, UnreadableSssdConfFallsBackToItsPublicKdcInfo) {
    FakeRoot root;
    baseSystem(root);
    // sssd.conf is there but cannot be read (only root may): a folder stands in for that here.
    root.mkdir("etc/sssd/sssd.conf");
    EXPECT_EQ(computerSystem(root).property(u"Domain").toText(), "WORKGROUP");
    root.write("var/lib/sss/pubconf/kdcinfo.AD.EXAMPLE.COM", "192.0.2.10\n");
    EXPECT_EQ(computerSystem(root).property(u"Domain").toText(), "ad.example.com");
}
