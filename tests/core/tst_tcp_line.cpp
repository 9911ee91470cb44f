// The line over TCP: port strings, MBAP frames against worked examples, the Modbus TCP exchange
// on a fake clock, and whole flows against the simulated serial server on loopback in both
// framings, with an independent master reading the same server.
#include "core/device/register_map.h"
#include "core/modbus/mbap_frame.h"
#include "core/modbus/modbus_frame.h"
#include "core/modbus/modbus_line.h"
#include "core/modbus/port_address.h"
#include "core/modbus/port_factory.h"
#include "sim/tcp_transmitter.h"
#include "tests/support/fake_line.h"
#include "tests/support/frames.h"
#include "tests/support/harness.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>

namespace {

const QByteArray kPoll = buildReadRequest(1, Reg::LiveHundredths, Reg::LiveBlockCount);
const QByteArray kInfo = buildReadRequest(1, Reg::SlaveAddress, Reg::DeviceInfoCount);

// A fake port that frames as Modbus TCP.
class FakeTcpPort : public FakePort {
public:
    bool isNetwork() const override { return true; }
    bool isMbap() const override { return true; }
};

QString outcomeOf(const LineReply *reply) {
    return QString::fromLatin1(
        QMetaEnum::fromType<LineReply::Outcome>().valueToKey(static_cast<int>(reply->outcome())));
}

// Sends `frame` and waits (in real time) for the outcome.
QString exchange(ModbusLine &line, const QByteArray &frame, QByteArray *replyFrame = nullptr) {
    LineReply *reply = line.send(frame);
    QSignalSpy done(reply, &LineReply::finished);
    if (!reply->isFinished() && !done.wait(5000)) {
        return QStringLiteral("hung");
    }
    if (replyFrame) {
        *replyFrame = reply->frame();
    }
    const QString outcome = outcomeOf(reply);
    delete reply;
    return outcome;
}

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

class TestTcpLine : public QObject {
    Q_OBJECT

private slots:
    void addresses_data();
    void addresses();
    void mbap_data();
    void mbap();
    void fakeClock_data();
    void fakeClock();
    void loopback_data();
    void loopback();
    void recovers_data();
    void recovers();
    void independentMaster_data();
    void independentMaster();
};

void TestTcpLine::addresses_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("parsed"); // kind host port, or "Invalid"
    QTest::newRow("device path") << "/dev/ttyUSB0"
                                 << "Serial /dev/ttyUSB0 0";
    QTest::newRow("tcp, default port") << "tcp://10.0.0.7"
                                       << "ModbusTcp 10.0.0.7 502";
    QTest::newRow("tcp, host name") << "tcp://gw-3.plant:1502"
                                    << "ModbusTcp gw-3.plant 1502";
    QTest::newRow("tcp, IPv6") << "tcp://[fe80::1%eth0]:5020"
                               << "ModbusTcp fe80::1%eth0 5020";
    QTest::newRow("rtu over tcp") << "rtu+tcp://[::1]:4001"
                                  << "RtuOverTcp ::1 4001";
    QTest::newRow("rtu over tcp needs a port") << "rtu+tcp://10.0.0.7"
                                               << "Invalid";
    QTest::newRow("IPv6 without brackets") << "tcp://::1:502"
                                           << "Invalid";
    QTest::newRow("bracketed name") << "tcp://[plant]:502"
                                    << "Invalid";
    QTest::newRow("port 0") << "tcp://10.0.0.7:0"
                            << "Invalid";
    QTest::newRow("port too high") << "tcp://10.0.0.7:65536"
                                   << "Invalid";
    QTest::newRow("unknown scheme") << "udp://10.0.0.7:502"
                                    << "Invalid";
    QTest::newRow("empty") << ""
                           << "Invalid";
}

void TestTcpLine::addresses() {
    QFETCH(QString, text);
    QFETCH(QString, parsed);
    const PortAddress address = PortAddress::parse(text);
    static const char *const kinds[] = {"Serial", "ModbusTcp", "RtuOverTcp", "Invalid"};
    const QString kind = QString::fromLatin1(kinds[static_cast<int>(address.kind)]);
    QCOMPARE(address.kind == PortAddress::Kind::Invalid
                 ? kind
                 : QStringLiteral("%1 %2 %3").arg(kind, address.host).arg(address.port),
             parsed);
    QCOMPARE(address.error.isEmpty(), address.kind != PortAddress::Kind::Invalid);
    QString error;
    LinePort *port = makeLinePort(text, &error);
    QCOMPARE(port != nullptr, address.kind != PortAddress::Kind::Invalid);
    QCOMPARE(port && port->isNetwork(), address.isNetwork());
    QCOMPARE(error, address.error);
    delete port;
}

// Wire bytes against worked examples: the request wrapped, a reply's frame length, whether it
// answers the request, and the RTU frame it unwraps to.
void TestTcpLine::mbap_data() {
    QTest::addColumn<QByteArray>("rtu");
    QTest::addColumn<int>("tid");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("answers"); // strict, any id only, no
    const QByteArray poll = kPoll;
    QTest::newRow("read 4 at 0 from unit 1")
        << poll << 1 << hexBytes("00 01 00 00 00 06 01 03 00 00 00 04")
        << hexBytes("00 01 00 00 00 0b 01 03 08 00 01 00 02 00 03 00 04") << 17 << "strict";
    QTest::newRow("high tid, exception")
        << buildWriteRequest(7, Reg::Heater, 1) << 0xfffe << hexBytes("ff fe 00 00 00 06 07 06 01 09 00 01")
        << hexBytes("ff fe 00 00 00 03 07 86 02") << 9 << "strict";
    QTest::newRow("tid 0 back") << poll << 5 << hexBytes("00 05 00 00 00 06 01 03 00 00 00 04")
                                << hexBytes("00 00 00 00 00 03 01 83 02") << 9 << "any id only";
    QTest::newRow("other unit") << poll << 1 << hexBytes("00 01 00 00 00 06 01 03 00 00 00 04")
                                << hexBytes("00 01 00 00 00 03 02 83 02") << 9 << "no";
    QTest::newRow("other function") << poll << 1 << hexBytes("00 01 00 00 00 06 01 03 00 00 00 04")
                                    << hexBytes("00 01 00 00 00 03 01 84 02") << 9 << "no";
    QTest::newRow("incomplete") << poll << 1 << hexBytes("00 01 00 00 00 06 01 03 00 00 00 04")
                                << hexBytes("00 01 00 00 00 0b 01 03 08 00") << 0 << "no";
    QTest::newRow("protocol id not 0") << poll << 1 << hexBytes("00 01 00 00 00 06 01 03 00 00 00 04")
                                       << hexBytes("00 01 00 01 00 03 01 83 02") << -1 << "no";
    QTest::newRow("length 1") << poll << 1 << hexBytes("00 01 00 00 00 06 01 03 00 00 00 04")
                              << hexBytes("00 01 00 00 00 01 01") << -1 << "no";
    QTest::newRow("too short to wrap") << hexBytes("01 03") << 1 << QByteArray() << QByteArray() << 0 << "no";
}

void TestTcpLine::mbap() {
    QFETCH(QByteArray, rtu);
    QFETCH(int, tid);
    QFETCH(QByteArray, wire);
    QFETCH(QByteArray, reply);
    QFETCH(int, length);
    QFETCH(QString, answers);
    QCOMPARE(Mbap::wrap(rtu, static_cast<quint16>(tid)).toHex(' '), wire.toHex(' '));
    QCOMPARE(Mbap::frameLength(reply), length);
    if (length <= 0) {
        return;
    }
    QCOMPARE(Mbap::answers(reply, wire, false), answers == "strict");
    QCOMPARE(Mbap::answers(reply, wire, true), answers != "no");
    const QByteArray back = Mbap::unwrap(reply);
    QVERIFY(crcIntact(back));
    QCOMPARE(back.left(back.size() - 2), reply.mid(6));
    // Wrapping the unwrapped frame gives the wire bytes again.
    QCOMPARE(Mbap::wrap(back, Mbap::transactionId(reply)), reply);
}

// Modbus TCP on a fake clock: steps "s" sends the poll, "p TID" pushes the poll's reply with that
// transaction id ("h TID" in two pieces), "f" a flood of 0xFF, "t N" advances the clock. The
// poll's window at 9600 baud with a 100 ms margin is 22 + 100 ms.
void TestTcpLine::fakeClock_data() {
    QTest::addColumn<QString>("steps");
    QTest::addColumn<int>("pauseMs");
    QTest::addColumn<QString>("outcomes");
    QTest::addColumn<QString>("trace"); // tx/rx/discarded and the transaction id
    QTest::newRow("ids count up") << "s,p 1,s,p 2" << 0 << "Answer Answer"
                                  << "tx1 rx1 tx2 rx2";
    QTest::newRow("reply in two pieces") << "s,h 1" << 0 << "Answer"
                                         << "tx1 rx1";
    QTest::newRow("flood closes the line") << "s,f" << 0 << "Flood"
                                           << "tx1";
    QTest::newRow("late reply discarded, not taken for the next")
        << "s,t 123,s,p 1,p 2" << 0 << "NoReply Answer"
        << "tx1 tx2 discarded1 rx2";
    QTest::newRow("second waits for the first") << "s,s,t 50,p 1" << 0 << "Answer Waiting"
                                                << "tx1 rx1 tx2";
    QTest::newRow("pause between requests") << "s,s,p 1,t 49" << 50 << "Answer Waiting"
                                            << "tx1 rx1";
    QTest::newRow("pause passed") << "s,s,p 1,t 50" << 50 << "Answer Waiting"
                                  << "tx1 rx1 tx2";
    QTest::newRow("three silent windows: half-open")
        << "s,t 123,s,t 123,s,t 123,s" << 0 << "NoReply NoReply NoReply PortLost"
        << "tx1 tx2 tx3";
    QTest::newRow("a reply in between keeps it open")
        << "s,t 123,s,t 123,s,p 3,s,t 123,s,t 123" << 0 << "NoReply NoReply Answer NoReply NoReply"
        << "tx1 tx2 tx3 rx3 tx4 tx5";
}

void TestTcpLine::fakeClock() {
    QFETCH(QString, steps);
    QFETCH(int, pauseMs);
    QFETCH(QString, outcomes);
    QFETCH(QString, trace);
    FakeClock clock;
    auto *port = new FakeTcpPort;
    ModbusLine line(port, clock);
    LineTimes times;
    times.networkTimeoutMs = 100;
    times.pauseMs = pauseMs;
    line.setTimes(times);
    QStringList traced;
    connect(&line, &ModbusLine::traced, [&traced](const QByteArray &bytes, ModbusLine::Trace kind) {
        traced << QString::fromLatin1(
                      QMetaEnum::fromType<ModbusLine::Trace>().valueToKey(static_cast<int>(kind)))
                          .toLower() +
                      QString::number(Mbap::transactionId(bytes));
    });
    QVERIFY(line.open(9600));
    QVector<LineReply *> replies;
    for (const QString &step : steps.split(',')) {
        if (step == "s") {
            replies << line.send(kPoll);
            replies.last()->setParent(&line);
        } else if (step.startsWith("p ") || step.startsWith("h ")) {
            const QByteArray adu =
                Mbap::wrap(readReplyFrame({1, 2, 3, 4}), static_cast<quint16>(step.mid(2).toInt()));
            // "h": the header and a part of the PDU first, the rest in the next segment.
            const int cut = step.startsWith('h') ? 9 : adu.size();
            port->fake.push(adu.left(cut));
            port->fake.push(adu.mid(cut));
        } else if (step == "f") {
            port->fake.push(QByteArray(Rx::MaxBuffer, '\xff'));
        } else {
            clock.advance(step.mid(2).toInt());
        }
    }
    QCoreApplication::processEvents();
    QStringList got;
    for (const LineReply *reply : replies) {
        got << outcomeOf(reply);
    }
    QCOMPARE(got.join(' '), outcomes);
    QCOMPARE(traced.join(' '), trace);
    if (outcomes.endsWith("Answer Answer")) {
        QCOMPARE(replies.last()->frame(), readReplyFrame({1, 2, 3, 4}));
    }
}

// Against the simulated server on loopback, in real time: the info read answered as over a
// serial line, a late reply, a transaction id not echoed.
void TestTcpLine::loopback_data() {
    QTest::addColumn<bool>("rtu");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<bool>("wrongTid");
    QTest::addColumn<bool>("anyId");
    QTest::addColumn<QString>("outcomes"); // of two info reads, the server answering at once for the second
    QTest::newRow("modbus tcp") << false << 0 << false << false << "Answer Answer";
    QTest::newRow("rtu over tcp") << true << 0 << false << false << "Answer Answer";
    QTest::newRow("late reply discarded") << false << 300 << false << false << "NoReply Answer";
    QTest::newRow("transaction id 0 rejected") << false << 0 << true << false << "NoReply NoReply";
    QTest::newRow("transaction id 0 accepted with any id") << false << 0 << true << true << "Answer Answer";
}

void TestTcpLine::loopback() {
    QFETCH(bool, rtu);
    QFETCH(int, delayMs);
    QFETCH(bool, wrongTid);
    QFETCH(bool, anyId);
    QFETCH(QString, outcomes);
    TcpTransmitter sim;
    sim.setFraming(rtu ? TcpTransmitter::Framing::Rtu : TcpTransmitter::Framing::ModbusTcp);
    sim.setReplyDelay(delayMs);
    sim.setWrongTransactionId(wrongTid);
    QVERIFY(sim.listen(QHostAddress::LocalHost, 0));
    ModbusLine line(makeLinePort(sim.portString()));
    LineTimes times;
    times.networkTimeoutMs = 150;
    times.anyTransactionId = anyId;
    line.setTimes(times);
    int discarded = 0;
    connect(&line, &ModbusLine::traced, [&discarded](const QByteArray &, ModbusLine::Trace kind) {
        discarded += kind == ModbusLine::Trace::Discarded;
    });
    QVERIFY(line.open(9600));
    QByteArray first;
    QByteArray second;
    const QString one = exchange(line, kInfo, &first);
    sim.setReplyDelay(0);
    const QString two = exchange(line, kInfo, &second);
    QCOMPARE(one + ' ' + two, outcomes);
    // Decoders see the same frame as from a serial line.
    const QByteArray expected = Transmitter().handleRequest(kInfo);
    QCOMPARE(second.isEmpty() ? expected : second, expected);
    if (delayMs > 0) {
        // The late reply came while the second request waited and was dropped, not taken.
        QTRY_COMPARE(discarded, 1);
    }
    QCOMPARE(line.state(), ModbusLine::State::Open);
}

// A connection refused, dropped in the middle of a request, or half-open: said once as a lost
// port, and the line reconnects by itself and answers again.
void TestTcpLine::recovers_data() {
    QTest::addColumn<bool>("rtu");
    QTest::addColumn<QString>("fault");
    QTest::newRow("refused") << false << "refused";
    QTest::newRow("dropped mid-request") << true << "drop";
    QTest::newRow("half-open") << false << "silent";
}

void TestTcpLine::recovers() {
    QFETCH(bool, rtu);
    QFETCH(QString, fault);
    const quint16 port = freePort();
    TcpTransmitter sim;
    sim.setFraming(rtu ? TcpTransmitter::Framing::Rtu : TcpTransmitter::Framing::ModbusTcp);
    if (fault != "refused") {
        QVERIFY(sim.listen(QHostAddress::LocalHost, port));
    }
    sim.setDropAfter(fault == "drop" ? 1 : -1);
    sim.setFault(fault == "silent" ? SimFault::Silence : SimFault::None);
    ModbusLine line(makeLinePort(QStringLiteral("%1://127.0.0.1:%2").arg(rtu ? "rtu+tcp" : "tcp").arg(port)));
    LineTimes times;
    times.networkTimeoutMs = 100;
    times.watchFirstMs = 50;
    times.watchMaxMs = 200;
    line.setTimes(times);
    QSignalSpy lost(&line, &ModbusLine::portLost);
    QSignalSpy back(&line, &ModbusLine::portBack);
    QVERIFY(line.open(9600));
    QSignalSpy retried(&line, &ModbusLine::reopenFailed);
    if (fault == "refused") {
        QVERIFY(lost.wait(2000));
        // Refused again while the server is away: failed attempts, not a port back.
        QTRY_VERIFY_WITH_TIMEOUT(retried.count() >= 2, 3000);
        QCOMPARE(back.count(), 0);
        QVERIFY(sim.listen(QHostAddress::LocalHost, port));
    } else if (fault == "drop") {
        QCOMPARE(exchange(line, kPoll), QStringLiteral("Answer"));
        QCOMPARE(exchange(line, kPoll), QStringLiteral("PortLost"));
    } else {
        QCOMPARE(exchange(line, kPoll) + exchange(line, kPoll) + exchange(line, kPoll),
                 QStringLiteral("NoReplyNoReplyNoReply"));
        sim.setFault(SimFault::None);
    }
    QCOMPARE(lost.count(), 1);
    QVERIFY(back.wait(3000));
    QCOMPARE(exchange(line, kPoll), QStringLiteral("Answer"));
    QCOMPARE(lost.count(), 1);
    QCOMPARE(sim.connections(), fault == "refused" ? 1 : 2);
}

// mbpoll, an independent Modbus TCP master, reads the simulated transmitter: its live block from
// the server in this process (on a standing clock), and the identity block from the zrsim
// program started with --listen.
void TestTcpLine::independentMaster_data() {
    QTest::addColumn<bool>("program");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("count");
    QTest::newRow("live block, in process") << false << 1 << int(Reg::LiveHundredths) << 4;
    QTest::newRow("identity block, zrsim --listen")
        << true << 7 << int(Reg::SlaveAddress) << int(Reg::DeviceInfoCount);
}

void TestTcpLine::independentMaster() {
    QFETCH(bool, program);
    QFETCH(int, address);
    QFETCH(int, start);
    QFETCH(int, count);
    const QString mbpoll = QStandardPaths::findExecutable(QStringLiteral("mbpoll"));
    if (mbpoll.isEmpty()) {
        QSKIP(
            "mbpoll is not installed (scripts/setup.sh installs it): the independent master is not checked");
    }
    TransmitterConfig config;
    config.address = static_cast<quint8>(address);
    config.firmware = 123;
    TcpTransmitter sim(config);
    const QDateTime at = QDateTime::fromSecsSinceEpoch(1700000000);
    sim.model().setTimeSource([at] { return at; });
    QProcess zrsim;
    QString where;
    if (program) {
        zrsim.start(QStringLiteral(ZRSIM_PATH),
                    {"--listen", "0", "--address", QString::number(address), "--firmware", "123"});
        QVERIFY(zrsim.waitForReadyRead(5000));
        where = QString::fromLatin1(zrsim.readLine()).trimmed();
    } else {
        QVERIFY(sim.listen(QHostAddress::LocalHost, 0));
        where = sim.portString();
    }
    const PortAddress served = PortAddress::parse(where);
    QCOMPARE(served.kind, PortAddress::Kind::ModbusTcp);
    qRegisterMetaType<QProcess::ExitStatus>();
    QProcess master;
    master.start(mbpoll, {"-m", "tcp", "-a", QString::number(address), "-r", QString::number(start + 1), "-c",
                          QString::number(count), "-1", "-p", QString::number(served.port), served.host});
    QSignalSpy done(&master, qOverload<int, QProcess::ExitStatus>(&QProcess::finished));
    QVERIFY(done.wait(10000));
    zrsim.terminate();
    zrsim.waitForFinished(5000);
    const QString out = QString::fromLocal8Bit(master.readAllStandardOutput());
    QCOMPARE(master.exitCode(), 0);
    QRegularExpressionMatchIterator it =
        QRegularExpression(QStringLiteral("\\[(\\d+)\\]:\\s+(-?\\d+)")).globalMatch(out);
    int values = 0;
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const quint16 reg = static_cast<quint16>(m.captured(1).toInt() - 1);
        QCOMPARE(static_cast<quint16>(m.captured(2).toInt()), sim.model().registerValue(reg));
        ++values;
    }
    QCOMPARE(values, count);
}

QTEST_GUILESS_MAIN(TestTcpLine)
#include "tst_tcp_line.moc"
