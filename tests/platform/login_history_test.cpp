#include "platform/live/login_history.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <functional>

#include "platform/live/history_providers.h"
#include "platform/machine.h"
#include "platform/wmi/service.h"
#include "support/test_support.h"

using namespace torvix;
using namespace torvix::live;
using torvix::test::FakeRoot;

namespace {

const QString kEventQuery = QStringLiteral(
    "Select * from Win32_NTLogEvent Where Logfile = 'System' and "
    "(EventCode = '6005' or EventCode = '6006')");

// One record in utmpdump's text form (its parser wants the fields padded as it writes them).
QByteArray utmp(int type, const QString& id, const QString& user, const QString& line,
                const QString& host, const QString& utcTime) {
    return QStringLiteral("[%1] [00000] [%2] [%3] [%4] [%5] [0.0.0.0        ] [%6+00:00]\n")
        .arg(type)
        .arg(id, -4)
        .arg(user, -8)
        .arg(line, -12)
        .arg(host, -20)
        .arg(utcTime)
        .toUtf8();
}
QByteArray boot(const QString& t) {
    return utmp(2, "~~", "reboot", "~", "6.1.0-13-amd64", t);
}
QByteArray shutdown(const QString& t) {
    return utmp(1, "~~", "shutdown", "~~", "6.1.0-13-amd64", t);
}
QByteArray login(const QString& user, const QString& line, const QString& host, const QString& t) {
    return utmp(7, line.right(4), user, line, host, t);
}

// Turns the text form into a binary wtmp with the real tool.
void writeWtmp(const QString& path, const QByteArray& text) {
    QProcess p;
    p.setStandardOutputFile(path);
    p.start(QStringLiteral("utmpdump"), {QStringLiteral("-r")});
    ASSERT_TRUE(p.waitForStarted()) << "utmpdump is missing (package util-linux)";
    p.write(text);
    p.closeWriteChannel();
    ASSERT_TRUE(p.waitForFinished(10000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

qint64 usec(const char* isoUtc) {
    return QDateTime::fromString(QString::fromLatin1(isoUtc), Qt::ISODateWithMs)
               .toMSecsSinceEpoch() *
           1000;
}

void writeWtmpDb(const QString& path, const std::vector<QByteArray>& statements) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    std::vector<QByteArray> all{
        "CREATE TABLE wtmp(ID INTEGER PRIMARY KEY, Type INTEGER, User TEXT, Login INTEGER, "
        "Logout INTEGER, TTY TEXT, RemoteHost TEXT, Service TEXT)"};
    all.insert(all.end(), statements.begin(), statements.end());
    for (const QByteArray& sql : all) {
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sql.constData(), nullptr, nullptr, &error), SQLITE_OK)
            << sql.constData() << ": " << (error ? error : "");
        sqlite3_free(error);
    }
    sqlite3_close(db);
}

// Journal export entries turned into a journal file by systemd-journal-remote.
struct JournalEntry {
    const char* realtimeUtc;
    quint64 monotonic;
    const char* bootId;
    const char* message;
    const char* messageId = nullptr;
};
const char* kJournalStop = "d93fb3c9c24d451a97cea615ce59c00b";
const char* kJournalStart = "f77379a8490b408bbe5f6940505a777b";

void writeJournal(const QString& file, const std::vector<JournalEntry>& entries) {
    QByteArray text;
    for (const JournalEntry& e : entries) {
        text += "__REALTIME_TIMESTAMP=" + QByteArray::number(usec(e.realtimeUtc)) + "\n";
        text += "__MONOTONIC_TIMESTAMP=" + QByteArray::number(e.monotonic) + "\n";
        text += QByteArray("_BOOT_ID=") + e.bootId + "\n";
        text += QByteArray("MESSAGE=") + e.message + "\n";
        if (e.messageId) text += QByteArray("MESSAGE_ID=") + e.messageId + "\n";
        text += "\n";
    }
    QProcess p;
    p.start(QStringLiteral("/lib/systemd/systemd-journal-remote"),
            {QStringLiteral("-o"), file, QStringLiteral("-")});
    ASSERT_TRUE(p.waitForStarted()) << "package systemd-journal-remote is missing";
    p.write(text);
    p.closeWriteChannel();
    ASSERT_TRUE(p.waitForFinished(10000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

HistorySources sourcesFor(const FakeRoot& root) {
    return HistorySources{root.path(), QTimeZone(9 * 3600)};
}

std::vector<wmi::Instance> run(const HistorySources& s, const QString& wql) {
    auto registry = std::make_shared<wmi::Registry>();
    registerHistoryProviders(*registry, s);
    wmi::QueryService service(registry);
    wmi::ObjectSet set = service.ConnectServer().ExecQuery(wql);
    std::vector<wmi::Instance> out;
    while (auto i = set.next()) out.push_back(std::move(*i));
    return out;
}

using Texts = std::vector<std::string>;

// "6005 20240120090507.000000+540" per event, in the order delivered.
Texts eventTexts(const std::vector<wmi::Instance>& events) {
    Texts out;
    for (const wmi::Instance& e : events) {
        out.push_back((QString::number(e.property(u"EventCode").toInteger()) + u' ' +
                       e.property(u"TimeWritten").toText())
                          .toStdString());
    }
    return out;
}

QString valueText(const wmi::Value& v) {
    return v.isNull() ? QStringLiteral("null") : v.toText();
}

const QByteArray kPasswd =
    "root:x:0:0:root:/root:/bin/bash\n"
    "daemon:x:1:1:daemon:/usr/sbin:/usr/sbin/nologin\n"
    "alice:x:1000:1000:Alice Example,,,:/home/alice:/bin/bash\n"
    "carol:x:1001:1001::/home/carol:/bin/bash\n"
    "bob:x:1002:1002:Bob:/home/bob:/bin/bash\n"
    "erin:x:1003:1003::/home/erin:/bin/bash\n"
    "nobody:x:65534:65534:nobody:/nonexistent:/usr/sbin/nologin\n";

// Four boots: a clean stop, a crash (no shutdown before the next start), a clean stop, and the
// running one; logins on consoles, the display, ssh, and terminal emulators that do not count.
QByteArray officeWtmp() {
    return boot("2024-01-20T00:05:07,000000") +
           login("alice", "tty1", "", "2024-01-20T00:06:00,250000") +
           login("alice", "pts/1", ":0", "2024-01-20T00:07:00,000000") +       // xterm in X
           login("alice", "pts/3", "", "2024-01-20T00:07:30,000000") +         // terminal window
           login("bob", "pts/2", "192.0.2.7", "2024-01-20T00:08:00,000000") +  // ssh
           login("root", "tty2", "", "2024-01-20T00:09:00,000000") +
           utmp(8, "ts/2", "", "pts/2", "", "2024-01-20T00:10:00,000000") +  // logout
           shutdown("2024-01-20T09:00:00,000000") + boot("2024-01-21T00:00:00,000000") +
           login("alice", ":0", ":0", "2024-01-21T00:01:00,000000") +  // display manager
           login("bob", "pts/4", "2001:db8::5", "2024-01-21T00:02:00,000000") +
           login("bob", "pts/5", "tmux(1234).%0", "2024-01-21T00:03:00,000000") +
           login("carol", "pts/6", "", "2024-01-21T00:04:00,000000") +
           login("dave", "tty3", "", "2024-01-21T00:05:00,000000") +  // a directory account
           utmp(6, "tty4", "LOGIN", "tty4", "", "2024-01-21T00:06:00,000000") +
           boot("2024-01-22T00:00:00,500000") +
           login("alice", "tty1", "", "2024-01-22T01:00:00,000000") +
           utmp(1, "~~", "runlevel", "~", "6.1.0-13-amd64", "2024-01-22T01:30:00,000000") +
           shutdown("2024-01-22T12:34:56,123456") + boot("2024-01-23T08:00:00,000000");
}

FakeRoot officeRoot() {
    FakeRoot root;
    root.write(QStringLiteral("etc/passwd"), kPasswd);
    root.write(QStringLiteral("proc/sys/kernel/hostname"), "pc01.example.org\n");
    root.mkdir(QStringLiteral("var/log"));
    writeWtmp(root.path() + QStringLiteral("/var/log/wtmp"), officeWtmp());
    return root;
}

TEST(LoginHistory, ProfilesCountRealLoginsPerAccount) {
    const FakeRoot root = officeRoot();
    const auto profiles =
        run(sourcesFor(root), QStringLiteral("Select * From Win32_NetworkLoginProfile"));
    struct Row {
        const char* caption;
        const char* name;
        const char* logons;
        const char* lastLogon;
        const char* fullName;
    };
    // People's accounts in /etc/passwd order (null without a login), then accounts known only
    // from the history; system accounts only with a login of their own.
    const Row expected[] = {
        {"root", "PC01\\root", "1", "20240120090900.000000+540", "root"},
        {"alice", "PC01\\alice", "3", "20240122100000.000000+540", "Alice Example"},
        {"carol", "PC01\\carol", "null", "null", "null"},
        {"bob", "PC01\\bob", "2", "20240121090200.000000+540", "Bob"},
        {"erin", "PC01\\erin", "null", "null", "null"},
        {"dave", "PC01\\dave", "1", "20240121090500.000000+540", "null"},
    };
    ASSERT_EQ(profiles.size(), std::size(expected));
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        SCOPED_TRACE(expected[i].caption);
        const wmi::Instance& p = profiles[i];
        EXPECT_EQ(p.property(u"Caption").toText().toStdString(), expected[i].caption);
        EXPECT_EQ(p.property(u"Name").toText().toStdString(), expected[i].name);
        EXPECT_EQ(valueText(p.property(u"NumberOfLogons")).toStdString(), expected[i].logons);
        EXPECT_EQ(valueText(p.property(u"LastLogon")).toStdString(), expected[i].lastLogon);
        EXPECT_EQ(valueText(p.property(u"FullName")).toStdString(), expected[i].fullName);
    }
}

TEST(LoginHistory, LoginKindsThatCount) {
    struct Row {
        const char* line;
        const char* host;
        bool real;
    };
    const Row rows[] = {
        {"tty1", "", true},
        {"ttyS0", "", true},
        {"console", "", true},
        {"seat0", "", true},
        {":0", ":0", true},
        {":1", "", true},
        {"tty7", ":0", true},
        {"pts/0", "192.0.2.1", true},
        {"pts/0", "2001:db8::1", true},
        {"pts/0", "::1", true},
        {"pts/0", "host.example", true},
        {"ssh", "198.51.100.2", true},
        {"pts/0", "", false},
        {"pts/0", ":0", false},
        {"pts/0", ":0.0", false},
        {"pts/0", "localhost:10.0", false},
        {"pts/0", "tmux(42).%1", false},
        {"pts/0", "  ", false},
        {"", "", false},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(isRealLogin(QString::fromUtf8(r.line), QString::fromUtf8(r.host)), r.real)
            << r.line << " from '" << r.host << "'";
    }
}

// What `last -x` says about the file: its starts ("reboot") and shutdowns, newest first.
Texts lastEvents(const QString& wtmp) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QStringLiteral("JST-9"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("last"), {QStringLiteral("-x"), QStringLiteral("--time-format"),
                                     QStringLiteral("iso"), QStringLiteral("-f"), wtmp});
    if (!p.waitForFinished(10000)) return {"last did not run"};
    Texts out;
    static const QRegularExpression iso(
        QStringLiteral("^(\\d{4})-(\\d\\d)-(\\d\\d)T(\\d\\d):(\\d\\d):(\\d\\d)\\+09:00$"));
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split(u'\n')) {
        const QStringList f = line.simplified().split(u' ');
        if (f.size() < 5 || (f[0] != u"reboot" && f[0] != u"shutdown")) continue;
        const QRegularExpressionMatch m = iso.match(f[4]);
        if (!m.hasMatch()) continue;
        out.push_back((QString::fromLatin1(f[0] == u"reboot" ? "6005 " : "6006 ") + m.captured(1) +
                       m.captured(2) + m.captured(3) + m.captured(4) + m.captured(5) +
                       m.captured(6) + QStringLiteral("+540"))
                          .toStdString());
    }
    return out;
}

TEST(LoginHistory, WtmpStartsAndShutdownsNewestFirstAsLastShowsThem) {
    const FakeRoot root = officeRoot();
    const auto events = run(sourcesFor(root), kEventQuery);
    const Texts expected = {
        "6005 20240123170000.000000+540", "6006 20240122213456.123456+540",
        "6005 20240122090000.500000+540",
        "6005 20240121090000.000000+540",  // after a crash: two starts in a row
        "6006 20240120180000.000000+540", "6005 20240120090507.000000+540",
    };
    EXPECT_EQ(eventTexts(events), expected);

    Texts seconds;  // `last` shows whole seconds
    for (const std::string& e : expected) seconds.push_back(e.substr(0, 19) + e.substr(26));
    EXPECT_EQ(lastEvents(root.path() + QStringLiteral("/var/log/wtmp")), seconds);

    // The live machine answers the same from the same root.
    LiveMachineOptions options;
    options.root = root.path();
    const Machine machine = makeLiveMachine(options);
    wmi::ObjectSet live = machine.wmi->ConnectServer().ExecQuery(kEventQuery);
    EXPECT_EQ(live.count(), static_cast<int>(expected.size()));

    qint64 previous = std::numeric_limits<qint64>::max();
    for (const wmi::Instance& e : events) {
        EXPECT_EQ(e.property(u"Logfile").toText().toStdString(), "System");
        EXPECT_EQ(e.property(u"SourceName").toText().toStdString(), "EventLog");
        EXPECT_EQ(e.property(u"ComputerName").toText().toStdString(), "PC01");
        EXPECT_EQ(e.property(u"TimeGenerated").toText(), e.property(u"TimeWritten").toText());
        const qint64 number = e.property(u"RecordNumber").toInteger();
        EXPECT_LT(number, previous) << "record numbers grow with time";
        previous = number;
    }
}

TEST(LoginHistory, QueriesPickTheirEvents) {
    const FakeRoot root = officeRoot();
    struct Row {
        const char* where;
        int count;
        const char* first;
    };
    const Row rows[] = {
        {"Logfile = 'System' and (EventCode = '6005' or EventCode = '6006')", 6,
         "6005 20240123170000.000000+540"},
        {"Logfile = 'system' and EventCode = 6006", 2, "6006 20240122213456.123456+540"},
        {"Logfile = 'Application'", 0, ""},
        {"EventCode = '7001'", 0, ""},
        {"SourceName = 'EventLog' and RecordNumber > 0", 6, "6005 20240123170000.000000+540"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.where);
        const auto events =
            run(sourcesFor(root), QStringLiteral("Select * from Win32_NTLogEvent Where ") +
                                      QString::fromUtf8(r.where));
        ASSERT_EQ(static_cast<int>(events.size()), r.count);
        if (r.count) {
            EXPECT_EQ(eventTexts(events).front(), r.first);
        }
    }
}

TEST(LoginHistory, WtmpDbAndTheOlderWtmpBeforeIt) {
    FakeRoot root;
    root.write(QStringLiteral("etc/passwd"), kPasswd);
    root.write(QStringLiteral("proc/sys/kernel/hostname"), "pc01\n");
    root.mkdir(QStringLiteral("var/log"));
    root.mkdir(QStringLiteral("var/lib/wtmpdb"));
    // The wtmp of the time before wtmpdb; its last records were also taken over into it.
    writeWtmp(root.path() + QStringLiteral("/var/log/wtmp"),
              boot("2024-01-10T00:00:00,000000") +
                  login("alice", "tty1", "", "2024-01-10T00:01:00,000000") +
                  shutdown("2024-01-10T12:00:00,000000") + boot("2024-02-01T00:00:00,000000") +
                  login("alice", "tty1", "", "2024-02-01T00:01:00,000000"));
    auto row = [](int id, int type, const char* user, const char* login, const char* logout,
                  const char* tty, const char* host) {
        auto time = [](const char* t) { return t ? QByteArray::number(usec(t)) : "NULL"; };
        auto text = [](const char* t) { return t ? "'" + QByteArray(t) + "'" : "NULL"; };
        return "INSERT INTO wtmp VALUES(" + QByteArray::number(id) + "," +
               QByteArray::number(type) + "," + text(user) + "," + time(login) + "," +
               time(logout) + "," + text(tty) + "," + text(host) + ",'login')";
    };
    writeWtmpDb(
        root.path() + QStringLiteral("/var/lib/wtmpdb/wtmp.db"),
        {row(1, 1, "reboot", "2024-02-01T00:00:00Z", "2024-02-01T10:00:00Z", "~", nullptr),
         row(2, 3, "alice", "2024-02-01T00:01:00Z", "2024-02-01T09:00:00Z", "tty1", nullptr),
         row(3, 3, "alice", "2024-02-01T00:02:00Z", nullptr, "pts/0", nullptr),
         row(4, 3, "bob", "2024-02-01T00:03:00Z", nullptr, "ssh", "198.51.100.4"),
         row(5, 1, "reboot", "2024-02-02T00:00:00Z", nullptr, "~", nullptr),  // crash
         row(6, 1, "reboot", "2024-02-03T00:00:00Z", "2024-02-03T05:00:00.250Z", "~", nullptr),
         row(7, 3, "alice", "2024-02-03T00:01:00Z", nullptr, "seat0", nullptr),
         row(8, 3, "reboot", "2024-02-03T00:02:00Z", nullptr, "tty2", nullptr),
         row(9, 3, "frank", nullptr, nullptr, "tty5", nullptr)});  // a login without its time

    EXPECT_EQ(eventTexts(run(sourcesFor(root), kEventQuery)),
              Texts({"6006 20240203140000.250000+540", "6005 20240203090000.000000+540",
                     "6005 20240202090000.000000+540", "6006 20240201190000.000000+540",
                     "6005 20240201090000.000000+540", "6006 20240110210000.000000+540",
                     "6005 20240110090000.000000+540"}));

    Texts counts;
    for (const wmi::Instance& p :
         run(sourcesFor(root), QStringLiteral("Select * From Win32_NetworkLoginProfile"))) {
        counts.push_back(
            (p.property(u"Caption").toText() + u'=' + valueText(p.property(u"NumberOfLogons")))
                .toStdString());
        if (p.property(u"Caption").toText() == u"frank") {
            EXPECT_TRUE(p.property(u"LastLogon").isNull());
        }
    }
    // A person who happens to be called "reboot" logs in like anyone else.
    EXPECT_EQ(counts,
              Texts({"alice=3", "carol=null", "bob=1", "erin=null", "frank=1", "reboot=1"}));
}

// Three boots: the first stopped cleanly, the second restarted the journal service and then
// crashed, the third is running (its journal is the volatile one under /run).
void writeBootJournals(const FakeRoot& root) {
    const char* b1 = "11111111111111111111111111111111";
    const char* b2 = "22222222222222222222222222222222";
    const char* b3 = "33333333333333333333333333333333";
    root.mkdir(QStringLiteral("var/log/journal/0123456789abcdef0123456789abcdef"));
    root.mkdir(QStringLiteral("run/log/journal"));
    writeJournal(root.path() + QStringLiteral("/var/log/journal/0123456789abcdef0123456789abcdef/"
                                              "system.journal"),
                 {{"2024-03-01T00:00:10.000Z", 1000, b1, "Linux version 6.1.0"},
                  {"2024-03-01T00:00:11.000Z", 2000, b1, "Journal started", kJournalStart},
                  {"2024-03-01T08:00:00.000Z", 9000, b1, "Journal stopped", kJournalStop},
                  {"2024-03-02T00:00:20.000Z", 1000, b2, "Linux version 6.1.0"},
                  {"2024-03-02T00:00:21.000Z", 2000, b2, "Journal started", kJournalStart},
                  {"2024-03-02T03:00:00.000Z", 5000, b2, "Journal stopped", kJournalStop},
                  {"2024-03-02T03:00:01.000Z", 5001, b2, "Journal started", kJournalStart},
                  {"2024-03-02T04:00:00.000Z", 6000, b2, "still running"}});
    writeJournal(root.path() + QStringLiteral("/run/log/journal/system.journal"),
                 {{"2024-03-03T00:00:30.000Z", 1000, b3, "Linux version 6.1.0"},
                  {"2024-03-03T00:00:31.000Z", 2000, b3, "Journal started", kJournalStart}});
}

TEST(LoginHistory, JournalStandsInForAHistoryWithoutStarts) {
    const Texts fromJournal = {"6005 20240303090030.000000+540", "6005 20240302090020.000000+540",
                               "6006 20240301170000.000000+540", "6005 20240301090010.000000+540"};
    struct Row {
        const char* name;
        QByteArray wtmp;  // empty: no file
        Texts expected;
    };
    const std::vector<Row> rows = {
        {"journal only", {}, fromJournal},
        {"wtmp with logins only", login("alice", "tty1", "", "2024-03-01T00:01:00,000000"),
         fromJournal},
        {"wtmp with a start",
         boot("2024-03-03T00:00:00,000000"),
         {"6005 20240303090000.000000+540"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        FakeRoot root;
        writeBootJournals(root);
        if (!r.wtmp.isEmpty()) {
            root.mkdir(QStringLiteral("var/log"));
            writeWtmp(root.path() + QStringLiteral("/var/log/wtmp"), r.wtmp);
        }
        EXPECT_EQ(eventTexts(run(sourcesFor(root), kEventQuery)), r.expected);
    }
}

QByteArray binaryWtmp(const QByteArray& text) {
    FakeRoot scratch;
    const QString path = scratch.path() + QStringLiteral("/wtmp");
    writeWtmp(path, text);
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray noise(qsizetype size, quint32 seed) {
    QRandomGenerator random(seed);
    QByteArray out(size, '\0');
    for (char& c : out) c = static_cast<char>(random.bounded(256));
    return out;
}

TEST(LoginHistory, BrokenOrMissingFilesGiveWhatIsReadable) {
    const QByteArray oneBoot = binaryWtmp(boot("2024-01-20T00:05:07,000000") +
                                          login("alice", "tty1", "", "2024-01-20T00:06:00,000000"));
    ASSERT_EQ(oneBoot.size(), 768);
    QByteArray impossibleTime = oneBoot.left(384);
    const int usecField = 344;  // ut_tv.tv_usec
    impossibleTime[usecField + 2] = 0x7f;
    QByteArray unknownType = oneBoot.left(384);
    unknownType[0] = 42;

    struct Row {
        const char* name;
        std::function<void(const FakeRoot&)> setup;
        int profiles;  // -1: any number
        int events;
    };
    auto wtmp = [](const QByteArray& bytes) {
        return [bytes](const FakeRoot& r) { r.write(QStringLiteral("var/log/wtmp"), bytes); };
    };
    const std::vector<Row> rows = {
        {"nothing at all", [](const FakeRoot&) {}, 0, 0},
        {"empty wtmp", wtmp({}), 0, 0},
        {"a partial record at the end", wtmp(oneBoot + oneBoot.left(200)), 1, 1},
        {"a record shorter than one", wtmp(oneBoot.left(383)), 0, 0},
        {"an impossible time", wtmp(impossibleTime), 0, 0},
        {"an unknown record type", wtmp(unknownType), 0, 0},
        {"random bytes", wtmp(noise(512 * 1024, 7)), -1, -1},
        {"a wtmp.db that is no database",
         [&](const FakeRoot& r) {
             r.write(QStringLiteral("var/log/wtmp"), oneBoot);
             r.write(QStringLiteral("var/lib/wtmpdb/wtmp.db"), noise(8192, 3));
         },
         1, 1},
        {"a database without the wtmp table",
         [&](const FakeRoot& r) {
             r.write(QStringLiteral("var/log/wtmp"), oneBoot);
             r.mkdir(QStringLiteral("var/lib/wtmpdb"));
             sqlite3* db = nullptr;
             sqlite3_open(QFile::encodeName(r.path() + "/var/lib/wtmpdb/wtmp.db").constData(), &db);
             sqlite3_exec(db, "CREATE TABLE other(x)", nullptr, nullptr, nullptr);
             sqlite3_close(db);
         },
         1, 1},
        {"a journal file of random bytes",
         [](const FakeRoot& r) {
             r.write(QStringLiteral("var/log/journal/system.journal"), noise(64 * 1024, 5));
         },
         0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        FakeRoot root;
        r.setup(root);
        const auto profiles =
            run(sourcesFor(root), QStringLiteral("Select * From Win32_NetworkLoginProfile"));
        const auto events = run(sourcesFor(root), kEventQuery);
        if (r.profiles >= 0) {
            EXPECT_EQ(static_cast<int>(profiles.size()), r.profiles);
        }
        if (r.events >= 0) {
            EXPECT_EQ(static_cast<int>(events.size()), r.events);
        }
        for (const wmi::Instance& e : events) {
            const qint64 code = e.property(u"EventCode").toInteger();
            EXPECT_TRUE(code == 6005 || code == 6006) << code;
            EXPECT_EQ(e.property(u"TimeWritten").toText().size(), 25);
        }
    }
}

}  // namespace
