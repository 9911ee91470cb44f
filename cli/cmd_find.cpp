// zrctl ports and zrctl scan: which ports there are, and which transmitters answer on one.
#include "cli/cli_context.h"
#include "core/device/device_model.h"
#include "core/device/register_map.h"
#include "core/device/reply_parser.h"
#include "core/device/search_schedule.h"
#include "core/device/shared_data.h"
#include "core/modbus/modbus_frame.h"
#include "core/modbus/port_access.h"
#include "core/modbus/serial_ports.h"

#include <QJsonArray>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <unistd.h>

namespace {

QJsonObject unitJson(int address, int rate, const SharedDataClass &unit) {
    QJsonObject object;
    object[QStringLiteral("address")] = address;
    object[QStringLiteral("rate")] = rate;
    object[QStringLiteral("type")] = unit.deviceType;
    object[QStringLiteral("model")] = Model::name(unit.deviceType);
    object[QStringLiteral("firmware")] = Model::firmwareText(unit.firmwareVersion);
    object[QStringLiteral("serial")] = unit.serialNumber;
    return object;
}

QString unitText(int address, int rate, const SharedDataClass &unit) {
    const QString model = Model::name(unit.deviceType);
    return QStringLiteral("address %1  rate %2  model %3  firmware %4  serial %5")
        .arg(address)
        .arg(rate)
        .arg(model.isEmpty() ? QStringLiteral("type %1").arg(unit.deviceType) : model)
        .arg(Model::firmwareText(unit.firmwareVersion), unit.serialNumber);
}

} // namespace

int cliPorts(const CliContext &context) {
    // The ports this user may not open are listed too, so that a port does not seem to be missing
    // when only a group membership is.
    const QVector<ListedPort> ports = listPorts();
    QStringList groups;
    for (const ListedPort &port : ports) {
        if (port.noPermission && !port.group.isEmpty() && !groups.contains(port.group)) {
            groups << port.group;
        }
    }
    if (context.json) {
        QJsonArray openable;
        QJsonArray refused;
        for (const ListedPort &port : ports) {
            if (port.noPermission) {
                QJsonObject entry;
                entry[QStringLiteral("port")] = port.name;
                entry[QStringLiteral("group")] = port.group;
                refused.append(entry);
            } else {
                openable.append(port.name);
            }
        }
        QJsonObject object;
        object[QStringLiteral("ports")] = openable;
        object[QStringLiteral("noPermission")] = refused;
        cliPrintJson(object);
    } else {
        for (const ListedPort &port : ports) {
            QString line = port.name;
            if (port.noPermission) {
                line += port.group.isEmpty() ? QStringLiteral(" (no permission)")
                                             : QStringLiteral(" (no permission) group %1").arg(port.group);
            }
            cliPrint(line);
        }
    }
    for (const QString &group : groups) {
        cliError(QStringLiteral("to open the ports of the group %1, run %2, then log out and in again")
                     .arg(group, joinGroupCommand(group)));
    }
    return CliArgs::Done;
}

int cliScan(const CliContext &context) {
    QString error;
    QVector<int> rates = Search::rates();
    int first = 1;
    int last = 247;
    QCommandLineParser &parser = *context.parser;
    if ((parser.isSet(QStringLiteral("baud")) &&
         !CliArgs::baudList(QStringLiteral("baud"), parser.value(QStringLiteral("baud")), &rates, &error)) ||
        (parser.isSet(QStringLiteral("addresses")) &&
         !CliArgs::addressRange(QStringLiteral("addresses"), parser.value(QStringLiteral("addresses")),
                                &first, &last, &error))) {
        cliError(error);
        return CliArgs::Usage;
    }

    const bool progress = ::isatty(STDERR_FILENO) == 1;
    CliLine line(context);
    if (line.isNetwork() && rates.size() > 1) {
        // The server's line runs at the rate it is set to, whatever is asked for here: one pass,
        // its line time counted at the slowest rate listed.
        const int slowest = *std::min_element(rates.cbegin(), rates.cend());
        rates = {slowest};
        cliError(
            QStringLiteral("over TCP the line rate is the serial server's: probing once, at the rate the "
                           "server is set to (line time counted at %1 baud); each unit found says its own")
                .arg(slowest));
    }
    int found = 0;
    int rateAt = 0;
    int address = first;
    // The next address, or the first of the next rate; the scan ends after the last.
    std::function<void(const CliDone &)> probe = [&](const CliDone &finish) {
        if (address > last) {
            ++rateAt;
            address = first;
        }
        if (rateAt >= rates.size()) {
            if (progress) {
                std::fprintf(stderr, "\r%50s\r", "");
            }
            if (found == 0) {
                cliError(QStringLiteral("no transmitter answered"));
                finish(CliArgs::NoReply);
            } else {
                finish(CliArgs::Done);
            }
            return;
        }
        const int rate = rates.at(rateAt);
        if (address == first && !line.open(rate, &error)) {
            cliError(error);
            finish(CliArgs::PortFailure);
            return;
        }
        if (progress) {
            std::fprintf(stderr, "\rscanning %6d baud, address %3d of %d-%d ", rate, address, first, last);
            std::fflush(stderr);
        }
        const int asked = address++;
        line.request(buildReadRequest(static_cast<quint8>(asked), Reg::SlaveAddress, Reg::DeviceInfoCount),
                     [&, finish, asked, rate](const LineReply &reply) {
                         const LineReply::Outcome outcome = reply.outcome();
                         if (outcome != LineReply::Outcome::NoReply) {
                             if (outcome != LineReply::Outcome::Answer &&
                                 outcome != LineReply::Outcome::Exception) {
                                 if (progress) {
                                     std::fprintf(stderr, "\n");
                                 }
                                 finish(cliFailure(reply, QStringLiteral("scanning at %1 baud").arg(rate)));
                                 return;
                             }
                             // An exception reply still shows a unit at this address and rate.
                             SharedDataClass unit;
                             int shown = rate;
                             if (outcome == LineReply::Outcome::Answer) {
                                 Rx::decode(Reg::SlaveAddress, reply.frame(), unit);
                                 // Over TCP the rate probed is no more than a guess: the unit's own is shown.
                                 if (line.isNetwork() && Model::baudRateForCode(unit.baudCode) > 0) {
                                     shown = Model::baudRateForCode(unit.baudCode);
                                 }
                             }
                             if (progress) {
                                 std::fprintf(stderr, "\r%50s\r", "");
                             }
                             if (context.json) {
                                 cliPrintJson(unitJson(asked, shown, unit));
                             } else {
                                 cliPrint(unitText(asked, shown, unit));
                             }
                             ++found;
                         }
                         probe(finish);
                     });
    };
    return cliExec(probe);
}
