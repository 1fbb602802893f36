#include "windows/form4.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>

#include "app/form1.h"
#include "app/form_widgets.h"
#include "app/gui_test_support.h"
#include "app/logic/form_layout.h"
#include "support/test_support.h"

using namespace torvix;
using torvix::test::MessageBoxAnswerer;
using torvix::test::waitFor;

namespace {

const QByteArray adapterFile = R"({"torvix-machine": 1,
  "clock": {"now": "2024-04-01T08:05:09", "tickCount": 1}, "locale": "ja_JP",
  "wmi": {"Win32_NetworkAdapterConfiguration": [
    {"IPEnabled": true, "MACAddress": "00:1A:2B:3C:4D:5E", "Description": "Intel I219-LM",
     "IPAddress": ["192.168.0.10"], "DNSHostName": "pc01"},
    {"IPEnabled": false, "MACAddress": null, "Description": "wireguard"}]}})";

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<unreadable>";
    return f.readAll();
}

QStringList lines(QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

// The list window over a main-window model, run in a temporary current directory.
class Form4Test : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(workDir.isValid());
        machine = parseMachineFile(adapterFile, "machine.json", false);
        declareControls(form1Spec(), form1);
        form1.setText("Text11", "pc01");
        form1.setText("Text12", "192.168.0.10");
    }
    void TearDown() override { delete Form4::instance(); }
    QString filePath() const { return workDir.path() + "/MACアドレス.txt"; }

    test::TemporaryCurrentDirectory workDir;
    Machine machine;
    FormModel form1;
};

const QStringList expectedList = {"00:1A:2B:3C:4D:5E  Intel I219-LM",
                                  "xx:xx:xx:xx:xx:xx    wireguard"};

}  // namespace

TEST_F(Form4Test, OpensWithItsListAndWritesTheFile) {
    showForm4(nullptr, form1, machine);
    Form4* f = Form4::instance();
    ASSERT_NE(f, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f));
    EXPECT_EQ(f->windowTitle(), "MACアドレス");
    EXPECT_EQ(f->Command1()->text(), "表示終了");
    EXPECT_EQ(f->font().family(), "ＭＳ Ｐ明朝");
    EXPECT_EQ(f->font().pointSize(), 9);
    EXPECT_FALSE(f->isModal());
    EXPECT_EQ(lines(f->List1()), expectedList);
    // The button sits at the top right, the list fills most of the window.
    EXPECT_GT(f->Command1()->geometry().left(), f->width() / 2);
    EXPECT_LT(f->Command1()->geometry().bottom(), f->List1()->geometry().top());
    EXPECT_GT(f->List1()->height(), f->height() / 2);

    const QByteArray text = readAll(filePath());
    EXPECT_TRUE(
        text.startsWith(QStringLiteral("pc01(192.168.0.10)のMACアドレス\r\n\r\n").toUtf8()));
    EXPECT_TRUE(text.endsWith("xx:xx:xx:xx:xx:xx    wireguard\r\n"));
}

TEST_F(Form4Test, SecondOpenOnlyBringsItForward) {
    showForm4(nullptr, form1, machine);
    Form4* first = Form4::instance();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(first));
    ASSERT_TRUE(QFile::remove(filePath()));
    form1.setText("Text11", "changed");
    showForm4(nullptr, form1, machine);
    EXPECT_EQ(Form4::instance(), first);
    EXPECT_FALSE(QFile::exists(filePath()));  // not written again
    EXPECT_EQ(lines(first->List1()), expectedList);
}

TEST_F(Form4Test, EndButtonTellsWhereTheFileLiesThenCloses) {
    showForm4(nullptr, form1, machine);
    QPointer<Form4> f = Form4::instance();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f));
    MessageBoxAnswerer answer("OK");
    QTest::mouseClick(f->Command1(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return f.isNull(); }));
    EXPECT_EQ(answer.answered(), 1);
    EXPECT_EQ(answer.text, "結果は「" + filePath() + "」に保存されています。");
    EXPECT_EQ(answer.title, "MACアドレス");
    EXPECT_EQ(Form4::instance(), nullptr);
}

TEST_F(Form4Test, ClosingAndReopeningRewritesTheFile) {
    showForm4(nullptr, form1, machine);
    QPointer<Form4> f = Form4::instance();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f));
    MessageBoxAnswerer none("OK");
    f->close();  // the title-bar close: no message
    ASSERT_TRUE(waitFor([&] { return f.isNull(); }));
    QTest::qWait(100);
    EXPECT_EQ(none.answered(), 0);

    form1.setText("Text11", "pc02");
    showForm4(nullptr, form1, machine);
    ASSERT_NE(Form4::instance(), nullptr);
    EXPECT_TRUE(readAll(filePath()).startsWith("pc02("));
}

TEST_F(Form4Test, UnwritableFileIsToldAndTheWindowStillOpens) {
    ASSERT_TRUE(QDir(workDir.path()).mkdir("MACアドレス.txt"));  // the name is taken by a folder
    MessageBoxAnswerer answer("OK");
    showForm4(nullptr, form1, machine);
    Form4* f = Form4::instance();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(answer.answered(), 1);
    EXPECT_TRUE(answer.text.startsWith("「" + filePath() + "」に保存できませんでした。\n"))
        << answer.text.toStdString();
    EXPECT_EQ(answer.title, "MACアドレス");
    EXPECT_TRUE(f->isVisible());
    EXPECT_EQ(lines(f->List1()), expectedList);
}

TEST_F(Form4Test, ReadOnlyDirectory) {
    QDir dir(workDir.path());
    ASSERT_TRUE(dir.mkdir("ro"));
    const QString ro = workDir.path() + "/ro";
    QFile::setPermissions(ro, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    QFile probe(ro + "/probe");
    if (probe.open(QIODevice::WriteOnly)) {
        probe.remove();
        QFile::setPermissions(
            ro, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        GTEST_SKIP() << "this user writes into read-only folders";
    }
    QDir::setCurrent(ro);
    MessageBoxAnswerer answer("OK");
    showForm4(nullptr, form1, machine);
    ASSERT_NE(Form4::instance(), nullptr);
    EXPECT_EQ(answer.answered(), 1);
    EXPECT_TRUE(answer.text.contains("に保存できませんでした。"));
    EXPECT_EQ(lines(Form4::instance()->List1()), expectedList);
    QFile::setPermissions(ro,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST_F(Form4Test, EveryMouseButtonOverTheMainCaptionOpensIt) {
    Form1::Options options;
    options.exitProgram = [] {};
    Form1 main(machine, options);
    main.showCentred();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    auto* command6 = main.widgets().get<QPushButton>("Command6");
    ASSERT_NE(command6, nullptr);
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton, Qt::LeftButton}) {
        QTest::mouseRelease(command6, button);
        QPointer<Form4> f = Form4::instance();
        ASSERT_FALSE(f.isNull()) << int(button);
        EXPECT_EQ(lines(f->List1()).size(), 2);
        delete f.data();
    }
}
