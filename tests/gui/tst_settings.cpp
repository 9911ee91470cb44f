// The device settings operations: address, baud rate, serial number, output range, output data,
// calibration, heater and clock. The wire bytes are checked in the TX lines of the log (no line
// is needed for those) and in whole flows against a simulated transmitter.
#include "core/base/clock.h"
#include "core/device/register_map.h"
#include "tests/support/fake_unit.h"
#include "tests/support/harness.h"
#include "ui_widget.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSerialPort>
#include <QtTest>

namespace {

QStringList txFrames(Widget &w) {
    return loggedFrames(WidgetTestAccess::logFilePath(w), 0);
}
QStringList rxFrames(Widget &w) {
    return loggedFrames(WidgetTestAccess::logFilePath(w), 1);
}

QByteArray lastTx(Widget &w) {
    const QStringList frames = txFrames(w);
    return frames.isEmpty() ? QByteArray() : QByteArray::fromHex(frames.last().toLatin1());
}

// A window without a line: the start-up settings dialog is rejected, so every request is only
// logged. The device group is unlocked so its buttons take clicks.
struct OfflineWindow {
    ScopedWorkDir dir;
    ModalWatcher watcher;
    Widget w;
    WidgetUi *ui;

    OfflineWindow() : ui(WidgetTestAccess::ui(w)) { ui->groupBoxDevice->setEnabled(true); }
    int modals() const { return watcher.seen.size(); }
};

// Links a window to the simulated transmitter at a fixed 9600 baud through the Link button and
// waits for the device information (and, for a clock model, the clock block) to arrive.
bool linkToSim(SimFixture &sim, ModalWatcher &watcher, Widget &w) {
    WidgetUi *ui = WidgetTestAccess::ui(w);
    watcher.dialogHandler = chooseInDialog(sim.port(), QStringLiteral("9600"));
    ui->pushButtonLink->click();
    watcher.dialogHandler = nullptr;
    if (!QTest::qWaitFor([ui] { return !ui->lineEditAddress->text().isEmpty(); }, 3000)) {
        return false;
    }
    ui->groupBoxDevice->setEnabled(true);
    // Every request gets its answer from the simulated device; wait until all are in.
    return QTest::qWaitFor([&w] { return rxFrames(w).size() == txFrames(w).size(); }, 3000);
}

// Waits until the device has answered every request sent so far.
bool settled(Widget &w) {
    return QTest::qWaitFor([&w] { return rxFrames(w).size() == txFrames(w).size(); }, 3000);
}

} // namespace

class TstSettings : public QObject {
    Q_OBJECT

private slots:
    void cleanup();

    // Address, baud rate, serial number, device information.
    void addressWrite_data();
    void addressWrite();
    void baudRateCode_data();
    void baudRateCode();
    void singleRequests_data();
    void singleRequests();
    void serialNumberWrite_data();
    void serialNumberWrite();

    // Range, output data, images.
    void temperatureRange_data();
    void temperatureRange();
    void outputData_data();
    void outputData();
    void applyRefusedBeforeRead_data();
    void applyRefusedBeforeRead();
    void applyWritesImageBack_data();
    void applyWritesImageBack();

    // Heater schedule and clock.
    void deviceClock_data();
    void deviceClock();
    void heaterSchedule_data();
    void heaterSchedule();
    void systemTimeCheckBox();

    // Whole flows against the simulated transmitter.
    void simSetAddressAndReadBack();
    void simBaudRateThenSearchFindsIt();
    void simBaudRateFollowed_data();
    void simBaudRateFollowed();
    void simSerialNumberWriteAndReadBack();
    void simRangeAndDeviceInfo();
    void simHeaterOnOff();
    void simClockAndSchedule();
    void simApplyAfterRead_data();
    void simApplyAfterRead();
};

void TstSettings::cleanup() {
    Clock::setFixedNow(QDateTime());
}

void TstSettings::addressWrite_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("frame"); // empty: refused
    QTest::addColumn<QString>("message");
    const QString between = QStringLiteral("The address is between 1 and 247!");
    QTest::newRow("12") << "12" << hexBytes("00 06 01 00 00 0C 89 E2") << QString();
    QTest::newRow("1") << "1" << hexBytes("00 06 01 00 00 01 48 27") << QString();
    QTest::newRow("247") << "247" << hexBytes("00 06 01 00 00 F7 C8 61") << QString();
    QTest::newRow("empty") << "" << QByteArray() << "The address is empty!";
    QTest::newRow("0") << "0" << QByteArray() << between;
    QTest::newRow("248") << "248" << QByteArray() << between;
    QTest::newRow("-3") << "-3" << QByteArray() << between;
    QTest::newRow("text") << "abc" << QByteArray() << between;
    // Not cut to 16 bits as the request address is: 65537 is simply too large.
    QTest::newRow("65537") << "65537" << QByteArray() << between;
}

void TstSettings::addressWrite() {
    QFETCH(QString, text);
    QFETCH(QByteArray, frame);
    QFETCH(QString, message);
    OfflineWindow win;
    WidgetTestAccess::lastRegister(win.w) = Reg::LiveTenths;
    win.ui->lineEditAddress->setText(text);
    const int sentBefore = txFrames(win.w).size();
    const int modalsBefore = win.modals();
    win.ui->pushButtonAddress->click();
    if (frame.isEmpty()) {
        QCOMPARE(win.modals(), modalsBefore + 1);
        QCOMPARE(win.watcher.seen.last().className, QString("QMessageBox"));
        QCOMPARE(win.watcher.seen.last().title, QString("Error"));
        QCOMPARE(win.watcher.seen.last().text, message);
        QCOMPARE(txFrames(win.w).size(), sentBefore);
        QCOMPARE(WidgetTestAccess::lastRegister(win.w), Reg::LiveTenths);
    } else {
        QCOMPARE(win.modals(), modalsBefore);
        QCOMPARE(txFrames(win.w).size(), sentBefore + 1);
        QCOMPARE(lastTx(win.w), frame);
        QCOMPARE(WidgetTestAccess::lastRegister(win.w), Reg::SlaveAddress);
        // Later requests go to the new address.
        QCOMPARE(win.ui->lineEditAddress->text(), text);
        QCOMPARE(WidgetTestAccess::deviceAddress(win.w), quint16(text.toInt()));
    }
}

void TstSettings::baudRateCode_data() {
    QTest::addColumn<QString>("rate");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("1200") << "1200" << hexBytes("01 06 01 01 00 01 18 36");
    QTest::newRow("9600") << "9600" << hexBytes("01 06 01 01 00 04 D8 35");
    QTest::newRow("19200") << "19200" << hexBytes("01 06 01 01 00 05 19 F5");
    QTest::newRow("115200") << "115200" << hexBytes("01 06 01 01 00 06 59 F4");
}

void TstSettings::baudRateCode() {
    QFETCH(QString, rate);
    QFETCH(QByteArray, frame);
    OfflineWindow win;
    win.ui->lineEditAddress->setText("1");
    const int index = win.ui->comboBoxBaudRate->findText(rate);
    QVERIFY(index >= 0);
    win.ui->comboBoxBaudRate->setCurrentIndex(index);
    win.ui->pushButtonBaudRate->click();
    QCOMPARE(lastTx(win.w), frame);
    QCOMPARE(WidgetTestAccess::lastRegister(win.w), Reg::BaudCode);
    // Only the device changes its rate; the tool's port is not touched.
    QVERIFY(!WidgetTestAccess::port(win.w)->isOpen());
}

void TstSettings::singleRequests_data() {
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<quint16>("last");
    QTest::newRow("address read") << "PushButtonAddressReadSlot"
                                  << "1" << hexBytes("01 03 01 00 00 01 85 F6") << Reg::SlaveAddress;
    QTest::newRow("address read at 23") << "PushButtonAddressReadSlot"
                                        << "23" << hexBytes("17 03 01 00 00 01 87 00") << Reg::SlaveAddress;
    QTest::newRow("serial number read") << "PushButtonReadSNSlot"
                                        << "1" << hexBytes("01 03 01 04 00 03 45 F6") << Reg::SerialNumber;
    QTest::newRow("device info") << "PushButtonReadInfoSlot"
                                 << "1" << hexBytes("01 03 01 00 00 0A C4 31") << Reg::SlaveAddress;
    QTest::newRow("device info, empty address")
        << "PushButtonReadInfoSlot"
        << "" << hexBytes("00 03 01 00 00 0A C5 E0") << Reg::SlaveAddress;
    QTest::newRow("output read") << "PushButtonOutputReadSlot"
                                 << "1" << hexBytes("01 03 01 0A 00 11 A4 38") << Reg::OutputBlock;
    QTest::newRow("calibration read") << "PushButtonCalibrationReadSlot"
                                      << "1" << hexBytes("01 03 02 00 00 2D 84 6F") << Reg::Calibration;
    QTest::newRow("calibration reset") << "PushButtonCalibrationResetSlot"
                                       << "1" << hexBytes("01 06 02 04 00 00 C9 B3") << Reg::CalibrationApply;
    QTest::newRow("cap clear") << "PushButtonCapClearSlot"
                               << "1" << hexBytes("01 06 02 02 00 00 29 B2") << Reg::CapClear;
    QTest::newRow("res clear") << "PushButtonResClearSlot"
                               << "1" << hexBytes("01 06 02 00 00 00 88 72") << Reg::ResClear;
    QTest::newRow("unit") << "PushButtonUnitSlot"
                          << "1" << hexBytes("01 06 00 08 00 00 08 08") << Reg::UnitCommand;
    QTest::newRow("heater on") << "PushButtonHeaterONSlot"
                               << "1" << hexBytes("01 06 01 09 00 01 99 F4") << Reg::Heater;
    QTest::newRow("heater on at 5") << "PushButtonHeaterONSlot"
                                    << "5" << hexBytes("05 06 01 09 00 01 98 70") << Reg::Heater;
    QTest::newRow("heater off") << "PushButtonHeaterOFFSlot"
                                << "1" << hexBytes("01 06 01 09 00 00 58 34") << Reg::Heater;
}

void TstSettings::singleRequests() {
    QFETCH(QString, slot);
    QFETCH(QString, address);
    QFETCH(QByteArray, frame);
    QFETCH(quint16, last);
    OfflineWindow win;
    win.ui->lineEditAddress->setText(address);
    const int sentBefore = txFrames(win.w).size();
    WidgetTestAccess::invoke(win.w, slot.toLatin1().constData());
    QCOMPARE(txFrames(win.w).size(), sentBefore + 1);
    QCOMPARE(lastTx(win.w), frame);
    QCOMPARE(WidgetTestAccess::lastRegister(win.w), last);
}

void TstSettings::serialNumberWrite_data() {
    QTest::addColumn<QString>("button"); // "AUTO" or "MANU"
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("frame"); // empty: refused
    QTest::addColumn<QString>("stored");
    const QDateTime tuesday(QDate(2026, 12, 8), QTime(4, 15, 33));
    QTest::newRow("AUTO 2026-12-08 04:15:33")
        << "AUTO" << tuesday << "ignored" << hexBytes("01 10 01 04 01 06 06 26 12 08 04 15 33 DC 27")
        << "261208041533";
    QTest::newRow("AUTO afternoon is 24-hour")
        << "AUTO" << QDateTime(QDate(2026, 12, 8), QTime(16, 5, 9)) << ""
        << hexBytes("01 10 01 04 01 06 06 26 12 08 16 05 09 F1 F1") << "261208160509";
    QTest::newRow("MANU ABCDEF012345")
        << "MANU" << tuesday << "ABCDEF012345" << hexBytes("01 10 01 04 01 06 06 AB CD EF 01 23 45 E7 DA")
        << "ABCDEF012345";
    QTest::newRow("MANU lower case") << "MANU" << tuesday << "abcdef012345"
                                     << hexBytes("01 10 01 04 01 06 06 AB CD EF 01 23 45 E7 DA")
                                     << "abcdef012345";
    QTest::newRow("MANU pair 1Z") << "MANU" << tuesday << "ABCDEF01231Z"
                                  << hexBytes("01 10 01 04 01 06 06 AB CD EF 01 23 00 26 29")
                                  << "ABCDEF01231Z";
    QTest::newRow("MANU no hex at all")
        << "MANU" << tuesday << "zzzzzzzzzzAB" << hexBytes("01 10 01 04 01 06 06 00 00 00 00 00 AB 2F B9")
        << "zzzzzzzzzzAB";
    QTest::newRow("MANU 11 characters")
        << "MANU" << tuesday << "ABCDEF01234" << QByteArray() << "ABCDEF01234";
    QTest::newRow("MANU 13 characters")
        << "MANU" << tuesday << "ABCDEF0123456" << QByteArray() << "ABCDEF0123456";
    QTest::newRow("MANU empty") << "MANU" << tuesday << "" << QByteArray() << "";
}

void TstSettings::serialNumberWrite() {
    QFETCH(QString, button);
    QFETCH(QDateTime, now);
    QFETCH(QString, typed);
    QFETCH(QByteArray, frame);
    QFETCH(QString, stored);
    Clock::setFixedNow(now);
    OfflineWindow win;
    win.ui->lineEditAddress->setText("1");
    win.ui->lineEditSN->setText(typed);
    WidgetTestAccess::lastRegister(win.w) = Reg::LiveTenths;
    const int sentBefore = txFrames(win.w).size();
    const int modalsBefore = win.modals();
    // The two buttons are hidden but wired.
    (button == "AUTO" ? win.ui->pushButtonAUTO : win.ui->pushButtonMANU)->click();
    QCOMPARE(WidgetTestAccess::shared(win.w)->serialNumber, stored);
    if (frame.isEmpty()) {
        QCOMPARE(win.modals(), modalsBefore + 1);
        QCOMPARE(win.watcher.seen.last().title, QString("Error"));
        QCOMPARE(win.watcher.seen.last().text, QString("The serial number is a fixed 12 characters!"));
        QCOMPARE(txFrames(win.w).size(), sentBefore);
        QCOMPARE(WidgetTestAccess::lastRegister(win.w), Reg::LiveTenths);
        return;
    }
    QCOMPARE(win.modals(), modalsBefore);
    const QByteArray sent = lastTx(win.w);
    QCOMPARE(sent.size(), 15);
    QCOMPARE(sent.mid(4, 2), hexBytes("01 06"));
    QCOMPARE(sent, frame);
    QCOMPARE(WidgetTestAccess::lastRegister(win.w), Reg::SerialNumber);
    // The field shows the number only once the device acknowledges it.
    QCOMPARE(win.ui->lineEditSN->text(), typed);
}

void TstSettings::temperatureRange_data() {
    QTest::addColumn<QString>("low");
    QTest::addColumn<QString>("high");
    QTest::addColumn<QByteArray>("frame"); // empty: refused
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    const QString outOfRange = QStringLiteral("Data is out of range!");
    const QString empty = QStringLiteral("Data is empty!");
    QTest::newRow("-20.5 85") << "-20.5"
                              << "85" << hexBytes("01 10 01 07 01 08 04 FF 33 03 52 EE A5") << QString()
                              << -205 << 850;
    QTest::newRow("0.29 truncates to 2")
        << "0.29"
        << "85" << hexBytes("01 10 01 07 01 08 04 00 02 03 52 8F 7E") << QString() << 2 << 850;
    QTest::newRow("decimal comma") << "-20,5"
                                   << "85,0" << hexBytes("01 10 01 07 01 08 04 FF 33 03 52 EE A5")
                                   << QString() << -205 << 850;
    QTest::newRow("text") << "abc"
                          << "10" << QByteArray() << outOfRange << 0 << 0;
    QTest::newRow("blank") << "-20"
                           << "  " << QByteArray() << outOfRange << 0 << 0;
    QTest::newRow("hexadecimal") << "0x10"
                                 << "85" << QByteArray() << outOfRange << 0 << 0;
    // A range without span, or upside down, gives no output signal: refused.
    QTest::newRow("lower above upper") << "90"
                                       << "-40" << QByteArray() << outOfRange << 0 << 0;
    QTest::newRow("equal limits") << "10"
                                  << "10,0" << QByteArray() << outOfRange << 0 << 0;
    QTest::newRow("-3276.8 and 3276.7 fit")
        << "-3276.8"
        << "3276.7" << hexBytes("01 10 01 07 01 08 04 80 00 7F FF E6 03") << QString() << -32768 << 32767;
    QTest::newRow("lower empty") << ""
                                 << "85" << QByteArray() << empty << 0 << 0;
    QTest::newRow("upper empty") << "-20"
                                 << "" << QByteArray() << empty << 0 << 0;
    QTest::newRow("3276.8") << "3276.8"
                            << "0" << QByteArray() << outOfRange << 0 << 0;
    QTest::newRow("-3276.9") << "0"
                             << "-3276.9" << QByteArray() << outOfRange << 0 << 0;
    QTest::newRow("1e9") << "1e9"
                         << "0" << QByteArray() << outOfRange << 0 << 0;
    QTest::newRow("1e400") << "0"
                           << "1e400" << QByteArray() << outOfRange << 0 << 0;
    QTest::newRow("nan") << "nan"
                         << "10" << QByteArray() << outOfRange << 0 << 0;
    QTest::newRow("inf") << "10"
                         << "inf" << QByteArray() << outOfRange << 0 << 0;
    QTest::newRow("-inf") << "-inf"
                          << "10" << QByteArray() << outOfRange << 0 << 0;
}

void TstSettings::temperatureRange() {
    QFETCH(QString, low);
    QFETCH(QString, high);
    QFETCH(QByteArray, frame);
    QFETCH(QString, message);
    QFETCH(int, min);
    QFETCH(int, max);
    OfflineWindow win;
    win.ui->lineEditAddress->setText("1");
    win.ui->lineEditRangeMin->setText(low);
    win.ui->lineEditRangeMax->setText(high);
    SharedDataClass *shared = WidgetTestAccess::shared(win.w);
    WidgetTestAccess::lastRegister(win.w) = Reg::LiveTenths;
    const int sentBefore = txFrames(win.w).size();
    const int modalsBefore = win.modals();
    win.ui->pushButtonTempRange->click();
    if (frame.isEmpty()) {
        QCOMPARE(win.modals(), modalsBefore + 1);
        QCOMPARE(win.watcher.seen.last().title, QString("Error"));
        QCOMPARE(win.watcher.seen.last().text, message);
        QCOMPARE(txFrames(win.w).size(), sentBefore);
        QCOMPARE(WidgetTestAccess::lastRegister(win.w), Reg::LiveTenths);
    } else {
        QCOMPARE(win.modals(), modalsBefore);
        QCOMPARE(lastTx(win.w), frame);
        QCOMPARE(WidgetTestAccess::lastRegister(win.w), Reg::RangeMin);
    }
    QCOMPARE(int(shared->rangeMin), min);
    QCOMPARE(int(shared->rangeMax), max);
}

void TstSettings::outputData_data() {
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<quint16>("last");
    QTest::newRow("channel 2 humidity")
        << 1 << "Humidity" << hexBytes("01 06 01 2B 00 01 39 FE") << Reg::OutputDataChannel2;
    QTest::newRow("channel 2 dew point")
        << 1 << "TDEW" << hexBytes("01 06 01 2B 00 02 79 FF") << Reg::OutputDataChannel2;
    QTest::newRow("channel 1 humidity")
        << 0 << "Humidity" << hexBytes("01 06 01 0B 00 01 38 34") << Reg::OutputDataChannel1;
    QTest::newRow("channel 1 temperature")
        << 0 << "Temperature" << hexBytes("01 06 01 0B 00 00 F9 F4") << Reg::OutputDataChannel1;
}

void TstSettings::outputData() {
    QFETCH(int, channel);
    QFETCH(QString, data);
    QFETCH(QByteArray, frame);
    QFETCH(quint16, last);
    OfflineWindow win;
    win.ui->lineEditAddress->setText("1");
    // A two-channel device lists channel 2 as well.
    if (win.ui->comboBoxChannel->count() < 2) {
        win.ui->comboBoxChannel->addItem("2");
    }
    win.ui->comboBoxChannel->setCurrentIndex(channel);
    const int item = win.ui->comboBoxOutputData->findText(data);
    QVERIFY(item >= 0);
    win.ui->comboBoxOutputData->setCurrentIndex(item);
    // The button starts disabled; a device with output data selection enables it.
    win.ui->comboBoxOutputData->setEnabled(true);
    win.ui->pushButtonOutputData->setEnabled(true);
    win.ui->pushButtonOutputData->click();
    QCOMPARE(lastTx(win.w), frame);
    QCOMPARE(WidgetTestAccess::lastRegister(win.w), last);
}

void TstSettings::applyRefusedBeforeRead_data() {
    QTest::addColumn<QString>("slot");
    QTest::newRow("output apply") << "PushButtonOutputApplySlot";
    QTest::newRow("calibration apply") << "PushButtonCalibrationApplySlot";
}

void TstSettings::applyRefusedBeforeRead() {
    QFETCH(QString, slot);
    OfflineWindow win;
    win.ui->lineEditAddress->setText("1");
    WidgetTestAccess::lastRegister(win.w) = Reg::LiveTenths;
    const int sentBefore = txFrames(win.w).size();
    const int modalsBefore = win.modals();
    WidgetTestAccess::invoke(win.w, slot.toLatin1().constData());
    QCOMPARE(txFrames(win.w).size(), sentBefore);
    QCOMPARE(win.modals(), modalsBefore);
    QCOMPARE(WidgetTestAccess::lastRegister(win.w), Reg::LiveTenths);
    // The images are left as they were: the apply flag is not set either.
    SharedDataClass *shared = WidgetTestAccess::shared(win.w);
    QCOMPARE(shared->outputRegisters[Reg::OutputApply - Reg::OutputBlock], quint16(0));
    QCOMPARE(shared->calibration[Reg::CalibrationApply - Reg::Calibration], quint16(0));
}

void TstSettings::applyWritesImageBack_data() {
    QTest::addColumn<bool>("calibration");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("crc");
    QTest::addColumn<quint16>("last");
    QTest::newRow("output") << false << hexBytes("01 10 01 10 01 1A 16") << 31 << hexBytes("18 1E")
                            << Reg::OutputApply;
    QTest::newRow("calibration") << true << hexBytes("01 10 02 04 02 2C 52") << 91 << hexBytes("3C 56")
                                 << Reg::CalibrationApply;
}

void TstSettings::applyWritesImageBack() {
    QFETCH(bool, calibration);
    QFETCH(QByteArray, header);
    QFETCH(int, length);
    QFETCH(QByteArray, crc);
    QFETCH(quint16, last);
    OfflineWindow win;
    win.ui->lineEditAddress->setText("1");
    SharedDataClass *shared = WidgetTestAccess::shared(win.w);
    // As a read would leave them: word k of the output image 0x1100 + k, of the calibration 0x2200 + k.
    for (int k = 0; k < 17; ++k) {
        shared->outputRegisters[k] = quint16(0x1100 + k);
    }
    for (int k = 0; k < 45; ++k) {
        shared->calibration[k] = quint16(0x2200 + k);
    }
    shared->outputRegistersLoaded = !calibration;
    shared->calibrationLoaded = calibration;
    WidgetTestAccess::invoke(win.w,
                             calibration ? "PushButtonCalibrationApplySlot" : "PushButtonOutputApplySlot");
    const QByteArray sent = lastTx(win.w);
    QCOMPARE(sent.size(), length);
    QCOMPARE(sent.left(7), header);
    QCOMPARE(sent.mid(4, 3), header.mid(4, 3));
    // First word: the apply flag; then the image from the next register on.
    QCOMPARE(sent.mid(7, 2), hexBytes("00 01"));
    const int firstIndex = calibration ? 4 : 6;
    const int base = calibration ? 0x2200 : 0x1100;
    for (int i = 1; i < (length - 9) / 2; ++i) {
        const int word = (quint8(sent[7 + 2 * i]) << 8) | quint8(sent[8 + 2 * i]);
        QCOMPARE(word, base + firstIndex + i);
    }
    QCOMPARE(sent.right(2), crc);
    QCOMPARE(WidgetTestAccess::lastRegister(win.w), last);
    const quint16 flag = calibration ? shared->calibration[4] : shared->outputRegisters[6];
    QCOMPARE(flag, quint16(1));
}

void TstSettings::deviceClock_data() {
    QTest::addColumn<bool>("systemTime");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QDateTime>("editor");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("frame");
    const QDateTime tuesday(QDate(2026, 12, 8), QTime(4, 15, 33));
    // The editor holds a zone-free wall-clock time.
    const QDateTime sunday(QDate(2026, 12, 13), QTime(10, 20, 30), Qt::UTC);
    const QByteArray tuesdayFrame =
        hexBytes("01 10 01 20 01 26 0E 07 EA 00 0C 00 08 00 04 00 0F 00 21 00 02 42 B7");
    const QByteArray sundayFrame =
        hexBytes("01 10 01 20 01 26 0E 07 EA 00 0C 00 0D 00 0A 00 14 00 1E 00 07 06 2A");
    QTest::newRow("system time, Tuesday") << true << tuesday << sunday << "1" << tuesdayFrame;
    QTest::newRow("system time, address 5") << true << tuesday << sunday << "5" << tuesdayFrame;
    QTest::newRow("editor, Sunday") << false << tuesday << sunday << "1" << sundayFrame;
    QTest::newRow("editor, empty address") << false << tuesday << sunday << "" << sundayFrame;
}

void TstSettings::deviceClock() {
    QFETCH(bool, systemTime);
    QFETCH(QDateTime, now);
    QFETCH(QDateTime, editor);
    QFETCH(QString, address);
    QFETCH(QByteArray, frame);
    Clock::setFixedNow(now);
    OfflineWindow win;
    win.ui->lineEditAddress->setText(address);
    win.ui->checkBoxSystemTime->setChecked(systemTime);
    win.ui->dateTimeEditDeviceTime->setDateTime(editor);
    QCOMPARE(win.ui->dateTimeEditDeviceTime->dateTime(), editor);
    WidgetTestAccess::lastRegister(win.w) = Reg::LiveTenths;
    win.ui->pushButtonDeviceTime->click();
    QCOMPARE(lastTx(win.w), frame);
    QCOMPARE(WidgetTestAccess::lastRegister(win.w), Reg::LiveTenths);
}

void TstSettings::heaterSchedule_data() {
    QTest::addColumn<QTime>("start");
    QTest::addColumn<QString>("interval");
    QTest::addColumn<QString>("duration");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("23:59 24H 480S") << QTime(23, 59) << "24H"
                                    << "480S"
                                    << "1" << hexBytes("01 10 01 27 01 29 06 05 9F 00 18 01 E0 C9 6D");
    QTest::newRow("address 5 still to 1") << QTime(23, 59) << "24H"
                                          << "480S"
                                          << "5" << hexBytes("01 10 01 27 01 29 06 05 9F 00 18 01 E0 C9 6D");
    QTest::newRow("00:00 first items") << QTime(0, 0) << "1H"
                                       << "0S"
                                       << "1" << hexBytes("01 10 01 27 01 29 06 00 00 00 01 00 00 8C FB");
    QTest::newRow("seconds are not used") << QTime(12, 30, 45) << "6H"
                                          << "60S"
                                          << "1" << hexBytes("01 10 01 27 01 29 06 02 EE 00 06 00 3C D4 DE");
}

void TstSettings::heaterSchedule() {
    QFETCH(QTime, start);
    QFETCH(QString, interval);
    QFETCH(QString, duration);
    QFETCH(QString, address);
    QFETCH(QByteArray, frame);
    OfflineWindow win;
    win.ui->lineEditAddress->setText(address);
    win.ui->timeEditStartTime->setTime(start);
    win.ui->comboBoxInterval->setCurrentIndex(win.ui->comboBoxInterval->findText(interval));
    win.ui->comboBoxHeaterTime->setCurrentIndex(win.ui->comboBoxHeaterTime->findText(duration));
    WidgetTestAccess::lastRegister(win.w) = Reg::LiveTenths;
    win.ui->pushButtonHeaterTime->click();
    QCOMPARE(lastTx(win.w), frame);
    QCOMPARE(WidgetTestAccess::lastRegister(win.w), Reg::LiveTenths);
}

void TstSettings::systemTimeCheckBox() {
    OfflineWindow win;
    QVERIFY(win.ui->checkBoxSystemTime->isChecked());
    QVERIFY(!win.ui->dateTimeEditDeviceTime->isEnabled());
    win.ui->checkBoxSystemTime->click();
    QVERIFY(!win.ui->checkBoxSystemTime->isChecked());
    QVERIFY(win.ui->dateTimeEditDeviceTime->isEnabled());
    win.ui->checkBoxSystemTime->click();
    QVERIFY(win.ui->checkBoxSystemTime->isChecked());
    QVERIFY(!win.ui->dateTimeEditDeviceTime->isEnabled());
    // Nothing goes to the line for the check box.
    QCOMPARE(txFrames(win.w).size(), 0);
}

void TstSettings::simSetAddressAndReadBack() {
    ScopedWorkDir dir;
    SimFixture sim;
    QVERIFY(sim.ok());
    ModalWatcher watcher;
    Widget w;
    QVERIFY(linkToSim(sim, watcher, w));
    WidgetUi *ui = WidgetTestAccess::ui(w);
    QCOMPARE(ui->lineEditAddress->text(), QString("1"));
    QSignalSpy requests(&sim.transmitter(), &PtyTransmitter::requestReceived);
    ui->lineEditAddress->setText("23");
    ui->pushButtonAddress->click();
    QVERIFY(requests.wait(3000));
    QCOMPARE(requests.last().first().toByteArray(), hexBytes("00 06 01 00 00 17 C9 E9"));
    QVERIFY(settled(w));
    QCOMPARE(sim.transmitter().model().address(), quint8(23));
    QCOMPARE(WidgetTestAccess::shared(w)->slaveAddress, quint16(23));
    // Read back from the device at its new address. The field is cleared once the request is
    // out, so only the reply can put 23 back.
    ui->pushButtonAddressRead->click();
    QCOMPARE(lastTx(w), hexBytes("17 03 01 00 00 01 87 00"));
    WidgetTestAccess::shared(w)->slaveAddress = 0;
    ui->lineEditAddress->clear();
    QTRY_COMPARE_WITH_TIMEOUT(ui->lineEditAddress->text(), QString("23"), 3000);
    QCOMPARE(QByteArray::fromHex(rxFrames(w).last().toLatin1()).left(5), hexBytes("17 03 02 00 17"));
}

void TstSettings::simBaudRateThenSearchFindsIt() {
    ScopedLineTiming timing(50);
    ScopedWorkDir dir;
    SimFixture sim;
    QVERIFY(sim.ok());
    ModalWatcher watcher;
    Widget w;
    QVERIFY(linkToSim(sim, watcher, w));
    WidgetUi *ui = WidgetTestAccess::ui(w);
    ui->comboBoxBaudRate->setCurrentIndex(ui->comboBoxBaudRate->findText("19200"));
    ui->pushButtonBaudRate->click();
    QCOMPARE(lastTx(w), hexBytes("01 06 01 01 00 05 19 F5"));
    // The device acknowledges at the old rate and switches afterwards.
    QVERIFY(settled(w));
    QCOMPARE(ui->comboBoxBaudRate->currentText(), QString("19200"));
    QTRY_COMPARE_WITH_TIMEOUT(sim.transmitter().model().baudRate(), 19200, 3000);
    // Linking again with the search finds the new rate.
    const int before = watcher.seen.size();
    watcher.dialogHandler = chooseInDialog(sim.port(), "AUTO");
    ui->pushButtonLink->click();
    QVERIFY(watcher.waitForCount(before + 2, 10000)); // the dialog, then the result
    QCOMPARE(watcher.seen.last().title, QString("Succeed"));
    QCOMPARE(watcher.seen.last().text, QString("The device baud rate is:19200!"));
    QCOMPARE(WidgetTestAccess::port(w)->baudRate(), 19200);
}

void TstSettings::simBaudRateFollowed_data() {
    QTest::addColumn<bool>("answers"); // false: the device echoes the change, then stays silent
    QTest::newRow("the port follows the device to 19200") << true;
    QTest::newRow("no answer at 19200: back to 9600 once") << false;
}

// A baud-rate change confirmed while polling: the port follows the device and polling goes on,
// or, without an answer in time, goes back once to the rate that worked.
void TstSettings::simBaudRateFollowed() {
    QFETCH(bool, answers);
    const int pollMs = 50;
    ScopedLineTiming timing(150, pollMs);
    LineTiming::current().newRateAnswerMs = 250;
    ScopedWorkDir dir;
    // The unit in the test's process: the reply windows of the polls it leaves unanswered pass on
    // the line's clock, not in real time.
    FakeLinkedWindow linked;
    QVERIFY(linked.linked());
    Widget &w = *linked.window;
    FakeUnit &sim = linked.transmitter();
    const auto notices = [&linked](const QString &text) {
        return readLogLines(linked.log).filter(text).size();
    };
    linked.ui->groupBoxRTD->setEnabled(true);
    QVERIFY(clickEnabled(linked.ui->pushButtonRead));
    QObject::connect(&sim, &FakeUnit::bytesSent, &sim, [&sim, answers](const QByteArray &bytes) {
        if (!answers && bytes == hexBytes("01 06 01 01 00 05 19 F5")) {
            sim.setFault(SimFault::Silence);
        }
    });
    linked.ui->comboBoxBaudRate->setCurrentIndex(linked.ui->comboBoxBaudRate->findText("19200"));
    WidgetTestAccess::invoke(w, "PushButtonBaudRateSlot");
    QTRY_COMPARE_WITH_TIMEOUT(sim.model().baudRate(), 19200, 2000);
    const QString said = answers
                             ? "->The device answers at 19200 baud: serial port %1 now runs at that rate"
                             : "->The device did not answer at 19200 baud within 0.25 s: serial port %1 is "
                               "back at 9600 baud. If it does not answer there either, press Link and choose "
                               "AUTO";
    QTRY_COMPARE_WITH_TIMEOUT(notices(said.arg(sim.port())), 1, 3000);
    QCOMPARE(WidgetTestAccess::port(w)->baudRate(), answers ? 19200 : 9600);
    // Polling goes on at the port's rate, answered there when the device followed; no second try.
    // The third poll goes once the first two have had their answer or their window.
    const int tx = txFrames(w).size();
    const int rx = rxFrames(w).size();
    QTRY_VERIFY_WITH_TIMEOUT(txFrames(w).size() >= tx + 3, 2000);
    QCOMPARE(rxFrames(w).size() >= rx + 2, answers);
    QCOMPARE(WidgetTestAccess::port(w)->baudRate(), answers ? 19200 : 9600);
    QCOMPARE(notices("->The device did not answer"), answers ? 0 : 1);
}

void TstSettings::simSerialNumberWriteAndReadBack() {
    ScopedWorkDir dir;
    SimFixture sim;
    QVERIFY(sim.ok());
    ModalWatcher watcher;
    Widget w;
    QVERIFY(linkToSim(sim, watcher, w));
    WidgetUi *ui = WidgetTestAccess::ui(w);
    QCOMPARE(ui->lineEditSN->text(), QString("261208041533"));

    // AUTO: the acknowledgement puts the number just written into the field.
    Clock::setFixedNow(QDateTime(QDate(2027, 1, 2), QTime(3, 4, 5)));
    ui->pushButtonAUTO->click();
    ui->lineEditSN->clear();
    QTRY_COMPARE_WITH_TIMEOUT(ui->lineEditSN->text(), QString("270102030405"), 3000);
    QVERIFY(settled(w));
    QCOMPARE(sim.transmitter().model().registerValue(Reg::SerialNumber), quint16(0x2701));
    QCOMPARE(sim.transmitter().model().registerValue(Reg::SerialNumber + 2), quint16(0x0405));

    // MANU: the field shows the text as typed, the read shows the device's bytes in lower case.
    ui->lineEditSN->setText("ABCDEF012345");
    ui->pushButtonMANU->click();
    QVERIFY(settled(w));
    QCOMPARE(ui->lineEditSN->text(), QString("ABCDEF012345"));
    ui->pushButtonReadSN->click();
    QTRY_COMPARE_WITH_TIMEOUT(ui->lineEditSN->text(), QString("abcdef012345"), 3000);
}

void TstSettings::simRangeAndDeviceInfo() {
    ScopedWorkDir dir;
    SimFixture sim;
    QVERIFY(sim.ok());
    ModalWatcher watcher;
    Widget w;
    QVERIFY(linkToSim(sim, watcher, w));
    WidgetUi *ui = WidgetTestAccess::ui(w);
    QCOMPARE(ui->lineEditRangeMin->text(), QString("-40.0"));
    QCOMPARE(ui->lineEditRangeMax->text(), QString("80.0"));
    ui->lineEditRangeMin->setText("-20.5");
    ui->lineEditRangeMax->setText("85");
    ui->pushButtonTempRange->click();
    QCOMPARE(lastTx(w), hexBytes("01 10 01 07 01 08 04 FF 33 03 52 EE A5"));
    QVERIFY(settled(w));
    QCOMPARE(sim.transmitter().model().registerValue(Reg::RangeMin), quint16(0xFF33));
    QCOMPARE(sim.transmitter().model().registerValue(Reg::RangeMax), quint16(0x0352));
    ui->lineEditRangeMin->clear();
    ui->lineEditRangeMax->clear();
    ui->pushButtonReadInfo->click();
    QTRY_COMPARE_WITH_TIMEOUT(ui->lineEditRangeMin->text(), QString("-20.5"), 3000);
    QCOMPARE(ui->lineEditRangeMax->text(), QString("85.0"));
}

void TstSettings::simHeaterOnOff() {
    ScopedWorkDir dir;
    SimFixture sim;
    QVERIFY(sim.ok());
    ModalWatcher watcher;
    Widget w;
    QVERIFY(linkToSim(sim, watcher, w));
    WidgetUi *ui = WidgetTestAccess::ui(w);
    QVERIFY(ui->pushButtonHeaterON->isEnabled());
    QVERIFY(!ui->pushButtonHeaterOFF->isEnabled());
    ui->pushButtonHeaterON->click();
    QTRY_VERIFY_WITH_TIMEOUT(ui->pushButtonHeaterOFF->isEnabled(), 3000);
    QVERIFY(!ui->pushButtonHeaterON->isEnabled());
    QCOMPARE(WidgetTestAccess::heaterCountdown(w), 300);
    QCOMPARE(sim.transmitter().model().registerValue(Reg::Heater), quint16(1));
    ui->pushButtonHeaterOFF->click();
    QTRY_VERIFY_WITH_TIMEOUT(ui->pushButtonHeaterON->isEnabled(), 3000);
    QVERIFY(!ui->pushButtonHeaterOFF->isEnabled());
    QCOMPARE(WidgetTestAccess::heaterCountdown(w), 0);
    QCOMPARE(sim.transmitter().model().registerValue(Reg::Heater), quint16(0));
}

void TstSettings::simClockAndSchedule() {
    ScopedWorkDir dir;
    TransmitterConfig config;
    config.deviceType = 3; // ZR200Pro
    config.firmware = 105;
    SimFixture sim(config);
    QVERIFY(sim.ok());
    // The device's clock runs on from what is written; a still source keeps it where it was set.
    const QDateTime still(QDate(2025, 3, 1), QTime(8, 0, 0));
    sim.transmitter().model().setTimeSource([still] { return still; });
    ModalWatcher watcher;
    Widget w;
    QVERIFY(linkToSim(sim, watcher, w));
    WidgetUi *ui = WidgetTestAccess::ui(w);
    QVERIFY(!ui->pushButtonDeviceTime->isHidden());
    QCOMPARE(ui->dateTimeEditDeviceTime->dateTime(), QDateTime(still.date(), still.time(), Qt::UTC));

    const quint16 lastBefore = WidgetTestAccess::lastRegister(w);
    Clock::setFixedNow(QDateTime(QDate(2026, 12, 8), QTime(4, 15, 33)));
    ui->pushButtonDeviceTime->click();
    QCOMPARE(lastTx(w), hexBytes("01 10 01 20 01 26 0E 07 EA 00 0C 00 08 00 04 00 0F 00 21 00 02 42 B7"));
    // Two replies arriving back to back would not be told apart: wait for the first.
    QVERIFY(settled(w));
    ui->timeEditStartTime->setTime(QTime(23, 59));
    ui->comboBoxInterval->setCurrentIndex(ui->comboBoxInterval->findText("24H"));
    ui->comboBoxHeaterTime->setCurrentIndex(ui->comboBoxHeaterTime->findText("480S"));
    ui->pushButtonHeaterTime->click();
    QCOMPARE(lastTx(w), hexBytes("01 10 01 27 01 29 06 05 9F 00 18 01 E0 C9 6D"));
    QVERIFY(settled(w));
    QCOMPARE(WidgetTestAccess::lastRegister(w), lastBefore);

    // Read everything back into the clock row.
    ui->dateTimeEditDeviceTime->setDateTime(QDateTime(QDate(2000, 1, 1), QTime(0, 0)));
    ui->timeEditStartTime->setTime(QTime(0, 0));
    ui->comboBoxInterval->setCurrentIndex(0);
    ui->comboBoxHeaterTime->setCurrentIndex(0);
    ui->pushButtonReadInfo->click();
    QTRY_COMPARE_WITH_TIMEOUT(ui->dateTimeEditDeviceTime->dateTime(),
                              QDateTime(QDate(2026, 12, 8), QTime(4, 15, 33), Qt::UTC), 3000);
    QVERIFY(settled(w));
    QCOMPARE(ui->timeEditStartTime->time(), QTime(23, 59));
    QCOMPARE(ui->comboBoxInterval->currentText(), QString("24H"));
    QCOMPARE(ui->comboBoxHeaterTime->currentText(), QString("480S"));
    QCOMPARE(WidgetTestAccess::shared(w)->clockWeekday, quint16(2));
}

void TstSettings::simApplyAfterRead_data() {
    QTest::addColumn<bool>("calibration");
    QTest::newRow("output") << false;
    QTest::newRow("calibration") << true;
}

void TstSettings::simApplyAfterRead() {
    QFETCH(bool, calibration);
    ScopedWorkDir dir;
    SimFixture sim;
    QVERIFY(sim.ok());
    ModalWatcher watcher;
    Widget w;
    QVERIFY(linkToSim(sim, watcher, w));
    const quint16 first = calibration ? Reg::CalibrationApply : Reg::OutputApply;
    const quint16 last = calibration ? Reg::CalibrationLast : Reg::OutputBlockLast;
    const char *read = calibration ? "PushButtonCalibrationReadSlot" : "PushButtonOutputReadSlot";
    const char *apply = calibration ? "PushButtonCalibrationApplySlot" : "PushButtonOutputApplySlot";
    // Distinct values in the device so a shifted or stale image shows.
    for (quint16 reg = first; reg <= last; ++reg) {
        sim.transmitter().model().setRegisterValue(reg, quint16(0x4000 + reg));
    }
    QSignalSpy requests(&sim.transmitter(), &PtyTransmitter::requestReceived);

    // Before the read: refused, nothing reaches the device.
    WidgetTestAccess::invoke(w, apply);
    WidgetTestAccess::invoke(w, read);
    QVERIFY(settled(w));
    QCOMPARE(requests.count(), 1);
    SharedDataClass *shared = WidgetTestAccess::shared(w);
    QVERIFY(calibration ? shared->calibrationLoaded : shared->outputRegistersLoaded);

    WidgetTestAccess::invoke(w, apply);
    QVERIFY(settled(w));
    QCOMPARE(requests.count(), 2);
    const QByteArray sent = requests.last().first().toByteArray();
    QCOMPARE(sent.size(), 9 + 2 * (last - first + 1));
    QCOMPARE(quint8(sent[1]), quint8(0x10));
    QCOMPARE(sent.mid(7, 2), hexBytes("00 01"));
    for (quint16 reg = first + 1; reg <= last; ++reg) {
        const int at = 7 + 2 * (reg - first);
        QCOMPARE((quint8(sent[at]) << 8) | quint8(sent[at + 1]), 0x4000 + reg);
    }
    QCOMPARE(sim.transmitter().model().registerValue(first), quint16(1));
}

QTEST_MAIN(TstSettings)
#include "tst_settings.moc"
