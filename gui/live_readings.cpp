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
#include <QSerialPort>
#include <QString>
#include <QTextDocumentFragment>

void Widget::PushButtonReadSlot() {
    // The button text is the state: "Read" means stopped, "Stop" means polling.
    if (ui->pushButtonRead->text() == tr("Read")) {
        if (!serialPort->isOpen()) {
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
        trendGap();
    }
}

void Widget::ReadHumitureOrder() {
    const LivePoll::Request poll =
        LivePoll::request(ui->comboBoxRegister->currentIndex(), ui->comboBoxNum->currentIndex());
    lastRegister = poll.start;
    shared->slaveAddress = deviceAddress();
    sendFrame(buildReadRequest(static_cast<quint8>(shared->slaveAddress & 0xFF), lastRegister, poll.count),
              false);
    pollAwaitingReply = true;
}

void Widget::Timer1SSlot() {
    // A tick that would cross the reply to a button's request waits for the next one.
    // The last poll's window passed without a reading: a row says so.
    if (pollAwaitingReply && requestQueue.idle(lineNowMs())) {
        recordReading(ReadingStatus::NoReply);
    }
    // A tick while anything waits is skipped, not queued, so a slow unit cannot pile up polls.
    // Nothing is sent to a port that is closed (lost, or never opened), nor while the port
    // waits for the device at a new baud rate.
    if (autoRead && serialPort->isOpen() && !rateChangeWait.isActive() && requestQueue.idle(lineNowMs())) {
        ReadHumitureOrder();
    }
    // Readings that stopped coming while polling must not look current.
    if (autoRead && lastReadingMs >= 0) {
        const qint64 age = lineNowMs() - lastReadingMs;
        if (age > 2 * timing.pollMs) {
            showReadingsStale(age);
        }
    }
    // Heater count-down: after "on" was confirmed the buttons offer "on" again in time.
    if (HeaterButtons::tick(&heaterCountdown)) {
        ui->pushButtonHeaterON->setEnabled(true);
        ui->pushButtonHeaterOFF->setEnabled(false);
    }
}

void Widget::showReadings(ReadingBlock block, ReadingSelection selection) {
    const bool hundredths = block == ReadingBlock::Hundredths;
    const auto decimals = static_cast<quint8>(Readings::decimals(hundredths));
    const auto value = [hundredths](int raw) {
        return static_cast<float>(Readings::scaled(raw, hundredths));
    };
    // The range last read from or set on the device (tenths of a degree), not the text being
    // typed in the limit fields.
    const float min = static_cast<float>(shared->rangeMin / 10.0);
    const float max = static_cast<float>(shared->rangeMax / 10.0);

    QString temperature = tr("Temperature:---");
    QString humidity = tr("Humidity:---");
    QString dewPoint = tr("DewTemp:---");
    const bool all = selection == ReadingSelection::All;
    if (all || selection == ReadingSelection::Temperature) {
        temperature =
            tr("Temperature:") + formatReading(min, max, value(shared->temperatureRaw), decimals, false);
    }
    if (all || selection == ReadingSelection::Humidity) {
        humidity = tr("Humidity:") + formatReading(Readings::HumidityMin, Readings::HumidityMax,
                                                   value(shared->humidityRaw), decimals, true);
    }
    if (all || selection == ReadingSelection::DewPoint) {
        dewPoint = tr("DewTemp:") + formatReading(min, max, value(shared->dewPointRaw), decimals, false);
    }
    // Always all three, so a single-value poll shows the other two as "---".
    ui->labelTemperature->setText(temperature);
    ui->labelHumidity->setText(humidity);
    ui->labelDewTemp->setText(dewPoint);
    readingTexts[0] = temperature;
    readingTexts[1] = humidity;
    readingTexts[2] = dewPoint;
    const qint64 now = lineNowMs();
    if (readingsStale) {
        const qint64 missed = qMax<qint64>(0, (now - lastReadingMs) / timing.pollMs - 1);
        appendMessage(tr("Live readings resumed after %1 missed poll(s)").arg(missed), kNoticeLine);
        readingsStale = false;
        for (QLabel *label : {ui->labelTemperature, ui->labelHumidity, ui->labelDewTemp}) {
            label->setEnabled(true);
        }
    }
    lastReadingMs = now;
}

void Widget::showReadingsStale(qint64 ageMs) {
    if (!readingsStale) {
        readingsStale = true;
        appendMessage(tr("Live readings stopped: no reply for %1").arg(PortWatch::gapText(ageMs)),
                      kNoticeLine);
    }
    // Greyed plain text with the age, so old values are not read as current.
    QLabel *const labels[] = {ui->labelTemperature, ui->labelHumidity, ui->labelDewTemp};
    const QString age = tr(" (%1 s old)").arg(ageMs / 1000);
    for (int i = 0; i < 3; ++i) {
        labels[i]->setEnabled(false);
        labels[i]->setText(QTextDocumentFragment::fromHtml(readingTexts[i]).toPlainText() + age);
    }
}

QString Widget::formatReading(float min, float max, float value, quint8 decimals, bool percent) const {
    // The colours of the window's palette (recolourReadings follows a change).
    const QPalette &palette = this->palette();
    const auto font = [&palette](Colours::Role role) {
        return QStringLiteral("<font color=") + Colours::htmlName(role, palette) + QLatin1Char('>');
    };
    QString text = font(Colours::Role::Reading) + QString::number(value, 'f', decimals);
    if (percent) {
        text += QStringLiteral("%  </font>");
    } else {
        text += QStringLiteral("\u2103  </font>");
    }
    const Readings::Analog signal = Readings::analog(min, max, value);
    // A range without span has no analog equivalent: "--", never inf or nan.
    const bool span = Readings::hasSpan(min, max);
    const auto number = [span](float v) { return span ? QString::number(v, 'f', 3) : QStringLiteral("--"); };
    text +=
        font(Colours::Role::Milliamps) + number(signal.milliamps) + tr("mA") + QStringLiteral("  </font>");
    text += font(Colours::Role::Volts) + number(signal.volts5) + tr("V") + QStringLiteral("  </font>");
    text += font(Colours::Role::Volts) + number(signal.volts10) + tr("V") + QStringLiteral("</font>");
    return text;
}

void Widget::showFirmwareVersion() {
    ui->labelVersions->setText(tr("Firmware version:") + Model::firmwareText(shared->firmwareVersion));
}

void Widget::fillChannelList(int count) {
    ui->comboBoxChannel->clear();
    for (int channel = 1; channel <= count; ++channel) {
        ui->comboBoxChannel->addItem(QString::number(channel));
    }
}
