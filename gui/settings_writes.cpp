// Identity, line and output settings of the transmitter: the slave address, the baud-rate code,
// the serial number, the output range and data, and the output and calibration images that are
// read from the device and written back.
#include "gui/settings_writes.h"

#include "core/base/clock.h"
#include "core/base/machine_text.h"
#include "core/device/register_map.h"
#include "core/device/settings_frames.h"
#include "core/device/shared_data.h"
#include "core/device/value_rules.h"
#include "gui/error_box.h"
#include "gui/request_sender.h"
#include "ui_widget.h"

#include <QVector>

namespace {

constexpr int kFirstAddress = 1;
constexpr int kLastAddress = 247;

// Image words of registers first..last, out of an image that starts at register `imageStart`.
QVector<quint16> imageWords(const quint16 *image, quint16 imageStart, quint16 first, quint16 last) {
    QVector<quint16> words;
    for (quint16 reg = first; reg <= last; ++reg) {
        words.append(image[reg - imageStart]);
    }
    return words;
}

} // namespace

SettingsWrites::SettingsWrites(QWidget *window, Ui::Widget *ui, SharedDataClass &shared,
                               RequestSender &requests)
    : window(window), ui(ui), shared(shared), requests(requests) {}

quint8 SettingsWrites::unitAddress() const {
    return static_cast<quint8>(requests.deviceAddress() & 0xFF);
}

void SettingsWrites::refuse(const QString &text) {
    ErrorBox::show(window, text);
}

void SettingsWrites::address() {
    const QString text = ui->lineEditAddress->text();
    if (text.isEmpty()) {
        refuse(tr("The address is empty!"));
        return;
    }
    bool ok = false;
    int address = text.toInt(&ok, 10);
    if (!ok) {
        address = 0;
    }
    if (address < kFirstAddress || address > kLastAddress) {
        refuse(tr("The address is between 1 and 247!"));
        return;
    }
    // Sent to the broadcast address so the device takes the new address even when its present
    // one is unknown. The field keeps the new address, so later requests go to it.
    requests.lastRegister() = Reg::SlaveAddress;
    requests.send(Settings::addressFrame(Settings::BroadcastAddress, static_cast<quint16>(address)));
}

void SettingsWrites::baudRate() {
    // Register 0x0101 holds a code, 1 = 1200 .. 6 = 115200: the list index plus one. The port
    // follows the device once its echo confirms the change (LineLink::followNewRate).
    // A device that reported a code outside the list leaves nothing selected: refused.
    quint16 code = 0;
    if (!ValueRules::listValue(ValueRules::BaudCodes, ui->comboBoxBaudRate->currentIndex(), &code)) {
        refuse(tr("Please choose a baud rate from the list!"));
        return;
    }
    requests.writeRegister(Reg::BaudCode, code);
}

void SettingsWrites::serialNumberFromClock() {
    // Twelve decimal digits from the clock, sent as packed BCD: 261208041533 -> 26 12 08 04 15 33.
    shared.serialNumber = MachineText::serialNumberFromClock(Clock::now());
    requests.lastRegister() = Reg::SerialNumber;
    requests.send(Settings::serialNumberFrame(unitAddress(), shared.serialNumber));
}

void SettingsWrites::serialNumberTyped() {
    shared.serialNumber = ui->lineEditSN->text();
    if (shared.serialNumber.length() != Settings::SerialNumberLength) {
        refuse(tr("The serial number is a fixed 12 characters!"));
        return;
    }
    requests.lastRegister() = Reg::SerialNumber;
    requests.send(Settings::serialNumberFrame(unitAddress(), shared.serialNumber));
}

void SettingsWrites::range() {
    const QString minText = ui->lineEditRangeMin->text();
    const QString maxText = ui->lineEditRangeMax->text();
    if (minText.isEmpty() || maxText.isEmpty()) {
        refuse(tr("Data is empty!"));
        return;
    }
    qint16 minTenths = 0;
    qint16 maxTenths = 0;
    // Limits that are not numbers, or a minimum not below the maximum, never reach the device.
    if (!ValueRules::parseRange(minText, maxText, &minTenths, &maxTenths)) {
        refuse(tr("Data is out of range!"));
        return;
    }
    shared.rangeMin = minTenths;
    shared.rangeMax = maxTenths;
    requests.lastRegister() = Reg::RangeMin;
    requests.send(Settings::rangeFrame(unitAddress(), minTenths, maxTenths));
}

void SettingsWrites::outputData() {
    const quint16 reg = Settings::outputDataRegister(ui->comboBoxChannel->currentIndex() + 1);
    // Output-data codes: 0 temperature, 1 humidity, 2 dew point. A device that reported another
    // code leaves the list with nothing selected; nothing is written until the user picks one.
    quint16 code = 0;
    if (!ValueRules::listValue(ValueRules::OutputData, ui->comboBoxOutputData->currentIndex(), &code)) {
        refuse(tr("Please choose the output data from the list!"));
        return;
    }
    requests.writeRegister(reg, code);
}

void SettingsWrites::applyOutput() {
    // Writing back an image that no read has filled would overwrite the device's output
    // settings with values it never held.
    if (!shared.outputRegistersLoaded) {
        return;
    }
    // The first register written is the apply flag; the rest go back as last read.
    shared.outputRegisters[Reg::OutputApply - Reg::OutputBlock] = 1;
    requests.writeBlock(
        unitAddress(), Reg::OutputApply,
        imageWords(shared.outputRegisters, Reg::OutputBlock, Reg::OutputApply, Reg::OutputBlockLast), true);
}

void SettingsWrites::applyCalibration() {
    // As for the output block: a calibration never read must not be written over the device's.
    if (!shared.calibrationLoaded) {
        return;
    }
    shared.calibration[Reg::CalibrationApply - Reg::Calibration] = 1;
    requests.writeBlock(
        unitAddress(), Reg::CalibrationApply,
        imageWords(shared.calibration, Reg::Calibration, Reg::CalibrationApply, Reg::CalibrationLast), true);
}
