// Heater on/off, the automatic heating schedule and the device clock.
#include "core/base/clock.h"
#include "core/device/register_map.h"
#include "core/device/settings_frames.h"
#include "core/device/shared_data.h"
#include "core/device/value_rules.h"
#include "gui/widget.h"
#include "ui_widget.h"

#include <QDateTime>
#include <QVector>

void Widget::PushButtonHeaterONSlot() {
    writeRegister(Reg::Heater, 1);
}

void Widget::PushButtonHeaterOFFSlot() {
    writeRegister(Reg::Heater, 0);
}

void Widget::PushButtonHeaterTimeSlot() {
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
    sendFrame(Settings::scheduleFrame(Settings::ClockAddress, ui->timeEditStartTime->time(), interval,
                                      heatingTime));
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
    // Sent to address 1 whatever the address field holds; lastRegister is left alone.
    sendFrame(Settings::clockFrame(Settings::ClockAddress, when.date(), when.time()));
}

void Widget::CheckBoxSystemTimeSlot(int state) {
    // The editor is only used when the system time is not.
    ui->dateTimeEditDeviceTime->setEnabled(state == Qt::Unchecked);
}
