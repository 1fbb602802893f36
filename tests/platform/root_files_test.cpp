#include "platform/live/root_files.h"

#include <gtest/gtest.h>

using namespace torvix;

// Values are unquoted as the shell would: blanks inside quotes or escaped are part of the value,
// bare blanks before a comment are not.
TEST(ShellAssignments, QuotedBlanksStayBareOnesGo) {
    const struct {
        const char* line;
        const char* value;
    } cases[] = {
        {"NAME=\"Debian \"", "Debian "},
        {"NAME='Debian\t'", "Debian\t"},
        {"NAME=Debian\\ ", "Debian\\"},  // the line's trailing blank goes first
        {"NAME=Debian\\  # note", "Debian "},
        {"NAME=Debian   # note", "Debian"},
        {"NAME='a '  # note", "a "},
        {"NAME='a b", "a b"},  // unterminated: the rest of the line
        {"NAME=\"x\"'y '\\'", "xy '"},
        {"export NAME='it'\\''s '", "it's "},
    };
    for (const auto& c : cases) {
        const QHash<QString, QString> values = live::parseShellAssignments(QByteArray(c.line));
        EXPECT_EQ(values.value(QStringLiteral("NAME")), QString::fromUtf8(c.value)) << c.line;
    }
}
