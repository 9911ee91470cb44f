// Opening the port at the chosen rate, and closing it when the line fails.
#include "core/device/register_map.h"
#include "core/device/shared_data.h"
#include "core/modbus/serial_ports.h"
#include "gui/widget.h"

#include <QSerialPort>

void Widget::openLink() {
    serialPort->close();
    serialPort->setPortName(shared->currentPortName);
    serialPort->open(QIODevice::ReadWrite);
    serialPort->setBaudRate(shared->baudRate, QSerialPort::AllDirections);
    serialPort->setDataBits(QSerialPort::Data8);
    serialPort->setParity(QSerialPort::NoParity);
    serialPort->setStopBits(QSerialPort::OneStop);
    serialPort->setFlowControl(QSerialPort::NoFlowControl);
    connect(serialPort, &QSerialPort::readyRead, this, &Widget::my_readuart, Qt::UniqueConnection);
    // Replies to requests sent before the port was reopened will not come at this rate, and
    // bytes the driver kept from before (the tail of a flood, a late reply) are not replies.
    serialPort->clear(QSerialPort::Input);
    shared->rxBuffer.clear();
    requestQueue.clear();
    shared->responseReceived = false;
    readRegisters(Reg::SlaveAddress, Reg::DeviceInfoCount);
}

void Widget::closePortOnLineError(int error) {
    // Closing can itself report an error on a dead line; the guard keeps that from closing and
    // logging a second time.
    if (closingOnLineError || !serialPort->isOpen() ||
        !errorEndsLink(static_cast<QSerialPort::SerialPortError>(error))) {
        return;
    }
    closingOnLineError = true;
    const QString reason = serialPort->errorString();
    serialPort->close();
    shared->rxBuffer.clear();
    requestQueue.clear();
    closingOnLineError = false;
    appendMessage(tr("Serial port %1 closed: %2").arg(serialPort->portName(), reason), 2);
}
