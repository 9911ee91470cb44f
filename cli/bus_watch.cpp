#include "cli/bus_watch.h"

#include "core/base/clock.h"
#include "core/base/stop_signals.h"
#include "core/device/device_model.h"
#include "core/device/readings.h"
#include "core/device/register_map.h"
#include "core/device/reply_parser.h"
#include "core/device/shared_data.h"
#include "core/modbus/modbus_frame.h"
#include "core/modbus/serial_ports.h"

namespace {

QString seconds(qint64 ms) {
    return QString::number(static_cast<double>(ms) / 1000.0, 'f', 1);
}

} // namespace

BusWatch::BusWatch(CliLine &serialLine, const Settings &watchSettings, QObject *parent)
    : QObject(parent), line(serialLine), settings(watchSettings) {
    for (int address : settings.addresses) {
        WatchUnit unit;
        unit.address = address;
        units.append(unit);
    }
    pause.setSingleShot(true);
    connect(&pause, &QTimer::timeout, this, &BusWatch::beginRound);
    connect(&awayRounds, &QTimer::timeout, this, [this] {
        // The rounds go on while the port is away, one an interval, none of them answered: the
        // units go offline after as many as a silent unit.
        for (WatchUnit &unit : units) {
            ++unit.silentRounds;
            wentOffline(unit);
        }
    });
    ModbusLine &modbus = line.modbus();
    connect(&modbus, &ModbusLine::portLost, this, [this](const QString &reason) { lostReason = reason; });
    connect(&modbus, &ModbusLine::portBack, this, &BusWatch::onBack);
    connect(&modbus, &ModbusLine::reopenFailed, this, [this](int attempt, const QString &error) {
        say(QStringLiteral("reopening %1, attempt %2: %3").arg(line.portName()).arg(attempt).arg(error),
            true);
    });
}

void BusWatch::start(StopSignals &stop, const std::function<void()> &done) {
    stopSignals = &stop;
    finished = done;
    connect(&stop, &StopSignals::stopRequested, this, &BusWatch::onStop);
    clock.start();
    beginRound();
}

void BusWatch::beginRound() {
    current = 0;
    readNext();
}

void BusWatch::readNext() {
    if (stopSignals->requested()) {
        end();
        return;
    }
    if (current >= units.size()) {
        roundDone();
        return;
    }
    WatchUnit &unit = units[current];
    if (unit.identified) {
        readLive(unit);
        return;
    }
    inFlight = true;
    line.request(buildReadRequest(static_cast<quint8>(unit.address), Reg::SlaveAddress, Reg::DeviceInfoCount),
                 [this, &unit](const LineReply &info) {
                     inFlight = false;
                     if (lineLost(info)) {
                         return;
                     }
                     if (info.outcome() != LineReply::Outcome::Answer) {
                         noAnswer(unit,
                                  info.outcome() == LineReply::Outcome::Exception ? ReadingStatus::Exception
                                                                                  : ReadingStatus::NoReply,
                                  info);
                         unitDone();
                         return;
                     }
                     SharedDataClass d;
                     Rx::decode(Reg::SlaveAddress, info.frame(), d);
                     unit.identified = true;
                     unit.serial = d.serialNumber;
                     unit.model = Model::name(d.deviceType);
                     unit.firmware = Model::firmwareText(d.firmwareVersion);
                     unit.rangeMin = static_cast<float>(d.rangeMin / 10.0);
                     unit.rangeMax = static_cast<float>(d.rangeMax / 10.0);
                     if (identified) {
                         identified(unit);
                     }
                     readLive(unit);
                 });
}

void BusWatch::readLive(WatchUnit &unit) {
    inFlight = true;
    line.request(
        buildReadRequest(static_cast<quint8>(unit.address), Reg::LiveHundredths, Reg::LiveBlockCount),
        [this, &unit](const LineReply &live) {
            inFlight = false;
            if (lineLost(live)) {
                return;
            }
            switch (live.outcome()) {
            case LineReply::Outcome::Answer: {
                SharedDataClass d;
                Rx::decode(Reg::LiveHundredths, live.frame(), d);
                if (livePolled) {
                    livePolled(unit, live.frame());
                }
                answered(unit);
                ReadingRow r = rowFor(unit, ReadingStatus::Ok);
                r.temperature = Readings::scaled(d.temperatureRaw, true);
                r.humidity = Readings::scaled(d.humidityRaw, true);
                r.dewPoint = Readings::scaled(d.dewPointRaw, true);
                if (row) {
                    row(unit, r);
                }
                break;
            }
            case LineReply::Outcome::Exception:
                noAnswer(unit, ReadingStatus::Exception, live);
                break;
            default:
                noAnswer(unit, ReadingStatus::NoReply, live);
                break;
            }
            unitDone();
        });
}

void BusWatch::unitDone() {
    ++current;
    readNext();
}

void BusWatch::roundDone() {
    if (settings.rounds != 0 && round + 1 >= settings.rounds) {
        end();
        return;
    }
    ++round;
    // The next round at its place in the schedule; one that ran long is said once, and the
    // rounds then follow each other without waiting.
    next += settings.intervalMs;
    const qint64 wait = next - clock.elapsed();
    if (wait < 0) {
        if (!overrunSaid) {
            say(QStringLiteral("a round of %1 unit(s) takes %2 s, longer than the interval of %3 s: rounds "
                               "follow each other without waiting")
                    .arg(units.size())
                    .arg(seconds(settings.intervalMs - wait), seconds(settings.intervalMs)));
            overrunSaid = true;
        }
        next = clock.elapsed();
        beginRound();
    } else {
        pause.start(static_cast<int>(wait));
    }
}

void BusWatch::onStop() {
    // The reading under way ends first; a wait for the next round or for the port does not.
    if (!inFlight) {
        end();
    }
}

void BusWatch::end() {
    if (ended) {
        return;
    }
    ended = true;
    pause.stop();
    awayRounds.stop();
    if (lost) {
        line.modbus().close();
    }
    if (finished) {
        finished();
    }
}

bool BusWatch::lineLost(const LineReply &reply) {
    const LineReply::Outcome outcome = reply.outcome();
    if (outcome == LineReply::Outcome::Answer || outcome == LineReply::Outcome::Exception ||
        outcome == LineReply::Outcome::NoReply) {
        return false;
    }
    portLost(current + 1);
    lost = true;
    // The line says why, and begins to look for the port, once this reply's end has returned.
    QTimer::singleShot(0, this, &BusWatch::reopening);
    return true;
}

void BusWatch::reopening() {
    if (ended) {
        return;
    }
    away.start();
    awayRounds.start(static_cast<int>(qMax<qint64>(settings.intervalMs, 1)));
    if (lostReason.isEmpty()) {
        // A flooded line closes without a failure of its own.
        lostReason = QString::fromLatin1(lineFailureText({}, false));
    }
    say(QStringLiteral("port %1 lost: %2; reopening").arg(line.portName(), lostReason));
    lostReason.clear();
    if (line.modbus().state() != ModbusLine::State::Lost) {
        line.modbus().watch();
    }
    if (stopSignals->requested()) {
        end();
    }
}

void BusWatch::onBack() {
    if (!lost || ended) {
        return;
    }
    lost = false;
    awayRounds.stop();
    say(QStringLiteral("port %1 back after %2 s").arg(line.portName(), seconds(away.elapsed())));
    // The time the port was away is no round that ran long: the rounds go on at their next
    // place in the schedule.
    next = clock.elapsed() / qMax<qint64>(settings.intervalMs, 1) * settings.intervalMs;
    roundDone();
}

ReadingRow BusWatch::rowFor(const WatchUnit &unit, ReadingStatus status) const {
    ReadingRow r;
    r.time = Clock::nowUtc();
    r.address = unit.address;
    r.status = status;
    r.decimals = Readings::decimals(true);
    r.rangeMin = unit.rangeMin;
    r.rangeMax = unit.rangeMax;
    return r;
}

void BusWatch::answered(WatchUnit &unit) {
    if (unit.silentRounds > 0 && unit.answeredOnce && !unit.portWasLost) {
        say(QStringLiteral("address %1: answers again after %2 round(s) without a reply")
                .arg(unit.address)
                .arg(unit.silentRounds));
    }
    unit.silentRounds = 0;
    unit.portWasLost = false;
    unit.answeredOnce = true;
    answeredAny = true;
    if (!unit.online) {
        unit.online = true;
        if (availability) {
            availability(unit);
        }
    }
}

void BusWatch::noAnswer(WatchUnit &unit, ReadingStatus status, const LineReply &reply) {
    ++unit.silentRounds;
    if (unit.silentRounds == 1 || unit.portWasLost) {
        // Said when it starts (or first after the port was lost), not every round.
        unit.portWasLost = false;
        QString why;
        if (status == ReadingStatus::Exception) {
            why = QStringLiteral("refused the read (exception code %1)").arg(reply.exceptionCode());
        } else if (reply.unmatchedBytes() > 0) {
            why =
                QStringLiteral("%1 byte(s) came that answer nothing (noise, another function or a wrong CRC)")
                    .arg(reply.unmatchedBytes());
        } else {
            why = QStringLiteral("no reply");
        }
        say(QStringLiteral("address %1: %2").arg(unit.address).arg(why));
    }
    wentOffline(unit);
    if (row) {
        row(unit, rowFor(unit, status));
    }
}

void BusWatch::wentOffline(WatchUnit &unit) {
    if (unit.silentRounds == OfflineRounds && unit.online) {
        unit.online = false;
        // It may come back as another unit: read who it is again.
        unit.identified = false;
        if (availability) {
            availability(unit);
        }
    }
}

void BusWatch::portLost(int fromUnit) {
    // The unit whose read failed and every unit after it in this round, for which the round
    // counts as one without an answer.
    for (int i = fromUnit - 1; i < units.size(); ++i) {
        ++units[i].silentRounds;
        wentOffline(units[i]);
        if (row) {
            row(units[i], rowFor(units[i], ReadingStatus::PortLost));
        }
    }
    for (WatchUnit &unit : units) {
        unit.identified = false;
        unit.portWasLost = true;
    }
}

void BusWatch::say(const QString &text, bool verboseOnly) {
    if (status) {
        status(text, verboseOnly);
    }
}
