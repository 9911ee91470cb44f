#include "core/modbus/exchange.h"

#include "core/modbus/reply_matching.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSerialPort>
#include <QTimer>

namespace {
constexpr quint8 kExceptionBit = 0x80;
} // namespace

Exchange::Exchange(QSerialPort &serialPort) : port(serialPort) {}

Exchange::Result Exchange::transact(const QByteArray &request, int timeoutMs) {
    Result result;
    QElapsedTimer clock;
    clock.start();
    if (!port.isOpen()) {
        result.outcome = Outcome::PortError;
        return result;
    }
    const auto tell = [this](const QByteArray &bytes, bool tx) {
        if (trace && !bytes.isEmpty()) {
            trace(bytes, tx);
        }
    };
    const auto unmatched = [&](const QByteArray &bytes) {
        result.unmatchedBytes += bytes.size();
        tell(bytes, false);
    };
    // What came before the request is no reply to it.
    tell(port.readAll(), false);

    Rx::PendingRequests pending;
    const Rx::Request asked = Rx::requestOfFrame(request);
    const int window = timeoutMs > 0 ? timeoutMs : Rx::replyWindowMs(asked, request.size(), port.baudRate());
    pending.add(asked, 0, window);

    QByteArray buffer;
    bool done = false;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    const auto finish = [&](Outcome outcome) {
        result.outcome = outcome;
        done = true;
        loop.quit();
    };
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] { finish(Outcome::Timeout); });
    const auto onBytes = [&] {
        if (done) {
            return;
        }
        const int dropped = Rx::appendCapped(buffer, port.readAll());
        if (Rx::isFlood(buffer)) {
            finish(Outcome::Flood);
            return;
        }
        if (dropped > 0) {
            unmatched(buffer);
            buffer.clear();
            return;
        }
        for (;;) {
            const Rx::Found found = Rx::findReply(buffer, pending.list());
            if (found.kind == Rx::Found::Kind::None) {
                return;
            }
            unmatched(buffer.left(found.offset));
            const QByteArray frame = buffer.mid(found.offset, found.length);
            buffer.remove(0, found.offset + found.length);
            if (found.kind != Rx::Found::Kind::Answer) {
                unmatched(frame);
                continue;
            }
            tell(frame, false);
            result.reply = frame;
            const bool exception = (static_cast<quint8>(frame.at(1)) & kExceptionBit) != 0;
            if (exception) {
                result.exceptionCode = static_cast<quint8>(frame.at(2));
            }
            finish(exception ? Outcome::Exception : Outcome::Answer);
            return;
        }
    };
    const QMetaObject::Connection ready = QObject::connect(&port, &QSerialPort::readyRead, &loop, onBytes);
    const QMetaObject::Connection failed =
        QObject::connect(&port, &QSerialPort::errorOccurred, &loop, [&](QSerialPort::SerialPortError error) {
            if (error != QSerialPort::NoError && error != QSerialPort::TimeoutError) {
                finish(Outcome::PortError);
            }
        });

    tell(request, true);
    if (port.write(request) != request.size()) {
        result.outcome = Outcome::PortError;
        done = true;
    }
    if (!done) {
        timer.start(window);
        loop.exec();
    }
    QObject::disconnect(ready);
    QObject::disconnect(failed);
    // Bytes that completed nothing are shown too, so a trace holds everything received.
    unmatched(buffer);
    result.elapsedMs = clock.elapsed();
    return result;
}
