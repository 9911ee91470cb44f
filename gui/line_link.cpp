// Opening the port at the chosen rate, closing it when the line fails, finding it again, and
// following a baud rate the unit confirmed.
#include "gui/line_link.h"

#include "core/device/device_model.h"
#include "core/device/line_timing.h"
#include "core/device/shared_data.h"
#include "core/modbus/line_port.h"
#include "core/modbus/modbus_frame.h"
#include "core/modbus/port_access.h"
#include "core/modbus/port_factory.h"
#include "core/modbus/port_watch.h"
#include "gui/message_log.h"
#include "gui/readings_view.h"
#include "gui/trend_window.h"

LineLink::LineLink(QObject *context, SharedDataClass &shared, MessageLog &log, ReadingsView &readings,
                   const LineTiming &timing, std::function<qint64()> now, Hooks hooks)
    : context(context), shared(shared), log(log), readings(readings), timing(timing), nowMs(std::move(now)),
      hooks(std::move(hooks)) {
    rateChangeWait.setSingleShot(true);
    QObject::connect(&rateChangeWait, &QTimer::timeout, context, [this] { newRateUnanswered(); });
}

LineLink::~LineLink() {
    // What the line still holds is not logged.
    if (current) {
        current->disconnect(context);
        delete current;
    }
}

bool LineLink::openPortAt(const QString &name, int rate, PortAccess *access) {
    if (!current || current->port().name() != name) {
        if (current) {
            current->disconnect(context);
            current->close();
            current->deleteLater();
        }
        // A device path (the real device behind it, locked, so no second program shares it under
        // another name) or a serial server's network address.
        QString error;
        LinePort *port = timing.makePort ? timing.makePort(name, &error) : makeLinePort(name, &error);
        if (!port) {
            current = nullptr;
            if (access) {
                access->kind = PortAccess::OtherError;
                access->reason = error;
            }
            return false;
        }
        current = new ModbusLine(port, *timing.clock, context);
        LineTimes times = timing.line;
        times.anyTransactionId = shared.tcpAnyId;
        current->setTimes(times);
        QObject::connect(current, &ModbusLine::traced, context,
                         [this](const QByteArray &bytes, ModbusLine::Trace kind) { trace(bytes, kind); });
        QObject::connect(current, &ModbusLine::portLost, context,
                         [this](const QString &reason) { closeOnLineError(reason); });
        QObject::connect(current, &ModbusLine::portBack, context, [this] { portBack(); });
        QObject::connect(current, &ModbusLine::flooded, context, [this] { hooks.flooded(); });
    }
    // Replies to requests sent before the port was reopened will not come at this rate, and
    // bytes the driver kept from before (the tail of a flood, a late reply) are not replies.
    const bool opened = current->open(rate);
    const auto *serial = qobject_cast<const SerialLinePort *>(&current->port());
    if (access && serial) {
        *access = serial->access();
    }
    shared.responseReceived = false;
    return opened;
}

bool LineLink::isOpen() const {
    return current && current->state() == ModbusLine::State::Open;
}

QString LineLink::portInUse() const {
    const bool lost = current && current->state() == ModbusLine::State::Lost;
    return lost ? lostPort.name : isOpen() ? shared.currentPortName : QString();
}

void LineLink::close() {
    if (current) {
        current->close();
    }
}

void LineLink::reset() {
    rateChangeWait.stop();
    lostPort.recovering = false;
}

void LineLink::takeArrived() {
    // Reception is the line's: it takes what the port holds, finds and matches the replies.
    if (current) {
        current->takeArrived();
    }
}

void LineLink::trace(const QByteArray &bytes, ModbusLine::Trace kind) {
    switch (kind) {
    case ModbusLine::Trace::Tx:
        shared.responseReceived = false;
        log.append(frameToHex(bytes), MessageLog::Tx);
        break;
    case ModbusLine::Trace::Rx:
        // Stray bytes and replies answering nothing are shown as they came, and change nothing.
        log.append(frameToHex(bytes), MessageLog::Rx);
        break;
    case ModbusLine::Trace::Discarded:
        // Bytes that never completed a reply: dropped, but the log keeps what the line carried.
        log.append(tr("Discarded: %1").arg(frameToHex(bytes)), MessageLog::Status);
        break;
    case ModbusLine::Trace::Noise:
        // More than a buffer of bytes that are neither a flood nor a reply: not kept.
        break;
    }
}

void LineLink::closeOnLineError(const QString &lineReason) {
    rateChangeWait.stop();
    // In words: the port's own error text is often "Unknown error" for a pulled adapter.
    const QString reason = QCoreApplication::translate("Widget", lineReason.toLatin1().constData());
    const bool recovering = lostPort.recovering;
    if (hooks.polling() && !recovering) {
        readings.record(ReadingStatus::PortLost);
    }
    if (!recovering && readings.trendIfMade()) {
        readings.trendEvent(static_cast<int>(TrendWindow::Event::LinkLost));
    }
    if (recovering) {
        // Lost again while checking who came back: the line keeps looking, said already.
        lostPort.recovering = false;
        return;
    }
    // A serial server's connection is said as one, not as a serial port.
    log.append(network() ? tr("Connection to %1 closed: %2; waiting for it to come back")
                               .arg(shared.currentPortName, reason)
                         : tr("Serial port %1 closed: %2; waiting for it to come back")
                               .arg(shared.currentPortName, reason),
               MessageLog::Notice);
    // The line looks for it once a period: by its by-id link where it has one, else by its name.
    lostPort.name = shared.currentPortName;
    lostPort.serial = shared.serialNumber;
    lostPort.since = nowMs();
}

bool LineLink::network() const {
    return current && current->port().isNetwork();
}

QString LineLink::openFailureText(const QString &port, const PortAccess &access) const {
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

void LineLink::portBack() {
    // Opened again: who answers decides (recoveredUnit); no answer, and the line looks again.
    shared.responseReceived = false;
    lostPort.recovering = true;
    hooks.askDeviceInfo();
}

void LineLink::deviceInfoCame() {
    if (rateChangeWait.isActive()) {
        newRateAnswered();
    }
    if (lostPort.recovering) {
        recoveredUnit();
    }
}

void LineLink::noReply() {
    if (lostPort.recovering && current) {
        // The port came back but nothing answered: not back yet, looked for again.
        lostPort.recovering = false;
        current->watch();
    }
}

void LineLink::recoveredUnit() {
    lostPort.recovering = false;
    const QString gap = PortWatch::gapText(nowMs() - lostPort.since);
    if (shared.serialNumber == lostPort.serial) {
        if (readings.trendIfMade()) {
            readings.trendEvent(static_cast<int>(TrendWindow::Event::LinkOpened));
        }
        const bool polling = hooks.polling();
        if (network()) {
            log.append(polling
                           ? tr("Connection to %1 is back after %2: polling resumed").arg(lostPort.name, gap)
                           : tr("Connection to %1 is back after %2").arg(lostPort.name, gap),
                       MessageLog::Notice);
            return;
        }
        log.append(polling ? tr("Serial port %1 is back after %2: polling resumed").arg(lostPort.name, gap)
                           : tr("Serial port %1 is back after %2").arg(lostPort.name, gap),
                   MessageLog::Notice);
        return;
    }
    // Another unit is not taken silently: it is named, and the tool stays unlinked.
    const QString found = tr("%1, serial number %2").arg(Model::name(shared.deviceType), shared.serialNumber);
    hooks.otherUnit();
    log.append((network()
                    ? tr("Connection to %1 is back after %2 with another unit (%3): not linked, press Link")
                    : tr("Serial port %1 is back after %2 with another unit (%3): not linked, press Link"))
                   .arg(lostPort.name, gap, found),
               MessageLog::Notice);
}

void LineLink::followNewRate(int rate) {
    if (rate == 0 || !isOpen() || rate == current->rate()) {
        return;
    }
    if (current->port().isNetwork()) {
        // The serial server keeps its own rate: the unit now listens at another one.
        log.append(tr("The device was told to use %1 baud; %2 is a serial server, whose line rate "
                      "stays as set in its own configuration: change the server's rate to %1 to reach "
                      "the device again.")
                       .arg(rate)
                       .arg(shared.currentPortName),
                   MessageLog::Notice);
        return;
    }
    rateChange.from = current->rate();
    rateChange.to = rate;
    // Polling waits (awaitingNewRate) until the device information has come at the new rate.
    PortAccess access;
    if (!openPortAt(shared.currentPortName, rate, &access)) {
        log.append(openFailureText(shared.currentPortName, access), MessageLog::Notice);
        return;
    }
    rateChangeWait.start(timing.newRateAnswerMs);
    hooks.askDeviceInfo();
}

void LineLink::newRateAnswered() {
    rateChangeWait.stop();
    // The link's rate from now on, also for finding the port again when it is lost.
    shared.baudRate = rateChange.to;
    log.append(tr("The device answers at %1 baud: serial port %2 now runs at that rate")
                   .arg(rateChange.to)
                   .arg(shared.currentPortName),
               MessageLog::Notice);
}

void LineLink::newRateUnanswered() {
    // Back once to the rate that worked; the user decides what comes next.
    PortAccess access;
    if (!openPortAt(shared.currentPortName, rateChange.from, &access)) {
        log.append(openFailureText(shared.currentPortName, access), MessageLog::Notice);
        return;
    }
    log.append(tr("The device did not answer at %1 baud within %2 s: serial port %3 is back at %4 baud. "
                  "If it does not answer there either, press Link and choose AUTO to search for its rate.")
                   .arg(rateChange.to)
                   .arg(timing.newRateAnswerMs / 1000.0)
                   .arg(shared.currentPortName)
                   .arg(rateChange.from),
               MessageLog::Notice);
}
