#include "app/shared_data.h"
#include "app/widget.h"
#include "core/modbus/port_access.h"
#include "device/register_map.h"
#include "link/search_schedule.h"
#include "link/serial_ports.h"
#include "link/serialport_setting_dialog.h"
#include "ui_widget.h"

#include <QSerialPort>
#include <QTimer>

void Widget::resetLink() {
    // A search still stepping would reopen the port at its next candidate and undo the link
    // about to be made.
    timerAutoBaud->stop();
    shared->responseReceived = false;
    serialPort->close();
    pendingRequests.clear();
    ui->pushButtonRead->setText(tr("Read"));
    // Emptied so the probe goes to address 0 and the reply brings the device's own address.
    ui->lineEditAddress->clear();
    autoRead = false;
    for (int i = 0; i < Search::RateCount; ++i) {
        shared->baudCandidates[i] = Search::rates().at(i);
    }
    shared->baudIndex = 0;
    shared->baudCount = Search::RateCount;
    openFailureSaid.clear();
}

void Widget::PushButtonLinkSlot() {
    resetLink();
    SerialportSettingDialog dialog(this);
    dialog.setShared(shared);
    if (dialog.exec() == QDialog::Accepted) {
        autoBaudPasses = 0;
        if (shared->baudRate != 0) {
            openLink();
        } else {
            AUTOUartInit();
        }
    }
}

void Widget::openLink() {
    serialPort->close();
    // A port that does not open still gets its request, which goes nowhere; the search then
    // ends in its failure box.
    linkPortName = shared->currentPortName;
    const PortAccess access = openPort(*serialPort, linkPortName);
    if (access.kind == PortAccess::Ok) {
        openFailureSaid.clear();
    } else {
        reportOpenFailure(linkPortName, access);
    }
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
    pendingRequests.clear();
    shared->responseReceived = false;
    readRegisters(Reg::SlaveAddress, Reg::DeviceInfoCount);
}

void Widget::startupLink() {
    timerAutoBaud->stop();
    if (shared->portName.isEmpty() || !openablePorts().contains(shared->portName)) {
        // An adapter not plugged in is no news; a port that is there but refused is said.
        const PortAccess access = shared->portName.isEmpty() ? PortAccess() : checkAccess(shared->portName);
        if (access.kind == PortAccess::NoPermission || access.kind == PortAccess::Busy) {
            reportOpenFailure(shared->portName, access);
        }
        PushButtonLinkSlot();
        return;
    }
    shared->currentPortName = shared->portName;
    resetLink();
    autoBaudPasses = 0;
    AUTOUartInit();
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
    closingOnLineError = false;
    appendMessage(tr("Serial port %1 closed: %2")
                      .arg(linkPortName.isEmpty() ? serialPort->portName() : linkPortName, reason),
                  2);
}

void Widget::reportOpenFailure(const QString &port, const PortAccess &access) {
    QString text;
    if (port.isEmpty()) {
        text = tr("No serial port was chosen.");
    } else if (access.kind == PortAccess::NoPermission && access.group.isEmpty()) {
        text = tr("Serial port %1 cannot be opened: no permission.").arg(port);
    } else if (access.kind == PortAccess::NoPermission) {
        text = tr("Serial port %1 cannot be opened: no permission. The device belongs to the group %2; "
                  "run %3, then log out and log in again.")
                   .arg(port, access.group, joinGroupCommand(access.group));
    } else if (access.kind == PortAccess::Busy) {
        text = tr("Serial port %1 is busy: another program has it open.").arg(port);
    } else if (access.kind == PortAccess::Missing) {
        text = tr("Serial port %1 cannot be opened: no such device.").arg(port);
    } else {
        text = tr("Serial port %1 cannot be opened: %2").arg(port, access.reason);
    }
    if (text != openFailureSaid) {
        openFailureSaid = text;
        appendMessage(text, kNoticeLine);
    }
}
