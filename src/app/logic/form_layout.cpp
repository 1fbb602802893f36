#include "app/logic/form_layout.h"

#include <QRect>
#include <algorithm>

namespace torvix {

namespace {

using K = ControlSpec::Kind;

constexpr int rowHeight = 285;
constexpr int boxLeft = 240;

// Geometry of the item rows inside each frame.
struct Column {
    int boxWidth;
    int buttonLeft;
    int buttonWidth;
    int firstTop;
    int pitch;
};
constexpr Column leftColumn{1815, 2115, 2400, 300, 360};
constexpr Column rightColumn{3300, 3600, 2400, 300, 345};

const QString placeholder = QStringLiteral("------");

void addItemRow(std::vector<ControlSpec>& out, const QString& frame, const Column& c, int row,
                const QString& button, const QString& caption, const QString& box,
                Rgb buttonColor = colors::white, const QString& toolTip = {}) {
    const int top = c.firstTop + row * c.pitch;
    if (!box.isEmpty())
        out.push_back(
            {K::TextBox, box, placeholder, boxLeft, top, c.boxWidth, rowHeight, frame, {}, {}});
    out.push_back({K::Button, button, caption, c.buttonLeft, top, c.buttonWidth, rowHeight, frame,
                   buttonColor, toolTip});
}

FormSpec buildForm1() {
    FormSpec f{QStringLiteral("Form1"), QStringLiteral("トルビクス"), 11280, 8904, {}};
    auto& v = f.controls;
    const QString F1 = QStringLiteral("Frame1"), F2 = QStringLiteral("Frame2"),
                  F3 = QStringLiteral("Frame3"), F4 = QStringLiteral("Frame4"),
                  F5 = QStringLiteral("Frame5");
    v.push_back({K::Frame, F1, QStringLiteral("CPU情報"), 120, 90, 4695, 3225, {}, {}, {}});
    v.push_back(
        {K::Frame, F3, QStringLiteral("ネットワーク情報"), 150, 3465, 4695, 5028, {}, {}, {}});
    v.push_back({K::Frame, F2, QStringLiteral("OS情報"), 5055, 105, 6135, 2055, {}, {}, {}});
    v.push_back({K::Frame,
                 F4,
                 QStringLiteral("ディスク/プリンター情報"),
                 5070,
                 2280,
                 6195,
                 1710,
                 {},
                 {},
                 {}});
    v.push_back({K::Frame, F5, QStringLiteral("製品情報"), 5085, 4125, 6150, 1020, {}, {}, {}});

    // CPU情報
    addItemRow(v, F1, leftColumn, 0, "Command1", "CPUのクロック", "Text1");
    addItemRow(v, F1, leftColumn, 1, "Command2", "CPUのタイプ", "Text2");
    addItemRow(v, F1, leftColumn, 2, "Command3", "コア数 (ビット数)", "Text3");
    addItemRow(v, F1, leftColumn, 3, "Command17", "メモリサイズ", "Text14");
    addItemRow(v, F1, leftColumn, 4, "Command25", "メモリチェック", "Text20");
    addItemRow(v, F1, leftColumn, 5, "Command35", "有効/無効", {}, colors::green);
    addItemRow(v, F1, leftColumn, 6, "Command33", "使用者のアクセスレベル", "Text33");
    addItemRow(v, F1, leftColumn, 7, "Command32", "ドメインのパスワード変更日", "Text32");

    // ネットワーク情報
    addItemRow(v, F3, leftColumn, 0, "Command9", "ネットワークの接続環境", "Text9");
    addItemRow(v, F3, leftColumn, 1, "Command10", "ユーザ名", "Text10");
    addItemRow(v, F3, leftColumn, 2, "Command11", "ホスト名", "Text11");
    addItemRow(v, F3, leftColumn, 3, "Command12", "ＩＰアドレス", "Text12");
    addItemRow(v, F3, leftColumn, 4, "Command13", "サブネットマスク", "Text13");
    addItemRow(v, F3, leftColumn, 5, "Command23", "ゲートウェイ", "Text23");
    {
        // Three DNS rows, each with its small label; the caption stands beside the second row.
        const QString boxes[] = {QStringLiteral("Text24"), QStringLiteral("Text25"),
                                 QStringLiteral("Text21")};
        const QString labels[] = {QStringLiteral("Label6"), QStringLiteral("Label7"),
                                  QStringLiteral("Label8")};
        for (int i = 0; i < 3; ++i) {
            const int top = leftColumn.firstTop + (6 + i) * leftColumn.pitch;
            v.push_back(
                {K::TextBox, boxes[i], placeholder, boxLeft, top, 1335, rowHeight, F3, {}, {}});
            v.push_back({K::Label,
                         labels[i],
                         QStringLiteral("DNS%1").arg(i + 1),
                         1620,
                         top + 30,
                         450,
                         rowHeight - 60,
                         F3,
                         colors::lightYellow,
                         {}});
            if (i == 1)
                v.push_back({K::Button,
                             QStringLiteral("Command24"),
                             QStringLiteral("DNS Server"),
                             leftColumn.buttonLeft,
                             top,
                             leftColumn.buttonWidth,
                             rowHeight,
                             F3,
                             colors::white,
                             {}});
        }
    }
    addItemRow(v, F3, leftColumn, 9, "Command26", "Primary WINS Server", "Text26");
    addItemRow(v, F3, leftColumn, 10, "Command27", "Secondary WINS Server", "Text27");
    addItemRow(v, F3, leftColumn, 11, "Command28", "DHCPサーバ", "Text28");
    addItemRow(v, F3, leftColumn, 12, "Command4", "IPの取得日時", "Text4");

    // Just below the network frame, in line with its rows.
    v.push_back({K::TextBox,
                 "Text29",
                 placeholder,
                 150 + boxLeft,
                 3465 + 5028 + 30,
                 leftColumn.boxWidth,
                 rowHeight,
                 {},
                 {},
                 {}});
    v.push_back(
        {K::Button,
         "Command29",
         "ログオン回数(クリックで一覧)",
         150 + leftColumn.buttonLeft,
         3465 + 5028 + 30,
         leftColumn.buttonWidth,
         rowHeight,
         {},
         colors::green,
         QStringLiteral("過去のログオンを確認できます。「シャットダウン」と「ハイブリッドスリープ」"
                        "コマンドもここにあります。")});

    // OS情報
    addItemRow(v, F2, rightColumn, 0, "Command5", "OSのバージョン", "Text5");
    addItemRow(v, F2, rightColumn, 1, "Command22", "OSのＣＤＳ", "Text22");
    addItemRow(v, F2, rightColumn, 2, "Command6", "MACアドレス(クリックで一覧)", "Text6",
               colors::green);
    addItemRow(v, F2, rightColumn, 3, "Command7", "マウスのタイプ", "Text7");
    addItemRow(v, F2, rightColumn, 4, "Command8", "ディスプレイサイズ", "Text8");

    // ディスク/プリンター情報
    addItemRow(v, F4, rightColumn, 0, "Command18", "Cドライブのディスク総容量", "Text15");
    addItemRow(v, F4, rightColumn, 1, "Command19", "Cドライブのディスク使用量", "Text16");
    addItemRow(v, F4, rightColumn, 2, "Command20", "Cドライブのディスク使用率", "Text17");
    addItemRow(v, F4, rightColumn, 3, "Command21", "プリンター(クリックで一覧)", "Text18",
               colors::green);

    // 製品情報
    addItemRow(v, F5, rightColumn, 0, "Command39", "製品の型番", "Text39");
    addItemRow(v, F5, rightColumn, 1, "Command40", "製品のメーカ", "Text40");

    // Message list, clocks and actions.
    v.push_back({K::Button,
                 "Command31",
                 "インストールされているソフトの一覧",
                 5052,
                 5220,
                 2850,
                 240,
                 {},
                 colors::green,
                 {}});
    v.push_back({K::Label, "Label9", "Label9", 8064, 5220, 564, 228, {}, colors::lightOrange, {}});
    v.push_back({K::ListBox, "List1", {}, 5055, 5520, 6150, 1668, {}, {}, {}});
    v.push_back({K::Label,
                 "Label3",
                 "Ｗｉｎｄｏｗｓが起動された時刻",
                 5100,
                 7305,
                 2205,
                 240,
                 {},
                 colors::filled,
                 {}});
    v.push_back({K::Label,
                 "Label2",
                 "Ｗｉｎｄｏｗｓ起動からの経過時間",
                 5100,
                 7605,
                 2385,
                 240,
                 {},
                 colors::filled,
                 {}});
    v.push_back({K::Label,
                 "Label4",
                 "この表示が終了する迄の残り時間",
                 5100,
                 7905,
                 2625,
                 240,
                 {},
                 colors::filled,
                 {}});
    v.push_back({K::Label,
                 "Label5",
                 "只今の時間 yyyy/mm/dd 00:00:00",
                 5100,
                 8235,
                 2685,
                 240,
                 {},
                 colors::filled,
                 {}});
    v.push_back({K::Label,
                 "Label1",
                 "応答に少し時間がかかります →",
                 5070,
                 8565,
                 2580,
                 195,
                 {},
                 colors::paleGreen,
                 {}});
    v.push_back({K::Button,
                 "Command36",
                 "DirectX診断ツール",
                 9570,
                 7260,
                 1650,
                 315,
                 {},
                 colors::green,
                 {}});
    v.push_back({K::Button,
                 "Command37",
                 "特殊フォルダの表示",
                 9525,
                 7605,
                 1680,
                 270,
                 {},
                 colors::green,
                 {}});
    v.push_back(
        {K::Button, "Command34", "有効/無効", 8565, 7905, 2640, 285, {}, colors::green, {}});
    v.push_back({K::Button,
                 "Command14",
                 "この画面の印刷",
                 7950,
                 8250,
                 1575,
                 240,
                 {},
                 colors::green,
                 QStringLiteral("この画面を「通常使うプリンター」に印刷します。")});
    v.push_back({K::Button,
                 "Command38",
                 "この画面の保存",
                 9645,
                 8235,
                 1575,
                 240,
                 {},
                 colors::green,
                 QStringLiteral("この画面をディスクトップに保管します。")});
    v.push_back({K::Button,
                 "Command41",
                 "画面をクリップボードへ",
                 7845,
                 8550,
                 1710,
                 255,
                 {},
                 colors::green,
                 {}});
    v.push_back({K::Button, "Command15", "メモ", 9675, 8535, 690, 255, {}, colors::green, {}});
    v.push_back({K::Button, "Command16", "停止", 10500, 8535, 690, 255, {}, colors::green, {}});
    return f;
}

}  // namespace

const FormSpec& form1Spec() {
    static const FormSpec formLayout = buildForm1();
    return formLayout;
}

const QStringList& form1ReportOrder() {
    static const QStringList order = {
        "Command1",  "Text1",     "Command2",  "Text2",     "Command3",  "Text3",     "Command17",
        "Text14",    "Command25", "Text20",    "Command35", "Command33", "Text33",    "Command32",
        "Text32",    "Command9",  "Text9",     "Command10", "Text10",    "Command11", "Text11",
        "Command12", "Text12",    "Command13", "Text13",    "Command23", "Text23",    "Command24",
        "Text24",    "Text25",    "Text21",    "Command26", "Text26",    "Command27", "Text27",
        "Command28", "Text28",    "Command4",  "Text4",     "Command29", "Text29",    "Command5",
        "Text5",     "Command22", "Text22",    "Command6",  "Text6",     "Command7",  "Text7",
        "Command8",  "Text8",     "Command18", "Text15",    "Command19", "Text16",    "Command20",
        "Text17",    "Command21", "Text18",    "Command39", "Text39",    "Command40", "Text40",
        "Command31", "List1",     "Label3",    "Label2",    "Label4",    "Label5",    "Command34"};
    return order;
}

const QHash<QString, QString>& form1AccessibleNames() {
    static const QHash<QString, QString> names = [] {
        QHash<QString, QString> out;
        QHash<QString, QString> captions;
        for (const ControlSpec& c : form1Spec().controls) captions.insert(c.name, c.caption);
        // The report's order pairs each caption button with the boxes after it.
        QString caption;
        QStringList boxes;
        auto name = [&] {
            for (qsizetype i = 0; i < boxes.size(); ++i)
                out.insert(boxes[i], boxes.size() == 1
                                         ? caption
                                         : caption + QStringLiteral(" %1").arg(i + 1));
            boxes.clear();
        };
        for (const QString& control : form1ReportOrder()) {
            if (control.startsWith(QLatin1String("Command"))) {
                name();
                caption = captions.value(control);
                caption.remove(QStringLiteral("(クリックで一覧)"));
            } else if (control.startsWith(QLatin1String("Text"))) {
                boxes << control;
            }
        }
        name();
        for (const char* label : {"Label3", "Label2", "Label4", "Label5"})
            out.insert(QLatin1String(label),
                       captions.value(QLatin1String(label)).section(u' ', 0, 0));
        return out;
    }();
    return names;
}

QStringList visualTabOrder(const FormSpec& formLayout) {
    QHash<QString, QPoint> frames;
    for (const ControlSpec& c : formLayout.controls)
        if (c.kind == ControlSpec::Kind::Frame) frames.insert(c.name, QPoint(c.left, c.top));
    struct Placed {
        QString name;
        QRect rect;  // twips, within the window
    };
    std::vector<Placed> placed;
    for (const ControlSpec& c : formLayout.controls) {
        if (c.kind == ControlSpec::Kind::Frame || c.kind == ControlSpec::Kind::Label) continue;
        placed.push_back({c.name, QRect(frames.value(c.frame) + QPoint(c.left, c.top),
                                        QSize(c.width, c.height))});
    }
    const int half = formLayout.clientWidth / 2;
    auto column = [half](const Placed& p) { return p.rect.center().x() < half ? 0 : 1; };
    std::stable_sort(placed.begin(), placed.end(), [&](const Placed& a, const Placed& b) {
        if (column(a) != column(b)) return column(a) < column(b);
        return a.rect.top() < b.rect.top();
    });
    QStringList order;
    for (auto row = placed.begin(); row != placed.end();) {
        const Placed& first = *row;
        auto end = std::find_if(row, placed.end(), [&](const Placed& p) {
            return column(p) != column(first) ||
                   p.rect.top() >= first.rect.top() + first.rect.height() / 2;
        });
        std::stable_sort(row, end, [](const Placed& a, const Placed& b) {
            return a.rect.left() < b.rect.left();
        });
        for (auto it = row; it != end; ++it) order << it->name;
        row = end;
    }
    return order;
}

void declareControls(const FormSpec& formLayout, FormModel& model) {
    for (const ControlSpec& c : formLayout.controls)
        model.declare(c.name, c.caption, c.background, c.toolTip);
}

}  // namespace torvix
