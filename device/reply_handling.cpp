#include "app/shared_data.h"
#include "app/value_rules.h"
#include "app/widget.h"
#include "device/register_map.h"
#include "device/reply_parser.h"
#include "link/modbus_frame.h"
#include "ui_widget.h"

#include <QDate>
#include <QDateTime>
#include <QDebug>
#include <QMessageBox>
#include <QSerialPort>
#include <QTime>
#include <QTimer>

namespace {

// Bytes that do not complete a reply are dropped after this much silence on the line.
constexpr int kReceptionGapMs = 100;
// After "heater on" the buttons offer "on" again after this many one-second ticks.
constexpr int kHeaterSeconds = 300;

// Heater buttons for a heater value echoed or read back: any non-zero value counts as on.
void showHeater(WidgetUi *ui, int &countdown, quint16 value) {
    const bool on = value != 0;
    ui->pushButtonHeaterON->setEnabled(!on);
    ui->pushButtonHeaterOFF->setEnabled(on);
    countdown = on ? kHeaterSeconds : 0;
}

} // namespace

void Widget::my_readuart() {
    // Reception: every notification restarts the gap timer and adds what the port holds.
    timerClear->start(kReceptionGapMs);
    if (serialPort->isOpen()) {
        shared->rxBuffer.append(serialPort->readAll());
    }
    const QByteArray frame = shared->rxBuffer;

    const Rx::Examination exam = Rx::examine(frame);
    switch (exam.verdict) {
    case Rx::Verdict::Overflow:
        shared->rxBuffer.clear();
        return;
    case Rx::Verdict::FaultyAdapter:
        // A line full of 0x00 / 0xFF comes from a broken adapter: the port is closed before the
        // box opens, so nothing more is read while it waits for the user.
        serialPort->close();
        shared->rxBuffer.clear();
        showUsbDeviceError();
        return;
    case Rx::Verdict::Pending:
    case Rx::Verdict::Accepted:
        break;
    }
    if (exam.crcChecked) {
        qDebug().noquote() << QStringLiteral("rx crc received %1 computed %2 frame %3")
                                  .arg(exam.received, 4, 16, QLatin1Char('0'))
                                  .arg(exam.computed, 4, 16, QLatin1Char('0'))
                                  .arg(frameToHex(frame));
    }
    if (exam.verdict != Rx::Verdict::Accepted) {
        // Incomplete or damaged: keep the bytes until the reply completes or the gap passes.
        return;
    }

    // The reply is matched to its request only through the register the latest request named.
    const Rx::Decoded decoded = Rx::decode(lastRegister, frame, *shared);
    switch (decoded.effect) {
    case Rx::Effect::None:
        break;
    case Rx::Effect::Readings:
        showReadings(decoded.block, decoded.selection);
        break;
    case Rx::Effect::Address:
        showAddress();
        break;
    case Rx::Effect::DeviceInfo:
        showAddress();
        showDeviceInfo();
        break;
    case Rx::Effect::BaudRate:
        showBaudRate();
        break;
    case Rx::Effect::SerialNumber:
        showSerialNumber();
        break;
    case Rx::Effect::Heater:
        showHeater(ui, heaterCountdown, decoded.heaterValue);
        break;
    case Rx::Effect::OutputData:
        showListValue(ui->comboBoxOutputData, decoded.outputData,
                      shared->outputRegisters[Reg::OutputDataChannel1 - Reg::OutputBlock],
                      tr("The device reports an output data code that is not in the list: %1"));
        break;
    case Rx::Effect::Clock: {
        // Shown as the device holds it, whatever the computer's zone makes of that time.
        const QDateTime clock =
            ValueRules::deviceClockTime(shared->clockYear, shared->clockMonth, shared->clockDay,
                                        shared->clockHour, shared->clockMinute, shared->clockSecond);
        if (clock.isValid()) {
            ui->dateTimeEditDeviceTime->setDateTime(clock);
        } else {
            // The editor's minimum reads "not read", so Setting cannot send back a stale time.
            ui->dateTimeEditDeviceTime->setDateTime(ui->dateTimeEditDeviceTime->minimumDateTime());
            appendMessage(tr("The device clock holds an impossible date: %1")
                              .arg(ValueRules::deviceClockText(shared->clockYear, shared->clockMonth,
                                                               shared->clockDay, shared->clockHour,
                                                               shared->clockMinute, shared->clockSecond)),
                          kNoticeLine);
        }
        ui->timeEditStartTime->setTime(
            QTime(shared->heaterStartMinutes / 60, shared->heaterStartMinutes % 60, 0));
        showListValue(
            ui->comboBoxInterval, ValueRules::listIndex(ValueRules::HeatingIntervals, shared->heaterInterval),
            shared->heaterInterval, tr("The device reports a heating interval that is not in the list: %1"));
        showListValue(
            ui->comboBoxHeaterTime, ValueRules::listIndex(ValueRules::HeatingTimes, shared->heaterDuration),
            shared->heaterDuration, tr("The device reports a heating time that is not in the list: %1"));
        qDebug() << "heating time" << shared->heaterDuration;
        break;
    }
    }

    // Every accepted reply, whatever it decoded, counts as an answer and is logged.
    shared->responseReceived = true;
    appendMessage(frameToHex(frame), 1);
    shared->rxBuffer.clear();
    timerClear->stop();
}

void Widget::TimerClearSlot() {
    timerClear->stop();
    shared->rxBuffer.clear();
}

void Widget::showAddress() {
    ui->lineEditAddress->setText(QString::number(shared->slaveAddress));
}

// The baud-rate code is the list index plus one; a code outside 1 to 6 leaves no item selected.
void Widget::showBaudRate() {
    showListValue(ui->comboBoxBaudRate, ValueRules::listIndex(ValueRules::BaudCodes, shared->baudCode),
                  shared->baudCode, tr("The device reports a baud rate code that is not in the list: %1"));
}

void Widget::showListValue(QComboBox *box, int index, int value, const QString &notInList) {
    box->setCurrentIndex(index);
    if (index < 0) {
        appendMessage(notInList.arg(value), kNoticeLine);
    }
}

void Widget::showSerialNumber() {
    ui->lineEditSN->setText(shared->serialNumber);
}

void Widget::showDeviceInfo() {
    ui->lineEditAddress->setText(QString::number(shared->slaveAddress));
    showBaudRate();
    ui->lineEditSN->setText(shared->serialNumber);
    // The range registers are tenths of a degree.
    ui->lineEditRangeMin->setText(QString::number(shared->rangeMin / 10.0, 'f', 1));
    ui->lineEditRangeMax->setText(QString::number(shared->rangeMax / 10.0, 'f', 1));
    showFirmwareVersion();
    fillChannelList(shared->deviceType == 0 ? 1 : 2);
    showHeater(ui, heaterCountdown, shared->heaterState);
    ui->comboBoxType->setCurrentIndex(shared->deviceType);
    if (shared->deviceType == Reg::ClockDeviceType && shared->firmwareVersion >= Reg::ClockFirmwareMinimum) {
        // Only this model from this firmware on has a clock; fetch it so the row shows real values.
        readRegisters(Reg::ClockYear, Reg::ClockBlockCount);
        setClockRowHidden(false);
    } else {
        setClockRowHidden(true);
    }
}

void Widget::showUsbDeviceError() {
    QMessageBox::information(this, tr("Error"), tr("USB device error, please reconnect USB device!"),
                             QMessageBox::Ok);
}
