// zrctl watch serving Modbus TCP: clients read and write the units of a simulated bus through the
// gateway while it polls, with one request on the wire at a time.
#include "core/modbus/mbap_frame.h"
#include "tests/support/harness.h"
#include "tests/support/mqtt_broker.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <map>
#include <memory>

namespace {

// The gateway on the simulated bus (units 11 and 12, 20 silent), serving on a free port; every
// request the bus hears is kept, and any that came while the one before was still unanswered
// by a unit that answers is counted. The port is reached by a link in `dir`.
struct Gateway {
    explicit Gateway(const QString &dir = QDir::currentPath()) : link(dir + QStringLiteral("/ttyBUS")) {
        process.setWorkingDirectory(dir);
        QObject::connect(&sim, &PtyTransmitter::requestReceived, [this](const QByteArray &request) {
            overlaps += awaiting ? 1 : 0;
            awaiting = static_cast<quint8>(request.at(0)) != 20;
            heard << request;
        });
        QObject::connect(&sim, &PtyTransmitter::bytesSent, [this](const QByteArray &) { awaiting = false; });
    }
    ~Gateway() {
        process.kill();
        process.waitForFinished();
    }
    // Starts it and waits for its first round's rows.
    bool start(const QStringList &options, const QString &addresses = QStringLiteral("11,20")) {
        return launch(options, addresses) && firstRound();
    }
    // Starts it without waiting.
    bool launch(const QStringList &options, const QString &addresses) {
        QTcpServer probe;
        // The port by a link, which follows the transmitter when it comes back on another pty.
        if (!probe.listen(QHostAddress::LocalHost, 0) || !sim.start() || !sim.createSymlink(link)) {
            return false;
        }
        port = probe.serverPort();
        probe.close();
        sim.addUnit(unitAt(12, "261208000012"));
        process.start(QStringLiteral(ZRCTL_PATH),
                      QStringList{"watch", "--port", link, "--address", addresses, "--baud", "19200",
                                  "--serve", QString::number(port), "-v"} +
                          options);
        units = addresses.count(',') + 1;
        return true;
    }
    // Waits for the first round's rows.
    bool firstRound() {
        return waitFor([&] { return out.count('\n') >= units; }, 10000);
    }
    bool waitFor(const std::function<bool()> &done, int ms) {
        return QTest::qWaitFor(
            [&] {
                out += process.readAllStandardOutput();
                err += process.readAllStandardError();
                return done();
            },
            ms);
    }
    int heardFor(const QByteArray &rtu) const { return static_cast<int>(heard.count(rtu)); }

    PtyTransmitter sim{unitAt(11, "261208000011")};
    const QString link;
    QProcess process;
    int port = 0;
    int units = 0;
    QByteArray out;
    QByteArray err;
    QList<QByteArray> heard;
    bool awaiting = false;
    int overlaps = 0;
};

// A Modbus TCP client that sends exact bytes and takes back whole MBAP frames.
struct Client {
    bool connectTo(int port) {
        socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
        return socket.waitForConnected(3000);
    }
    void send(const QByteArray &hex) { socket.write(QByteArray::fromHex(hex)); }
    // The next reply, empty when none came within 3 s.
    QByteArray reply() {
        if (!QTest::qWaitFor([&] { return Mbap::frameLength(buffer += socket.readAll()) > 0; }, 3000)) {
            return QByteArray();
        }
        const QByteArray frame = buffer.left(Mbap::frameLength(buffer));
        buffer.remove(0, frame.size());
        return frame;
    }
    bool dropped(int ms) {
        return QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, ms);
    }

    QTcpSocket socket;
    QByteArray buffer;
};

// A client that is to be dropped and a good one beside it.
struct ClientPair {
    Client bad;
    Client good;
    quint16 badPort = 0; // the bad client's own port, by which the gateway names it
};

// Gateways kept over the rows of a table, one for each set of options the rows start one with,
// so that each row does not wait out a start and its first round's reply windows again. They
// start side by side.
class SharedGateway {
public:
    // Starts a gateway for each of `optionSets` not running yet, and waits for their first rounds.
    bool prepare(const QList<QStringList> &optionSets, const QString &addresses) {
        std::vector<Gateway *> launched;
        for (const QStringList &options : optionSets) {
            const QStringList key = options + QStringList{addresses};
            if (gateways.count(key) == 0) {
                auto dir = std::make_unique<QTemporaryDir>();
                auto gateway = std::make_unique<Gateway>(dir->path());
                dirs.push_back(std::move(dir));
                if (!gateway->launch(options, addresses)) {
                    return false;
                }
                launched.push_back(gateway.get());
                gateways[key] = std::move(gateway);
            }
        }
        for (Gateway *gateway : launched) {
            if (!gateway->firstRound()) {
                return false;
            }
        }
        return true;
    }
    Gateway *get(const QStringList &options, const QString &addresses) {
        if (!prepare({options}, addresses)) {
            return nullptr;
        }
        return gateways.at(options + QStringList{addresses}).get();
    }
    void reset() {
        gateways.clear();
        dirs.clear();
    }

private:
    // Made before their gateways, gone after them.
    std::vector<std::unique_ptr<QTemporaryDir>> dirs;
    std::map<QStringList, std::unique_ptr<Gateway>> gateways;
};

// What every gateway of requests' rows is started with besides the row's own options.
const QStringList kRequestsOptions{"--interval", "60", "--timeout", "150"};

} // namespace

class TstServe : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanupTestCase();
    void mbpollBesideThePolls();
    void requests_data();
    void requests();
    void silentUnit();
    void portLost();
    void clientLimit();
    void droppedAlone_data();
    void droppedAlone();

private:
    SharedGateway shared;
    QList<QStringList> requestOptionSets;         // of requests' rows, each once
    std::map<QByteArray, QByteArray> droppedSent; // droppedAlone's rows: what the bad client sends
    std::map<QByteArray, std::unique_ptr<ClientPair>> droppedRuns;
};

// The shared gateway serves the rows of one function only.
void TstServe::init() {
    static QByteArray function;
    if (function != QTest::currentTestFunction()) {
        function = QTest::currentTestFunction();
        shared.reset();
    }
}

void TstServe::cleanupTestCase() {
    shared.reset();
}

// An independent master reads every live register of two units through the gateway while the
// gateway writes its rows and publishes them; the bus never hears two requests in a row.
void TstServe::mbpollBesideThePolls() {
    const QString mbpoll = QStandardPaths::findExecutable(QStringLiteral("mbpoll"));
    if (mbpoll.isEmpty()) {
        QSKIP("mbpoll is not installed (Debian package mbpoll)");
    }
    ScopedWorkDir dir;
    MqttBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.error()));
    Gateway gateway;
    const QString csv = dir.path() + "/bus.csv";
    QVERIFY(gateway.start({"--interval", "0.1", "--csv", csv, "--mqtt", broker.url()}, "11,12"));
    for (const char *unit : {"11", "12"}) {
        QProcess master;
        // Registers 1..8 of mbpoll: the live block, hundredths and tenths.
        master.start(mbpoll, {"-m", "tcp", "-p", QString::number(gateway.port), "-a", unit, "-r", "1", "-c",
                              "8", "-1", "127.0.0.1"});
        QVERIFY(gateway.waitFor([&] { return master.state() == QProcess::NotRunning; }, 10000));
        QCOMPARE(master.exitCode(), 0);
        QCOMPARE(master.readAllStandardOutput().count("]: \t"), 8);
    }
    const int rows = gateway.out.count('\n');
    QVERIFY(gateway.waitFor([&] { return gateway.out.count('\n') >= rows + 4; }, 5000));
    QCOMPARE(gateway.overlaps, 0);
    QVERIFY(gateway.err.contains("serve 127.0.0.1:"));
    QVERIFY(QFileInfo(csv).size() > 0);
}

void TstServe::requests_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("request"); // hex
    QTest::addColumn<QByteArray>("reply");   // hex, the whole reply or its start
    QTest::addColumn<bool>("onWire");
    const auto row = [this](const char *name, const QStringList &options, const char *request,
                            const char *reply, bool onWire) {
        QTest::newRow(name) << options << QByteArray(request) << QByteArray(reply) << onWire;
        const QStringList started = options + kRequestsOptions;
        if (!requestOptionSets.contains(started)) {
            requestOptionSets << started;
        }
    };
    const QStringList safe{"--serve-writes"};
    const QStringList all{"--serve-writes=all"};
    // Rows of the same options share one gateway; the first row starts them all.
    row("read, the client's tid", {}, "1234 0000 0006 0b 03 0100 0001", "1234 0000 0005 0b 03 02 000b", true);
    row("unit off the bus", {}, "0001 0000 0006 1e 03 0000 0004", "0001 0000 0003 1e 83 0b", false);
    row("silent unit", {}, "0002 0000 0006 14 03 0000 0004", "0002 0000 0003 14 83 0b", true);
    row("write, none allowed", {}, "0003 0000 0006 0b 06 0109 0001", "0003 0000 0003 0b 86 01", false);
    row("read without its count", {}, "000b 0000 0004 0b 03 0100", "000b 0000 0003 0b 83 03", false);
    row("live read, no cache", {}, "000a 0000 0006 0b 03 0000 0004", "000a 0000 000b 0b 03 08", true);
    row("write allowed", safe, "0004 0000 0006 0b 06 0109 0001", "0004 0000 0006 0b 06 0109 0001", true);
    row("address write, safe only", safe, "0005 0000 0006 0b 06 0100 000b", "0005 0000 0003 0b 86 01", false);
    row("block write over the rate", safe, "0006 0000 000b 0b 10 0100 0002 04 000b 0004",
        "0006 0000 0003 0b 90 01", false);
    row("block write, count and bytes differ", safe, "000c 0000 0009 0b 10 0109 0002 02 0001",
        "000c 0000 0003 0b 90 03", false);
    row("address write, all", all, "0007 0000 0006 0b 06 0100 000b", "0007 0000 0006 0b 06 0100 000b", true);
    row("coil write", all, "0008 0000 0006 0b 05 0000 ff00", "0008 0000 0003 0b 85 01", false);
    row("live read from the poll", {"--serve-cache", "60000"}, "0009 0000 0006 0b 03 0000 0004",
        "0009 0000 000b 0b 03 08", false);
}

void TstServe::requests() {
    QFETCH(QStringList, options);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(bool, onWire);
    ScopedWorkDir dir;
    QVERIFY(shared.prepare(requestOptionSets, "11,20"));
    Gateway *const started = shared.get(options + kRequestsOptions, "11,20");
    QVERIFY(started);
    Gateway &gateway = *started;
    const int errBefore = gateway.err.size();
    const QByteArray rtu = Mbap::unwrap(QByteArray::fromHex(request));
    const int before = gateway.heardFor(rtu);
    Client client;
    QVERIFY(client.connectTo(gateway.port));
    client.send(request);
    const QByteArray answer = client.reply();
    const QByteArray expected = QByteArray::fromHex(reply);
    QCOMPARE(answer.left(expected.size()).toHex(), expected.toHex());
    QCOMPARE(Mbap::frameLength(answer), answer.size());
    QCOMPARE(gateway.heardFor(rtu) - before, onWire ? 1 : 0);
    const QByteArray traced = "tid " + QByteArray::number(Mbap::transactionId(answer)) + " unit ";
    QVERIFY(gateway.waitFor([&] { return gateway.err.mid(errBefore).contains(traced); }, 2000));
}

// A request for the silent unit gets 0x0B within its window, and one for the other unit sent
// just after it waits that window at most. A client that goes while its requests wait leaves
// none behind: the one on the wire runs out, the others never go out.
void TstServe::silentUnit() {
    ScopedWorkDir dir;
    Gateway gateway;
    QVERIFY(gateway.start({"--interval", "60", "--timeout", "150"}));
    Client silent;
    Client other;
    QVERIFY(silent.connectTo(gateway.port) && other.connectTo(gateway.port));
    QElapsedTimer clock;
    clock.start();
    silent.send("0001 0000 0006 14 03 0000 0004");
    other.send("0002 0000 0006 0b 03 0100 0001");
    QCOMPARE(silent.reply().toHex(), QByteArray("00010000000314830b"));
    const qint64 silentMs = clock.elapsed();
    QCOMPARE(other.reply().toHex(), QByteArray("0002000000050b0302000b"));
    QVERIFY2(silentMs < 1000 && clock.elapsed() < silentMs + 300,
             qPrintable(QStringLiteral("%1 ms, %2 ms").arg(silentMs).arg(clock.elapsed())));
    QCOMPARE(gateway.overlaps, 0);

    const QByteArray toSilent = Mbap::unwrap(QByteArray::fromHex("0001 0000 0006 14 03 0000 0004"));
    const int before = gateway.heardFor(toSilent);
    // Sixteen requests awaiting replies, then one more: busy (0x06) at once.
    for (int tid = 1; tid <= 17; ++tid) {
        silent.send(QByteArray::number(tid, 16).rightJustified(4, '0') + "0000 0006 14 03 0000 0004");
    }
    QCOMPARE(silent.reply().toHex(), QByteArray("001100000003148306"));
    QVERIFY(gateway.waitFor([&] { return gateway.heardFor(toSilent) > before; }, 2000));
    silent.socket.abort();
    QVERIFY(gateway.waitFor([&] { return gateway.err.contains(" left"); }, 2000));
    other.send("0003 0000 0006 0b 03 0100 0001");
    QCOMPARE(other.reply().toHex(), QByteArray("0003000000050b0302000b"));
    QCOMPARE(gateway.heardFor(toSilent) - before, 1);
}

// The port gone: 0x0A at once, the client stays; back, the unit answers again.
void TstServe::portLost() {
    ScopedWorkDir dir;
    Gateway gateway;
    QVERIFY(gateway.start({"--interval", "0.2"}, "11"));
    Client client;
    QVERIFY(client.connectTo(gateway.port));
    gateway.sim.vanish();
    QVERIFY(gateway.waitFor([&] { return gateway.err.contains("lost"); }, 3000));
    client.send("0001 0000 0006 0b 03 0100 0001");
    QCOMPARE(client.reply().toHex(), QByteArray("0001000000030b830a"));
    const int answered = gateway.out.count("  ok");
    QVERIFY(gateway.sim.reappear());
    QVERIFY(gateway.waitFor([&] { return gateway.out.count("  ok") > answered; }, 10000));
    client.send("0002 0000 0006 0b 03 0100 0001");
    QCOMPARE(client.reply().toHex(), QByteArray("000200000005") + "0b0302000b");
}

// Nine clients against the default eight: the ninth is refused at connect and said; the eight
// are served.
void TstServe::clientLimit() {
    ScopedWorkDir dir;
    Gateway gateway;
    QVERIFY(gateway.start({"--interval", "60", "--timeout", "150"}));
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 9; ++i) {
        clients.push_back(std::make_unique<Client>());
        QVERIFY(clients.back()->connectTo(gateway.port));
        QVERIFY(gateway.waitFor([&] { return gateway.err.count("serve: client") > i; }, 2000));
    }
    QVERIFY(clients.back()->dropped(2000));
    QCOMPARE(gateway.err.count("refused: 8 clients already"), 1);
    clients.pop_back();
    for (const auto &client : clients) {
        client->send("00ff 0000 0006 0b 03 0100 0001");
    }
    for (const auto &client : clients) {
        QCOMPARE(client->reply().toHex(), QByteArray("00ff000000050b0302000b"));
    }
}

void TstServe::droppedAlone_data() {
    QTest::addColumn<QByteArray>("said");
    const auto add = [this](const char *name, const QByteArray &sent, const QByteArray &said) {
        QTest::newRow(name) << said;
        droppedSent[name] = sent;
    };
    add("protocol id 1", "0001 0001 0006 0b 03 0100 0001", "dropped: not a Modbus TCP frame");
    add("length over 260 bytes", "0001 0000 00ff 0b 10 0000 007b f6", "dropped: not a Modbus TCP frame");
    add("silent for --serve-idle", QByteArray(), "dropped: nothing sent for 1 s");
}

// A client that sends what is no frame (`sent`, hex), or nothing, is dropped; the client beside
// it and the polling go on. The first row runs every row's pair of clients side by side, the
// silent one waiting out --serve-idle meanwhile; each row then checks its own.
void TstServe::droppedAlone() {
    QFETCH(QByteArray, said);
    ScopedWorkDir dir;
    Gateway *const started = shared.get({"--interval", "0.1", "--serve-idle", "1"}, "11");
    QVERIFY(started);
    Gateway &gateway = *started;
    if (droppedRuns.empty()) {
        for (const auto &[name, sent] : droppedSent) {
            auto pair = std::make_unique<ClientPair>();
            QVERIFY(pair->bad.connectTo(gateway.port) && pair->good.connectTo(gateway.port));
            pair->badPort = pair->bad.socket.localPort();
            pair->bad.send(sent);
            droppedRuns[name] = std::move(pair);
        }
        const auto allDropped = [&] {
            for (const auto &run : droppedRuns) {
                if (run.second->bad.socket.state() != QAbstractSocket::UnconnectedState) {
                    return false;
                }
            }
            return true;
        };
        // The good clients are served all along, their idle time restarting with every request.
        QElapsedTimer clock;
        clock.start();
        while (!QTest::qWaitFor(allDropped, 200) && clock.elapsed() < 3000) {
            for (const auto &run : droppedRuns) {
                Client &good = run.second->good;
                good.send("0001 0000 0006 0b 03 0100 0001");
                QCOMPARE(good.reply().toHex(), QByteArray("000100000005") + "0b0302000b");
            }
        }
    }
    const std::unique_ptr<ClientPair> pair = std::move(droppedRuns[QTest::currentDataTag()]);
    QVERIFY(pair);
    QVERIFY(pair->bad.dropped(0));
    // Said of this client, by its port.
    const QByteArray saidOfIt = ':' + QByteArray::number(pair->badPort) + ' ' + said;
    QVERIFY2(gateway.waitFor([&] { return gateway.err.contains(saidOfIt); }, 2000), gateway.err.constData());
    QCOMPARE(pair->good.socket.state(), QAbstractSocket::ConnectedState);
    const int rows = gateway.out.count('\n');
    QVERIFY(gateway.waitFor([&] { return gateway.out.count('\n') > rows; }, 2000));
}

QTEST_GUILESS_MAIN(TstServe)
#include "tst_serve.moc"
