// zrctl watch: the live readings of one unit or a whole bus, one row a unit a round, to standard
// output, a CSV file and an MQTT broker, through silent units and a port that goes and comes back.
#include "cli/bus_watch.h"
#include "cli/cli_context.h"
#include "core/base/clock.h"
#include "core/base/stop_signals.h"
#include "core/device/readings.h"

#include <QJsonObject>

#include <cmath>

namespace {

QString stamp() {
    return Clock::now().toUTC().toString(Qt::ISODateWithMs);
}

// One value and its three output signals as text; the signals "--" over a range without span.
QString valueText(const QString &name, double value, int decimals, float min, float max,
                  const QString &unit) {
    const Readings::Analog signal = Readings::analog(min, max, static_cast<float>(value));
    const auto fixed = [](float v) {
        return std::isfinite(v) ? QString::number(v, 'f', 3) : QStringLiteral("--");
    };
    return QStringLiteral("%1 %2%3 (%4 mA, %5 V, %6 V)")
        .arg(name, QString::number(value, 'f', decimals), unit, fixed(signal.milliamps), fixed(signal.volts5),
             fixed(signal.volts10));
}

QString rowText(const ReadingRow &row) {
    QString text = QStringLiteral("%1  address %2  %3")
                       .arg(row.time.toString(Qt::ISODateWithMs))
                       .arg(row.address)
                       .arg(readingStatusText(row.status));
    if (row.status != ReadingStatus::Ok) {
        return text;
    }
    if (row.temperature) {
        text +=
            QStringLiteral("  ") + valueText(QStringLiteral("temperature"), *row.temperature, row.decimals,
                                             row.rangeMin, row.rangeMax, QStringLiteral(" C"));
    }
    if (row.humidity) {
        text += QStringLiteral("  ") + valueText(QStringLiteral("humidity"), *row.humidity, row.decimals,
                                                 Readings::HumidityMin, Readings::HumidityMax,
                                                 QStringLiteral(" %"));
    }
    if (row.dewPoint) {
        text += QStringLiteral("  ") + valueText(QStringLiteral("dew point"), *row.dewPoint, row.decimals,
                                                 row.rangeMin, row.rangeMax, QStringLiteral(" C"));
    }
    return text;
}

// Where the rows go, each write checked: a failed one is said once at once, and counted.
struct RowOutputs {
    bool json = false;
    ReadingsFile *csv = nullptr;
    int unwrittenStdout = 0;
    bool csvFailureSaid = false;

    void write(const ReadingRow &row) {
        const bool printed = json ? cliPrintJson(readingJson(row)) : cliPrint(rowText(row));
        if (!printed && unwrittenStdout++ == 0) {
            cliError(QStringLiteral("%1 standard output cannot be written: rows go on to the other outputs")
                         .arg(stamp()));
        }
        if (csv && !csv->write(row) && !csvFailureSaid) {
            csvFailureSaid = true;
            cliError(QStringLiteral("%1 --csv: cannot write %2: %3; rows go on to the other outputs")
                         .arg(stamp(), csv->path(), csv->lastError()));
        }
    }
    int unwritten() const { return unwrittenStdout + (csv ? csv->unwritten() : 0); }
};

} // namespace

int cliWatch(const CliContext &context) {
    QCommandLineParser &parser = *context.parser;
    QString error;
    double interval = 1.0;
    int count = 0; // 0: until interrupted
    if ((parser.isSet(QStringLiteral("interval")) &&
         !CliArgs::seconds(QStringLiteral("interval"), parser.value(QStringLiteral("interval")), &interval,
                           &error)) ||
        (parser.isSet(QStringLiteral("count")) &&
         !CliArgs::number(QStringLiteral("count"), parser.value(QStringLiteral("count")), 1, 100000000,
                          &count, &error))) {
        cliError(error);
        return CliArgs::Usage;
    }
    ReadingsFile csv;
    if (parser.isSet(QStringLiteral("csv")) && !csv.open(parser.value(QStringLiteral("csv")), &error)) {
        cliError(QStringLiteral("--csv: %1").arg(error));
        return CliArgs::Usage;
    }

    CliLine line(context.port, context.verbose, context.logPath);
    if (!line.open(context.baud, &error)) {
        cliError(error);
        return CliArgs::PortFailure;
    }
    // Ctrl-C or SIGTERM end the watch after the reading under way; every row written stays written.
    StopSignals stop;

    BusWatch::Settings settings;
    settings.addresses = context.addresses.isEmpty() ? QVector<int>{context.address} : context.addresses;
    settings.baud = context.baud;
    settings.intervalMs = static_cast<qint64>(interval * 1000.0);
    settings.rounds = count;
    BusWatch watch(line, settings);

    RowOutputs outputs;
    outputs.json = context.json;
    outputs.csv = csv.isOpen() ? &csv : nullptr;
    watch.row = [&](const WatchUnit &, const ReadingRow &row) { outputs.write(row); };
    watch.status = [&](const QString &text, bool verboseOnly) {
        if (!verboseOnly || context.verbose) {
            cliError(stamp() + QStringLiteral(" ") + text);
        }
    };

    const bool anyAnswer = watch.run(stop);
    if (outputs.unwritten() > 0) {
        cliError(QStringLiteral("%1 row(s) could not be written").arg(outputs.unwritten()));
        return CliArgs::PortFailure;
    }
    return anyAnswer || stop.requested() ? CliArgs::Done : CliArgs::NoReply;
}
