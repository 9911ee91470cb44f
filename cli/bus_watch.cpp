#include "cli/bus_watch.h"

#include "core/base/backoff.h"
#include "core/base/clock.h"
#include "core/base/stop_signals.h"
#include "core/device/device_model.h"
#include "core/device/readings.h"
#include "core/device/register_map.h"
#include "core/device/reply_parser.h"
#include "core/device/shared_data.h"
#include "core/modbus/modbus_frame.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace {

QString seconds(qint64 ms) {
    return QString::number(static_cast<double>(ms) / 1000.0, 'f', 1);
}

} // namespace

BusWatch::BusWatch(CliLine &serialLine, const Settings &watchSettings)
    : line(serialLine), settings(watchSettings) {
    for (int address : settings.addresses) {
        WatchUnit unit;
        unit.address = address;
        units.append(unit);
    }
}

bool BusWatch::run(StopSignals &stop) {
    QElapsedTimer clock;
    clock.start();
    qint64 next = 0;
    bool overrunSaid = false;
    for (int round = 0; !stop.requested() && (settings.rounds == 0 || round < settings.rounds); ++round) {
        for (int i = 0; i < units.size() && !stop.requested(); ++i) {
            bool lost = false;
            readUnit(units[i], &lost);
            if (lost) {
                portLost(i + 1);
                if (!reopen(stop)) {
                    return anyAnswer;
                }
                // The time the port was away is no round that ran long: the rounds go on at
                // their next place in the schedule.
                next = clock.elapsed() / qMax<qint64>(settings.intervalMs, 1) * settings.intervalMs;
                break;
            }
        }
        if (settings.rounds != 0 && round + 1 >= settings.rounds) {
            break;
        }
        // The next round at its place in the schedule; one that ran long is said once, and the
        // rounds then follow each other without waiting.
        next += settings.intervalMs;
        const qint64 wait = next - clock.elapsed();
        if (wait < 0) {
            if (!overrunSaid) {
                say(QStringLiteral(
                        "a round of %1 unit(s) takes %2 s, longer than the interval of %3 s: rounds "
                        "follow each other without waiting")
                        .arg(units.size())
                        .arg(seconds(settings.intervalMs - wait), seconds(settings.intervalMs)));
                overrunSaid = true;
            }
            next = clock.elapsed();
        } else if (!BusWatch::wait(stop, wait)) {
            break;
        }
    }
    return anyAnswer;
}

void BusWatch::readUnit(WatchUnit &unit, bool *portLost) {
    const auto address = static_cast<quint8>(unit.address);
    SharedDataClass d;
    if (!unit.identified) {
        const Exchange::Result info =
            line.transact(buildReadRequest(address, Reg::SlaveAddress, Reg::DeviceInfoCount));
        if (info.outcome == Exchange::Outcome::PortError || info.outcome == Exchange::Outcome::Flood) {
            *portLost = true;
            return;
        }
        if (info.outcome != Exchange::Outcome::Answer) {
            noAnswer(unit,
                     info.outcome == Exchange::Outcome::Exception ? ReadingStatus::Exception
                                                                  : ReadingStatus::NoReply,
                     info);
            return;
        }
        Rx::decode(Reg::SlaveAddress, info.reply, d);
        unit.identified = true;
        unit.serial = d.serialNumber;
        unit.model = Model::name(d.deviceType);
        unit.firmware = Model::firmwareText(d.firmwareVersion);
        unit.rangeMin = static_cast<float>(d.rangeMin / 10.0);
        unit.rangeMax = static_cast<float>(d.rangeMax / 10.0);
        if (identified) {
            identified(unit);
        }
    }
    const Exchange::Result live =
        line.transact(buildReadRequest(address, Reg::LiveHundredths, Reg::LiveBlockCount));
    switch (live.outcome) {
    case Exchange::Outcome::Answer: {
        Rx::decode(Reg::LiveHundredths, live.reply, d);
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
    case Exchange::Outcome::Exception:
        noAnswer(unit, ReadingStatus::Exception, live);
        break;
    case Exchange::Outcome::Timeout:
        noAnswer(unit, ReadingStatus::NoReply, live);
        break;
    case Exchange::Outcome::Flood:
    case Exchange::Outcome::PortError:
        *portLost = true;
        break;
    }
}

ReadingRow BusWatch::rowFor(const WatchUnit &unit, ReadingStatus status) const {
    ReadingRow r;
    r.time = Clock::now().toUTC();
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
    anyAnswer = true;
    if (!unit.online) {
        unit.online = true;
        if (availability) {
            availability(unit);
        }
    }
}

void BusWatch::noAnswer(WatchUnit &unit, ReadingStatus status, const Exchange::Result &result) {
    ++unit.silentRounds;
    if (unit.silentRounds == 1 || unit.portWasLost) {
        // Said when it starts (or first after the port was lost), not every round.
        unit.portWasLost = false;
        QString why;
        if (status == ReadingStatus::Exception) {
            why = QStringLiteral("refused the read (exception code %1)").arg(result.exceptionCode);
        } else if (result.unmatchedBytes > 0) {
            why =
                QStringLiteral("%1 byte(s) came that answer nothing (noise, another function or a wrong CRC)")
                    .arg(result.unmatchedBytes);
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

bool BusWatch::reopen(StopSignals &stop) {
    QElapsedTimer gap;
    gap.start();
    say(QStringLiteral("port %1 lost: %2; reopening").arg(line.portName(), line.errorText()));
    Backoff backoff(settings.reopenFirstMs, settings.reopenMaxMs);
    // The rounds go on while the port is away, one an interval, none of them answered: the units
    // go offline after as many as a silent unit.
    qint64 roundsAway = 0;
    for (int attempt = 1;; ++attempt) {
        const qint64 attemptAt = gap.elapsed() + backoff.nextDelayMs();
        for (qint64 now = gap.elapsed(); now < attemptAt; now = gap.elapsed()) {
            const qint64 nextRound = (roundsAway + 1) * settings.intervalMs;
            if (!wait(stop, qMax<qint64>(0, qMin(attemptAt, nextRound) - now))) {
                return false;
            }
            for (; (roundsAway + 1) * settings.intervalMs <= gap.elapsed(); ++roundsAway) {
                for (WatchUnit &unit : units) {
                    ++unit.silentRounds;
                    wentOffline(unit);
                }
            }
        }
        QString error;
        if (line.open(settings.baud, &error)) {
            say(QStringLiteral("port %1 back after %2 s").arg(line.portName(), seconds(gap.elapsed())));
            return true;
        }
        say(QStringLiteral("reopening %1, attempt %2: %3").arg(line.portName()).arg(attempt).arg(error),
            true);
    }
}

void BusWatch::say(const QString &text, bool verboseOnly) {
    if (status) {
        status(text, verboseOnly);
    }
}

bool BusWatch::wait(StopSignals &stop, qint64 ms) {
    if (stop.requested()) {
        return false;
    }
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(ms), &loop, &QEventLoop::quit);
    QObject::connect(&stop, &StopSignals::stopRequested, &loop, &QEventLoop::quit);
    loop.exec();
    return !stop.requested();
}
