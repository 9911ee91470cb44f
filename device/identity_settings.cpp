// Identity and line settings of the transmitter: slave address, baud-rate code, serial number
// and the device-information block.
#include "app/clock.h"
#include "app/machine_text.h"
#include "app/shared_data.h"
#include "app/value_rules.h"
#include "app/widget.h"
#include "device/register_map.h"
#include "link/modbus_frame.h"
#include "ui_widget.h"

#include <QVector>

namespace {

constexpr int kFirstAddress = 1;
constexpr int kLastAddress = 247;
// Slave address 0 reaches every device on the line, whatever its present address.
constexpr quint8 kBroadcastAddress = 0;
// The serial number is six bytes, typed as twelve hexadecimal digits.
constexpr int kSerialNumberLength = 12;

// Register values of the serial number: character pair i is byte i, two bytes a register with
// the first of them high. A pair that is not a hexadecimal number gives the byte 0x00.
QVector<quint16> serialNumberWords(const QString &text) {
    QVector<quint16> words;
    for (int reg = 0; reg < Reg::SerialNumberCount; ++reg) {
        quint16 word = 0;
        for (int half = 0; half < 2; ++half) {
            bool ok = false;
            const int parsed = text.mid(4 * reg + 2 * half, 2).toInt(&ok, 16);
            const quint8 byte = ok ? static_cast<quint8>(parsed & 0xFF) : 0;
            word = static_cast<quint16>((word << 8) | byte);
        }
        words.append(word);
    }
    return words;
}

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
    sendFrame(buildWriteRequest(kBroadcastAddress, Reg::SlaveAddress, static_cast<quint16>(address)));
}

void Widget::PushButtonAddressReadSlot() {
    readRegisters(Reg::SlaveAddress, 1);
}

void Widget::PushButtonBaudRateSlot() {
    // Register 0x0101 holds a code, 1 = 1200 .. 6 = 115200: the list index plus one. The port
    // stays at its present rate; the device answers at the new one only after a new link.
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
    const quint8 address = static_cast<quint8>(deviceAddress() & 0xFF);
    writeBlock(address, Reg::SerialNumber, serialNumberWords(shared->serialNumber), true);
}

void Widget::PushButtonMANUSetupSlot() {
    shared->serialNumber = ui->lineEditSN->text();
    if (shared->serialNumber.length() != kSerialNumberLength) {
        showError(tr("The serial number is a fixed 12 characters!"));
        return;
    }
    const quint8 address = static_cast<quint8>(deviceAddress() & 0xFF);
    writeBlock(address, Reg::SerialNumber, serialNumberWords(shared->serialNumber), true);
}
