// The line on a fake device and a fake clock: reply windows, the reception gap, the order of the
// trace and the failures of the port, all without waiting in real time. One flow goes through a
// real serial port to the simulated transmitter.
#include "core/device/register_map.h"
#include "core/modbus/line_port.h"
#include "core/modbus/modbus_frame.h"
#include "core/modbus/modbus_line.h"
#include "sim/pty_transmitter.h"
#include "tests/support/fake_line.h"
#include "tests/support/frames.h"
#include "tests/support/harness.h"

#include <QMap>
#include <QMetaEnum>
#include <QTest>

namespace {

// Requests and replies by name; "name[a:b]" is a slice and "a+b" a concatenation.
const QMap<QString, QByteArray> &named() {
    static const QMap<QString, QByteArray> frames = {
        {"poll", buildReadRequest(1, Reg::LiveHundredths, Reg::LiveBlockCount)},
        {"info", buildReadRequest(1, Reg::SlaveAddress, Reg::DeviceInfoCount)},
        {"heat", buildWriteRequest(1, Reg::Heater, 1)},
        {"echo", buildWriteRequest(1, Reg::Heater, 1)},
        {"R4", readReplyFrame({1, 2, 3, 4})},
        {"R4b", readReplyFrame({5, 6, 7, 8})},
        {"R10", readReplyFrame({1, 2, 3, 4, 5, 6, 7, 8, 9, 10})},
        {"exc", withCrc(hexBytes("01 86 02"))},
        {"junk", hexBytes("ff 00 13")},
        {"flood", QByteArray(Rx::MaxBuffer, '\xff')},
    };
    return frames;
}

QByteArray bytesOf(const QString &text) {
    QByteArray bytes;
    for (const QString &part : text.split('+')) {
        const int open = part.indexOf('[');
        const QByteArray whole = named().value(open < 0 ? part : part.left(open));
        if (open < 0) {
            bytes += whole;
            continue;
        }
        const QStringList range = part.mid(open + 1).chopped(1).split(':');
        const int from = range.at(0).toInt();
        const int to = range.at(1).isEmpty() ? whole.size() : range.at(1).toInt();
        bytes += whole.mid(from, to - from);
    }
    return bytes;
}

// The name a frame has in the table, or its hex.
QString nameOf(const QByteArray &bytes) {
    for (auto it = named().begin(); it != named().end(); ++it) {
        if (it.value() == bytes && it.key() != "echo") {
            return it.key();
        }
    }
    return bytes.toHex();
}

template <typename E> QString enumText(E value) {
    return QString::fromLatin1(QMetaEnum::fromType<E>().valueToKey(static_cast<int>(value)));
}

struct Fixture {
    FakeClock clock;
    FakePort *port = new FakePort;
    ModbusLine line{port, clock};
    QStringList trace;
    int lost = 0;
    int flooded = 0;
    Fixture() {
        LineTimes times;
        times.turnaroundMs = 250;
        line.setTimes(times);
        QObject::connect(&line, &ModbusLine::traced, [this](const QByteArray &bytes, ModbusLine::Trace kind) {
            trace << enumText(kind).toLower() + ' ' + nameOf(bytes);
        });
        QObject::connect(&line, &ModbusLine::portLost, [this] { ++lost; });
        QObject::connect(&line, &ModbusLine::flooded, [this] { ++flooded; });
    }
};

} // namespace

class TestModbusLine : public QObject {
    Q_OBJECT

private slots:
    void exchanges_data();
    void exchanges();
    void watch_data();
    void watch();
    void serialPath();
};

// Steps: "s X" sends X, "i X" sends X if the line is idle, "p X" pushes bytes from the device,
// "t N" advances the clock by N ms, "e port|read|write" fails the port, its input or its writes.
// At 9600 baud with a 250 ms turnaround the window of poll is 22 + 250 ms, of info 35 + 250 ms,
// of heat 17 + 250 ms. Each outcome reads "<outcome> <reply frame> <unmatched bytes>".
void TestModbusLine::exchanges_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("outcomes");
    QTest::addColumn<QStringList>("trace");
    QTest::addColumn<QString>("end");
    const auto l = [](const char *text) { return QString::fromLatin1(text).split(',', Qt::SkipEmptyParts); };

    QTest::newRow("reply in pieces") << l("s poll,p R4[0:5],t 99,p R4[5:]") << l("Answer R4 0")
                                     << l("tx poll,rx R4") << "Open";
    QTest::newRow("pieces split by the gap")
        << l("s poll,p R4[0:5],t 100,p R4[5:],t 200") << l("NoReply  13")
        << l("tx poll,discarded 0103080001,discarded 0002000300040d14") << "Open";
    QTest::newRow("junk before a reply")
        << l("s poll,p junk+R4") << l("Answer R4 3") << l("tx poll,rx junk,rx R4") << "Open";
    QTest::newRow("late reply is no answer to the next request")
        << l("s poll,t 273,p junk+R4,s poll,p R4b") << l("NoReply  0,Answer R4b 0")
        << l("tx poll,discarded ff001301030800010002000300040d14,tx poll,rx R4b") << "Open";
    QTest::newRow("late reply of another shape")
        << l("s info,s poll,t 286,p R10+R4") << l("NoReply  0,Answer R4 25")
        << l("tx info,tx poll,rx R10,rx R4") << "Open";
    QTest::newRow("second request waits for the answer")
        << l("s poll,s heat,p R4,p echo") << l("Answer R4 0,Answer heat 0")
        << l("tx poll,rx R4,tx heat,rx heat") << "Open";
    QTest::newRow("answered at the last ms of its window")
        << l("s poll,s heat,t 272,p R4") << l("Answer R4 0,Waiting  0") << l("tx poll,rx R4,tx heat")
        << "Open";
    QTest::newRow("window passed: the next goes out")
        << l("s poll,s heat,t 273,p R4,t 268") << l("NoReply  0,NoReply  13") << l("tx poll,tx heat,rx R4")
        << "Open";
    QTest::newRow("live poll skips its tick while anything waits")
        << l("s heat,i poll,p echo,i poll,p R4") << l("Answer heat 0,skipped,Answer R4 0")
        << l("tx heat,rx heat,tx poll,rx R4") << "Open";
    QTest::newRow("exception reply") << l("s heat,p exc") << l("Exception exc 0") << l("tx heat,rx exc")
                                     << "Open";
    QTest::newRow("flood closes the line")
        << l("s poll,s heat,p flood,s poll") << l("Flood  0,Flood  0,PortLost  0") << l("tx poll")
        << "Closed flooded=1 lost=0";
    QTest::newRow("flood in pieces") << l("s poll,p flood[0:600],p flood[600:]+flood[0:176]") << l("Flood  0")
                                     << l("tx poll") << "Closed flooded=1 lost=0";
    QTest::newRow("port error") << l("s poll,s heat,e port,s poll")
                                << l("PortLost  0,PortLost  0,PortLost  0") << l("tx poll")
                                << "Lost flooded=0 lost=1";
    QTest::newRow("input ends") << l("s poll,p junk,s heat,e read,e port") << l("PortLost  0,PortLost  0")
                                << l("tx poll,discarded junk") << "Lost flooded=0 lost=1";
    QTest::newRow("write fails") << l("e write,s poll,s heat") << l("PortLost  0,PortLost  0") << l("tx poll")
                                 << "Lost flooded=0 lost=1";
}

void TestModbusLine::exchanges() {
    QFETCH(QStringList, steps);
    QFETCH(QStringList, outcomes);
    QFETCH(QStringList, trace);
    QFETCH(QString, end);
    // Declared before the line, which finishes what still waits when it goes.
    QVector<int> finishes;
    Fixture f;
    QVERIFY(f.line.open(9600));
    QVector<LineReply *> replies;
    for (const QString &step : steps) {
        const QString arg = step.mid(2);
        switch (step.at(0).toLatin1()) {
        case 's':
        case 'i': {
            LineReply *reply =
                step.startsWith('s') ? f.line.send(bytesOf(arg)) : f.line.sendIfIdle(bytesOf(arg));
            const int index = replies.size();
            replies << reply;
            finishes << 0;
            if (reply) {
                reply->setParent(&f.line);
                connect(reply, &LineReply::finished, [&finishes, index] { ++finishes[index]; });
            }
            break;
        }
        case 'p':
            f.port->fake.push(bytesOf(arg));
            break;
        case 't':
            f.clock.advance(arg.toInt());
            break;
        case 'e':
            if (arg == "port") {
                f.port->raise(QStringLiteral("the device was removed"));
            } else if (arg == "read") {
                f.port->fake.endInput();
            } else {
                f.port->fake.failWrites = true;
            }
            break;
        }
    }
    QCoreApplication::processEvents();
    QStringList got;
    for (int i = 0; i < replies.size(); ++i) {
        const LineReply *r = replies.at(i);
        if (!r) {
            got << "skipped";
            continue;
        }
        QCOMPARE(finishes.at(i), r->isFinished() ? 1 : 0);
        got << QStringLiteral("%1 %2 %3")
                   .arg(enumText(r->outcome()), r->frame().isEmpty() ? QString() : nameOf(r->frame()))
                   .arg(r->unmatchedBytes());
    }
    QCOMPARE(got, outcomes);
    QCOMPARE(f.trace, trace);
    // What went on the wire is what the trace says went.
    QStringList written;
    for (const QByteArray &w : f.port->fake.writes) {
        written << "tx " + nameOf(w);
    }
    QCOMPARE(written, f.trace.filter(QRegularExpression("^tx")).mid(0, written.size()));
    const QString state = enumText(f.line.state());
    QCOMPARE(state == "Open" ? state
                             : QStringLiteral("%1 flooded=%2 lost=%3").arg(state).arg(f.flooded).arg(f.lost),
             end);
    QCOMPARE(replies.first()->exceptionCode(), quint8(outcomes.first().startsWith("Exception") ? 2 : 0));
}

// A lost port is tried again at its rate on a schedule: a fixed period, or delays that double.
void TestModbusLine::watch_data() {
    QTest::addColumn<int>("firstMs");
    QTest::addColumn<int>("maxMs");
    QTest::addColumn<int>("refusedForMs");
    QTest::addColumn<QVector<qint64>>("failedAt");
    QTest::addColumn<qint64>("backAt");
    QTest::newRow("once a period") << 1000 << 1000 << 2500 << QVector<qint64>{1000, 2000} << qint64(3000);
    QTest::newRow("growing backoff") << 500 << 4000 << 5000 << QVector<qint64>{500, 1500, 3500}
                                     << qint64(7500);
    QTest::newRow("backoff at its cap")
        << 500 << 1000 << 3000 << QVector<qint64>{500, 1500, 2500} << qint64(3500);
}

void TestModbusLine::watch() {
    QFETCH(int, firstMs);
    QFETCH(int, maxMs);
    QFETCH(int, refusedForMs);
    QFETCH(QVector<qint64>, failedAt);
    QFETCH(qint64, backAt);
    Fixture f;
    LineTimes times = f.line.times();
    times.watchFirstMs = firstMs;
    times.watchMaxMs = maxMs;
    f.line.setTimes(times);
    QVERIFY(f.line.open(19200));
    QVector<qint64> failed;
    qint64 back = -1;
    connect(&f.line, &ModbusLine::reopenFailed, [&] { failed << f.clock.nowMs(); });
    connect(&f.line, &ModbusLine::portBack, [&] { back = f.clock.nowMs(); });
    f.port->raise(QStringLiteral("the device was removed"));
    f.port->refuse = true;
    QCOMPARE(f.line.state(), ModbusLine::State::Lost);
    f.clock.advance(refusedForMs);
    f.port->refuse = false;
    f.clock.advance(20000);
    QCOMPARE(failed, failedAt);
    QCOMPARE(back, backAt);
    QCOMPARE(f.port->opens, QVector<int>({19200, 19200}));
    QCOMPARE(f.line.state(), ModbusLine::State::Open);
    QCOMPARE(f.lost, 1);
    // Back on the line: a request goes out and is answered.
    LineReply *reply = f.line.send(bytesOf("poll"));
    f.port->fake.push(bytesOf("R4"));
    QCOMPARE(reply->outcome(), LineReply::Outcome::Answer);
    delete reply;
    // Reopened but not the unit it was: looked for again without a second loss said.
    f.line.watch();
    QCOMPARE(f.line.state(), ModbusLine::State::Lost);
    f.clock.advance(firstMs);
    QCOMPARE(f.line.state(), ModbusLine::State::Open);
    // Closed by its owner while lost: the watch stops.
    f.port->raise(QStringLiteral("the device was removed"));
    f.line.close();
    f.clock.advance(20000);
    QCOMPARE(f.line.state(), ModbusLine::State::Closed);
    QCOMPARE(f.port->opens.size(), 3);
    QCOMPARE(f.lost, 2);
}

// The serial path: a real port, opened and locked by a link to it, to the simulated transmitter,
// lost when the transmitter vanishes and reopened by the same name when it is back.
void TestModbusLine::serialPath() {
    ScopedWorkDir dir;
    const QString link = dir.path() + "/ttyZR";
    PtyTransmitter sim;
    QString error;
    QVERIFY2(sim.start(&error) && sim.createSymlink(link), qPrintable(error));
    ModbusLine line(new SerialLinePort(link));
    line.setTimes({Rx::TurnaroundMs, Rx::ReceptionGapMs, 50, 50});
    QStringList trace;
    QStringList lost;
    connect(&line, &ModbusLine::traced, [&](const QByteArray &bytes, ModbusLine::Trace kind) {
        trace << enumText(kind) + ' ' + bytes.toHex();
    });
    connect(&line, &ModbusLine::portLost, [&](const QString &reason) { lost << reason; });
    QVERIFY2(line.open(9600, &error), qPrintable(error));
    ModbusLine second(new SerialLinePort(sim.slavePath()));
    QVERIFY(!second.open(9600, &error));
    QVERIFY2(error.contains("busy"), qPrintable(error));

    const QByteArray request = buildReadRequest(0, Reg::SlaveAddress, Reg::DeviceInfoCount);
    const QByteArray expected = Transmitter().handleRequest(request);
    for (int round = 0; round < 2; ++round) {
        std::unique_ptr<LineReply> reply(line.send(request));
        QVERIFY(waitUntil([&] { return reply->isFinished(); }, 5000));
        QCOMPARE(reply->outcome(), LineReply::Outcome::Answer);
        QCOMPARE(reply->frame().toHex(), expected.toHex());
        QCOMPARE(trace, QStringList({"Tx " + request.toHex(), "Rx " + expected.toHex()}));
        trace.clear();
        if (round == 0) {
            sim.vanish();
            QVERIFY(waitUntil([&] { return line.state() == ModbusLine::State::Lost; }, 5000));
            QCOMPARE(lost, QStringList("the device was removed"));
            QVERIFY(sim.reappear(&error));
            QVERIFY(waitUntil([&] { return line.state() == ModbusLine::State::Open; }, 5000));
        }
    }
    QCOMPARE(lost.size(), 1);
}

QTEST_GUILESS_MAIN(TestModbusLine)
#include "tst_modbus_line.moc"
