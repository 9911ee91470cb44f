#include "core/base/line_clock.h"

#include <QElapsedTimer>
#include <QTimer>

namespace {

class TimerDeadline : public LineDeadline {
public:
    explicit TimerDeadline(QObject *parent) : LineDeadline(parent) {
        // A child, so a test can look at the timer behind a deadline.
        timer.setParent(this);
        timer.setSingleShot(true);
        // Reply windows are a few hundred milliseconds: the default coarse timer may fire 5 % late.
        timer.setTimerType(Qt::PreciseTimer);
        connect(&timer, &QTimer::timeout, this, &LineDeadline::expired);
    }
    void start(int ms) override { timer.start(qMax(0, ms)); }
    void stop() override { timer.stop(); }
    bool isActive() const override { return timer.isActive(); }

private:
    QTimer timer;
};

class SystemClock : public LineClock {
public:
    SystemClock() { elapsed.start(); }
    qint64 nowMs() const override { return elapsed.elapsed(); }
    LineDeadline *deadline(QObject *parent) override { return new TimerDeadline(parent); }

private:
    QElapsedTimer elapsed;
};

} // namespace

LineClock &LineClock::system() {
    static SystemClock clock;
    return clock;
}
