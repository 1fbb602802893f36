#include "platform/clock.h"

#include <time.h>

#include <limits>

namespace torvix {

std::int64_t saturatingAddMs(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b > 0 ? std::numeric_limits<std::int64_t>::max()
                 : std::numeric_limits<std::int64_t>::min();
}

QDateTime SystemClock::now() const {
    return QDateTime::currentDateTime();
}

std::int64_t SystemClock::tickCountMs() const {
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

OffsetClock::OffsetClock(QDateTime start, std::int64_t startTickMs, bool advances)
    : start_(std::move(start)), startTick_(startTickMs), advances_(advances) {
    elapsed_.start();
}

QDateTime OffsetClock::now() const {
    return advances_ ? start_.addMSecs(elapsed_.elapsed()) : start_;
}

std::int64_t OffsetClock::tickCountMs() const {
    return advances_ ? saturatingAddMs(startTick_, elapsed_.elapsed()) : startTick_;
}

}  // namespace torvix
