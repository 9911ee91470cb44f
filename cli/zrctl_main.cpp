// zrctl: the transmitter family from a shell script, on the same rules as the window.
#include "cli/cli_context.h"
#include "core/modbus/port_address.h"

#include <QCoreApplication>
#include <QMap>
#include <QSet>

#include <algorithm>
#include <csignal>

namespace {

const char *const kHelp =
    "Usage: zrctl COMMAND [options]\n"
    "\n"
    "Commands:\n"
    "  ports                                  the ports that can be opened, as the window lists them\n"
    "  scan  --port P [--baud all|R[,R...]] [--addresses FIRST-LAST]\n"
    "                                         every transmitter on the line: address, rate, model,\n"
    "                                         firmware, serial number\n"
    "  info  --port P --address A --baud R    the device information\n"
    "  set   --port P --address A --baud R [--new-address A [--broadcast]] [--new-baud R]\n"
    "        [--serial S|AUTO] [--range MIN:MAX] [--output-data D [--channel 1|2]]\n"
    "        [--heater on|off] [--clock now|YYYY-MM-DDTHH:MM:SS] [--schedule HH:MM,HOURS,SECONDS]\n"
    "                                         writes settings, each read back and compared\n"
    "  watch --port P --address A[,A|A-B...] --baud R [--interval S] [--count N] [--csv FILE]\n"
    "        [--mqtt mqtt[s]://HOST[:PORT] [--mqtt-user U] [--mqtt-password-file F] [--mqtt-ca FILE]\n"
    "         [--mqtt-topic PREFIX] [--mqtt-client-id ID] [--mqtt-queue N]\n"
    "         [--ha-discovery [--ha-prefix PREFIX]]]\n"
    "        [--serve [HOST:]PORT [--serve-clients N] [--serve-cache MS] [--serve-idle S]\n"
    "         [--serve-writes[=all]]]\n"
    "                                         live readings of every listed unit each round, with\n"
    "                                         their 4-20 mA, 0-5 V, 0-10 V equivalents and a status\n"
    "                                         (ok, no-reply, exception, port-lost); a lost port is\n"
    "                                         reopened until it is back; Ctrl-C or SIGTERM ends it;\n"
    "                                         --serve answers Modbus TCP clients (loopback unless a\n"
    "                                         host is given) on the same line, between the polls\n"
    "\n"
    "Every command but ports:\n"
    "  --port P      a serial port (a device path, as zrctl ports lists them) or a serial server:\n"
    "                tcp://HOST[:PORT] (Modbus TCP, port 502 by default; the unit id is the\n"
    "                address) or rtu+tcp://HOST:PORT (RTU frames raw over TCP); IPv6 in brackets\n"
    "  --timeout MS  over TCP: the network margin on top of the line time (default 1000);\n"
    "                on a serial line: the whole reply window (default: the line time at the\n"
    "                rate plus the turnaround); 1 to 60000\n"
    "  --pause MS    silence kept between a reply and the next request (default 0), for\n"
    "                serial servers that need it; 0 to 10000\n"
    "  --tcp-any-id  tcp:// only: accept replies whose transaction id is 0 or not echoed\n"
    "                (unit id and function must still match)\n"
    "Over TCP the line rate is the serial server's: --baud sets the line time counted, scan\n"
    "probes once at the server's rate, and set --new-baud asks for the server to be changed.\n"
    "\n"
    "Every command:\n"
    "  --json        machine-readable output, one JSON object a line\n"
    "  -v            every frame sent and received in hexadecimal on standard error\n"
    "  --log FILE    append every frame to FILE in the window's log format\n"
    "  -h, --help    this text\n"
    "\n"
    "Rates: 1200, 2400, 4800, 9600, 19200, 115200. Addresses: 1 to 247.\n"
    "Setting an address normally goes to --address; --broadcast sends it to address 0, as the\n"
    "window does, and every unit on the line takes it.\n"
    "\n"
    "Environment:\n"
    "  ZRTOOL_EXTRA_PORTS   colon-separated device paths offered after the system's ports\n"
    "  ZRCTL_MQTT_PASSWORD  the broker password for watch --mqtt (or --mqtt-password-file)\n"
    "  CREDENTIALS_DIRECTORY  set by systemd: its mqtt-password comes before ZRCTL_MQTT_PASSWORD\n"
    "\n"
    "Exit status:\n"
    "  0  done\n"
    "  2  bad usage: an unknown command or option, or a bad value; nothing was sent\n"
    "  3  no reply from the device (scan: no transmitter answered)\n"
    "  4  the device refused a request (exception reply), or a value read back differs\n"
    "  5  the port could not be opened or failed, or the adapter floods the line; watch: rows\n"
    "     that could not be written, a broker that refuses the connection, or an MQTT error\n"
    "     retrying cannot mend (TLS verification, a TLS or plain port, a denied publish)\n";

// Options each command takes besides --json, -v, --log and --help.
const QMap<QString, QStringList> &commandOptions() {
    static const QMap<QString, QStringList> options{
        {QStringLiteral("ports"), {}},
        {QStringLiteral("scan"), {"port", "baud", "addresses"}},
        {QStringLiteral("info"), {"port", "address", "baud"}},
        {QStringLiteral("set"),
         {"port", "address", "baud", "new-address", "broadcast", "new-baud", "serial", "range", "output-data",
          "channel", "heater", "clock", "schedule"}},
        {QStringLiteral("watch"),
         {"port",       "address",        "baud",        "interval",     "count",
          "csv",        "mqtt",           "mqtt-ca",     "mqtt-user",    "mqtt-password-file",
          "mqtt-topic", "mqtt-client-id", "mqtt-queue",  "ha-discovery", "ha-prefix",
          "serve",      "serve-clients",  "serve-cache", "serve-writes", "serve-idle"}},
    };
    return options;
}

QList<QCommandLineOption> allOptions() {
    const auto value = [](const char *name, const char *what) {
        return QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(what),
                                  QStringLiteral("value"));
    };
    return {
        value("port", "serial port"),
        value("address", "slave address"),
        value("baud", "line rate"),
        value("addresses", "address range"),
        value("timeout", "reply time-out, ms"),
        value("pause", "pause between requests, ms"),
        QCommandLineOption(QStringLiteral("tcp-any-id"), QStringLiteral("accept any transaction id")),
        value("new-address", "new slave address"),
        QCommandLineOption(QStringLiteral("broadcast"), QStringLiteral("set the address through address 0")),
        value("new-baud", "new line rate"),
        value("serial", "serial number"),
        value("range", "output range"),
        value("output-data", "output data"),
        value("channel", "output channel"),
        value("heater", "heater"),
        value("clock", "device clock"),
        value("schedule", "heating schedule"),
        value("interval", "seconds between readings"),
        value("count", "readings"),
        value("csv", "CSV file"),
        value("mqtt", "MQTT broker URL"),
        value("mqtt-ca", "CA certificate file"),
        value("mqtt-user", "MQTT user"),
        value("mqtt-password-file", "file holding the MQTT password"),
        value("mqtt-topic", "MQTT topic prefix"),
        value("mqtt-client-id", "MQTT client id"),
        value("mqtt-queue", "messages kept while the broker is away"),
        QCommandLineOption(QStringLiteral("ha-discovery"), QStringLiteral("publish discovery configs")),
        value("ha-prefix", "discovery topic prefix"),
        value("serve", "Modbus TCP address to serve on"),
        value("serve-clients", "Modbus TCP clients at most"),
        value("serve-cache", "ms a poll answers reads"),
        value("serve-writes", "writes let through"),
        value("serve-idle", "seconds a silent client stays"),
        value("log", "log file"),
        QCommandLineOption(QStringLiteral("json"), QStringLiteral("JSON output")),
        QCommandLineOption(QStringLiteral("v"), QStringLiteral("trace frames")),
        QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("help")),
    };
}

int usage(const QString &line) {
    cliError(line);
    cliError(QStringLiteral("see zrctl --help"));
    return CliArgs::Usage;
}

} // namespace

int main(int argc, char *argv[]) {
    ::signal(SIGPIPE, SIG_IGN);
    // Qt's own event dispatcher rather than GLib's: one poll a wake-up instead of GLib's prepare,
    // query, poll and check, which is most of what an idle gateway costs between its readings.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) {
        qputenv("QT_NO_GLIB", "1");
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zrctl"));

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions(allOptions());
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("ports, scan, info, set or watch"));
    // --serve-writes alone lets the safe writes through; its one value is "all".
    QStringList arguments = app.arguments();
    std::replace(arguments.begin(), arguments.end(), QStringLiteral("--serve-writes"),
                 QStringLiteral("--serve-writes=safe"));
    if (!parser.parse(arguments)) {
        return usage(parser.errorText());
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(kHelp, stdout);
        return CliArgs::Done;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1 || !commandOptions().contains(positional.first())) {
        return usage(positional.isEmpty()
                         ? QStringLiteral("a command is needed: ports, scan, info, set or watch")
                         : QStringLiteral("unknown command '%1': expected ports, scan, info, set or watch")
                               .arg(positional.join(QLatin1Char(' '))));
    }
    const QString command = positional.first();
    const QStringList allowed = commandOptions().value(command);
    static const QSet<QString> everyCommand{QStringLiteral("json"), QStringLiteral("v"),
                                            QStringLiteral("log"), QStringLiteral("h"),
                                            QStringLiteral("help")};
    // The line's options go with every command that opens a port.
    static const QSet<QString> lineOptions{QStringLiteral("timeout"), QStringLiteral("pause"),
                                           QStringLiteral("tcp-any-id")};
    const bool opensPort = allowed.contains(QStringLiteral("port"));
    for (const QString &name : parser.optionNames()) {
        if (!allowed.contains(name) && !everyCommand.contains(name) &&
            !(opensPort && lineOptions.contains(name))) {
            return usage(QStringLiteral("--%1 does not go with %2").arg(name, command));
        }
    }

    CliContext context;
    context.parser = &parser;
    context.json = parser.isSet(QStringLiteral("json"));
    context.verbose = parser.isSet(QStringLiteral("v"));
    context.logPath = parser.value(QStringLiteral("log"));
    QString error;
    if (opensPort) {
        if (!parser.isSet(QStringLiteral("port")) || parser.value(QStringLiteral("port")).isEmpty()) {
            return usage(QStringLiteral("--port: a serial port is needed (zrctl ports lists them)"));
        }
        context.port = parser.value(QStringLiteral("port"));
        const PortAddress port = PortAddress::parse(context.port);
        if (port.kind == PortAddress::Kind::Invalid) {
            return usage(QStringLiteral("--port: %1; expected a device path, tcp://HOST[:PORT] or "
                                        "rtu+tcp://HOST:PORT")
                             .arg(port.error));
        }
        context.anyTransactionId = parser.isSet(QStringLiteral("tcp-any-id"));
        if (context.anyTransactionId && port.kind != PortAddress::Kind::ModbusTcp) {
            return usage(QStringLiteral("--tcp-any-id: goes with a Modbus TCP port, tcp://HOST[:PORT]"));
        }
        if ((parser.isSet(QStringLiteral("timeout")) &&
             !CliArgs::number(QStringLiteral("timeout"), parser.value(QStringLiteral("timeout")), 1, 60000,
                              &context.timeoutMs, &error)) ||
            (parser.isSet(QStringLiteral("pause")) &&
             !CliArgs::number(QStringLiteral("pause"), parser.value(QStringLiteral("pause")), 0, 10000,
                              &context.pauseMs, &error))) {
            return usage(error);
        }
    }
    if (allowed.contains(QStringLiteral("address"))) {
        if (command == QLatin1String("set") &&
            parser.value(QStringLiteral("address")) == QLatin1String("0") &&
            !parser.isSet(QStringLiteral("broadcast"))) {
            cliError(
                QStringLiteral("--address 0 reaches every unit on the line: give the unit's address, and add "
                               "--broadcast to set a new address through address 0"));
            return CliArgs::Usage;
        }
        if (command == QLatin1String("watch")) {
            if (!CliArgs::addressList(QStringLiteral("address"), parser.value(QStringLiteral("address")),
                                      &context.addresses, &error)) {
                return usage(error);
            }
            context.address = context.addresses.first();
        } else if (!CliArgs::address(QStringLiteral("address"), parser.value(QStringLiteral("address")),
                                     &context.address, &error)) {
            return usage(error);
        }
        if (!CliArgs::baudRate(QStringLiteral("baud"), parser.value(QStringLiteral("baud")), &context.baud,
                               &error)) {
            return usage(error);
        }
    }
    if (command == QLatin1String("ports")) {
        return cliPorts(context);
    }
    if (command == QLatin1String("scan")) {
        return cliScan(context);
    }
    if (command == QLatin1String("info")) {
        return cliInfo(context);
    }
    if (command == QLatin1String("set")) {
        return cliSet(context);
    }
    return cliWatch(context);
}
