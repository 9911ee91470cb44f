#include "core/modbus/modbus_line.h"

#include "core/modbus/line_port.h"
#include "core/modbus/line_watch.h"
#include "core/modbus/mbap_frame.h"
#include "core/modbus/serial_ports.h"

#include <QIODevice>
#include <QScopedValueRollback>

namespace {
constexpr quint8 kExceptionBit = 0x80;
// Windows in a row without a reply after which an open connection is taken as half-open.
constexpr int kSilentWindowsLost = 3;
} // namespace

ModbusLine::ModbusLine(LinePort *port, LineClock &lineClock, QObject *parent)
    : QObject(parent), linePort(port), watcher(new LineWatch(*port, lineClock, this)),
      gap(lineClock.deadline(this)), window(lineClock.deadline(this)), clock(lineClock) {
    linePort->setParent(this);
    connect(linePort, &LinePort::failed, this, &ModbusLine::fail);
    // Requests wait while a connection is being made.
    connect(linePort, &LinePort::opened, this, &ModbusLine::sendWaiting);
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
    answeredUnits.reset();
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

bool ModbusLine::cancel(LineReply *reply) {
    for (std::size_t i = 0; i < waiting.size(); ++i) {
        if (waiting[i] == reply) {
            waiting.erase(waiting.begin() + static_cast<std::ptrdiff_t>(i));
            queue.remove(static_cast<int>(i));
            reply->finish(LineReply::Outcome::Closed);
            return true;
        }
    }
    return false;
}

void ModbusLine::attach() {
    device = linePort->device();
    current = State::Open;
    silentWindows = 0;
    freedAtMs = -1;
    connect(device, &QIODevice::readyRead, this, &ModbusLine::onReadyRead);
    // A device whose input ends (a hung-up line) has failed; a connection says why itself.
    if (!linePort->isNetwork()) {
        connect(device, &QIODevice::readChannelFinished, this,
                [this] { fail(QString::fromLatin1(lineFailureText(QSerialPort::ReadError, false))); });
    }
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
        // More than a buffer of bytes that are neither a flood nor a reply: line noise, dropped at
        // once; the reception gap runs on as after any arrival.
        stray += buffer.size();
        const QByteArray noise = buffer;
        buffer.clear();
        trace(noise, Trace::Noise);
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
        const QScopedValueRollback<bool> inRead(taking, true);
        takeReplies();
    }
}

void ModbusLine::takeReplies() {
    if (linePort->isMbap()) {
        takeMbapReplies();
        return;
    }
    while (current == State::Open && !buffer.isEmpty()) {
        // A reply whose window has passed answers nothing any more.
        expireWire(clock.nowMs());
        if (current != State::Open) {
            return;
        }
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

void ModbusLine::takeMbapReplies() {
    while (current == State::Open && !buffer.isEmpty()) {
        expireWire(clock.nowMs());
        if (current != State::Open) {
            return;
        }
        const int length = Mbap::frameLength(buffer);
        if (length <= 0) {
            // Incomplete, or not the start of a frame: kept until it completes or the gap passes.
            return;
        }
        const QByteArray adu = buffer.left(length);
        buffer.remove(0, length);
        if (buffer.isEmpty()) {
            gap->stop();
        }
        const QVector<Rx::Request> &pending = queue.onTheWire().list();
        if (wireSet && !pending.isEmpty() && Mbap::answers(adu, wireBytes, timing.anyTransactionId)) {
            const QByteArray frame = Mbap::unwrap(adu);
            if (Rx::answerAt(pending.last(), frame, 0) == frame.size()) {
                trace(adu, Trace::Rx);
                queue.onTheWire().take(pending.size() - 1);
                const bool exception = (static_cast<quint8>(frame.at(1)) & kExceptionBit) != 0;
                finishWire(exception ? LineReply::Outcome::Exception : LineReply::Outcome::Answer, frame);
                sendWaiting();
                continue;
            }
        }
        // A late reply, one for another request or another unit: never taken for this one.
        stray += adu.size();
        trace(adu, Trace::Discarded);
    }
}

bool ModbusLine::pausing(qint64 now) {
    if (timing.pauseMs <= 0 || wireSet || freedAtMs < 0 || queue.waiting() == 0) {
        return false;
    }
    const qint64 left = freedAtMs + timing.pauseMs - now;
    if (left <= 0) {
        return false;
    }
    window->start(static_cast<int>(left));
    return true;
}

void ModbusLine::sendWaiting() {
    if (current != State::Open || !linePort->isReady()) {
        return;
    }
    const qint64 now = clock.nowMs();
    expireWire(now);
    if (current != State::Open || pausing(now)) {
        return;
    }
    const int margin = linePort->isNetwork() ? timing.networkTimeoutMs : timing.turnaroundMs;
    const QByteArray frame = queue.next(now, lineRate, margin);
    if (!frame.isEmpty()) {
        wire = waiting.front();
        waiting.pop_front();
        wireSet = true;
        wireUnit = static_cast<quint8>(frame.at(0));
        stray = 0;
        // What came before the request is no reply to it; but two replies back to back in one
        // read are taken one after the other.
        if (!taking) {
            if (!intake()) {
                return;
            }
            dropBuffer(false);
        }
        wireBytes = linePort->isMbap() ? Mbap::wrap(frame, ++transaction) : frame;
        trace(wireBytes, Trace::Tx);
        if (device->write(wireBytes) != wireBytes.size()) {
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
    if (!queue.onTheWire().list().isEmpty()) {
        return;
    }
    // Bytes that came answer nothing, but show the connection still carries something.
    if (stray > 0) {
        silentWindows = 0;
    } else if (answeredUnits.none() || answeredUnits.test(wireUnit)) {
        ++silentWindows;
    }
    finishWire(LineReply::Outcome::NoReply);
    // An open connection on which nothing comes any more is half-open (the server rebooted).
    if (linePort->isNetwork() && current == State::Open && silentWindows >= kSilentWindowsLost) {
        fail(QStringLiteral("no reply from %1 for %2 windows in a row: the connection is taken as lost")
                 .arg(linePort->name())
                 .arg(kSilentWindowsLost));
    }
}

void ModbusLine::finishWire(LineReply::Outcome outcome, const QByteArray &frame) {
    if (!wireSet) {
        return;
    }
    wireSet = false;
    freedAtMs = clock.nowMs();
    if (outcome == LineReply::Outcome::Answer || outcome == LineReply::Outcome::Exception) {
        silentWindows = 0;
        answeredUnits.set(wireUnit);
    }
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
