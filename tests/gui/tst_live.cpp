// Live readings: the poll request for every selection, the reading labels with their analog
// equivalents, the poll toggle and the small display operations of the device information.
#include "core/device/shared_data.h"
#include "core/modbus/modbus_frame.h"
#include "gui/widget.h"
#include "tests/support/harness.h"
#include "ui_widget.h"

#include <QDir>
#include <QFile>
#include <QSerialPort>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

const QString kDegree = QStringLiteral("\u2103");

QByteArray readReply(const QVector<quint16> &words) {
    return readReplyFrame(words);
}

struct Bench {
    ScopedWorkDir dir;
    ModalWatcher watcher;
    Widget w;
    PtyLine line;
    bool attached = false;

    Bench() {
        attached = line.attach(w);
        // The tests drive the one-second tick themselves.
        WidgetTestAccess::timer1S(w)->stop();
        WidgetTestAccess::autoRead(w) = false;
        shared().responseReceived = false;
    }
    WidgetUi &ui() { return *WidgetTestAccess::ui(w); }
    SharedDataClass &shared() { return *WidgetTestAccess::shared(w); }
    QStringList tx() { return loggedFrames(WidgetTestAccess::logFilePath(w), 0); }
    // Selects the magnification and value items by their texts.
    bool choose(const QString &magnification, const QString &value) {
        const int reg = ui().comboBoxRegister->findText(magnification);
        const int num = ui().comboBoxNum->findText(value);
        ui().comboBoxRegister->setCurrentIndex(reg);
        ui().comboBoxNum->setCurrentIndex(num);
        return reg >= 0 && num >= 0;
    }
};

QString reading(const QString &value, const QString &unit, const QString &ma, const QString &v5,
                const QString &v10) {
    return QStringLiteral("<font color=red>") + value + unit + QStringLiteral("  </font><font color=green>") +
           ma + QStringLiteral("mA  </font><font color=blue>") + v5 +
           QStringLiteral("V  </font><font color=blue>") + v10 + QStringLiteral("V</font>");
}

} // namespace

class TestLive : public QObject {
    Q_OBJECT

private slots:
    void request_data();
    void request();
    void requestWithItemOutsideTable();
    void tickPollsOnlyWhenRunning();
    void readingsFileGapSaid();
    void readButtonToggles();
    void formatReading_data();
    void formatReading();
    void liveReply_data();
    void liveReply();
    void firmwareVersion_data();
    void firmwareVersion();
    void channelList_data();
    void channelList();
    void flowAgainstSimulator();
};

void TestLive::request_data() {
    QTest::addColumn<QString>("magnification");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("slave");
    QTest::newRow("*100 ALL") << "*100"
                              << "ALL"
                              << "1" << hexBytes("01 03 00 00 00 04 44 09") << 0 << 1;
    QTest::newRow("*100 Temperature") << "*100"
                                      << "Temperature"
                                      << "1" << hexBytes("01 03 00 00 00 01 84 0A") << 0 << 1;
    QTest::newRow("*100 Humidity") << "*100"
                                   << "Humidity"
                                   << "1" << hexBytes("01 03 00 01 00 01 D5 CA") << 1 << 1;
    QTest::newRow("*100 DewTemp") << "*100"
                                  << "DewTemp"
                                  << "1" << hexBytes("01 03 00 02 00 01 25 CA") << 2 << 1;
    QTest::newRow("*100 Status") << "*100"
                                 << "Status"
                                 << "1" << hexBytes("01 03 00 03 00 01 74 0A") << 3 << 1;
    QTest::newRow("*10 ALL") << "*10"
                             << "ALL"
                             << "1" << hexBytes("01 03 00 04 00 04 05 C8") << 4 << 1;
    QTest::newRow("*10 Temperature") << "*10"
                                     << "Temperature"
                                     << "1" << hexBytes("01 03 00 04 00 01 C5 CB") << 4 << 1;
    QTest::newRow("*10 Humidity") << "*10"
                                  << "Humidity"
                                  << "1" << hexBytes("01 03 00 05 00 01 94 0B") << 5 << 1;
    QTest::newRow("*10 DewTemp") << "*10"
                                 << "DewTemp"
                                 << "1" << hexBytes("01 03 00 06 00 01 64 0B") << 6 << 1;
    QTest::newRow("*10 Status") << "*10"
                                << "Status"
                                << "1" << hexBytes("01 03 00 07 00 01 35 CB") << 7 << 1;
    QTest::newRow("address 247") << "*100"
                                 << "ALL"
                                 << "247" << hexBytes("F7 03 00 00 00 04 50 9F") << 0 << 247;
    QTest::newRow("empty address") << "*100"
                                   << "ALL"
                                   << "" << hexBytes("00 03 00 00 00 04 45 D8") << 0 << 0;
    QTest::newRow("address 300") << "*10"
                                 << "ALL"
                                 << "300" << hexBytes("00 03 00 04 00 04 04 19") << 4 << 0;
}

void TestLive::request() {
    QFETCH(QString, magnification);
    QFETCH(QString, value);
    QFETCH(QString, address);
    QFETCH(QByteArray, frame);
    QFETCH(int, start);
    QFETCH(int, slave);
    Bench b;
    QVERIFY(b.attached);
    QVERIFY(b.choose(magnification, value));
    b.ui().lineEditAddress->setText(address);
    b.shared().responseReceived = true;
    b.shared().slaveAddress = 99;
    const int sentBefore = b.tx().size();
    WidgetTestAccess::invoke(b.w, "ReadHumitureOrder");
    QCOMPARE(int(WidgetTestAccess::lastRegister(b.w)), start);
    QCOMPARE(int(b.shared().slaveAddress), slave);
    QVERIFY(!b.shared().responseReceived);
    const QStringList sent = b.tx();
    QCOMPARE(sent.size(), sentBefore + 1);
    QCOMPARE(sent.last(), QString::fromLatin1(frame.toHex()));
    QTRY_COMPARE(b.line.drain(), frame);
}

void TestLive::requestWithItemOutsideTable() {
    // No item selected in either box: the hundredths block, all four values.
    Bench b;
    QVERIFY(b.attached);
    b.ui().comboBoxRegister->setCurrentIndex(-1);
    b.ui().comboBoxNum->setCurrentIndex(-1);
    b.ui().lineEditAddress->setText(QStringLiteral("1"));
    WidgetTestAccess::invoke(b.w, "ReadHumitureOrder");
    QCOMPARE(b.tx().last(), QStringLiteral("0103000000044409"));
}

void TestLive::readingsFileGapSaid() {
    Bench b;
    QVERIFY(b.attached);
    WidgetTestAccess::recordReading(b.w, ReadingStatus::NoReply);
    const QStringList files = QDir("Data").entryList({"Readings-*.csv"});
    QCOMPARE(files.size(), 1);
    const QString path = "Data/" + files.first();
    // A folder in the file's place: two rows cannot be written, said once.
    QVERIFY(QFile::remove(path) && QDir().mkdir(path));
    WidgetTestAccess::recordReading(b.w, ReadingStatus::NoReply);
    WidgetTestAccess::recordReading(b.w, ReadingStatus::NoReply);
    QVERIFY(QDir().rmdir(path));
    WidgetTestAccess::recordReading(b.w, ReadingStatus::Ok);
    const QStringList log = readLogLines(WidgetTestAccess::logFilePath(b.w));
    QCOMPARE(log.filter("->The readings file cannot be written: ").filter(files.first()).size(), 1);
    QCOMPARE(
        log.filter("->The readings file is written again: 2 row(s) before this one are not in it").size(), 1);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().count('\n'), 2); // the header and the row after the gap
}

void TestLive::tickPollsOnlyWhenRunning() {
    Bench b;
    QVERIFY(b.attached);
    QVERIFY(b.choose(QStringLiteral("*10"), QStringLiteral("DewTemp")));
    b.ui().lineEditAddress->setText(QStringLiteral("1"));
    const int before = b.tx().size();
    WidgetTestAccess::invoke(b.w, "Timer1SSlot");
    QCOMPARE(b.tx().size(), before);
    WidgetTestAccess::autoRead(b.w) = true;
    WidgetTestAccess::invoke(b.w, "Timer1SSlot");
    QCOMPARE(b.tx().size(), before + 1);
    QCOMPARE(b.tx().last(), QStringLiteral("010300060001640b"));
    // A tick while the poll still waits for its reply is skipped, not queued...
    WidgetTestAccess::invoke(b.w, "Timer1SSlot");
    QCOMPARE(b.tx().size(), before + 1);
    // ...and once its window has passed unanswered a tick sends again.
    QTRY_VERIFY_WITH_TIMEOUT((WidgetTestAccess::invoke(b.w, "Timer1SSlot"), b.tx().size() == before + 2),
                             1500);
    QTRY_COMPARE(b.line.drain(), hexBytes("01 03 00 06 00 01 64 0B 01 03 00 06 00 01 64 0B"));
}

void TestLive::readButtonToggles() {
    Bench b;
    QVERIFY(b.attached);
    QPushButton *button = b.ui().pushButtonRead;
    button->setText(QStringLiteral("Read"));
    const int before = b.tx().size();
    WidgetTestAccess::invoke(b.w, "PushButtonReadSlot");
    QCOMPARE(button->text(), QStringLiteral("Stop"));
    QVERIFY(WidgetTestAccess::autoRead(b.w));
    // Nothing is sent at once; the next tick polls.
    QCOMPARE(b.tx().size(), before);
    WidgetTestAccess::invoke(b.w, "PushButtonReadSlot");
    QCOMPARE(button->text(), QStringLiteral("Read"));
    QVERIFY(!WidgetTestAccess::autoRead(b.w));
    // Any text but "Read" counts as running.
    button->setText(QStringLiteral("something"));
    WidgetTestAccess::autoRead(b.w) = true;
    WidgetTestAccess::invoke(b.w, "PushButtonReadSlot");
    QCOMPARE(button->text(), QStringLiteral("Read"));
    QVERIFY(!WidgetTestAccess::autoRead(b.w));
}

void TestLive::formatReading_data() {
    QTest::addColumn<float>("min");
    QTest::addColumn<float>("max");
    QTest::addColumn<float>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<bool>("percent");
    QTest::addColumn<QString>("text");
    QTest::newRow("temperature 20.00 over 0..100")
        << 0.0f << 100.0f << 20.0f << 2 << false
        << QStringLiteral("<font color=red>20.00\u2103  </font><font color=green>7.200mA  </font><font "
                          "color=blue>1.000V  </font><font color=blue>2.000V</font>");
    QTest::newRow("humidity 50.00") << 0.0f << 100.0f << 50.0f << 2 << true
                                    << reading("50.00", "%", "12.000", "2.500", "5.000");
    QTest::newRow("one decimal") << -40.0f << 80.0f << 20.0f << 1 << false
                                 << reading("20.0", kDegree, "12.000", "2.500", "5.000");
    QTest::newRow("below min not clamped")
        << -40.0f << 80.0f << -50.0f << 1 << false << reading("-50.0", kDegree, "2.667", "-0.417", "-0.833");
    QTest::newRow("above max not clamped")
        << 0.0f << 100.0f << 150.0f << 2 << false << reading("150.00", kDegree, "28.000", "7.500", "15.000");
    QTest::newRow("at min") << -40.0f << 80.0f << -40.0f << 1 << false
                            << reading("-40.0", kDegree, "4.000", "0.000", "0.000");
    QTest::newRow("at max") << -40.0f << 80.0f << 80.0f << 1 << false
                            << reading("80.0", kDegree, "20.000", "5.000", "10.000");
    QTest::newRow("equal limits, above")
        << 20.0f << 20.0f << 25.0f << 1 << false << reading("25.0", kDegree, "--", "--", "--");
    QTest::newRow("equal limits, below")
        << 20.0f << 20.0f << 15.0f << 1 << false << reading("15.0", kDegree, "--", "--", "--");
    QTest::newRow("equal limits, at them")
        << 20.0f << 20.0f << 20.0f << 2 << false << reading("20.00", kDegree, "--", "--", "--");
}

void TestLive::formatReading() {
    QFETCH(float, min);
    QFETCH(float, max);
    QFETCH(float, value);
    QFETCH(int, decimals);
    QFETCH(bool, percent);
    QFETCH(QString, text);
    Bench b;
    QCOMPARE(WidgetTestAccess::formatReading(b.w, min, max, value, static_cast<quint8>(decimals), percent),
             text);
}

void TestLive::liveReply_data() {
    QTest::addColumn<QString>("magnification");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QVector<quint16>>("words");
    QTest::addColumn<QString>("rangeMin");
    QTest::addColumn<QString>("rangeMax");
    QTest::addColumn<QString>("temperature");
    QTest::addColumn<QString>("humidity");
    QTest::addColumn<QString>("dewPoint");
    const QString noTemperature = QStringLiteral("Temperature:---");
    const QString noHumidity = QStringLiteral("Humidity:---");
    const QString noDewPoint = QStringLiteral("DewTemp:---");
    QTest::newRow("*100 ALL") << "*100"
                              << "ALL" << QVector<quint16>{2000, 5000, 1000, 0} << "0"
                              << "100"
                              << "Temperature:" + reading("20.00", kDegree, "7.200", "1.000", "2.000")
                              << "Humidity:" + reading("50.00", "%", "12.000", "2.500", "5.000")
                              << "DewTemp:" + reading("10.00", kDegree, "5.600", "0.500", "1.000");
    QTest::newRow("*10 Temperature") << "*10"
                                     << "Temperature" << QVector<quint16>{250} << "-40.0"
                                     << "80.0"
                                     << "Temperature:" + reading("25.0", kDegree, "12.667", "2.708", "5.417")
                                     << noHumidity << noDewPoint;
    QTest::newRow("*10 DewTemp negative")
        << "*10"
        << "DewTemp" << QVector<quint16>{0xFF9C} << "-40.0"
        << "80.0" << noTemperature << noHumidity
        << "DewTemp:" + reading("-10.0", kDegree, "8.000", "1.250", "2.500");
    QTest::newRow("*10 Humidity ignores the range")
        << "*10"
        << "Humidity" << QVector<quint16>{555} << "-40.0"
        << "80.0" << noTemperature << "Humidity:" + reading("55.5", "%", "12.880", "2.775", "5.550")
        << noDewPoint;
    QTest::newRow("*100 Status shows nothing") << "*100"
                                               << "Status" << QVector<quint16>{0x1234} << "0"
                                               << "100" << noTemperature << noHumidity << noDewPoint;
    QTest::newRow("no range from the device")
        << "*100"
        << "Temperature" << QVector<quint16>{2000} << "0"
        << "0"
        << "Temperature:" + reading("20.00", kDegree, "--", "--", "--") << noHumidity << noDewPoint;
}

void TestLive::liveReply() {
    QFETCH(QString, magnification);
    QFETCH(QString, value);
    QFETCH(QVector<quint16>, words);
    QFETCH(QString, rangeMin);
    QFETCH(QString, rangeMax);
    QFETCH(QString, temperature);
    QFETCH(QString, humidity);
    QFETCH(QString, dewPoint);
    Bench b;
    QVERIFY(b.attached);
    QVERIFY(b.choose(magnification, value));
    b.ui().lineEditAddress->setText(QStringLiteral("1"));
    // The analog equivalents follow the range the device holds (tenths), not the limit fields.
    b.shared().rangeMin = static_cast<qint16>(qRound(rangeMin.toDouble() * 10));
    b.shared().rangeMax = static_cast<qint16>(qRound(rangeMax.toDouble() * 10));
    b.ui().lineEditRangeMin->setText(QStringLiteral("abc"));
    b.ui().lineEditRangeMax->setText(QString());
    b.ui().labelTemperature->setText(QStringLiteral("x"));
    b.ui().labelHumidity->setText(QStringLiteral("x"));
    b.ui().labelDewTemp->setText(QStringLiteral("x"));
    WidgetTestAccess::invoke(b.w, "ReadHumitureOrder");
    QVERIFY(b.line.send(readReply(words)));
    QTRY_VERIFY(b.shared().responseReceived);
    QCOMPARE(b.ui().labelTemperature->text(), temperature);
    QCOMPARE(b.ui().labelHumidity->text(), humidity);
    QCOMPARE(b.ui().labelDewTemp->text(), dewPoint);
    if (value == QLatin1String("Status")) {
        QCOMPARE(b.shared().statusRaw, words[0]);
    }
}

void TestLive::firmwareVersion_data() {
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("text");
    QTest::newRow("105") << 105 << "Firmware version:V1.0.5";
    QTest::newRow("1234 keeps three digits") << 1234 << "Firmware version:V2.3.4";
    QTest::newRow("0") << 0 << "Firmware version:V0.0.0";
    QTest::newRow("9") << 9 << "Firmware version:V0.0.9";
    QTest::newRow("65535") << 65535 << "Firmware version:V5.3.5";
}

void TestLive::firmwareVersion() {
    QFETCH(int, version);
    QFETCH(QString, text);
    Bench b;
    WidgetTestAccess::shared(b.w)->firmwareVersion = static_cast<quint16>(version);
    WidgetTestAccess::showFirmwareVersion(b.w);
    QCOMPARE(b.ui().labelVersions->text(), text);
}

void TestLive::channelList_data() {
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("one channel") << 2 << 1 << QStringList{"1"};
    QTest::newRow("two channels") << 1 << 2 << QStringList{"1", "2"};
    QTest::newRow("refilled, not appended") << 2 << 2 << QStringList{"1", "2"};
    QTest::newRow("none") << 2 << 0 << QStringList{};
}

void TestLive::channelList() {
    QFETCH(int, first);
    QFETCH(int, count);
    QFETCH(QStringList, items);
    Bench b;
    WidgetTestAccess::fillChannelList(b.w, first);
    WidgetTestAccess::fillChannelList(b.w, count);
    QStringList shown;
    for (int i = 0; i < b.ui().comboBoxChannel->count(); ++i) {
        shown << b.ui().comboBoxChannel->itemText(i);
        QVERIFY(!b.ui().comboBoxChannel->itemData(i).isValid());
    }
    QCOMPARE(shown, items);
}

void TestLive::flowAgainstSimulator() {
    // Link to a simulated ZR200Pro with firmware 105, then poll once: the device information,
    // the clock request it triggers and the live block all come back from the transmitter.
    ScopedWorkDir dir;
    SimFixture sim;
    QVERIFY(sim.ok());
    const QDateTime deviceTime(QDate(2025, 10, 16), QTime(19, 4, 26));
    sim.transmitter().model().setTimeSource([deviceTime] { return deviceTime; });
    sim.transmitter().model().setRegisterValue(0x0000, 2000);
    sim.transmitter().model().setRegisterValue(0x0001, 5000);
    sim.transmitter().model().setRegisterValue(0x0002, 1000);
    sim.transmitter().model().setRegisterValue(0x0003, 0);
    ModalWatcher watcher;
    Widget w;
    WidgetTestAccess::timer1S(w)->stop();
    WidgetUi &ui = *WidgetTestAccess::ui(w);
    SharedDataClass &shared = *WidgetTestAccess::shared(w);
    shared.currentPortName = sim.port();
    shared.baudRate = 9600;
    WidgetTestAccess::openLink(w);

    QTRY_COMPARE(ui.lineEditSN->text(), QStringLiteral("261208041533"));
    QCOMPARE(ui.lineEditRangeMin->text(), QStringLiteral("-40.0"));
    QCOMPARE(ui.lineEditRangeMax->text(), QStringLiteral("80.0"));
    QCOMPARE(ui.labelVersions->text(), QStringLiteral("Firmware version:V1.0.5"));
    QCOMPARE(ui.comboBoxChannel->count(), 2);
    QVERIFY(!ui.dateTimeEditDeviceTime->isHidden());
    QTRY_COMPARE(ui.dateTimeEditDeviceTime->dateTime(),
                 QDateTime(deviceTime.date(), deviceTime.time(), Qt::UTC));

    ui.comboBoxRegister->setCurrentIndex(ui.comboBoxRegister->findText(QStringLiteral("*100")));
    ui.comboBoxNum->setCurrentIndex(ui.comboBoxNum->findText(QStringLiteral("ALL")));
    WidgetTestAccess::autoRead(w) = true;
    WidgetTestAccess::invoke(w, "Timer1SSlot");
    QTRY_COMPARE(ui.labelTemperature->text(),
                 "Temperature:" + reading("20.00", kDegree, "12.000", "2.500", "5.000"));
    QCOMPARE(ui.labelHumidity->text(), "Humidity:" + reading("50.00", "%", "12.000", "2.500", "5.000"));
    QCOMPARE(ui.labelDewTemp->text(), "DewTemp:" + reading("10.00", kDegree, "10.667", "2.083", "4.167"));

    // The link reads the information at address 0 (the address box is empty until the device
    // answers); the clock request and the poll use the address the device reported.
    const QString log = WidgetTestAccess::logFilePath(w);
    QCOMPARE(loggedFrames(log, 0),
             (QStringList{QStringLiteral("00030100000ac5e0"), QStringLiteral("01030120000ac5fb"),
                          QStringLiteral("0103000000044409")}));
    QCOMPARE(loggedFrames(log, 1).size(), 3);
}

QTEST_MAIN(TestLive)
#include "tst_live.moc"
