#ifndef ZR_CORE_MODBUS_REQUEST_QUEUE_H
#define ZR_CORE_MODBUS_REQUEST_QUEUE_H

#include "core/modbus/reply_matching.h"

#include <QByteArray>

#include <deque>

// One request on the wire at a time, as every Modbus master keeps it: a request waits here until
// the one before it is answered or its reply window has passed, then goes out, and its window
// counts from when it is written. Requests go out in the order they came; none is dropped.
class RequestQueue {
public:
    // Adds a frame to send.
    void enqueue(const QByteArray &frame, bool fromUser);
    // The frame to write now when the line is free and one waits; it is then taken as written at
    // `nowMs` and waits for its reply within the window of `baudRate` and `turnaroundMs`. Empty
    // otherwise.
    QByteArray next(qint64 nowMs, int baudRate, int turnaroundMs = Rx::TurnaroundMs);
    // Milliseconds until the request on the wire gives up waiting; -1 when none waits.
    qint64 msUntilFree(qint64 nowMs) const;
    // Nothing on the wire and nothing waiting to go: the live poll may send its tick.
    bool idle(qint64 nowMs) const;
    // Frames waiting to go out.
    int waiting() const { return static_cast<int>(queue.size()); }
    // Takes back the frame waiting at `index` (0 goes out next), before it is written.
    void remove(int index);
    // The request on the wire, for matching its reply.
    Rx::PendingRequests &onTheWire() { return pending; }
    const Rx::PendingRequests &onTheWire() const { return pending; }
    // Forgets everything (the port closed or reopened: no reply will come at this rate).
    void clear();

private:
    struct Waiting {
        QByteArray frame;
        bool fromUser = true;
    };
    std::deque<Waiting> queue;
    Rx::PendingRequests pending;
};

#endif
