#include "items/storage/software_list.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include "items/item_harness.h"
#include "platform/live/lazy_cursor.h"
#include "platform/wmi/error.h"

using namespace torvix;

namespace {

const QString question = QStringLiteral(
    "インストールされているソフトを調べますのでそのままお待ち下さい。\r\n"
    "画面が一時停止状態になります。\r\n\r\n   (注意)\r\n"
    "       この処理は時間がかかりますので\r\n"
    "       「この表示が終了する迄の残り時間」を無効にします。");

// Answers questions as told, records every box, counts the yields and can act inside them.
class ScriptedUi : public UserInterface {
  public:
    Answer messageBox(const QString& text, const QString& title, Buttons buttons,
                      Icon icon) override {
        boxes.push_back({text, title, buttons, icon});
        if (buttons == Buttons::YesNo) return answer;
        return Answer::Ok;
    }
    void yield() override {
        ++yields;
        if (onYield) onYield();
    }
    std::vector<test::RecordingUi::Box> boxes;
    Answer answer = Answer::Yes;
    int yields = 0;
    std::function<void()> onYield;
};

// Win32_Product instances that fail after `good` of them, as a service losing its source.
class FailingProducts : public wmi::ClassProvider {
  public:
    explicit FailingProducts(int good) : good_(good) {}
    QString className() const override { return "Win32_Product"; }
    QStringList propertyNames() const override { return wmi::schemaProperties(className()); }
    std::unique_ptr<wmi::InstanceCursor> enumerate(const wmi::wql::Query&) const override {
        return std::make_unique<wmi::FunctionCursor>(
            [n = 0, good = good_]() mutable -> std::optional<wmi::Instance> {
                if (n == good)
                    throw wmi::Error(wmi::Error::Code::ProviderFailure, "the source went away");
                ++n;
                return live::makeSchemaInstance(
                    "Win32_Product", {{"Caption", wmi::Value(QStringLiteral("app%1").arg(n))},
                                      {"Version", wmi::Value(QStringLiteral("%1.0").arg(n))}});
            });
    }

  private:
    int good_;
};

// The main window's controls and a machine whose products are `products` (a JSON array text, or
// an object such as {"error": ...}), the file going to a temporary folder.
struct SoftwareRun {
    explicit SoftwareRun(const QByteArray& products)
        : machine(
              parseMachineFile(test::machineJson(R"({})", R"({"Win32_Product": )" + products + "}"),
                               "machine.json", false)),
          ctx(form, machine, ui, shared) {
        declareControls(form1Spec(), form);
        // The start-up sequence has left the automatic end on.
        shared.AutoEndEnabled = true;
        form.setText("Command34", "← この終了機能を無効にする");
        form.setBackground("Command34", colors::green);
        form.addItem("List1", "すべて表示されました。");
        form.setVisible("Label9", false);
    }
    void useProvider(std::shared_ptr<const wmi::ClassProvider> provider) {
        auto registry = std::make_shared<wmi::Registry>(machine.wmi->registry());
        registry->add(std::move(provider));
        machine.wmi = std::make_shared<wmi::QueryService>(registry);
    }
    bool run(const QString& dir) { return items::buildSoftwareList(ctx, dir); }
    bool run() { return run(dir.path()); }
    QString path() const { return dir.path() + "/インストールソフト名.txt"; }
    QByteArray file() const {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
    }
    QStringList list() const { return form.items("List1"); }

    Machine machine;
    FormModel form;
    SharedValues shared;
    ScriptedUi ui;
    RoutineContext ctx;
    QTemporaryDir dir;
};

}  // namespace

TEST(SoftwareList, AnsweringNoChangesNothingElse) {
    SoftwareRun r(R"([{"Caption": "a", "Version": "1"}])");
    r.ui.answer = UserInterface::Answer::No;
    EXPECT_FALSE(r.run());
    ASSERT_EQ(r.ui.boxes.size(), 1u);
    EXPECT_EQ(r.ui.boxes[0].text, question);
    EXPECT_EQ(r.ui.boxes[0].title, "インストールソフト");
    EXPECT_EQ(r.ui.boxes[0].buttons, UserInterface::Buttons::YesNo);
    EXPECT_EQ(r.ui.boxes[0].icon, UserInterface::Icon::Information);
    EXPECT_TRUE(r.list().isEmpty());
    EXPECT_EQ(r.form.background("List1"), std::nullopt);
    EXPECT_FALSE(r.form.visible("Label9"));
    EXPECT_TRUE(r.shared.AutoEndEnabled);
    EXPECT_EQ(r.form.text("Command34"), "← この終了機能を無効にする");
    EXPECT_EQ(r.form.background("Command34"), colors::green);
    EXPECT_FALSE(QFile::exists(r.path()));
    EXPECT_EQ(r.ui.yields, 0);
}

TEST(SoftwareList, ListsAndFileAgree) {
    const struct {
        const char* name;
        QByteArray products;
        QStringList lines;
    } cases[] = {
        {"in the service's order, one blank between",
         R"([{"Caption": "Zeta", "Version": "2.0"}, {"Caption": "alpha", "Version": "1:1.2-3"},
             {"Caption": "日本語ソフト", "Version": "10"}])",
         {"Zeta 2.0", "alpha 1:1.2-3", "日本語ソフト 10"}},
        {"null values add nothing",
         R"([{"Caption": "noversion", "Version": null}, {"Caption": null, "Version": "3"},
             {"Caption": null, "Version": null}])",
         {"noversion ", " 3", " "}},
        {"a number is written as text", R"([{"Caption": "n", "Version": 7}])", {"n 7"}},
        {"no products: an empty list and an empty file", "[]", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SoftwareRun r(c.products);
        EXPECT_TRUE(r.run());
        EXPECT_EQ(r.list(), c.lines);
        QByteArray bytes;
        for (const QString& line : c.lines) bytes += line.toUtf8() + "\r\n";
        EXPECT_EQ(r.file(), bytes);  // the tests run in a UTF-8 locale
        EXPECT_EQ(r.form.background("List1"), rgb(204, 255, 255));
        EXPECT_FALSE(r.form.visible("Label9"));
        EXPECT_EQ(r.form.text("Label9"), "");
        EXPECT_FALSE(r.shared.AutoEndEnabled);
        EXPECT_EQ(r.form.text("Command34"), "← この終了機能を有効にする");
        EXPECT_EQ(r.form.background("Command34"), colors::lightGreen);
        EXPECT_EQ(r.form.topItem("List1"), c.lines.isEmpty() ? -1 : c.lines.size() - 1);
        // Once before the connection, before the query, after it, and before every product.
        EXPECT_EQ(r.ui.yields, 3 + c.lines.size());
        ASSERT_EQ(r.ui.boxes.size(), 2u);
        EXPECT_EQ(r.ui.boxes[1].title, "リスト作成");
        EXPECT_EQ(
            r.ui.boxes[1].text,
            "リストが作成されました。\r\n以下のファイルにも保存されています。\r\n" + r.path());
        EXPECT_EQ(r.ui.boxes[1].buttons, UserInterface::Buttons::Ok);
        EXPECT_EQ(r.ui.boxes[1].icon, UserInterface::Icon::Information);
    }
}

TEST(SoftwareList, ShownWhileSearching) {
    SoftwareRun r(R"([{"Caption": "a", "Version": "1"}, {"Caption": "b", "Version": "2"}])");
    QStringList seen;
    r.ui.onYield = [&] {
        seen << QStringLiteral("%1|%2|%3|%4")
                    .arg(int(r.form.visible("Label9")))
                    .arg(r.form.text("Label9"))
                    .arg(int(r.shared.AutoEndEnabled))
                    .arg(r.list().join(u','));
    };
    r.run();
    const QString searching = "1|検索中です。しばらくお待ちください。|0|";
    EXPECT_EQ(seen, QStringList({searching, searching, searching, searching, searching + "a 1"}));
}

TEST(SoftwareList, ASecondRunReplacesTheFile) {
    SoftwareRun r(
        R"([{"Caption": "first", "Version": "1"}, {"Caption": "second", "Version": "2"}])");
    ASSERT_TRUE(r.run());
    ASSERT_TRUE(r.run());
    EXPECT_EQ(r.list(), QStringList({"first 1", "second 2"}));
    EXPECT_EQ(r.file(), "first 1\r\nsecond 2\r\n");

    // A longer file from before is cut to the new list.
    QFile old(r.path());
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(10000, 'x'));
    old.close();
    ASSERT_TRUE(r.run());
    EXPECT_EQ(r.file(), "first 1\r\nsecond 2\r\n");
}

TEST(SoftwareList, Failures) {
    const struct {
        const char* name;
        QByteArray products;
        int failAfter;          // >= 0: a provider failing after that many products
        bool blockFile;         // a folder stands where the file goes
        QStringList lines;      // before the two failure lines
        bool autoEndStaysOn;    // the failure came before the automatic end was turned off
        const char* fileBytes;  // nullptr: no file
    } cases[] = {
        {"the file cannot be created",
         R"([{"Caption": "a", "Version": "1"}])",
         -1,
         true,
         {},
         true,
         nullptr},
        {"the class fails at once",
         R"({"error": "the installer service is stopped"})",
         -1,
         false,
         {},
         false,
         ""},
        {"a property that cannot be read",
         R"([{"Caption": "a", "Version": "1"}, {"Caption": "b"}])",
         -1,
         false,
         {"a 1"},
         false,
         "a 1\r\n"},
        {"a value that is no text",
         R"([{"Caption": "a", "Version": [1, 2]}])",
         -1,
         false,
         {},
         false,
         ""},
        {"the service fails part-way",
         "[]",
         2,
         false,
         {"app1 1.0", "app2 2.0"},
         false,
         "app1 1.0\r\napp2 2.0\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SoftwareRun r(c.products);
        if (c.failAfter >= 0) r.useProvider(std::make_shared<FailingProducts>(c.failAfter));
        if (c.blockFile) {
            ASSERT_TRUE(QDir(r.dir.path()).mkdir("インストールソフト名.txt"));
        }
        EXPECT_TRUE(r.run());
        QStringList expected = c.lines;
        expected << "[" + r.path() + "]は"
                 << "書き込めるファイルではありません";
        EXPECT_EQ(r.list(), expected);
        EXPECT_EQ(r.form.background("List1"), colors::yellow);
        EXPECT_FALSE(r.form.visible("Label9"));
        EXPECT_EQ(r.form.text("Label9"), "");
        EXPECT_EQ(r.shared.AutoEndEnabled, c.autoEndStaysOn);
        EXPECT_EQ(r.form.text("Command34"),
                  c.autoEndStaysOn ? "← この終了機能を無効にする" : "← この終了機能を有効にする");
        EXPECT_EQ(r.ui.boxes.size(), 1u);  // the question only: no closing message
        if (c.fileBytes)
            EXPECT_EQ(r.file(), QByteArray(c.fileBytes));
        else
            EXPECT_TRUE(QFileInfo(r.path()).isDir());
    }
}

// The old list stays whole until the new one is: a run stopped at any point (the program ended
// by its stop button or a signal) leaves it as it was, and nothing beside it.
TEST(SoftwareList, AStoppedRunKeepsThePreviousList) {
    SoftwareRun r(R"([{"Caption": "a", "Version": "1"}, {"Caption": "b", "Version": "2"}])");
    ASSERT_TRUE(r.run());
    for (int stopAt = 1; stopAt <= 8; ++stopAt) {
        SCOPED_TRACE(stopAt);
        int asked = 0;
        bool wholeMeanwhile = true;
        EXPECT_TRUE(items::buildSoftwareList(r.ctx, r.dir.path(), [&] {
            wholeMeanwhile = wholeMeanwhile && r.file() == "a 1\r\nb 2\r\n";
            return ++asked >= stopAt;
        }));
        EXPECT_TRUE(wholeMeanwhile);
        EXPECT_EQ(r.file(), "a 1\r\nb 2\r\n");
        EXPECT_EQ(QDir(r.dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }
}

TEST(SoftwareList, TheRootFolderDoublesTheSeparator) {
    EXPECT_EQ(items::softwareListPath("/"), "//インストールソフト名.txt");
    EXPECT_EQ(items::softwareListPath("/home/user1"), "/home/user1/インストールソフト名.txt");

    // In the root folder itself: as root the file is made there (and removed again), otherwise
    // the failure lines name it; either way with the doubled separator.
    const QString atRoot = "/インストールソフト名.txt";
    if (QFile::exists(atRoot)) GTEST_SKIP() << atRoot.toStdString() << " exists already";
    SoftwareRun r(R"([{"Caption": "a", "Version": "1"}])");
    ASSERT_TRUE(r.run("/"));
    const bool made = QFile::exists(atRoot);
    QFile::remove(atRoot);
    if (made) {
        ASSERT_EQ(r.ui.boxes.size(), 2u);
        EXPECT_TRUE(r.ui.boxes[1].text.endsWith("\r\n//インストールソフト名.txt"));
    } else {
        EXPECT_EQ(r.list(), QStringList({"[//インストールソフト名.txt]は",
                                         "書き込めるファイルではありません"}));
    }
}
