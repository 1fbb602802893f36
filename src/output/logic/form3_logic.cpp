#include "output/logic/form3_logic.h"

#include <cmath>

#include "output/logic/print_layout.h"

namespace torvix {

const QString Form3Logic::caption = QStringLiteral("印刷の大きさ");

const std::vector<Form3Control>& Form3Logic::controls() {
    using K = Form3Control::Kind;
    static const std::vector<Form3Control> table = {
        {K::Label, QStringLiteral("Label1"), QStringLiteral("印刷のサイズ指定"), 840, 240, 3075,
         405},
        {K::Frame, QStringLiteral("Frame1"), QStringLiteral("サイズ"), 600, 840, 2535, 1335},
        {K::Option, QStringLiteral("Option1"), QStringLiteral("最大(100%)"), 720, 1080, 1170, 495},
        {K::Option, QStringLiteral("Option2"), QStringLiteral("中(70%)"), 1980, 1095, 915, 495},
        {K::Option, QStringLiteral("Option3"), QStringLiteral("小(50%)"), 720, 1590, 885, 495},
        {K::Option, QStringLiteral("Option4"), QStringLiteral("極小(40%)"), 1950, 1590, 1080, 495},
        {K::Label, QStringLiteral("Label3"), QStringLiteral("自由サイズ"), 3705, 975, 1020, 255},
        {K::ScrollBar, QStringLiteral("HScroll1"), QString(), 3360, 1440, 1575, 255},
        {K::TextBox, QStringLiteral("Text1"), QString(), 3855, 1800, 495, 270},
        {K::Label, QStringLiteral("Label2"), QStringLiteral("%"), 4440, 1890, 195, 135},
        {K::Button, QStringLiteral("Command1"), QStringLiteral("印刷"), 1935, 2400, 1095, 375},
        {K::Button, QStringLiteral("Command2"), QStringLiteral("キャンセル"), 3240, 2400, 1095,
         375},
    };
    return table;
}

void Form3Logic::Form_Load() {
    Option_Click(3);
    scroll_ = 0;
}

void Form3Logic::Option_Click(int option) {
    selected_ = option >= 1 && option <= static_cast<int>(fixedSizes.size()) ? option : 0;
    scroll_ = 0;
    text_.clear();
}

void Form3Logic::HScroll1_Change(int value) {
    selected_ = 0;
    scroll_ = value < scrollMinimum ? scrollMinimum : value > scrollMaximum ? scrollMaximum : value;
    text_ = QString::number(scroll_);
}

float Form3Logic::printScale() const {
    float scale = 0.0f;
    if (selected_ >= 1) scale = fixedSizes[static_cast<size_t>(selected_ - 1)];
    if (!text_.isEmpty()) scale = static_cast<float>(leadingNumber(text_) / 100.0);
    // A negative size would print the picture mirrored off the page; infinity cannot be placed.
    if (!std::isfinite(scale) || scale < 0) scale = 0.0f;
    return scale;
}

bool Form3Logic::Command1_Click(SharedValues& shared, UserInterface& ui) const {
    shared.PrintScale = printScale();
    if (shared.PrintScale != 0.0f) return true;
    ui.messageBox(QStringLiteral("サイズが指定されていません"), QStringLiteral("印刷サイズ"),
                  UserInterface::Buttons::Ok, UserInterface::Icon::Critical);
    return false;
}

}  // namespace torvix
