#ifndef ZR_CORE_DEVICE_LINE_TIMING_H
#define ZR_CORE_DEVICE_LINE_TIMING_H

#include "core/base/line_clock.h"
#include "core/device/search_schedule.h"
#include "core/modbus/modbus_line.h"

#include <functional>

class LinePort;
class QString;

// The window's clocks of the line: one step of the baud-rate search, the live poll period
// (which also counts down the heater) and the times of the line itself. A window takes them when it is made;
// tests that do not test the timing itself shorten them first, so they need not wait out real seconds.
struct LineTiming {
    int searchStepMs = Search::StepMs;
    int pollMs = 1000;
    // Reply windows, reception gap, and the look for a lost port: once a period
    // (watchFirstMs == watchMaxMs).
    LineTimes line;
    // How long a device that confirmed a new baud rate has to answer at it before the port goes
    // back to the old rate.
    int newRateAnswerMs = 2000;
    // The clock of the line's reply windows, reception gap and watch.
    LineClock *clock = &LineClock::system();
    // Makes the port for a name the user chose; empty: makeLinePort (a device path or a network
    // address). A test puts a port of its own here.
    std::function<LinePort *(const QString &name, QString *error)> makePort;

    // The timing the next window takes.
    static LineTiming &current();
};

#endif
