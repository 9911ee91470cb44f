// The automatic baud-rate search against a simulated transmitter at every line rate, and on a
// silent line.
#include "tests/support/fake_unit.h"
#include "tests/support/harness.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSerialPort>
#include <QtTest>

class TstSearch : public QObject {
    Q_OBJECT

private slots:
    void findsEveryRate_data();
    void findsEveryRate();
    void silentLineFailsOnce();
    void remembersNewPortOnly();
};

namespace {
const QByteArray kProbe = QByteArray::fromHex("00030100000ac5e0");
}

void TstSearch::findsEveryRate_data() {
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("position"); // 1-based place among the candidates
    QTest::newRow("115200") << 115200 << 1;
    QTest::newRow("19200") << 19200 << 2;
    QTest::newRow("9600") << 9600 << 3;
    QTest::newRow("4800") << 4800 << 4;
    QTest::newRow("2400") << 2400 << 5;
    QTest::newRow("1200") << 1200 << 6;
}

void TstSearch::findsEveryRate() {
    QFETCH(int, rate);
    QFETCH(int, position);
    // The unit is in the test's process and its replies take no real time at any rate, so every
    // rate is searched with a short step; the real-time search is silentLineFailsOnce's.
    const int stepMs = 40;
    ScopedLineTiming timing(stepMs);
    ScopedWorkDir dir;
    TransmitterConfig config;
    config.baudRate = rate;
    config.address = 17;
    config.deviceType = 1;
    FakeUnit sim(config);
    sim.setGarbleAtWrongRate(true); // a real line shows noise at the wrong rate
    ModalWatcher watcher;
    watcher.dialogHandler = chooseInDialog(sim.port(), "AUTO");
    QElapsedTimer clock;
    clock.start();
    Widget w;
    QVERIFY(watcher.waitForCount(2, 8000)); // the dialog, then the result
    const qint64 elapsed = clock.elapsed();
    const SeenModal result = watcher.seen.last();
    QCOMPARE(result.title, QString("Succeed"));
    QCOMPARE(result.text, QString("The device baud rate is:%1!").arg(rate));
    QCOMPARE(WidgetTestAccess::ui(w)->comboBoxBaudRate->currentText(), QString::number(rate));
    QVERIFY(WidgetTestAccess::ui(w)->groupBoxDevice->isEnabled());
    QVERIFY(WidgetTestAccess::ui(w)->groupBoxRTD->isEnabled());
    QVERIFY(WidgetTestAccess::ui(w)->groupBoxMessage->isEnabled());
    QVERIFY(!WidgetTestAccess::timerAutoBaud(w)->isActive());
    QCOMPARE(WidgetTestAccess::port(w)->baudRate(), rate);
    QCOMPARE(WidgetTestAccess::ui(w)->lineEditAddress->text(), QString("17"));
    QVERIFY(!WidgetTestAccess::autoRead(w)); // live reading waits for "Read"
    // One probe per candidate tried, all to address 0; success is seen one step after the answer.
    const QStringList tx = loggedFrames(WidgetTestAccess::logFilePath(w), 0);
    QCOMPARE(tx.size(), position);
    for (const QString &frame : tx) {
        QCOMPARE(frame, QString::fromLatin1(kProbe.toHex()));
    }
    // One step a candidate, less a step of slack; a coarse timer may fire up to 5 % early.
    QVERIFY2(elapsed >= stepMs * position * 95 / 100 - stepMs, qPrintable(QString::number(elapsed)));
}

void TstSearch::silentLineFailsOnce() {
    // Real time on a real pseudo-terminal, with a step well under the reply window at the slow
    // rates: each probe still reaches the unit before the port is opened at the next rate.
    const int stepMs = 50;
    ScopedLineTiming timing(stepMs);
    ScopedWorkDir dir;
    TransmitterConfig config;
    SimFixture sim(config);
    QVERIFY(sim.ok());
    sim.transmitter().setFault(SimFault::Silence);
    ModalWatcher watcher;
    watcher.dialogHandler = chooseInDialog(sim.port(), "AUTO");
    QSignalSpy requests(&sim.transmitter(), &PtyTransmitter::requestReceived);
    QElapsedTimer clock;
    clock.start();
    Widget w;
    QVERIFY(watcher.waitForCount(2, 15000));
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(watcher.seen.last().title, QString("Error"));
    QCOMPARE(watcher.seen.last().text, QString("Communication error!"));
    // Three passes of six rates and the step that sees the last probe unanswered.
    QVERIFY2(elapsed >= 19 * stepMs, qPrintable(QString::number(elapsed)));
    QVERIFY(!WidgetTestAccess::timerAutoBaud(w)->isActive());
    // Nothing further for more than a whole pass (seven steps): exactly one box, 18 probes, the
    // port left at the last candidate.
    QVERIFY(!requests.wait(8 * stepMs));
    QCOMPARE(watcher.seen.size(), 2);
    const QStringList tx = loggedFrames(WidgetTestAccess::logFilePath(w), 0);
    QCOMPARE(tx.size(), 18);
    QCOMPARE(tx.count(QString::fromLatin1(kProbe.toHex())), 18);
    QCOMPARE(requests.count(), 18);
    QCOMPARE(WidgetTestAccess::port(w)->baudRate(), 1200);
    QVERIFY(!WidgetTestAccess::ui(w)->groupBoxDevice->isEnabled());
    // The log said each rate as it was probed, each further pass once, and what was tried.
    const QStringList log = readLogLines(WidgetTestAccess::logFilePath(w));
    QCOMPARE(log.filter(QRegularExpression("->Searching " + sim.port() +
                                           " at (115200|19200|9600|4800|2400|1200)\\.\\.\\.$"))
                 .size(),
             6);
    QCOMPARE(log.filter(QRegularExpression("->Searching .* again at every rate \\(pass [23] of 3\\)")).size(),
             2);
    QCOMPARE(log.filter("->No device answered on " + sim.port() +
                        " at 115200, 19200, 9600, 4800, 2400, 1200 baud (3 passes)")
                 .size(),
             1);
}

void TstSearch::remembersNewPortOnly() {
    ScopedLineTiming timing;
    TransmitterConfig config;
    config.baudRate = 115200;
    SimFixture sim(config);
    QVERIFY(sim.ok());
    {
        // Chosen in the dialog: the port is remembered for the next start.
        ScopedWorkDir dir;
        ModalWatcher watcher;
        watcher.dialogHandler = chooseInDialog(sim.port(), "AUTO");
        Widget w;
        QVERIFY(watcher.waitForCount(2, 5000));
        QCOMPARE(watcher.seen.last().title, QString("Succeed"));
        QSettings settings("Ini/Config.ini", QSettings::IniFormat);
        QCOMPARE(settings.value("System/PortName").toString(), sim.port());
        QCOMPARE(settings.value("System/ProgramName").toString(), QString("ZRxxx test"));
    }
    {
        // Already remembered: start-up searches it without the dialog and leaves the file alone.
        ScopedWorkDir dir;
        dir.writeConfig(sim.port(), "Bench");
        QFile file("Ini/Config.ini");
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();
        QVERIFY(file.open(QIODevice::Append));
        file.write("; kept\n");
        file.close();
        ModalWatcher watcher;
        Widget w;
        QVERIFY(watcher.waitForCount(1, 5000));
        QCOMPARE(watcher.seen.last().title, QString("Succeed"));
        QCOMPARE(watcher.count("SerialportSettingDialog"), 0);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before + "; kept\n");
    }
}

QTEST_MAIN(TstSearch)
#include "tst_search.moc"
