// Finding replies in a receive buffer and matching them to the requests waiting for them: the
// plain rules, without a window.
#include "core/device/register_map.h"
#include "core/modbus/modbus_frame.h"
#include "core/modbus/reply_matching.h"
#include "core/modbus/request_queue.h"
#include "tests/support/harness.h"

#include <QTest>

Q_DECLARE_METATYPE(Rx::Found::Kind)

namespace {

QByteArray readReply(int words, quint8 address = 1) {
    QByteArray body;
    body.append(static_cast<char>(address));
    body.append('\x03');
    body.append(static_cast<char>(2 * words));
    for (int i = 0; i < words; ++i) {
        body.append(static_cast<char>(0x10 + i));
        body.append(static_cast<char>(0x20 + i));
    }
    return withCrc(body);
}

Rx::Request requestFor(const QByteArray &frame, bool fromUser = true) {
    Rx::Request request = Rx::requestOfFrame(frame);
    request.fromUser = fromUser;
    return request;
}

const QByteArray kInfoRequest = buildReadRequest(0, Reg::SlaveAddress, Reg::DeviceInfoCount);
const QByteArray kPollRequest = buildReadRequest(1, Reg::LiveHundredths, Reg::LiveBlockCount);
const QByteArray kHeaterOn = buildWriteRequest(1, Reg::Heater, 1);

} // namespace

class TestMatching : public QObject {
    Q_OBJECT

private slots:
    void requestOfFrame_data();
    void requestOfFrame();
    void answerAt_data();
    void answerAt();
    void findReply_data();
    void findReply();
    void decodeRegister_data();
    void decodeRegister();
    void replyWindow_data();
    void replyWindow();
    void pendingInOrder();
    void pendingCapAndExpiry();
    void oneRequestOnTheLine_data();
    void oneRequestOnTheLine();
};

void TestMatching::requestOfFrame_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("count");
    QTest::newRow("probe") << hexBytes("00 03 01 00 00 0A C5 E0") << 0 << 3 << 0x0100 << 10;
    QTest::newRow("heater on") << kHeaterOn << 1 << 6 << 0x0109 << 1;
    QTest::newRow("clock block write")
        << buildBlockWriteRequest(1, Reg::ClockYear, {2026, 12, 9, 5, 0, 0, 3}) << 1 << 0x10 << 0x0120 << 7;
    QTest::newRow("serial number") << buildBlockWriteRequest(7, Reg::SerialNumber, {0x2612, 0x0804, 0x1533})
                                   << 7 << 0x10 << 0x0104 << 3;
    QTest::newRow("too short") << hexBytes("01 03 00 00") << 0 << 0 << 0 << 0;
    QTest::newRow("not a request function") << hexBytes("01 04 00 00 00 01 31 CA") << 0 << 0 << 0 << 0;
    QTest::newRow("block write ending before it starts")
        << withCrc(hexBytes("01 10 01 20 01 00 02 00 00")) << 0 << 0 << 0 << 0;
}

void TestMatching::requestOfFrame() {
    QFETCH(QByteArray, frame);
    QFETCH(int, address);
    QFETCH(int, function);
    QFETCH(int, reg);
    QFETCH(int, count);
    const Rx::Request request = Rx::requestOfFrame(frame);
    QCOMPARE(int(request.function), function);
    if (function != 0) {
        QCOMPARE(int(request.address), address);
        QCOMPARE(int(request.reg), reg);
        QCOMPARE(int(request.count), count);
    }
}

void TestMatching::answerAt_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("length");

    const QByteArray info = readReply(10);
    QTest::newRow("probe to address 0, any device answers") << kInfoRequest << readReply(10, 17) << 0 << 25;
    QTest::newRow("read of ten, ten registers") << kInfoRequest << info << 0 << 25;
    QTest::newRow("read of ten, four registers") << kInfoRequest << readReply(4) << 0 << 0;
    QTest::newRow("read of four, four registers") << kPollRequest << readReply(4) << 0 << 13;
    QTest::newRow("read of four from another address") << kPollRequest << readReply(4, 2) << 0 << 0;
    QTest::newRow("exception of the read") << kPollRequest << withCrc(hexBytes("01 83 02")) << 0 << 5;
    QTest::newRow("exception of another function") << kPollRequest << withCrc(hexBytes("01 86 02")) << 0 << 0;
    QTest::newRow("echo of the heater write") << kHeaterOn << hexBytes("01 06 01 09 00 01 99 F4") << 0 << 8;
    QTest::newRow("echo of another register")
        << kHeaterOn << withCrc(hexBytes("01 06 01 01 00 01")) << 0 << 0;
    QTest::newRow("write echo for a read") << kPollRequest << hexBytes("01 06 01 09 00 01 99 F4") << 0 << 0;
    QTest::newRow("behind one junk byte") << kInfoRequest << QByteArray(1, '\xff') + info << 1 << 25;
    QTest::newRow("wrong CRC is never an answer")
        << kPollRequest << readReply(4).left(12) + QByteArray(1, '\x00') << 0 << 0;
    QTest::newRow("not all there yet") << kInfoRequest << info.left(24) << 0 << 0;
    QTest::newRow("offset past the end") << kInfoRequest << info << 30 << 0;
}

void TestMatching::answerAt() {
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, buffer);
    QFETCH(int, offset);
    QFETCH(int, length);
    QCOMPARE(Rx::answerAt(requestFor(request), buffer, offset), length);
}

void TestMatching::findReply_data() {
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<QVector<QByteArray>>("pending");
    QTest::addColumn<Rx::Found::Kind>("kind");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("request");

    using Kind = Rx::Found::Kind;
    const QByteArray info = readReply(10);
    const QByteArray live = readReply(4);
    const QByteArray echo = hexBytes("01 06 01 09 00 01 99 F4");
    const QVector<QByteArray> probe{kInfoRequest};
    const QVector<QByteArray> pollThenHeater{kPollRequest, kHeaterOn};

    QTest::newRow("reply at the start") << info << probe << Kind::Answer << 0 << 25 << 0;
    QTest::newRow("one 0x00 in front")
        << QByteArray(1, '\x00') + info << probe << Kind::Answer << 1 << 25 << 0;
    QTest::newRow("three bytes in front")
        << hexBytes("FF 00 5A") + info << probe << Kind::Answer << 3 << 25 << 0;
    QTest::newRow("a torn reply in front") << info.left(9) + info << probe << Kind::Answer << 9 << 25 << 0;
    QTest::newRow("incomplete") << QByteArray(1, '\x00') + info.left(20) << probe << Kind::None << 0 << 0
                                << -1;
    QTest::newRow("damaged") << QByteArray(1, '\x00') + info.left(24) + "\x01" << probe << Kind::None << 0
                             << 0 << -1;
    QTest::newRow("nothing waiting, frame at the start")
        << info << QVector<QByteArray>{} << Kind::Unanswered << 0 << 25 << -1;
    QTest::newRow("nothing waiting, frame behind junk")
        << QByteArray(1, '\x00') + info << QVector<QByteArray>{} << Kind::None << 0 << 0 << -1;
    QTest::newRow("wrong byte count at the start") << live << probe << Kind::Unanswered << 0 << 13 << -1;
    QTest::newRow("poll reply first") << live + echo << pollThenHeater << Kind::Answer << 0 << 13 << 0;
    QTest::newRow("heater echo first") << echo + live << pollThenHeater << Kind::Answer << 0 << 8 << 1;
    QTest::newRow("empty") << QByteArray() << probe << Kind::None << 0 << 0 << -1;
    QTest::newRow("flood") << QByteArray(1024, '\x00') << probe << Kind::None << 0 << 0 << -1;
}

void TestMatching::findReply() {
    QFETCH(QByteArray, buffer);
    QFETCH(QVector<QByteArray>, pending);
    QFETCH(Rx::Found::Kind, kind);
    QFETCH(int, offset);
    QFETCH(int, length);
    QFETCH(int, request);
    QVector<Rx::Request> requests;
    for (const QByteArray &frame : pending) {
        requests.append(requestFor(frame));
    }
    const Rx::Found found = Rx::findReply(buffer, requests);
    QCOMPARE(found.kind, kind);
    if (kind != Rx::Found::Kind::None) {
        QCOMPARE(found.offset, offset);
        QCOMPARE(found.length, length);
        QCOMPARE(found.request, request);
    }
}

void TestMatching::decodeRegister_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("reg");
    QTest::newRow("read by its start register") << kPollRequest << readReply(4) << 0x0000;
    QTest::newRow("exception by the request") << kInfoRequest << withCrc(hexBytes("01 83 02")) << 0x0100;
    QTest::newRow("write echo by the register it echoes")
        << kHeaterOn << hexBytes("01 06 01 09 00 01 99 F4") << 0x0109;
    QTest::newRow("block write echo by its start") << buildBlockWriteRequest(1, Reg::ClockYear, {1, 2, 3})
                                                   << hexBytes("01 10 01 20 01 26 40 75") << 0x0120;
}

void TestMatching::decodeRegister() {
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(int, reg);
    QCOMPARE(int(Rx::decodeRegister(requestFor(request), reply)), reg);
}

void TestMatching::replyWindow_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("window");
    // (8 + 25) bytes * 10 bits at 9600 baud: 34.4 ms, rounded up, plus the turnaround.
    QTest::newRow("device information at 9600") << kInfoRequest << 9600 << 35 + Rx::TurnaroundMs;
    QTest::newRow("device information at 1200") << kInfoRequest << 1200 << 275 + Rx::TurnaroundMs;
    QTest::newRow("device information at 115200") << kInfoRequest << 115200 << 3 + Rx::TurnaroundMs;
    QTest::newRow("heater write at 9600") << kHeaterOn << 9600 << 17 + Rx::TurnaroundMs;
    QTest::newRow("unknown rate counts as 9600") << kHeaterOn << 0 << 17 + Rx::TurnaroundMs;
}

void TestMatching::replyWindow() {
    QFETCH(QByteArray, request);
    QFETCH(int, baud);
    QFETCH(int, window);
    QCOMPARE(Rx::replyWindowMs(requestFor(request), request.size(), baud), window);
}

void TestMatching::pendingInOrder() {
    Rx::PendingRequests pending;
    pending.add(requestFor(kPollRequest, false), 0, 300);
    pending.add(requestFor(kInfoRequest), 10, 300);
    pending.add(requestFor(kHeaterOn), 20, 300);
    QCOMPARE(pending.list().size(), 3);
    // The second is answered: the first will not be any more.
    const Rx::Request answered = pending.take(1);
    QCOMPARE(answered.reg, Reg::SlaveAddress);
    QCOMPARE(pending.list().size(), 1);
    QCOMPARE(pending.list().first().reg, Reg::Heater);
    QCOMPARE(pending.take(5).function, quint8(0));
    QCOMPARE(pending.list().size(), 1);
}

void TestMatching::pendingCapAndExpiry() {
    Rx::PendingRequests pending;
    for (int i = 0; i < Rx::MaxPending + 3; ++i) {
        pending.add(requestFor(buildReadRequest(1, static_cast<quint16>(i), 1)), i, 100);
    }
    QCOMPARE(pending.list().size(), Rx::MaxPending);
    QCOMPARE(int(pending.list().first().reg), 3);
    pending.expire(106);
    QCOMPARE(pending.list().size(), Rx::MaxPending - 3); // sent at 3, 4 and 5 have passed
    pending.expire(1000);
    QVERIFY(pending.list().isEmpty());
}

// A poll written at 0 at 9600 baud, its reply window 322 ms (8 + 13 bytes at ten bits a byte, plus
// the 300 ms turnaround); a click queued behind it goes out only when the line is free, and the
// poll's next tick only when nothing waits at all.
void TestMatching::oneRequestOnTheLine_data() {
    QTest::addColumn<bool>("clicked");
    QTest::addColumn<qint64>("now");
    QTest::addColumn<QByteArray>("written"); // what goes out at `now`
    QTest::addColumn<bool>("idle");          // the poll may send its tick
    QTest::newRow("the poll's reply is due") << false << qint64(50) << QByteArray() << false;
    QTest::newRow("at the end of its window") << false << qint64(322) << QByteArray() << false;
    QTest::newRow("past its window") << false << qint64(323) << QByteArray() << true;
    QTest::newRow("a click waits behind the poll") << true << qint64(50) << QByteArray() << false;
    QTest::newRow("the click goes out when the window has passed")
        << true << qint64(323) << kInfoRequest << false;
}

void TestMatching::oneRequestOnTheLine() {
    QFETCH(bool, clicked);
    QFETCH(qint64, now);
    QFETCH(QByteArray, written);
    QFETCH(bool, idle);
    RequestQueue queue;
    queue.enqueue(kPollRequest, false);
    QCOMPARE(queue.next(0, 9600), kPollRequest);
    if (clicked) {
        queue.enqueue(kInfoRequest, true);
    }
    QCOMPARE(queue.next(now, 9600), written);
    QCOMPARE(queue.idle(now), idle);
}

QTEST_MAIN(TestMatching)
#include "tst_matching.moc"
