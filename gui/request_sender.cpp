#include "gui/request_sender.h"

#include "core/device/register_map.h"
#include "core/device/shared_data.h"
#include "core/modbus/line_reply.h"
#include "core/modbus/modbus_frame.h"
#include "gui/line_link.h"
#include "ui_widget.h"

RequestSender::RequestSender(QObject *context, Ui::Widget *ui, SharedDataClass &shared, LineLink &link,
                             std::function<void(const LineReply &)> onReply)
    : context(context), ui(ui), shared(shared), link(link), onReply(std::move(onReply)) {}

quint16 RequestSender::deviceAddress() const {
    return slaveAddressFromText(ui->lineEditAddress->text());
}

void RequestSender::send(const QByteArray &frame, bool fromUser) {
    if (!link.isOpen()) {
        // Nothing goes to a port that is not open, but the TX line still shows what was meant
        // for the line.
        link.trace(frame, ModbusLine::Trace::Tx);
        return;
    }
    LineReply *reply = link.line()->send(frame, fromUser);
    QObject::connect(reply, &LineReply::finished, context, [this, reply] {
        onReply(*reply);
        reply->deleteLater();
    });
}

void RequestSender::readRegisters(quint16 start, quint16 count) {
    const quint8 address = static_cast<quint8>(deviceAddress() & 0xFF);
    last = start;
    send(buildReadRequest(address, start, count));
}

void RequestSender::readDeviceInfo() {
    readRegisters(Reg::SlaveAddress, Reg::DeviceInfoCount);
}

void RequestSender::writeRegister(quint16 reg, quint16 value) {
    const quint8 address = static_cast<quint8>(deviceAddress() & 0xFF);
    last = reg;
    send(buildWriteRequest(address, reg, value));
}

void RequestSender::writeBlock(quint8 address, quint16 start, const QVector<quint16> &values,
                               bool setLastRegister) {
    if (setLastRegister) {
        last = start;
    }
    send(buildBlockWriteRequest(address, start, values));
}

void RequestSender::poll(quint16 start, quint16 count) {
    last = start;
    shared.slaveAddress = deviceAddress();
    send(buildReadRequest(static_cast<quint8>(shared.slaveAddress & 0xFF), start, count), false);
}
