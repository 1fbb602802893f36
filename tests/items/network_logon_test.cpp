#include <gtest/gtest.h>

#include "items/network/network_items.h"
#include "items/network_harness.h"

using namespace torvix;
using torvix::test::NetworkHarness;

namespace {

struct LogonCase {
    const char* name;
    QByteArray wmi;    // the machine file's "wmi" member
    bool preset;       // Text29 shows "3" in light cyan from an earlier run
    QString expected;  // Text29 afterwards ("------" is the design text, left alone)
    bool filled;
    bool succeeds;
};

QByteArray profiles(const QByteArray& instances) {
    return R"({"Win32_NetworkLoginProfile": [)" + instances + "]}";
}

}  // namespace

TEST(LogonCountItem, LastProfileWithACountOtherThanOneDecides) {
    const std::vector<LogonCase> cases = {
        {"0, 5, 1 in that order",
         profiles(R"({"NumberOfLogons": 0}, {"NumberOfLogons": 5}, {"NumberOfLogons": 1})"), false,
         "5", true, true},
        {"only 1 and null", profiles(R"({"NumberOfLogons": 1}, {"NumberOfLogons": null})"), false,
         "------", false, true},
        {"only 1 and null keep an earlier value",
         profiles(R"({"NumberOfLogons": 1}, {"NumberOfLogons": null})"), true, "3", true, true},
        {"0 alone is the digit", profiles(R"({"NumberOfLogons": 0})"), false, "0", true, true},
        {"5 then 0", profiles(R"({"NumberOfLogons": 5}, {"NumberOfLogons": 0})"), true, "0", true,
         true},
        {"large count", profiles(R"({"NumberOfLogons": 4294967295})"), false, "4294967295", true,
         true},
        {"no profile at all", "{}", false, "------", false, true},
        {"failing class keeps an earlier value",
         R"({"Win32_NetworkLoginProfile": {"error": "wtmp unreadable"}})", true, "3", true, false},
        {"count missing on the second profile",
         profiles(R"({"NumberOfLogons": 7}, {"Name": "root"})"), false, "7", true, false},
    };
    for (const LogonCase& c : cases) {
        SCOPED_TRACE(c.name);
        NetworkHarness h(c.wmi);
        if (c.preset) {
            h.form.setText("Text29", "3");
            h.form.setBackground("Text29", colors::filled);
        }
        EXPECT_EQ(h.click("Command29"), c.succeeds);
        EXPECT_EQ(h.text("Text29"), c.expected);
        EXPECT_EQ(h.filled("Text29"), c.filled);
        const QString tip = h.form.toolTip("Text29");
        if (c.succeeds) {
            EXPECT_TRUE(tip.isEmpty()) << tip.toStdString();
        } else {
            EXPECT_TRUE(tip.startsWith("Command29_Click: ")) << tip.toStdString();
            if (c.preset) {
                EXPECT_TRUE(tip.contains("wtmp unreadable")) << tip.toStdString();
            }
        }
    }
}
