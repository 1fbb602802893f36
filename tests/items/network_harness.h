#pragma once

#include <QByteArray>
#include <QString>

#include "app/logic/form_layout.h"
#include "items/catalog.h"
#include "items/form_model.h"
#include "items/routine.h"
#include "items/shared_values.h"
#include "items/user_interface.h"
#include "platform/machine.h"

namespace torvix::test {

class SilentUi : public UserInterface {
  public:
    Answer messageBox(const QString&, const QString&, Buttons, Icon) override {
        ++shown;
        return Answer::Ok;
    }
    int shown = 0;
};

// The main window's controls and a computer described by a machine file whose "wmi" member is
// `wmi` (a JSON object text), ready to run the network items.
class NetworkHarness {
  public:
    explicit NetworkHarness(const QByteArray& wmi, const QByteArray& extra = {})
        : machine(parseMachineFile(
              R"({"torvix-machine": 1, "clock": {"now": "2024-04-01T08:05:09", "tickCount": 1},)"
              R"( "locale": "ja_JP", )" +
                  (extra.isEmpty() ? QByteArray() : extra + ", ") + R"("wmi": )" + wmi + "}",
              "machine.json", false)),
          ctx(form, machine, ui, shared) {
        declareControls(form1Spec(), form);
    }

    // Runs the routine of `button` as a click does; false when it failed.
    bool click(const QString& button) { return runItem(ctx, button); }
    QString text(const QString& name) const { return form.text(name); }
    bool filled(const QString& name) const { return form.background(name) == colors::filled; }

    Machine machine;
    FormModel form;
    SharedValues shared;
    SilentUi ui;
    RoutineContext ctx;
};

// A Win32_NetworkAdapterConfiguration class of the given instances (JSON objects, comma
// separated).
inline QByteArray adapters(const QByteArray& instances) {
    return R"({"Win32_NetworkAdapterConfiguration": [)" + instances + "]}";
}

}  // namespace torvix::test
