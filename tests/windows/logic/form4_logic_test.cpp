#include "windows/logic/form4_logic.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "items/network_harness.h"

using namespace torvix;
using torvix::test::adapters;
using torvix::test::NetworkHarness;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<unreadable>";
    return f.readAll();
}

class RecordingUi : public UserInterface {
  public:
    Answer messageBox(const QString& text, const QString& title, Buttons buttons,
                      Icon icon) override {
        texts << text;
        titles << title;
        this->buttons = buttons;
        this->icon = icon;
        return Answer::Ok;
    }
    QStringList texts, titles;
    Buttons buttons = Buttons::YesNo;
    Icon icon = Icon::None;
};

const QByteArray threeAdapters = adapters(
    R"({"IPEnabled": true, "MACAddress": "00:1A:2B:3C:4D:5E", "Description": "Intel I219-LM"},)"
    R"({"IPEnabled": true, "MACAddress": null, "Description": "wireguard"},)"
    R"({"IPEnabled": false, "MACAddress": "", "Description": "tun0"},)"
    R"({"IPEnabled": false, "MACAddress": "11:22:33:44:55:66", "Description": null})");

}  // namespace

TEST(MacLines, ListAndFileFormats) {
    EXPECT_EQ(macListLine("00:1A:2B:3C:4D:5E", "eth"), "00:1A:2B:3C:4D:5E  eth");
    EXPECT_EQ(macFileLine("00:1A:2B:3C:4D:5E", "eth"), "00:1A:2B:3C:4D:5E    eth");
    EXPECT_EQ(macListLine("", "tun"), "xx:xx:xx:xx:xx:xx    tun");
    EXPECT_EQ(macFileLine("", "tun"), "xx:xx:xx:xx:xx:xx    tun");
}

TEST(Form4Logic, ModelHasTheListThenTheButton) {
    Form4Logic logic;
    EXPECT_EQ(logic.model().names(), QStringList({"List1", "Command1"}));
    EXPECT_EQ(logic.model().text("Command1"), "表示終了");
    EXPECT_TRUE(logic.model().items("List1").isEmpty());
}

TEST(Form4Logic, ListsEveryAdapterAndWritesTheFile) {
    NetworkHarness h(threeAdapters);
    h.form.setText("Text11", "pc01");
    h.form.setText("Text12", "192.168.0.10");
    QTemporaryDir dir;
    Form4Logic logic;
    logic.Form_Load(h.form, h.machine, dir.path(), "UTF-8");

    EXPECT_EQ(logic.model().items("List1"),
              QStringList({"00:1A:2B:3C:4D:5E  Intel I219-LM", "xx:xx:xx:xx:xx:xx    wireguard",
                           "xx:xx:xx:xx:xx:xx    tun0", "11:22:33:44:55:66  "}));
    EXPECT_EQ(logic.path(), dir.path() + "/MACアドレス.txt");
    EXPECT_FALSE(logic.fileError());
    EXPECT_FALSE(logic.queryError());
    EXPECT_EQ(readAll(logic.path()), QStringLiteral("pc01(192.168.0.10)のMACアドレス\r\n"
                                                    "\r\n"
                                                    "00:1A:2B:3C:4D:5E    Intel I219-LM\r\n"
                                                    "xx:xx:xx:xx:xx:xx    wireguard\r\n"
                                                    "xx:xx:xx:xx:xx:xx    tun0\r\n"
                                                    "11:22:33:44:55:66    \r\n")
                                         .toUtf8());
}

TEST(Form4Logic, FileInCp932) {
    NetworkHarness h(adapters(R"({"MACAddress": "00:1A:2B:3C:4D:5E", "Description": "有線😀"})"));
    h.form.setText("Text11", "ホスト");
    h.form.setText("Text12", "設定されていません");
    QTemporaryDir dir;
    Form4Logic logic;
    logic.Form_Load(h.form, h.machine, dir.path(), "CP932");
    EXPECT_EQ(logic.model().items("List1"), QStringList({"00:1A:2B:3C:4D:5E  有線😀"}));
    // ホスト(設定されていません)のMACアドレス / 有線 then "?" for the character CP932 lacks.
    EXPECT_EQ(readAll(logic.path()),
              QByteArray("\x83\x7a\x83\x58\x83\x67(\x90\xdd\x92\xe8\x82\xb3\x82\xea\x82\xc4\x82"
                         "\xa2\x82\xdc\x82\xb9\x82\xf1)\x82\xcc"
                         "MAC\x83\x41\x83\x68\x83\x8c\x83"
                         "\x58\r\n\r\n00:1A:2B:3C:4D:5E    \x97\x4c\x90\xfc?\r\n"));
}

TEST(Form4Logic, HeaderCopiesTheMainWindowAsItStands) {
    NetworkHarness h(adapters(""));
    QTemporaryDir dir;
    Form4Logic logic;
    logic.Form_Load(h.form, h.machine, dir.path(), "UTF-8");
    EXPECT_TRUE(logic.model().items("List1").isEmpty());
    EXPECT_EQ(readAll(logic.path()),
              QStringLiteral("------(------)のMACアドレス\r\n\r\n").toUtf8());
}

TEST(Form4Logic, ReloadRewritesTheFile) {
    NetworkHarness h(threeAdapters);
    QTemporaryDir dir;
    Form4Logic logic;
    logic.Form_Load(h.form, h.machine, dir.path(), "UTF-8");
    h.form.setText("Text11", "renamed");
    logic.Form_Load(h.form, h.machine, dir.path(), "UTF-8");
    EXPECT_EQ(logic.model().items("List1").size(), 4);  // not doubled
    EXPECT_TRUE(readAll(logic.path()).startsWith("renamed("));
}

TEST(Form4Logic, UnwritableFileKeepsTheListAndSaysSo) {
    NetworkHarness h(threeAdapters);
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("MACアドレス.txt"));  // a folder takes the name
    Form4Logic logic;
    logic.Form_Load(h.form, h.machine, dir.path(), "UTF-8");
    EXPECT_EQ(logic.model().items("List1").size(), 4);
    ASSERT_TRUE(logic.fileError());

    RecordingUi ui;
    EXPECT_TRUE(logic.reportFileError(ui));
    ASSERT_EQ(ui.texts.size(), 1);
    EXPECT_TRUE(
        ui.texts[0].startsWith("「" + dir.path() + "/MACアドレス.txt」に保存できませんでした。\n"));
    EXPECT_TRUE(ui.texts[0].contains(*logic.fileError()));
    EXPECT_EQ(ui.titles[0], "MACアドレス");
    EXPECT_EQ(ui.icon, UserInterface::Icon::Critical);

    // "表示終了" does not claim a file that was never written.
    RecordingUi end;
    logic.Command1_Click(end);
    ASSERT_EQ(end.texts.size(), 1);
    EXPECT_FALSE(end.texts[0].contains("保存されています"));
}

TEST(Form4Logic, EndMessageNamesThePath) {
    NetworkHarness h(threeAdapters);
    QTemporaryDir dir;
    Form4Logic logic;
    logic.Form_Load(h.form, h.machine, dir.path(), "UTF-8");
    RecordingUi ui;
    EXPECT_FALSE(logic.reportFileError(ui));
    EXPECT_TRUE(ui.texts.isEmpty());
    logic.Command1_Click(ui);
    ASSERT_EQ(ui.texts.size(), 1);
    EXPECT_EQ(ui.texts[0], "結果は「" + dir.path() + "/MACアドレス.txt」に保存されています。");
    EXPECT_EQ(ui.titles[0], "MACアドレス");
    EXPECT_EQ(ui.buttons, UserInterface::Buttons::Ok);
    EXPECT_EQ(ui.icon, UserInterface::Icon::Information);
}

TEST(Form4Logic, RootDirectoryDoublesTheSeparator) {
    NetworkHarness h(R"({"Win32_NetworkAdapterConfiguration": {"error": "x"}})");
    QTemporaryDir dir;
    Form4Logic logic;
    // Pointing at a folder that does not exist keeps the test from writing into "/".
    logic.Form_Load(h.form, h.machine, dir.path() + "/missing/", "UTF-8");
    EXPECT_EQ(logic.path(), dir.path() + "/missing//MACアドレス.txt");
    EXPECT_TRUE(logic.savedMessage().contains("/missing//MACアドレス.txt」"));
}

TEST(Form4Logic, FailingQueryStillWritesWhatWasGathered) {
    NetworkHarness h(R"({"Win32_NetworkAdapterConfiguration": {"error": "sysfs unreadable"}})");
    h.form.setText("Text11", "pc01");
    QTemporaryDir dir;
    Form4Logic logic;
    logic.Form_Load(h.form, h.machine, dir.path(), "UTF-8");
    EXPECT_TRUE(logic.model().items("List1").isEmpty());
    ASSERT_TRUE(logic.queryError());
    EXPECT_TRUE(logic.queryError()->contains("sysfs unreadable"));
    EXPECT_TRUE(logic.model().toolTip("List1").contains("sysfs unreadable"));
    EXPECT_FALSE(logic.fileError());
    EXPECT_EQ(readAll(logic.path()), QStringLiteral("pc01(------)のMACアドレス\r\n\r\n").toUtf8());

    // An adapter without the property the list needs ends the list there.
    NetworkHarness partial(adapters(R"({"MACAddress": "00:1A:2B:3C:4D:5E", "Description": "a"},)"
                                    R"({"Description": "b"},)"
                                    R"({"MACAddress": "11:22:33:44:55:66", "Description": "c"})"));
    Form4Logic second;
    second.Form_Load(partial.form, partial.machine, dir.path(), "UTF-8");
    EXPECT_EQ(second.model().items("List1"), QStringList({"00:1A:2B:3C:4D:5E  a"}));
    EXPECT_TRUE(second.queryError());
}
