#include <gtest/gtest.h>

#include "items/item_harness.h"

using torvix::test::ItemHarness;
using torvix::test::machineJson;

TEST(PrinterItem, NamesTheLastDefaultPrinterAndAlwaysFillsTheBox) {
    const struct {
        const char* name;
        QByteArray json;  // a whole machine file
        const char* expected;
    } cases[] = {
        {"one default among three", machineJson("{}", R"({"Win32_Printer": [
             {"Caption": "PDF", "PortName": "cups-pdf:/", "Default": false},
             {"Caption": "Office_Laser", "PortName": "ipp://printer.example/ipp/print", "Default": true},
             {"Caption": "Label", "PortName": "usb://Zebra/ZD420", "Default": null}]})"),
         "Office_Laser"},
        {"two defaults: the last one wins", machineJson("{}", R"({"Win32_Printer": [
             {"Caption": "First", "PortName": "a", "Default": true},
             {"Caption": "Second", "PortName": "b", "Default": true}]})"),
         "Second"},
        {"a default whose name cannot be read keeps the one before",
         machineJson("{}", R"({"Win32_Printer": [
             {"Caption": "Readable", "Default": true},
             {"Caption": null, "Default": true},
             {"PortName": "no caption at all", "Default": true}]})"),
         "Readable"},
        {"a Japanese name", machineJson("{}", R"({"Win32_Printer": [
             {"Caption": "経理部 複合機/draft", "PortName": "ipp://mfp/ipp", "Default": true}]})"),
         "経理部 複合機/draft"},
        {"no default printer", machineJson("{}", R"({"Win32_Printer": [
             {"Caption": "PDF", "PortName": "cups-pdf:/", "Default": false},
             {"Caption": "Other", "PortName": "x", "Default": null}]})"),
         ""},
        {"no printers", machineJson("{}", R"({"Win32_Printer": []})"), ""},
        {"class absent", machineJson("{}", "{}"), ""},
        {"class fails",
         machineJson("{}", R"({"Win32_Printer": {"error": "the print spooler is not running"}})"),
         ""},
        {"service unreachable",
         R"({"torvix-machine": 1, "clock": {"now": "2024-04-01T09:07:14", "tickCount": 1},
             "wmiError": "RPC server unavailable", "wmi": {"Win32_Printer": [
             {"Caption": "P1", "PortName": "USB001", "Default": true}]}})",
         ""},
    };
    for (const auto& c : cases) {
        ItemHarness h(c.json);
        h.form.setText("Text18", "stale");
        EXPECT_TRUE(h.click("Command21")) << c.name;  // never an unguarded failure
        EXPECT_EQ(h.text("Text18"), QString::fromUtf8(c.expected)) << c.name;
        EXPECT_TRUE(h.filled("Text18")) << c.name;
        EXPECT_TRUE(h.form.toolTip("Text18").isEmpty()) << c.name;
        EXPECT_TRUE(h.ui.boxes.empty()) << c.name;
    }
}
