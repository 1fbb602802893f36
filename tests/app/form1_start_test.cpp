#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <functional>

#include "app/form1.h"
#include "app/form_widgets.h"
#include "app/gui_test_support.h"
#include "support/test_support.h"

using namespace torvix;
using torvix::test::waitFor;

namespace {

// A clock that tells the test when the sequence reads it: step 6 (DisplayStartTime) is the
// first reading, in the middle of the sequence.
class WatchedClock : public ManualClock {
  public:
    using ManualClock::ManualClock;
    QDateTime now() const override {
        if (onRead) onRead();
        return ManualClock::now();
    }
    std::function<void()> onRead;
};

}  // namespace

// The timers count from steps 1 and 2, in the middle of the sequence, and Label9 is hidden from
// the first paint on, before step 4 has run.
TEST(Form1Start, TimersFromStepsOneAndTwoAndNoNoticeAtFirstPaint) {
    QTemporaryDir work;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(work.path());
    Machine machine = loadMachineFile(test::dataPath("machines/office_pc.json"), false);
    auto clock =
        std::make_shared<WatchedClock>(QDateTime(QDate(2024, 4, 1), QTime(8, 5, 9)), 3725000);
    machine.clock = clock;
    Form1::Options options;
    options.exitProgram = [] {};
    {
        Form1 form(machine, options);
        struct Seen {
            bool read = false;
            bool timer1Active = false, timer2Active = false;
            int timer1Interval = 0, timer2Interval = 0;
        } seen;
        clock->onRead = [&] {
            if (seen.read || form.startupRuns() > 0) return;
            seen = {true, form.Timer1().isActive(), form.Timer2().isActive(),
                    form.Timer1().interval(), form.Timer2().interval()};
        };
        form.showCentred();
        // Shown but the sequence not yet run (it is queued after the showing): the first paint.
        EXPECT_EQ(form.startupRuns(), 0);
        EXPECT_FALSE(form.widgets().widget("Label9")->isVisible());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        ASSERT_TRUE(waitFor([&] { return form.startupRuns() >= 1; }));

        const struct {
            const char* what;
            bool active;
            int interval;
            bool activeAtStep6;
            int intervalAtStep6;
        } timers[] = {
            {"Timer1", form.Timer1().isActive(), form.Timer1().interval(), seen.timer1Active,
             seen.timer1Interval},
            {"Timer2", form.Timer2().isActive(), form.Timer2().interval(), seen.timer2Active,
             seen.timer2Interval},
        };
        ASSERT_TRUE(seen.read);
        for (const auto& t : timers) {
            SCOPED_TRACE(t.what);
            EXPECT_TRUE(t.activeAtStep6);
            EXPECT_TRUE(t.active);
            EXPECT_EQ(t.intervalAtStep6, t.interval);
        }
        EXPECT_EQ(timers[0].interval, 5000);
        EXPECT_EQ(timers[1].interval, 1000);
        EXPECT_FALSE(form.widgets().widget("Label9")->isVisible());
        clock->onRead = nullptr;
    }
    QDir::setCurrent(previous);
}
