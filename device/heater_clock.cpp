// Heater on/off, the automatic heating schedule and the device clock.
#include "app/clock.h"
#include "app/shared_data.h"
#include "app/value_rules.h"
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
    // Interval items are 1H..24H, heating-time items 0S..480S. A device that reported a value
    // outside a list leaves it with nothing selected: refused until the user picks an item.
    quint16 interval = 0;
    quint16 heatingTime = 0;
    if (!ValueRules::listValue(ValueRules::HeatingIntervals, ui->comboBoxInterval->currentIndex(),
                               &interval) ||
        !ValueRules::listValue(ValueRules::HeatingTimes, ui->comboBoxHeaterTime->currentIndex(),
                               &heatingTime)) {
        showError(tr("Please choose a heating interval and a heating time from the list!"));
        return;
    }
    // lastRegister is left alone: the acknowledgement decodes nothing anyway.
    writeBlock(kClockAddress, Reg::HeaterStartMinutes, {startMinutes, interval, heatingTime}, false);
    qDebug() << "heating time" << heatingTime;
}

void Widget::PushButtonDeviceTimeSlot() {
    // The system time is taken once, at the press, so the frame carries that instant. The
    // editor holds a zone-free wall-clock time; its minimum marks a device time not read.
    QDateTime when;
    if (ui->checkBoxSystemTime->isChecked()) {
        when = Clock::now();
    } else if (ui->dateTimeEditDeviceTime->dateTime() == ui->dateTimeEditDeviceTime->minimumDateTime()) {
        showError(tr("The device time has not been read, please enter a time!"));
        return;
    } else {
        when = ui->dateTimeEditDeviceTime->dateTime();
    }
    // Plain binary, four-digit year; the weekday runs 1 = Monday .. 7 = Sunday.
    writeBlock(kClockAddress, Reg::ClockYear, ValueRules::deviceClockWords(when.date(), when.time()), false);
}

void Widget::CheckBoxSystemTimeSlot(int state) {
    // The editor is only used when the system time is not.
    ui->dateTimeEditDeviceTime->setEnabled(state == Qt::Unchecked);
}
