#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

#include "items/user_interface.h"
#include "platform/command_launcher.h"
#include "platform/machine.h"

namespace torvix::test {

// One Win32_NTLogEvent instance of the System log.
inline QByteArray logEvent(int code, const char* timeWritten, const char* logfile = "System") {
    return QByteArray(R"({"Logfile": ")") + logfile + R"(", "EventCode": )" +
           QByteArray::number(code) + R"(, "TimeWritten": ")" + timeWritten + R"("})";
}

// A machine file whose "wmi" member holds the given Win32_NTLogEvent instances, in the order the
// service returns them.
inline QByteArray logMachineJson(const std::vector<QByteArray>& events) {
    QByteArrayList parts(events.begin(), events.end());
    return R"({"torvix-machine": 1, "clock": {"now": "2024-04-01T08:05:09", "tickCount": 1},)"
           R"( "locale": "ja_JP", "wmi": {"Win32_NTLogEvent": [)" +
           parts.join(", ") + "]}}";
}

// Keeps every command line it is given instead of starting anything; answers with `result`.
class RecordingLauncher : public CommandLauncher {
  public:
    struct Call {
        QString how;  // "run" or "startDetached"
        QString program;
        QStringList arguments;
        int timeoutMs = 0;
    };
    QString findProgram(const QString& program) const override { return "/usr/bin/" + program; }
    LaunchResult startDetached(const QString& program, const QStringList& arguments) override {
        calls.push_back({"startDetached", program, arguments, 0});
        return result;
    }
    LaunchResult run(const QString& program, const QStringList& arguments, int timeoutMs) override {
        calls.push_back({"run", program, arguments, timeoutMs});
        return result;
    }
    // The command lines given, program and arguments joined by blanks.
    QStringList commandLines() const {
        QStringList out;
        for (const Call& c : calls) out << (QStringList{c.program} + c.arguments).join(' ');
        return out;
    }
    LaunchResult result{true, 0, {}};
    std::vector<Call> calls;
};

// Keeps every message box; questions get `answer`, other boxes OK.
class ScriptedUi : public UserInterface {
  public:
    struct Box {
        QString text, title;
        Buttons buttons;
        Icon icon;
    };
    explicit ScriptedUi(Answer answer = Answer::Yes) : answer(answer) {}
    Answer messageBox(const QString& text, const QString& title, Buttons buttons,
                      Icon icon) override {
        boxes.push_back({text, title, buttons, icon});
        return buttons == Buttons::YesNo ? answer : Answer::Ok;
    }
    QStringList texts() const {
        QStringList out;
        for (const Box& b : boxes) out << b.text;
        return out;
    }
    Answer answer;
    std::vector<Box> boxes;
};

}  // namespace torvix::test
