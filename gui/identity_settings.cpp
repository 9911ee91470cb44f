// Identity and line settings of the transmitter: slave address, baud-rate code, serial number
// and the device-information block.
#include "core/base/clock.h"
#include "core/base/machine_text.h"
#include "core/device/device_model.h"
#include "core/device/register_map.h"
#include "core/device/settings_frames.h"
#include "core/device/shared_data.h"
#include "core/device/value_rules.h"
#include "core/modbus/modbus_frame.h"
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
    requests->lastRegister() = Reg::SlaveAddress;
    requests->send(Settings::addressFrame(Settings::BroadcastAddress, static_cast<quint16>(address)));
}

void Widget::PushButtonAddressReadSlot() {
    requests->readRegisters(Reg::SlaveAddress, 1);
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
    requests->writeRegister(Reg::BaudCode, code);
}

void Widget::PushButtonReadSNSlot() {
    requests->readRegisters(Reg::SerialNumber, Reg::SerialNumberCount);
}

void Widget::PushButtonReadInfoSlot() {
    requests->readRegisters(Reg::SlaveAddress, Reg::DeviceInfoCount);
}

void Widget::PushButtonAUTOSetupSlot() {
    // Twelve decimal digits from the clock, sent as packed BCD: 261208041533 -> 26 12 08 04 15 33.
    shared->serialNumber = MachineText::serialNumberFromClock(Clock::now());
    requests->lastRegister() = Reg::SerialNumber;
    requests->send(Settings::serialNumberFrame(static_cast<quint8>(requests->deviceAddress() & 0xFF),
                                               shared->serialNumber));
}

void Widget::PushButtonMANUSetupSlot() {
    shared->serialNumber = ui->lineEditSN->text();
    if (shared->serialNumber.length() != Settings::SerialNumberLength) {
        showError(tr("The serial number is a fixed 12 characters!"));
        return;
    }
    requests->lastRegister() = Reg::SerialNumber;
    requests->send(Settings::serialNumberFrame(static_cast<quint8>(requests->deviceAddress() & 0xFF),
                                               shared->serialNumber));
}
