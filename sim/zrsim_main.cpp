// zrsim: one simulated transmitter of the family on a pseudo-terminal, or behind a simulated
// serial server on TCP. Prints the slave device path (or the address it listens on) and serves
// requests until SIGINT or SIGTERM.

#include "core/base/stop_signals.h"
#include "sim/pty_transmitter.h"
#include "sim/tcp_transmitter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>

#include <csignal>
#include <cstdio>

namespace {

bool refuse(const QString &message) {
    std::fprintf(stderr, "zrsim: %s\n", qPrintable(message));
    return false;
}

bool parseInt(const QCommandLineParser &parser, const QString &name, int min, int max, int *out) {
    if (!parser.isSet(name)) {
        return true;
    }
    bool ok = false;
    const int value = parser.value(name).toInt(&ok, 10);
    if (!ok || value < min || value > max) {
        return refuse(QStringLiteral("--%1 must be a number from %2 to %3").arg(name).arg(min).arg(max));
    }
    *out = value;
    return true;
}

bool parseTenths(const QCommandLineParser &parser, const QString &name, qint16 *out) {
    if (!parser.isSet(name)) {
        return true;
    }
    bool ok = false;
    const double degrees = parser.value(name).toDouble(&ok);
    if (!ok || degrees < -3276.0 || degrees > 3276.0) {
        return refuse(QStringLiteral("--%1 must be a temperature in degrees").arg(name));
    }
    *out = static_cast<qint16>(qRound(degrees * 10.0));
    return true;
}

// One more unit for the bus: MODEL:ADDRESS:BAUD[:FIRMWARE[:SERIAL]].
bool parseUnit(const QString &text, TransmitterConfig *out) {
    const QStringList parts = text.split(QLatin1Char(':'));
    const QString usage = QStringLiteral("--unit must be MODEL:ADDRESS:BAUD[:FIRMWARE[:SERIAL]], for example "
                                         "3:12:19200:105:261208041533 (got '%1')")
                              .arg(text);
    if (parts.size() < 3 || parts.size() > 5) {
        return refuse(usage);
    }
    bool ok[4] = {false, false, false, true};
    const int model = parts.at(0).toInt(&ok[0], 10);
    const int address = parts.at(1).toInt(&ok[1], 10);
    const int baud = parts.at(2).toInt(&ok[2], 10);
    int firmware = out->firmware;
    if (parts.size() > 3) {
        firmware = parts.at(3).toInt(&ok[3], 10);
    }
    if (!ok[0] || !ok[1] || !ok[2] || !ok[3] || model < 0 || model > 5 || address < 1 || address > 247 ||
        codeForBaudRate(baud) == 0 || firmware < 0 || firmware > 65535) {
        return refuse(usage);
    }
    if (parts.size() > 4) {
        static const QRegularExpression hex12(QStringLiteral("^[0-9A-Fa-f]{12}$"));
        if (!hex12.match(parts.at(4)).hasMatch()) {
            return refuse(usage);
        }
        out->serialNumber = QByteArray::fromHex(parts.at(4).toLatin1());
    } else {
        // A serial number of its own, so units on one bus never share one: the default's last
        // three digits are the address (533 is no address, so it never meets the default).
        out->serialNumber = QByteArray::fromHex(out->serialNumber.toHex().left(9) +
                                                QByteArray::number(address).rightJustified(3, '0'));
    }
    out->deviceType = static_cast<quint16>(model);
    out->address = static_cast<quint8>(address);
    out->baudRate = baud;
    out->firmware = static_cast<quint16>(firmware);
    return true;
}

bool parseFault(const QString &name, SimFault *out) {
    static const struct {
        const char *name;
        SimFault fault;
    } faults[] = {
        {"none", SimFault::None},         {"silence", SimFault::Silence},
        {"flood00", SimFault::FloodZero}, {"floodff", SimFault::FloodFF},
        {"split", SimFault::SplitReply},  {"stray", SimFault::StrayByte},
        {"badcrc", SimFault::BadCrc},     {"exception", SimFault::ExceptionAll},
    };
    for (const auto &entry : faults) {
        if (name == QLatin1String(entry.name)) {
            *out = entry.fault;
            return true;
        }
    }
    return refuse(QStringLiteral("unknown fault '%1'").arg(name));
}

// HOST:PORT, [IPv6]:PORT or PORT alone (on the loopback interface).
bool parseListen(const QString &text, QHostAddress *host, quint16 *port) {
    static const QRegularExpression form(
        QStringLiteral("^(?:(?:\\[([0-9A-Fa-f:.]+)\\]|([^\\[\\]:]+)):)?([0-9]{1,5})$"));
    const QRegularExpressionMatch match = form.match(text);
    const int number = match.captured(3).toInt();
    const QString name = match.captured(1) + match.captured(2);
    *host = name.isEmpty() ? QHostAddress(QHostAddress::LocalHost)
                           : (name == QLatin1String("localhost") ? QHostAddress(QHostAddress::LocalHost)
                                                                 : QHostAddress(name));
    if (!match.hasMatch() || number > 65535 || host->isNull()) {
        return refuse(QStringLiteral(
                          "--listen must be [HOST:]PORT with HOST an IP address, IPv6 in brackets (got '%1')")
                          .arg(text));
    }
    *port = static_cast<quint16>(number);
    return true;
}

} // namespace

int main(int argc, char *argv[]) {
    // Signals arrive on a socket pair watched by the event loop, so the shutdown (which removes
    // the symbolic link) runs as ordinary code rather than inside the handler. Installed first
    // thing, so a stop request during start-up is not lost either.
    if (!StopSignals::install()) {
        refuse(QStringLiteral("socketpair failed"));
        return 1;
    }
    ::signal(SIGPIPE, SIG_IGN);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zrsim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated temperature and humidity transmitter (Modbus RTU slave) on a pseudo-terminal."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("model"), QStringLiteral("Device type code, 0 ZR100 .. 5 ZR200Mini_M (default 3)."),
         QStringLiteral("code"), QStringLiteral("3")},
        {QStringLiteral("firmware"), QStringLiteral("Firmware version number, 105 is V1.0.5 (default 105)."),
         QStringLiteral("number"), QStringLiteral("105")},
        {QStringLiteral("address"), QStringLiteral("Slave address 1..247 (default 1)."),
         QStringLiteral("address"), QStringLiteral("1")},
        {QStringLiteral("baud"),
         QStringLiteral("Line rate: 1200, 2400, 4800, 9600, 19200 or 115200 (default 9600)."),
         QStringLiteral("rate"), QStringLiteral("9600")},
        {QStringLiteral("serial"), QStringLiteral("Serial number, 12 hexadecimal digits."),
         QStringLiteral("hex")},
        {QStringLiteral("range-min"), QStringLiteral("Lower end of the temperature output range, degrees."),
         QStringLiteral("degrees")},
        {QStringLiteral("range-max"), QStringLiteral("Upper end of the temperature output range, degrees."),
         QStringLiteral("degrees")},
        {QStringLiteral("delay"),
         QStringLiteral(
             "Delay before every reply, milliseconds (100 to 300 lets a click cross a poll reply)."),
         QStringLiteral("ms"), QStringLiteral("0")},
        {QStringLiteral("junk"),
         QStringLiteral(
             "Stray bytes sent in front of every reply, as adapters and RS-485 turnaround do (default 0)."),
         QStringLiteral("count"), QStringLiteral("0")},
        {QStringLiteral("junk-value"), QStringLiteral("Value of the stray bytes, 0..255 (default 0)."),
         QStringLiteral("byte"), QStringLiteral("0")},
        {QStringLiteral("flood-piece"), QStringLiteral("Bytes per piece of a flood, 1..4096 (default 64)."),
         QStringLiteral("bytes"), QStringLiteral("64")},
        {QStringLiteral("flood-gap"), QStringLiteral("Gap between the pieces of a flood, ms (default 2)."),
         QStringLiteral("ms"), QStringLiteral("2")},
        {QStringLiteral("flood-after"),
         QStringLiteral(
             "Answer every request after the first N with a flood of --flood-value bytes, at any "
             "line rate, as a failing adapter does (for example in the middle of a baud-rate search)."),
         QStringLiteral("N")},
        {QStringLiteral("flood-value"),
         QStringLiteral("Byte of --flood-after floods: 0 or 255 (default 255)."), QStringLiteral("byte"),
         QStringLiteral("255")},
        {QStringLiteral("link"), QStringLiteral("Also make PATH a symbolic link to the slave device."),
         QStringLiteral("path")},
        {QStringLiteral("fault"),
         QStringLiteral("Line fault: none, silence, flood00, floodff, split, stray, badcrc, exception."),
         QStringLiteral("fault"), QStringLiteral("none")},
        {QStringLiteral("split-size"), QStringLiteral("Bytes per piece with --fault split (default 3)."),
         QStringLiteral("bytes"), QStringLiteral("3")},
        {QStringLiteral("split-gap"),
         QStringLiteral("Gap between pieces with --fault split, ms (default 30)."), QStringLiteral("ms"),
         QStringLiteral("30")},
        {QStringLiteral("garble"),
         QStringLiteral("Answer requests at a wrong line rate with garbled bytes.")},
        {QStringLiteral("unit"),
         QStringLiteral(
             "Bus mode: one more transmitter on the same line, MODEL:ADDRESS:BAUD[:FIRMWARE[:SERIAL]]; "
             "repeat for more. Each answers only its own address (and address 0) at its own rate; "
             "units answering address 0 together collide. SERIAL defaults to 261208041 and the "
             "address in three digits."),
         QStringLiteral("unit")},
        {QStringLiteral("listen"),
         QStringLiteral("Serve over TCP instead of a pseudo-terminal, as a serial server does: [HOST:]PORT, "
                        "the loopback interface unless HOST is given (IPv6 in brackets), port 0 for any free "
                        "one; clients are served one after another."),
         QStringLiteral("address")},
        {QStringLiteral("framing"),
         QStringLiteral("Frames over TCP: tcp (Modbus TCP, the MBAP header) or rtu (RTU frames with their "
                        "CRC, raw). Default tcp."),
         QStringLiteral("framing"), QStringLiteral("tcp")},
        {QStringLiteral("drop-after"),
         QStringLiteral(
             "Over TCP: close the connection, unanswered, at the request after the first N on it."),
         QStringLiteral("N")},
        {QStringLiteral("wrong-tid"),
         QStringLiteral("Over Modbus TCP: answer with transaction id 0 instead of the request's.")},
    });
    parser.process(app);

    TransmitterConfig config;
    int model = config.deviceType;
    int firmware = config.firmware;
    int address = config.address;
    int baud = config.baudRate;
    int delay = 0;
    int splitSize = 3;
    int splitGap = 30;
    int junk = 0;
    int junkValue = 0;
    int floodPiece = 64;
    int floodGap = 2;
    int floodAfter = -1;
    int floodValue = 255;
    SimFault fault = SimFault::None;
    bool ok = parseInt(parser, QStringLiteral("model"), 0, 5, &model) &&
              parseInt(parser, QStringLiteral("firmware"), 0, 65535, &firmware) &&
              parseInt(parser, QStringLiteral("address"), 1, 247, &address) &&
              parseInt(parser, QStringLiteral("baud"), 1200, 115200, &baud) &&
              parseInt(parser, QStringLiteral("delay"), 0, 60000, &delay) &&
              parseInt(parser, QStringLiteral("split-size"), 1, 256, &splitSize) &&
              parseInt(parser, QStringLiteral("split-gap"), 0, 60000, &splitGap) &&
              parseInt(parser, QStringLiteral("junk"), 0, 64, &junk) &&
              parseInt(parser, QStringLiteral("junk-value"), 0, 255, &junkValue) &&
              parseInt(parser, QStringLiteral("flood-piece"), 1, 4096, &floodPiece) &&
              parseInt(parser, QStringLiteral("flood-gap"), 0, 60000, &floodGap) &&
              parseInt(parser, QStringLiteral("flood-after"), 0, 1000000, &floodAfter) &&
              parseInt(parser, QStringLiteral("flood-value"), 0, 255, &floodValue) &&
              parseTenths(parser, QStringLiteral("range-min"), &config.rangeMin) &&
              parseTenths(parser, QStringLiteral("range-max"), &config.rangeMax) &&
              parseFault(parser.value(QStringLiteral("fault")), &fault);
    if (ok && floodValue != 0 && floodValue != 255) {
        ok = refuse(QStringLiteral("--flood-value must be 0 or 255"));
    }
    if (ok && codeForBaudRate(baud) == 0) {
        ok = refuse(QStringLiteral("--baud must be one of 1200, 2400, 4800, 9600, 19200, 115200"));
    }
    if (ok && parser.isSet(QStringLiteral("serial"))) {
        const QString digits = parser.value(QStringLiteral("serial"));
        const QByteArray bytes = QByteArray::fromHex(digits.toLatin1());
        static const QRegularExpression hex12(QStringLiteral("^[0-9A-Fa-f]{12}$"));
        if (!hex12.match(digits).hasMatch() || bytes.size() != 6) {
            ok = refuse(QStringLiteral("--serial must be 12 hexadecimal digits"));
        }
        config.serialNumber = bytes;
    }
    int dropAfter = -1;
    ok = ok && parseInt(parser, QStringLiteral("drop-after"), 0, 1000000, &dropAfter);
    const QString framing = parser.value(QStringLiteral("framing"));
    if (ok && framing != QLatin1String("tcp") && framing != QLatin1String("rtu")) {
        ok = refuse(QStringLiteral("--framing must be tcp or rtu"));
    }
    QHostAddress listenHost;
    quint16 listenPort = 0;
    const bool overTcp = parser.isSet(QStringLiteral("listen"));
    if (ok && overTcp) {
        ok = parseListen(parser.value(QStringLiteral("listen")), &listenHost, &listenPort);
    }
    // Faults of the serial line itself have no meaning behind a server, and the network's none on
    // a pseudo-terminal: said rather than ignored.
    for (const char *name : {"junk", "link", "garble", "flood-after", "split-size", "split-gap"}) {
        if (ok && overTcp && parser.isSet(QLatin1String(name))) {
            ok = refuse(QStringLiteral("--%1 applies to the pseudo-terminal, not to --listen")
                            .arg(QLatin1String(name)));
        }
    }
    if (ok && overTcp && fault != SimFault::None && fault != SimFault::Silence &&
        fault != SimFault::FloodZero && fault != SimFault::FloodFF && fault != SimFault::ExceptionAll) {
        ok = refuse(
            QStringLiteral("with --listen, --fault is one of none, silence, flood00, floodff, exception"));
    }
    for (const char *name : {"framing", "drop-after", "wrong-tid"}) {
        if (ok && !overTcp && parser.isSet(QLatin1String(name))) {
            ok = refuse(QStringLiteral("--%1 applies to --listen only").arg(QLatin1String(name)));
        }
    }
    if (!ok) {
        return 2;
    }
    config.deviceType = static_cast<quint16>(model);
    config.firmware = static_cast<quint16>(firmware);
    config.address = static_cast<quint8>(address);
    config.baudRate = baud;

    QVector<TransmitterConfig> units;
    for (const QString &text : parser.values(QStringLiteral("unit"))) {
        TransmitterConfig unit;
        if (!parseUnit(text, &unit)) {
            return 2;
        }
        units.append(unit);
    }

    StopSignals stop;
    QObject::connect(&stop, &StopSignals::stopRequested, &app, &QCoreApplication::quit);

    if (overTcp) {
        TcpTransmitter server(config);
        for (const TransmitterConfig &unit : units) {
            server.addUnit(unit);
        }
        const bool rtu = framing == QLatin1String("rtu");
        server.setFraming(rtu ? TcpTransmitter::Framing::Rtu : TcpTransmitter::Framing::ModbusTcp);
        server.setFault(fault);
        server.setReplyDelay(delay);
        server.setDropAfter(dropAfter);
        server.setWrongTransactionId(parser.isSet(QStringLiteral("wrong-tid")));
        QString error;
        if (!server.listen(listenHost, listenPort, &error)) {
            refuse(
                QStringLiteral("cannot listen on %1: %2").arg(parser.value(QStringLiteral("listen")), error));
            return 1;
        }
        std::printf("%s\n", qPrintable(server.portString()));
        std::fflush(stdout);
        return app.exec();
    }

    PtyTransmitter sim(config);
    for (const TransmitterConfig &unit : units) {
        sim.addUnit(unit);
    }
    sim.setFault(fault);
    sim.setSplit(splitSize, splitGap);
    sim.setReplyDelay(delay);
    sim.setJunkBeforeReply(junk, static_cast<quint8>(junkValue));
    sim.setFloodPieces(floodPiece, floodGap);
    sim.setFloodAfter(floodAfter, static_cast<quint8>(floodValue));
    sim.setGarbleAtWrongRate(parser.isSet(QStringLiteral("garble")));
    QString error;
    if (!sim.start(&error)) {
        refuse(error);
        return 1;
    }
    if (parser.isSet(QStringLiteral("link")) && !sim.createSymlink(parser.value(QStringLiteral("link")))) {
        refuse(QStringLiteral("cannot create the link %1").arg(parser.value(QStringLiteral("link"))));
        return 1;
    }

    std::printf("%s\n", qPrintable(sim.slavePath()));
    std::fflush(stdout);

    const int rc = app.exec();
    return rc; // the transmitter's destructor closes the pair and removes the link
}
