// Heater on/off, the automatic heating schedule and the device clock: glue to HeaterClockView.
#include "core/device/register_map.h"
#include "gui/widget.h"

void Widget::PushButtonHeaterONSlot() {
    requests->writeRegister(Reg::Heater, 1);
}

void Widget::PushButtonHeaterOFFSlot() {
    requests->writeRegister(Reg::Heater, 0);
}

void Widget::PushButtonHeaterTimeSlot() {
    QString error;
    const QByteArray frame = heaterClock->scheduleFrame(&error);
    if (frame.isEmpty()) {
        showError(error);
        return;
    }
    // lastRegister is left alone: the acknowledgement decodes nothing anyway.
    requests->send(frame);
}

void Widget::PushButtonDeviceTimeSlot() {
    QString error;
    const QByteArray frame = heaterClock->clockFrame(&error);
    if (frame.isEmpty()) {
        showError(error);
        return;
    }
    // Sent to address 1 whatever the address field holds; lastRegister is left alone.
    requests->send(frame);
}

void Widget::CheckBoxSystemTimeSlot(int state) {
    heaterClock->systemTimeToggled(state);
}
