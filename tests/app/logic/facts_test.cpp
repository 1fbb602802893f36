#include "app/logic/facts.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "app/logic/command_line.h"
#include "app/logic/report.h"
#include "platform/machine.h"
#include "support/private_slapd.h"
#include "support/test_support.h"

using namespace torvix;

namespace {

const QStringList factKeys = {"version",
                              "collected",
                              "cpu_clock",
                              "cpu_type",
                              "cores",
                              "memory_size",
                              "free_memory",
                              "access_level",
                              "password_changed",
                              "connection",
                              "user",
                              "host",
                              "ip_address",
                              "subnet_mask",
                              "gateway",
                              "dns",
                              "wins_primary",
                              "wins_secondary",
                              "dhcp_server",
                              "ip_acquired",
                              "logon_count",
                              "os",
                              "service_pack",
                              "mac_address",
                              "pointing_device",
                              "display",
                              "disk_total",
                              "disk_used",
                              "disk_use",
                              "default_printer",
                              "product_model",
                              "product_maker",
                              "os_started",
                              "uptime",
                              "installed_software",
                              "printers",
                              "boots"};

QByteArray factsOf(const QString& file) {
    Machine m = loadMachineFile(test::dataPath("machines/" + file), false);
    CommandLine c;
    c.mode = CommandLine::Mode::Facts;
    QByteArray out;
    EXPECT_EQ(runReport(c, m, out), 0);
    return out;
}

QJsonValue parse(const char* json) {
    return QJsonDocument::fromJson(QByteArray("[") + json + "]").array().at(0);
}

}  // namespace

TEST(CommandLineParse, Facts) {
    const CommandLine f = parseCommandLine({"--facts", "--machine", "pc.json"});
    EXPECT_EQ(f.mode, CommandLine::Mode::Facts);
    EXPECT_EQ(f.machineFile, "pc.json");
    for (const QStringList& args :
         {QStringList{"--facts", "--report"}, QStringList{"--facts", "--facts"},
          QStringList{"--facts", "--window", "Form2"}, QStringList{"--facts=json"},
          QStringList{"--facts", "--press", "Command31"}}) {
        const CommandLine c = parseCommandLine(args);
        EXPECT_EQ(c.mode, CommandLine::Mode::Invalid) << args.join(' ').toStdString();
        EXPECT_FALSE(c.error.isEmpty());
    }
    EXPECT_TRUE(usageText().contains("--facts [--machine FILE]"));
}

// Keys in the documented order on every machine file, then the values of the table: the window's
// texts, null for "------" boxes and for lists that could not be read, arrays for the lists.
TEST(Facts, KeysAndValuesOnMachineFiles) {
    struct Row {
        const char* file;
        const char* key;
        const char* json;
    };
    const Row rows[] = {
        {"office_pc.json", "version", "\"" TORVIX_VERSION "\""},
        {"office_pc.json", "cpu_clock", R"j("2.394GHz")j"},
        {"office_pc.json", "cores", R"j("コア数 8  (64ビット)")j"},
        {"office_pc.json", "free_memory", R"j("9,877MB   (59.2%)")j"},
        {"office_pc.json", "password_changed", R"j("2024/03/01 10:00:00")j"},
        {"office_pc.json", "disk_total", R"j("500.108Gバイト")j"},
        {"office_pc.json", "disk_use", R"j("62.59%")j"},
        {"office_pc.json", "product_model", R"j("OptiPlex 7060")j"},
        {"office_pc.json", "os_started", R"j("2024/4/1 7:3:4")j"},
        {"office_pc.json", "uptime", R"j("1時間2分5秒")j"},
        {"office_pc.json", "installed_software",
         R"j([{"name": "bash", "version": "5.2.15-2+b2"},
             {"name": "libc6", "version": "2.36-9+deb12u4"}])j"},
        {"office_pc.json", "printers",
         R"j([{"name": "Office_Laser", "default": true, "port": "ipp://printer.example/ipp/print"},
             {"name": "PDF", "default": false, "port": "cups-pdf:/"}])j"},
        {"office_pc.json", "boots",
         R"j([{"time": "2024-04-01T07:00:12+09:00", "event": "start"},
             {"time": "2024-03-31T19:00:00+09:00", "event": "shutdown"},
             {"time": "2024-03-31T08:30:00+09:00", "event": "start"}])j"},
        // Almost nothing to gather: boxes whose routine failed keep "------"; the lists are
        // empty but readable.
        {"minimal.json", "cpu_clock", "null"},
        {"minimal.json", "display", "null"},
        {"minimal.json", "dns", R"j(["設定されていません", null, null])j"},
        {"minimal.json", "product_maker", R"j("")j"},
        {"minimal.json", "uptime", R"j("0時間0分0秒")j"},
        {"minimal.json", "installed_software", "[]"},
        {"minimal.json", "boots", "[]"},
        // No management service: the lists are unknown, not empty.
        {"wmi_stopped.json", "installed_software", "null"},
        {"wmi_stopped.json", "printers", "null"},
        {"wmi_stopped.json", "boots", "null"},
        {"wmi_stopped.json", "os", "null"},
        {"printers.json", "default_printer", R"j("Office_Laser")j"},
        {"printers.json", "printers",
         R"j([{"name": "Office_Laser", "default": true, "port": "ipp://printer.example/ipp/print"},
             {"name": "PDF", "default": false, "port": "cups-pdf:/"},
             {"name": "経理部 複合機", "default": false, "port": null}])j"},
        // The newest ten of twelve, at Japan time whatever offset the log wrote.
        {"boot_history.json", "boots",
         R"j([{"time": "2024-04-01T07:00:12+09:00", "event": "start"},
             {"time": "2024-03-31T19:00:12+09:00", "event": "shutdown"},
             {"time": "2024-03-31T07:00:12+09:00", "event": "start"},
             {"time": "2024-03-30T19:00:12+09:00", "event": "shutdown"},
             {"time": "2024-03-30T07:00:12+09:00", "event": "start"},
             {"time": "2024-03-29T19:00:12+09:00", "event": "shutdown"},
             {"time": "2024-03-29T07:00:12+09:00", "event": "start"},
             {"time": "2024-03-28T19:00:12+09:00", "event": "shutdown"},
             {"time": "2024-03-28T07:00:12+09:00", "event": "start"},
             {"time": "2024-03-27T19:00:12+09:00", "event": "shutdown"}])j"},
        {"boot_history.json", "installed_software",
         R"j([{"name": "bash", "version": "5.2.15-2+b2"},
             {"name": "org.example.Tool", "version": null},
             {"name": "\"quoted\"\tname", "version": "1"}])j"},
    };
    QMap<QString, QByteArray> outputs;
    for (const Row& row : rows) {
        if (!outputs.contains(row.file)) outputs.insert(row.file, factsOf(row.file));
        const QByteArray& out = outputs[row.file];
        QJsonParseError err;
        const QJsonObject facts = QJsonDocument::fromJson(out, &err).object();
        ASSERT_EQ(err.error, QJsonParseError::NoError) << row.file << ": " << out.constData();
        const QJsonValue expected = parse(row.json);
        ASSERT_FALSE(expected.isUndefined()) << "bad table JSON: " << row.json;
        EXPECT_EQ(facts.value(row.key), expected)
            << row.file << " " << row.key << ": " << out.constData();
    }
    static const QRegularExpression memberLine(QStringLiteral("^  \"([a-z_]+)\": "),
                                               QRegularExpression::MultilineOption);
    static const QRegularExpression iso(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$"));
    for (auto it = outputs.cbegin(); it != outputs.cend(); ++it) {
        QStringList keys;
        for (const auto& m : memberLine.globalMatch(QString::fromUtf8(it.value())))
            keys << m.captured(1);
        EXPECT_EQ(keys, factKeys) << it.key().toStdString();
        const QJsonObject facts = QJsonDocument::fromJson(it.value()).object();
        EXPECT_TRUE(iso.match(facts["collected"].toString()).hasMatch())
            << facts["collected"].toString().toStdString();
        EXPECT_EQ(facts["dns"].toArray().size(), 3);
        // An item is text or null, never a design caption or a label's heading.
        for (const FactItem& item : factItems()) {
            const QJsonArray values =
                facts[item.key].isArray() ? facts[item.key].toArray() : QJsonArray{facts[item.key]};
            for (const QJsonValue& v : values) {
                EXPECT_TRUE(v.isNull() || v.isString()) << item.key.toStdString();
                EXPECT_NE(v.toString(), "------");
                EXPECT_FALSE(v.toString().contains("Ｗｉｎｄｏｗｓ"));
            }
        }
    }
}

// A mode waits for a silent print server once, however many of its parts list the printers; the
// list is then unknown, not empty.
TEST(Facts, ModesAskASilentPrintServerOnce) {
    QTemporaryDir root;
    LiveMachineOptions live;
    live.root = root.path();
    for (const QStringList& args : {QStringList{"--facts"}, {"--report", "--window", "Form5"}}) {
        test::SilentListener silent;  // of its own: a reader given up on may try again later
        qputenv("CUPS_SERVER", "127.0.0.1:" + QByteArray::number(silent.port()));
        Machine machine = makeLiveMachine(live);
        QByteArray out;
        runReport(parseCommandLine(args), machine, out);
        EXPECT_EQ(silent.takePending(), 1) << args.join(' ').toStdString();
        EXPECT_EQ(out.contains("\"printers\": null,"), args[0] == "--facts");
    }
    qunsetenv("CUPS_SERVER");
}
