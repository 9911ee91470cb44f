// Identity and line settings of the transmitter: slave address, baud-rate code, serial number
// and the device-information block.
#include "core/base/clock.h"
#include "core/base/machine_text.h"
#include "core/device/device_model.h"
#include "core/device/register_map.h"
#include "core/device/settings_frames.h"
#include "core/device/shared_data.h"
#include "core/device/value_rules.h"
#include "core/modbus/line_port.h"
#include "core/modbus/modbus_frame.h"
#include "core/modbus/port_access.h"
#include "gui/widget.h"
#include "ui_widget.h"

#include <QVector>

namespace {

constexpr int kFirstAddress = 1;
constexpr int kLastAddress = 247;

} // namespace

void Widget::PushButtonAddressSlot() {
    const QString text = ui->lineEditAddress->text();
    if (text.isEmpty()) {
        showError(tr("The address is empty!"));
        return;
    }
    bool ok = false;
    int address = text.toInt(&ok, 10);
    if (!ok) {
        address = 0;
    }
    if (address < kFirstAddress || address > kLastAddress) {
        showError(tr("The address is between 1 and 247!"));
        return;
    }
    // Sent to the broadcast address so the device takes the new address even when its present
    // one is unknown. The field keeps the new address, so later requests go to it.
    lastRegister = Reg::SlaveAddress;
    sendFrame(Settings::addressFrame(Settings::BroadcastAddress, static_cast<quint16>(address)));
}

void Widget::PushButtonAddressReadSlot() {
    readRegisters(Reg::SlaveAddress, 1);
}

void Widget::PushButtonBaudRateSlot() {
    // Register 0x0101 holds a code, 1 = 1200 .. 6 = 115200: the list index plus one. The port
    // follows the device once its echo confirms the change (followNewRate).
    // A device that reported a code outside the list leaves nothing selected: refused.
    quint16 code = 0;
    if (!ValueRules::listValue(ValueRules::BaudCodes, ui->comboBoxBaudRate->currentIndex(), &code)) {
        showError(tr("Please choose a baud rate from the list!"));
        return;
    }
    writeRegister(Reg::BaudCode, code);
}

void Widget::PushButtonReadSNSlot() {
    readRegisters(Reg::SerialNumber, Reg::SerialNumberCount);
}

void Widget::PushButtonReadInfoSlot() {
    readRegisters(Reg::SlaveAddress, Reg::DeviceInfoCount);
}

void Widget::PushButtonAUTOSetupSlot() {
    // Twelve decimal digits from the clock, sent as packed BCD: 261208041533 -> 26 12 08 04 15 33.
    shared->serialNumber = MachineText::serialNumberFromClock(Clock::now());
    lastRegister = Reg::SerialNumber;
    sendFrame(Settings::serialNumberFrame(static_cast<quint8>(deviceAddress() & 0xFF), shared->serialNumber));
}

void Widget::PushButtonMANUSetupSlot() {
    shared->serialNumber = ui->lineEditSN->text();
    if (shared->serialNumber.length() != Settings::SerialNumberLength) {
        showError(tr("The serial number is a fixed 12 characters!"));
        return;
    }
    lastRegister = Reg::SerialNumber;
    sendFrame(Settings::serialNumberFrame(static_cast<quint8>(deviceAddress() & 0xFF), shared->serialNumber));
}

void Widget::followNewRate(int rate) {
    if (rate == 0 || !lineOpen() || rate == line->rate()) {
        return;
    }
    if (line->port().isNetwork()) {
        // The serial server keeps its own rate: the unit now listens at another one.
        appendMessage(tr("The device was told to use %1 baud; %2 is a serial server, whose line rate "
                         "stays as set in its own configuration: change the server's rate to %1 to reach "
                         "the device again.")
                          .arg(rate)
                          .arg(shared->currentPortName),
                      kNoticeLine);
        return;
    }
    rateChange.from = line->rate();
    rateChange.to = rate;
    // Polling waits (Timer1SSlot) until the device information has come at the new rate.
    PortAccess access;
    if (!openPortAt(shared->currentPortName, rate, &access)) {
        appendMessage(openFailureText(shared->currentPortName, access), kNoticeLine);
        return;
    }
    rateChangeWait.start(timing.newRateAnswerMs);
    readRegisters(Reg::SlaveAddress, Reg::DeviceInfoCount);
}

void Widget::newRateAnswered() {
    rateChangeWait.stop();
    // The link's rate from now on, also for finding the port again when it is lost.
    shared->baudRate = rateChange.to;
    appendMessage(tr("The device answers at %1 baud: serial port %2 now runs at that rate")
                      .arg(rateChange.to)
                      .arg(shared->currentPortName),
                  kNoticeLine);
}

void Widget::newRateUnanswered() {
    // Back once to the rate that worked; the user decides what comes next.
    PortAccess access;
    if (!openPortAt(shared->currentPortName, rateChange.from, &access)) {
        appendMessage(openFailureText(shared->currentPortName, access), kNoticeLine);
        return;
    }
    appendMessage(tr("The device did not answer at %1 baud within %2 s: serial port %3 is back at %4 baud. "
                     "If it does not answer there either, press Link and choose AUTO to search for its rate.")
                      .arg(rateChange.to)
                      .arg(timing.newRateAnswerMs / 1000.0)
                      .arg(shared->currentPortName)
                      .arg(rateChange.from),
                  kNoticeLine);
}
