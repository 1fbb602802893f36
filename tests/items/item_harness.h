#pragma once

#include <QByteArray>
#include <QString>
#include <tuple>
#include <vector>

#include "app/logic/form_layout.h"
#include "items/catalog.h"
#include "items/form_model.h"
#include "items/routine.h"
#include "items/shared_values.h"
#include "items/user_interface.h"
#include "platform/machine.h"

namespace torvix::test {

// Keeps every message box it is asked for and answers with the affirmative button.
class RecordingUi : public UserInterface {
  public:
    struct Box {
        QString text, title;
        Buttons buttons;
        Icon icon;
    };
    Answer messageBox(const QString& text, const QString& title, Buttons buttons,
                      Icon icon) override {
        boxes.push_back({text, title, buttons, icon});
        return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    std::vector<Box> boxes;
};

// A machine file text with the given "system" and "wmi" members (JSON object texts).
inline QByteArray machineJson(
    const QByteArray& system, const QByteArray& wmi,
    const QByteArray& clock = R"({"now": "2024-04-01T09:07:14", "tickCount": 3725000})") {
    return R"({"torvix-machine": 1, "clock": )" + clock + R"(, "locale": "ja_JP", "system": )" +
           system + R"(, "wmi": )" + wmi + "}";
}

// The main window's controls and a computer from a machine file, ready to run the items.
class ItemHarness {
  public:
    explicit ItemHarness(const QByteArray& json)
        : machine(parseMachineFile(json, QStringLiteral("machine.json"), false)),
          ctx(form, machine, ui, shared) {
        declareControls(form1Spec(), form);
    }
    ItemHarness(const QByteArray& system, const QByteArray& wmi)
        : ItemHarness(machineJson(system, wmi)) {}

    bool click(const QString& button) { return runItem(ctx, button); }
    QString text(const QString& name) const { return form.text(name); }
    bool filled(const QString& name) const { return form.background(name) == colors::filled; }

    Machine machine;
    FormModel form;
    SharedValues shared;
    RecordingUi ui;
    RoutineContext ctx;
};

}  // namespace torvix::test
