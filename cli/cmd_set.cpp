// zrctl set: the window's settings writes, each read back from the device and compared.
#include "cli/cli_context.h"
#include "core/base/clock.h"
#include "core/base/machine_text.h"
#include "core/device/device_model.h"
#include "core/device/register_map.h"
#include "core/device/settings_frames.h"
#include "core/device/value_rules.h"
#include "core/modbus/modbus_frame.h"

#include <QRegularExpression>

#include <functional>

namespace {

// Seconds a device clock may have run on between its write and its read back.
constexpr int kClockSlackSeconds = 3;

struct Write {
    QString name;           // the option, for messages
    QByteArray frame;       // the write request
    quint8 readAddress = 0; // where the value is read back from
    int readRate = 0;       // the rate it is read back at
    quint16 readStart = 0;
    quint16 readCount = 0;
    std::function<bool(const QVector<quint16> &)> matches; // the words read back are the ones written
    QString shown;                                         // the value as reported on success
    QString note = QString(); // said after the value in the text line, not in --json
};

// The words of a read reply.
QVector<quint16> wordsOf(const LineReply &reply, quint16 count) {
    QVector<quint16> words;
    for (int i = 0; i < count; ++i) {
        words.append(frameWordAt(reply.frame(), 3 + 2 * i));
    }
    return words;
}

QString wordsText(const QVector<quint16> &words) {
    QStringList parts;
    for (quint16 word : words) {
        parts << QString::number(word);
    }
    return parts.join(QLatin1Char(' '));
}

} // namespace

int cliSet(const CliContext &context) {
    QCommandLineParser &p = *context.parser;
    const auto given = [&p](const char *name) { return p.isSet(QString::fromLatin1(name)); };
    const auto value = [&p](const char *name) { return p.value(QString::fromLatin1(name)); };
    const auto address = static_cast<quint8>(context.address);
    QString error;
    QVector<Write> writes;
    int newAddress = context.address;
    int newRate = context.baud;

    // Every value is checked before anything is sent.
    if (given("range")) {
        const QStringList limits = value("range").split(QLatin1Char(':'));
        qint16 minTenths = 0;
        qint16 maxTenths = 0;
        if (limits.size() != 2 ||
            !ValueRules::parseRange(limits.at(0), limits.at(1), &minTenths, &maxTenths)) {
            cliError(QStringLiteral("--range: expected MIN:MAX in degrees, each from -3276.8 to 3276.7 and "
                                    "MIN below MAX (got '%1')")
                         .arg(value("range")));
            return CliArgs::Usage;
        }
        writes.append(
            {QStringLiteral("range"), Settings::rangeFrame(address, minTenths, maxTenths), address, 0,
             Reg::RangeMin, 2,
             [=](const QVector<quint16> &w) {
                 return static_cast<qint16>(w.at(0)) == minTenths &&
                        static_cast<qint16>(w.at(1)) == maxTenths;
             },
             QStringLiteral("%1 .. %2").arg(minTenths / 10.0, 0, 'f', 1).arg(maxTenths / 10.0, 0, 'f', 1)});
    }
    int channel = 1;
    if (given("channel") &&
        !CliArgs::number(QStringLiteral("channel"), value("channel"), 1, 2, &channel, &error)) {
        cliError(error);
        return CliArgs::Usage;
    }
    if (given("channel") && !given("output-data")) {
        cliError(QStringLiteral("--channel: goes with --output-data"));
        return CliArgs::Usage;
    }
    if (given("output-data")) {
        int code = 0;
        if (!CliArgs::outputData(QStringLiteral("output-data"), value("output-data"), &code, &error)) {
            cliError(error);
            return CliArgs::Usage;
        }
        writes.append({QStringLiteral("output-data"),
                       Settings::outputDataFrame(address, channel, static_cast<quint16>(code)), address, 0,
                       Settings::outputDataRegister(channel), 1,
                       [=](const QVector<quint16> &w) { return w.at(0) == code; },
                       QStringLiteral("channel %1: %2").arg(channel).arg(value("output-data"))});
    }
    if (given("heater")) {
        bool on = false;
        if (!CliArgs::onOff(QStringLiteral("heater"), value("heater"), &on, &error)) {
            cliError(error);
            return CliArgs::Usage;
        }
        writes.append({QStringLiteral("heater"), Settings::heaterFrame(address, on), address, 0, Reg::Heater,
                       1, [=](const QVector<quint16> &w) { return (w.at(0) != 0) == on; },
                       on ? QStringLiteral("on") : QStringLiteral("off")});
    }
    if (given("serial")) {
        QString serial = value("serial");
        if (serial == QLatin1String("AUTO")) {
            // Twelve decimal digits from the clock, as the window's AUTO button makes them.
            serial = MachineText::serialNumberFromClock(Clock::now());
        }
        static const QRegularExpression hex12(QStringLiteral("^[0-9A-Fa-f]{12}$"));
        if (!hex12.match(serial).hasMatch()) {
            cliError(QStringLiteral("--serial: expected AUTO or 12 hexadecimal digits (got '%1')")
                         .arg(value("serial")));
            return CliArgs::Usage;
        }
        const QVector<quint16> words = Settings::serialNumberWords(serial);
        writes.append({QStringLiteral("serial"), Settings::serialNumberFrame(address, serial), address, 0,
                       Reg::SerialNumber, Reg::SerialNumberCount,
                       [=](const QVector<quint16> &w) { return w == words; }, serial.toLower()});
    }
    if (given("clock")) {
        bool now = false;
        QDateTime when;
        if (!CliArgs::clock(QStringLiteral("clock"), value("clock"), &now, &when, &error)) {
            cliError(error);
            return CliArgs::Usage;
        }
        if (now) {
            const QDateTime local = Clock::now();
            when = QDateTime(local.date(), local.time(), Qt::UTC);
        }
        const QDate date = when.date();
        const QTime time = QTime(when.time().hour(), when.time().minute(), when.time().second());
        writes.append(
            {QStringLiteral("clock"), Settings::clockFrame(address, date, time), address, 0, Reg::ClockYear,
             7,
             [=](const QVector<quint16> &w) {
                 const QDateTime back =
                     ValueRules::deviceClockTime(w.at(0), w.at(1), w.at(2), w.at(3), w.at(4), w.at(5));
                 const qint64 ran = QDateTime(date, time, Qt::UTC).secsTo(back);
                 return back.isValid() && ran >= 0 && ran <= kClockSlackSeconds;
             },
             MachineText::dateTime(QDateTime(date, time, Qt::UTC), QStringLiteral("yyyy-MM-ddThh:mm:ss"))});
    }
    if (given("schedule")) {
        QTime start;
        int hours = 0;
        int seconds = 0;
        if (!CliArgs::schedule(QStringLiteral("schedule"), value("schedule"), &start, &hours, &seconds,
                               &error)) {
            cliError(error);
            return CliArgs::Usage;
        }
        const QVector<quint16> words{static_cast<quint16>(start.hour() * 60 + start.minute()),
                                     static_cast<quint16>(hours), static_cast<quint16>(seconds)};
        writes.append({QStringLiteral("schedule"),
                       Settings::scheduleFrame(address, start, static_cast<quint16>(hours),
                                               static_cast<quint16>(seconds)),
                       address, 0, Reg::HeaterStartMinutes, 3,
                       [=](const QVector<quint16> &w) { return w == words; }, value("schedule")});
    }
    // The line settings come last: after them the device answers elsewhere.
    if (given("new-baud")) {
        if (!CliArgs::baudRate(QStringLiteral("new-baud"), value("new-baud"), &newRate, &error)) {
            cliError(error);
            return CliArgs::Usage;
        }
        const quint16 code = Model::codeForBaudRate(newRate);
        // Read back at the new rate: the line says the rate the unit answers at now.
        writes.append(
            {QStringLiteral("new-baud"), Settings::baudCodeFrame(address, code), address, newRate,
             Reg::BaudCode, 1, [=](const QVector<quint16> &w) { return w.at(0) == code; },
             QString::number(newRate),
             QStringLiteral(" (the unit answers at %1 baud now, read back at that rate)").arg(newRate)});
    }
    if (given("broadcast") && !given("new-address")) {
        cliError(QStringLiteral("--broadcast: goes with --new-address"));
        return CliArgs::Usage;
    }
    if (given("new-address")) {
        if (!CliArgs::address(QStringLiteral("new-address"), value("new-address"), &newAddress, &error)) {
            cliError(error);
            return CliArgs::Usage;
        }
        // Through address 0 every unit on the line takes the new address: only when asked for.
        const quint8 target = given("broadcast") ? Settings::BroadcastAddress : address;
        writes.append(
            {QStringLiteral("new-address"), Settings::addressFrame(target, static_cast<quint16>(newAddress)),
             static_cast<quint8>(newAddress), newRate, Reg::SlaveAddress, 1,
             [=](const QVector<quint16> &w) { return w.at(0) == newAddress; }, QString::number(newAddress)});
    }
    if (writes.isEmpty()) {
        cliError(QStringLiteral("set: nothing to set; give --new-address, --new-baud, --serial, --range, "
                                "--output-data, --heater, --clock or --schedule"));
        return CliArgs::Usage;
    }

    CliLine line(context);
    if (line.isNetwork() && given("new-baud")) {
        if (given("new-address")) {
            cliError(
                QStringLiteral("--new-baud: over TCP the unit is out of reach after it (until the serial "
                               "server's rate is changed); set --new-address first, on its own"));
            return CliArgs::Usage;
        }
        // The serial server goes on at the rate it is set to: the unit, written, answers only once
        // the server is changed to match, so it is not read back.
        Write &baud = writes.last();
        baud.readRate = 0;
        baud.readCount = 0;
        baud.note =
            QStringLiteral(" (written, not read back: the unit answers at %1 baud now; change the serial "
                           "server's line rate to %1 to reach it)")
                .arg(newRate);
    }
    if (!line.open(context.baud, &error)) {
        cliError(error);
        return CliArgs::PortFailure;
    }
    QJsonObject done;
    int at = 0;
    // Each write, then its read back, then the next write.
    std::function<void(const CliDone &)> next = [&](const CliDone &finish) {
        if (at >= writes.size()) {
            if (context.json) {
                cliPrintJson(done);
            }
            finish(CliArgs::Done);
            return;
        }
        const Write &write = writes.at(at++);
        line.request(write.frame, [&, finish](const LineReply &written) {
            const int status = cliFailure(written, QStringLiteral("--%1").arg(write.name));
            if (status != CliArgs::Done) {
                finish(status);
                return;
            }
            if (write.readCount == 0) {
                // Written only (see above).
                if (context.json) {
                    done[write.name] = write.shown;
                } else {
                    cliPrint(QStringLiteral("%1 set: %2%3").arg(write.name, write.shown, write.note));
                }
                next(finish);
                return;
            }
            if (write.readRate != 0 && write.readRate != line.rate() && !line.open(write.readRate, &error)) {
                cliError(error);
                finish(CliArgs::PortFailure);
                return;
            }
            line.request(
                buildReadRequest(write.readAddress, write.readStart, write.readCount),
                [&, finish](const LineReply &read) {
                    const int back = cliFailure(read, QStringLiteral("reading back register 0x%1")
                                                          .arg(write.readStart, 4, 16, QLatin1Char('0')));
                    if (back != CliArgs::Done) {
                        finish(back);
                        return;
                    }
                    const QVector<quint16> words = wordsOf(read, write.readCount);
                    if (!write.matches(words)) {
                        cliError(QStringLiteral("--%1: the device reads back %2")
                                     .arg(write.name, wordsText(words)));
                        finish(CliArgs::Refused);
                        return;
                    }
                    if (context.json) {
                        done[write.name] = write.shown;
                    } else {
                        cliPrint(QStringLiteral("%1 set: %2%3").arg(write.name, write.shown, write.note));
                    }
                    next(finish);
                });
        });
    };
    return cliExec(next);
}
