#pragma once

// What every benchmark of the project shares: a user who answers every question, a program that
// never ends, and the median of repeated timings.
#include <QElapsedTimer>
#include <algorithm>
#include <functional>
#include <vector>

#include "app/logic/form1_logic.h"
#include "items/user_interface.h"

namespace torvix::bench {

class QuietUi : public UserInterface {
  public:
    Answer messageBox(const QString&, const QString&, Buttons b, Icon) override {
        return b == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
};

class NoProgram : public ProgramControl {
  public:
    void removeCloseBox() override {}
    void endProgram() override {}
};

// The median time of `runs` calls of `once` in ms; -1 when a call reports failure.
inline double medianMs(int runs, const std::function<bool()>& once) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        if (!once()) return -1;
        times.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    if (times.empty()) return -1;
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace torvix::bench
