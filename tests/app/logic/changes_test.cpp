#include "app/logic/changes.h"

#include <gtest/gtest.h>

#include "support/edited_machine.h"

using namespace torvix;
using torvix::test::editedMachine;
using torvix::test::MachineEdits;

namespace {

const QString laterHead = "前回 2024/04/01 08:05:09  →  今回 2024/04/08 09:00:00\n";
const QString laterLists =
    "インストールされているソフト\n  更新  bash 5.2.15-2+b2  →  5.2.15-2+b7\n  追加  curl "
    "7.88.1-10\n"
    "プリンター\n  削除  PDF\n起動/停止\n  シャットダウン  2024/04/05 18:00:00\n"
    "  起動            2024/04/08 08:30:00\n";

ShownComputer shown(const MachineEdits& edits) {
    Machine m = parseMachineFile(editedMachine("office_pc.json", edits), "pc.json", false);
    return shownComputer(m);
}

}  // namespace

// Two records of one office PC compared as the window shows them: the text for a person, the
// JSON under the --facts keys, the moving values only with --all.
TEST(Changes, TextAndJsonOfTwoRecords) {
    const ShownComputer before = shown({});
    MachineEdits otherHost = {
        {"wmi/Win32_NetworkAdapterConfiguration/0/DNSHostName", "pc02"},
        {"wmi/Win32_NetworkAdapterConfiguration/0/MACAddress", "00:1A:2B:3C:4D:99"}};
    const struct {
        const char* name;
        MachineEdits edits;
        bool all;
        QString text;
    } cases[] = {
        {"same",
         {},
         true,
         "前回 2024/04/01 08:05:09  →  今回 2024/04/01 08:05:09\n変更はありません\n"},
        {"week later", test::officePcWeekLater(), false,
         laterHead + "DNS Server (2)  192.168.0.3  →  192.168.0.4\n" + laterLists +
             "自然に変わる値 3 件 (空きメモリ・ディスク使用量・時計) は省略しました (--all "
             "で表示)\n"},
        {"week later --all", test::officePcWeekLater(), true,
         laterHead +
             "空きメモリサイズ(自動)          9,877MB   (59.2%)   →  5,000MB   (30.0%)\n"
             "DNS Server (2)                  192.168.0.3         →  192.168.0.4\n"
             "Ｗｉｎｄｏｗｓが起動された時刻  2024/4/1 7:3:4      →  2024/4/8 7:57:55\n"
             "只今の時刻                      2024/04/01 8:05:09  →  2024/04/08 9:00:00\n" +
             laterLists},
        {"other computer", otherHost, false,
         "別のパソコンの記録と比べています (ホスト名 pc01 → pc02)\n"
         "前回 2024/04/01 08:05:09  →  今回 2024/04/01 08:05:09\n"
         "ホスト名                     pc01               →  pc02\n"
         "MACアドレス(クリックで一覧)  00-1A-2B-3C-4D-5E  →  00-1A-2B-3C-4D-99\n"
         "MACアドレス\n"
         "  追加  00:1A:2B:3C:4D:99  Intel Corporation Ethernet Connection (7) I219-LM\n"
         "  削除  00:1A:2B:3C:4D:5E  Intel Corporation Ethernet Connection (7) I219-LM\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Changes changes = compareComputers(before, shown(c.edits), c.all);
        EXPECT_EQ(changesText(changes).toStdString(), c.text.toStdString());
        EXPECT_EQ(changes.any(), QLatin1String(c.name) != QLatin1String("same"));
    }
    // JSON: the --facts keys, null for no version.
    const QJsonObject json =
        QJsonDocument::fromJson(
            changesJson(compareComputers(before, shown(test::officePcWeekLater()), false)))
            .object();
    EXPECT_EQ(json["items"].toArray(),
              QJsonArray({QJsonObject{
                  {"key", "dns"}, {"index", 2}, {"old", "192.168.0.3"}, {"new", "192.168.0.4"}}}));
    EXPECT_EQ(
        json["installed_software"].toArray().at(1).toObject(),
        (QJsonObject{
            {"name", "curl"}, {"old_version", QJsonValue::Null}, {"new_version", "7.88.1-10"}}));
    EXPECT_EQ(json["printers"]["removed"].toArray(), QJsonArray{"PDF"});
    EXPECT_EQ(json["boots"].toArray().size(), 2);
    EXPECT_EQ(json["left_out"].toInt(), 3);
}
