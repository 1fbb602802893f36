#include "windows/logic/form5_logic.h"

#include <gtest/gtest.h>

#include "app/logic/command_line.h"
#include "app/logic/report.h"
#include "items/item_harness.h"
#include "support/test_support.h"

using namespace torvix;
using torvix::test::ItemHarness;
using torvix::test::machineJson;

namespace {

QStringList loadLines(const QByteArray& json) {
    Machine machine = parseMachineFile(json, "machine.json", false);
    Form5Logic form5;
    form5.Form_Load(machine);
    return form5.model().items("List1");
}

QByteArray printers(const QByteArray& instances) {
    return machineJson("{}", R"({"Win32_Printer": [)" + instances + "]}");
}

}  // namespace

TEST(Form5Logic, OneLinePerPrinterInTheServicesOrder) {
    const struct {
        const char* name;
        QByteArray json;
        QStringList expected;
    } cases[] = {
        {"default printer marked",
         printers(R"({"Caption": "P1", "PortName": "USB001", "Default": true})"),
         {"P1     ポート : USB001   通常使うプリンター"}},
        {"order kept, not sorted",
         printers(R"({"Caption": "Zeta", "PortName": "z", "Default": false},
                     {"Caption": "Alpha", "PortName": "a", "Default": true},
                     {"Caption": "Mid", "PortName": "m", "Default": false})"),
         {"Zeta     ポート : z", "Alpha     ポート : a   通常使うプリンター",
          "Mid     ポート : m"}},
        {"null port ends the line at the label",
         printers(R"({"Caption": "NoPort", "PortName": null, "Default": false},
                     {"Caption": "NoPortDefault", "PortName": null, "Default": true})"),
         {"NoPort     ポート : ", "NoPortDefault     ポート :    通常使うプリンター"}},
        {"null, false, absent or non-true Default: no marker",
         printers(R"({"Caption": "A", "PortName": "p", "Default": null},
                     {"Caption": "B", "PortName": "p", "Default": false},
                     {"Caption": "C", "PortName": "p"},
                     {"Caption": "D", "PortName": "p", "Default": "maybe"})"),
         {"A     ポート : p", "B     ポート : p", "C     ポート : p", "D     ポート : p"}},
        {"a line that fails half way never repeats the one before",
         printers(R"({"Caption": "Good", "PortName": "LPT1", "Default": false},
                     {"PortName": "COM1", "Default": true},
                     {"Caption": ["not", "text"], "PortName": {"object": {"x": 1}}, "Default": false},
                     {"Caption": null, "PortName": "FILE:", "Default": false})"),
         {"Good     ポート : LPT1", "     ポート : COM1   通常使うプリンター",
          "     ポート : ", "     ポート : FILE:"}},
        {"no printers", printers(""), {}},
        {"class absent", machineJson("{}", "{}"), {}},
        {"class fails",
         machineJson("{}", R"({"Win32_Printer": {"error": "the print spooler is not running"}})"),
         {}},
        {"service unreachable",
         R"({"torvix-machine": 1, "clock": {"now": "2024-04-01T09:07:14", "tickCount": 1},
             "wmiError": "RPC server unavailable", "wmi": {"Win32_Printer": [
             {"Caption": "P1", "PortName": "USB001", "Default": true}]}})",
         {}},
    };
    for (const auto& c : cases) EXPECT_EQ(loadLines(c.json), c.expected) << c.name;
}

TEST(Form5Logic, ExactlyOneMarkerAndItIsThePrinterTheBoxNames) {
    ItemHarness h(test::machineJson("{}", R"({"Win32_Printer": [
        {"Caption": "PDF", "PortName": "cups-pdf:/", "Default": false},
        {"Caption": "Office_Laser", "PortName": "ipp://printer.example/ipp/print", "Default": true},
        {"Caption": "Label", "PortName": null, "Default": null}]})"));
    ASSERT_TRUE(h.click("Command21"));
    Form5Logic form5;
    form5.Form_Load(h.machine);
    const QStringList lines = form5.model().items("List1");
    const QStringList marked = lines.filter("   通常使うプリンター");
    ASSERT_EQ(marked.size(), 1) << lines.join('\n').toStdString();
    EXPECT_TRUE(marked[0].startsWith(h.text("Text18") + "     ポート : "));
}

TEST(Form5Logic, ReportListsTheLinesThenTheButton) {
    Machine machine = loadMachineFile(test::dataPath("machines/printers.json"), false);
    EXPECT_TRUE(reportWindowNames().contains("Form5"));
    CommandLine c;
    c.mode = CommandLine::Mode::Report;
    c.window = "Form5";
    QByteArray out;
    ASSERT_EQ(runReport(c, machine, out), 0);
    EXPECT_EQ(
        QString::fromUtf8(out),
        "List1\tOffice_Laser     ポート : ipp://printer.example/ipp/print   通常使うプリンター\t\n"
        "List1\tPDF     ポート : cups-pdf:/\t\n"
        "List1\t経理部 複合機     ポート : \t\n"
        "Command1\t表示終了\t\n");
}
