#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include "support/test_support.h"

// The whole output of `torvix --facts --machine` from the built program, byte for byte: member
// order, layout, escapes and the collection time with the zone's offset.
TEST(FactsProcess, ExactOutputForAMachineFile) {
    QTemporaryDir dir;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C");
    env.insert("TZ", "Asia/Tokyo");
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir.path());
    p.start(QStringLiteral(TORVIX_BINARY),
            {"--facts", "--machine", torvix::test::dataPath("machines/office_pc.json")});
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
    QFile expected(torvix::test::dataPath("facts/office_pc.json"));
    ASSERT_TRUE(expected.open(QIODevice::ReadOnly));
    QByteArray want = expected.readAll();
    want.replace("@VERSION@", TORVIX_VERSION);
    EXPECT_EQ(p.readAllStandardOutput().toStdString(), want.toStdString());
    // Nothing written beside it: the facts leave no file behind.
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}
