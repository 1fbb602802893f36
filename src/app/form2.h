#pragma once

#include <QWidget>

#include "items/form_model.h"

class QListWidget;

namespace torvix {

class FormWidgets;

// The version history window 経歴: a list of the program's versions and a button that closes it.
// Closing (by the button or the title bar) deletes the window; the next opening loads afresh.
class Form2 : public QWidget {
    Q_OBJECT
  public:
    explicit Form2(QWidget* parent = nullptr);

    FormModel& model() { return model_; }
    FormWidgets& widgets() { return *widgets_; }
    QListWidget* List1() const;

    void Form_Load();
    void Command1_Click();

    // Shows the window centred on the screen.
    void showCentred();

  private:
    FormModel model_;
    FormWidgets* widgets_ = nullptr;
};

}  // namespace torvix
