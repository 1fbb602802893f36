#include "platform/slow_wait.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <atomic>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <thread>

using namespace torvix;

namespace {

// Waits on its own thread until `flag` is set, for at most 20 s; whether it was.
bool waitForFlag(const std::atomic<bool>& flag) {
    for (int i = 0; i < 2000 && !flag; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return flag;
}

}  // namespace

// An open budget caps what a slow source may wait; without one each keeps its own bound.
TEST(WaitBudget, CapsEverySourceWhileOpen) {
    const struct {
        std::optional<int> outerMs, innerMs;
        int ownMs;
        int atMost, atLeast;
    } cases[] = {
        {std::nullopt, std::nullopt, 500, 500, 500},
        {std::nullopt, std::nullopt, 0, 1, 1},  // never 0: "no limit" to some libraries
        {60000, std::nullopt, 50, 50, 50},
        {1000, std::nullopt, 60000, 1000, 1},
        {1000, 60000, 60000, 1000, 1},   // an inner scope keeps the outer budget
        {0, std::nullopt, 60000, 1, 1},  // spent: the source gives up at once
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ownMs);
        std::optional<WaitBudget::Scope> outer, inner;
        if (c.outerMs) outer.emplace(*c.outerMs);
        if (c.innerMs) inner.emplace(*c.innerMs);
        const int bound = WaitBudget::bound(c.ownMs);
        EXPECT_LE(bound, c.atMost);
        EXPECT_GE(bound, c.atLeast);
    }
    EXPECT_EQ(WaitBudget::bound(60000), 60000);  // every scope closed
}

// While the work runs elsewhere the application's thread handles its timers: the work here
// cannot end before a timer of the waiting thread has fired.
TEST(SlowWait, ServesTimersWhileWaiting) {
    std::atomic<bool> fired{false};
    QTimer::singleShot(0, [&fired] { fired = true; });
    bool seen = false;
    runServing([&] { seen = waitForFlag(fired); });
    EXPECT_TRUE(seen);

    std::atomic<bool> firedAgain{false};
    QTimer::singleShot(0, [&firedAgain] { firedAgain = true; });
    EXPECT_TRUE(runServingWithin([&firedAgain] { waitForFlag(firedAgain); }, 60000));
    EXPECT_TRUE(firedAgain);
}

TEST(SlowWait, FailuresAndOverrunsReachTheCaller) {
    EXPECT_THROW(runServing([] { throw std::runtime_error("no server"); }), std::runtime_error);

    // An overrun returns at its bound and leaves the work to end alone.
    auto release = std::make_shared<std::atomic<bool>>(false);
    auto ended = std::make_shared<std::atomic<bool>>(false);
    EXPECT_FALSE(runServingWithin(
        [release, ended] {
            waitForFlag(*release);
            *ended = true;
        },
        20));
    EXPECT_FALSE(*ended);
    *release = true;
    EXPECT_TRUE(waitForFlag(*ended));
}
