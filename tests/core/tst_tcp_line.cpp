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

#include <map>
#include <memory>

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

// A row of loopback.
struct LoopbackRow {
    bool rtu = false;
    QString faults;
    bool anyId = false;
    QString steps;
};

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

private:
    void runLoopbacks();
    std::map<QByteArray, LoopbackRow> loopbackRows;
    QHash<QByteArray, QString> loopbackResults; // the outcomes, or what did not come in time
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
    QTest::addColumn<QString>("outcomes"); // then lost=, back= and connections=
    const auto add = [this](const char *name, bool rtu, const QString &faults, bool anyId,
                            const QString &steps, const QString &outcomes) {
        QTest::newRow(name) << outcomes;
        loopbackRows[name] = LoopbackRow{rtu, faults, anyId, steps};
    };
    add("modbus tcp", false, "", false, "x,x", "Answer Answer 0 0 1");
    add("rtu over tcp", true, "", false, "x,x", "Answer Answer 0 0 1");
    add("late reply discarded", false, "delay", false, "x,s,x,d", "NoReply Answer 0 0 1");
    add("transaction id 0 rejected", false, "tid0", false, "x", "NoReply 0 0 1");
    add("transaction id 0 with any id", false, "tid0", true, "x", "Answer 0 0 1");
    add("refused", false, "refused", false, "l,s,b,x", "Answer 1 1 1");
    add("dropped mid-request", true, "drop", false, "x,x,b,x", "Answer PortLost Answer 1 1 2");
    add("half-open", false, "silent", false, "x,x,x,s,b,x", "NoReply NoReply NoReply Answer 1 1 2");
}

// The rows wait in real time for windows, losses and reconnections: the first row runs them all
// side by side, a step at a time, and each row checks its own outcome.
void TestTcpLine::runLoopbacks() {
    struct Run {
        QByteArray name;
        LoopbackRow row;
        TcpTransmitter sim;
        quint16 port = 0;
        std::unique_ptr<ModbusLine> line;
        int discarded = 0;
        std::unique_ptr<QSignalSpy> lost;
        std::unique_ptr<QSignalSpy> back;
        std::unique_ptr<QSignalSpy> retried;
        QStringList steps;
        QStringList got;
        LineReply *reply = nullptr;
        QElapsedTimer since;
        bool done = false;
    };
    std::vector<std::unique_ptr<Run>> runs;
    for (const auto &[name, row] : loopbackRows) {
        auto run = std::make_unique<Run>();
        run->name = name;
        run->row = row;
        const QString &faults = row.faults;
        TcpTransmitter &sim = run->sim;
        sim.setFraming(row.rtu ? TcpTransmitter::Framing::Rtu : TcpTransmitter::Framing::ModbusTcp);
        sim.setReplyDelay(faults == "delay" ? 200 : 0);
        sim.setWrongTransactionId(faults == "tid0");
        sim.setDropAfter(faults == "drop" ? 1 : -1);
        sim.setFault(faults == "silent" ? SimFault::Silence : SimFault::None);
        {
            QTcpServer probe; // a port nothing listens on
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            run->port = probe.serverPort();
        }
        if (faults != "refused") {
            QVERIFY(sim.listen(QHostAddress::LocalHost, run->port));
        }
        run->line = std::make_unique<ModbusLine>(makeLinePort(
            QStringLiteral("%1://127.0.0.1:%2").arg(row.rtu ? "rtu+tcp" : "tcp").arg(run->port)));
        LineTimes times;
        times.networkTimeoutMs = 100;
        times.anyTransactionId = row.anyId;
        times.watchFirstMs = 50;
        times.watchMaxMs = 200;
        run->line->setTimes(times);
        Run *const r = run.get();
        connect(r->line.get(), &ModbusLine::traced, [r](const QByteArray &, ModbusLine::Trace kind) {
            r->discarded += kind == ModbusLine::Trace::Discarded;
        });
        r->lost = std::make_unique<QSignalSpy>(r->line.get(), &ModbusLine::portLost);
        r->back = std::make_unique<QSignalSpy>(r->line.get(), &ModbusLine::portBack);
        r->retried = std::make_unique<QSignalSpy>(r->line.get(), &ModbusLine::reopenFailed);
        QVERIFY(r->line->open(9600));
        r->steps = row.steps.split(',');
        r->since.start();
        runs.push_back(std::move(run));
    }
    // One step of a run when what it waits for came; what did not come in time is kept.
    const auto advance = [this](Run &run) {
        const auto next = [&run] {
            run.steps.removeFirst();
            run.since.restart();
        };
        const auto fail = [&](const QString &what) {
            loopbackResults[run.name] = what;
            run.done = true;
        };
        if (run.steps.isEmpty()) {
            loopbackResults[run.name] =
                (run.got + QStringList{QString::number(run.lost->count()), QString::number(run.back->count()),
                                       QString::number(run.sim.connections())})
                    .join(' ');
            run.done = true;
            return;
        }
        const QString step = run.steps.first();
        if (step == "x") {
            if (!run.reply) {
                run.reply = run.line->send(kInfo);
                run.since.restart();
            }
            if (run.reply->isFinished()) {
                const QByteArray frame = run.reply->frame();
                run.got << outcomeOf(run.reply);
                delete run.reply;
                run.reply = nullptr;
                if (!frame.isEmpty() && frame != Transmitter().handleRequest(kInfo)) {
                    fail("not the frame a serial line gives: " + QString::fromLatin1(frame.toHex()));
                    return;
                }
                next();
            } else if (run.since.elapsed() > 5000) {
                fail(run.got.join(' ') + " hung");
            }
        } else if (step == "l") {
            // Refused again while the server is away: failed attempts, not a port back.
            if (run.lost->count() > 0 && run.retried->count() >= 2) {
                if (run.back->count() != 0) {
                    fail(QStringLiteral("port back while the server was away"));
                    return;
                }
                next();
            } else if (run.since.elapsed() > 5000) {
                fail(QStringLiteral("no loss and two failed attempts"));
            }
        } else if (step == "s") {
            run.sim.setReplyDelay(0);
            run.sim.setFault(SimFault::None);
            if (run.row.faults == "refused" && !run.sim.listen(QHostAddress::LocalHost, run.port)) {
                fail(QStringLiteral("cannot listen again"));
                return;
            }
            next();
        } else if (step == "b") {
            if (run.back->count() == 1) {
                next();
            } else if (run.since.elapsed() > 3000) {
                fail(QStringLiteral("port not back"));
            }
        } else if (run.discarded == 1) {
            // The late reply came after the next request went out, and was not taken for it.
            next();
        } else if (run.since.elapsed() > 5000) {
            fail(QStringLiteral("no discarded reply"));
        }
    };
    QVERIFY(advanceUntilDone(runs, advance, 30000));
}

void TestTcpLine::loopback() {
    QFETCH(QString, outcomes);
    if (loopbackResults.empty()) {
        runLoopbacks();
    }
    QCOMPARE(loopbackResults.value(QTest::currentDataTag()), outcomes);
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
