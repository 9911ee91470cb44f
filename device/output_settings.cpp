// Temperature output range, output data of the channels, and the output and calibration images
// that are read from the device and written back.
#include "app/shared_data.h"
#include "app/widget.h"
#include "device/register_map.h"
#include "link/modbus_frame.h"
#include "ui_widget.h"

#include <QDebug>
#include <QVector>

#include <cmath>
#include <limits>

namespace {

// Output-data codes: 0 temperature, 1 humidity, 2 dew point.
constexpr qint16 kLastOutputDataCode = 2;

// One range limit typed in degrees, as the tenths its register holds. A text that is not a
// number counts as 0. The degrees are taken in single precision, multiplied by ten, rounded to
// the nearest single-precision value and truncated toward zero (0.29 gives 2). False when the
// result is not finite or does not fit a signed 16-bit register: such a limit would otherwise
// reach the device wrapped around.
bool rangeTenths(const QString &text, qint16 *tenths) {
    bool ok = false;
    const double parsed = text.toDouble(&ok);
    double degrees = 0.0;
    if (ok) {
        degrees = parsed;
    } else if (std::isinf(parsed)) {
        // Too large even for a double.
        return false;
    }
    if (!std::isfinite(degrees) || std::fabs(degrees) > std::numeric_limits<float>::max()) {
        return false;
    }
    const float single = static_cast<float>(degrees);
    const float product = static_cast<float>(static_cast<double>(single) * 10.0);
    const double truncated = std::trunc(static_cast<double>(product));
    if (!std::isfinite(truncated) || truncated < std::numeric_limits<qint16>::min() ||
        truncated > std::numeric_limits<qint16>::max()) {
        return false;
    }
    *tenths = static_cast<qint16>(truncated);
    return true;
}

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
    if (!rangeTenths(minText, &minTenths) || !rangeTenths(maxText, &maxTenths)) {
        showError(tr("Data is out of range!"));
        return;
    }
    // Either limit may be the larger one; the device takes them as they come.
    shared->rangeMin = minTenths;
    shared->rangeMax = maxTenths;
    const quint8 address = static_cast<quint8>(deviceAddress() & 0xFF);
    writeBlock(address, Reg::RangeMin,
               {static_cast<quint16>(shared->rangeMin), static_cast<quint16>(shared->rangeMax)}, true);
}

void Widget::PushButtonOutputSlot() {
    const quint16 reg =
        ui->comboBoxChannel->currentIndex() == 1 ? Reg::OutputDataChannel2 : Reg::OutputDataChannel1;
    qint16 code = static_cast<qint16>(ui->comboBoxOutputData->currentIndex());
    if (code > kLastOutputDataCode) {
        code = kLastOutputDataCode;
    }
    writeRegister(reg, static_cast<quint16>(code));
}

void Widget::PushButtonOutputReadSlot() {
    readRegisters(Reg::OutputBlock, Reg::OutputBlockCount);
}

void Widget::PushButtonOutputApplySlot() {
    // Writing back an image that no read has filled would overwrite the device's output
    // settings with values it never held.
    if (!shared->outputRegistersLoaded) {
        qDebug() << "output apply refused: the output block has not been read yet";
        return;
    }
    // The first register written is the apply flag; the rest go back as last read.
    shared->outputRegisters[Reg::OutputApply - Reg::OutputBlock] = 1;
    const quint8 address = static_cast<quint8>(deviceAddress() & 0xFF);
    writeBlock(address, Reg::OutputApply,
               imageWords(shared->outputRegisters, Reg::OutputBlock, Reg::OutputApply, Reg::OutputBlockLast),
               true);
}

void Widget::PushButtonCalibrationReadSlot() {
    readRegisters(Reg::Calibration, Reg::CalibrationCount);
}

void Widget::PushButtonCalibrationApplySlot() {
    // As for the output block: a calibration never read must not be written over the device's.
    if (!shared->calibrationLoaded) {
        qDebug() << "calibration apply refused: the calibration table has not been read yet";
        return;
    }
    shared->calibration[Reg::CalibrationApply - Reg::Calibration] = 1;
    const quint8 address = static_cast<quint8>(deviceAddress() & 0xFF);
    writeBlock(address, Reg::CalibrationApply,
               imageWords(shared->calibration, Reg::Calibration, Reg::CalibrationApply, Reg::CalibrationLast),
               true);
}

void Widget::PushButtonCalibrationResetSlot() {
    writeRegister(Reg::CalibrationApply, 0);
}

void Widget::PushButtonCapClearSlot() {
    writeRegister(Reg::CapClear, 0);
}

void Widget::PushButtonResClearSlot() {
    writeRegister(Reg::ResClear, 0);
}

void Widget::PushButtonUnitSlot() {
    writeRegister(Reg::UnitCommand, 0);
}
