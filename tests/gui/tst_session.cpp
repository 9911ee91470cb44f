// A technician's whole session through the real window against a simulated ZR200Pro, and the
// line faults the tool has to survive without losing a log line.
#include "core/device/readings_file.h"
#include "core/device/register_map.h"
#include "core/modbus/modbus_frame.h"
#include "gui/trend_window.h"
#include "tests/support/fake_unit.h"
#include "tests/support/harness.h"

#include <QDir>
#include <QSerialPort>
#include <QtTest>

#include <algorithm>

class TstSession : public QObject {
    Q_OBJECT

private slots:
    void technicianSession();
    void transmitterGoesAway_data();
    void transmitterGoesAway();
    void portComesBack_data();
    void portComesBack();
    void lineFaults_data();
    void lineFaults();
    void floodClosesPortOnce();
    void garbageAtWrongRate();
    void pictures();

private:
    // Flows, not timing: a short search step and poll period for every window made here.
    ScopedLineTiming timing;
};

namespace {
// What the tool is doing when its transmitter goes away.
enum class Activity { Polling, Idle, WriteOnItsWay };

bool validFrame(const QString &hex) {
    const QByteArray frame = QByteArray::fromHex(hex.toLatin1());
    if (frame.size() < 4) {
        return false;
    }
    QByteArray body = frame.left(frame.size() - 2);
    appendCrc(body);
    return body == frame;
}

// Waits until the log has one more RX line than `before`.
bool waitForReply(const QString &log, int before, int ms = 3000) {
    return QTest::qWaitFor([&] { return loggedFrames(log, 1).size() > before; }, ms);
}

// Waits until the log holds at least `count` TX lines of the live poll of `block` (0 or 4).
bool waitForPolls(const QString &log, int block, int count, int ms) {
    const QString poll = QString::fromLatin1(buildReadRequest(1, static_cast<quint16>(block), 4).toHex());
    return QTest::qWaitFor([&] { return loggedFrames(log, 0).count(poll) >= count; }, ms);
}
} // namespace

void TstSession::technicianSession() {
    // Short search steps and poll periods: the session's flow is the point, not its pace.
    ScopedLineTiming timing(50, 50);
    ScopedWorkDir dir;
    TransmitterConfig config; // ZR200Pro, firmware 105, address 1, 9600 baud
    SimFixture sim(config);
    QVERIFY(sim.ok());
    dir.writeConfig(sim.port());
    QStringList received;
    QObject::connect(
        &sim.transmitter(), &PtyTransmitter::requestReceived,
        [&received](const QByteArray &request) { received << QString::fromLatin1(request.toHex()); });
    ModalWatcher watcher;
    Widget w;
    w.show();
    WidgetUi *ui = WidgetTestAccess::ui(w);
    const QString log = WidgetTestAccess::logFilePath(w);

    // Start-up links to the remembered port by itself.
    QVERIFY(watcher.waitForCount(1, 5000));
    QCOMPARE(watcher.seen.last().title, QString("Succeed"));
    QCOMPARE(watcher.seen.last().text, QString("The device baud rate is:9600!"));
    QCOMPARE(watcher.count("SerialportSettingDialog"), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!ui->dateTimeEditDeviceTime->isHidden(), 3000); // ZR200Pro from 105 on
    QCOMPARE(ui->comboBoxType->currentText(), QString("ZR200Pro"));
    QCOMPARE(ui->lineEditAddress->text(), QString("1"));

    // Five seconds of live readings, in both magnifications.
    ui->comboBoxRegister->setCurrentIndex(0);
    QVERIFY(clickEnabled(ui->pushButtonRead));
    QCOMPARE(ui->pushButtonRead->text(), QString("Stop"));
    QTRY_VERIFY_WITH_TIMEOUT(ui->labelTemperature->text().contains(QString::fromUtf8("℃")), 2500);
    QVERIFY(waitForPolls(log, 4, 2, 2500));
    ui->comboBoxRegister->setCurrentIndex(1);
    QVERIFY(waitForPolls(log, 0, 2, 3500));
    QVERIFY(clickEnabled(ui->pushButtonRead));
    QCOMPARE(ui->pushButtonRead->text(), QString("Read"));
    const QStringList polls = loggedFrames(log, 0).filter(QRegularExpression("^0103000[04]0004"));
    QVERIFY2(polls.size() >= 4, qPrintable(polls.join(',')));
    QVERIFY(polls.contains(QString::fromLatin1(buildReadRequest(1, 4, 4).toHex())));
    QVERIFY(polls.contains(QString::fromLatin1(buildReadRequest(1, 0, 4).toHex())));
    QVERIFY(ui->labelHumidity->text().contains("%"));

    // Output range.
    ui->lineEditRangeMin->clear();
    QTest::keyClicks(ui->lineEditRangeMin, "-20.5");
    ui->lineEditRangeMax->clear();
    QTest::keyClicks(ui->lineEditRangeMax, "85");
    int rx = loggedFrames(log, 1).size();
    QVERIFY(clickEnabled(ui->pushButtonTempRange));
    QVERIFY(waitForReply(log, rx));
    QCOMPARE(loggedFrames(log, 0).last(), QString("011001070108"
                                                  "04ff330352eea5"));

    // Heater on, then off.
    rx = loggedFrames(log, 1).size();
    QVERIFY(clickEnabled(ui->pushButtonHeaterON));
    QVERIFY(waitForReply(log, rx));
    QTRY_VERIFY(!ui->pushButtonHeaterON->isEnabled());
    QVERIFY(ui->pushButtonHeaterOFF->isEnabled());
    rx = loggedFrames(log, 1).size();
    QVERIFY(clickEnabled(ui->pushButtonHeaterOFF));
    QVERIFY(waitForReply(log, rx));
    QTRY_VERIFY(ui->pushButtonHeaterON->isEnabled());
    QVERIFY(!ui->pushButtonHeaterOFF->isEnabled());

    // Clock from the computer and a heating schedule.
    QVERIFY(ui->checkBoxSystemTime->isChecked());
    rx = loggedFrames(log, 1).size();
    QVERIFY(clickEnabled(ui->pushButtonDeviceTime));
    QVERIFY(waitForReply(log, rx));
    ui->timeEditStartTime->setTime(QTime(6, 30));
    ui->comboBoxInterval->setCurrentIndex(11);
    ui->comboBoxHeaterTime->setCurrentIndex(120);
    rx = loggedFrames(log, 1).size();
    QVERIFY(clickEnabled(ui->pushButtonHeaterTime));
    QVERIFY(waitForReply(log, rx));

    // Read the device information back: range, clock and schedule as written.
    ui->timeEditStartTime->setTime(QTime(0, 0));
    ui->comboBoxInterval->setCurrentIndex(0);
    ui->comboBoxHeaterTime->setCurrentIndex(0);
    ui->lineEditRangeMin->clear();
    rx = loggedFrames(log, 1).size();
    QVERIFY(clickEnabled(ui->pushButtonReadInfo));
    QVERIFY(waitForReply(log, rx + 1)); // the information, then the clock block
    QCOMPARE(ui->lineEditRangeMin->text(), QString("-20.5"));
    QCOMPARE(ui->lineEditRangeMax->text(), QString("85.0"));
    QCOMPARE(ui->timeEditStartTime->time(), QTime(6, 30));
    QCOMPARE(ui->comboBoxInterval->currentIndex(), 11);
    QCOMPARE(ui->comboBoxHeaterTime->currentIndex(), 120);
    // The editor shows the device's wall clock, set from the computer's local time.
    const QDateTime shown(ui->dateTimeEditDeviceTime->date(), ui->dateTimeEditDeviceTime->time());
    QVERIFY(qAbs(shown.secsTo(QDateTime::currentDateTime())) < 10);

    QVERIFY(w.close());

    // The log holds the whole session in order.
    const QStringList lines = readLogLines(log);
    QVERIFY(lines.first().endsWith("->Application start!"));
    QVERIFY(lines.last().endsWith("->Application close!"));
    QString previousStamp;
    for (const QString &line : lines) {
        const QString stamp = line.left(23);
        QVERIFY2(stamp >= previousStamp, qPrintable(line));
        previousStamp = stamp;
    }
    for (const QString &frame : loggedFrames(log, 1)) {
        QVERIFY2(validFrame(frame), qPrintable(frame));
    }
    // Every TX line reached the line, in the same order (the search's probes at wrong rates too).
    QCOMPARE(received, loggedFrames(log, 0));
}

void TstSession::transmitterGoesAway_data() {
    QTest::addColumn<int>("activity");
    QTest::newRow("polling") << int(Activity::Polling);
    QTest::newRow("linked and idle") << int(Activity::Idle);
    QTest::newRow("heater write on its way") << int(Activity::WriteOnItsWay);
}

// The adapter goes away: the hung-up line is closed once, with one log line saying so, whether
// the tool was polling, idle, or waiting for the reply to a setting; a second link finds the
// transmitter again under the same name.
void TstSession::transmitterGoesAway() {
    QFETCH(int, activity);
    ScopedLineTiming timing(150, 50);
    ScopedWorkDir dir;
    LinkedWindow linked(TransmitterConfig(), dir.path() + "/ttyZR");
    QVERIFY(linked.linked());
    auto &sim = linked;
    Widget &w = *linked.window;
    ModalWatcher &watcher = linked.watcher;
    WidgetUi *ui = linked.ui;
    const WindowPort port = WidgetTestAccess::port(w);
    const QString log = linked.log;
    const bool heaterOnBefore = ui->pushButtonHeaterON->isEnabled();
    if (activity == int(Activity::Polling)) {
        ui->groupBoxRTD->setEnabled(true);
        QVERIFY(clickEnabled(ui->pushButtonRead));
        QVERIFY(waitForReply(log, 2, 2500));
    } else if (activity == int(Activity::WriteOnItsWay)) {
        sim.transmitter().setReplyDelay(500);
        QSignalSpy requests(&sim.transmitter(), &PtyTransmitter::requestReceived);
        WidgetTestAccess::invoke(w, "PushButtonHeaterONSlot");
        QVERIFY(requests.wait(2000)); // on the line, its reply not yet sent
    }

    const int rxBefore = loggedFrames(log, 1).size();
    sim.transmitter().vanish();
    QTRY_VERIFY_WITH_TIMEOUT(!port->isOpen(), 2000);
    auto closeLines = [&log] {
        return readLogLines(log).filter(QRegularExpression("->Serial port .*ttyZR closed: ")).size();
    };
    QCOMPARE(closeLines(), 1);
    QCOMPARE(loggedFrames(log, 1).size(), rxBefore); // no reply came after
    // Said in words: the pseudo-terminal went away with the transmitter.
    QCOMPARE(readLogLines(log).filter("closed: the device was removed; waiting for it to come back").size(),
             1);
    QCOMPARE(ui->pushButtonHeaterON->isEnabled(), heaterOnBefore);
    QVERIFY(ui->pushButtonLink->isEnabled());
    if (activity == int(Activity::Polling)) {
        const int txBefore = loggedFrames(log, 0).size();
        // Nothing more goes to the closed port: four ticks of the poll timer pass without a TX line.
        QVERIFY(ticksPass(w, 4));
        QCOMPARE(loggedFrames(log, 0).size(), txBefore);
        QCOMPARE(loggedFrames(log, 1).size(), rxBefore);
    } else {
        QCOMPARE(ui->pushButtonRead->text(), QString("Read"));
    }
    QCOMPARE(watcher.count("QMessageBox"), 0);

    QVERIFY(sim.transmitter().reappear());
    sim.transmitter().setReplyDelay(0);
    ui->pushButtonLink->click();
    QVERIFY(waitForReply(log, rxBefore));
    QVERIFY(port->isOpen());
    QCOMPARE(closeLines(), 1); // closed once, logged once
}

void TstSession::portComesBack_data() {
    QTest::addColumn<bool>("sameUnit");
    QTest::newRow("the same unit: polling resumes") << true;
    QTest::newRow("another unit: not linked") << false;
}

// The adapter is pulled out while polling and plugged in again behind the same name: the tool
// finds it by itself, and goes on only with the unit it had.
void TstSession::portComesBack() {
    QFETCH(bool, sameUnit);
    ScopedLineTiming timing(150, 50);
    ScopedWorkDir dir;
    // The adapter is pulled and plugged in again in the test's process; the line looks for it on
    // its clock, which runs by itself (the real pulling of a pseudo-terminal is transmitterGoesAway's).
    FakeLinkedWindow linked(TransmitterConfig(), dir.path() + "/ttyZR");
    QVERIFY(linked.linked());
    auto &sim = linked;
    Widget &w = *linked.window;
    ModalWatcher &watcher = linked.watcher;
    WidgetUi *ui = linked.ui;
    const QString log = linked.log;
    ui->groupBoxRTD->setEnabled(true);
    QVERIFY(clickEnabled(ui->pushButtonRead));
    QVERIFY(waitForReply(log, 2, 2500));
    const auto notices = [&](const QString &pattern) {
        return readLogLines(log).filter(QRegularExpression(pattern)).size();
    };

    sim.transmitter().unplug();
    QTRY_VERIFY_WITH_TIMEOUT(!WidgetTestAccess::port(w)->isOpen(), 2000);
    // Readings stop: greyed once they are two periods old, said once.
    QTRY_VERIFY_WITH_TIMEOUT(!ui->labelTemperature->isEnabled(), 2000);
    QVERIFY(ui->labelTemperature->text().contains(" s old)"));
    if (!sameUnit) {
        for (int i = 0; i < 3; ++i) {
            sim.transmitter().model().setRegisterValue(Reg::SerialNumber + i, quint16(0x1111 * (i + 1)));
        }
    }
    sim.transmitter().plugBack();
    if (sameUnit) {
        QTRY_VERIFY_WITH_TIMEOUT(notices("->Serial port .*ttyZR is back after .*: polling resumed") == 1,
                                 5000);
        QTRY_VERIFY_WITH_TIMEOUT(ui->labelTemperature->isEnabled(), 2000);
        QCOMPARE(notices("->Live readings resumed after \\d+ missed poll"), 1);
        QVERIFY(WidgetTestAccess::port(w)->isOpen());
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(
            notices("->Serial port .*ttyZR is back after .* with another unit \\(ZR200Pro, "
                    "serial number 111122223333\\): not linked") == 1,
            5000);
        QVERIFY(!WidgetTestAccess::port(w)->isOpen());
        QCOMPARE(ui->pushButtonRead->text(), QString("Read"));
        // Nothing more is sent to it until Link: not at the next ticks of the poll timer, nor at
        // the line's look for the port, which comes every few milliseconds on its fast clock.
        const int tx = loggedFrames(log, 0).size();
        QVERIFY(ticksPass(w, 3));
        QCOMPARE(loggedFrames(log, 0).size(), tx);
        // Nothing of the first unit stands beside the other one's serial number.
        QCOMPARE(ui->labelTemperature->text(), QString("Temperature:---"));
        QCOMPARE(ui->labelHumidity->text(), QString("Humidity:---"));
        QCOMPARE(ui->labelDewTemp->text(), QString("DewTemp:---"));
        QCOMPARE(ui->dateTimeEditDeviceTime->dateTime(), ui->dateTimeEditDeviceTime->minimumDateTime());
    }
    QCOMPARE(notices("->Serial port .*ttyZR closed: "), 1);
    QCOMPARE(notices("->Live readings stopped"), 1);
    QCOMPARE(watcher.count("QMessageBox"), 0);
    // The run's readings file: a row a reading, and one for the port lost while polling.
    const QStringList files = QDir("Data").entryList({"Readings-*.csv"});
    QCOMPARE(files.size(), 1);
    QFile file("Data/" + files.first());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    QCOMPARE(lines.first(), readingsHeader());
    const auto rows = [&lines](const char *status) {
        return std::count_if(lines.begin(), lines.end(),
                             [status](const QByteArray &l) { return l.contains(status); });
    };
    QCOMPARE(rows(",1,port-lost,"), 1);
    QVERIFY(rows(",1,ok,") >= (sameUnit ? 2 : 1));
    if (!sameUnit) {
        // Read on the port left unlinked: said, and nothing is polled or logged as sent.
        const int tx = loggedFrames(log, 0).size();
        QVERIFY(clickEnabled(ui->pushButtonRead));
        QCOMPARE(ui->pushButtonRead->text(), QString("Read"));
        QCOMPARE(watcher.messageBoxes("No device is linked, please press Link first!"), 1);
        QCOMPARE(notices("->No device is linked, please press Link first!"), 1);
        QVERIFY(ticksPass(w, 2));
        QCOMPARE(loggedFrames(log, 0).size(), tx);
    }
    if (sameUnit) {
        QVERIFY(lines.last().contains(",1,ok,"));
        // The trend holds what the labels showed, broken where the port was lost, and exports
        // a CSV that reads back.
        TrendWindow *trend = WidgetTestAccess::trendWindow(w);
        QVERIFY(trend);
        const Trend::TrendBuffer &history = trend->buffer();
        const int n = history.count(Trend::Temperature);
        int gaps = 0;
        for (int i = 0; i < n; ++i) {
            gaps += history.sample(Trend::Temperature, i).isGap() ? 1 : 0;
        }
        QVERIFY(gaps >= 1);
        const double newest = history.sample(Trend::Temperature, n - 1).value;
        QVERIFY2(ui->labelTemperature->text().contains(QString::number(newest, 'f', 1)),
                 qPrintable(ui->labelTemperature->text()));
        QVERIFY(trend->exportCsv("Data/trend.csv"));
        QFile csv("Data/trend.csv");
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> rows = csv.readAll().trimmed().split('\n');
        QCOMPARE(rows.size(), 1 + n - gaps);
        for (const QByteArray &row : rows.mid(1)) {
            QVERIFY(QDateTime::fromString(QString::fromLatin1(row.split(',').first()), Qt::ISODateWithMs)
                        .isValid());
            bool number = false;
            row.split(',').at(1).toDouble(&number);
            QVERIFY(number);
        }
    }
}

void TstSession::lineFaults_data() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("gapMs");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("split, short gaps") << int(SimFault::SplitReply) << 30 << true;
    QTest::newRow("split, long gaps") << int(SimFault::SplitReply) << 180 << false;
    QTest::newRow("corrupted CRC") << int(SimFault::BadCrc) << 0 << false;
    // A byte behind a whole reply does not spoil it.
    QTest::newRow("stray byte") << int(SimFault::StrayByte) << 0 << true;
    QTest::newRow("exception for everything") << int(SimFault::ExceptionAll) << 0 << true;
    QTest::newRow("silence") << int(SimFault::Silence) << 0 << false;
}

void TstSession::lineFaults() {
    QFETCH(int, fault);
    QFETCH(int, gapMs);
    QFETCH(bool, accepted);
    ScopedWorkDir dir;
    TransmitterConfig config;
    config.deviceType = 1; // no clock block: one reply per request
    // The unit's pieces, the reply windows and the reception gap on the line's clock, which the
    // test moves on by the time a reply takes.
    FakeUnit sim(config);
    sim.setManualTime(true);
    sim.setFault(SimFault(fault));
    if (gapMs > 0) {
        sim.setSplit(4, gapMs);
    }
    ModalWatcher watcher;
    watcher.dialogHandler = chooseInDialog(sim.port(), "9600");
    QSignalSpy sent(&sim, &FakeUnit::bytesSent);
    Widget w;
    const QString log = WidgetTestAccess::logFilePath(w);
    // One request at a time: the tool does not queue, and two replies back to back in one
    // notification are not one reply.
    // Each request waits for its reply, or, where none is accepted, for the time a reply takes.
    const int settleMs = qMax(300, gapMs * 8);
    // Not every row gets a reply.
    sim.advance(settleMs);
    WidgetTestAccess::ui(w)->lineEditAddress->setText("1");
    for (int i = 0; i < 3; ++i) {
        // A stray byte behind the last reply is dropped by the reception gap before the next request.
        QTRY_VERIFY_WITH_TIMEOUT(WidgetTestAccess::rxBuffer(w).isEmpty(), 1000);
        WidgetTestAccess::invoke(w, "PushButtonReadInfoSlot");
        sim.advance(settleMs);
    }
    const QStringList rx = loggedFrames(log, 1);
    if (accepted) {
        QVERIFY2(rx.size() >= 3, qPrintable(readLogLines(log).join("\n")));
    } else {
        QCOMPARE(rx.size(), 0);
    }
    for (const QString &frame : rx) {
        QVERIFY(validFrame(frame));
    }
    QTRY_VERIFY_WITH_TIMEOUT(WidgetTestAccess::rxBuffer(w).isEmpty(), 1000);
    QCOMPARE(loggedFrames(log, 0).size(), 4); // the link's read and three more, all on disk
    // Bytes that completed no reply are in the log too, marked as discarded.
    const int discarded = readLogLines(log).filter("->Discarded: ").size();
    const bool strayBytes =
        SimFault(fault) == SimFault::StrayByte || (!accepted && SimFault(fault) != SimFault::Silence);
    if (strayBytes) {
        QVERIFY(discarded > 0);
    } else {
        QCOMPARE(discarded, 0);
    }
    QCOMPARE(watcher.count("QMessageBox"), 0);
}

void TstSession::floodClosesPortOnce() {
    ScopedWorkDir dir;
    SimFixture sim;
    QVERIFY(sim.ok());
    sim.transmitter().setFault(SimFault::FloodFF);
    ModalWatcher watcher;
    watcher.dialogHandler = chooseInDialog(sim.port(), "9600");
    Widget w;
    QVERIFY(watcher.waitForCount(2, 3000));
    QCOMPARE(watcher.seen.last().title, QString("Error"));
    QCOMPARE(watcher.seen.last().text, QString("USB device error, please reconnect USB device!"));
    QVERIFY(!WidgetTestAccess::port(w)->isOpen());
    QVERIFY(!watcher.waitForCount(3, 300));
    QCOMPARE(watcher.count("QMessageBox"), 1);
    QCOMPARE(loggedFrames(WidgetTestAccess::logFilePath(w), 1).size(), 0);
}

void TstSession::garbageAtWrongRate() {
    ScopedWorkDir dir;
    SimFixture sim; // 9600
    QVERIFY(sim.ok());
    sim.transmitter().setGarbleAtWrongRate(true);
    ModalWatcher watcher;
    watcher.dialogHandler = chooseInDialog(sim.port(), "19200");
    QSignalSpy sent(&sim.transmitter(), &PtyTransmitter::bytesSent);
    Widget w;
    QVERIFY(sent.wait(2000)); // noise came back
    QTRY_VERIFY_WITH_TIMEOUT(WidgetTestAccess::rxBuffer(w).isEmpty(), 1000);
    QCOMPARE(loggedFrames(WidgetTestAccess::logFilePath(w), 1).size(), 0);
    QCOMPARE(watcher.count("QMessageBox"), 0);
    QVERIFY(WidgetTestAccess::port(w)->isOpen());
}

// Pictures of the dialog and of the window with live readings flowing, for the README. They go
// to ZR_SCREENSHOT_DIR when it is set, else into the test's own directory.
void TstSession::pictures() {
    // The pictures are the point, not the search's or the poll's pace.
    ScopedLineTiming timing(50, 50);
    ScopedWorkDir dir;
    const QString target = qEnvironmentVariableIsSet("ZR_SCREENSHOT_DIR")
                               ? qEnvironmentVariable("ZR_SCREENSHOT_DIR")
                               : dir.path();
    SimFixture sim;
    QVERIFY(sim.ok());
    ModalWatcher watcher;
    QImage dialogPicture;
    const auto choose = chooseInDialog(sim.port(), "AUTO");
    watcher.dialogHandler = [&](QDialog *dialog) {
        auto *names = dialog->findChild<QComboBox *>("comboBoxName");
        names->setCurrentIndex(names->findText(sim.port()));
        dialogPicture = dialog->grab().toImage();
        choose(dialog);
    };
    Widget w;
    w.show();
    QVERIFY(watcher.waitForCount(2, 6000));
    QCOMPARE(watcher.seen.last().title, QString("Succeed"));
    WidgetUi *ui = WidgetTestAccess::ui(w);
    ui->comboBoxRegister->setCurrentIndex(1);
    QVERIFY(clickEnabled(ui->pushButtonRead));
    QTRY_VERIFY_WITH_TIMEOUT(ui->labelDewTemp->text().contains("mA"), 2500);
    const QImage windowPicture = w.grab().toImage();
    QCOMPARE(windowPicture.size(), w.size());
    QCOMPARE(dialogPicture.width(), 400); // the height grows to what the fonts here need
    QVERIFY(windowPicture.save(target + "/main-window.png"));
    QVERIFY(dialogPicture.save(target + "/settings-dialog.png"));
    QVERIFY(QFileInfo(target + "/main-window.png").size() > 1000);
}

QTEST_MAIN(TstSession)
#include "tst_session.moc"
