#include "gui/live_polling.h"

#include "core/device/live_poll.h"
#include "gui/error_box.h"
#include "gui/line_link.h"
#include "gui/message_log.h"
#include "gui/readings_view.h"
#include "gui/request_sender.h"
#include "ui_widget.h"

LivePolling::LivePolling(QWidget *window, Ui::Widget *ui, MessageLog &log, LineLink &link,
                         RequestSender &requests, ReadingsView &readings)
    : window(window), ui(ui), log(log), link(link), requests(requests), readings(readings) {}

void LivePolling::toggle() {
    // The button text is the state: "Read" means stopped, "Stop" means polling.
    if (ui->pushButtonRead->text() == tr("Read")) {
        if (!link.isOpen()) {
            // Polling a port that is not open would only look busy: said, and left stopped.
            const QString text = tr("No device is linked, please press Link first!");
            log.append(text, MessageLog::Notice);
            ErrorBox::show(window, text);
            return;
        }
        ui->pushButtonRead->setText(tr("Stop"));
        polling = true;
    } else {
        stop();
        readings.trendGap();
    }
}

void LivePolling::stop() {
    ui->pushButtonRead->setText(tr("Read"));
    polling = false;
}

void LivePolling::pollNow() {
    const LivePoll::Request poll =
        LivePoll::request(ui->comboBoxRegister->currentIndex(), ui->comboBoxNum->currentIndex());
    requests.poll(poll.start, poll.count);
    readings.pollSent();
}

void LivePolling::tick() {
    // A tick that would cross the reply to a button's request waits for the next one.
    // The last poll's window passed without a reading: a row says so.
    const ModbusLine *line = link.line();
    if (readings.pollAwaited() && (!line || line->idle())) {
        readings.record(ReadingStatus::NoReply);
    }
    // A tick while anything waits is skipped, not queued, so a slow unit cannot pile up polls.
    // Nothing is sent to a port that is closed (lost, or never opened), nor while the port
    // waits for the device at a new baud rate.
    if (polling && link.isOpen() && !link.awaitingNewRate() && link.line()->idle()) {
        pollNow();
    }
    // Readings that stopped coming while polling must not look current.
    readings.checkAge(polling);
}
