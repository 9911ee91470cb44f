// The outcome of every live poll: a row of the run's readings file, and a reading or a break of the
// trend.
#include "core/base/clock.h"
#include "core/device/readings.h"
#include "core/device/readings_file.h"
#include "core/device/shared_data.h"
#include "core/storage/log_file.h"
#include "gui/widget.h"

#include <QDir>

void Widget::recordReading(ReadingStatus status, ReadingBlock block, ReadingSelection selection) {
    pollAwaitingReply = false;
    if (status == ReadingStatus::Ok) {
        trendReading(block, selection);
    } else {
        trendGap();
    }
    if (!readingsFile.isOpen()) {
        // One file a run that polls, named like the run's log.
        const QString path = createRunFile(QDir::currentPath() + QStringLiteral("/Data"),
                                           QStringLiteral("Readings"), QStringLiteral(".csv"), runStart);
        QString error;
        if (!readingsFile.open(path, &error)) {
            if (!readingsFileSaid) {
                readingsFileSaid = true;
                appendMessage(tr("The readings file cannot be written: %1").arg(error), kNoticeLine);
            }
            return;
        }
    }
    ReadingRow row;
    row.time = Clock::now().toUTC();
    row.address = shared->slaveAddress;
    row.status = status;
    row.rangeMin = static_cast<float>(shared->rangeMin / 10.0);
    row.rangeMax = static_cast<float>(shared->rangeMax / 10.0);
    if (status == ReadingStatus::Ok) {
        // In engineering units as the labels show them; values not polled stay empty.
        const bool hundredths = block == ReadingBlock::Hundredths;
        row.decimals = Readings::decimals(hundredths);
        const bool all = selection == ReadingSelection::All;
        if (all || selection == ReadingSelection::Temperature) {
            row.temperature = Readings::scaled(shared->temperatureRaw, hundredths);
        }
        if (all || selection == ReadingSelection::Humidity) {
            row.humidity = Readings::scaled(shared->humidityRaw, hundredths);
        }
        if (all || selection == ReadingSelection::DewPoint) {
            row.dewPoint = Readings::scaled(shared->dewPointRaw, hundredths);
        }
    }
    if (readingsFile.write(row)) {
        readingsFileSaid = false;
    } else if (!readingsFileSaid) {
        // Said once; the poll goes on and the file is tried again with every reading.
        readingsFileSaid = true;
        appendMessage(tr("The readings file cannot be written: %1: %2")
                          .arg(readingsFile.path(), readingsFile.lastError()),
                      kNoticeLine);
    }
}
