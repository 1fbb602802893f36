// Times the installed software list: the dpkg walk alone, the whole Command31 run without a
// window, and the run in a shown main window whose yield processes pending events, each on a
// synthetic database of 1,000 packages and on this computer's own. Prints the median of N runs
// in milliseconds and, for the window, the longest stretch without an event-loop turn.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "app/form_widgets.h"
#include "app/logic/form1_logic.h"
#include "app/logic/form_layout.h"
#include "app/message_box_ui.h"
#include "bench_support.h"
#include "platform/live/software_provider.h"

namespace {

using torvix::bench::medianMs;
using torvix::bench::NoProgram;
using torvix::bench::QuietUi;

using namespace torvix;

// The window's own yield, with the message boxes answered at once.
class WindowUi : public MessageBoxUi {
  public:
    using MessageBoxUi::MessageBoxUi;
    Answer messageBox(const QString&, const QString&, Buttons b, Icon) override {
        return b == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    void yield() override {
        ++yields;
        if (deliver) MessageBoxUi::yield();
    }
    bool deliver = true;  // false: the widgets' own cost, without event delivery
    QElapsedTimer clock;
    int yields = 0;
};

void print(const QString& what, double ms, const QString& extra = {}) {
    if (ms < 0)
        std::printf("%-58s failed\n", what.toUtf8().constData());
    else
        std::printf("%-58s %10.2f ms %s\n", what.toUtf8().constData(), ms,
                    extra.toUtf8().constData());
    std::fflush(stdout);
}

// A status file of `count` installed packages shaped like real stanzas (about 1 KB each), with
// a few removed ones in between.
QByteArray syntheticStatus(int count) {
    QByteArray s;
    for (int i = 0; i < count; ++i) {
        const QByteArray n = QByteArray::number(i);
        s += "Package: package-" + n +
             "\nStatus: install ok installed\nPriority: optional\n"
             "Section: libs\nInstalled-Size: 1234\n"
             "Maintainer: Debian Developers <debian-devel@lists.debian.org>\n"
             "Architecture: amd64\nMulti-Arch: same\nSource: source-" +
             n + "\nVersion: 1:2." + n +
             "-1+deb12u1\nDepends: libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 12)\n"
             "Description: synthetic package number " +
             n +
             "\n This package exists for timing only. It has a long description that goes on\n"
             " over several lines, as most packages have, so the reader passes over them.\n .\n"
             " Another paragraph of the description.\nHomepage: https://example.org/\n\n";
        if (i % 50 == 0)
            s += "Package: removed-" + n +
                 "\nStatus: deinstall ok config-files\nVersion: 1.0\nConffiles:\n /etc/x "
                 "0123456789abcdef0123456789abcdef\n\n";
    }
    return s;
}

int walkCount(const QString& root) {
    live::SoftwareProvider::Options o;
    o.root = root;
    o.home = QStringLiteral("/nonexistent");
    live::SoftwareProvider provider(o);
    wmi::wql::Query query;
    auto cursor = provider.enumerate(query);
    int n = 0;
    while (cursor->next()) ++n;
    return n;
}

Machine machineAt(const QString& root) {
    LiveMachineOptions o;
    o.root = root;
    return makeLiveMachine(o);
}

// Command31 without a window; false when the list did not come out whole.
bool listWithoutWindow(const QString& root, int expected) {
    Machine machine = machineAt(root);
    QuietUi ui;
    NoProgram program;
    Form1Logic logic(machine, ui, program);
    logic.click(QStringLiteral("Command31"));
    return logic.model().items(QStringLiteral("List1")).size() == expected;
}

// Command31 in a shown main window: the milliseconds of the click, -1 when the list did not come
// out whole.
double listInWindow(const QString& root, int expected, qint64& longestGapNs, int& yields,
                    int& loopTurns, bool deliver = true) {
    Machine machine = machineAt(root);
    NoProgram program;
    auto window = std::make_unique<QWidget>();
    WindowUi ui(window.get());
    ui.deliver = deliver;
    Form1Logic logic(machine, ui, program);
    auto shown = std::make_unique<QWidget>();
    new FormWidgets(form1Spec(), logic.model(), shown.get());
    shown->show();
    QApplication::processEvents();
    // A zero timer fires at every turn of the event loop: the longest time between two firings is
    // the longest a click or a clock tick could have waited.
    QTimer turns;
    turns.setInterval(0);
    qint64 last = 0;  // from the click to the first turn, between turns, from the last to the end
    QObject::connect(&turns, &QTimer::timeout, [&] {
        const qint64 now = ui.clock.nsecsElapsed();
        longestGapNs = std::max(longestGapNs, now - last);
        last = now;
        ++loopTurns;
    });
    turns.start();
    ui.clock.start();
    logic.click(QStringLiteral("Command31"));
    const qint64 end = ui.clock.nsecsElapsed();
    const double ms = static_cast<double>(end) / 1e6;
    longestGapNs = std::max(longestGapNs, end - last);
    turns.stop();
    yields = ui.yields;
    shown.reset();  // before the model it shows
    return logic.model().items(QStringLiteral("List1")).size() == expected ? ms : -1;
}

double medianOf(int runs, const std::function<double()>& once) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double ms = once();
        if (ms < 0) return -1;
        times.push_back(ms);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 11;

    QTemporaryDir work;
    if (!work.isValid()) return 1;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(work.path());

    QTemporaryDir synthetic;
    QDir(synthetic.path()).mkpath(QStringLiteral("var/lib/dpkg"));
    {
        QFile f(synthetic.path() + QStringLiteral("/var/lib/dpkg/status"));
        if (!f.open(QIODevice::WriteOnly)) return 1;
        f.write(syntheticStatus(1000));
    }
    const QString real = QStringLiteral("/");
    const int realCount = walkCount(real);

    struct Source {
        QString name, root;
        int count;
    };
    const Source sources[] = {
        {QStringLiteral("1,000 synthetic packages"), synthetic.path(), 1000},
        {QStringLiteral("this computer (%1 products)").arg(realCount), real, realCount}};

    for (const Source& s : sources) {
        print(QStringLiteral("dpkg walk, ") + s.name,
              medianMs(runs, [&] { return walkCount(s.root) == s.count; }));
        print(QStringLiteral("Command31 without a window, ") + s.name,
              medianMs(runs, [&] { return listWithoutWindow(s.root, s.count); }));
        qint64 longest = 0, unused = 0;
        int yields = 0, turns = 0;
        print(QStringLiteral("Command31 in the window, events held back, ") + s.name,
              medianOf(runs, [&] {
                  return listInWindow(s.root, s.count, unused, yields, turns, false);
              }));
        turns = 0;
        const double ms = medianOf(
            runs, [&] { return listInWindow(s.root, s.count, longest, yields, turns, true); });
        print(QStringLiteral("Command31 in the window, ") + s.name, ms,
              QStringLiteral("(%1 yields, %2 event-loop turns a run, longest wait %3 ms)")
                  .arg(yields)
                  .arg(turns / runs)
                  .arg(static_cast<double>(longest) / 1e6, 0, 'f', 2));
    }
    QDir::setCurrent(previous);
    return 0;
}
