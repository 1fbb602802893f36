#include "platform/clock.h"

#include <time.h>

namespace torvix {

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
    return advances_ ? startTick_ + elapsed_.elapsed() : startTick_;
}

}  // namespace torvix
