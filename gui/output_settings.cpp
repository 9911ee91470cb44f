// Temperature output range, output data of the channels, and the output and calibration images
// that are read from the device and written back.
#include "core/device/register_map.h"
#include "core/device/settings_frames.h"
#include "core/device/shared_data.h"
#include "core/device/value_rules.h"
#include "core/modbus/modbus_frame.h"
#include "gui/widget.h"
#include "ui_widget.h"

#include <QVector>

namespace {

// Image words of registers first..last, out of an image that starts at register `imageStart`.
QVector<quint16> imageWords(const quint16 *image, quint16 imageStart, quint16 first, quint16 last) {
    QVector<quint16> words;
    for (quint16 reg = first; reg <= last; ++reg) {
        words.append(image[reg - imageStart]);
    }
    return words;
}

} // namespace

void Widget::PushButtonTempRangeSlot() {
    const QString minText = ui->lineEditRangeMin->text();
    const QString maxText = ui->lineEditRangeMax->text();
    if (minText.isEmpty() || maxText.isEmpty()) {
        showError(tr("Data is empty!"));
        return;
    }
    qint16 minTenths = 0;
    qint16 maxTenths = 0;
    // Limits that are not numbers, or a minimum not below the maximum, never reach the device.
    if (!ValueRules::parseRange(minText, maxText, &minTenths, &maxTenths)) {
        showError(tr("Data is out of range!"));
        return;
    }
    shared->rangeMin = minTenths;
    shared->rangeMax = maxTenths;
    requests->lastRegister() = Reg::RangeMin;
    requests->send(
        Settings::rangeFrame(static_cast<quint8>(requests->deviceAddress() & 0xFF), minTenths, maxTenths));
}

void Widget::PushButtonOutputSlot() {
    const quint16 reg = Settings::outputDataRegister(ui->comboBoxChannel->currentIndex() + 1);
    // Output-data codes: 0 temperature, 1 humidity, 2 dew point. A device that reported another
    // code leaves the list with nothing selected; nothing is written until the user picks one.
    quint16 code = 0;
    if (!ValueRules::listValue(ValueRules::OutputData, ui->comboBoxOutputData->currentIndex(), &code)) {
        showError(tr("Please choose the output data from the list!"));
        return;
    }
    requests->writeRegister(reg, code);
}

void Widget::PushButtonOutputReadSlot() {
    requests->readRegisters(Reg::OutputBlock, Reg::OutputBlockCount);
}

void Widget::PushButtonOutputApplySlot() {
    // Writing back an image that no read has filled would overwrite the device's output
    // settings with values it never held.
    if (!shared->outputRegistersLoaded) {
        return;
    }
    // The first register written is the apply flag; the rest go back as last read.
    shared->outputRegisters[Reg::OutputApply - Reg::OutputBlock] = 1;
    const quint8 address = static_cast<quint8>(requests->deviceAddress() & 0xFF);
    requests->writeBlock(
        address, Reg::OutputApply,
        imageWords(shared->outputRegisters, Reg::OutputBlock, Reg::OutputApply, Reg::OutputBlockLast), true);
}

void Widget::PushButtonCalibrationReadSlot() {
    requests->readRegisters(Reg::Calibration, Reg::CalibrationCount);
}

void Widget::PushButtonCalibrationApplySlot() {
    // As for the output block: a calibration never read must not be written over the device's.
    if (!shared->calibrationLoaded) {
        return;
    }
    shared->calibration[Reg::CalibrationApply - Reg::Calibration] = 1;
    const quint8 address = static_cast<quint8>(requests->deviceAddress() & 0xFF);
    requests->writeBlock(
        address, Reg::CalibrationApply,
        imageWords(shared->calibration, Reg::Calibration, Reg::CalibrationApply, Reg::CalibrationLast), true);
}

void Widget::PushButtonCalibrationResetSlot() {
    requests->writeRegister(Reg::CalibrationApply, 0);
}

void Widget::PushButtonCapClearSlot() {
    requests->writeRegister(Reg::CapClear, 0);
}

void Widget::PushButtonResClearSlot() {
    requests->writeRegister(Reg::ResClear, 0);
}

void Widget::PushButtonUnitSlot() {
    requests->writeRegister(Reg::UnitCommand, 0);
}
