#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>

#include "items/form_model.h"
#include "items/shared_values.h"
#include "items/user_interface.h"
#include "platform/machine.h"

namespace torvix {

// What a gathering routine works with: the window's controls, the computer, the user.
class RoutineContext {
  public:
    RoutineContext(FormModel& form, Machine& machine, UserInterface& ui, SharedValues& shared)
        : form_(form), machine_(machine), ui_(ui), shared_(shared) {}

    FormModel& form() { return form_; }
    Machine& machine() { return machine_; }
    UserInterface& ui() { return ui_; }
    SharedValues& shared() { return shared_; }
    const wmi::QueryService& wmi() { return *machine_.wmi; }
    SystemFunctions& system() { return *machine_.system; }
    Clock& clock() { return *machine_.clock; }

    // Names the step a routine is at, so an unguarded failure can say where it happened.
    void step(const QString& what) { step_ = what; }
    const QString& currentStep() const { return step_; }

  private:
    FormModel& form_;
    Machine& machine_;
    UserInterface& ui_;
    SharedValues& shared_;
    QString step_;
};

using RoutineFn = std::function<void(RoutineContext&)>;

// Connects to the management query service and runs one query, naming both steps for an
// unguarded failure: through the locator (ConnectServer without arguments), or a moniker.
wmi::ObjectSet queryViaLocator(RoutineContext& ctx, const QString& query,
                               int flags = wmi::wbemFlagReturnImmediately);
wmi::ObjectSet queryViaMoniker(RoutineContext& ctx, const QString& moniker, const QString& query,
                               int flags = wmi::wbemFlagReturnImmediately);

// Unguarded failures on standard error. A cause is printed in full the first time; the same
// cause again (a management service that is not there fails every routine alike) is only
// counted, and flush() prints "…: CAUSE (and N more routines)" once. Tooltips are not affected.
class UnguardedFailureLog {
  public:
    explicit UnguardedFailureLog(std::function<void(const QString&)> print)
        : print_(std::move(print)) {}
    ~UnguardedFailureLog() { flush(); }
    void report(const QString& line, const QString& cause);
    void flush();

  private:
    std::function<void(const QString&)> print_;
    QHash<QString, int> repeats_;  // every cause printed so far: repeats not yet told
    QStringList pending_;          // causes with untold repeats, in the order first met
};

// The program's log, printing "torvix: LINE" to standard error.
UnguardedFailureLog& unguardedFailureLog();

// Runs a routine without a guard of its own: a Failure (or any std::exception) ends the routine
// at its step; the cause goes to standard error as one line (routine, step, cause) and into the
// tooltip of each of `boxes`; the boxes keep what they showed. Returns false on failure.
bool runRoutine(RoutineContext& ctx, const QString& routineName, const QStringList& boxes,
                const RoutineFn& routine);

}  // namespace torvix
