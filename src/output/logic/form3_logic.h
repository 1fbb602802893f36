#pragma once

#include <QString>
#include <array>
#include <vector>

#include "items/shared_values.h"
#include "items/user_interface.h"

namespace torvix {

// One control of the print size dialog as designed, in twips within the dialog.
struct Form3Control {
    enum class Kind { Label, Frame, Option, ScrollBar, TextBox, Button };
    Kind kind;
    QString name;
    QString caption;
    int left, top, width, height;
};

// The print size dialog 印刷の大きさ without widgets: which size option is selected, the free
// size scroll bar and box, and what "印刷" makes of them. The window shows this state and hands
// every user action to it.
class Form3Logic {
  public:
    static const QString caption;  // "印刷の大きさ"
    static constexpr int clientWidth = 5112;
    static constexpr int clientHeight = 2880;
    static const std::vector<Form3Control>& controls();

    // The scroll bar's settings made at load.
    static constexpr int scrollMinimum = 0;
    static constexpr int scrollMaximum = 100;
    static constexpr int scrollSmallChange = 10;
    static constexpr int scrollLargeChange = 1;

    // The fixed sizes of Option1..Option4.
    static constexpr std::array<float, 4> fixedSizes = {1.0f, 0.7f, 0.5f, 0.4f};

    // Form_Load: "小(50%)" selected, the scroll bar at 0, the box empty.
    void Form_Load();
    // Option1_Click .. Option4_Click (`option` 1..4): that option selected, the scroll bar back
    // to 0 and the box emptied; the reset is not a free-size choice.
    void Option_Click(int option);
    // HScroll1_Change, only for a change the user made: no option selected, the value in the box.
    void HScroll1_Change(int value);
    // The user edited the box.
    void setText(const QString& text) { text_ = text; }

    // "印刷": sets shared.PrintScale from the selected option, then from the box when it is not
    // empty. True when the dialog is to unload and the print run. A size that reads as 0, as a
    // negative number or as no finite number leaves PrintScale 0 and shows "サイズが指定されて
    // いません"; the dialog stays with its choices.
    bool Command1_Click(SharedValues& shared, UserInterface& ui) const;

    int selectedOption() const { return selected_; }  // 0: none
    int scrollValue() const { return scroll_; }
    const QString& text() const { return text_; }

    // The scale "印刷" would set for the current choices (0 when none is usable).
    float printScale() const;

  private:
    int selected_ = 0;
    int scroll_ = 0;
    QString text_;
};

}  // namespace torvix
