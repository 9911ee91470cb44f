#include "gui/readings_view.h"

#include "core/base/clock.h"
#include "core/device/device_model.h"
#include "core/device/readings.h"
#include "core/device/shared_data.h"
#include "core/modbus/port_watch.h"
#include "core/storage/log_file.h"
#include "gui/colours.h"
#include "gui/message_log.h"
#include "gui/trend_window.h"

#include <QDir>
#include <QLabel>
#include <QRegularExpression>
#include <QTextDocumentFragment>

ReadingsView::ReadingsView(QWidget *window, QLabel *const labels[3], const SharedDataClass &shared,
                           MessageLog &log, std::function<qint64()> now, int pollMs)
    : window(window), labels{labels[0], labels[1], labels[2]}, shared(shared), log(log),
      nowMs(std::move(now)), pollMs(pollMs) {}

void ReadingsView::show(ReadingBlock block, ReadingSelection selection) {
    const bool hundredths = block == ReadingBlock::Hundredths;
    const auto decimals = static_cast<quint8>(Readings::decimals(hundredths));
    const auto value = [hundredths](int raw) {
        return static_cast<float>(Readings::scaled(raw, hundredths));
    };
    // The range last read from or set on the device (tenths of a degree), not the text being
    // typed in the limit fields.
    const float min = static_cast<float>(shared.rangeMin / 10.0);
    const float max = static_cast<float>(shared.rangeMax / 10.0);

    QString temperature = tr("Temperature:---");
    QString humidity = tr("Humidity:---");
    QString dewPoint = tr("DewTemp:---");
    const bool all = selection == ReadingSelection::All;
    if (all || selection == ReadingSelection::Temperature) {
        temperature = tr("Temperature:") + format(min, max, value(shared.temperatureRaw), decimals, false);
    }
    if (all || selection == ReadingSelection::Humidity) {
        humidity = tr("Humidity:") + format(Readings::HumidityMin, Readings::HumidityMax,
                                            value(shared.humidityRaw), decimals, true);
    }
    if (all || selection == ReadingSelection::DewPoint) {
        dewPoint = tr("DewTemp:") + format(min, max, value(shared.dewPointRaw), decimals, false);
    }
    // Always all three, so a single-value poll shows the other two as "---".
    texts[0] = temperature;
    texts[1] = humidity;
    texts[2] = dewPoint;
    for (int i = 0; i < 3; ++i) {
        labels[i]->setText(texts[i]);
    }
    const qint64 now = nowMs();
    if (stale) {
        const qint64 missed = qMax<qint64>(0, (now - lastReadingMs) / pollMs - 1);
        log.append(tr("Live readings resumed after %1 missed poll(s)").arg(missed), MessageLog::Notice);
        stale = false;
        for (QLabel *label : labels) {
            label->setEnabled(true);
        }
    }
    lastReadingMs = now;
}

void ReadingsView::checkAge(bool polling) {
    // Readings that stopped coming while polling must not look current.
    if (polling && lastReadingMs >= 0) {
        const qint64 age = nowMs() - lastReadingMs;
        if (age > 2 * pollMs) {
            showStale(age);
        }
    }
}

void ReadingsView::showStale(qint64 ageMs) {
    if (!stale) {
        stale = true;
        log.append(tr("Live readings stopped: no reply for %1").arg(PortWatch::gapText(ageMs)),
                   MessageLog::Notice);
    }
    // Greyed plain text with the age, so old values are not read as current.
    const QString age = tr(" (%1 s old)").arg(ageMs / 1000);
    for (int i = 0; i < 3; ++i) {
        labels[i]->setEnabled(false);
        labels[i]->setText(QTextDocumentFragment::fromHtml(texts[i]).toPlainText() + age);
    }
}

QString ReadingsView::format(float min, float max, float value, quint8 decimals, bool percent) const {
    // The colours of the window's palette (recolour follows a change).
    const QPalette &palette = window->palette();
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

void ReadingsView::recolour() {
    // A reading shown is a value and its three equivalents, in this order (format).
    const QPalette &palette = window->palette();
    const QString fonts[] = {Colours::htmlName(Colours::Role::Reading, palette),
                             Colours::htmlName(Colours::Role::Milliamps, palette),
                             Colours::htmlName(Colours::Role::Volts, palette),
                             Colours::htmlName(Colours::Role::Volts, palette)};
    static const QRegularExpression font(QStringLiteral("<font color=[^>]*>"));
    for (QLabel *label : labels) {
        QString text = label->text();
        int at = 0;
        for (const QString &name : fonts) {
            const QRegularExpressionMatch match = font.match(text, at);
            if (!match.hasMatch()) {
                break;
            }
            const QString tag = QStringLiteral("<font color=") + name + QLatin1Char('>');
            text.replace(match.capturedStart(), match.capturedLength(), tag);
            at = match.capturedStart() + tag.size();
        }
        if (text != label->text()) {
            label->setText(text);
        }
    }
}

void ReadingsView::reset() {
    lastReadingMs = -1;
    stale = false;
    for (QLabel *label : labels) {
        label->setEnabled(true);
    }
}

void ReadingsView::clear() {
    labels[0]->setText(tr("Temperature:---"));
    labels[1]->setText(tr("Humidity:---"));
    labels[2]->setText(tr("DewTemp:---"));
    for (QString &text : texts) {
        text.clear();
    }
}

void ReadingsView::record(ReadingStatus status, ReadingBlock block, ReadingSelection selection) {
    awaitingReply = false;
    if (status == ReadingStatus::Ok) {
        trend().addReading(Clock::now().toMSecsSinceEpoch(),
                           Trend::readingFrom(block, selection, shared.temperatureRaw, shared.humidityRaw,
                                              shared.dewPointRaw));
    } else {
        trendGap();
    }
    if (!file.isOpen()) {
        // One file a run that polls, named like the run's log.
        const QString path = createRunFile(QDir::currentPath() + QStringLiteral("/Data"),
                                           QStringLiteral("Readings"), QStringLiteral(".csv"), runStart);
        QString error;
        if (!file.open(path, &error)) {
            if (!fileSaid) {
                fileSaid = true;
                log.append(tr("The readings file cannot be written: %1").arg(error), MessageLog::Notice);
            }
            return;
        }
    }
    ReadingRow row;
    row.time = Clock::now().toUTC();
    row.address = shared.slaveAddress;
    row.status = status;
    row.rangeMin = static_cast<float>(shared.rangeMin / 10.0);
    row.rangeMax = static_cast<float>(shared.rangeMax / 10.0);
    if (status == ReadingStatus::Ok) {
        // In engineering units as the labels show them; values not polled stay empty.
        const bool hundredths = block == ReadingBlock::Hundredths;
        row.decimals = Readings::decimals(hundredths);
        const bool all = selection == ReadingSelection::All;
        if (all || selection == ReadingSelection::Temperature) {
            row.temperature = Readings::scaled(shared.temperatureRaw, hundredths);
        }
        if (all || selection == ReadingSelection::Humidity) {
            row.humidity = Readings::scaled(shared.humidityRaw, hundredths);
        }
        if (all || selection == ReadingSelection::DewPoint) {
            row.dewPoint = Readings::scaled(shared.dewPointRaw, hundredths);
        }
    }
    const int gap = file.unwrittenSinceLastRow();
    if (file.write(row)) {
        fileSaid = false;
        if (gap > 0) {
            // The hole in the file, explained where its failure was said.
            log.append(
                tr("The readings file is written again: %1 row(s) before this one are not in it").arg(gap),
                MessageLog::Notice);
        }
    } else if (!fileSaid) {
        // Said once; the poll goes on and the file is tried again with every reading.
        fileSaid = true;
        log.append(tr("The readings file cannot be written: %1: %2").arg(file.path(), file.lastError()),
                   MessageLog::Notice);
    }
}

TrendWindow &ReadingsView::trend() {
    if (!trendWindow) {
        // A top-level window of its own, deleted with the main window.
        trendWindow = new TrendWindow(window);
    }
    return *trendWindow;
}

void ReadingsView::showTrend() {
    trend().setDevice(Model::name(shared.deviceType), shared.slaveAddress, shared.serialNumber);
    trend().showAndRaise();
}

void ReadingsView::trendGap() {
    if (trendWindow) {
        trendWindow->addGap(Clock::now().toMSecsSinceEpoch());
    }
}

void ReadingsView::trendEvent(int event) {
    trend().addEvent(Clock::now().toMSecsSinceEpoch(), static_cast<TrendWindow::Event>(event));
}

void ReadingsView::trendUnit() {
    // A link to another unit starts a new recording.
    if (trendWindow && shared.serialNumber != trendSerial) {
        trendWindow->clear();
    }
    trendSerial = shared.serialNumber;
    if (trendWindow) {
        trendWindow->setDevice(Model::name(shared.deviceType), shared.slaveAddress, shared.serialNumber);
    }
}
