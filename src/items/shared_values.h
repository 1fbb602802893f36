#pragma once

#include <QDateTime>

namespace torvix {

// The main window's values that live as long as the program and several routines share.
struct SharedValues {
    QDateTime DisplayStartTime;
    bool AutoEndEnabled = false;
    bool MemoryCheckEnabled = false;
    int timer1IntervalMs = 0;  // set by the start-up sequence (5000)
    int timer2IntervalMs = 0;  // set by the start-up sequence (1000)
    float PrintScale = 0.0f;   // set by the print size dialog's "印刷", read by the print routine
};

}  // namespace torvix
