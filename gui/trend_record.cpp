// The trend of the live readings: recorded from the moment polling starts, whether its window is
// open or not, and shown by the Trend button.
#include "core/base/clock.h"
#include "core/device/device_model.h"
#include "core/device/shared_data.h"
#include "gui/trend_window.h"
#include "gui/widget.h"
#include "ui_widget.h"

TrendWindow &Widget::trend() {
    if (!trendWindow) {
        // A top-level window of its own, deleted with this one.
        trendWindow = new TrendWindow(this);
    }
    return *trendWindow;
}

void Widget::showTrend() {
    trend().setDevice(Model::name(shared->deviceType), shared->slaveAddress, shared->serialNumber);
    trend().showAndRaise();
}

void Widget::trendReading(ReadingBlock block, ReadingSelection selection) {
    trend().addReading(Clock::now().toMSecsSinceEpoch(),
                       Trend::readingFrom(block, selection, shared->temperatureRaw, shared->humidityRaw,
                                          shared->dewPointRaw));
}

void Widget::trendGap() {
    if (trendWindow) {
        trendWindow->addGap(Clock::now().toMSecsSinceEpoch());
    }
}

void Widget::trendEvent(int event) {
    trend().addEvent(Clock::now().toMSecsSinceEpoch(), static_cast<TrendWindow::Event>(event));
}

void Widget::trendUnit() {
    // A link to another unit starts a new recording.
    if (trendWindow && shared->serialNumber != trendSerial) {
        trendWindow->clear();
    }
    trendSerial = shared->serialNumber;
    if (trendWindow) {
        trendWindow->setDevice(Model::name(shared->deviceType), shared->slaveAddress, shared->serialNumber);
    }
}
