// The window's slots, in the order they are declared: each hands its event to the part of the
// window that deals with it.
#include "core/device/register_map.h"
#include "core/device/shared_data.h"
#include "gui/widget.h"
#include "ui_widget.h"

#include <QApplication>

void Widget::PushButtonLinkSlot() {
    linkControl->choose();
}

void Widget::PushButtonAddressSlot() {
    settings->address();
}

void Widget::PushButtonBaudRateSlot() {
    settings->baudRate();
}

void Widget::PushButtonAddressReadSlot() {
    requests->readRegisters(Reg::SlaveAddress, 1);
}

void Widget::my_readuart() {
    link->takeArrived();
}

void Widget::PushButtonReadSlot() {
    live->toggle();
}

void Widget::ReadHumitureOrder() {
    live->pollNow();
}

void Widget::PushButtonReadSNSlot() {
    requests->readRegisters(Reg::SerialNumber, Reg::SerialNumberCount);
}

void Widget::PushButtonAUTOSetupSlot() {
    settings->serialNumberFromClock();
}

void Widget::PushButtonMANUSetupSlot() {
    settings->serialNumberTyped();
}

void Widget::PushButtonTempRangeSlot() {
    settings->range();
}

// Operations of the calibration screen that this tool does not offer.
void Widget::PushButtonHumiditySimpleSlot() {}
void Widget::PushButtonHumidityOffsetSlot() {}

void Widget::PushButtonCapClearSlot() {
    requests->writeRegister(Reg::CapClear, 0);
}

void Widget::PushButtonTemperatureSimpleSlot() {}
void Widget::PushButtonTemperatureOffsetSlot() {}

void Widget::PushButtonResClearSlot() {
    requests->writeRegister(Reg::ResClear, 0);
}

void Widget::PushButtonCalibrationResetSlot() {
    requests->writeRegister(Reg::CalibrationApply, 0);
}

void Widget::PushButtonCapacitorSlot() {}

void Widget::PushButtonCalibrationReadSlot() {
    requests->readRegisters(Reg::Calibration, Reg::CalibrationCount);
}

void Widget::PushButtonOutputReadSlot() {
    requests->readRegisters(Reg::OutputBlock, Reg::OutputBlockCount);
}

void Widget::PushButtonHeaterONSlot() {
    requests->writeRegister(Reg::Heater, 1);
}

void Widget::PushButtonHeaterOFFSlot() {
    requests->writeRegister(Reg::Heater, 0);
}

void Widget::PushButtonUnitSlot() {
    requests->writeRegister(Reg::UnitCommand, 0);
}

void Widget::PushButtonCalibrationApplySlot() {
    settings->applyCalibration();
}

void Widget::PushButtonOutputSlot() {
    settings->outputData();
}

void Widget::PushButtonCalculateSlot() {}

void Widget::PushButtonOutputApplySlot() {
    settings->applyOutput();
}

void Widget::AUTOUartInit() {
    linkControl->searchStep();
}

void Widget::PushButtonCloseSlot() {
    QApplication::quit();
}

void Widget::PushButtonLoadFileSlot() {}
void Widget::PushButtonSaveFileSlot() {}

void Widget::TimerDelaySlot() {
    timerDelay->stop();
}

void Widget::TimerClearSlot() {
    // Bytes that complete no reply are dropped by the line's reception gap (LineLink::trace).
}

void Widget::Timer1SSlot() {
    live->tick();
    // Heater count-down: after "on" was confirmed the buttons offer "on" again in time.
    heaterClock->tick();
}

void Widget::TimerTxDataSlot() {
    // Nothing places a frame in the queue (every request is written at once), so this has no effect.
    if (link->isOpen() && !shared->txQueue.isEmpty()) {
        link->line()->send(shared->txQueue.first())->deleteLater();
    }
}

void Widget::PushButtonReadInfoSlot() {
    requests->readDeviceInfo();
}

void Widget::CheckBoxSystemTimeSlot(int state) {
    heaterClock->systemTimeToggled(state);
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
