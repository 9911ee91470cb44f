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
    if (!link->isOpen()) {
        // Nothing goes to a port that is not open, but the TX line still shows what was meant
        // for the line.
        link->trace(frame, ModbusLine::Trace::Tx);
        return;
    }
    LineReply *reply = link->line()->send(frame, fromUser);
    connect(reply, &LineReply::finished, this, [this, reply] {
        replyFinished(*reply);
        reply->deleteLater();
    });
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
