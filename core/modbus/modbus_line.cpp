#include "core/modbus/modbus_line.h"

#include "core/modbus/line_port.h"
#include "core/modbus/line_watch.h"
#include "core/modbus/serial_ports.h"

#include <QIODevice>

namespace {
constexpr quint8 kExceptionBit = 0x80;
} // namespace

ModbusLine::ModbusLine(LinePort *port, LineClock &lineClock, QObject *parent)
    : QObject(parent), linePort(port), watcher(new LineWatch(*port, lineClock, this)),
      gap(lineClock.deadline(this)), window(lineClock.deadline(this)), clock(lineClock) {
    linePort->setParent(this);
    connect(linePort, &LinePort::failed, this, &ModbusLine::fail);
    connect(watcher, &LineWatch::back, this, &ModbusLine::onBack);
    connect(watcher, &LineWatch::tried, this, &ModbusLine::reopenFailed);
    connect(gap, &LineDeadline::expired, this, [this] { dropBuffer(true); });
    connect(window, &LineDeadline::expired, this, &ModbusLine::sendWaiting);
}

ModbusLine::~ModbusLine() {
    disconnect(linePort, nullptr, this, nullptr);
    shut(LineReply::Outcome::Closed, State::Closed);
}

bool ModbusLine::open(int rate, QString *error) {
    const State before = current;
    shut(LineReply::Outcome::Closed, State::Closed);
    lineRate = rate;
    if (linePort->open(rate, error)) {
        attach();
    } else {
        linePort->close();
    }
    if (current != before) {
        emit stateChanged(current);
    }
    return current == State::Open;
}

void ModbusLine::close() {
    const State before = current;
    shut(LineReply::Outcome::Closed, State::Closed);
    if (before != State::Closed) {
        emit stateChanged(current);
    }
}

void ModbusLine::watch() {
    if (lineRate <= 0) {
        close();
        return;
    }
    shut(LineReply::Outcome::Closed, State::Lost);
    watcher->start(lineRate, timing.watchFirstMs, timing.watchMaxMs);
    emit stateChanged(current);
}

LineReply *ModbusLine::send(const QByteArray &frame, bool fromUser) {
    auto *reply = new LineReply(frame, fromUser);
    if (current != State::Open) {
        reply->finishLater(LineReply::Outcome::PortLost);
        return reply;
    }
    if (frame.isEmpty()) {
        // Nothing to put on the line, so nothing can answer it.
        reply->finishLater(LineReply::Outcome::NoReply);
        return reply;
    }
    queue.enqueue(frame, fromUser);
    waiting.emplace_back(reply);
    sending = reply;
    sendWaiting();
    sending = nullptr;
    return reply;
}

LineReply *ModbusLine::sendIfIdle(const QByteArray &frame, bool fromUser) {
    return idle() ? send(frame, fromUser) : nullptr;
}

bool ModbusLine::idle() const {
    return !wireSet && waiting.empty();
}

void ModbusLine::attach() {
    device = linePort->device();
    current = State::Open;
    connect(device, &QIODevice::readyRead, this, &ModbusLine::onReadyRead);
    // A device whose input ends (a hung-up line, a closed connection) has failed.
    connect(device, &QIODevice::readChannelFinished, this,
            [this] { fail(QString::fromLatin1(lineFailureText(QSerialPort::ReadError, false))); });
}

bool ModbusLine::intake() {
    const int dropped = Rx::appendCapped(buffer, device->readAll());
    if (Rx::isFlood(buffer)) {
        shut(LineReply::Outcome::Flood, State::Closed);
        emit stateChanged(current);
        emit flooded();
        return false;
    }
    if (dropped > 0) {
        // More than a buffer of bytes that are neither a flood nor a reply: line noise.
        dropBuffer(true);
    }
    return true;
}

void ModbusLine::onReadyRead() {
    if (current != State::Open) {
        return;
    }
    // Every arrival restarts the reception gap.
    gap->start(timing.receptionGapMs);
    if (intake()) {
        takeReplies();
    }
}

void ModbusLine::takeReplies() {
    while (current == State::Open && !buffer.isEmpty()) {
        // A reply whose window has passed answers nothing any more.
        expireWire(clock.nowMs());
        const Rx::Found found = Rx::findReply(buffer, queue.onTheWire().list());
        if (found.kind == Rx::Found::Kind::None) {
            // Incomplete or damaged: kept until the reply completes or the gap passes.
            return;
        }
        if (found.offset > 0) {
            // Stray bytes in front of the reply, as they came.
            stray += found.offset;
            trace(buffer.left(found.offset), Trace::Rx);
        }
        const QByteArray frame = buffer.mid(found.offset, found.length);
        buffer.remove(0, found.offset + found.length);
        if (buffer.isEmpty()) {
            gap->stop();
        }
        // Traced before its owner hears of it, so a request sent in answer stands after it.
        trace(frame, Trace::Rx);
        if (found.kind != Rx::Found::Kind::Answer) {
            // A late reply, or one for another master: taken off the line, answering nothing.
            stray += frame.size();
            continue;
        }
        queue.onTheWire().take(found.request);
        const bool exception = (static_cast<quint8>(frame.at(1)) & kExceptionBit) != 0;
        finishWire(exception ? LineReply::Outcome::Exception : LineReply::Outcome::Answer, frame);
        // The line is free: the next request waiting goes out.
        sendWaiting();
    }
}

void ModbusLine::sendWaiting() {
    if (current != State::Open) {
        return;
    }
    const qint64 now = clock.nowMs();
    expireWire(now);
    const QByteArray frame = queue.next(now, lineRate, timing.turnaroundMs);
    if (!frame.isEmpty()) {
        wire = waiting.front();
        waiting.pop_front();
        wireSet = true;
        stray = 0;
        // What came before the request is no reply to it.
        if (!intake()) {
            return;
        }
        dropBuffer(false);
        trace(frame, Trace::Tx);
        if (device->write(frame) != frame.size()) {
            fail(QString::fromLatin1(lineFailureText(QSerialPort::WriteError, false)));
            return;
        }
    }
    // When no reply comes, the line is free again at the end of the window.
    const qint64 wait = queue.msUntilFree(now);
    if (wait >= 0) {
        window->start(static_cast<int>(wait) + 1);
    } else {
        window->stop();
    }
}

void ModbusLine::expireWire(qint64 now) {
    if (!wireSet) {
        return;
    }
    queue.onTheWire().expire(now);
    if (queue.onTheWire().list().isEmpty()) {
        finishWire(LineReply::Outcome::NoReply);
    }
}

void ModbusLine::finishWire(LineReply::Outcome outcome, const QByteArray &frame) {
    if (!wireSet) {
        return;
    }
    wireSet = false;
    const QPointer<LineReply> reply = wire;
    wire = nullptr;
    if (reply) {
        reply->unmatched = stray;
        if (reply == sending) {
            reply->finishLater(outcome);
        } else {
            reply->finish(outcome, frame);
        }
    }
}

void ModbusLine::dropBuffer(bool countAsStray) {
    gap->stop();
    if (buffer.isEmpty()) {
        return;
    }
    if (countAsStray) {
        stray += buffer.size();
    }
    const QByteArray dropped = buffer;
    buffer.clear();
    trace(dropped, Trace::Discarded);
}

void ModbusLine::shut(LineReply::Outcome outcome, State next) {
    if (device) {
        disconnect(device, nullptr, this, nullptr);
    }
    device = nullptr;
    current = next;
    watcher->stop();
    linePort->close();
    window->stop();
    if (outcome == LineReply::Outcome::Flood) {
        gap->stop();
        buffer.clear();
    } else {
        // The log keeps what the line carried.
        dropBuffer(false);
    }
    queue.clear();
    std::deque<QPointer<LineReply>> left;
    left.swap(waiting);
    finishWire(outcome);
    for (const QPointer<LineReply> &reply : left) {
        if (reply == sending) {
            reply->finishLater(outcome);
        } else if (reply) {
            reply->finish(outcome);
        }
    }
}

void ModbusLine::fail(const QString &reason) {
    if (current != State::Open) {
        return;
    }
    shut(LineReply::Outcome::PortLost, State::Lost);
    watcher->start(lineRate, timing.watchFirstMs, timing.watchMaxMs);
    emit stateChanged(current);
    emit portLost(reason);
}

void ModbusLine::onBack() {
    attach();
    emit stateChanged(current);
    emit portBack();
}

void ModbusLine::trace(const QByteArray &bytes, Trace kind) {
    if (!bytes.isEmpty()) {
        emit traced(bytes, kind);
    }
}
