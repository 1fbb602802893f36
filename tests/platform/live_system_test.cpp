#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <QDir>

#include "platform/live/live_system_functions.h"
#include "platform/machine.h"
#include "platform/wmi/error.h"
#include "support/test_support.h"

using namespace torvix;
using torvix::test::FakeRoot;

namespace {

live::LiveSystemFunctions withEnvironment(const QHash<QString, QString>& env,
                                          const QString& root = QStringLiteral("/")) {
    live::LiveSystemOptions o;
    o.root = root;
    o.environment = env;
    return live::LiveSystemFunctions(o);
}

}  // namespace

TEST(LiveSystemFunctions, SpecialFoldersFromXdgUserDirs) {
    FakeRoot home;
    home.write(".config/user-dirs.dirs",
               "# written by xdg-user-dirs-update\n"
               "XDG_DESKTOP_DIR=\"$HOME/デスクトップ\"\n"
               "XDG_DOCUMENTS_DIR=\"/srv/docs/\"\n");
    const auto sys = withEnvironment({{"HOME", home.path()}});
    EXPECT_EQ(sys.specialFolder("DeskTop"), home.path() + "/デスクトップ");
    EXPECT_EQ(sys.specialFolder("MyDocuments"), "/srv/docs");
    EXPECT_EQ(sys.specialFolder("StartUp"), home.path() + "/.config/autostart");
    EXPECT_EQ(sys.specialFolder("StartMenu"), home.path() + "/.local/share/applications");
    EXPECT_EQ(sys.specialFolder("AllUsersStartUp"), "/etc/xdg/autostart");
    EXPECT_EQ(sys.specialFolder("Fonts"), "/usr/share/fonts");
    for (const char* none : {"AllUsersDeskTop", "SendTo", "PrintHood", "NetHood", "Favorites",
                             "Recent", "Nonsense", ""}) {
        EXPECT_EQ(sys.specialFolder(none), "") << none;
    }
    // Keys are taken as the window writes them.
    EXPECT_EQ(sys.specialFolder("desktop"), "");
}

TEST(LiveSystemFunctions, SpecialFoldersFollowXdgVariablesAndDefaults) {
    FakeRoot home;
    FakeRoot data;
    data.mkdir("b/applications");
    // No user-dirs.dirs: the usual English names.
    auto sys = withEnvironment({{"HOME", home.path()},
                                {"XDG_CONFIG_HOME", home.path() + "/cfg/"},
                                {"XDG_DATA_HOME", "relative/ignored"},
                                {"XDG_CONFIG_DIRS", "/etc/xdg/xdg-ubuntu:/etc/xdg"},
                                {"XDG_DATA_DIRS", data.path() + "/a:" + data.path() + "/b/"}});
    EXPECT_EQ(sys.specialFolder("DeskTop"), home.path() + "/Desktop");
    EXPECT_EQ(sys.specialFolder("MyDocuments"), home.path() + "/Documents");
    EXPECT_EQ(sys.specialFolder("StartUp"), home.path() + "/cfg/autostart");
    EXPECT_EQ(sys.specialFolder("StartMenu"), home.path() + "/.local/share/applications");
    EXPECT_EQ(sys.specialFolder("AllUsersStartUp"), "/etc/xdg/xdg-ubuntu/autostart");
    EXPECT_EQ(sys.specialFolder("AllUsersStartMenu"), data.path() + "/b/applications");

    // user-dirs.dirs under XDG_CONFIG_HOME; ${HOME} form; a broken line is skipped.
    home.write("cfg/user-dirs.dirs",
               "XDG_DESKTOP_DIR=\"${HOME}/Work Desk\"\nbroken line\n"
               "XDG_DOCUMENTS_DIR=relative\n");
    EXPECT_EQ(sys.specialFolder("DeskTop"), home.path() + "/Work Desk");
    EXPECT_EQ(sys.specialFolder("MyDocuments"), home.path() + "/Documents");

    // No data folder has applications: nothing.
    sys = withEnvironment({{"HOME", home.path()}, {"XDG_DATA_DIRS", data.path() + "/a"}});
    EXPECT_EQ(sys.specialFolder("AllUsersStartMenu"), "");
    // No home at all: the per-user folders are unknown.
    sys = withEnvironment({});
    EXPECT_EQ(sys.specialFolder("DeskTop"), "");
    EXPECT_EQ(sys.specialFolder("StartUp"), "");
}

TEST(LiveSystemFunctions, ScreenSizeFromCallbackThenDrmModes) {
    FakeRoot root;
    live::LiveSystemOptions o;
    o.root = root.path();
    o.screenSize = [] { return std::optional<ScreenSize>(ScreenSize{2560, 1440}); };
    EXPECT_EQ(live::LiveSystemFunctions(o).screenSize().width, 2560);

    o.screenSize = [] { return std::optional<ScreenSize>(); };
    live::LiveSystemFunctions sys(o);
    EXPECT_THROW(sys.screenSize(), Failure);  // nothing connected

    root.write("sys/class/drm/card0-DP-1/status", "disconnected\n");
    root.write("sys/class/drm/card0-DP-1/modes", "3840x2160\n");
    root.write("sys/class/drm/card0-HDMI-A-1/status", "connected\n");
    root.write("sys/class/drm/card0-HDMI-A-1/modes", "");  // connected, no modes yet
    root.write("sys/class/drm/card0-eDP-1/status", "connected\n");
    root.write("sys/class/drm/card0-eDP-1/modes", "1920x1080\n1280x720\n");
    root.write("sys/class/drm/card0/status", "connected\n");  // the card itself is no connector
    const ScreenSize s = sys.screenSize();
    EXPECT_EQ(s.width, 1920);
    EXPECT_EQ(s.height, 1080);
}

TEST(LiveSystemFunctions, ProcessUserDiskAndProcessors) {
    live::LiveSystemOptions o;
    o.processorCount = 6;
    live::LiveSystemFunctions fixed(o);
    EXPECT_EQ(fixed.processorCount(), 6u);
    live::LiveSystemFunctions real{live::LiveSystemOptions()};
    EXPECT_EQ(real.processorCount(), static_cast<std::uint32_t>(::sysconf(_SC_NPROCESSORS_ONLN)));
    EXPECT_EQ(real.isUserAnAdmin(), ::geteuid() == 0);
    if (const passwd* pw = ::getpwuid(::geteuid())) {
        EXPECT_EQ(real.networkUserName(), QString::fromUtf8(pw->pw_name));
    }

    const DiskFreeSpace d = real.diskFreeSpace();
    EXPECT_EQ(d.sectorsPerCluster, 1u);
    EXPECT_GT(d.bytesPerSector, 0u);
    EXPECT_GT(d.totalClusters, 0u);
    EXPECT_LE(d.freeClusters, d.totalClusters);

    FakeRoot root;
    o.root = root.path() + "/does-not-exist";
    EXPECT_THROW(live::LiveSystemFunctions(o).diskFreeSpace(), Failure);
}

TEST(LiveMachine, EveryHardwareClassAnswersOnThisComputer) {
    // The real machine: the classes must answer (whatever this computer has) without failing.
    const Machine m = makeLiveMachine(LiveMachineOptions());
    ASSERT_TRUE(m.wmi && m.clock && m.system);
    EXPECT_EQ(m.root, "/");
    const wmi::Services svc = m.wmi->ConnectServer();
    for (const char* cls : {"Win32_Processor", "Win32_ComputerSystem", "Win32_OperatingSystem",
                            "Win32_PointingDevice", "Win32_ComputerSystemProduct"}) {
        wmi::ObjectSet set = svc.ExecQuery(QStringLiteral("Select * From %1").arg(cls));
        EXPECT_NO_THROW(set.count()) << cls;
    }
    wmi::ObjectSet cpu = svc.ExecQuery("Select * From Win32_Processor");
    const auto first = cpu.next();
    ASSERT_TRUE(first.has_value());
    EXPECT_GT(first->property(u"AddressWidth").toInteger(), 0);
    EXPECT_FALSE(first->property(u"Description").toText().isEmpty());
    wmi::ObjectSet os = svc.ExecQuery("Select * From Win32_OperatingSystem", 48);
    const auto osi = os.next();
    ASSERT_TRUE(osi.has_value());
    EXPECT_GT(osi->property(u"FreePhysicalMemory").toDouble(), 0);
    EXPECT_LE(osi->property(u"FreePhysicalMemory").toDouble(),
              osi->property(u"TotalVisibleMemorySize").toDouble());
}

TEST(LiveMachine, SyntheticRootReachesEveryProvider) {
    FakeRoot root;
    root.write("proc/cpuinfo",
               "processor\t: 0\nvendor_id\t: GenuineIntel\ncpu family\t: 6\n"
               "model\t\t: 158\nstepping\t: 10\nmodel name\t: X @ 3.00GHz\n\n");
    root.write("proc/meminfo", "MemTotal: 8388608 kB\nMemAvailable: 4194304 kB\n");
    root.write("sys/class/dmi/id/product_name", "ThinkCentre M720q\n");
    LiveMachineOptions options;
    options.root = root.path();
    const Machine m = makeLiveMachine(options);
    const wmi::Services svc = m.wmi->ConnectServer();
    wmi::ObjectSet cpu = svc.ExecQuery("Select MaxClockSpeed From Win32_Processor");
    EXPECT_EQ(cpu.next()->property(u"MaxClockSpeed").toInteger(), 3000);
    wmi::ObjectSet cs = svc.ExecQuery("Select * from Win32_ComputerSystem", 48);
    EXPECT_EQ(cs.next()->property(u"TotalPhysicalMemory").toDouble(), 8589934592.0);
    wmi::ObjectSet p = svc.ExecQuery("Select * From Win32_ComputerSystemProduct");
    EXPECT_EQ(p.next()->property(u"Name").toText(), "ThinkCentre M720q");
    // The drm fallback reads under the same root.
    EXPECT_THROW(m.system->screenSize(), Failure);
}

// The shared start menu is looked for under the root folder, and named as the system sees it.
TEST(LiveSystemFunctions, SharedStartMenuLooksUnderTheRoot) {
    struct Row {
        QStringList foldersUnderRoot;
        QString expected;
    };
    const Row rows[] = {
        {{"usr/share/applications"}, "/usr/share/applications"},
        {{"usr/local/share/applications", "usr/share/applications"},
         "/usr/local/share/applications"},
        {{}, ""},
    };
    for (const Row& row : rows) {
        FakeRoot root;
        for (const QString& folder : row.foldersUnderRoot) root.mkdir(folder);
        const auto sys = withEnvironment({{"HOME", "/home/u"}}, root.path());
        EXPECT_EQ(sys.specialFolder("AllUsersStartMenu"), row.expected)
            << row.foldersUnderRoot.join(' ').toStdString();
    }
}
