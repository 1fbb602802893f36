#include <gtest/gtest.h>

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "app/form1.h"
#include "app/form2.h"
#include "app/form_widgets.h"
#include "support/test_support.h"
#include "widgets/window_support.h"

using namespace torvix;

// What a screen reader hears of the value boxes and clock labels, the lists' names, and Tab's way
// through every button and box: the left half top to bottom, then the right half.
TEST(Accessibility, NamesAndTabOrder) {
    Machine machine = loadMachineFile(test::dataPath("machines/office_pc.json"), false);
    Form1 form(machine, {});
    QStringList expected =
        QString(
            "Text1=CPUのクロック|Text2=CPUのタイプ|Text3=コア数 (ビット数)|Text14=メモリサイズ|"
            "Text20=メモリチェック|Text33=使用者のアクセスレベル|Text32=ドメインのパスワード変更日|"
            "Text9=ネットワークの接続環境|Text10=ユーザ名|Text11=ホスト名|Text12=ＩＰアドレス|"
            "Text13=サブネットマスク|Text23=ゲートウェイ|Text24=DNS Server 1|Text25=DNS Server 2|"
            "Text21=DNS Server 3|Text26=Primary WINS Server|Text27=Secondary WINS Server|"
            "Text28=DHCPサーバ|Text4=IPの取得日時|Text29=ログオン回数|Text5=OSのバージョン|"
            "Text22=OSのＣＤＳ|Text6=MACアドレス|Text7=マウスのタイプ|Text8=ディスプレイサイズ|"
            "Text15=Cドライブのディスク総容量|Text16=Cドライブのディスク使用量|"
            "Text17=Cドライブのディスク使用率|Text18=プリンター|Text39=製品の型番|Text40="
            "製品のメーカ|"
            "Label3=Ｗｉｎｄｏｗｓが起動された時刻|Label2=Ｗｉｎｄｏｗｓ起動からの経過時間|"
            "Label4=この表示が終了する迄の残り時間|Label5=只今の時間")
            .split('|');
    QStringList heard;
    for (QWidget* w : form.findChildren<QWidget*>()) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        const bool clock =
            QStringList{"Label2", "Label3", "Label4", "Label5"}.contains(w->objectName());
        if (qobject_cast<QLineEdit*>(w) || clock)
            heard << w->objectName() + "=" + a->text(QAccessible::Name);
        if (clock) {  // read as text, not as the name alone
            ASSERT_NE(a->textInterface(), nullptr);
            EXPECT_EQ(a->textInterface()->text(0, -1), static_cast<QLabel*>(w)->text());
        }
    }
    heard.sort();
    expected.sort();
    EXPECT_EQ(heard, expected);

    // Tab's way round the window: the layout's reading order, the left half (ending with the
    // logon count), then the right (from the OS version to the bottom row, left to right).
    const QStringList order = visualTabOrder(form1Spec());
    QStringList chain;
    for (QWidget* w = form.widgets().widget(order.first()); !chain.contains(w->objectName());
         w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus) chain << w->objectName();
    EXPECT_EQ(chain, order);
    EXPECT_EQ(order.mid(order.indexOf("Command29"), 3),
              QStringList({"Command29", "Text5", "Command5"}));
    EXPECT_EQ(order.mid(order.size() - 5),
              QStringList({"Command14", "Command38", "Command41", "Command15", "Command16"}));
    for (QPushButton* b : form.findChildren<QPushButton*>())
        EXPECT_TRUE(chain.contains(b->objectName()));

    Form2 form2;  // the list windows' lists: their titles
    QWidget form4;
    FormModel model;
    model.declare("Command1", "表示終了");
    EXPECT_EQ(form2.List1()->accessibleName(), "経歴");
    EXPECT_EQ(buildListWindow(&form4, "Form4", "MACアドレス", model, {7800, 4800})
                  .list1->accessibleName(),
              "MACアドレス");
}
