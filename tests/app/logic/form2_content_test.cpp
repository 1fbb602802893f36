#include "app/logic/form2_content.h"

#include <gtest/gtest.h>

TEST(Form2Content, TwentyFourLinesInTheirOrder) {
    const QStringList lines = torvix::form2Lines();
    ASSERT_EQ(lines.size(), 24);
    EXPECT_FALSE(lines[0].isEmpty());
    EXPECT_FALSE(lines[1].isEmpty());
    EXPECT_TRUE(lines[2].isEmpty());
    EXPECT_EQ(lines[3], "2006/01/22 Ver 0.0 新規");
    EXPECT_EQ(lines[8], "2012/07/20 Ver 1.4 閉じるボタン(×)の無効化追加");
    EXPECT_EQ(lines[9], QString(27, ' ') + "(×で終了するとユーザがら解放されない現象を回避)");
    EXPECT_EQ(lines[14],
              "2013/04/08 Ver 1.9 CPUのﾋﾞｯﾄ数をWindowsXP(32/64Bit)及びWindows7(32/64Bit)に対応");
    // Ver 2.1 stands after Ver 2.0 although dated before it.
    EXPECT_EQ(lines[15], "2013/06/08 Ver 2.0 画面をクリップボードにコピーする機能追加");
    EXPECT_EQ(lines[16], "2013/06/04 Ver 2.1 ディスプレイ解像度をWindows8に対応");
    EXPECT_EQ(lines[20], "2015/01/26 Vet 2.5 ドメインパスワード変更日追加");
    EXPECT_EQ(lines[22], "2018/10/30 Ver 2.7 過去のログオン日時を表示を追加");
    EXPECT_TRUE(lines[23].isEmpty());
    // Each load fills it afresh: the same 24 lines every time.
    EXPECT_EQ(torvix::form2Lines(), lines);
}
