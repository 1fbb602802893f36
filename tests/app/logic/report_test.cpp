#include "app/logic/report.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "app/logic/command_line.h"
#include "support/test_support.h"

using namespace torvix;

namespace {

QList<QByteArray> reportLines(const CommandLine& c, int* rc = nullptr) {
    Machine m = loadMachineFile(test::dataPath("machines/office_pc.json"), false);
    QByteArray out;
    const int code = runReport(c, m, out);
    if (rc) *rc = code;
    return out.split('\n');
}

CommandLine reportOf(const QString& window = "Form1",
                     CommandLine::Format f = CommandLine::Format::Text) {
    CommandLine c;
    c.mode = CommandLine::Mode::Report;
    c.window = window;
    c.format = f;
    return c;
}

}  // namespace

TEST(CommandLineParse, Modes) {
    EXPECT_EQ(parseCommandLine({}).mode, CommandLine::Mode::Window);
    const CommandLine m = parseCommandLine({"--machine", "pc.json"});
    EXPECT_EQ(m.mode, CommandLine::Mode::Window);
    EXPECT_EQ(m.machineFile, "pc.json");
    const CommandLine r =
        parseCommandLine({"--report=json", "--window=Form2", "--machine=a b.json"});
    EXPECT_EQ(r.mode, CommandLine::Mode::Report);
    EXPECT_EQ(r.format, CommandLine::Format::Json);
    EXPECT_EQ(r.window, "Form2");
    EXPECT_EQ(r.machineFile, "a b.json");
    const CommandLine t = parseCommandLine({"--report"});
    EXPECT_EQ(t.format, CommandLine::Format::Text);
    EXPECT_EQ(t.window, "Form1");
    EXPECT_EQ(parseCommandLine({"--report", "--help"}).mode, CommandLine::Mode::Help);
    EXPECT_EQ(parseCommandLine({"--version"}).mode, CommandLine::Mode::Version);
    EXPECT_EQ(versionText(), QStringLiteral("torvix " TORVIX_VERSION));
}

TEST(CommandLineParse, BadArgumentsSayWhat) {
    for (const QStringList& args :
         {QStringList{"--bogus"}, QStringList{"--report=xml"}, QStringList{"--machine"},
          QStringList{"--machine="}, QStringList{"--window", "Form2"}, QStringList{"file.json"},
          QStringList{"--report", "--window"}}) {
        const CommandLine c = parseCommandLine(args);
        EXPECT_EQ(c.mode, CommandLine::Mode::Invalid) << args.join(' ').toStdString();
        EXPECT_FALSE(c.error.isEmpty());
    }
}

TEST(CommandLineParse, HelpListsTheWindowsThatExist) {
    registerReportWindow("TestWindow",
                         [](Form1Logic&, UserInterface&) { return std::vector<ReportEntry>{}; });
    const QString help = usageText();
    const QStringList names = reportWindowNames();
    ASSERT_TRUE(names.contains("TestWindow"));
    for (const QString& name : names) EXPECT_TRUE(help.contains(name)) << name.toStdString();
    EXPECT_FALSE(help.contains("Form3"));
}

TEST(Report, TextFormOfTheMainWindow) {
    int rc = -1;
    const QList<QByteArray> lines = reportLines(reportOf(), &rc);
    EXPECT_EQ(rc, 0);
    auto has = [&](const QByteArray& line) { return lines.contains(line); };
    EXPECT_EQ(lines.first(), "Command1\tCPUのクロック\t#FFFFFF");
    EXPECT_EQ(lines[1], "Text1\t2.394GHz\t#C0FFFF");
    EXPECT_TRUE(has("Text3\tコア数 8  (64ビット)\t#C0FFFF"));
    EXPECT_TRUE(has("Command25\t空きメモリサイズ(自動)\t#FFFFFF"));
    EXPECT_TRUE(has("Text20\t9,877MB   (59.2%)\t#C0FFFF"));
    EXPECT_TRUE(has("Command35\t↑ この機能を有効にする\t#00FF00"));
    EXPECT_TRUE(has("Text15\t500.108Gバイト\t#C0FFFF"));
    EXPECT_TRUE(has("Text17\t62.59%\t#C0FFFF"));
    EXPECT_TRUE(has("Text39\tOptiPlex 7060\t#C0FFFF"));
    EXPECT_TRUE(has("Command31\tインストールされているソフトの一覧\t#00FF00"));
    EXPECT_TRUE(has("List1\t表示中です。しばらくお待ちください。\t"));
    EXPECT_TRUE(has("List1\tすべて表示されました。\t"));
    EXPECT_TRUE(has("Label3\tＷｉｎｄｏｗｓが起動された時刻 2024/4/1 7:3:4\t#C0FFFF"));
    EXPECT_TRUE(has("Label2\tＷｉｎｄｏｗｓ起動からの経過時間 1時間2分5秒\t#C0FFFF"));
    EXPECT_TRUE(has("Label4\tこの表示が終了する迄の残り時間 180秒\t#C0FFFF"));
    EXPECT_TRUE(has("Label5\t只今の時刻 2024/04/01 8:05:09\t#C0FFFF"));
    EXPECT_EQ(lines[lines.size() - 2], "Command34\t← この終了機能を無効にする\t#00FF00");
    EXPECT_TRUE(lines.last().isEmpty());  // every line ends in a newline
    // Value boxes nobody has written keep the default background.
    const qsizetype list1 = std::count_if(
        lines.begin(), lines.end(), [](const QByteArray& l) { return l.startsWith("List1\t"); });
    EXPECT_EQ(list1, 3);
}

TEST(Report, JsonForm) {
    int rc = -1;
    Machine m = loadMachineFile(test::dataPath("machines/office_pc.json"), false);
    QByteArray out;
    rc = runReport(reportOf("Form1", CommandLine::Format::Json), m, out);
    ASSERT_EQ(rc, 0);
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(out, &err);
    ASSERT_EQ(err.error, QJsonParseError::NoError) << err.errorString().toStdString();
    const QJsonArray a = doc.array();
    ASSERT_EQ(a.size(), form1ReportOrder().size());
    // Members stand in the documented order, name, text, background, also as text.
    EXPECT_TRUE(out.contains(R"({"name": "Text1", "text": "2.394GHz", "background": "#C0FFFF"})"));
    EXPECT_TRUE(out.contains(
        R"({"name": "Text32", "text": "2024/03/01 10:00:00", "background": "#C0FFFF"})"));
    EXPECT_EQ(a[0].toObject()["name"].toString(), "Command1");
    EXPECT_EQ(a[1].toObject()["text"].toString(), "2.394GHz");
    EXPECT_EQ(a[1].toObject()["background"].toString(), "#C0FFFF");
    for (const QJsonValue& v : a) {
        const QJsonObject o = v.toObject();
        if (o["name"] == "List1") {
            EXPECT_EQ(o["text"].toArray().size(), 3);
            EXPECT_TRUE(o["background"].isNull());
        }
    }
}

TEST(Report, OtherWindows) {
    int rc = -1;
    const QList<QByteArray> lines = reportLines(reportOf("Form2"), &rc);
    EXPECT_EQ(rc, 0);
    ASSERT_EQ(lines.size(), 26);  // 24 entries, the button, the final newline
    EXPECT_TRUE(lines[0].startsWith("List1\t"));
    EXPECT_EQ(lines[2], "List1\t\t");
    EXPECT_EQ(lines[3], "List1\t2006/01/22 Ver 0.0 新規\t");
    EXPECT_EQ(lines[24], "Command1\t表示終了\t");

    const QList<QByteArray> none = reportLines(reportOf("Form9"), &rc);
    EXPECT_EQ(rc, 2);
    EXPECT_TRUE(QByteArray(none.join('\n')).trimmed().isEmpty());
}

TEST(Report, TextKeepsItsColumns) {
    std::vector<ReportEntry> entries = {
        {"Text5", "a\tb", colors::filled, false, {}},
        {"Text9", "line one\r\nline two", std::nullopt, false, {}},
        {"List1", {}, std::nullopt, true, {"x\ty"}},
    };
    EXPECT_EQ(reportText(entries),
              "Text5\ta b\t#C0FFFF\nText9\tline one\t\nText9\tline two\t\nList1\tx y\t\n");
}

// Text from outside cannot steer the terminal; ordinary text and blanks print as they are.
TEST(Report, TextShowsControlCharactersEscaped) {
    const std::vector<std::pair<QString, QByteArray>> cases = {
        {"A\x1b]0;pwned\x07\x42", "A\\x1b]0;pwned\\x07B"},
        {QString::fromUtf8("起動\u3000停止  C:\\Users"), "起動\u3000停止  C:\\Users"},
        {QString::fromUtf8("a\u009b2J\u202eb\x7f"), "a\\u009b2J\\u202eb\\x7f"},
        {QString("x\ty\r\nz") + QChar(0), "x y\t\nText1\tz\\0"},
    };
    for (const auto& [text, shown] : cases)
        EXPECT_EQ(reportText({{"Text1", text, std::nullopt, false, {}}}),
                  "Text1\t" + shown + "\t\n");
}

TEST(Report, MessageBoxesGoToStandardError) {
    ReportUserInterface ui;
    EXPECT_EQ(ui.messageBox("text", "title", UserInterface::Buttons::YesNo,
                            UserInterface::Icon::Question),
              UserInterface::Answer::Yes);
    EXPECT_EQ(ui.messageBox("t2", "title", UserInterface::Buttons::Ok, UserInterface::Icon::None),
              UserInterface::Answer::Ok);
    EXPECT_EQ(ui.shown, QStringList({"text", "t2"}));
}
