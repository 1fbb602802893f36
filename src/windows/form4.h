#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>

#include "items/form_model.h"
#include "platform/machine.h"
#include "windows/logic/form4_logic.h"

class QListWidget;
class QPushButton;

namespace torvix {

// The MAC address list window: every adapter with its MAC address, also written to
// "MACアドレス.txt" in the current directory when the window loads.
class Form4 : public QWidget {
    Q_OBJECT
  public:
    // Builds the window and loads it from `form1` (host name and address for the file header)
    // and `machine`. A file that cannot be written is reported by a message box once the window
    // is shown; the list is filled either way.
    Form4(const FormModel& form1, Machine& machine, QWidget* parent = nullptr);
    ~Form4() override;

    // The window open now, if any (it exists at most once).
    static Form4* instance();

    const Form4Logic& logic() const { return *logic_; }
    QListWidget* List1() const { return list1_; }
    QPushButton* Command1() const { return command1_; }

    // Shows the window centred on the screen (that of `near` when given) and tells of a failed
    // file write, if any.
    void showLoaded(QWidget* near = nullptr);

    void Command1_Click();

  private:
    std::unique_ptr<Form4Logic> logic_;
    QListWidget* list1_ = nullptr;
    QPushButton* command1_ = nullptr;
};

// Command6 mouse-up (any button) over the main window's caption: opens the window, or when it
// is already open only brings it to the front (its list and file stay as they are).
// `mainWindow` is used for the screen to centre on; it may be null.
void showForm4(QWidget* mainWindow, const FormModel& form1, Machine& machine);

}  // namespace torvix
