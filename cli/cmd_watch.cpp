// zrctl watch: the live readings of one unit or a whole bus, one row a unit a round, to standard
// output, a CSV file and an MQTT broker, through silent units and a port that goes and comes back.
#include "cli/bus_watch.h"
#include "cli/cli_context.h"
#include "cli/mqtt_publisher.h"
#include "cli/serve_bridge.h"
#include "core/base/clock.h"
#include "core/base/stop_signals.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include <cmath>
#include <memory>

namespace {

QString stamp() {
    return Clock::nowUtc().toString(Qt::ISODateWithMs);
}

// A row as a line of text: the file's cells with their names and units; signals "--" where the
// range has no span.
QString rowText(const ReadingRow &row) {
    const QStringList cells = readingCells(row);
    QString text = QStringLiteral("%1  address %2  %3").arg(cells.at(0), cells.at(1), cells.at(2));
    static const char *const names[] = {"temperature", "humidity", "dew point"};
    static const char *const units[] = {" C", " %", " C"};
    const auto signal = [](const QString &cell) { return cell.isEmpty() ? QStringLiteral("--") : cell; };
    for (int q = 0; q < 3; ++q) {
        const int at = 3 + 4 * q;
        if (!cells.at(at).isEmpty()) {
            text += QStringLiteral("  %1 %2%3 (%4 mA, %5 V, %6 V)")
                        .arg(QLatin1String(names[q]), cells.at(at), QLatin1String(units[q]),
                             signal(cells.at(at + 1)), signal(cells.at(at + 2)), signal(cells.at(at + 3)));
        }
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
        if (!csv) {
            return;
        }
        const int gap = csv->unwrittenSinceLastRow();
        if (!csv->write(row)) {
            if (!csvFailureSaid) {
                csvFailureSaid = true;
                cliError(QStringLiteral("%1 --csv: cannot write %2: %3; rows go on to the other outputs")
                             .arg(stamp(), csv->path(), csv->lastError()));
            }
        } else if (gap > 0) {
            // The hole in the file, explained.
            csvFailureSaid = false;
            cliError(QStringLiteral("%1 --csv: %2 written again; %3 row(s) before this one are not in it")
                         .arg(stamp(), csv->path())
                         .arg(gap));
        }
    }
    int unwritten() const { return unwrittenStdout + (csv ? csv->unwritten() : 0); }
};

// The broker password: the first line of `path`, a file its owner's alone (as ssh wants of a
// private key). A systemd credential is exempt: systemd keeps its directory to the service, and
// the ACL through which it lets the service's user read it shows as group bits.
bool readPassword(const QString &source, const QString &path, QString *password, QString *error) {
    const QFileInfo info(path);
    const QString credentials = qEnvironmentVariable("CREDENTIALS_DIRECTORY");
    const bool credential = !credentials.isEmpty() && info.exists() &&
                            info.canonicalPath() == QFileInfo(credentials).canonicalFilePath();
    const QFileDevice::Permissions others =
        QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther | QFileDevice::WriteOther;
    if (!credential && info.exists() && (info.permissions() & others)) {
        *error = QStringLiteral("%1: %2 is open to others than its owner: chmod 600 %2").arg(source, path);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: cannot read %2: %3").arg(source, path, file.errorString());
        return false;
    }
    *password = QString::fromUtf8(file.readLine()).remove(QRegularExpression(QStringLiteral("[\\r\\n]+$")));
    return true;
}

// The MQTT options: false with one line in *error (nothing is sent then).
bool mqttSettings(const QCommandLineParser &parser, MqttSettings *out, QString *error) {
    const auto opt = [&](const char *name) { return parser.value(QString::fromLatin1(name)); };
    const auto isSet = [&](const char *name) { return parser.isSet(QString::fromLatin1(name)); };
    if (!isSet("mqtt")) {
        for (const char *name : {"mqtt-ca", "mqtt-user", "mqtt-password-file", "mqtt-topic", "mqtt-client-id",
                                 "mqtt-queue", "ha-discovery", "ha-prefix"}) {
            if (isSet(name)) {
                *error = QStringLiteral("--%1 goes with --mqtt").arg(QLatin1String(name));
                return false;
            }
        }
        return true;
    }
    if (!out->setUrl(opt("mqtt"), error)) {
        return false;
    }
    if (isSet("mqtt-ca")) {
        if (!out->tls) {
            *error = QStringLiteral("--mqtt-ca goes with an mqtts:// broker");
            return false;
        }
        out->caFile = opt("mqtt-ca");
    }
    out->user = opt("mqtt-user");
    // The password file given, else the service's credential, else the environment.
    const QString credentials = qEnvironmentVariable("CREDENTIALS_DIRECTORY");
    const QString credential =
        credentials.isEmpty() ? QString() : credentials + QStringLiteral("/mqtt-password");
    if (isSet("mqtt-password-file")) {
        if (!readPassword(QStringLiteral("--mqtt-password-file"), opt("mqtt-password-file"), &out->password,
                          error)) {
            return false;
        }
    } else if (!credential.isEmpty() && QFileInfo::exists(credential)) {
        if (!readPassword(QStringLiteral("credential mqtt-password"), credential, &out->password, error)) {
            return false;
        }
    } else {
        out->password = qEnvironmentVariable("ZRCTL_MQTT_PASSWORD");
    }
    // Topics under $ are the broker's own, where a client may not publish.
    const auto prefix = [&](const char *name, QString *value) {
        static const QRegularExpression form(QStringLiteral("^[^/#+$\\s][^#+\\s]*[^/#+\\s]$|^[^/#+$\\s]$"));
        if (!isSet(name)) {
            return true;
        }
        if (!form.match(opt(name)).hasMatch() || opt(name).size() > 256) {
            *error =
                QStringLiteral("--%1: a topic prefix of at most 256 characters without + or #, spaces, a "
                               "leading $, or a leading or trailing /, not '%2'")
                    .arg(QLatin1String(name), opt(name));
            return false;
        }
        *value = opt(name);
        return true;
    };
    if (isSet("ha-prefix") && !isSet("ha-discovery")) {
        *error = QStringLiteral("--ha-prefix goes with --ha-discovery");
        return false;
    }
    if (!prefix("mqtt-topic", &out->topicPrefix) || !prefix("ha-prefix", &out->discoveryPrefix)) {
        return false;
    }
    if (isSet("mqtt-client-id")) {
        if (opt("mqtt-client-id").isEmpty() || opt("mqtt-client-id").toUtf8().size() > 64) {
            *error = QStringLiteral("--mqtt-client-id: 1 to 64 characters");
            return false;
        }
        out->clientId = opt("mqtt-client-id");
    }
    if (isSet("mqtt-queue") && !CliArgs::number(QStringLiteral("mqtt-queue"), opt("mqtt-queue"), 0, 10000000,
                                                &out->queueLimit, error)) {
        return false;
    }
    return true;
}

// The units as the dashboards know them. Each address publishes under its serial number, or
// under SERIAL-aADDRESS when an address read before it in this run has that serial already (a
// blank serial, units never given one): two units never share topics. The units a former run left
// online (retained on the broker) and that have not answered within the first rounds are said
// offline, as is every unit at a normal end.
class DashboardUnits {
public:
    DashboardUnits(MqttPublisher &publisher, const QVector<int> &addresses)
        : mqtt(publisher), lastAddress(addresses.last()) {
        mqtt.retainedAvailability = [this](const QString &topic, bool isOnline) {
            if (!isOnline) {
                leftOnline.remove(topic);
            } else if (!online.contains(topic)) {
                if (swept) {
                    mqtt.publishAvailability(topic, false);
                } else {
                    leftOnline.insert(topic);
                }
            }
        };
    }

    // The topic of a unit just identified.
    QString identified(const WatchUnit &unit) {
        QString topic = unit.serial;
        for (auto it = topics.cbegin(); it != topics.cend(); ++it) {
            if (it.key() != unit.address && it.value() == unit.serial) {
                topic = QStringLiteral("%1-a%2").arg(unit.serial).arg(unit.address);
                if (!sharedSaid.contains(topic)) {
                    sharedSaid.insert(topic);
                    cliError(QStringLiteral("%1 address %2 has the serial number %3 of address %4: published "
                                            "as %5")
                                 .arg(stamp())
                                 .arg(unit.address)
                                 .arg(unit.serial)
                                 .arg(it.key())
                                 .arg(topic));
                }
                break;
            }
        }
        const QString before = topics.value(unit.address);
        if (!before.isEmpty() && before != topic && online.remove(before)) {
            // Another unit answers at this address now.
            mqtt.publishAvailability(before, false);
        }
        topics.insert(unit.address, topic);
        return topic;
    }
    // An empty string for a unit never identified.
    QString topicOf(const WatchUnit &unit) const { return topics.value(unit.address); }

    void availability(const WatchUnit &unit) {
        const QString topic = topicOf(unit);
        if (topic.isEmpty()) {
            return;
        }
        if (unit.online) {
            online.insert(topic);
            leftOnline.remove(topic);
        } else {
            online.remove(topic);
        }
        mqtt.publishAvailability(topic, unit.online);
    }
    // After as many rounds as a silent unit takes to go offline, what a former run left online
    // and has not answered is offline.
    void rowWritten(const WatchUnit &unit) {
        if (!swept && unit.address == lastAddress && ++rounds >= BusWatch::OfflineRounds) {
            swept = true;
            for (const QString &topic : qAsConst(leftOnline)) {
                mqtt.publishAvailability(topic, false);
            }
            leftOnline.clear();
        }
    }
    // A normal end: every unit goes offline.
    void end() {
        for (const QString &topic : online + leftOnline) {
            mqtt.publishAvailability(topic, false);
        }
        online.clear();
        leftOnline.clear();
    }

private:
    MqttPublisher &mqtt;
    const int lastAddress;
    QHash<int, QString> topics;
    QSet<QString> online;
    QSet<QString> leftOnline;
    QSet<QString> sharedSaid;
    int rounds = 0;
    bool swept = false;
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
    MqttSettings mqttOptions;
    if (!mqttSettings(parser, &mqttOptions, &error)) {
        cliError(error);
        return CliArgs::Usage;
    }
    ServeBridge::Settings serveOptions;
    if (!ServeBridge::parseOptions(parser, &serveOptions, &error)) {
        cliError(error);
        return CliArgs::Usage;
    }
    const bool discovery = parser.isSet(QStringLiteral("ha-discovery"));
    ReadingsFile csv;
    if (parser.isSet(QStringLiteral("csv")) && !csv.open(parser.value(QStringLiteral("csv")), &error)) {
        cliError(QStringLiteral("--csv: %1").arg(error));
        return CliArgs::Usage;
    }

    // The broker first: one that refuses the credentials ends the run before the line is used.
    const QVector<int> addresses =
        context.addresses.isEmpty() ? QVector<int>{context.address} : context.addresses;
    std::unique_ptr<MqttPublisher> mqtt;
    std::unique_ptr<DashboardUnits> dashboard;
    if (!mqttOptions.host.isEmpty()) {
        mqtt = std::make_unique<MqttPublisher>(mqttOptions);
        mqtt->status = [](const QString &text) { cliError(stamp() + QStringLiteral(" ") + text); };
        dashboard = std::make_unique<DashboardUnits>(*mqtt, addresses);
    }

    CliLine line(context);
    line.setSayLosses(false);
    // Ctrl-C or SIGTERM end the watch after the reading under way; every row written stays written.
    StopSignals stop;

    BusWatch::Settings settings;
    settings.addresses = addresses;
    settings.baud = context.baud;
    settings.intervalMs = static_cast<qint64>(interval * 1000.0);
    settings.rounds = count;
    BusWatch watch(line, settings);

    // Modbus TCP clients, served on the same line as the polls.
    std::unique_ptr<ServeBridge> serve;
    if (!serveOptions.listen.isEmpty()) {
        serveOptions.addresses = addresses;
        serve = std::make_unique<ServeBridge>(line, serveOptions);
        serve->status = [&](const QString &text, bool verboseOnly) {
            if (!verboseOnly || context.verbose) {
                cliError(stamp() + QStringLiteral(" ") + text);
            }
        };
        if (!serve->listen(&error)) {
            cliError(error);
            return CliArgs::PortFailure;
        }
        watch.livePolled = [&](const WatchUnit &unit, const QByteArray &frame) {
            serve->livePolled(unit.address, frame);
        };
    }

    RowOutputs outputs;
    outputs.json = context.json;
    outputs.csv = csv.isOpen() ? &csv : nullptr;
    watch.row = [&](const WatchUnit &unit, const ReadingRow &row) {
        outputs.write(row);
        if (!mqtt) {
            return;
        }
        // A unit publishes its readings once it is known by its serial number.
        if (row.status == ReadingStatus::Ok && !dashboard->topicOf(unit).isEmpty()) {
            QJsonObject state = readingJson(row);
            state[QStringLiteral("serial")] = unit.serial;
            state[QStringLiteral("model")] = unit.model;
            state[QStringLiteral("firmware")] = unit.firmware;
            mqtt->publishState(dashboard->topicOf(unit), state);
        }
        dashboard->rowWritten(unit);
    };
    // A reading stays valid on a dashboard for three intervals, at least a minute.
    const int expireSeconds = qMax(60, static_cast<int>(std::ceil(3.0 * interval)));
    watch.identified = [&](const WatchUnit &unit) {
        if (mqtt) {
            const QString topic = dashboard->identified(unit);
            if (discovery) {
                mqtt->publishDiscovery(topic, unit.serial, unit.model, unit.firmware, expireSeconds);
            }
        }
    };
    watch.availability = [&](const WatchUnit &unit) {
        if (mqtt) {
            dashboard->availability(unit);
        }
    };
    watch.status = [&](const QString &text, bool verboseOnly) {
        if (!verboseOnly || context.verbose) {
            cliError(stamp() + QStringLiteral(" ") + text);
        }
    };

    const auto ended = [&]() {
        if (outputs.unwritten() > 0) {
            cliError(QStringLiteral("%1 row(s) could not be written").arg(outputs.unwritten()));
            return int(CliArgs::PortFailure);
        }
        if (mqtt && mqtt->failed()) {
            return int(CliArgs::PortFailure);
        }
        return watch.anyAnswer() || stop.requested() ? int(CliArgs::Done) : int(CliArgs::NoReply);
    };
    return cliExec([&](const CliDone &finish) {
        // The end: a normal one says every unit offline, and the broker is left cleanly.
        const auto leave = [&, finish](int status) {
            if (!mqtt) {
                finish(status);
                return;
            }
            mqtt->stop(2000, [finish, status] { finish(status); });
        };
        const auto run = [&, finish, leave] {
            QString lineError;
            if (!line.open(context.baud, &lineError)) {
                cliError(lineError);
                leave(CliArgs::PortFailure);
                return;
            }
            watch.start(stop, [&, finish] {
                if (!mqtt) {
                    finish(ended());
                    return;
                }
                dashboard->end();
                mqtt->stop(2000, [&ended, finish] { finish(ended()); });
            });
        };
        if (!mqtt) {
            run();
            return;
        }
        mqtt->start(5000, [&, finish, run](const QString &refused) {
            if (!refused.isEmpty()) {
                cliError(refused);
                finish(CliArgs::PortFailure);
                return;
            }
            run();
        });
    });
}
