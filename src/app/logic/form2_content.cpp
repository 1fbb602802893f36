#include "app/logic/form2_content.h"

namespace torvix {

QStringList form2Lines() {
    return {
        QStringLiteral("トルビクス — このパソコンの情報を一画面で表示します。"),
        QStringLiteral("Copyright (c) 2026 The Torvix developers, MIT License"),
        QString(),
        QStringLiteral("2006/01/22 Ver 0.0 新規"),
        QStringLiteral("2010/01/22 Ver 1.0 大幅変更"),
        QStringLiteral("2010/09/08 Ver 1.1 ディスプレ情報追加"),
        QStringLiteral("2012/06/09 Ver 1.2 Windows7対応"),
        QStringLiteral("2012/06/15 Ver 1.3 画面を印刷する機能追加"),
        QStringLiteral("2012/07/20 Ver 1.4 閉じるボタン(×)の無効化追加"),
        QString(27, QLatin1Char(' ')) +
            QStringLiteral("(×で終了するとユーザがら解放されない現象を回避)"),
        QStringLiteral("2012/07/24 Ver 1.5 画面を保存する機能追加"),
        QStringLiteral("2012/08/09 Ver 1.6 インストールソフトを調べる機能追加"),
        QStringLiteral("2013/01/20 Ver 1.7 ノートPCに対応するために表示画面を小さくした"),
        QStringLiteral("2013/02/15 Ver 1.8 使用者のアクセスレベル追加"),
        QStringLiteral(
            "2013/04/08 Ver 1.9 CPUのﾋﾞｯﾄ数をWindowsXP(32/64Bit)及びWindows7(32/64Bit)に対応"),
        QStringLiteral("2013/06/08 Ver 2.0 画面をクリップボードにコピーする機能追加"),
        QStringLiteral("2013/06/04 Ver 2.1 ディスプレイ解像度をWindows8に対応"),
        QStringLiteral("2013/06/19 Ver 2.2 MACアドレスの一覧表示追加"),
        QStringLiteral("2013/09/05 Ver 2.3 プリンター情報追加"),
        QStringLiteral("2014/04/11 Ver 2.4 Windows10に対応"),
        QStringLiteral("2015/01/26 Vet 2.5 ドメインパスワード変更日追加"),
        QStringLiteral("2018/08/03 Ver 2.6 ログオン回数を追加"),
        QStringLiteral("2018/10/30 Ver 2.7 過去のログオン日時を表示を追加"),
        QString(),
    };
}

}  // namespace torvix
