#include <gtest/gtest.h>

#include <QProcess>

#include "support/test_support.h"

// Output that cannot be written (a full disk, a closed standard output) fails with one line.
TEST(OutputFailureProcess, EveryModeSaysSoAndFails) {
    qputenv("T", TORVIX_BINARY);
    qputenv("M", torvix::test::dataPath("machines/office_pc.json").toLocal8Bit());
    for (const char* mode : {"--facts", "--report", "--report=json", "--report --window Form7"}) {
        for (const char* redirect : {"> /dev/full", ">&-"}) {
            SCOPED_TRACE(std::string(mode) + " " + redirect);
            QProcess p;
            p.start("bash", {"-c", QString("\"$T\" %1 --machine \"$M\" %2").arg(mode, redirect)});
            ASSERT_TRUE(p.waitForFinished(60000));
            EXPECT_EQ(p.exitCode(), 1);
            const QByteArray error = p.readAllStandardError();
            EXPECT_TRUE(error.startsWith("torvix: cannot write to standard output: ") &&
                        error.count('\n') == 1)
                << error.data();
        }
    }
}
