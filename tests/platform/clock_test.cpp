#include "platform/clock.h"

#include <gtest/gtest.h>

#include <QThread>
#include <limits>

using namespace torvix;

namespace {
constexpr std::int64_t maxMs = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t minMs = std::numeric_limits<std::int64_t>::min();
}  // namespace

TEST(Clock, TickArithmeticHoldsAtTheEndsOfTheRange) {
    struct Case {
        std::int64_t a, b, sum;
    };
    const std::vector<Case> cases = {
        {1, 2, 3},
        {maxMs - 5, 5, maxMs},
        {maxMs - 5, 6, maxMs},
        {maxMs, maxMs, maxMs},
        {minMs + 5, -6, minMs},
        {minMs, -1, minMs},
        {maxMs, minMs, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.a) + " + " + std::to_string(c.b));
        EXPECT_EQ(saturatingAddMs(c.a, c.b), c.sum);
    }

    // Clocks that advance from the largest tick count stay there instead of wrapping.
    const QDateTime start(QDate(2024, 4, 1), QTime(8, 5, 9));
    OffsetClock offset(start, maxMs, true);
    ManualClock manual(start, maxMs - 1);
    manual.advanceMs(1000);
    QThread::msleep(5);
    EXPECT_EQ(offset.tickCountMs(), maxMs);
    EXPECT_EQ(manual.tickCountMs(), maxMs);
}
