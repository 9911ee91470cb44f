// The link procedure against a simulated transmitter on a pseudo-terminal: the settings dialog,
// opening the line, start-up with and without a remembered port.
#include "core/modbus/serial_ports.h"
#include "tests/support/harness.h"

#include <QSerialPort>
#include <QtTest>

class TstLink : public QObject {
    Q_OBJECT

private slots:
    void dialogListsOnlyOpenablePorts();
    void extraPortsVariable();
    void fixedRateOpensEightNoneOne_data();
    void fixedRateOpensEightNoneOne();
    void cancelLeavesPortClosed();
    void linkingAgainKeepsDelivering();
    void startupWithoutPortAsks();
    void startupWithPresentPortSearches();
    void startupWithAbsentPortAsks();
    void linkDuringSearchStopsIt();
    void vanishedPortSaysWhyAtOnce();
    void errorsThatEndTheLink_data();
    void errorsThatEndTheLink();
};

void TstLink::dialogListsOnlyOpenablePorts() {
    ScopedWorkDir dir;
    PtyTransmitter free;
    PtyTransmitter busy;
    QVERIFY(free.start());
    QVERIFY(busy.start());
    const ScopedEnv extra(
        "ZRTOOL_EXTRA_PORTS",
        (free.slavePath() + ":" + busy.slavePath() + ":/dev/zrtool-no-such-port").toLocal8Bit());
    QSerialPort holder;
    holder.setPortName(busy.slavePath());
    QVERIFY(holder.open(QIODevice::ReadWrite)); // held open by another program
    QStringList listed;
    QString title;
    QString rate;
    ModalWatcher watcher;
    watcher.dialogHandler = [&](QDialog *dialog) {
        auto *names = dialog->findChild<QComboBox *>("comboBoxName");
        for (int i = 0; i < names->count(); ++i) {
            listed << names->itemText(i);
        }
        title = dialog->windowTitle();
        rate = dialog->findChild<QComboBox *>("comboBoxBaud")->currentText();
    };
    Widget w;
    QCOMPARE(watcher.count("SerialportSettingDialog"), 1);
    QCOMPARE(title, QString("Serial port"));
    QCOMPARE(rate, QString("AUTO"));
    QVERIFY(listed.contains(free.slavePath()));
    QVERIFY(!listed.contains(busy.slavePath()));
    QVERIFY(!listed.contains("/dev/zrtool-no-such-port"));
    holder.close();
    QVERIFY(openablePorts().contains(busy.slavePath()));
}

void TstLink::extraPortsVariable() {
    PtyTransmitter sim;
    QVERIFY(sim.start());
    ScopedEnv extra("ZRTOOL_EXTRA_PORTS", QByteArray());
    extra.unset();
    QVERIFY(!openablePorts().contains(sim.slavePath()));
    extra.set(("::" + sim.slavePath() + ":").toLocal8Bit());
    const QStringList ports = openablePorts();
    QCOMPARE(ports.count(sim.slavePath()), 1);
    QCOMPARE(ports.last(), sim.slavePath()); // after the system's own ports
}

void TstLink::fixedRateOpensEightNoneOne_data() {
    QTest::addColumn<QString>("parity");
    QTest::newRow("NO") << "NO";
    QTest::newRow("EVEN is shown only") << "EVEN";
    QTest::newRow("ODD is shown only") << "ODD";
}

void TstLink::fixedRateOpensEightNoneOne() {
    QFETCH(QString, parity);
    ScopedWorkDir dir;
    TransmitterConfig config;
    config.baudRate = 9600;
    SimFixture sim(config);
    QVERIFY(sim.ok());
    ModalWatcher watcher;
    Widget w;
    QSignalSpy requests(&sim.transmitter(), &PtyTransmitter::requestReceived);
    watcher.dialogHandler = chooseInDialog(sim.port(), "9600", parity);
    WidgetTestAccess::ui(w)->pushButtonLink->click();
    QSerialPort *port = WidgetTestAccess::port(w);
    QVERIFY(port->isOpen());
    QCOMPARE("/dev/" + port->portName(), sim.port()); // the port object drops the /dev/ prefix
    const LineSettings line = sim.transmitter().lineSettings();
    QCOMPARE(line.baudRate, 9600);
    QCOMPARE(line.dataBits, 8);
    QCOMPARE(line.parity, 'N');
    QCOMPARE(line.stopBits, 1);
    QVERIFY(!line.hardwareFlow);
    QVERIFY(!line.softwareFlow);
    // The device-information read goes out at once, to address 0.
    QVERIFY(requests.count() > 0 || requests.wait(2000));
    QCOMPARE(requests.first().first().toByteArray(), hexBytes("00 03 01 00 00 0A C5 E0"));
    QCOMPARE(loggedFrames(WidgetTestAccess::logFilePath(w), 0).first(), QString("00030100000ac5e0"));
    // The reply proves the link and brings the device's address.
    QTRY_COMPARE_WITH_TIMEOUT(WidgetTestAccess::ui(w)->lineEditAddress->text(), QString("1"), 3000);
    QVERIFY(!WidgetTestAccess::autoRead(w));
    // A fixed rate does not unlock the groups; only the search does.
    QVERIFY(!WidgetTestAccess::ui(w)->groupBoxDevice->isEnabled());
}

void TstLink::cancelLeavesPortClosed() {
    ScopedWorkDir dir;
    SimFixture sim;
    QVERIFY(sim.ok());
    ModalWatcher watcher;
    Widget w;
    watcher.dialogHandler = chooseInDialog(sim.port(), "9600");
    WidgetTestAccess::ui(w)->pushButtonLink->click();
    QVERIFY(WidgetTestAccess::port(w)->isOpen());
    WidgetTestAccess::ui(w)->groupBoxRTD->setEnabled(true);
    WidgetTestAccess::invoke(w, "PushButtonReadSlot");
    QVERIFY(WidgetTestAccess::autoRead(w));

    watcher.dialogHandler = nullptr; // Cancel
    WidgetTestAccess::ui(w)->pushButtonLink->click();
    QVERIFY(!WidgetTestAccess::port(w)->isOpen());
    QVERIFY(!WidgetTestAccess::autoRead(w));
    QCOMPARE(WidgetTestAccess::ui(w)->pushButtonRead->text(), QString("Read"));
    QCOMPARE(WidgetTestAccess::ui(w)->lineEditAddress->text(), QString());
    QVERIFY(!WidgetTestAccess::timerAutoBaud(w)->isActive());
}

void TstLink::linkingAgainKeepsDelivering() {
    ScopedWorkDir dir;
    TransmitterConfig config;
    config.deviceType = 1; // no clock: one request and one reply per link
    SimFixture sim(config);
    QVERIFY(sim.ok());
    ModalWatcher watcher;
    Widget w;
    watcher.dialogHandler = chooseInDialog(sim.port(), "9600");
    const QString log = WidgetTestAccess::logFilePath(w);
    for (int round = 1; round <= 3; ++round) {
        WidgetTestAccess::ui(w)->pushButtonLink->click();
        QTRY_COMPARE_WITH_TIMEOUT(loggedFrames(log, 1).size(), round, 3000);
        QCOMPARE(WidgetTestAccess::ui(w)->lineEditAddress->text(), QString("1"));
    }
    // One reply, one RX line: the parser is connected once however often the port was opened.
    QVERIFY(!QTest::qWaitFor([&] { return loggedFrames(log, 1).size() > 3; }, 300));
    QCOMPARE(loggedFrames(log, 1).size(), 3);
    QCOMPARE(loggedFrames(log, 0).size(), 3);
}

void TstLink::startupWithoutPortAsks() {
    ScopedWorkDir dir;
    dir.writeConfig("");
    SimFixture sim;
    QVERIFY(sim.ok());
    ModalWatcher watcher;
    bool shownBefore = true;
    Widget *window = nullptr;
    watcher.dialogHandler = [&](QDialog *) { shownBefore = window && window->isVisible(); };
    Widget w;
    window = &w;
    QCOMPARE(watcher.count("SerialportSettingDialog"), 1);
    QVERIFY(!shownBefore);
    QVERIFY(!WidgetTestAccess::port(w)->isOpen());
}

void TstLink::startupWithPresentPortSearches() {
    ScopedWorkDir dir;
    SimFixture sim;
    QVERIFY(sim.ok());
    dir.writeConfig(sim.port());
    ModalWatcher watcher;
    QSignalSpy requests(&sim.transmitter(), &PtyTransmitter::requestReceived);
    Widget w;
    QCOMPARE(watcher.count("SerialportSettingDialog"), 0);
    QVERIFY(WidgetTestAccess::timerAutoBaud(w)->isActive());
    QVERIFY(WidgetTestAccess::port(w)->isOpen());
    QCOMPARE(WidgetTestAccess::port(w)->baudRate(), 115200); // the first candidate
    QCOMPARE(WidgetTestAccess::shared(w)->currentPortName, sim.port());
    QVERIFY(requests.wait(2000));
    QCOMPARE(requests.first().first().toByteArray(), hexBytes("00 03 01 00 00 0A C5 E0"));
    WidgetTestAccess::timerAutoBaud(w)->stop();
}

void TstLink::startupWithAbsentPortAsks() {
    ScopedWorkDir dir;
    dir.writeConfig("/dev/zrtool-unplugged-adapter");
    ModalWatcher watcher;
    Widget w;
    QCOMPARE(watcher.count("SerialportSettingDialog"), 1);
    QVERIFY(!WidgetTestAccess::timerAutoBaud(w)->isActive());
}

void TstLink::linkDuringSearchStopsIt() {
    ScopedWorkDir dir;
    TransmitterConfig config;
    config.baudRate = 1200; // found last, so the search is still running when Link is pressed
    SimFixture sim(config);
    QVERIFY(sim.ok());
    dir.writeConfig(sim.port());
    ModalWatcher watcher;
    Widget w;
    QVERIFY(WidgetTestAccess::timerAutoBaud(w)->isActive());
    watcher.dialogHandler = chooseInDialog(sim.port(), "1200");
    WidgetTestAccess::ui(w)->pushButtonLink->click();
    QVERIFY(!WidgetTestAccess::timerAutoBaud(w)->isActive());
    // No stale search step comes and replaces the chosen rate.
    QSignalSpy steps(WidgetTestAccess::timerAutoBaud(w), &QTimer::timeout);
    QVERIFY(!steps.wait(1200));
    QCOMPARE(WidgetTestAccess::port(w)->baudRate(), 1200);
    QCOMPARE(watcher.count("QMessageBox"), 0);
    QCOMPARE(WidgetTestAccess::ui(w)->lineEditAddress->text(), QString("1"));
}

void TstLink::vanishedPortSaysWhyAtOnce() {
    ScopedWorkDir dir;
    ModalWatcher watcher;
    Widget w;
    watcher.dialogHandler = chooseInDialog("", "9600");
    WidgetTestAccess::shared(w)->currentPortName = "/dev/zrtool-gone";
    WidgetTestAccess::shared(w)->baudRate = 9600;
    const int boxes = watcher.count("QMessageBox");
    WidgetTestAccess::openLink(w);
    QVERIFY(!WidgetTestAccess::port(w)->isOpen());
    // Nothing goes to a port that did not open; why is said at once, in the log and in a box.
    QVERIFY(loggedFrames(WidgetTestAccess::logFilePath(w), 0).isEmpty());
    QVERIFY(readLogLines(WidgetTestAccess::logFilePath(w))
                .filter(QRegularExpression("->Serial port /dev/zrtool-gone cannot be opened: "))
                .size() == 1);
    QCOMPARE(watcher.count("QMessageBox"), boxes + 1);
    QVERIFY(watcher.seen.last().text.startsWith("Serial port /dev/zrtool-gone cannot be opened: "));
}

void TstLink::errorsThatEndTheLink_data() {
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("ends");
    QTest::newRow("none") << int(QSerialPort::NoError) << false;
    QTest::newRow("time-out") << int(QSerialPort::TimeoutError) << false;
    QTest::newRow("read: hung-up tty") << int(QSerialPort::ReadError) << true;
    QTest::newRow("write") << int(QSerialPort::WriteError) << true;
    QTest::newRow("resource: adapter pulled") << int(QSerialPort::ResourceError) << true;
    QTest::newRow("device not found") << int(QSerialPort::DeviceNotFoundError) << true;
    QTest::newRow("permission") << int(QSerialPort::PermissionError) << true;
    QTest::newRow("open") << int(QSerialPort::OpenError) << true;
    QTest::newRow("unsupported") << int(QSerialPort::UnsupportedOperationError) << true;
    QTest::newRow("not open") << int(QSerialPort::NotOpenError) << true;
    QTest::newRow("unknown") << int(QSerialPort::UnknownError) << true;
}

void TstLink::errorsThatEndTheLink() {
    QFETCH(int, error);
    QFETCH(bool, ends);
    QCOMPARE(errorEndsLink(static_cast<QSerialPort::SerialPortError>(error)), ends);
}

QTEST_MAIN(TstLink)
#include "tst_link.moc"
