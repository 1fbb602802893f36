#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

#include "items/form_model.h"
#include "items/user_interface.h"
#include "platform/machine.h"

namespace torvix {

// The logon history window without widgets: its controls in a model, the hint put in at every
// activation, the start/stop history of "表示する" and the two shutdown buttons.
class Form7Logic {
  public:
    static const QString caption;         // "Logon回数"
    static const QString historyMoniker;  // local root\cimv2 with impersonation
    static const QString historyQuery;    // starts (6005) and clean stops (6006) of the System log
    static const QString hint;            // the two lines of the activation hint
    static const QString waiting;         // the three lines shown while the log is read
    static const QString header;          // the history's heading and the blank line after it
    static const QString noHistory;       // the line after `waiting` when there is no event

    Form7Logic();

    FormModel& model() { return model_; }
    const FormModel& model() const { return model_; }

    // Runs whenever the window becomes the program's active window: the hint replaces Text1.
    void Form_Activate();

    // "表示する": checks the count in Text2 (messages through `ui`), then reads the log of
    // `machine` and writes the history into Text1. A failing query or an unreadable event ends
    // the walk where it failed: the cause goes to standard error and Text1's tooltip, Text1
    // keeps what was written by then. False when the count was refused or a step failed.
    bool Command2_Click(Machine& machine, UserInterface& ui);

    // "シャットダウン" and "ハイブリッドスリープ": ask, then have the machine's launcher run the
    // command to its end, without a time limit, while the application's thread keeps serving
    // timers and repaints. A command that cannot start or fails is told with its error output; a
    // computer described by a machine file is never shut down; a press while one of the two
    // runs is ignored. True when the command ran and succeeded.
    bool Command3_Click(Machine& machine, UserInterface& ui) const;
    bool Command4_Click(Machine& machine, UserInterface& ui) const;

  private:
    FormModel model_;
    mutable bool shutdownRunning_ = false;
};

// The event code of a start in the history; every other event it reads is a shutdown.
constexpr int startEventCode = 6005;
// The largest count of starts the history shows.
constexpr int maxHistoryCount = 100;

// Whether the history walk, newest first, has shown all it shows for `count` starts: it stops
// after the first shutdown that follows the count's last start.
class HistoryExtent {
  public:
    explicit HistoryExtent(double count) : count_(count) {}
    // Takes the walk's next event; true when it is the last one the history shows.
    bool lastAfter(bool start) {
        if (start) {
            ++starts_;
            return false;
        }
        return starts_ + 1 > count_;  // as the window compares its counter
    }

  private:
    double count_;
    int starts_ = 0;
};

// The count as the window's script language reads a numeric text: blanks around it, a sign, a
// decimal point, an exponent and digit groups of three ("1,000") are allowed; full-width
// characters count as their ASCII forms. nullopt when the text is not numeric.
std::optional<double> numericValue(const QString& text);

// One line of the history, without its line end.
QString historyStartLine(int counter, const QDateTime& time);
QString historyShutdownLine(const QDateTime& time);

// A shutdown button's command: the question asked first and what the launcher runs on Yes.
struct ShutdownCommand {
    QString question;
    QString program;
    QStringList arguments;
};
const ShutdownCommand& shutdownCommand();     // Command3
const ShutdownCommand& hybridSleepCommand();  // Command4

// How long the window waits for systemctl: as long as it runs, since it may wait for the user to
// authorise it. -1 is "no limit" to the launcher, as to QProcess.
constexpr int shutdownTimeoutMs = -1;

}  // namespace torvix
