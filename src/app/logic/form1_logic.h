#pragma once

#include <QString>
#include <memory>

#include "app/logic/form_layout.h"
#include "items/form_model.h"
#include "items/routine.h"
#include "items/shared_values.h"
#include "items/user_interface.h"
#include "platform/machine.h"

namespace torvix {

// What the main window's logic asks of the program around it: the window (close lock) and the
// process (stop). The window implements it with widgets; the report with no-ops.
class ProgramControl {
  public:
    virtual ~ProgramControl() = default;
    // 閉じるを無効化にする: the main window's title bar loses its menu and buttons.
    virtual void removeCloseBox() = 0;
    // Hide the main window and end the whole program at once, closing every other window.
    virtual void endProgram() = 0;
    // Steps 1 and 2 set a timer's interval (timer 1 or 2), which (re)starts it counting from
    // there, in the middle of the sequence. Nothing to do where no timer runs (the report).
    virtual void setTimerInterval(int timer, int intervalMs) {
        Q_UNUSED(timer);
        Q_UNUSED(intervalMs);
    }
};

// The main window without widgets: its controls' model, the shared values, the start-up
// sequence, the clocks and the toggles. The window and the report both drive this.
class Form1Logic {
  public:
    Form1Logic(Machine& machine, UserInterface& ui, ProgramControl& program);
    ~Form1Logic();

    FormModel& model() { return model_; }
    SharedValues& shared() { return shared_; }
    RoutineContext& context() { return context_; }
    Machine& machine() { return machine_; }

    // Form_Activate: steps 1-11 of the start-up sequence. Not run (false) while the installed
    // software list is being built: it would empty the list being built and switch the automatic
    // end on again, letting the clock end the program in the middle of the search.
    bool runStartupSequence();

    // A click on any button of the main window that has logic here: caption buttons re-run their
    // item; Command34 toggles the automatic end; Command16 stops; Command31 builds the installed
    // software list. Returns false for buttons handled elsewhere (windows, output).
    bool click(const QString& button);
    // Whether click() handles `button`.
    static bool handles(const QString& button);

    // Command31: the installed software list, in the process's current directory. A click while
    // a list is being built does nothing: the run in progress goes on.
    void Command31_Click();
    bool softwareListRunning() const { return softwareListRunning_; }

    void Timer1_Timer();  // every 5000 ms: Command25_Click
    void Timer2_Timer();  // every 1000 ms: the clock tick
    void ShowWindowsStartTime();
    void Command34_Click();
    void Command16_Click();

    // Whether the program has been told to end (for the report and the tests).
    bool ended() const { return ended_; }

  private:
    Machine& machine_;
    UserInterface& ui_;
    ProgramControl& program_;
    FormModel model_;
    SharedValues shared_;
    RoutineContext context_;
    bool ended_ = false;
    bool softwareListRunning_ = false;
};

// Windows経過時間: hours, minutes and seconds since the operating system started (64-bit tick).
struct Elapsed {
    std::int64_t hours = 0, minutes = 0, seconds = 0;
};
Elapsed Windows経過時間(const Clock& clock);
// 起動時間: the local date and time the operating system started, rounded to the second.
QDateTime 起動時間(const Elapsed& elapsed, const QDateTime& now);

}  // namespace torvix
