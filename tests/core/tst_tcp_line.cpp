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
    void independentMaster();
};

void TestTcpLine::addresses_data() {
    QTest::addColumn<QString>("row"); // the text, " => ", then kind host port, or "Invalid"
    QTest::newRow("device path") << QStringLiteral("/dev/ttyUSB0 => Serial /dev/ttyUSB0 0");
    QTest::newRow("tcp, default port") << QStringLiteral("tcp://10.0.0.7 => ModbusTcp 10.0.0.7 502");
    QTest::newRow("tcp, host name") << QStringLiteral("tcp://gw-3.plant:1502 => ModbusTcp gw-3.plant 1502");
    QTest::newRow("tcp, IPv6") << QStringLiteral("tcp://[fe80::1%eth0]:5020 => ModbusTcp fe80::1%eth0 5020");
    QTest::newRow("rtu over tcp") << QStringLiteral("rtu+tcp://[::1]:4001 => RtuOverTcp ::1 4001");
    QTest::newRow("rtu over tcp needs a port") << QStringLiteral("rtu+tcp://10.0.0.7 => Invalid");
    QTest::newRow("IPv6 without brackets") << QStringLiteral("tcp://::1:502 => Invalid");
    QTest::newRow("bracketed name") << QStringLiteral("tcp://[plant]:502 => Invalid");
    QTest::newRow("port 0") << QStringLiteral("tcp://10.0.0.7:0 => Invalid");
    QTest::newRow("port too high") << QStringLiteral("tcp://10.0.0.7:65536 => Invalid");
    QTest::newRow("unknown scheme") << QStringLiteral("udp://10.0.0.7:502 => Invalid");
    QTest::newRow("empty") << QStringLiteral(" => Invalid");
}

void TestTcpLine::addresses() {
    QFETCH(QString, row);
    const QString text = row.section(QStringLiteral(" => "), 0, 0);
    const QString parsed = row.section(QStringLiteral(" => "), 1);
    const PortAddress address = PortAddress::parse(text);
    static const char *const kinds[] = {"Serial", "ModbusTcp", "RtuOverTcp", "Invalid"};
    const QString kind = QString::fromLatin1(kinds[static_cast<int>(address.kind)]);
    QCOMPARE(address.kind == PortAddress::Kind::Invalid
                 ? kind
                 : QStringLiteral("%1 %2 %3").arg(kind, address.host).arg(address.port),
             parsed);
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
    QTest::newRow("probe to unit 0, unit 1 answers")
        << hexBytes("00 03 01 00 00 0a c5 e0") << 1 << hexBytes("00 01 00 00 00 06 00 03 01 00 00 0a")
        << hexBytes("00 01 00 00 00 05 01 03 02 00 01") << 11 << "strict";
    QTest::newRow("other function") << poll << 1 << hexBytes("00 01 00 00 00 06 01 03 00 00 00 04")
                                    << hexBytes("00 01 00 00 00 03 01 84 02") << 9 << "no";
    QTest::newRow("incomplete") << poll << 1 << hexBytes("00 01 00 00 00 06 01 03 00 00 00 04")
                                << hexBytes("00 01 00 00 00 0b 01 03 08 00") << 0 << "no";
    QTest::newRow("protocol id not 0") << poll << 1 << hexBytes("00 01 00 00 00 06 01 03 00 00 00 04")
                                       << hexBytes("00 01 00 01 00 03 01 83 02") << -1 << "no";
    QTest::newRow("length 1") << poll << 1 << hexBytes("00 01 00 00 00 06 01 03 00 00 00 04")
                              << hexBytes("00 01 00 00 00 01 01") << -1 << "no";
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
    // Wrapping the unwrapped frame gives the wire bytes again.
    QCOMPARE(Mbap::wrap(back, Mbap::transactionId(reply)), reply);
}

// Modbus TCP on a fake clock: steps "s" sends the poll, "p TID" pushes the poll's reply with that
// transaction id ("h TID" in two pieces), "n" polls unit 9, which never answers, "f" a flood of
// 0xFF, "t N" advances the clock. The
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
    // A bus with silent units over a serial server: they do not make the connection half-open.
    QTest::newRow("a unit never answered does not count once others answer")
        << "s,p 1,n,t 123,n,t 123,n,t 123,s,p 5" << 0 << "Answer NoReply NoReply NoReply Answer"
        << "tx1 rx1 tx2 tx3 tx4 tx5 rx5";
    QTest::newRow("nor does it keep an answered unit's silence from counting")
        << "s,p 1,s,t 123,n,t 123,s,t 123,s,t 123,s" << 0 << "Answer NoReply NoReply NoReply NoReply PortLost"
        << "tx1 rx1 tx2 tx3 tx4 tx5";
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
        if (step == "s" || step == "n") {
            QByteArray poll = kPoll;
            if (step == "n") {
                poll = buildReadRequest(9, Reg::SlaveAddress, 2);
            }
            replies << line.send(poll);
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
}

// Against the simulated server on loopback, in real time. The server starts with `faults`
// ("delay" 200 ms, past the 100 ms window; "tid0"; "drop" after one request; "silent";
// "refused": not listening yet). Steps: "x" reads the info block, "l" waits for the port to be
// lost and then for two failed attempts to reconnect, "s" mends the server, "b" waits for the
// port to be back, "d" for a discarded frame. Answers must be the frame a serial line gives.
void TestTcpLine::loopback_data() {
    QTest::addColumn<bool>("rtu");
    QTest::addColumn<QString>("faults");
    QTest::addColumn<bool>("anyId");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("outcomes"); // then lost=, back= and connections=
    QTest::newRow("modbus tcp") << false << "" << false << "x,x"
                                << "Answer Answer 0 0 1";
    QTest::newRow("rtu over tcp") << true << "" << false << "x,x"
                                  << "Answer Answer 0 0 1";
    QTest::newRow("late reply discarded") << false << "delay" << false << "x,s,x,d"
                                          << "NoReply Answer 0 0 1";
    QTest::newRow("transaction id 0 rejected") << false << "tid0" << false << "x"
                                               << "NoReply 0 0 1";
    QTest::newRow("transaction id 0 with any id") << false << "tid0" << true << "x"
                                                  << "Answer 0 0 1";
    QTest::newRow("refused") << false << "refused" << false << "l,s,b,x"
                             << "Answer 1 1 1";
    QTest::newRow("dropped mid-request") << true << "drop" << false << "x,x,b,x"
                                         << "Answer PortLost Answer 1 1 2";
    QTest::newRow("half-open") << false << "silent" << false << "x,x,x,s,b,x"
                               << "NoReply NoReply NoReply Answer 1 1 2";
}

void TestTcpLine::loopback() {
    QFETCH(bool, rtu);
    QFETCH(QString, faults);
    QFETCH(bool, anyId);
    QFETCH(QString, steps);
    QFETCH(QString, outcomes);
    TcpTransmitter sim;
    sim.setFraming(rtu ? TcpTransmitter::Framing::Rtu : TcpTransmitter::Framing::ModbusTcp);
    sim.setReplyDelay(faults == "delay" ? 200 : 0);
    sim.setWrongTransactionId(faults == "tid0");
    sim.setDropAfter(faults == "drop" ? 1 : -1);
    sim.setFault(faults == "silent" ? SimFault::Silence : SimFault::None);
    quint16 port = 0;
    {
        QTcpServer probe; // a port nothing listens on
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }
    if (faults != "refused") {
        QVERIFY(sim.listen(QHostAddress::LocalHost, port));
    }
    ModbusLine line(makeLinePort(QStringLiteral("%1://127.0.0.1:%2").arg(rtu ? "rtu+tcp" : "tcp").arg(port)));
    LineTimes times;
    times.networkTimeoutMs = 100;
    times.anyTransactionId = anyId;
    times.watchFirstMs = 50;
    times.watchMaxMs = 200;
    line.setTimes(times);
    int discarded = 0;
    connect(&line, &ModbusLine::traced, [&discarded](const QByteArray &, ModbusLine::Trace kind) {
        discarded += kind == ModbusLine::Trace::Discarded;
    });
    QSignalSpy lost(&line, &ModbusLine::portLost);
    QSignalSpy back(&line, &ModbusLine::portBack);
    QSignalSpy retried(&line, &ModbusLine::reopenFailed);
    QVERIFY(line.open(9600));
    QStringList got;
    for (const QString &step : steps.split(',')) {
        if (step == "x") {
            QByteArray frame;
            got << exchange(line, kInfo, &frame);
            QVERIFY(frame.isEmpty() || frame == Transmitter().handleRequest(kInfo));
        } else if (step == "l") {
            QVERIFY(lost.wait(2000));
            // Refused again while the server is away: failed attempts, not a port back.
            QTRY_VERIFY_WITH_TIMEOUT(retried.count() >= 2, 3000);
            QCOMPARE(back.count(), 0);
        } else if (step == "s") {
            sim.setReplyDelay(0);
            sim.setFault(SimFault::None);
            QVERIFY(faults != "refused" || sim.listen(QHostAddress::LocalHost, port));
        } else if (step == "b") {
            QTRY_COMPARE_WITH_TIMEOUT(back.count(), 1, 3000);
        } else {
            // The late reply came after the next request went out, and was not taken for it.
            QTRY_COMPARE(discarded, 1);
        }
    }
    got << QString::number(lost.count()) << QString::number(back.count())
        << QString::number(sim.connections());
    QCOMPARE(got.join(' '), outcomes);
}

// mbpoll, an independent Modbus TCP master, reads the identity block from the zrsim program
// started with --listen.
void TestTcpLine::independentMaster() {
    const QString mbpoll = QStandardPaths::findExecutable(QStringLiteral("mbpoll"));
    if (mbpoll.isEmpty()) {
        QSKIP(
            "mbpoll is not installed (scripts/setup.sh installs it): the independent master is not checked");
    }
    QProcess zrsim;
    zrsim.start(QStringLiteral(ZRSIM_PATH), {"--listen", "0", "--address", "7", "--firmware", "123"});
    QVERIFY(zrsim.waitForReadyRead(5000));
    const PortAddress served = PortAddress::parse(QString::fromLatin1(zrsim.readLine()).trimmed());
    QCOMPARE(served.kind, PortAddress::Kind::ModbusTcp);
    QProcess master;
    master.start(mbpoll, {"-m", "tcp", "-a", "7", "-r", QString::number(Reg::SlaveAddress + 1), "-c",
                          QString::number(Reg::DeviceInfoCount), "-1", "-p", QString::number(served.port),
                          served.host});
    QVERIFY(master.waitForFinished(10000));
    zrsim.terminate();
    QVERIFY(zrsim.waitForFinished(5000));
    QCOMPARE(master.exitCode(), 0);
    TransmitterConfig config;
    config.address = 7;
    config.firmware = 123;
    Transmitter model(config);
    QStringList values;
    QStringList expected;
    QRegularExpressionMatchIterator it =
        QRegularExpression(QStringLiteral("\\[(\\d+)\\]:\\s+(-?\\d+)"))
            .globalMatch(QString::fromLocal8Bit(master.readAllStandardOutput()));
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        values << QString::number(static_cast<quint16>(m.captured(2).toInt()));
        expected << QString::number(model.registerValue(static_cast<quint16>(m.captured(1).toInt() - 1)));
    }
    QCOMPARE(values.size(), int(Reg::DeviceInfoCount));
    QCOMPARE(values, expected);
}

QTEST_GUILESS_MAIN(TestTcpLine)
#include "tst_tcp_line.moc"
