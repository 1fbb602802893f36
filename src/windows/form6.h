#pragma once

#include <QWidget>
#include <memory>

#include "items/user_interface.h"
#include "platform/machine.h"
#include "windows/logic/form6_logic.h"

class QListWidget;
class QPushButton;

namespace torvix {

// The special folder window: thirteen folders of the user's profile and of the machine, also
// written to "特殊フォルダパス.txt" in the current directory when the window loads.
class Form6 : public QWidget {
    Q_OBJECT
  public:
    // Builds the window and loads it (file first, then the list). A load that fails is told
    // through `loadUi` before the window shows.
    Form6(Machine& machine, UserInterface& loadUi, QWidget* parent = nullptr);
    ~Form6() override;

    // The window open now, if any (it exists at most once).
    static Form6* instance();

    const Form6Logic& logic() const { return *logic_; }
    QListWidget* List1() const { return list1_; }
    QPushButton* Command1() const { return command1_; }

    void Command1_Click();

  private:
    std::unique_ptr<Form6Logic> logic_;
    QListWidget* list1_ = nullptr;
    QPushButton* command1_ = nullptr;
};

// Command37 click: opens the window where the window system places new windows, or when it is
// already open only brings it to the front (its list and file stay as they are). Messages of
// the load are shown over `mainWindow`, which may be null.
void showForm6(QWidget* mainWindow, Machine& machine);

}  // namespace torvix
