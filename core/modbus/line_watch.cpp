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
    disconnect(onOpened);
    disconnect(onFailed);
}

bool LineWatch::isActive() const {
    return next->isActive() || onOpened;
}

void LineWatch::attempt() {
    ++attempts;
    QString error;
    if (!port.open(rate, &error)) {
        settle(false, error);
        return;
    }
    if (port.isReady()) {
        settle(true, QString());
        return;
    }
    onOpened = connect(&port, &LinePort::opened, this, [this] { settle(true, QString()); });
    onFailed =
        connect(&port, &LinePort::failed, this, [this](const QString &reason) { settle(false, reason); });
}

void LineWatch::settle(bool connected, const QString &error) {
    disconnect(onOpened);
    disconnect(onFailed);
    if (connected) {
        emit back();
        return;
    }
    port.close();
    next->start(backoff.nextDelayMs());
    emit tried(attempts, error);
}
