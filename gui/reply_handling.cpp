#include "core/device/device_model.h"
#include "core/device/live_poll.h"
#include "core/device/register_map.h"
#include "core/device/reply_parser.h"
#include "core/device/shared_data.h"
#include "core/device/value_rules.h"
#include "core/modbus/modbus_frame.h"
#include "core/modbus/reply_matching.h"
#include "gui/trend_window.h"
#include "gui/widget.h"
#include "ui_widget.h"

#include <QDate>
#include <QDateTime>
#include <QMessageBox>
#include <QSerialPort>
#include <QTime>
#include <QTimer>

namespace {

// Bytes that do not complete a reply are dropped after this much silence on the line.
constexpr int kReceptionGapMs = 100;
} // namespace

void Widget::my_readuart() {
    // Reception: every notification restarts the gap timer and adds what the port holds, up to
    // the buffer cap; bytes beyond it are not kept.
    timerClear->start(kReceptionGapMs);
    int dropped = 0;
    if (serialPort->isOpen()) {
        dropped = Rx::appendCapped(shared->rxBuffer, serialPort->readAll());
    }
    if (Rx::isFlood(shared->rxBuffer)) {
        faultyAdapter();
        return;
    }
    if (dropped > 0) {
        // More than a buffer of bytes that are neither a flood nor a reply: line noise.
        shared->rxBuffer.clear();
        return;
    }

    // Every complete reply in the buffer, in the order the device sent them.
    Rx::PendingRequests &pending = requestQueue.onTheWire();
    pending.expire(lineNowMs());
    for (;;) {
        const Rx::Found found = Rx::findReply(shared->rxBuffer, pending.list());
        if (found.kind == Rx::Found::Kind::None) {
            // Incomplete or damaged: keep the bytes until the reply completes or the gap passes.
            return;
        }
        if (found.offset > 0) {
            // Stray bytes in front of the reply are shown as they came, and change nothing.
            appendMessage(frameToHex(shared->rxBuffer.left(found.offset)), 1);
        }
        const QByteArray frame = shared->rxBuffer.mid(found.offset, found.length);
        shared->rxBuffer.remove(0, found.offset + found.length);
        // Logged before it is applied, so a request its decoding sends stands after it, as on
        // the wire. A reply that answers nothing waiting (late, or for another master) is only
        // logged.
        appendMessage(frameToHex(frame), 1);
        if (found.kind == Rx::Found::Kind::Answer) {
            const Rx::Request request = pending.take(found.request);
            if (!request.fromUser && (static_cast<quint8>(frame.at(1)) & 0x80) != 0) {
                // The unit refused the live poll.
                readings->record(ReadingStatus::Exception);
            }
            applyReply(Rx::decodeRegister(request, frame), frame);
            // Every reply to a request, whatever it decoded, counts as an answer.
            shared->responseReceived = true;
            // The line is free: the next request waiting goes out.
            sendWaiting();
        }
        if (shared->rxBuffer.isEmpty()) {
            timerClear->stop();
            return;
        }
    }
}

void Widget::applyReply(quint16 reg, const QByteArray &frame) {
    const Rx::Decoded decoded = Rx::decode(reg, frame, *shared);
    switch (decoded.effect) {
    case Rx::Effect::None:
        break;
    case Rx::Effect::Readings:
        readings->show(decoded.block, decoded.selection);
        readings->record(ReadingStatus::Ok, decoded.block, decoded.selection);
        break;
    case Rx::Effect::Address:
        device->showAddress();
        break;
    case Rx::Effect::DeviceInfo:
        device->showAddress();
        showDeviceInfo();
        readings->trendUnit();
        if (rateChangeWait.isActive()) {
            newRateAnswered();
        }
        if (lostPort.recovering) {
            recoveredUnit();
        }
        break;
    case Rx::Effect::BaudRate:
        device->showBaudRate();
        if (static_cast<quint8>(frame.at(1)) == Fn::Write) {
            // The device has echoed at the old rate and answers at the new one from now on. Followed
            // once this reply has been dealt with, since the port is opened anew.
            const int rate = Model::baudRateForCode(shared->baudCode);
            QTimer::singleShot(0, this, [this, rate] { followNewRate(rate); });
        }
        break;
    case Rx::Effect::SerialNumber:
        device->showSerialNumber();
        break;
    case Rx::Effect::Heater:
        heaterClock->showHeater(decoded.heaterValue);
        readings->trendEvent(static_cast<int>(decoded.heaterValue != 0 ? TrendWindow::Event::HeaterOn
                                                                       : TrendWindow::Event::HeaterOff));
        break;
    case Rx::Effect::OutputData:
        device->showOutputData(decoded.outputData,
                               shared->outputRegisters[Reg::OutputDataChannel1 - Reg::OutputBlock]);
        break;
    case Rx::Effect::Clock:
        heaterClock->showClock(*shared);
        break;
    }
}

void Widget::faultyAdapter() {
    // The search is stopped and the port closed before the box opens, so nothing steps, reads
    // or reopens the line while it waits for the user: one box, and Link starts afresh.
    timerAutoBaud->stop();
    serialPort->close();
    shared->rxBuffer.clear();
    requestQueue.clear();
    timerClear->stop();
    showUsbDeviceError();
}

void Widget::TimerClearSlot() {
    timerClear->stop();
    if (!shared->rxBuffer.isEmpty()) {
        // Bytes that never completed a reply: dropped, but the log keeps what the line carried.
        appendMessage(tr("Discarded: %1").arg(frameToHex(shared->rxBuffer)), 2);
    }
    shared->rxBuffer.clear();
}

void Widget::showDeviceInfo() {
    device->showInfo();
    heaterClock->showHeater(shared->heaterState);
    device->showModel();
    if (Model::hasClock(shared->deviceType, shared->firmwareVersion)) {
        // Only this model from this firmware on has a clock; fetch it so the row shows real values.
        readRegisters(Reg::ClockYear, Reg::ClockBlockCount);
        heaterClock->setRowHidden(false);
    } else {
        heaterClock->setRowHidden(true);
    }
}

void Widget::showUsbDeviceError() {
    QMessageBox::information(this, tr("Error"), tr("USB device error, please reconnect USB device!"),
                             QMessageBox::Ok);
}
