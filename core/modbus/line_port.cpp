#include "core/modbus/line_port.h"

#include "core/modbus/port_watch.h"
#include "core/modbus/serial_ports.h"

SerialLinePort::SerialLinePort(const QString &portName, QObject *parent) : LinePort(parent), given(portName) {
    connect(&port, &QSerialPort::errorOccurred, this, &SerialLinePort::onError);
}

bool SerialLinePort::open(int rate, QString *error) {
    port.setBaudRate(rate, QSerialPort::AllDirections);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    lastAccess = openPort(port, PortWatch::pathToTry(byId, given));
    if (lastAccess.kind != PortAccess::Ok) {
        if (error) {
            *error = lastAccess.message;
        }
        return false;
    }
    if (byId.isEmpty()) {
        byId = PortWatch::byIdLink(given);
    }
    // Bytes the driver kept from before (the tail of a flood, a late reply) are no replies.
    port.clear(QSerialPort::Input);
    return true;
}

void SerialLinePort::close() {
    port.close();
}

void SerialLinePort::onError(QSerialPort::SerialPortError error) {
    // Closing can itself report an error on a dead line: only an open port fails.
    if (port.isOpen() && errorEndsLink(error)) {
        emit failed(QString::fromLatin1(lineFailureText(port)));
    }
}
