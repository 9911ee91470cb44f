#include "core/device/device_model.h"
#include "core/device/live_poll.h"
#include "core/device/readings.h"
#include "core/device/register_map.h"
#include "core/device/shared_data.h"
#include "core/modbus/modbus_frame.h"
#include "core/modbus/port_watch.h"
#include "gui/colours.h"
#include "gui/widget.h"
#include "ui_widget.h"

#include <QLabel>
#include <QString>
#include <QTextDocumentFragment>

void Widget::PushButtonReadSlot() {
    // The button text is the state: "Read" means stopped, "Stop" means polling.
    if (ui->pushButtonRead->text() == tr("Read")) {
        if (!link->isOpen()) {
            // Polling a port that is not open would only look busy: said, and left stopped.
            const QString text = tr("No device is linked, please press Link first!");
            appendMessage(text, kNoticeLine);
            showError(text);
            return;
        }
        ui->pushButtonRead->setText(tr("Stop"));
        autoRead = true;
    } else {
        ui->pushButtonRead->setText(tr("Read"));
        autoRead = false;
        readings->trendGap();
    }
}

void Widget::ReadHumitureOrder() {
    const LivePoll::Request poll =
        LivePoll::request(ui->comboBoxRegister->currentIndex(), ui->comboBoxNum->currentIndex());
    requests->poll(poll.start, poll.count);
    readings->pollSent();
}

void Widget::Timer1SSlot() {
    // A tick that would cross the reply to a button's request waits for the next one.
    // The last poll's window passed without a reading: a row says so.
    if (readings->pollAwaited() && (!link->line() || link->line()->idle())) {
        readings->record(ReadingStatus::NoReply);
    }
    // A tick while anything waits is skipped, not queued, so a slow unit cannot pile up polls.
    // Nothing is sent to a port that is closed (lost, or never opened), nor while the port
    // waits for the device at a new baud rate.
    if (autoRead && link->isOpen() && !link->awaitingNewRate() && link->line()->idle()) {
        ReadHumitureOrder();
    }
    // Readings that stopped coming while polling must not look current.
    readings->checkAge(autoRead);
    // Heater count-down: after "on" was confirmed the buttons offer "on" again in time.
    heaterClock->tick();
}
