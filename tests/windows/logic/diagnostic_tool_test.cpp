#include "windows/logic/diagnostic_tool.h"

#include <gtest/gtest.h>

#include <QSet>

using namespace torvix;

namespace {

// Finds the programs it is told are installed (in /usr/bin) and records what it is asked to
// start, starting nothing.
class RecordingLauncher : public CommandLauncher {
  public:
    QSet<QString> installed;
    bool canStart = true;
    struct Call {
        QString program;
        QStringList arguments;
    };
    std::vector<Call> started;

    QString findProgram(const QString& program) const override {
        return installed.contains(program) ? QStringLiteral("/usr/bin/") + program : QString();
    }
    LaunchResult startDetached(const QString& program, const QStringList& arguments) override {
        started.push_back({program, arguments});
        LaunchResult r;
        r.started = canStart;
        if (!canStart) r.errorText = QStringLiteral("execve: Permission denied");
        return r;
    }
    LaunchResult run(const QString&, const QStringList&, int) override {
        ADD_FAILURE() << "the diagnostic tool is never waited for";
        return {};
    }
};

class RecordingUi : public UserInterface {
  public:
    Answer messageBox(const QString& text, const QString& title, Buttons, Icon icon) override {
        texts << text;
        titles << title;
        icons.push_back(icon);
        return Answer::Ok;
    }
    QStringList texts, titles;
    std::vector<Icon> icons;
};

}  // namespace

// The first tool found is started detached with its arguments; nothing found gives the message
// naming the packages to install.
TEST(DiagnosticTool, StartsTheFirstToolFound) {
    struct Row {
        QStringList installed;
        QString program;  // empty: none found
        QStringList arguments;
    };
    const Row rows[] = {
        {{"kinfocenter", "hardinfo", "gnome-control-center"}, "/usr/bin/kinfocenter", {}},
        {{"hardinfo", "gnome-control-center"}, "/usr/bin/gnome-control-center", {"info-overview"}},
        {{"lshw-gtk", "hardinfo"}, "/usr/bin/hardinfo", {}},
        {{"lshw-gtk", "glxinfo", "x-terminal-emulator"}, "/usr/bin/lshw-gtk", {}},
        {{"glxinfo", "x-terminal-emulator"},
         "/usr/bin/x-terminal-emulator",
         {"-e", "sh", "-c", "\"$0\" -B; echo; read -r _", "/usr/bin/glxinfo"}},
        {{"x-terminal-emulator"}, {}, {}},  // a terminal alone shows nothing
        {{"glxinfo"}, {}, {}},
        {{}, {}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.installed.join(' ').toStdString());
        RecordingLauncher launcher;
        launcher.installed = QSet<QString>(row.installed.begin(), row.installed.end());
        RecordingUi ui;
        Command36_Click(&launcher, ui);
        if (row.program.isEmpty()) {
            EXPECT_TRUE(launcher.started.empty());
            ASSERT_EQ(ui.texts.size(), 1);
            EXPECT_EQ(ui.texts[0],
                      "グラフィックスとシステムの情報を表示するツールが見つかりません。\r\n"
                      "「kinfocenter」パッケージ(または「hardinfo」、「mesa-utils」)をインストー"
                      "ルしてください。");
            EXPECT_EQ(ui.titles[0], "DirectX診断ツール");
            continue;
        }
        EXPECT_TRUE(ui.texts.isEmpty()) << ui.texts.join('|').toStdString();
        ASSERT_EQ(launcher.started.size(), 1u);
        EXPECT_EQ(launcher.started[0].program, row.program);
        EXPECT_EQ(launcher.started[0].arguments, row.arguments);
    }
}

// Each click starts another copy; a tool that cannot start is told with its error.
TEST(DiagnosticTool, EveryClickStartsACopyAndFailuresAreTold) {
    RecordingLauncher launcher;
    launcher.installed = {"kinfocenter"};
    RecordingUi ui;
    Command36_Click(&launcher, ui);
    Command36_Click(&launcher, ui);
    EXPECT_EQ(launcher.started.size(), 2u);
    EXPECT_TRUE(ui.texts.isEmpty());

    launcher.canStart = false;
    Command36_Click(&launcher, ui);
    ASSERT_EQ(ui.texts.size(), 1);
    EXPECT_EQ(ui.texts[0], "「kinfocenter」を起動できませんでした。\r\nexecve: Permission denied");
    EXPECT_EQ(ui.titles[0], "DirectX診断ツール");
    EXPECT_EQ(ui.icons[0], UserInterface::Icon::Critical);

    RecordingUi none;
    Command36_Click(nullptr, none);  // no launcher at all: told, no crash
    EXPECT_EQ(none.texts.size(), 1);
}
