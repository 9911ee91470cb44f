#include "core/modbus/line_watch.h"

#include "core/base/line_clock.h"
#include "core/modbus/line_port.h"

LineWatch::LineWatch(LinePort &linePort, LineClock &clock, QObject *parent)
    : QObject(parent), port(linePort), next(clock.deadline(this)) {
    connect(next, &LineDeadline::expired, this, &LineWatch::attempt);
}

void LineWatch::start(int lineRate, int firstMs, int maxMs) {
    rate = lineRate;
    attempts = 0;
    backoff = Backoff(firstMs, qMax(firstMs, maxMs));
    next->start(backoff.nextDelayMs());
}

void LineWatch::stop() {
    next->stop();
}

bool LineWatch::isActive() const {
    return next->isActive();
}

void LineWatch::attempt() {
    ++attempts;
    QString error;
    if (port.open(rate, &error)) {
        emit back();
        return;
    }
    port.close();
    next->start(backoff.nextDelayMs());
    emit tried(attempts, error);
}
