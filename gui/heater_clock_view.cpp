#include "gui/heater_clock_view.h"

#include "core/base/clock.h"
#include "core/device/live_poll.h"
#include "core/device/settings_frames.h"
#include "core/device/shared_data.h"
#include "core/device/value_rules.h"
#include "gui/device_view.h"
#include "gui/message_log.h"
#include "ui_widget.h"

#include <QDateTime>

HeaterClockView::HeaterClockView(Ui::Widget *ui, MessageLog &log) : ui(ui), log(log) {
    // The start state, set before the window connects its slots, so it triggers none.
    ui->dateTimeEditDeviceTime->setDisplayFormat(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    // The device clock is a wall clock without a zone: the editor keeps its time zone-free, so
    // a time in a daylight-saving gap of the computer's zone is shown and sent as it is. Its
    // minimum stands for a device time that could not be read.
    const QDateTime shown = ui->dateTimeEditDeviceTime->dateTime();
    ui->dateTimeEditDeviceTime->setTimeSpec(Qt::UTC);
    ui->dateTimeEditDeviceTime->setDateTime(QDateTime(shown.date(), shown.time(), Qt::UTC));
    ui->dateTimeEditDeviceTime->setSpecialValueText(tr("Not read"));
    ui->timeEditStartTime->setDisplayFormat(QStringLiteral("hh:mm"));
    // The device clock is set from the system time unless the user unticks the box.
    ui->dateTimeEditDeviceTime->setEnabled(false);
    ui->checkBoxSystemTime->setChecked(true);
    // Only a ZR200Pro with a recent firmware has a clock; the reply handling shows the row.
    setRowHidden(true);
    // Index i is a heating interval of i + 1 hours.
    for (int hours = 1; hours <= 24; ++hours) {
        ui->comboBoxInterval->addItem(QString::number(hours) + tr("H"));
    }
    // Index i is a heating time of i seconds.
    for (int seconds = 0; seconds <= 480; ++seconds) {
        ui->comboBoxHeaterTime->addItem(QString::number(seconds) + tr("S"));
    }
}

void HeaterClockView::showHeater(quint16 value) {
    const bool onOffered = HeaterButtons::onOffered(value, &heaterCountdown);
    ui->pushButtonHeaterON->setEnabled(onOffered);
    ui->pushButtonHeaterOFF->setEnabled(!onOffered);
}

void HeaterClockView::tick() {
    // After "on" was confirmed the buttons offer "on" again in time.
    if (HeaterButtons::tick(&heaterCountdown)) {
        ui->pushButtonHeaterON->setEnabled(true);
        ui->pushButtonHeaterOFF->setEnabled(false);
    }
}

void HeaterClockView::showClock(const SharedDataClass &shared) {
    // Shown as the device holds it, whatever the computer's zone makes of that time.
    const QDateTime clock =
        ValueRules::deviceClockTime(shared.clockYear, shared.clockMonth, shared.clockDay, shared.clockHour,
                                    shared.clockMinute, shared.clockSecond);
    if (clock.isValid()) {
        ui->dateTimeEditDeviceTime->setDateTime(clock);
    } else {
        // The editor's minimum reads "not read", so Setting cannot send back a stale time.
        ui->dateTimeEditDeviceTime->setDateTime(ui->dateTimeEditDeviceTime->minimumDateTime());
        log.append(
            tr("The device clock holds an impossible date: %1")
                .arg(ValueRules::deviceClockText(shared.clockYear, shared.clockMonth, shared.clockDay,
                                                 shared.clockHour, shared.clockMinute, shared.clockSecond)),
            MessageLog::Notice);
    }
    // A start past 23:59 cannot be shown as it is: shown as 23:59 and said, never left stale.
    const int lastMinute = 23 * 60 + 59;
    const int start = qMin<int>(shared.heaterStartMinutes, lastMinute);
    if (shared.heaterStartMinutes > lastMinute) {
        log.append(tr("The device reports a heating start time past 23:59 (%1 minutes): shown as 23:59")
                       .arg(shared.heaterStartMinutes),
                   MessageLog::Notice);
    }
    ui->timeEditStartTime->setTime(QTime(start / 60, start % 60, 0));
    showListValue(
        ui->comboBoxInterval, ValueRules::listIndex(ValueRules::HeatingIntervals, shared.heaterInterval),
        shared.heaterInterval, tr("The device reports a heating interval that is not in the list: %1"), log);
    showListValue(
        ui->comboBoxHeaterTime, ValueRules::listIndex(ValueRules::HeatingTimes, shared.heaterDuration),
        shared.heaterDuration, tr("The device reports a heating time that is not in the list: %1"), log);
}

void HeaterClockView::setRowHidden(bool hidden) {
    ui->labelDeviceTime->setHidden(hidden);
    ui->dateTimeEditDeviceTime->setHidden(hidden);
    ui->checkBoxSystemTime->setHidden(hidden);
    ui->pushButtonDeviceTime->setHidden(hidden);
    ui->labelStartTime->setHidden(hidden);
    ui->timeEditStartTime->setHidden(hidden);
    ui->labelInterval->setHidden(hidden);
    ui->comboBoxInterval->setHidden(hidden);
    ui->labelHeaterTime->setHidden(hidden);
    ui->comboBoxHeaterTime->setHidden(hidden);
    ui->pushButtonHeaterTime->setHidden(hidden);
}

void HeaterClockView::clear() {
    ui->dateTimeEditDeviceTime->setDateTime(ui->dateTimeEditDeviceTime->minimumDateTime());
    ui->comboBoxInterval->setCurrentIndex(-1);
    ui->comboBoxHeaterTime->setCurrentIndex(-1);
}

void HeaterClockView::systemTimeToggled(int state) {
    ui->dateTimeEditDeviceTime->setEnabled(state == Qt::Unchecked);
}

QByteArray HeaterClockView::scheduleFrame(QString *error) const {
    // Interval items are 1H..24H, heating-time items 0S..480S. A device that reported a value
    // outside a list leaves it with nothing selected: refused until the user picks an item.
    quint16 interval = 0;
    quint16 heatingTime = 0;
    if (!ValueRules::listValue(ValueRules::HeatingIntervals, ui->comboBoxInterval->currentIndex(),
                               &interval) ||
        !ValueRules::listValue(ValueRules::HeatingTimes, ui->comboBoxHeaterTime->currentIndex(),
                               &heatingTime)) {
        *error = tr("Please choose a heating interval and a heating time from the list!");
        return QByteArray();
    }
    return Settings::scheduleFrame(Settings::ClockAddress, ui->timeEditStartTime->time(), interval,
                                   heatingTime);
}

QByteArray HeaterClockView::clockFrame(QString *error) const {
    // The system time is taken once, at the press, so the frame carries that instant. The
    // editor holds a zone-free wall-clock time; its minimum marks a device time not read.
    QDateTime when;
    if (ui->checkBoxSystemTime->isChecked()) {
        when = Clock::now();
    } else if (ui->dateTimeEditDeviceTime->dateTime() == ui->dateTimeEditDeviceTime->minimumDateTime()) {
        *error = tr("The device time has not been read, please enter a time!");
        return QByteArray();
    } else {
        when = ui->dateTimeEditDeviceTime->dateTime();
    }
    // Plain binary, four-digit year; the weekday runs 1 = Monday .. 7 = Sunday.
    return Settings::clockFrame(Settings::ClockAddress, when.date(), when.time());
}
