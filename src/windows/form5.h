#pragma once

#include <QWidget>
#include <memory>

#include "platform/machine.h"
#include "windows/logic/form5_logic.h"

class QListWidget;
class QPushButton;

namespace torvix {

// The printer list window: every printer with its port, the default one marked.
class Form5 : public QWidget {
    Q_OBJECT
  public:
    // Builds the window and loads it (fills the list) from `machine`.
    explicit Form5(Machine& machine, QWidget* parent = nullptr);
    ~Form5() override;

    // The window open now, if any (it exists at most once).
    static Form5* instance();

    const Form5Logic& logic() const { return *logic_; }
    QListWidget* List1() const { return list1_; }
    QPushButton* Command1() const { return command1_; }

    // Shows the window centred on the screen (that of `near` when given).
    void showLoaded(QWidget* near = nullptr);

    // "表示終了": unloads the window without a message.
    void Command1_Click();

  private:
    std::unique_ptr<Form5Logic> logic_;
    QListWidget* list1_ = nullptr;
    QPushButton* command1_ = nullptr;
};

// Command21 mouse-up (any button) over the main window's caption: loads and opens the window, or
// when it is already open only brings it to the front (its list is not read again).
// `mainWindow` is used for the screen to centre on; it may be null.
void showForm5(QWidget* mainWindow, Machine& machine);

}  // namespace torvix
