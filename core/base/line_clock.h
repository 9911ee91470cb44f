#ifndef ZR_CORE_BASE_LINE_CLOCK_H
#define ZR_CORE_BASE_LINE_CLOCK_H

#include <QObject>
#include <QtGlobal>

// A single-shot deadline of a LineClock: expired() once, `ms` after the last start().
class LineDeadline : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    // Starts it anew, `ms` from now.
    virtual void start(int ms) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

signals:
    void expired();
};

// The time of the serial line: a monotonic "now" in milliseconds and deadlines on it. The line's
// reply windows, reception gap and port watch take their time from one of these, so a test can
// run them on a clock it advances by hand instead of waiting in real time.
class LineClock {
public:
    virtual ~LineClock() = default;
    virtual qint64 nowMs() const = 0;
    // A new deadline on this clock, owned by `parent`.
    virtual LineDeadline *deadline(QObject *parent) = 0;

    // The computer's monotonic clock and Qt's timers.
    static LineClock &system();
};

#endif
