#include "core/modbus/request_queue.h"

void RequestQueue::enqueue(const QByteArray &frame, bool fromUser) {
    queue.push_back({frame, fromUser});
}

void RequestQueue::remove(int index) {
    if (index >= 0 && index < waiting()) {
        queue.erase(queue.begin() + index);
    }
}

QByteArray RequestQueue::next(qint64 nowMs, int baudRate, int turnaroundMs) {
    pending.expire(nowMs);
    if (!pending.list().isEmpty() || queue.empty()) {
        return QByteArray();
    }
    const Waiting front = queue.front();
    queue.pop_front();
    Rx::Request request = Rx::requestOfFrame(front.frame);
    request.fromUser = front.fromUser;
    pending.add(request, nowMs, Rx::replyWindowMs(request, front.frame.size(), baudRate, turnaroundMs));
    return front.frame;
}

qint64 RequestQueue::msUntilFree(qint64 nowMs) const {
    qint64 latest = -1;
    for (const Rx::Request &request : pending.list()) {
        latest = qMax(latest, request.deadlineMs - nowMs);
    }
    return latest < 0 ? -1 : latest;
}

bool RequestQueue::idle(qint64 nowMs) const {
    return queue.empty() && msUntilFree(nowMs) < 0;
}

void RequestQueue::clear() {
    queue.clear();
    pending.clear();
}
