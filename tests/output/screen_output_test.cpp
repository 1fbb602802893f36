#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>

#include "app/form1.h"
#include "app/form_widgets.h"
#include "app/gui_test_support.h"
#include "output/screen_copy.h"
#include "output/screen_save.h"
#include "output/scripted_answerer.h"
#include "output/window_capture.h"
#include "support/test_support.h"

using namespace torvix;
using torvix::test::ScriptedAnswerer;
using torvix::test::waitFor;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<unreadable>";
    return f.readAll();
}

// The special folders of a machine whose desktop is `desktop` (null: the key is absent).
std::shared_ptr<SystemFunctions> systemWithDesktop(const std::optional<QString>& desktop) {
    QByteArray folders = "{}";
    if (desktop) folders = R"({"DeskTop": ")" + desktop->toUtf8().replace("\\", "\\\\") + R"("})";
    return parseMachineFile(
               R"({"torvix-machine": 1, "system": {"specialFolders": )" + folders + "}}", "m.json",
               false)
        .system;
}

// The main window on the office machine with short capture waits; its save and copy buttons are
// pressed as a user would, and the message boxes are answered by the test.
class ScreenOutputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(workDir.isValid());
        previousWait = 画面キャプチャ::waitMs();
        画面キャプチャ::setWaitMs(20);
        machine = loadMachineFile(test::dataPath("machines/office_pc.json"), false);
        Form1::Options options;
        options.exitProgram = [] {};
        main = std::make_unique<Form1>(machine, options);
        main->showCentred();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
        ASSERT_TRUE(waitFor([this] { return main->startupRuns() >= 1; }));
    }
    void TearDown() override {
        main.reset();
        画面キャプチャ::setWaitMs(previousWait);
    }
    void click(const char* name) {
        auto* b = main->widgets().get<QPushButton>(QString::fromLatin1(name));
        ASSERT_NE(b, nullptr);
        QTest::mouseClick(b, Qt::LeftButton);
    }
    QSize windowPictureSize() const { return main->grab().size(); }

    QTemporaryDir workDir;
    int previousWait = 500;
    Machine machine;
    std::unique_ptr<Form1> main;
};

}  // namespace

TEST_F(ScreenOutputTest, CopyPutsThePictureOfTheMainWindowOnTheClipboard) {
    const QString question =
        "この画面がクリップボードにコピーされます(各アプリケーションの「貼り付け」でトルビクスが張"
        "り付けられます\r\n";
    QClipboard* clipboard = QGuiApplication::clipboard();
    struct Row {
        const char* what;
        QStringList answers;
        QStringList texts;
        bool copied;
    };
    const Row rows[] = {
        {"no", {"いいえ"}, {question}, false},
        {"yes",
         {"はい", "OK"},
         {question,
          "画面がクリップボードにコピーされました。各アプリケーションで貼り付けができます"},
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        clipboard->setText(QStringLiteral("earlier text"));
        ScriptedAnswerer answers(row.answers);
        click("Command41");
        EXPECT_EQ(answers.texts(), row.texts);
        ASSERT_GE(answers.boxes.size(), 1u);
        EXPECT_EQ(answers.boxes[0].title, "画面のコピー");
        EXPECT_EQ(answers.boxes[0].icon, QMessageBox::Information);
        EXPECT_EQ(answers.boxes[0].buttons.size(), 2);
        const QMimeData* data = clipboard->mimeData();
        ASSERT_NE(data, nullptr);
        if (!row.copied) {
            EXPECT_EQ(clipboard->text(), "earlier text");
            EXPECT_FALSE(data->hasImage());
            continue;
        }
        ASSERT_EQ(answers.boxes.size(), 2u);
        EXPECT_EQ(answers.boxes[1].title, "コピー");
        EXPECT_EQ(answers.boxes[1].icon, QMessageBox::Information);
        EXPECT_TRUE(data->hasImage());
        EXPECT_FALSE(data->hasText());  // the picture alone, the earlier text is gone
        EXPECT_EQ(clipboard->image().size(), windowPictureSize());
    }
}

// A window that gives no picture: the user is told instead of the success text.
TEST_F(ScreenOutputTest, CopyThatDidNotReachTheClipboardIsTold) {
    class Recording : public UserInterface {
      public:
        Answer messageBox(const QString& text, const QString&, Buttons, Icon) override {
            texts << text;
            return Answer::Yes;
        }
        QStringList texts;
    } ui;
    QWidget empty;
    empty.setFixedSize(0, 0);
    empty.show();
    if (!empty.grab().isNull()) GTEST_SKIP() << "this platform pictures an empty window";
    画面コピー::Command41_Click(&empty, ui);
    ASSERT_EQ(ui.texts.size(), 2);
    EXPECT_EQ(ui.texts[1], "画面をクリップボードにコピーできませんでした。");
}

TEST_F(ScreenOutputTest, SaveWritesABitmapOnTheDesktop) {
    const QString ask = "ディスクトップに保管されます(ファイル名はtorvix.jpg)\r\n";
    const QString replace = "torvix.jpgはディスクトップに存在します。置き換えますか？";
    const QString done = "画面をディストップに保存しました。";
    enum class Desktop { Folder, Empty, Absent, Missing, UnderFile, Proc, NameTakenByFolder };
    enum class Before { None, OldFile };
    enum class After { Nothing, Old, Bitmap };
    struct Row {
        const char* what;
        Desktop desktop;
        Before before;
        QStringList answers;
        QStringList titles;
        After after;
        QString lastText;  // empty: not checked; "FAIL": the failure message for the path
    };
    const Row rows[] = {
        {"no", Desktop::Folder, Before::None, {"いいえ"}, {"画面の保管"}, After::Nothing, ask},
        {"new file",
         Desktop::Folder,
         Before::None,
         {"はい", "OK"},
         {"画面の保管", "保存"},
         After::Bitmap,
         done},
        {"keep the old file",
         Desktop::Folder,
         Before::OldFile,
         {"はい", "いいえ"},
         {"画面の保管", "保管ファイル"},
         After::Old,
         replace},
        {"replace the old file",
         Desktop::Folder,
         Before::OldFile,
         {"はい", "はい", "OK"},
         {"画面の保管", "保管ファイル", "保存"},
         After::Bitmap,
         done},
        {"empty desktop",
         Desktop::Empty,
         Before::None,
         {"はい", "OK"},
         {"画面の保管", "保存"},
         After::Nothing,
         "ディスクトップのフォルダが見つからないため、画面を保存できませんでした。"},
        {"no desktop key",
         Desktop::Absent,
         Before::None,
         {"はい", "OK"},
         {"画面の保管", "保存"},
         After::Nothing,
         "ディスクトップのフォルダが見つからないため、画面を保存できませんでした。"},
        {"desktop folder missing",
         Desktop::Missing,
         Before::None,
         {"はい", "OK"},
         {"画面の保管", "保存"},
         After::Nothing,
         "ディスクトップのフォルダが見つからないため、画面を保存できませんでした。"},
        {"desktop under a file",
         Desktop::UnderFile,
         Before::None,
         {"はい", "OK"},
         {"画面の保管", "保存"},
         After::Nothing,
         "ディスクトップのフォルダが見つからないため、画面を保存できませんでした。"},
        {"desktop without write access",
         Desktop::Proc,
         Before::None,
         {"はい", "OK"},
         {"画面の保管", "保存"},
         After::Nothing,
         "FAIL"},
        {"a folder named like the file",
         Desktop::NameTakenByFolder,
         Before::None,
         {"はい", "OK"},
         {"画面の保管", "保存"},
         After::Nothing,
         "FAIL"},
    };
    const bool rootFileBefore = QFile::exists("/torvix.jpg");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        QTemporaryDir home;
        ASSERT_TRUE(home.isValid());
        std::optional<QString> desktop = home.path() + "/Desktop";
        ASSERT_TRUE(QDir(home.path()).mkdir("Desktop"));
        switch (row.desktop) {
            case Desktop::Folder:
                break;
            case Desktop::Empty:
                desktop = QString();
                break;
            case Desktop::Absent:
                desktop.reset();
                break;
            case Desktop::Missing:
                desktop = home.path() + "/NoDesktop";
                break;
            case Desktop::UnderFile: {
                QFile file(home.path() + "/plain");
                ASSERT_TRUE(file.open(QIODevice::WriteOnly));
                desktop = home.path() + "/plain/Desktop";
                break;
            }
            case Desktop::Proc:
                desktop = QStringLiteral("/proc");  // not writable even for root
                break;
            case Desktop::NameTakenByFolder:
                ASSERT_TRUE(QDir(*desktop).mkdir("torvix.jpg"));
                break;
        }
        const QString path = desktop.value_or(QString()) + "/torvix.jpg";
        if (row.before == Before::OldFile) {
            QFile old(path);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("old picture");
        }
        machine.system = systemWithDesktop(desktop);

        ScriptedAnswerer answers(row.answers);
        click("Command38");
        ASSERT_EQ(answers.boxes.size(), static_cast<size_t>(row.titles.size()))
            << answers.texts().join('|').toStdString();
        for (qsizetype i = 0; i < row.titles.size(); ++i)
            EXPECT_EQ(answers.boxes[static_cast<size_t>(i)].title, row.titles[i]) << i;
        EXPECT_EQ(answers.boxes[0].text, ask);
        EXPECT_EQ(answers.boxes[0].icon, QMessageBox::Information);
        if (row.titles.size() > 1 && row.titles[1] == "保管ファイル") {
            EXPECT_EQ(answers.boxes[1].text, replace);
            EXPECT_EQ(answers.boxes[1].icon, QMessageBox::Question);
        }
        const QString last = answers.boxes.back().text;
        if (row.lastText == "FAIL") {
            EXPECT_TRUE(last.startsWith("「" + path + "」に保存できませんでした。\n"))
                << last.toStdString();
            EXPECT_GT(last.size(), ("「" + path + "」に保存できませんでした。\n").size());
            EXPECT_EQ(answers.boxes.back().icon, QMessageBox::Critical);
        } else {
            EXPECT_EQ(last, row.lastText);
        }

        const QByteArray content = readAll(path);
        switch (row.after) {
            case After::Nothing:
                if (row.desktop != Desktop::Proc) {
                    EXPECT_FALSE(QFileInfo(path).isFile());
                }
                break;
            case After::Old:
                EXPECT_EQ(content, "old picture");
                break;
            case After::Bitmap: {
                EXPECT_TRUE(content.startsWith("BM"));
                QImage picture;
                EXPECT_TRUE(picture.loadFromData(content, "BMP"));
                EXPECT_EQ(picture.size(), windowPictureSize());
                // Nothing left beside it from the write.
                EXPECT_EQ(QDir(*desktop).entryList(QDir::Files | QDir::Hidden),
                          QStringList{"torvix.jpg"});
                break;
            }
        }
    }
    EXPECT_EQ(QFile::exists("/torvix.jpg"), rootFileBefore);  // never written at the root
}

// The writer replaces a file only with a complete one, and says why it cannot write.
TEST(ScreenSave, WriteBitmapReplacesWholeOrNotAtAll) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.path() + "/torvix.jpg";
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::cyan);
    EXPECT_EQ(画面保存::writeBitmap(picture, path), std::nullopt);
    const QByteArray first = readAll(path);
    EXPECT_TRUE(first.startsWith("BM"));
    // A new picture is readable as any new file of the user's, not private to the writer.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);

    // A picture the bitmap writer refuses: the cause is given and the old file stays whole.
    const std::optional<QString> cause = 画面保存::writeBitmap(QImage(), path);
    ASSERT_TRUE(cause.has_value());
    EXPECT_FALSE(cause->isEmpty());
    EXPECT_EQ(readAll(path), first);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"torvix.jpg"});

    struct Row {
        QString path;
        bool ordinary;
    };
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    QFile hidden(dir.path() + "/.hidden");
    ASSERT_TRUE(hidden.open(QIODevice::WriteOnly));
    const Row rows[] = {
        {path, true},
        {dir.path() + "/folder", false},
        {dir.path() + "/.hidden", false},
        {dir.path() + "/absent", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(画面保存::isOrdinaryFile(row.path), row.ordinary) << row.path.toStdString();
}
