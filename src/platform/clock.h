#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <cstdint>

namespace torvix {

// a + b, held at the ends of the 64-bit range instead of overflowing: a tick count from a file
// may be anything.
std::int64_t saturatingAddMs(std::int64_t a, std::int64_t b);

// The one source of time: the local date and time, and the uptime in ms (GetTickCount, kept
// 64-bit so it does not wrap after 24.8 days).
class Clock {
  public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    virtual std::int64_t tickCountMs() const = 0;
};

// The real clock of this computer (CLOCK_BOOTTIME).
class SystemClock : public Clock {
  public:
    QDateTime now() const override;
    std::int64_t tickCountMs() const override;
};

// A clock that starts at given values and then either stays put or advances with real time.
class OffsetClock : public Clock {
  public:
    OffsetClock(QDateTime start, std::int64_t startTickMs, bool advances);
    QDateTime now() const override;
    std::int64_t tickCountMs() const override;

  private:
    QDateTime start_;
    std::int64_t startTick_;
    bool advances_;
    QElapsedTimer elapsed_;
};

// A clock the tests move by hand.
class ManualClock : public Clock {
  public:
    ManualClock(QDateTime now, std::int64_t tickMs) : now_(std::move(now)), tick_(tickMs) {}
    QDateTime now() const override { return now_; }
    std::int64_t tickCountMs() const override { return tick_; }
    void advanceMs(std::int64_t ms) {
        now_ = now_.addMSecs(ms);
        tick_ = saturatingAddMs(tick_, ms);
    }
    void set(QDateTime now, std::int64_t tickMs) {
        now_ = std::move(now);
        tick_ = tickMs;
    }

  private:
    QDateTime now_;
    std::int64_t tick_;
};

}  // namespace torvix
