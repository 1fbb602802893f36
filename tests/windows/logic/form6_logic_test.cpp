#include "windows/logic/form6_logic.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>

using namespace torvix;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<unreadable>";
    return f.readAll();
}

struct Shown {
    QString text, title;
    UserInterface::Buttons buttons;
    UserInterface::Icon icon;
};

class RecordingUi : public UserInterface {
  public:
    Answer messageBox(const QString& text, const QString& title, Buttons buttons,
                      Icon icon) override {
        shown.push_back({text, title, buttons, icon});
        return Answer::Ok;
    }
    std::vector<Shown> shown;
};

// A machine whose special folders are the given ones (absent keys give the empty text).
Machine machineWith(const QByteArray& folders) {
    return parseMachineFile(
        R"({"torvix-machine": 1, "system": {"specialFolders": )" + folders + "}}", "m.json", false);
}

const QByteArray someFolders = R"({
    "DeskTop": "/home/u/デスクトップ", "StartUp": "/home/u/.config/autostart",
    "PrintHood": "/srv/printers", "Fonts": "/usr/share/fonts",
    "Recent": "/home/u/recent files"})";

// The lookup of this computer, failing from its `failAt`-th call on (counted from 0).
class FailingLookup : public SystemFunctions {
  public:
    explicit FailingLookup(int failAt) : failAt_(failAt) {}
    std::uint32_t processorCount() const override { return 1; }
    ScreenSize screenSize() const override { return {}; }
    bool isUserAnAdmin() const override { return false; }
    DiskFreeSpace diskFreeSpace() const override { return {}; }
    QString networkUserName() const override { return {}; }
    QString specialFolder(const QString& key) const override {
        if (calls_++ >= failAt_) throw Failure(QStringLiteral("lookup of %1 failed").arg(key));
        return QStringLiteral("/x/") + key;
    }

  private:
    int failAt_;
    mutable int calls_ = 0;
};

class Form6LogicTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString filePath() const { return dir.path() + "/特殊フォルダパス.txt"; }
    QTemporaryDir dir;
    RecordingUi ui;
};

}  // namespace

// Every entry's file line and both its list lines, in table order; folders the system lacks
// give the label alone and five spaces.
TEST_F(Form6LogicTest, FileAndListLinesOfEveryEntry) {
    Machine machine = machineWith(someFolders);
    Form6Logic logic;
    logic.Form_Load(machine, dir.path(), ui, "UTF-8");
    EXPECT_TRUE(ui.shown.empty());
    EXPECT_TRUE(logic.fileSaved());

    struct Row {
        QString fileLine, listLabel, listPath;
    };
    const Row rows[] = {
        {"DeskTop :           : /home/u/デスクトップ", "DeskTop :", "     /home/u/デスクトップ"},
        {"AllUsersDeskTop     : ", "AllUsersDeskTop :", "     "},
        {"StartUp             : /home/u/.config/autostart",
         "StartUp :", "     /home/u/.config/autostart"},
        {"AllUsersStartUp     : ", "AllUsersStartUp :", "     "},
        {"MyDocuments         : ", "MyDocuments :", "     "},
        {"SendTo              : ", "SendTo :", "     "},
        {"プリンター          : /srv/printers", "プリンター : ", "     /srv/printers"},
        {"StartMenu           : ", "StartMenu :", "     "},
        {"AllUsersStartMenu   : ", "AllUsersStartMenu :", "     "},
        {"お気に入り          : ", "お気に入り :", "     "},
        {"フォント            : /usr/share/fonts", "フォント :", "     /usr/share/fonts"},
        {"マイネットワーク    : ", "マイネットワーク :", "     "},
        {"最近使ったファイル  : /home/u/recent files",
         "最近使ったファイル :", "     /home/u/recent files"},
    };
    const QStringList list = logic.model().items("List1");
    ASSERT_EQ(logic.fileLines().size(), 13);  // no repeated entry
    ASSERT_EQ(list.size(), 26);
    QByteArray expectedFile;
    for (int i = 0; i < 13; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(logic.fileLines()[i], rows[i].fileLine);
        EXPECT_EQ(list[2 * i], rows[i].listLabel);
        EXPECT_EQ(list[2 * i + 1], rows[i].listPath);
        expectedFile += rows[i].fileLine.toUtf8() + "\r\n";
    }
    EXPECT_EQ(readAll(filePath()), expectedFile);
    EXPECT_EQ(logic.path(), filePath());
}

// The file is in the locale's character set: CP932 on a Shift_JIS system.
TEST_F(Form6LogicTest, FileInTheChosenCharacterSet) {
    Machine machine = machineWith(R"({"PrintHood": "/p"})");
    Form6Logic logic;
    logic.Form_Load(machine, dir.path(), ui, "CP932");
    const QByteArray file = readAll(filePath());
    EXPECT_TRUE(
        file.contains(QByteArray("\x83\x76\x83\x8a\x83\x93\x83\x5e\x81\x5b          : /p\r\n")))
        << file.toStdString();
    EXPECT_EQ(file.count("\r\n"), 13);
}

// The root folder as current directory doubles the separator, as the messages show it. (An
// unknown character set keeps the test from writing into the root folder.)
TEST_F(Form6LogicTest, RootCurrentDirectoryDoublesTheSeparator) {
    Machine machine = machineWith("{}");
    Form6Logic logic;
    logic.Form_Load(machine, "/", ui, "NO-SUCH-CHARSET");
    EXPECT_EQ(logic.path(), "//特殊フォルダパス.txt");
    EXPECT_EQ(logic.savedMessage(), "結果は「//特殊フォルダパス.txt」に保存されています。");
    EXPECT_TRUE(
        logic.failedMessage().startsWith("「//特殊フォルダパス.txt」に保存できませんでした。"));
    EXPECT_FALSE(QFile::exists("/特殊フォルダパス.txt"));
}

// The first failing step stops the load with "number   description" (program title, OK, no
// icon); the file keeps the lines before a failing lookup, the list is filled only after the
// file, and the end button never claims a file that was not written whole.
TEST_F(Form6LogicTest, FirstFailingStepStopsTheLoad) {
    struct Row {
        const char* what;
        int failAt;  // lookup call that fails; -1: none
        bool folderInTheWay;
        int fileLines;  // -1: no file
        int listLines;
        int error;
        bool saved;
    };
    const Row rows[] = {
        {"file cannot be created", -1, true, -1, 0, EISDIR, false},
        {"first lookup", 0, false, 0, 0, ENOSYS, false},
        {"sixth lookup", 5, false, 5, 0, ENOSYS, false},
        {"first lookup of the list", 13, false, 13, 1, ENOSYS, true},
        {"eighth entry of the list", 20, false, 13, 15, ENOSYS, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        QTemporaryDir work;
        ASSERT_TRUE(work.isValid());
        const QString path = work.path() + "/特殊フォルダパス.txt";
        if (row.folderInTheWay) {
            ASSERT_TRUE(QDir(work.path()).mkdir("特殊フォルダパス.txt"));
        }
        Machine machine;
        machine.system = std::make_shared<FailingLookup>(row.failAt < 0 ? 1000 : row.failAt);
        RecordingUi shown;
        Form6Logic logic;
        logic.Form_Load(machine, work.path(), shown, "UTF-8");

        ASSERT_EQ(shown.shown.size(), 1u);
        const QString description = row.error == ENOSYS
                                        ? QStringLiteral("lookup of %1 failed")
                                              .arg(specialFolderEntries()[row.failAt % 13].key)
                                        : QString::fromLocal8Bit(std::strerror(row.error));
        EXPECT_EQ(shown.shown[0].text, QString::number(row.error) + "   " + description);
        EXPECT_EQ(shown.shown[0].title, "トルビクス");
        EXPECT_EQ(shown.shown[0].buttons, UserInterface::Buttons::Ok);
        EXPECT_EQ(shown.shown[0].icon, UserInterface::Icon::None);

        EXPECT_EQ(logic.model().items("List1").size(), row.listLines);
        if (row.fileLines >= 0) {
            EXPECT_EQ(readAll(path).count("\r\n"), row.fileLines);
        }
        EXPECT_EQ(logic.fileSaved(), row.saved);

        RecordingUi end;
        logic.Command1_Click(end);
        ASSERT_EQ(end.shown.size(), 1u);
        EXPECT_EQ(end.shown[0].title, "特殊フォルダ");
        if (row.saved) {
            EXPECT_EQ(end.shown[0].text, "結果は「" + path + "」に保存されています。");
            EXPECT_EQ(end.shown[0].icon, UserInterface::Icon::Information);
        } else {
            EXPECT_EQ(end.shown[0].text,
                      "「" + path + "」に保存できませんでした。\n" + shown.shown[0].text);
            EXPECT_NE(end.shown[0].icon, UserInterface::Icon::Information);
        }
    }
}

// A machine file without special folders: the lookup itself is missing.
TEST_F(Form6LogicTest, MachineWithoutTheLookup) {
    Machine machine = parseMachineFile(R"({"torvix-machine": 1})", "bare.json", false);
    Form6Logic logic;
    logic.Form_Load(machine, dir.path(), ui, "UTF-8");
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_TRUE(ui.shown[0].text.startsWith(QString::number(ENOSYS) + "   bare.json"))
        << ui.shown[0].text.toStdString();
    EXPECT_EQ(readAll(filePath()), QByteArray());  // opened, nothing written
    EXPECT_TRUE(logic.model().items("List1").isEmpty());
}
