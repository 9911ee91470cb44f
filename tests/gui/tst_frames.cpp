// Request frames on the wire: CRC, address field, read / write / block-write layouts.
#include "core/modbus/modbus_frame.h"
#include "tests/support/harness.h"

#include <QSerialPort>
#include <QtTest>

class TstFrames : public QObject {
    Q_OBJECT

private slots:
    void crcCheckValue();
    void crc_data();
    void crc();
    void addressFromText_data();
    void addressFromText();
    void builders_data();
    void builders();
    void blockWriteHeader();
    void sentThroughWindow_data();
    void sentThroughWindow();
};

void TstFrames::crcCheckValue() {
    const QByteArray digits("123456789");
    const quint16 returned = crc16Modbus(reinterpret_cast<const quint8 *>(digits.constData()), 9);
    QCOMPARE(returned, quint16(0x374B)); // 0x4B37 with its bytes exchanged
    QByteArray framed = digits;
    appendCrc(framed);
    QCOMPARE(framed.right(2), QByteArray::fromHex("374b"));
    QCOMPARE(crc16Modbus(nullptr, 0), quint16(0xFFFF));
}

void TstFrames::crc_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<quint16>("returned");
    QTest::newRow("read info addr 1") << hexBytes("01 03 01 00 00 0A") << quint16(0xC431);
    QTest::newRow("probe addr 0") << hexBytes("00 03 01 00 00 0A") << quint16(0xC5E0);
    QTest::newRow("heater on") << hexBytes("01 06 01 09 00 01") << quint16(0x99F4);
    QTest::newRow("address 12 broadcast") << hexBytes("00 06 01 00 00 0C") << quint16(0x89E2);
    QTest::newRow("exception") << hexBytes("01 83 02") << quint16(0xC0F1);
}

void TstFrames::crc() {
    QFETCH(QByteArray, body);
    QFETCH(quint16, returned);
    QCOMPARE(crc16Modbus(reinterpret_cast<const quint8 *>(body.constData()), quint16(body.size())), returned);
}

void TstFrames::addressFromText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint16>("address");
    QTest::newRow("1") << "1" << quint16(1);
    QTest::newRow("247") << "247" << quint16(247);
    QTest::newRow("248") << "248" << quint16(0);
    QTest::newRow("0") << "0" << quint16(0);
    QTest::newRow("text") << "abc" << quint16(0);
    QTest::newRow("empty") << "" << quint16(0);
    QTest::newRow("65537 wraps to 1") << "65537" << quint16(1);
    QTest::newRow("65536 wraps to 0") << "65536" << quint16(0);
    QTest::newRow("-3") << "-3" << quint16(0);
    QTest::newRow("hex is not decimal") << "0x10" << quint16(0);
}

void TstFrames::addressFromText() {
    QFETCH(QString, text);
    QFETCH(quint16, address);
    QCOMPARE(slaveAddressFromText(text), address);
}

void TstFrames::builders_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("read info") << buildReadRequest(1, 0x0100, 10) << hexBytes("01 03 01 00 00 0A C4 31");
    QTest::newRow("probe") << buildReadRequest(0, 0x0100, 10) << hexBytes("00 03 01 00 00 0A C5 E0");
    QTest::newRow("heater on") << buildWriteRequest(1, 0x0109, 1) << hexBytes("01 06 01 09 00 01 99 F4");
    QTest::newRow("address 12") << buildWriteRequest(0, 0x0100, 12) << hexBytes("00 06 01 00 00 0C 89 E2");
    QTest::newRow("range") << buildBlockWriteRequest(1, 0x0107, {0xFF33, 0x0352})
                           << hexBytes("01 10 01 07 01 08 04 FF 33 03 52 EE A5");
    QTest::newRow("schedule") << buildBlockWriteRequest(1, 0x0127, {0x059F, 0x0018, 0x01E0})
                              << hexBytes("01 10 01 27 01 29 06 05 9F 00 18 01 E0 C9 6D");
    QTest::newRow("clock") << buildBlockWriteRequest(1, 0x0120, {0x07EA, 12, 8, 4, 15, 33, 2})
                           << hexBytes(
                                  "01 10 01 20 01 26 0E 07 EA 00 0C 00 08 00 04 00 0F 00 21 00 02 42 B7");
}

void TstFrames::builders() {
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, expected);
    QCOMPARE(frame.toHex(' '), expected.toHex(' '));
}

void TstFrames::blockWriteHeader() {
    const QByteArray frame = buildBlockWriteRequest(7, 0x0104, {0x2612, 0x0804, 0x1533});
    QCOMPARE(frame.size(), 15);
    QCOMPARE(frame.left(7), hexBytes("07 10 01 04 01 06 06"));
    QCOMPARE(frame.mid(7, 6), hexBytes("26 12 08 04 15 33"));
    QByteArray body = frame.left(13);
    appendCrc(body);
    QCOMPARE(body, frame);
}

// The window's builders take the address field, set lastRegister, log the frame and clear
// responseReceived even when the port is closed.
void TstFrames::sentThroughWindow_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("write");
    QTest::addColumn<QString>("hex");
    QTest::newRow("read addr 1") << "1" << false << "01030100000ac431";
    QTest::newRow("read addr empty") << "" << false << "00030100000ac5e0";
    QTest::newRow("read addr 248") << "248" << false << "00030100000ac5e0";
    QTest::newRow("read addr 65537") << "65537" << false << "01030100000ac431";
    QTest::newRow("write heater addr 1") << "1" << true << "01060109000199f4";
}

void TstFrames::sentThroughWindow() {
    QFETCH(QString, address);
    QFETCH(bool, write);
    QFETCH(QString, hex);
    ScopedWorkDir dir;
    ModalWatcher watcher;
    Widget w;
    WidgetTestAccess::ui(w)->lineEditAddress->setText(address);
    WidgetTestAccess::shared(w)->responseReceived = true;
    QVERIFY(!WidgetTestAccess::port(w)->isOpen());
    if (write) {
        WidgetTestAccess::writeRegister(w, 0x0109, 1);
        QCOMPARE(WidgetTestAccess::lastRegister(w), quint16(0x0109));
    } else {
        WidgetTestAccess::readRegisters(w, 0x0100, 10);
        QCOMPARE(WidgetTestAccess::lastRegister(w), quint16(0x0100));
    }
    QVERIFY(!WidgetTestAccess::shared(w)->responseReceived);
    const QStringList tx = loggedFrames(WidgetTestAccess::logFilePath(w), 0);
    QVERIFY(!tx.isEmpty());
    QCOMPARE(tx.last(), hex);
}

QTEST_MAIN(TstFrames)
#include "tst_frames.moc"
