#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "items/user_interface.h"
#include "platform/machine.h"
#include "windows/logic/form7_logic.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace torvix {

class ActivationWatch;

// Makes the message boxes a window shows, over that window.
using MessageUiFactory = std::function<std::unique_ptr<UserInterface>(QWidget* parent)>;

// The logon history window "Logon回数": past starts and shutdowns of the computer on request,
// and the two shutdown buttons. Each time it becomes the program's active window (opening, or
// coming back from another window of the program) the hint replaces the history.
class Form7 : public QWidget {
    Q_OBJECT
  public:
    // `machine` is the computer the main window shows (kept as a copy: its sources are shared).
    Form7(const Machine& machine, const MessageUiFactory& messageUi, QWidget* parent = nullptr);
    ~Form7() override;

    // The window open now, if any (it exists at most once).
    static Form7* instance();

    Form7Logic& logic() { return logic_; }
    QPlainTextEdit* Text1() const { return text1_; }
    QLabel* Label1() const { return label1_; }
    QLineEdit* Text2() const { return text2_; }
    QPushButton* Command1() const { return command1_; }
    QPushButton* Command2() const { return command2_; }
    QPushButton* Command3() const { return command3_; }
    QPushButton* Command4() const { return command4_; }

    // Shows the window centred on the screen (that of `near` when given).
    void showCentred(QWidget* near = nullptr);

    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void Form_Activate();
    void onControlChanged(const QString& name);
    void pressShutdownButton(const std::function<void()>& press);

    Form7Logic logic_;
    Machine machine_;
    std::unique_ptr<UserInterface> ui_;
    ActivationWatch* activation_ = nullptr;
    bool shownOnce_ = false;
    QPlainTextEdit* text1_ = nullptr;
    QLabel* label1_ = nullptr;
    QLineEdit* text2_ = nullptr;
    QPushButton* command1_ = nullptr;
    QPushButton* command2_ = nullptr;
    QPushButton* command3_ = nullptr;
    QPushButton* command4_ = nullptr;
};

// Command29 mouse-up (any button) over the main window's caption: opens the window, or when it
// is already open only brings it to the front. `mainWindow` gives the screen to centre on; it
// may be null.
void showForm7(QWidget* mainWindow, const Machine& machine, const MessageUiFactory& messageUi);

}  // namespace torvix
