#include "app/logic/form1_logic.h"

#include <QDir>
#include <cmath>

#include "items/catalog.h"
#include "items/routine.h"
#include "items/storage/software_list.h"
#include "platform/slow_wait.h"
#include "platform/text/date_time_text.h"

namespace torvix {

namespace {

constexpr int displaySeconds = 180;

// Step 7: every gathering routine, in the window's fixed order. A button whose routine is not in
// the catalog yet is passed over, so later items join by being added to the catalog alone.
const QStringList& startupOrder() {
    static const QStringList order = {
        "Command1",  "Command2",  "Command3",   // processor
        "Command17",                            // memory size
        "Command33",                            // access level
        "Command9",  "Command10", "Command11",  // connection, user, host
        "Command28", "Command12", "Command13", "Command23", "Command24", "Command26",
        "Command27",               // addresses (DHCP server before the IP address)
        "Command4",                // address acquisition time
        "Command29",               // logon count (joins with the logon history)
        "Command32",               // domain password change date (joins later)
        "Command5",  "Command22",  // operating system
        "Command6",                // MAC address
        "Command7",  "Command8",   // pointer, display
        "Command18", "Command19",  // drive capacity and use
        "Command21",               // default printer (joins with the printer list)
        "Command20",               // drive use ratio
        "Command39", "Command40",  // product
    };
    return order;
}

// Local date and time to the second, as the window's clock keeps it.
QDateTime toSecond(const QDateTime& t) {
    QDateTime out = t;
    out.setTime(QTime(t.time().hour(), t.time().minute(), t.time().second()));
    return out;
}

}  // namespace

Form1Logic::Form1Logic(Machine& machine, UserInterface& ui, ProgramControl& program)
    : machine_(machine), ui_(ui), program_(program), context_(model_, machine, ui, shared_) {
    declareControls(form1Spec(), model_);
    // Hidden by design: it shows only while the installed software list is being built, never
    // at the first paint before step 4 runs.
    model_.setVisible(QStringLiteral("Label9"), false);
}

Form1Logic::~Form1Logic() = default;

bool Form1Logic::runStartupSequence() {
    if (softwareListRunning_) return false;
    // The directory and the print server share one bound per activation.
    const WaitBudget::Scope budget(slowSourcesBudgetMs);
    shared_.timer1IntervalMs = 5000;
    program_.setTimerInterval(1, shared_.timer1IntervalMs);
    shared_.timer2IntervalMs = 1000;
    program_.setTimerInterval(2, shared_.timer2IntervalMs);

    const QString list = QStringLiteral("List1");
    model_.clearItems(list);
    model_.addItem(list, QStringLiteral("表示中です。しばらくお待ちください。"));
    model_.addItem(
        list, QStringLiteral(
                  "(注意) 「Windowsが起動された時刻」は「ハイブリッドスリープ」は含まれません。"));

    model_.setVisible(QStringLiteral("Label9"), false);
    program_.removeCloseBox();
    shared_.DisplayStartTime = toSecond(machine_.clock->now());

    for (const QString& button : startupOrder())
        if (findItemRoutine(button)) runItem(context_, button);

    model_.setText(QStringLiteral("Command34"), QStringLiteral("← この終了機能を無効にする"));
    shared_.AutoEndEnabled = true;
    model_.setBackground(QStringLiteral("Command34"), colors::green);

    shared_.MemoryCheckEnabled = true;
    runItem(context_, QStringLiteral("Command25"));
    runItem(context_, QStringLiteral("Command35"));
    model_.setText(QStringLiteral("Command35"), QStringLiteral("↑ この機能を有効にする"));
    model_.setBackground(QStringLiteral("Command35"), colors::green);

    ShowWindowsStartTime();
    model_.addItem(list, QStringLiteral("すべて表示されました。"));
    unguardedFailureLog().flush();  // one line for a cause every routine met
    return true;
}

bool Form1Logic::click(const QString& button) {
    if (button == QLatin1String("Command34")) {
        Command34_Click();
        return true;
    }
    if (button == QLatin1String("Command16")) {
        Command16_Click();
        return true;
    }
    if (button == QLatin1String("Command31")) {
        Command31_Click();
        return true;
    }
    if (!findItemRoutine(button)) return false;
    runItem(context_, button);
    return true;
}

bool Form1Logic::handles(const QString& button) {
    return button == QLatin1String("Command34") || button == QLatin1String("Command16") ||
           button == QLatin1String("Command31") || findItemRoutine(button);
}

void Form1Logic::Command31_Click() {
    if (softwareListRunning_) return;
    softwareListRunning_ = true;
    struct Done {
        bool& running;
        ~Done() { running = false; }
    } done{softwareListRunning_};
    items::buildSoftwareList(context_, currentDirectory(), [this] { return ended_; });
}

void Form1Logic::Timer1_Timer() {
    runItem(context_, QStringLiteral("Command25"));
}

void Form1Logic::Timer2_Timer() {
    if (ended_) return;
    const Elapsed e = Windows経過時間(*machine_.clock);
    model_.setText(QStringLiteral("Label2"),
                   QStringLiteral("Ｗｉｎｄｏｗｓ起動からの経過時間 %1時間%2分%3秒")
                       .arg(e.hours)
                       .arg(e.minutes)
                       .arg(e.seconds));
    const QDateTime now = machine_.clock->now();
    if (shared_.AutoEndEnabled) {
        const qint64 n = shared_.DisplayStartTime.secsTo(toSecond(now));
        if (n > displaySeconds) {
            Command16_Click();
            return;
        }
        model_.setText(
            QStringLiteral("Label4"),
            QStringLiteral("この表示が終了する迄の残り時間 %1秒").arg(displaySeconds - n));
    } else {
        model_.setText(QStringLiteral("Label4"), QStringLiteral("自動では停止しません"));
    }
    model_.setText(QStringLiteral("Label5"),
                   QStringLiteral("只今の時刻 ") + generalDateTimeText(now, machine_.locale));
}

void Form1Logic::ShowWindowsStartTime() {
    const Elapsed e = Windows経過時間(*machine_.clock);
    const QDateTime start = 起動時間(e, machine_.clock->now());
    const QDate d = start.date();
    const QTime t = start.time();
    model_.setText(QStringLiteral("Label3"),
                   QStringLiteral("Ｗｉｎｄｏｗｓが起動された時刻 %1/%2/%3 %4:%5:%6")
                       .arg(d.year())
                       .arg(d.month())
                       .arg(d.day())
                       .arg(t.hour())
                       .arg(t.minute())
                       .arg(t.second()));
}

void Form1Logic::Command34_Click() {
    const QString button = QStringLiteral("Command34");
    if (shared_.AutoEndEnabled) {
        shared_.AutoEndEnabled = false;
        model_.setText(button, QStringLiteral("← この終了機能を有効にする"));
        model_.setBackground(button, colors::yellow);
    } else {
        shared_.AutoEndEnabled = true;
        model_.setText(button, QStringLiteral("← この終了機能を無効にする"));
        model_.setBackground(button, colors::green);
    }
}

void Form1Logic::Command16_Click() {
    ended_ = true;
    program_.endProgram();
}

// The tick count is read once per field, as the original arithmetic does; it is 64-bit here, so
// the figures stay right past 2^31 ms (24.8 days) of uptime.
Elapsed Windows経過時間(const Clock& clock) {
    Elapsed e;
    e.hours = clock.tickCountMs() / 1000 / 60 / 60;
    e.minutes = clock.tickCountMs() / 1000 / 60 - e.hours * 60;
    e.seconds = (clock.tickCountMs() - e.hours * 3600000 - e.minutes * 60000) / 1000;
    return e;
}

QDateTime 起動時間(const Elapsed& elapsed, const QDateTime& now) {
    const double days = static_cast<double>(elapsed.minutes) / 60 / 24 +
                        static_cast<double>(elapsed.hours) / 24 +
                        static_cast<double>(elapsed.seconds) / 60 / 60 / 24;
    const qint64 offsetMs = std::llround(days * 86400000.0);
    // Calendar arithmetic on the local reading, cut to the second as the clock keeps it: no
    // milliseconds of the current time, and no daylight-saving shift between start and now.
    const QDateTime second = toSecond(now);
    const QDateTime wall(second.date(), second.time(), Qt::UTC);
    const qint64 startMs = wall.toMSecsSinceEpoch() - offsetMs;
    // Round to the nearest whole second (floor division: the epoch may lie after the start).
    qint64 secs = startMs / 1000;
    qint64 rest = startMs % 1000;
    if (rest < 0) {
        rest += 1000;
        --secs;
    }
    if (rest >= 500) ++secs;
    const QDateTime start = QDateTime::fromSecsSinceEpoch(secs, Qt::UTC);
    return QDateTime(start.date(), start.time(), now.timeSpec());
}

}  // namespace torvix
