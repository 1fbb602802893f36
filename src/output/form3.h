#pragma once

#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>

#include "items/shared_values.h"
#include "output/logic/form3_logic.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;

namespace torvix {

// The print size dialog 印刷の大きさ. Modeless, without an owner window, at most one at a time;
// it unloads (closes and is deleted) on "印刷" with a size or on "キャンセル". "印刷" then runs
// the print routine for `mainWindow` with the main window's PrintScale.
class Form3 : public QWidget {
    Q_OBJECT
  public:
    Form3(QWidget* mainWindow, SharedValues& shared);
    ~Form3() override;

    // The dialog open now, if any.
    static Form3* instance();

    const Form3Logic& logic() const { return logic_; }
    QRadioButton* Option(int n) const;  // 1..4
    QScrollBar* HScroll1() const { return hscroll1_; }
    QLineEdit* Text1() const { return text1_; }
    QPushButton* Command1() const { return command1_; }
    QPushButton* Command2() const { return command2_; }
    QWidget* control(const QString& name) const;

    // What "印刷" runs once the dialog has unloaded: the print routine, unless replaced.
    using PrintRoutine = std::function<void(QWidget* mainWindow, float printScale)>;
    void setPrintRoutine(PrintRoutine routine) { print_ = std::move(routine); }

    void Option_Click(int n);
    void HScroll1_Change(int value);
    void Command1_Click();
    void Command2_Click();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void Form_Load();
    void showState();

    QPointer<QWidget> mainWindow_;
    SharedValues& shared_;
    Form3Logic logic_;
    std::array<QRadioButton*, 4> options_{};
    QScrollBar* hscroll1_ = nullptr;
    QLineEdit* text1_ = nullptr;
    QPushButton* command1_ = nullptr;
    QPushButton* command2_ = nullptr;
    PrintRoutine print_;
    bool showing_ = false;  // widgets being set from the state, not by the user
};

// Command14 "この画面の印刷": opens the dialog, or when it is open brings it to the front with
// its choices as they are. `shared` belongs to `mainWindow`.
void showForm3(QWidget* mainWindow, SharedValues& shared);

}  // namespace torvix
