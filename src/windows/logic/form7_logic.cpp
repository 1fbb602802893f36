#include "windows/logic/form7_logic.h"

#include <QLocale>
#include <QRegularExpression>
#include <cmath>

#include "items/network/network_items.h"
#include "items/routine.h"
#include "items/shared_values.h"
#include "platform/slow_wait.h"
#include "platform/wmi/instance.h"

namespace torvix {

const QString Form7Logic::caption = QStringLiteral("Logon回数");
const QString Form7Logic::historyMoniker =
    QStringLiteral("winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\cimv2");
const QString Form7Logic::historyQuery =
    QStringLiteral("Select * from Win32_NTLogEvent Where Logfile = 'System' and ") +
    QStringLiteral("(EventCode = '6005' or EventCode = '6006')");
const QString Form7Logic::hint =
    QStringLiteral("ここに過去の起動/停止した時間が\r\n表示されます。");
const QString Form7Logic::waiting = QStringLiteral(
    "情報を取得中です。\r\n表示までに少し時間がかかります。\r\nしばらくお待ちください。");
const QString Form7Logic::header = QStringLiteral("起動/停止         日付\r\n\r\n");
const QString Form7Logic::noHistory = QStringLiteral("起動/停止の記録は見つかりませんでした。");

namespace {

const QString text1 = QStringLiteral("Text1");
const QString text2 = QStringLiteral("Text2");
const QString crlf = QStringLiteral("\r\n");
const QString shutdownTitle = QStringLiteral("シャットダウン");

QString eventTime(const QDateTime& time) {
    return time.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

// The history walk of "表示する" after the count has passed its checks.
void showHistory(RoutineContext& ctx, double count) {
    FormModel& form = ctx.form();
    form.setText(text1, Form7Logic::waiting);
    wmi::ObjectSet events =
        queryViaMoniker(ctx, Form7Logic::historyMoniker, Form7Logic::historyQuery);
    ctx.step(QStringLiteral("Count"));
    // Only "is there any" is asked: the first event is read, not every one of them.
    if (!events.next()) {
        // The walk is over; the waiting lines stay for whatever reads them, the last says so.
        form.setText(text1, Form7Logic::waiting + crlf + Form7Logic::noHistory);
        return;
    }
    events.rewind();

    QString text = Form7Logic::header;
    form.setText(text1, text);
    int counter = 1;
    HistoryExtent extent(count);
    bool stop = false;
    try {
        for (int index = 1; !stop; ++index) {
            ctx.step(QStringLiteral("read event %1").arg(index));
            const std::optional<wmi::Instance> event = events.next();
            if (!event) break;
            ctx.step(QStringLiteral("convert TimeWritten of event %1").arg(index));
            const QDateTime time =
                items::日本時間に変換(event->property(QStringLiteral("TimeWritten")).toText());
            ctx.step(QStringLiteral("read EventCode of event %1").arg(index));
            const bool start =
                event->property(QStringLiteral("EventCode")).toInteger() == startEventCode;
            if (start) {
                text += historyStartLine(counter, time);
                ++counter;
            } else {
                text += historyShutdownLine(time);
            }
            stop = extent.lastAfter(start);
            if (!stop) text += crlf;
        }
    } catch (...) {
        // What was written before the failing event stays in view.
        form.setText(text1, text);
        throw;
    }
    form.setText(text1, text);
}

bool runShutdown(const ShutdownCommand& command, Machine& machine, UserInterface& ui,
                 bool& running) {
    // A press while a command runs (its question or an authorisation still open) starts nothing.
    if (running) return false;
    running = true;
    const struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{running};
    if (ui.messageBox(command.question, shutdownTitle, UserInterface::Buttons::YesNo,
                      UserInterface::Icon::Information) != UserInterface::Answer::Yes)
        return false;
    // The window shows a computer described by a file: this computer is not the one meant.
    if (machine.root.isEmpty()) {
        ui.messageBox(QStringLiteral("表示中のコンピューターはファイルに記述されたものです。\n"
                                     "このコンピューターではコマンドを実行しませんでした。"),
                      shutdownTitle, UserInterface::Buttons::Ok, UserInterface::Icon::Information);
        return false;
    }
    const QString commandLine = (QStringList{command.program} + command.arguments).join(u' ');
    LaunchResult result;
    if (const std::shared_ptr<CommandLauncher> launcher = machine.launcher) {
        // systemctl may wait for the user to authorise it, as long as that takes: the window
        // keeps its clocks and repaints meanwhile.
        runServing(
            [&] { result = launcher->run(command.program, command.arguments, shutdownTimeoutMs); });
    } else {
        result.errorText = QStringLiteral("no command launcher");
    }
    if (result.succeeded()) return true;
    QString message;
    if (!result.started)
        message = QStringLiteral("「%1」を開始できませんでした。").arg(commandLine);
    else
        message = QStringLiteral("「%1」が失敗しました(終了コード %2)。")
                      .arg(commandLine)
                      .arg(result.exitCode);
    if (!result.errorText.isEmpty()) message += QLatin1Char('\n') + result.errorText;
    ui.messageBox(message, shutdownTitle, UserInterface::Buttons::Ok,
                  UserInterface::Icon::Critical);
    return false;
}

}  // namespace

std::optional<double> numericValue(const QString& text) {
    // Full-width digits, signs, points and blanks as typed with a Japanese input method.
    const QString s = text.normalized(QString::NormalizationForm_KC).trimmed();
    static const QRegularExpression pattern(QStringLiteral(
        "^[+-]?(?:[0-9]{1,3}(?:,[0-9]{3})+|[0-9]*)(?:\\.[0-9]*)?(?:[eE][+-]?[0-9]+)?$"));
    static const QRegularExpression mantissaDigit(QStringLiteral("^[+-]?[0-9,]*\\.?[0-9]"));
    if (s.isEmpty() || !pattern.match(s).hasMatch() || !mantissaDigit.match(s).hasMatch())
        return std::nullopt;
    QString plain = s;
    plain.remove(QLatin1Char(','));
    bool ok = false;
    const double value = QLocale::c().toDouble(plain, &ok);
    // A value too large for a number is no number either.
    if (!ok || !std::isfinite(value)) return std::nullopt;
    return value;
}

QString historyStartLine(int counter, const QDateTime& time) {
    return QStringLiteral(" (%1) 起動          ").arg(counter, 2, 10, QLatin1Char('0')) +
           eventTime(time);
}

QString historyShutdownLine(const QDateTime& time) {
    return QStringLiteral("  →シャットダウン ") + eventTime(time);
}

const ShutdownCommand& shutdownCommand() {
    static const ShutdownCommand c{QStringLiteral("シャットダウンしますか？"),
                                   QStringLiteral("systemctl"),
                                   {QStringLiteral("poweroff")}};
    return c;
}

const ShutdownCommand& hybridSleepCommand() {
    static const ShutdownCommand c{
        QStringLiteral("ハイブリッドスリープしますか？ (Windows10で有効)"),
        QStringLiteral("systemctl"),
        {QStringLiteral("hybrid-sleep")}};
    return c;
}

Form7Logic::Form7Logic() {
    model_.declare(text1, QString());
    model_.declare(QStringLiteral("Label1"), QStringLiteral("表示回数"));
    model_.declare(text2, QStringLiteral("10"));
    model_.declare(QStringLiteral("Command2"), QStringLiteral("表示する"));
    model_.declare(QStringLiteral("Command1"), QStringLiteral("表示終了"));
    model_.declare(QStringLiteral("Command3"), QStringLiteral("シャットダウン"));
    model_.declare(QStringLiteral("Command4"), QStringLiteral("ハイブリッドスリープ"));
}

void Form7Logic::Form_Activate() {
    model_.setText(text1, hint);
    model_.setToolTip(text1, QString());
}

bool Form7Logic::Command2_Click(Machine& machine, UserInterface& ui) {
    const std::optional<double> count = numericValue(model_.text(text2));
    if (!count) {
        ui.messageBox(QStringLiteral("指定が数字ではありません。"), QStringLiteral("エラー"),
                      UserInterface::Buttons::Ok, UserInterface::Icon::Critical);
        return false;
    }
    if (*count < 1 || *count > maxHistoryCount) {
        ui.messageBox(QStringLiteral("回数は1～100迄です。"), QStringLiteral("回数"),
                      UserInterface::Buttons::Ok, UserInterface::Icon::Critical);
        return false;
    }
    SharedValues unused;
    RoutineContext ctx(model_, machine, ui, unused);
    const double n = *count;
    return runRoutine(ctx, QStringLiteral("Form7 Command2_Click"), {text1},
                      [n](RoutineContext& c) { showHistory(c, n); });
}

bool Form7Logic::Command3_Click(Machine& machine, UserInterface& ui) const {
    return runShutdown(shutdownCommand(), machine, ui, shutdownRunning_);
}

bool Form7Logic::Command4_Click(Machine& machine, UserInterface& ui) const {
    return runShutdown(hybridSleepCommand(), machine, ui, shutdownRunning_);
}

}  // namespace torvix
