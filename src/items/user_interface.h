#pragma once

#include <QString>

namespace torvix {

// Message boxes, as the routines ask for them. The window shows real ones; the report writes
// the text to standard error and answers with the default button.
class UserInterface {
  public:
    enum class Buttons { Ok, YesNo, OkCancel };
    enum class Icon { None, Information, Question, Exclamation, Critical };
    enum class Answer { Ok, Yes, No, Cancel };

    virtual ~UserInterface() = default;
    virtual Answer messageBox(const QString& text, const QString& title, Buttons buttons,
                              Icon icon) = 0;
    // Lets the window deliver its pending events (repaints, timer ticks, clicks) in the middle of
    // a long routine. The report has no window: nothing to do.
    virtual void yield() {}
};

}  // namespace torvix
