// The real window against a simulated transmitter on a line that behaves like a field RS-485 bus:
// stray bytes in front of replies, floods however they arrive, replies still on their way when a
// button is clicked, and a check of every byte the transmitter received.
#include "core/device/register_map.h"
#include "core/modbus/modbus_frame.h"
#include "tests/support/fake_unit.h"
#include "tests/support/harness.h"

#include <QSerialPort>
#include <QtTest>

class TstLine : public QObject {
    Q_OBJECT

private slots:
    void searchOverJunk_data();
    void searchOverJunk();
    void floodFromAdapter_data();
    void floodFromAdapter();
    void floodDuringSearch();
    void clicksCrossPollReplies();
    void heaterClicksOnASlowUnit();
    void wireCarriesExactlyTheFrames();

private:
    // Flows, not timing: a short search step and poll period for every window made here.
    ScopedLineTiming timing;
};

namespace {

QByteArray concat(const QVector<QByteArray> &frames) {
    QByteArray all;
    for (const QByteArray &frame : frames) {
        all += frame;
    }
    return all;
}

const QByteArray kProbe = buildReadRequest(0, Reg::SlaveAddress, Reg::DeviceInfoCount);

// Waits for `poll` to reach the unit as its latest request, after the `seen` requests before it.
bool pollArrives(const QSignalSpy &requests, int seen, const QByteArray &poll) {
    return QTest::qWaitFor(
        [&] { return requests.count() > seen && requests.last().first().toByteArray() == poll; }, 3000);
}

} // namespace

void TstLine::searchOverJunk_data() {
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("junkCount");
    QTest::addColumn<int>("junkValue");
    QTest::newRow("9600, one 0x00") << 9600 << 1 << 0x00;
    QTest::newRow("115200, one 0xFF") << 115200 << 1 << 0xFF;
    QTest::newRow("19200, three 0x5A") << 19200 << 3 << 0x5A;
}

void TstLine::searchOverJunk() {
    QFETCH(int, baud);
    QFETCH(int, junkCount);
    QFETCH(int, junkValue);
    // The unit is in the test's process and answers at once: a short search step will do.
    ScopedLineTiming timing(40);
    ScopedWorkDir dir;
    TransmitterConfig config;
    config.baudRate = baud;
    config.deviceType = 1; // no clock block: one reply per request
    FakeUnit sim(config);
    sim.setJunkBeforeReply(junkCount, static_cast<quint8>(junkValue));
    ModalWatcher watcher;
    watcher.dialogHandler = chooseInDialog(sim.port(), "AUTO");
    Widget w;
    QVERIFY(watcher.waitForCount(2, 4000));
    QCOMPARE(watcher.seen.last().title, QString("Succeed"));
    QCOMPARE(watcher.seen.last().text, QString("The device baud rate is:%1!").arg(baud));
    WidgetUi *ui = WidgetTestAccess::ui(w);
    QCOMPARE(ui->comboBoxBaudRate->currentText(), QString::number(baud));
    QCOMPARE(ui->lineEditAddress->text(), QString("1"));
    QCOMPARE(ui->lineEditSN->text(), QString("261208041533"));
    QVERIFY(ui->groupBoxDevice->isEnabled());
    // The junk is in the log as it came, in front of the reply.
    const QStringList rx = loggedFrames(WidgetTestAccess::logFilePath(w), 1);
    QCOMPARE(rx.size(), 2);
    QCOMPARE(rx.first(), QString::fromLatin1(QByteArray(junkCount, static_cast<char>(junkValue)).toHex()));
    QVERIFY(rx.last().startsWith("010314"));
}

void TstLine::floodFromAdapter_data() {
    QTest::addColumn<int>("piece");
    QTest::addColumn<int>("fault");
    QTest::newRow("4096 at once, 0xFF") << 4096 << int(SimFault::FloodFF);
    QTest::newRow("pieces of 1000, 0x00") << 1000 << int(SimFault::FloodZero);
    QTest::newRow("pieces of 500, 0xFF") << 500 << int(SimFault::FloodFF);
    QTest::newRow("pieces of 300, 0x00") << 300 << int(SimFault::FloodZero);
}

void TstLine::floodFromAdapter() {
    QFETCH(int, piece);
    QFETCH(int, fault);
    ScopedWorkDir dir;
    FakeUnit sim;
    sim.setFault(SimFault(fault));
    sim.setFloodPieces(piece, 5);
    ModalWatcher watcher;
    watcher.dialogHandler = chooseInDialog(sim.port(), "9600");
    Widget w;
    QVERIFY(watcher.waitForCount(2, 3000));
    QCOMPARE(watcher.seen.last().title, QString("Error"));
    QCOMPARE(watcher.seen.last().text, QString("USB device error, please reconnect USB device!"));
    QVERIFY(!WidgetTestAccess::port(w)->isOpen());
    QVERIFY(WidgetTestAccess::rxBuffer(w).isEmpty());
    QCOMPARE(loggedFrames(WidgetTestAccess::logFilePath(w), 1).size(), 0);
    // The rest of the flood reaches a closed port: no second box.
    QTRY_COMPARE(sim.toSend(), 0);
    QVERIFY(!watcher.waitForCount(3, 100));
    QCOMPARE(watcher.count("QMessageBox"), 1);
}

void TstLine::floodDuringSearch() {
    // The search steps are the window's own timer: short ones, so eight of them pass quickly.
    const int stepMs = 40;
    ScopedLineTiming timing(stepMs);
    ScopedWorkDir dir;
    FakeUnit sim; // 9600
    // The adapter fails after the first probe: the second one (19200) is answered by a flood.
    sim.setFloodAfter(1, 0xFF);
    QSignalSpy requests(&sim, &FakeUnit::requestReceived);
    ModalWatcher watcher;
    watcher.dialogHandler = chooseInDialog(sim.port(), "AUTO");
    Widget w;
    QVERIFY(watcher.waitForCount(2, 4000));
    QCOMPARE(watcher.seen.last().text, QString("USB device error, please reconnect USB device!"));
    QCOMPARE(requests.count(), 2);
    QVERIFY(!WidgetTestAccess::timerAutoBaud(w)->isActive());
    QVERIFY(!WidgetTestAccess::port(w)->isOpen());
    // The search has stopped: no further probe in eight steps, no second box.
    QVERIFY(!requests.wait(8 * stepMs));
    QCOMPARE(watcher.count("QMessageBox"), 1);

    // Link starts again once the adapter is sound.
    sim.setFloodAfter(-1, 0xFF);
    WidgetTestAccess::ui(w)->pushButtonLink->click();
    QVERIFY(watcher.waitForCount(4, 4000));
    QCOMPARE(watcher.seen.last().text, QString("The device baud rate is:9600!"));
    QVERIFY(WidgetTestAccess::port(w)->isOpen());
    QCOMPARE(watcher.count("QMessageBox"), 2);
}

void TstLine::clicksCrossPollReplies() {
    ScopedLineTiming fastPoll(150, 20);
    ScopedWorkDir dir;
    TransmitterConfig config;
    config.deviceType = 1; // no clock block
    FakeLinkedWindow linked(config);
    QVERIFY(linked.linked());
    auto &sim = linked;
    ModalWatcher &watcher = linked.watcher;
    WidgetUi *ui = linked.ui;
    ui->groupBoxDevice->setEnabled(true);
    ui->groupBoxRTD->setEnabled(true);
    // Every reply comes 150 ms after its request, on the line's clock, which stands still until
    // the test lets it run: a click right after a poll lands while the poll's reply is on its way.
    sim.transmitter().setReplyDelay(150);
    sim.transmitter().setManualTime(true);
    const QString log = linked.log;
    ui->comboBoxRegister->setCurrentIndex(1); // hundredths: a temperature of 23.45 reads 2345
    sim.transmitter().model().setRegisterValue(Reg::LiveHundredths, 2345);
    QSignalSpy requests(&sim.transmitter(), &FakeUnit::requestReceived);
    QVERIFY(clickEnabled(ui->pushButtonRead));

    const QByteArray poll = buildReadRequest(1, Reg::LiveHundredths, Reg::LiveBlockCount);
    // The replies on their way go, one after the other, until `count` are in the log.
    const auto releaseUntil = [&](int count) {
        while (loggedFrames(log, 1).size() < count && sim.transmitter().release()) {
        }
    };
    int seen = requests.count();
    for (int round = 0; round < 3; ++round) {
        // Wait for a poll to reach the device, then click at once.
        QVERIFY(pollArrives(requests, seen, poll));
        const int rx = loggedFrames(log, 1).size();
        QVERIFY(clickEnabled(round == 1 ? ui->pushButtonHeaterOFF : ui->pushButtonHeaterON));
        releaseUntil(rx + 2);
        QTRY_VERIFY_WITH_TIMEOUT(loggedFrames(log, 1).size() >= rx + 2, 1500);
        QCOMPARE(ui->pushButtonHeaterON->isEnabled(), round == 1);
        QCOMPARE(ui->pushButtonHeaterOFF->isEnabled(), round != 1);
        QVERIFY(ui->labelTemperature->text().contains("23.45"));
        seen = requests.count();

        QVERIFY(pollArrives(requests, seen, poll));
        const int before = loggedFrames(log, 1).size();
        QVERIFY(clickEnabled(ui->pushButtonReadInfo));
        releaseUntil(before + 2);
        QTRY_VERIFY_WITH_TIMEOUT(loggedFrames(log, 1).size() >= before + 2, 1500);
        // The poll reply is not taken for the device information.
        QCOMPARE(ui->lineEditAddress->text(), QString("1"));
        seen = requests.count();
    }
    QVERIFY(clickEnabled(ui->pushButtonRead));
    // Every poll went to the device's own address.
    for (const QString &frame : loggedFrames(log, 0)) {
        QVERIFY2(!frame.startsWith("0003000"), qPrintable(frame));
    }
    QCOMPARE(watcher.count("QMessageBox"), 0);
}

void TstLine::heaterClicksOnASlowUnit() {
    // A poll period well below the unit's reply time: a poll is due whenever the line frees.
    ScopedLineTiming fastPoll(150, 20);
    ScopedWorkDir dir;
    TransmitterConfig config;
    config.deviceType = 1; // no clock block
    FakeLinkedWindow linked(config);
    QVERIFY(linked.linked());
    auto &sim = linked;
    ModalWatcher &watcher = linked.watcher;
    WidgetUi *ui = linked.ui;
    ui->groupBoxDevice->setEnabled(true);
    ui->groupBoxRTD->setEnabled(true);
    // A unit that takes 250 ms to answer, on the line's clock, which stands still until the test
    // lets the replies go; and what the wire carries in order: R a request reaching it, S a reply
    // leaving it.
    sim.transmitter().setReplyDelay(250);
    sim.transmitter().setManualTime(true);
    QString wire;
    connect(&sim.transmitter(), &FakeUnit::requestReceived, [&] { wire += 'R'; });
    connect(&sim.transmitter(), &FakeUnit::bytesSent, [&] { wire += 'S'; });
    QSignalSpy requests(&sim.transmitter(), &FakeUnit::requestReceived);
    QVERIFY(clickEnabled(ui->pushButtonRead));
    const QByteArray poll = buildReadRequest(1, Reg::LiveTenths, Reg::LiveBlockCount);
    QVector<QByteArray> clicked;
    int seen = requests.count();
    for (int i = 0; i < 16; ++i) {
        // Click right after a poll reached the unit, while its reply is due.
        QVERIFY(pollArrives(requests, seen, poll));
        const bool on = ui->pushButtonHeaterON->isEnabled();
        QVERIFY(clickEnabled(on ? ui->pushButtonHeaterON : ui->pushButtonHeaterOFF));
        clicked << buildWriteRequest(1, Reg::Heater, on ? 1 : 0);
        // The poll's reply goes 250 ms after the poll, the click's 250 ms after it reached the unit.
        while (ui->pushButtonHeaterOFF->isEnabled() != on && sim.transmitter().release()) {
        }
        // Answered and shown: the other button is offered.
        QTRY_COMPARE_WITH_TIMEOUT(ui->pushButtonHeaterOFF->isEnabled(), on, 2000);
        QCOMPARE(ui->pushButtonHeaterON->isEnabled(), !on);
        seen = requests.count();
    }
    QVERIFY(clickEnabled(ui->pushButtonRead));
    // Every click reached the unit, in order.
    QVector<QByteArray> writes;
    for (const QVariantList &request : requests) {
        if (request.first().toByteArray().at(1) == 0x06) {
            writes << request.first().toByteArray();
        }
    }
    QCOMPARE(writes, clicked);
    // Never a request on the wire while a reply was due.
    QVERIFY2(!wire.contains("RR"), qPrintable(wire));
    QCOMPARE(watcher.count("QMessageBox"), 0);
}

void TstLine::wireCarriesExactlyTheFrames() {
    // The one test of the poll cadence in real time, at a period well above a poll's reply time.
    ScopedLineTiming cadence(100, 150);
    ScopedWorkDir dir;
    TransmitterConfig config; // ZR200Pro, firmware 105, address 1, 9600 baud
    SimFixture sim(config);
    QVERIFY(sim.ok());
    ModalWatcher watcher;
    watcher.dialogHandler = chooseInDialog(sim.port(), "AUTO");
    Widget w;
    w.show();
    WidgetUi *ui = WidgetTestAccess::ui(w);
    const QString log = WidgetTestAccess::logFilePath(w);

    // Link and search: probes at 115200, 19200 and 9600; the information brings the clock read.
    QVERIFY(watcher.waitForCount(2, 4000));
    QCOMPARE(watcher.seen.last().text, QString("The device baud rate is:9600!"));
    QTRY_COMPARE_WITH_TIMEOUT(loggedFrames(log, 1).size(), 2, 2000);
    QVector<QByteArray> expected{kProbe, kProbe, kProbe,
                                 buildReadRequest(1, Reg::ClockYear, Reg::ClockBlockCount)};

    // A few settings, each waiting for its reply.
    const auto operate = [&](QAbstractButton *button, const QVector<QByteArray> &frames, int replies) {
        const int rx = loggedFrames(log, 1).size();
        expected += frames;
        return clickEnabled(button) &&
               QTest::qWaitFor([&] { return loggedFrames(log, 1).size() >= rx + replies; }, 2000);
    };
    QVERIFY(operate(ui->pushButtonHeaterON, {buildWriteRequest(1, Reg::Heater, 1)}, 1));
    QVERIFY(operate(ui->pushButtonHeaterOFF, {buildWriteRequest(1, Reg::Heater, 0)}, 1));
    QVERIFY(
        operate(ui->pushButtonReadSN, {buildReadRequest(1, Reg::SerialNumber, Reg::SerialNumberCount)}, 1));
    QVERIFY(operate(ui->pushButtonReadInfo,
                    {buildReadRequest(1, Reg::SlaveAddress, Reg::DeviceInfoCount),
                     buildReadRequest(1, Reg::ClockYear, Reg::ClockBlockCount)},
                    2));

    // Ten poll periods of polling the tenths block, each poll's arrival at the unit timed.
    const int pollMs = LineTiming::current().pollMs;
    const QByteArray poll = buildReadRequest(1, Reg::LiveTenths, Reg::LiveBlockCount);
    ui->comboBoxRegister->setCurrentIndex(0);
    ui->comboBoxNum->setCurrentIndex(0);
    QSignalSpy requests(&sim.transmitter(), &PtyTransmitter::requestReceived);
    QElapsedTimer polling;
    QVector<qint64> arrivals;
    connect(&sim.transmitter(), &PtyTransmitter::requestReceived, this, [&](const QByteArray &request) {
        if (request == poll) {
            arrivals << polling.elapsed();
        }
    });
    polling.start();
    QVERIFY(clickEnabled(ui->pushButtonRead));
    while (polling.elapsed() < 10 * pollMs) {
        QVERIFY(requests.wait(pollMs + 500));
    }
    QVERIFY(clickEnabled(ui->pushButtonRead));
    const int polls = loggedFrames(log, 0).size() - expected.size();
    QVERIFY2(polls >= 9, qPrintable(QString::number(polls)));
    // One poll a period, counted against the periods that passed between the first poll and the
    // last as the unit saw them: when the test ends its ten periods (at a poll, or a moment after)
    // does not count, nor how late a busy machine delivers a tick. None extra; one tick may find
    // the line still busy.
    QTRY_COMPARE_WITH_TIMEOUT(arrivals.size(), polls, 1500);
    const int periods = qRound(double(arrivals.last() - arrivals.first()) / pollMs);
    QVERIFY2(polls - 1 <= periods && polls - 1 >= periods - 1,
             qPrintable(QStringLiteral("%1 polls over %2 periods").arg(polls).arg(periods)));
    for (int i = 0; i < polls; ++i) {
        expected.append(poll);
    }
    QTRY_COMPARE_WITH_TIMEOUT(loggedFrames(log, 1).size(), 2 + 1 + 1 + 1 + 2 + polls, 1500);

    // No byte on the line that is not one of these frames, none of them missing, in this order.
    QCOMPARE(sim.transmitter().received().toHex(), concat(expected).toHex());
    QCOMPARE(watcher.count("QMessageBox"), 1);
}

QTEST_MAIN(TstLine)
#include "tst_line.moc"
