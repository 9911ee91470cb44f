// Opening the port at the chosen rate, closing it when the line fails, and finding it again.
#include "core/device/device_model.h"
#include "core/device/register_map.h"
#include "core/device/shared_data.h"
#include "core/modbus/line_port.h"
#include "core/modbus/port_access.h"
#include "core/modbus/port_factory.h"
#include "core/modbus/port_watch.h"
#include "core/modbus/serial_ports.h"
#include "gui/trend_window.h"
#include "gui/widget.h"
#include "ui_widget.h"

#include <QCoreApplication>

bool Widget::openPortAt(const QString &name, int rate, PortAccess *access) {
    if (!line || line->port().name() != name) {
        if (line) {
            line->disconnect(this);
            line->close();
            line->deleteLater();
        }
        // A device path (the real device behind it, locked, so no second program shares it under
        // another name) or a serial server's network address.
        QString error;
        LinePort *port = timing.makePort ? timing.makePort(name, &error) : makeLinePort(name, &error);
        if (!port) {
            line = nullptr;
            if (access) {
                access->kind = PortAccess::OtherError;
                access->reason = error;
            }
            return false;
        }
        line = new ModbusLine(port, *timing.clock, this);
        LineTimes times = timing.line;
        times.anyTransactionId = shared->tcpAnyId;
        line->setTimes(times);
        connect(line, &ModbusLine::traced, this, &Widget::traceLine);
        connect(line, &ModbusLine::portLost, this, &Widget::closePortOnLineError);
        connect(line, &ModbusLine::portBack, this, &Widget::portBack);
        connect(line, &ModbusLine::flooded, this, &Widget::faultyAdapter);
    }
    // Replies to requests sent before the port was reopened will not come at this rate, and
    // bytes the driver kept from before (the tail of a flood, a late reply) are not replies.
    const bool opened = line->open(rate);
    const auto *serial = qobject_cast<const SerialLinePort *>(&line->port());
    if (access && serial) {
        *access = serial->access();
    }
    shared->responseReceived = false;
    return opened;
}

bool Widget::lineOpen() const {
    return line && line->state() == ModbusLine::State::Open;
}

bool Widget::openLink() {
    PortAccess access;
    if (!openPortAt(shared->currentPortName, shared->baudRate, &access)) {
        // Nothing is sent to a port that did not open; the reason is said at once.
        timerAutoBaud->stop();
        const QString text = openFailureText(shared->currentPortName, access);
        appendMessage(text, kNoticeLine);
        showError(text);
        return false;
    }
    readRegisters(Reg::SlaveAddress, Reg::DeviceInfoCount);
    return true;
}

void Widget::closePortOnLineError(const QString &lineReason) {
    rateChangeWait.stop();
    // In words: the port's own error text is often "Unknown error" for a pulled adapter.
    const QString reason = QCoreApplication::translate("Widget", lineReason.toLatin1().constData());
    const bool recovering = lostPort.recovering;
    if (autoRead && !recovering) {
        readings->record(ReadingStatus::PortLost);
    }
    if (!recovering && readings->trendIfMade()) {
        readings->trendEvent(static_cast<int>(TrendWindow::Event::LinkLost));
    }
    if (recovering) {
        // Lost again while checking who came back: the line keeps looking, said already.
        lostPort.recovering = false;
        return;
    }
    appendMessage(
        tr("Serial port %1 closed: %2; waiting for it to come back").arg(shared->currentPortName, reason),
        kNoticeLine);
    // The line looks for it once a period: by its by-id link where it has one, else by its name.
    lostPort.name = shared->currentPortName;
    lostPort.serial = shared->serialNumber;
    lostPort.since = lineNowMs();
}

QString Widget::openFailureText(const QString &port, const PortAccess &access) const {
    if (port.isEmpty()) {
        return tr("No serial port was chosen.");
    }
    switch (access.kind) {
    case PortAccess::NoPermission:
        // A node that no group may use: joining its group would not help.
        if (access.group.isEmpty()) {
            return tr("Serial port %1 cannot be opened: no permission.").arg(port);
        }
        return tr("Serial port %1 cannot be opened: no permission. The device belongs to the group %2; "
                  "run %3, then log out and log in again.")
            .arg(port, access.group, joinGroupCommand(access.group));
    case PortAccess::Busy:
        return tr("Serial port %1 is busy: another program has it open.").arg(port);
    case PortAccess::StaleLock:
        return tr("Serial port %1 cannot be opened: its lock file %2 was left by process %3, which is no "
                  "longer running; run %4 to remove it.")
            .arg(port, access.lockFile, QString::number(access.lockPid), removeLockCommand(access.lockFile));
    case PortAccess::Missing:
        return tr("Serial port %1 cannot be opened: no such device.").arg(port);
    default:
        return tr("Serial port %1 cannot be opened: %2").arg(port, access.reason);
    }
}

void Widget::portBack() {
    // Opened again: who answers decides (recoveredUnit); no answer, and the line looks again.
    shared->responseReceived = false;
    lostPort.recovering = true;
    readRegisters(Reg::SlaveAddress, Reg::DeviceInfoCount);
}

void Widget::recoveredUnit() {
    lostPort.recovering = false;
    const QString gap = PortWatch::gapText(lineNowMs() - lostPort.since);
    if (shared->serialNumber == lostPort.serial) {
        if (readings->trendIfMade()) {
            readings->trendEvent(static_cast<int>(TrendWindow::Event::LinkOpened));
        }
        appendMessage(autoRead
                          ? tr("Serial port %1 is back after %2: polling resumed").arg(lostPort.name, gap)
                          : tr("Serial port %1 is back after %2").arg(lostPort.name, gap),
                      kNoticeLine);
        return;
    }
    // Another unit is not taken silently: it is named, and the tool stays unlinked.
    const QString found =
        tr("%1, serial number %2").arg(Model::name(shared->deviceType), shared->serialNumber);
    resetLink();
    clearUnitFields();
    appendMessage(tr("Serial port %1 is back after %2 with another unit (%3): not linked, press Link")
                      .arg(lostPort.name, gap, found),
                  kNoticeLine);
}

void Widget::clearUnitFields() {
    // Readings and the values read from a unit (output data, clock, heating schedule) belong to
    // it: none of them stays beside another unit's identity.
    readings->clear();
    device->clear();
    heaterClock->clear();
}
