// zrctl watch: live readings with their analog output equivalents, one line a reading.
#include "cli/cli_context.h"
#include "core/device/readings.h"
#include "core/device/register_map.h"
#include "core/device/shared_data.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};
bool stopRequested = false;
QEventLoop *waiting = nullptr;

void onSignal(int) {
    const char byte = 1;
    const ssize_t ignored = ::write(signalPipe[1], &byte, 1);
    (void)ignored;
}

QString fixed(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

// One value and its three output signals, as the CSV columns hold them.
QStringList columns(double value, int decimals, float min, float max) {
    const Readings::Analog signal = Readings::analog(min, max, static_cast<float>(value));
    return {fixed(value, decimals), fixed(signal.milliamps, 3), fixed(signal.volts5, 3),
            fixed(signal.volts10, 3)};
}

QJsonObject valueJson(const QStringList &c) {
    QJsonObject o;
    o[QStringLiteral("value")] = c.at(0).toDouble();
    o[QStringLiteral("mA")] = c.at(1).toDouble();
    o[QStringLiteral("V5")] = c.at(2).toDouble();
    o[QStringLiteral("V10")] = c.at(3).toDouble();
    return o;
}

QString valueText(const QString &name, const QStringList &c, const QString &unit) {
    return QStringLiteral("%1 %2%3 (%4 mA, %5 V, %6 V)").arg(name, c.at(0), unit, c.at(1), c.at(2), c.at(3));
}

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
    QFile csv(parser.value(QStringLiteral("csv")));
    if (parser.isSet(QStringLiteral("csv")) && !csv.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        cliError(QStringLiteral("--csv: cannot write %1: %2").arg(csv.fileName(), csv.errorString()));
        return CliArgs::Usage;
    }

    CliLine line(context.port, context.verbose, context.logPath);
    if (!line.open(context.baud, &error)) {
        cliError(error);
        return CliArgs::PortFailure;
    }
    // The output range the analog equivalents are computed over is the device's own.
    SharedDataClass d;
    int status = cliRead(line, context.address, Reg::SlaveAddress, Reg::DeviceInfoCount, d);
    if (status != CliArgs::Done) {
        return status;
    }
    const float min = static_cast<float>(d.rangeMin / 10.0);
    const float max = static_cast<float>(d.rangeMax / 10.0);

    // Ctrl-C ends the watch after the reading under way; every line written stays written.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) == 0) {
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, nullptr);
        ::sigaction(SIGTERM, &action, nullptr);
    }
    QSocketNotifier stop(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, [] {
        char byte;
        const ssize_t ignored = ::read(signalPipe[0], &byte, 1);
        (void)ignored;
        stopRequested = true;
        if (waiting) {
            waiting->quit();
        }
    });

    if (csv.isOpen()) {
        csv.write("time,temperature_c,temperature_ma,temperature_v5,temperature_v10,"
                  "humidity_pct,humidity_ma,humidity_v5,humidity_v10,"
                  "dewpoint_c,dewpoint_ma,dewpoint_v5,dewpoint_v10\n");
        csv.flush();
    }
    const int decimals = Readings::decimals(true);
    int taken = 0;
    QElapsedTimer clock;
    clock.start();
    qint64 next = 0;
    while (!stopRequested && (count == 0 || taken < count)) {
        const QString stamp = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
        QByteArray reply;
        status = cliRead(line, context.address, Reg::LiveHundredths, Reg::LiveBlockCount, d, &reply);
        if (status == CliArgs::PortFailure) {
            return status;
        }
        if (status == CliArgs::Done) {
            ++taken;
            const QStringList t = columns(Readings::scaled(d.temperatureRaw, true), decimals, min, max);
            const QStringList h = columns(Readings::scaled(d.humidityRaw, true), decimals,
                                          Readings::HumidityMin, Readings::HumidityMax);
            const QStringList p = columns(Readings::scaled(d.dewPointRaw, true), decimals, min, max);
            if (context.json) {
                QJsonObject o;
                o[QStringLiteral("time")] = stamp;
                o[QStringLiteral("temperature")] = valueJson(t);
                o[QStringLiteral("humidity")] = valueJson(h);
                o[QStringLiteral("dewPoint")] = valueJson(p);
                cliPrintJson(o);
            } else {
                cliPrint(
                    stamp + QStringLiteral("  ") +
                    valueText(QStringLiteral("temperature"), t, QStringLiteral(" C")) + QStringLiteral("  ") +
                    valueText(QStringLiteral("humidity"), h, QStringLiteral(" %")) + QStringLiteral("  ") +
                    valueText(QStringLiteral("dew point"), p, QStringLiteral(" C")));
            }
            if (csv.isOpen()) {
                csv.write((QStringList{stamp} + t + h + p).join(QLatin1Char(',')).toUtf8() + '\n');
                csv.flush();
            }
        }
        if (count != 0 && taken >= count) {
            break;
        }
        // The next reading at its place in the schedule, not after this one's reply time.
        next += static_cast<qint64>(interval * 1000.0);
        const qint64 wait = next - clock.elapsed();
        if (wait > 0 && !stopRequested) {
            QEventLoop loop;
            waiting = &loop;
            QTimer::singleShot(static_cast<int>(wait), &loop, &QEventLoop::quit);
            loop.exec();
            waiting = nullptr;
        }
    }
    return taken > 0 ? CliArgs::Done : CliArgs::NoReply;
}
