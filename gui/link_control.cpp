#include "core/device/register_map.h"
#include "core/device/search_schedule.h"
#include "core/device/shared_data.h"
#include "core/modbus/port_access.h"
#include "core/modbus/port_address.h"
#include "core/modbus/serial_ports.h"
#include "gui/serialport_setting_dialog.h"
#include "gui/widget.h"
#include "ui_widget.h"

#include <QTimer>

void Widget::resetLink() {
    // A search still stepping would reopen the port at its next candidate and undo the link
    // about to be made.
    timerAutoBaud->stop();
    rateChangeWait.stop();
    // Link starts afresh: a lost port is no longer looked for, old readings are no readings.
    lostPort.recovering = false;
    readings->reset();
    shared->responseReceived = false;
    if (line) {
        line->close();
    }
    ui->pushButtonRead->setText(tr("Read"));
    // Emptied so the probe goes to address 0 and the reply brings the device's own address.
    ui->lineEditAddress->clear();
    autoRead = false;
    for (int i = 0; i < Search::RateCount; ++i) {
        shared->baudCandidates[i] = Search::rates().at(i);
    }
    shared->baudIndex = 0;
    shared->baudCount = Search::RateCount;
}

void Widget::PushButtonLinkSlot() {
    // The port in use (open, or lost and looked for) is offered first, then the remembered one.
    const bool lost = line && line->state() == ModbusLine::State::Lost;
    const QString inUse = lost ? lostPort.name : lineOpen() ? shared->currentPortName : QString();
    resetLink();
    SerialportSettingDialog dialog(this);
    dialog.setShared(shared);
    dialog.preselect({inUse, shared->portName});
    if (dialog.exec() == QDialog::Accepted) {
        autoBaudPasses = 0;
        if (shared->baudRate != 0) {
            openLink();
        } else {
            AUTOUartInit();
        }
    }
}

void Widget::startupLink() {
    timerAutoBaud->stop();
    const bool network = PortAddress::parse(shared->portName).isNetwork();
    if (shared->portName.isEmpty() || (!network && !openablePorts().contains(shared->portName))) {
        // An adapter not plugged in is no news; a port that is there but refused is said.
        const PortAccess access = shared->portName.isEmpty() ? PortAccess() : checkAccess(shared->portName);
        if (access.kind == PortAccess::NoPermission || access.kind == PortAccess::Busy ||
            access.kind == PortAccess::StaleLock) {
            appendMessage(openFailureText(shared->portName, access), kNoticeLine);
        }
        PushButtonLinkSlot();
        return;
    }
    shared->currentPortName = shared->portName;
    resetLink();
    autoBaudPasses = 0;
    AUTOUartInit();
}
