#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

#include "items/user_interface.h"

namespace torvix {

// Message boxes as real modal QMessageBoxes over a window of the program.
class MessageBoxUi : public UserInterface {
  public:
    explicit MessageBoxUi(QWidget* parent) : parent_(parent) {}
    Answer messageBox(const QString& text, const QString& title, Buttons buttons,
                      Icon icon) override;
    void yield() override;

  private:
    QPointer<QWidget> parent_;
    QElapsedTimer sinceYield_;
};

}  // namespace torvix
