#include "core/device/shared_data.h"
#include "core/modbus/modbus_frame.h"
#include "gui/widget.h"
#include "ui_widget.h"

#include <QSerialPort>

quint16 Widget::deviceAddress() const {
    return slaveAddressFromText(ui->lineEditAddress->text());
}

qint64 Widget::lineNowMs() const {
    return lineClock.elapsed();
}

void Widget::sendFrame(const QByteArray &frame, bool fromUser) {
    requestQueue.enqueue(frame, fromUser);
    sendWaiting();
}

void Widget::sendWaiting() {
    const qint64 now = lineNowMs();
    const QByteArray frame = requestQueue.next(now, serialPort->baudRate());
    if (!frame.isEmpty()) {
        // Written whether the port is open or not: a closed port fails silently and the TX line
        // still shows what was meant for the line.
        serialPort->write(frame);
        shared->responseReceived = false;
        appendMessage(frameToHex(frame), 0);
    }
    // When no reply comes, the line is free again at the end of the window.
    const qint64 wait = requestQueue.msUntilFree(now);
    if (wait >= 0) {
        lineFree.start(static_cast<int>(wait) + 1);
    } else {
        lineFree.stop();
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
