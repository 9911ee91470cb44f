#ifndef ZR_CORE_MODBUS_LINE_WATCH_H
#define ZR_CORE_MODBUS_LINE_WATCH_H

#include "core/base/backoff.h"

#include <QObject>
#include <QString>

class LineClock;
class LineDeadline;
class LinePort;

// Looks for a lost port to come back: tries to open it at the rate it had, first after
// `firstMs`, then after delays growing to `maxMs` (equal values: a fixed period). A port that
// connects in the background is back once it has connected; its failing to is a failed attempt.
class LineWatch : public QObject {
    Q_OBJECT

public:
    LineWatch(LinePort &port, LineClock &clock, QObject *parent = nullptr);

    void start(int rate, int firstMs, int maxMs);
    void stop();
    bool isActive() const;

signals:
    // The port is open again.
    void back();
    // Attempt `attempt` (from 1) failed, for the reason in words.
    void tried(int attempt, const QString &error);

private:
    void attempt();
    void settle(bool connected, const QString &error);

    LinePort &port;
    LineDeadline *next;
    Backoff backoff;
    int rate = 0;
    int attempts = 0;
    // While a background connect of the attempt is under way.
    QMetaObject::Connection onOpened;
    QMetaObject::Connection onFailed;
};

#endif
