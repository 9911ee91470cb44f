#include "core/device/shared_data.h"
#include "core/modbus/line_reply.h"
#include "core/modbus/modbus_frame.h"
#include "gui/widget.h"
#include "ui_widget.h"

quint16 Widget::deviceAddress() const {
    return slaveAddressFromText(ui->lineEditAddress->text());
}

qint64 Widget::lineNowMs() const {
    return lineClock.elapsed();
}

void Widget::sendFrame(const QByteArray &frame, bool fromUser) {
    if (!lineOpen()) {
        // Nothing goes to a port that is not open, but the TX line still shows what was meant
        // for the line.
        shared->responseReceived = false;
        appendMessage(frameToHex(frame), 0);
        return;
    }
    LineReply *reply = line->send(frame, fromUser);
    connect(reply, &LineReply::finished, this, [this, reply] {
        replyFinished(*reply);
        reply->deleteLater();
    });
}

void Widget::traceLine(const QByteArray &bytes, ModbusLine::Trace kind) {
    switch (kind) {
    case ModbusLine::Trace::Tx:
        shared->responseReceived = false;
        appendMessage(frameToHex(bytes), 0);
        break;
    case ModbusLine::Trace::Rx:
        // Stray bytes and replies answering nothing are shown as they came, and change nothing.
        appendMessage(frameToHex(bytes), 1);
        break;
    case ModbusLine::Trace::Discarded:
        // Bytes that never completed a reply: dropped, but the log keeps what the line carried.
        appendMessage(tr("Discarded: %1").arg(frameToHex(bytes)), 2);
        break;
    case ModbusLine::Trace::Noise:
        // More than a buffer of bytes that are neither a flood nor a reply: not kept.
        break;
    }
}

void Widget::readRegisters(quint16 start, quint16 count) {
    const quint8 address = static_cast<quint8>(deviceAddress() & 0xFF);
    lastRegister = start;
    sendFrame(buildReadRequest(address, start, count));
}

void Widget::writeRegister(quint16 reg, quint16 value) {
    const quint8 address = static_cast<quint8>(deviceAddress() & 0xFF);
    lastRegister = reg;
    sendFrame(buildWriteRequest(address, reg, value));
}

void Widget::writeBlock(quint8 address, quint16 start, const QVector<quint16> &values, bool setLastRegister) {
    if (setLastRegister) {
        lastRegister = start;
    }
    sendFrame(buildBlockWriteRequest(address, start, values));
}
