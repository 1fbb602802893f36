#include <gtest/gtest.h>

#include <QDir>

#include "platform/live/network_providers.h"
#include "support/test_support.h"

using namespace torvix;
using namespace torvix::live;
using torvix::test::FakeRoot;

namespace {

// A /proc/PID/stat line: fields 3.. after the name, with ppid (4), threads (20) and start (22).
QByteArray statLine(qint64 pid, const QByteArray& comm, qint64 ppid, qint64 start) {
    QByteArray line = QByteArray::number(pid) + " (" + comm + ") S " + QByteArray::number(ppid);
    // fields 5..19
    for (int f = 5; f <= 19; ++f) line += f == 14 ? " 250" : f == 15 ? " 1234567" : " 0";
    line += " 3 0 " + QByteArray::number(start) + " 123456789 100\n";  // 20 21 22 23 24
    return line;
}

struct Procs {
    FakeRoot root;
    NetworkSources sources(std::optional<QTimeZone> zone = QTimeZone(9 * 3600)) const {
        NetworkSources s;
        s.root = root.path();
        s.clockTicksPerSecond = 100;
        s.timeZone = zone;
        s.hostName = [] { return QStringLiteral("pc01.corp.example"); };
        return s;
    }
    std::vector<wmi::Instance> walk(std::optional<QTimeZone> zone = QTimeZone(9 * 3600)) const {
        auto provider = makeProcessProvider(sources(zone));
        wmi::wql::Query q;
        auto cursor = provider->enumerate(q);
        std::vector<wmi::Instance> out;
        while (auto i = cursor->next()) out.push_back(std::move(*i));
        return out;
    }
};

TEST(ProcessProvider, ProcessesInIdOrderWithTheirDetails) {
    Procs p;
    p.root.write("proc/stat", "cpu  1 2 3\nbtime 1700000000\nprocesses 99\n");
    p.root.write("proc/1/stat", statLine(1, "systemd", 0, 250));
    p.root.write("proc/1/cmdline", QByteArray("/sbin/init\0splash\0", 18));
    p.root.symlink("proc/1/exe", "/usr/lib/systemd/systemd");
    // A name with blanks and parentheses of its own.
    p.root.write("proc/42/stat", statLine(42, "a) (b c", 1, 1000));
    p.root.write("proc/1000/stat", statLine(1000, "gnome-shell-cal", 42, 5));
    p.root.write("proc/1000/cmdline", QByteArray("/usr/libexec/gnome-shell-calendar-server\0", 41));
    p.root.write("proc/7/stat", statLine(7, "kworker/0:1", 2, 0));
    p.root.write("proc/7/cmdline", "");
    p.root.mkdir("proc/sys");
    p.root.symlink("proc/self", "1");
    p.root.mkdir("proc/0123");  // not a process id as the kernel writes them

    const auto all = p.walk();
    ASSERT_EQ(all.size(), 4u);
    QList<qint64> pids;
    for (const auto& i : all) pids << i.property(u"ProcessId").toInteger();
    EXPECT_EQ(pids, QList<qint64>({1, 7, 42, 1000}));

    const wmi::Instance& init = all[0];
    EXPECT_EQ(init.property(u"Name").toText(), "systemd");
    EXPECT_EQ(init.property(u"Caption").toText(), "systemd");
    EXPECT_EQ(init.property(u"ParentProcessId").toInteger(), 0);
    EXPECT_EQ(init.property(u"CommandLine").toText(), "/sbin/init splash");
    EXPECT_EQ(init.property(u"ExecutablePath").toText(), "/usr/lib/systemd/systemd");
    EXPECT_EQ(init.property(u"Handle").toText(), "1");
    EXPECT_EQ(init.property(u"CSName").toText(), "PC01");
    EXPECT_EQ(init.property(u"ThreadCount").toInteger(), 3);
    EXPECT_EQ(init.property(u"UserModeTime").toInteger(), 25000000);  // 250 ticks = 2.5 s
    EXPECT_EQ(init.property(u"KernelModeTime").toInteger(), 123456700000);
    // btime 1700000000 = 2023-11-14 22:13:20 UTC; +2.5 s; shown in UTC+9.
    EXPECT_EQ(init.property(u"CreationDate").toText(), "20231115071322.500000+540");

    EXPECT_EQ(all[1].property(u"Name").toText(), "kworker/0:1");
    EXPECT_TRUE(all[1].property(u"CommandLine").isNull());  // kernel threads have none
    EXPECT_TRUE(all[1].property(u"ExecutablePath").isNull());
    EXPECT_EQ(all[1].property(u"CreationDate").toText(), "20231115071320.000000+540");

    EXPECT_EQ(all[2].property(u"Name").toText(), "a) (b c");
    EXPECT_EQ(all[2].property(u"ParentProcessId").toInteger(), 1);
    EXPECT_EQ(all[2].property(u"CreationDate").toText(), "20231115071330.000000+540");

    // The kernel cuts names at 15 bytes; the command line has the whole one.
    EXPECT_EQ(all[3].property(u"Name").toText(), "gnome-shell-calendar-server");

    // West of UTC, with a half-hour offset.
    EXPECT_EQ(p.walk(QTimeZone(-(3 * 3600 + 1800)))[0].property(u"CreationDate").toText(),
              "20231114184322.500000-210");
}

TEST(ProcessProvider, CreationDateComesAfterOtherProperties) {
    Procs p;
    p.root.write("proc/stat", "btime 1700000000\n");
    p.root.write("proc/1/stat", statLine(1, "init", 0, 0));
    const auto all = p.walk();
    ASSERT_EQ(all.size(), 1u);
    QStringList names;
    for (const auto& prop : all[0].properties()) names << prop.name;
    const qsizetype at = names.indexOf("CreationDate");
    ASSERT_GT(at, 0);
    EXPECT_TRUE(names.mid(0, at).contains("Caption"));
    EXPECT_TRUE(names.contains("ExecutablePath"));
    EXPECT_TRUE(names.contains("ProcessId"));
}

TEST(ProcessProvider, MalformedAndVanishingProcesses) {
    Procs p;
    p.root.write("proc/stat", "btime nonsense\n");
    p.root.write("proc/1/stat", statLine(1, "init", 0, 100));
    p.root.write("proc/2/stat", "2 no parentheses at all");
    p.root.write("proc/3/stat", QByteArray("3 (x)", 5));  // no fields after the name
    p.root.write("proc/4/stat", QByteArray("\0\0\xff)(", 5));
    p.root.mkdir("proc/5");  // ended before its files were read

    const auto all = p.walk();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_TRUE(all[0].property(u"CreationDate").isNull());  // no boot time
    EXPECT_EQ(all[1].property(u"ProcessId").toInteger(), 2);
    EXPECT_TRUE(all[1].property(u"Name").isNull());
    EXPECT_TRUE(all[1].property(u"ParentProcessId").isNull());
    EXPECT_EQ(all[2].property(u"Name").toText(), "x");
    EXPECT_TRUE(all[2].property(u"CreationDate").isNull());
    EXPECT_TRUE(all[3].property(u"Name").isNull());

    // No /proc at all: no processes, no failure.
    FakeRoot empty;
    NetworkSources s = p.sources();
    s.root = empty.path();
    wmi::wql::Query q;
    EXPECT_FALSE(makeProcessProvider(s)->enumerate(q)->next());
}

TEST(ProcessProvider, ReadsEachProcessAsTheWalkReachesIt) {
    Procs p;
    p.root.write("proc/stat", "btime 1700000000\n");
    p.root.write("proc/1/stat", statLine(1, "init", 0, 0));
    p.root.write("proc/2/stat", statLine(2, "kthreadd", 0, 0));
    p.root.write("proc/3/stat", statLine(3, "worker", 2, 0));
    auto provider = makeProcessProvider(p.sources());
    wmi::wql::Query q;
    auto cursor = provider->enumerate(q);
    ASSERT_EQ(cursor->next()->property(u"ProcessId").toInteger(), 1);
    // Process 2 ends after the walk began: it is skipped, not reported from a stale read.
    QDir(p.root.path() + "/proc/2").removeRecursively();
    p.root.write("proc/3/stat", statLine(3, "renamed", 2, 0));
    auto next = cursor->next();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->property(u"ProcessId").toInteger(), 3);
    EXPECT_EQ(next->property(u"Name").toText(), "renamed");
    EXPECT_FALSE(cursor->next());
}

TEST(ProcessProvider, LiveFirstProcessIsInit) {
    NetworkSources s;
    auto provider = makeProcessProvider(s);
    wmi::wql::Query q;
    auto first = provider->enumerate(q)->next();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->property(u"ProcessId").toInteger(), 1);
    const QString date = first->property(u"CreationDate").toText();
    ASSERT_EQ(date.size(), 25);
    const QDateTime local = QDateTime::fromString(date.left(14), "yyyyMMddHHmmss");
    ASSERT_TRUE(local.isValid());
    EXPECT_TRUE(date[21] == '+' || date[21] == '-');
    EXPECT_LE(local.date(), QDate::currentDate().addDays(1));
}

TEST(ManagementDateTime, OffsetAndFractionForm) {
    const QDate d(2018, 10, 30);
    const QTime t(9, 5, 3, 500);
    EXPECT_EQ(toManagementDateTime(QDateTime(d, t, QTimeZone(540 * 60))),
              "20181030090503.500000+540");
    EXPECT_EQ(toManagementDateTime(QDateTime(d, QTime(0, 5, 3), QTimeZone(0))),
              "20181030000503.000000+000");
    EXPECT_EQ(toManagementDateTime(QDateTime(d, QTime(20, 35, 3), QTimeZone(-300 * 60))),
              "20181030203503.000000-300");
    EXPECT_EQ(toManagementDateTime(QDateTime(d, QTime(1, 2, 3), QTimeZone(345 * 60))),
              "20181030010203.000000+345");
    EXPECT_EQ(toManagementDateTime(QDateTime(d, QTime(1, 2, 3), QTimeZone(-(3 * 60 + 30) * 60))),
              "20181030010203.000000-210");
}

}  // namespace
