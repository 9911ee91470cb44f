// Heater on/off, the automatic heating schedule and the device clock.
#include "app/clock.h"
#include "app/shared_data.h"
#include "app/widget.h"
#include "device/register_map.h"
#include "ui_widget.h"

#include <QDateTime>
#include <QDebug>
#include <QVector>

namespace {
// The clock and schedule writes always go to slave address 1, whatever the address field holds.
constexpr quint8 kClockAddress = 1;
} // namespace

void Widget::PushButtonHeaterONSlot() {
    writeRegister(Reg::Heater, 1);
}

void Widget::PushButtonHeaterOFFSlot() {
    writeRegister(Reg::Heater, 0);
}

void Widget::PushButtonHeaterTimeSlot() {
    const QTime start = ui->timeEditStartTime->time();
    const quint16 startMinutes = static_cast<quint16>(start.hour() * 60 + start.minute());
    // Interval items are 1H..24H, heating-time items 0S..480S: the index maps straight to seconds.
    const quint16 interval = static_cast<quint16>(ui->comboBoxInterval->currentIndex() + 1);
    const quint16 heatingTime = static_cast<quint16>(ui->comboBoxHeaterTime->currentIndex());
    // lastRegister is left alone: the acknowledgement decodes nothing anyway.
    writeBlock(kClockAddress, Reg::HeaterStartMinutes, {startMinutes, interval, heatingTime}, false);
    qDebug() << "heating time" << heatingTime;
}

void Widget::PushButtonDeviceTimeSlot() {
    // The system time is taken once, at the press, so the frame carries that instant.
    const QDateTime when =
        ui->checkBoxSystemTime->isChecked() ? Clock::now() : ui->dateTimeEditDeviceTime->dateTime();
    const QDate date = when.date();
    const QTime time = when.time();
    // Plain binary, four-digit year; the weekday runs 1 = Monday .. 7 = Sunday.
    const QVector<quint16> words = {
        static_cast<quint16>(date.year()),     static_cast<quint16>(date.month()),
        static_cast<quint16>(date.day()),      static_cast<quint16>(time.hour()),
        static_cast<quint16>(time.minute()),   static_cast<quint16>(time.second()),
        static_cast<quint16>(date.dayOfWeek())};
    writeBlock(kClockAddress, Reg::ClockYear, words, false);
}

void Widget::CheckBoxSystemTimeSlot(int state) {
    // The editor is only used when the system time is not.
    ui->dateTimeEditDeviceTime->setEnabled(state == Qt::Unchecked);
}
