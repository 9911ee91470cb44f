// Reply reception and decoding: the byte-level rules as plain functions, then whole replies fed
// byte for byte into a real window through a pseudo-terminal.
#include "core/device/register_map.h"
#include "core/device/reply_parser.h"
#include "core/device/shared_data.h"
#include "core/modbus/modbus_frame.h"
#include "gui/widget.h"
#include "tests/support/harness.h"
#include "ui_widget.h"

#include <QMap>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <memory>

Q_DECLARE_METATYPE(Rx::Effect)
Q_DECLARE_METATYPE(ReadingBlock)
Q_DECLARE_METATYPE(ReadingSelection)

namespace {

// Function 0x03 reply carrying `words`, its byte count set to 2 * words.
QByteArray readReply(const QVector<quint16> &words, quint8 address = 1) {
    return readReplyFrame(words, address);
}

// Function 0x03 reply with `count` data bytes 0x5A and a correct CRC.
QByteArray readReplyBytes(int count) {
    QByteArray body = hexBytes("01 03");
    body.append(static_cast<char>(count));
    body.append(QByteArray(count, '\x5a'));
    return withCrc(body);
}

// Device-information reply: address, baud code, firmware, type, serial number, range, heater.
QByteArray infoReply(quint16 type, quint16 firmware, quint16 heater = 0, quint16 baudCode = 4,
                     quint16 rangeMin = 0xFE70, quint16 rangeMax = 0x0320) {
    return readReply({0x0001, baudCode, firmware, type, 0x2612, 0x0804, 0x1533, rangeMin, rangeMax, heater});
}

// Decodes from a buffer of exactly the frame's size, so AddressSanitizer reports any read past
// the last byte (a QByteArray's own storage has slack behind its data).
Rx::Decoded decodeExact(quint16 reg, const QByteArray &frame, SharedDataClass &shared) {
    std::unique_ptr<char[]> storage(new char[static_cast<size_t>(frame.size())]);
    if (!frame.isEmpty()) {
        std::memcpy(storage.get(), frame.constData(), static_cast<size_t>(frame.size()));
    }
    const QByteArray exact = QByteArray::fromRawData(storage.get(), frame.size());
    return Rx::decode(reg, exact, shared);
}

// Distinct non-zero values in every decoded field, so a field written with zeros shows.
void prime(SharedDataClass &s) {
    s.temperatureRaw = 1111;
    s.humidityRaw = 2222;
    s.dewPointRaw = 3333;
    s.statusRaw = 4444;
    s.slaveAddress = 55;
    s.baudCode = 3;
    s.firmwareVersion = 321;
    s.deviceType = 2;
    s.serialNumber = QStringLiteral("0a0b0c0d0e0f");
    s.rangeMin = -123;
    s.rangeMax = 456;
    s.heaterState = 7;
    s.clockYear = 1999;
    s.clockMonth = 9;
    s.clockDay = 8;
    s.clockHour = 7;
    s.clockMinute = 6;
    s.clockSecond = 5;
    s.clockWeekday = 4;
    s.heaterStartMinutes = 33;
    s.heaterInterval = 22;
    s.heaterDuration = 11;
    for (int i = 0; i < 45; ++i) {
        s.calibration[i] = static_cast<quint16>(900 + i);
    }
    for (int i = 0; i < 17; ++i) {
        s.outputRegisters[i] = static_cast<quint16>(700 + i);
    }
    s.calibrationLoaded = false;
    s.outputRegistersLoaded = false;
}

QMap<QString, QString> snapshot(const SharedDataClass &s) {
    QMap<QString, QString> m;
    m["temperatureRaw"] = QString::number(s.temperatureRaw);
    m["humidityRaw"] = QString::number(s.humidityRaw);
    m["dewPointRaw"] = QString::number(s.dewPointRaw);
    m["statusRaw"] = QString::number(s.statusRaw);
    m["slaveAddress"] = QString::number(s.slaveAddress);
    m["baudCode"] = QString::number(s.baudCode);
    m["firmwareVersion"] = QString::number(s.firmwareVersion);
    m["deviceType"] = QString::number(s.deviceType);
    m["serialNumber"] = s.serialNumber;
    m["rangeMin"] = QString::number(s.rangeMin);
    m["rangeMax"] = QString::number(s.rangeMax);
    m["heaterState"] = QString::number(s.heaterState);
    const quint16 clock[] = {s.clockYear,      s.clockMonth,    s.clockDay,     s.clockHour,
                             s.clockMinute,    s.clockSecond,   s.clockWeekday, s.heaterStartMinutes,
                             s.heaterInterval, s.heaterDuration};
    for (int i = 0; i < 10; ++i) {
        m[QStringLiteral("clock%1").arg(i)] = QString::number(clock[i]);
    }
    for (int i = 0; i < 45; ++i) {
        m[QStringLiteral("calibration%1").arg(i)] = QString::number(s.calibration[i]);
    }
    for (int i = 0; i < 17; ++i) {
        m[QStringLiteral("output%1").arg(i)] = QString::number(s.outputRegisters[i]);
    }
    m["calibrationLoaded"] = s.calibrationLoaded ? "1" : "0";
    m["outputRegistersLoaded"] = s.outputRegistersLoaded ? "1" : "0";
    return m;
}

// One window on a pseudo-terminal, in its own working directory, with the watcher that closes
// the settings dialog of the start-up link attempt and every message box.
struct Bench {
    ScopedWorkDir dir;
    ModalWatcher watcher;
    Widget w;
    PtyLine line;
    bool attached = false;

    Bench() {
        attached = line.attach(w);
        // As after a successful link: the device group is usable, so button states show.
        ui().groupBoxDevice->setEnabled(true);
        // The one-second tick would poll and count down on its own; the tests drive it.
        WidgetTestAccess::timer1S(w)->stop();
        WidgetTestAccess::autoRead(w) = false;
        shared().responseReceived = false;
    }
    WidgetUi &ui() { return *WidgetTestAccess::ui(w); }
    SharedDataClass &shared() { return *WidgetTestAccess::shared(w); }
    QTimer &timerClear() { return *WidgetTestAccess::timerClear(w); }
    QByteArray rxBuffer() { return WidgetTestAccess::rxBuffer(w); }
    QString log() { return WidgetTestAccess::logFilePath(w); }
    QStringList rx() { return loggedFrames(log(), 1); }
    QStringList tx() { return loggedFrames(log(), 0); }
    int messageBoxes() { return watcher.count(QStringLiteral("QMessageBox")); }
};

} // namespace

class TestReplies : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    // Pure functions.
    void dataLength_data();
    void dataLength();
    void completeFrame_data();
    void completeFrame();
    void flood_data();
    void flood();
    void appendCapped_data();
    void appendCapped();
    void decodeLive_data();
    void decodeLive();
    void decodeDeviceInfo();
    void decodeIdentityPartial_data();
    void decodeIdentityPartial();
    void decodeBaudCode_data();
    void decodeBaudCode();
    void decodeSerialNumber_data();
    void decodeSerialNumber();
    void decodeHeater_data();
    void decodeHeater();
    void decodeOutputBlock_data();
    void decodeOutputBlock();
    void decodeClock();
    void decodeCalibration();
    void decodeNothing_data();
    void decodeNothing();
    void decodeEveryPrefix_data();
    void decodeEveryPrefix();

    // Through the window.
    void splitReplyAcceptedOnce();
    void splitReplyAfterGapDiscarded();
    void strayByteBehindReply();
    void emptyBufferNotAccepted();
    void exceptionReplyAccepted();
    void overflowDropped();
    void floodClosesPort_data();
    void floodClosesPort();
    void deviceInfo_data();
    void deviceInfo();
    void clockRowShowsDeviceClock();
    void heaterEcho_data();
    void heaterEcho();
    void outputDataSelection_data();
    void outputDataSelection();
    void blockWriteUnderLiveRegister();
    void baudRateShownAgain_data();
    void baudRateShownAgain();
    void serialNumberWriteEcho();

    // Replies matched to the requests they answer.
    void junkBeforeReply_data();
    void junkBeforeReply();
    void floodInPieces_data();
    void floodInPieces();
    void twoRepliesInOneRead();
    void pollReplyCrossesInfoRequest();
    void unansweredReplyChangesNothing_data();
    void unansweredReplyChangesNothing();
    void pollWaitsForUserReply();
};

void TestReplies::initTestCase() {
    qRegisterMetaType<Rx::Effect>();
}

void TestReplies::dataLength_data() {
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("byteCount");
    QTest::addColumn<int>("length");
    QTest::newRow("read takes its byte count") << 0x03 << 20 << 20;
    QTest::newRow("read with byte count 0") << 0x03 << 0 << 0;
    QTest::newRow("read with byte count 255") << 0x03 << 255 << 255;
    QTest::newRow("single write echo") << 0x06 << 99 << 3;
    QTest::newRow("block write echo") << 0x10 << 99 << 3;
    QTest::newRow("exception of a read") << 0x83 << 2 << 0;
    QTest::newRow("unknown function") << 0x04 << 8 << 0;
    QTest::newRow("function 0") << 0x00 << 0 << 0;
}

void TestReplies::dataLength() {
    QFETCH(int, function);
    QFETCH(int, byteCount);
    QFETCH(int, length);
    QCOMPARE(Rx::dataLength(static_cast<quint8>(function), static_cast<quint8>(byteCount)), length);
}

void TestReplies::completeFrame_data() {
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<int>("length");

    const QByteArray info = hexBytes("01 03 14 0001 0004 0069 0000 2612 0804 1533 FE70 0320 0000 87 3A");
    const QByteArray live = hexBytes("01 03 08 07D0 1388 03E8 0000 67 30");
    const QByteArray heater = hexBytes("01 06 01 09 00 01 99 F4");
    const QByteArray exception = hexBytes("01 83 02 C0 F1");

    QTest::newRow("exception reply") << exception << 5;
    QTest::newRow("device information") << info << 25;
    QTest::newRow("live block") << live << 13;
    QTest::newRow("single write echo") << heater << 8;
    QTest::newRow("block write echo") << hexBytes("01 10 01 20 01 26 40 75") << 8;
    QTest::newRow("one register") << hexBytes("01 03 02 00 01 79 84") << 7;
    QTest::newRow("first half") << info.left(12) << 0;
    QTest::newRow("all but the last byte") << info.left(info.size() - 1) << 0;
    // The reply is whole; what follows it is left for the next look.
    QTest::newRow("stray byte behind a reply") << info + QByteArray(1, '\x00') << 25;
    QTest::newRow("two replies") << exception + exception << 5;
    QTest::newRow("empty buffer") << QByteArray() << 0;
    QTest::newRow("address only") << hexBytes("01") << 0;
    // Three zero bytes would give CRC 71 C0: a zero-filled short buffer is never a reply.
    QTest::newRow("five zero bytes") << QByteArray(5, '\x00') << 0;
    QTest::newRow("crc bytes exchanged") << hexBytes("01 83 02 F1 C0") << 0;
    QTest::newRow("data damaged") << hexBytes("01 06 01 09 00 02 99 F4") << 0;
    QTest::newRow("another slave address is still a frame") << withCrc(hexBytes("07 06 01 09 00 01")) << 8;
    QTest::newRow("byte count 255, short") << hexBytes("01 03 FF 00 00") << 0;
    QTest::newRow("junk in front is not a frame at the start") << QByteArray(1, '\x00') + exception << 0;
}

void TestReplies::completeFrame() {
    QFETCH(QByteArray, buffer);
    QFETCH(int, length);
    QCOMPARE(Rx::completeFrameAt(buffer, 0), length);
}

void TestReplies::flood_data() {
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<bool>("flood");
    QTest::newRow("1024 zero bytes") << QByteArray(1024, '\x00') << true;
    QTest::newRow("1024 0xFF bytes") << QByteArray(1024, '\xff') << true;
    QByteArray mixed;
    for (int i = 0; i < 1024; ++i) {
        mixed.append(i % 2 ? '\xff' : '\x00');
    }
    QTest::newRow("1024 mixed 0x00 and 0xFF") << mixed << true;
    QTest::newRow("1023 of 1024 flood bytes") << QByteArray(1023, '\x00') + QByteArray(1, '\x42') << true;
    QTest::newRow("1022 of 1024 flood bytes") << QByteArray(1022, '\x00') + QByteArray(2, '\x42') << false;
    // Not yet at the cap: more may still come, or a reply.
    QTest::newRow("1023 zero bytes") << QByteArray(1023, '\x00') << false;
    QTest::newRow("1024 other bytes") << QByteArray(1024, '\x11') << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestReplies::flood() {
    QFETCH(QByteArray, buffer);
    QFETCH(bool, flood);
    QCOMPARE(Rx::isFlood(buffer), flood);
}

void TestReplies::appendCapped_data() {
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("read");
    QTest::addColumn<int>("kept");
    QTest::addColumn<int>("dropped");
    QTest::newRow("small read") << 0 << 13 << 13 << 0;
    QTest::newRow("up to the cap") << 1000 << 24 << 1024 << 0;
    QTest::newRow("past the cap") << 1000 << 25 << 1024 << 1;
    QTest::newRow("4096 in one read") << 0 << 4096 << 1024 << 3072;
    QTest::newRow("already full") << 1024 << 64 << 1024 << 64;
}

void TestReplies::appendCapped() {
    QFETCH(int, before);
    QFETCH(int, read);
    QFETCH(int, kept);
    QFETCH(int, dropped);
    QByteArray buffer(before, '\x00');
    QCOMPARE(Rx::appendCapped(buffer, QByteArray(read, '\x01')), dropped);
    QCOMPARE(buffer.size(), kept);
}

void TestReplies::decodeLive_data() {
    QTest::addColumn<int>("reg");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<ReadingBlock>("block");
    QTest::addColumn<ReadingSelection>("selection");
    QTest::addColumn<int>("temperature");
    QTest::addColumn<int>("humidity");
    QTest::addColumn<int>("dewPoint");
    QTest::addColumn<int>("status");

    const auto H = ReadingBlock::Hundredths;
    const auto T = ReadingBlock::Tenths;
    // Primed values: 1111, 2222, 3333, 4444.
    QTest::newRow("hundredths block") << 0x0000 << hexBytes("01 03 08 07D0 1388 03E8 0000 67 30") << H
                                      << ReadingSelection::All << 2000 << 5000 << 1000 << 0;
    QTest::newRow("tenths block, signed and unsigned")
        << 0x0004 << readReply({0xFE70, 0xFFFF, 0xFF9C, 0x8001}) << T << ReadingSelection::All << -400
        << 65535 << -100 << 0x8001;
    QTest::newRow("temperature alone") << 0x0000 << readReply({0xFF9C}) << H << ReadingSelection::Temperature
                                       << -100 << 2222 << 3333 << 4444;
    QTest::newRow("humidity alone") << 0x0001 << readReply({0xC350}) << H << ReadingSelection::Humidity
                                    << 1111 << 50000 << 3333 << 4444;
    QTest::newRow("dew point alone") << 0x0002 << readReply({0x8000}) << H << ReadingSelection::DewPoint
                                     << 1111 << 2222 << -32768 << 4444;
    QTest::newRow("status alone") << 0x0003 << readReply({0xABCD}) << H << ReadingSelection::Status << 1111
                                  << 2222 << 3333 << 0xABCD;
    QTest::newRow("tenths temperature")
        << 0x0004 << readReply({0x00FA}) << T << ReadingSelection::Temperature << 250 << 2222 << 3333 << 4444;
    QTest::newRow("tenths humidity") << 0x0005 << readReply({0x01F4}) << T << ReadingSelection::Humidity
                                     << 1111 << 500 << 3333 << 4444;
    QTest::newRow("tenths dew point")
        << 0x0006 << readReply({0xFFFF}) << T << ReadingSelection::DewPoint << 1111 << 2222 << -1 << 4444;
    QTest::newRow("tenths status") << 0x0007 << readReply({0x0002}) << T << ReadingSelection::Status << 1111
                                   << 2222 << 3333 << 2;
}

void TestReplies::decodeLive() {
    QFETCH(int, reg);
    QFETCH(QByteArray, frame);
    QFETCH(ReadingBlock, block);
    QFETCH(ReadingSelection, selection);
    QFETCH(int, temperature);
    QFETCH(int, humidity);
    QFETCH(int, dewPoint);
    QFETCH(int, status);
    SharedDataClass shared;
    prime(shared);
    const Rx::Decoded d = decodeExact(static_cast<quint16>(reg), frame, shared);
    QCOMPARE(d.effect, Rx::Effect::Readings);
    QCOMPARE(d.block, block);
    QCOMPARE(d.selection, selection);
    QCOMPARE(shared.temperatureRaw, temperature);
    QCOMPARE(int(shared.humidityRaw), humidity);
    QCOMPARE(shared.dewPointRaw, dewPoint);
    QCOMPARE(int(shared.statusRaw), status);
}

void TestReplies::decodeDeviceInfo() {
    SharedDataClass shared;
    prime(shared);
    const Rx::Decoded d =
        decodeExact(Reg::SlaveAddress,
                    hexBytes("01 03 14 0001 0004 0069 0000 2612 0804 1533 FE70 0320 0002 87 3A"), shared);
    // The CRC is not examined by the decoding; only the byte count and the frame length matter.
    QCOMPARE(d.effect, Rx::Effect::DeviceInfo);
    QCOMPARE(shared.slaveAddress, quint16(1));
    QCOMPARE(shared.baudCode, quint16(4));
    QCOMPARE(shared.firmwareVersion, quint16(105));
    QCOMPARE(shared.deviceType, quint16(0));
    QCOMPARE(shared.serialNumber, QStringLiteral("261208041533"));
    QCOMPARE(shared.rangeMin, qint16(-400));
    QCOMPARE(shared.rangeMax, qint16(800));
    QCOMPARE(shared.heaterState, quint16(2));

    // Serial number digits are lowercase.
    decodeExact(Reg::SlaveAddress, readReply({7, 1, 2, 3, 0xABCD, 0xEF01, 0x00FF, 0, 0, 0}), shared);
    QCOMPARE(shared.serialNumber, QStringLiteral("abcdef0100ff"));
    QCOMPARE(shared.slaveAddress, quint16(7));
}

void TestReplies::decodeIdentityPartial_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<Rx::Effect>("effect");
    QTest::addColumn<int>("address");
    // Primed address 55: a frame that cannot carry the address leaves it.
    QTest::newRow("address alone") << readReply({9}) << Rx::Effect::Address << 9;
    QTest::newRow("two registers") << readReply({9, 5}) << Rx::Effect::Address << 9;
    QTest::newRow("nine registers") << readReply({9, 5, 105, 3, 1, 2, 3, 4, 5}) << Rx::Effect::Address << 9;
    QTest::newRow("19 data bytes") << readReplyBytes(19) << Rx::Effect::Address << 0x5a5a;
    QTest::newRow("byte count 20, frame cut after 4 data bytes")
        << hexBytes("01 03 14 00 09 00 04") << Rx::Effect::Address << 9;
    QTest::newRow("byte count 1") << readReplyBytes(1) << Rx::Effect::None << 55;
    QTest::newRow("byte count 0") << readReplyBytes(0) << Rx::Effect::None << 55;
    QTest::newRow("byte count 2, frame cut after 1 data byte")
        << hexBytes("01 03 02 09") << Rx::Effect::None << 55;
    QTest::newRow("address write echo") << withCrc(hexBytes("01 06 01 00 00 2A")) << Rx::Effect::None << 42;
    QTest::newRow("address write echo cut short") << hexBytes("01 06 01 00 00") << Rx::Effect::None << 55;
    QTest::newRow("exception") << hexBytes("01 83 02 C0 F1") << Rx::Effect::None << 55;
}

void TestReplies::decodeIdentityPartial() {
    QFETCH(QByteArray, frame);
    QFETCH(Rx::Effect, effect);
    QFETCH(int, address);
    SharedDataClass shared;
    prime(shared);
    QMap<QString, QString> before = snapshot(shared);
    const Rx::Decoded d = decodeExact(Reg::SlaveAddress, frame, shared);
    QCOMPARE(d.effect, effect);
    QCOMPARE(int(shared.slaveAddress), address);
    // Nothing of the rest of the block is taken from a reply that does not carry all of it.
    before["slaveAddress"] = QString::number(address);
    QCOMPARE(snapshot(shared), before);
}

void TestReplies::decodeBaudCode_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("code");
    // Primed code 3.
    QTest::newRow("read") << readReply({5}) << 5;
    QTest::newRow("write echo") << withCrc(hexBytes("01 06 01 01 00 06")) << 6;
    QTest::newRow("exception keeps the code") << withCrc(hexBytes("01 86 02")) << 3;
    QTest::newRow("read with byte count 1") << readReplyBytes(1) << 3;
    QTest::newRow("read with byte count 0") << readReplyBytes(0) << 3;
    QTest::newRow("write echo cut short") << hexBytes("01 06 01 01 00") << 3;
    QTest::newRow("empty frame") << QByteArray() << 3;
}

void TestReplies::decodeBaudCode() {
    QFETCH(QByteArray, frame);
    QFETCH(int, code);
    SharedDataClass shared;
    prime(shared);
    QMap<QString, QString> before = snapshot(shared);
    const Rx::Decoded d = decodeExact(Reg::BaudCode, frame, shared);
    QCOMPARE(d.effect, Rx::Effect::BaudRate);
    QCOMPARE(int(shared.baudCode), code);
    before["baudCode"] = QString::number(code);
    QCOMPARE(snapshot(shared), before);
}

void TestReplies::decodeSerialNumber_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("serial");
    const QString primed = QStringLiteral("0a0b0c0d0e0f");
    QTest::newRow("read") << hexBytes("01 03 06 26 12 08 04 15 33 93 54") << QStringLiteral("261208041533");
    QTest::newRow("uppercase bytes") << readReply({0xABCD, 0xEF00, 0x0102}) << QStringLiteral("abcdef000102");
    QTest::newRow("block write echo") << hexBytes("01 10 01 04 01 06 01 A6") << primed;
    QTest::newRow("byte count 4") << readReplyBytes(4) << primed;
    QTest::newRow("byte count 5") << readReplyBytes(5) << primed;
    QTest::newRow("byte count 0") << readReplyBytes(0) << primed;
    QTest::newRow("byte count 6, frame cut after 5 data bytes")
        << hexBytes("01 03 06 26 12 08 04 15") << primed;
    QTest::newRow("exception") << withCrc(hexBytes("01 83 02")) << primed;
}

void TestReplies::decodeSerialNumber() {
    QFETCH(QByteArray, frame);
    QFETCH(QString, serial);
    SharedDataClass shared;
    prime(shared);
    QMap<QString, QString> before = snapshot(shared);
    const Rx::Decoded d = decodeExact(Reg::SerialNumber, frame, shared);
    QCOMPARE(d.effect, Rx::Effect::SerialNumber);
    before["serialNumber"] = serial;
    QCOMPARE(snapshot(shared), before);
}

void TestReplies::decodeHeater_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<Rx::Effect>("effect");
    QTest::addColumn<int>("value");
    QTest::newRow("on") << hexBytes("01 06 01 09 00 01 99 F4") << Rx::Effect::Heater << 1;
    QTest::newRow("off") << withCrc(hexBytes("01 06 01 09 00 00")) << Rx::Effect::Heater << 0;
    QTest::newRow("two") << withCrc(hexBytes("01 06 01 09 00 02")) << Rx::Effect::Heater << 2;
    QTest::newRow("0xFFFF") << withCrc(hexBytes("01 06 01 09 FF FF")) << Rx::Effect::Heater << 0xFFFF;
    QTest::newRow("read reply") << readReply({1}) << Rx::Effect::None << 0;
    QTest::newRow("exception") << withCrc(hexBytes("01 86 02")) << Rx::Effect::None << 0;
    QTest::newRow("echo cut short") << hexBytes("01 06 01 09 00") << Rx::Effect::None << 0;
}

void TestReplies::decodeHeater() {
    QFETCH(QByteArray, frame);
    QFETCH(Rx::Effect, effect);
    QFETCH(int, value);
    SharedDataClass shared;
    prime(shared);
    const QMap<QString, QString> before = snapshot(shared);
    const Rx::Decoded d = decodeExact(Reg::Heater, frame, shared);
    QCOMPARE(d.effect, effect);
    if (effect == Rx::Effect::Heater) {
        QCOMPARE(int(d.heaterValue), value);
    }
    // The echo drives the buttons only; the stored heater state is that of the last information read.
    QCOMPARE(snapshot(shared), before);
}

void TestReplies::decodeOutputBlock_data() {
    QTest::addColumn<int>("selection");
    QTest::addColumn<Rx::Effect>("effect");
    QTest::addColumn<int>("index");
    QTest::newRow("temperature") << 0 << Rx::Effect::OutputData << 0;
    QTest::newRow("humidity") << 1 << Rx::Effect::OutputData << 1;
    QTest::newRow("dew point") << 2 << Rx::Effect::OutputData << 2;
    QTest::newRow("3 names no item") << 3 << Rx::Effect::OutputData << -1;
    QTest::newRow("0x7FFF") << 0x7FFF << Rx::Effect::OutputData << -1;
    QTest::newRow("negative selects nothing") << 0xFFFF << Rx::Effect::OutputData << -1;
}

void TestReplies::decodeOutputBlock() {
    QFETCH(int, selection);
    QFETCH(Rx::Effect, effect);
    QFETCH(int, index);
    QVector<quint16> words;
    for (int i = 0; i < 17; ++i) {
        words << static_cast<quint16>(0x1000 + i);
    }
    words[1] = static_cast<quint16>(selection);
    SharedDataClass shared;
    prime(shared);
    const Rx::Decoded d = decodeExact(Reg::OutputBlock, readReply(words), shared);
    QCOMPARE(d.effect, effect);
    if (effect == Rx::Effect::OutputData) {
        QCOMPARE(d.outputData, index);
    }
    for (int i = 0; i < 17; ++i) {
        QCOMPARE(shared.outputRegisters[i], words[i]);
    }
    QVERIFY(shared.outputRegistersLoaded);
}

void TestReplies::decodeClock() {
    SharedDataClass shared;
    prime(shared);
    const QVector<quint16> words = {2025, 10, 16, 19, 4, 26, 4, 90, 6, 120};
    const Rx::Decoded d = decodeExact(Reg::ClockYear, readReply(words), shared);
    QCOMPARE(d.effect, Rx::Effect::Clock);
    const quint16 fields[] = {shared.clockYear,     shared.clockMonth,         shared.clockDay,
                              shared.clockHour,     shared.clockMinute,        shared.clockSecond,
                              shared.clockWeekday,  shared.heaterStartMinutes, shared.heaterInterval,
                              shared.heaterDuration};
    for (int i = 0; i < 10; ++i) {
        QCOMPARE(fields[i], words[i]);
    }
}

void TestReplies::decodeCalibration() {
    QVector<quint16> words;
    for (int i = 0; i < 45; ++i) {
        words << static_cast<quint16>(0xC000 + 3 * i);
    }
    SharedDataClass shared;
    prime(shared);
    const Rx::Decoded d = decodeExact(Reg::Calibration, readReply(words), shared);
    QCOMPARE(d.effect, Rx::Effect::None);
    for (int i = 0; i < 45; ++i) {
        QCOMPARE(shared.calibration[i], words[i]);
    }
    QVERIFY(shared.calibrationLoaded);
}

void TestReplies::decodeNothing_data() {
    QTest::addColumn<int>("reg");
    QTest::addColumn<QByteArray>("frame");

    const QByteArray exception = hexBytes("01 83 02 C0 F1");
    const QByteArray blockEcho = hexBytes("01 10 01 20 01 26 40 75");
    const int liveRegs[] = {0, 1, 2, 3, 4, 5, 6, 7};
    for (int reg : liveRegs) {
        const QByteArray tag = QByteArray::number(reg);
        QTest::newRow("live " + tag + " exception") << reg << exception;
        QTest::newRow("live " + tag + " block write echo") << reg << blockEcho;
        QTest::newRow("live " + tag + " byte count 0") << reg << readReplyBytes(0);
        QTest::newRow("live " + tag + " byte count 1") << reg << readReplyBytes(1);
        QTest::newRow("live " + tag + " byte count 4") << reg << readReplyBytes(4);
        QTest::newRow("live " + tag + " empty") << reg << QByteArray();
        QTest::newRow("live " + tag + " count 2 cut short") << reg << hexBytes("01 03 02 07");
    }
    // A whole block only at the block start.
    QTest::newRow("whole block under humidity") << 1 << readReply({1, 2, 3, 4});
    QTest::newRow("whole block under tenths status") << 7 << readReply({1, 2, 3, 4});
    QTest::newRow("whole block cut after 6 data bytes") << 0 << hexBytes("01 03 08 07 D0 13 88 03 E8");
    QTest::newRow("heater empty") << int(Reg::Heater) << QByteArray();
    QTest::newRow("identity empty") << int(Reg::SlaveAddress) << QByteArray();
    QTest::newRow("output block 16 registers") << int(Reg::OutputBlock) << readReplyBytes(32);
    QTest::newRow("output block 18 registers") << int(Reg::OutputBlock) << readReplyBytes(36);
    QTest::newRow("output block exception") << int(Reg::OutputBlock) << exception;
    QTest::newRow("output block count 34, cut") << int(Reg::OutputBlock) << hexBytes("01 03 22 00 01 00 02");
    QTest::newRow("output block empty") << int(Reg::OutputBlock) << QByteArray();
    QTest::newRow("clock 19 bytes") << int(Reg::ClockYear) << readReplyBytes(19);
    QTest::newRow("clock 18 bytes") << int(Reg::ClockYear) << readReplyBytes(18);
    QTest::newRow("clock count 20, cut") << int(Reg::ClockYear) << hexBytes("01 03 14 07 E9 00 0A");
    QTest::newRow("clock block write echo") << int(Reg::ClockYear) << blockEcho;
    QTest::newRow("clock empty") << int(Reg::ClockYear) << QByteArray();
    QTest::newRow("calibration 89 bytes") << int(Reg::Calibration) << readReplyBytes(89);
    QTest::newRow("calibration 44 registers") << int(Reg::Calibration) << readReplyBytes(88);
    QTest::newRow("calibration clear echo")
        << int(Reg::Calibration) << withCrc(hexBytes("01 06 02 00 00 00"));
    QTest::newRow("calibration count 90, cut")
        << int(Reg::Calibration) << hexBytes("01 03 5A") + QByteArray(40, '\x01');
    QTest::newRow("calibration empty") << int(Reg::Calibration) << QByteArray();
    // Registers whose replies are only logged.
    const int unkeyed[] = {Reg::UnitCommand,
                           Reg::RangeMin,
                           Reg::OutputDataChannel1,
                           Reg::OutputApply,
                           Reg::OutputDataChannel2,
                           Reg::CapClear,
                           Reg::CalibrationApply,
                           Reg::ClockMonth,
                           Reg::FirmwareVersion,
                           0x0008,
                           0xFFFF};
    for (int reg : unkeyed) {
        QTest::newRow(QByteArray("register 0x") + QByteArray::number(reg, 16) + " read")
            << reg << readReply({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
        QTest::newRow(QByteArray("register 0x") + QByteArray::number(reg, 16) + " write echo")
            << reg << withCrc(hexBytes("01 06 01 09 00 01"));
    }
}

void TestReplies::decodeNothing() {
    QFETCH(int, reg);
    QFETCH(QByteArray, frame);
    SharedDataClass shared;
    prime(shared);
    const QMap<QString, QString> before = snapshot(shared);
    const Rx::Decoded d = decodeExact(static_cast<quint16>(reg), frame, shared);
    QCOMPARE(d.effect, Rx::Effect::None);
    QCOMPARE(snapshot(shared), before);
}

void TestReplies::decodeEveryPrefix_data() {
    QTest::addColumn<QByteArray>("frame");
    QVector<quint16> calibration(45, 0x1234);
    QVector<quint16> output(17, 0x0002);
    QTest::newRow("device information") << infoReply(3, 105);
    QTest::newRow("live block") << readReply({1, 2, 3, 4});
    QTest::newRow("clock") << readReply({2025, 10, 16, 19, 4, 26, 4, 90, 6, 120});
    QTest::newRow("output block") << readReply(output);
    QTest::newRow("calibration") << readReply(calibration);
    QTest::newRow("write echo") << withCrc(hexBytes("01 06 01 09 00 01"));
    QTest::newRow("block write echo") << withCrc(hexBytes("01 10 01 04 01 06"));
    QTest::newRow("byte count 255 with 2 data bytes") << hexBytes("01 03 FF 00 01");
}

void TestReplies::decodeEveryPrefix() {
    // Every prefix of every reply kind under every keyed register: the sanitizers report any read
    // beyond the bytes that are there.
    QFETCH(QByteArray, frame);
    const quint16 regs[] = {0,
                            1,
                            2,
                            3,
                            4,
                            5,
                            6,
                            7,
                            Reg::SlaveAddress,
                            Reg::BaudCode,
                            Reg::SerialNumber,
                            Reg::Heater,
                            Reg::OutputBlock,
                            Reg::ClockYear,
                            Reg::Calibration};
    for (quint16 reg : regs) {
        for (int n = 0; n <= frame.size(); ++n) {
            SharedDataClass shared;
            prime(shared);
            const QByteArray prefix = frame.left(n);
            const Rx::Decoded d = decodeExact(reg, prefix, shared);
            // Data bytes actually present: a block is only taken when all of its bytes are there.
            const int present = n - 3;
            if (present < 20) {
                QVERIFY2(d.effect != Rx::Effect::DeviceInfo && d.effect != Rx::Effect::Clock,
                         qPrintable(QStringLiteral("register %1, %2 bytes").arg(reg).arg(n)));
            }
            QVERIFY(present >= 90 || !shared.calibrationLoaded);
            QVERIFY(present >= 34 || !shared.outputRegistersLoaded);
        }
    }
}

// ---- Through the window ----

void TestReplies::splitReplyAcceptedOnce() {
    Bench b;
    QVERIFY(b.attached);
    WidgetTestAccess::readRegisters(b.w, Reg::SlaveAddress, Reg::DeviceInfoCount);
    const QByteArray reply = infoReply(0, 105);
    QVERIFY(b.line.send(reply.left(5)));
    QTRY_COMPARE(b.rxBuffer().size(), 5);
    QVERIFY(!b.shared().responseReceived);
    QVERIFY(b.timerClear().isActive());
    QVERIFY(b.line.send(reply.mid(5, 10)));
    QTRY_COMPARE(b.rxBuffer().size(), 15);
    QVERIFY(b.line.send(reply.mid(15)));
    QTRY_VERIFY(b.shared().responseReceived);
    QVERIFY(b.rxBuffer().isEmpty());
    QVERIFY(!b.timerClear().isActive());
    QCOMPARE(b.rx(), QStringList{QString::fromLatin1(reply.toHex())});
    QCOMPARE(b.ui().lineEditSN->text(), QStringLiteral("261208041533"));
}

void TestReplies::splitReplyAfterGapDiscarded() {
    Bench b;
    QVERIFY(b.attached);
    WidgetTestAccess::readRegisters(b.w, Reg::SlaveAddress, Reg::DeviceInfoCount);
    const QByteArray reply = infoReply(0, 105);
    QSignalSpy cleared(&b.timerClear(), &QTimer::timeout);
    QVERIFY(b.line.send(reply.left(5)));
    QTRY_COMPARE(cleared.count(), 1);
    QVERIFY(b.rxBuffer().isEmpty());
    QVERIFY(!b.timerClear().isActive());
    QVERIFY(b.line.send(reply.mid(5)));
    QTRY_COMPARE(cleared.count(), 2);
    QVERIFY(b.rxBuffer().isEmpty());
    QVERIFY(!b.shared().responseReceived);
    QVERIFY(b.rx().isEmpty());
    QVERIFY(b.ui().lineEditSN->text().isEmpty());
}

void TestReplies::strayByteBehindReply() {
    Bench b;
    QVERIFY(b.attached);
    WidgetTestAccess::readRegisters(b.w, Reg::SlaveAddress, Reg::DeviceInfoCount);
    const QByteArray reply = infoReply(0, 105);
    QSignalSpy cleared(&b.timerClear(), &QTimer::timeout);
    QVERIFY(b.line.send(reply + QByteArray(1, '\x00')));
    // The whole reply is taken; the byte behind it waits for the reception gap.
    QTRY_VERIFY(b.shared().responseReceived);
    QCOMPARE(b.rx(), QStringList{QString::fromLatin1(reply.toHex())});
    QCOMPARE(b.ui().lineEditSN->text(), QStringLiteral("261208041533"));
    QCOMPARE(b.rxBuffer(), QByteArray(1, '\x00'));
    QTRY_COMPARE(cleared.count(), 1);
    QVERIFY(b.rxBuffer().isEmpty());
    QCOMPARE(b.rx().size(), 1);
}

void TestReplies::emptyBufferNotAccepted() {
    Bench b;
    QVERIFY(b.attached);
    WidgetTestAccess::invoke(b.w, "my_readuart");
    QVERIFY(!b.shared().responseReceived);
    QVERIFY(b.timerClear().isActive());
    QCOMPARE(b.timerClear().interval(), 100);
    QVERIFY(b.rx().isEmpty());
}

void TestReplies::exceptionReplyAccepted() {
    Bench b;
    QVERIFY(b.attached);
    WidgetTestAccess::readRegisters(b.w, Reg::SlaveAddress, Reg::DeviceInfoCount);
    prime(b.shared());
    b.ui().lineEditAddress->setText(QStringLiteral("12"));
    const QMap<QString, QString> before = snapshot(b.shared());
    QVERIFY(b.line.send(hexBytes("01 83 02 C0 F1")));
    QTRY_VERIFY(b.shared().responseReceived);
    QCOMPARE(b.rx(), QStringList{QStringLiteral("018302c0f1")});
    QCOMPARE(snapshot(b.shared()), before);
    QCOMPARE(b.ui().lineEditAddress->text(), QStringLiteral("12"));
    QCOMPARE(b.messageBoxes(), 0);
}

void TestReplies::overflowDropped() {
    Bench b;
    QVERIFY(b.attached);
    const int logLines = readLogLines(b.log()).size();
    QVERIFY(b.line.send(QByteArray(1025, '\x11')));
    // Dropped on the run that passes 1024 bytes, not by the gap timer.
    QTRY_VERIFY(b.timerClear().isActive() && b.rxBuffer().isEmpty());
    QCOMPARE(b.messageBoxes(), 0);
    QVERIFY(WidgetTestAccess::port(b.w)->isOpen());
    QCOMPARE(readLogLines(b.log()).size(), logLines);
    // The buffer is empty at once: a reply right behind the noise is recognised.
    WidgetTestAccess::readRegisters(b.w, Reg::SlaveAddress, 1);
    QVERIFY(b.line.send(hexBytes("01 83 02 C0 F1")));
    QTRY_VERIFY(b.shared().responseReceived);
    QCOMPARE(b.rx(), QStringList{QStringLiteral("018302c0f1")});
}

void TestReplies::floodClosesPort_data() {
    QTest::addColumn<char>("fill");
    QTest::newRow("0x00") << '\x00';
    QTest::newRow("0xFF") << '\xff';
}

void TestReplies::floodClosesPort() {
    QFETCH(char, fill);
    Bench b;
    QVERIFY(b.attached);
    const int logLines = readLogLines(b.log()).size();
    QVERIFY(b.line.send(QByteArray(1024, fill)));
    QTRY_COMPARE(b.messageBoxes(), 1);
    const SeenModal &box = b.watcher.seen.last();
    QCOMPARE(box.title, QStringLiteral("Error"));
    QCOMPARE(box.text, QStringLiteral("USB device error, please reconnect USB device!"));
    QVERIFY(!WidgetTestAccess::port(b.w)->isOpen());
    QVERIFY(b.rxBuffer().isEmpty());
    QCOMPARE(readLogLines(b.log()).size(), logLines);
    // The port is closed: more flood reaches nobody and no second box opens.
    b.line.send(QByteArray(1023, fill));
    QTRY_VERIFY(!b.timerClear().isActive());
    QCOMPARE(b.messageBoxes(), 1);
    QVERIFY(!b.shared().responseReceived);
}

void TestReplies::deviceInfo_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("firmware");
    QTest::addColumn<int>("heater");
    QTest::addColumn<QStringList>("channels");
    QTest::addColumn<bool>("rowHidden");
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("typeIndex");
    const QStringList one{QStringLiteral("1")};
    const QStringList two{QStringLiteral("1"), QStringLiteral("2")};
    QTest::newRow("ZR100") << 0 << 105 << 0 << one << true << "Firmware version:V1.0.5" << 0;
    QTest::newRow("ZR200") << 1 << 110 << 1 << two << true << "Firmware version:V1.1.0" << 1;
    QTest::newRow("ZR200Pro firmware 104") << 3 << 104 << 0 << two << true << "Firmware version:V1.0.4" << 3;
    QTest::newRow("ZR200Pro firmware 105") << 3 << 105 << 0 << two << false << "Firmware version:V1.0.5" << 3;
    QTest::newRow("ZR200Pro firmware 1234")
        << 3 << 1234 << 2 << two << false << "Firmware version:V2.3.4" << 3;
    QTest::newRow("ZR200Mini_M") << 5 << 200 << 0 << two << true << "Firmware version:V2.0.0" << 5;
    QTest::newRow("unknown type 7") << 7 << 105 << 0 << two << true << "Firmware version:V1.0.5" << -1;
}

void TestReplies::deviceInfo() {
    QFETCH(int, type);
    QFETCH(int, firmware);
    QFETCH(int, heater);
    QFETCH(QStringList, channels);
    QFETCH(bool, rowHidden);
    QFETCH(QString, version);
    QFETCH(int, typeIndex);
    Bench b;
    QVERIFY(b.attached);
    WidgetTestAccess::readRegisters(b.w, Reg::SlaveAddress, Reg::DeviceInfoCount);
    const QByteArray reply = infoReply(static_cast<quint16>(type), static_cast<quint16>(firmware),
                                       static_cast<quint16>(heater), 5);
    QVERIFY(b.line.send(reply));
    QTRY_VERIFY(b.shared().responseReceived);

    WidgetUi &ui = b.ui();
    QCOMPARE(ui.lineEditAddress->text(), QStringLiteral("1"));
    QCOMPARE(ui.comboBoxBaudRate->currentIndex(), 4);
    QCOMPARE(ui.lineEditSN->text(), QStringLiteral("261208041533"));
    QCOMPARE(ui.lineEditRangeMin->text(), QStringLiteral("-40.0"));
    QCOMPARE(ui.lineEditRangeMax->text(), QStringLiteral("80.0"));
    QCOMPARE(ui.labelVersions->text(), version);
    QStringList items;
    for (int i = 0; i < ui.comboBoxChannel->count(); ++i) {
        items << ui.comboBoxChannel->itemText(i);
    }
    QCOMPARE(items, channels);
    QCOMPARE(ui.comboBoxType->currentIndex(), typeIndex);
    QCOMPARE(ui.pushButtonHeaterON->isEnabled(), heater == 0);
    QCOMPARE(ui.pushButtonHeaterOFF->isEnabled(), heater != 0);
    QCOMPARE(WidgetTestAccess::heaterCountdown(b.w), heater == 0 ? 0 : 300);
    QWidget *row[] = {ui.labelDeviceTime,      ui.dateTimeEditDeviceTime, ui.checkBoxSystemTime,
                      ui.pushButtonDeviceTime, ui.labelStartTime,         ui.timeEditStartTime,
                      ui.labelInterval,        ui.comboBoxInterval,       ui.labelHeaterTime,
                      ui.comboBoxHeaterTime,   ui.pushButtonHeaterTime};
    for (QWidget *widget : row) {
        QVERIFY2(widget->isHidden() == rowHidden, qPrintable(widget->objectName()));
    }

    const QString clockRequest = QStringLiteral("01030120000ac5fb");
    const QStringList lines = readLogLines(b.log());
    const QString rxLine = QStringLiteral("->RX  ") + QString::fromLatin1(reply.toHex());
    const QString txLine = QStringLiteral("->TX  ") + clockRequest;
    int rxAt = -1;
    int txAt = -1;
    for (int i = 0; i < lines.size(); ++i) {
        if (lines[i].endsWith(rxLine)) {
            rxAt = i;
        }
        if (lines[i].endsWith(txLine)) {
            txAt = i;
        }
    }
    QVERIFY(rxAt >= 0);
    if (rowHidden) {
        QCOMPARE(txAt, -1);
        QCOMPARE(WidgetTestAccess::lastRegister(b.w), quint16(Reg::SlaveAddress));
    } else {
        // The clock request goes out after the information reply that led to it, as on the wire.
        QVERIFY(txAt >= 0);
        QVERIFY(rxAt < txAt);
        QCOMPARE(WidgetTestAccess::lastRegister(b.w), quint16(Reg::ClockYear));
        QTRY_VERIFY(b.line.drain().endsWith(hexBytes("01 03 01 20 00 0A C5 FB")));
    }
}

void TestReplies::clockRowShowsDeviceClock() {
    Bench b;
    QVERIFY(b.attached);
    WidgetTestAccess::readRegisters(b.w, Reg::SlaveAddress, Reg::DeviceInfoCount);
    QVERIFY(b.line.send(infoReply(3, 105)));
    QTRY_COMPARE(WidgetTestAccess::lastRegister(b.w), quint16(Reg::ClockYear));
    QTRY_VERIFY(b.rxBuffer().isEmpty() && !b.timerClear().isActive());
    b.shared().responseReceived = false;
    QVERIFY(b.line.send(readReply({2025, 10, 16, 19, 4, 26, 4, 90, 6, 120})));
    QTRY_VERIFY(b.shared().responseReceived);
    WidgetUi &ui = b.ui();
    QCOMPARE(ui.dateTimeEditDeviceTime->dateTime(),
             QDateTime(QDate(2025, 10, 16), QTime(19, 4, 26), Qt::UTC));
    QCOMPARE(ui.timeEditStartTime->time(), QTime(1, 30));
    QCOMPARE(ui.comboBoxInterval->currentIndex(), 5);
    QCOMPARE(ui.comboBoxInterval->currentText(), QStringLiteral("6H"));
    QCOMPARE(ui.comboBoxHeaterTime->currentIndex(), 120);
    QVERIFY(!ui.dateTimeEditDeviceTime->isHidden());
    QCOMPARE(b.shared().clockWeekday, quint16(4));
    QCOMPARE(b.rx().size(), 2);
}

void TestReplies::heaterEcho_data() {
    QTest::addColumn<int>("value");
    QTest::newRow("on") << 1;
    QTest::newRow("two counts as on") << 2;
    QTest::newRow("off") << 0;
}

void TestReplies::heaterEcho() {
    QFETCH(int, value);
    Bench b;
    QVERIFY(b.attached);
    WidgetUi &ui = b.ui();
    // Start from the opposite state so every change shows.
    ui.pushButtonHeaterON->setEnabled(value != 0);
    ui.pushButtonHeaterOFF->setEnabled(value == 0);
    WidgetTestAccess::heaterCountdown(b.w) = value != 0 ? 0 : 17;
    WidgetTestAccess::writeRegister(b.w, Reg::Heater, static_cast<quint16>(value));
    QByteArray echo = hexBytes("01 06 01 09 00 00");
    echo[5] = static_cast<char>(value);
    QVERIFY(b.line.send(withCrc(echo)));
    QTRY_VERIFY(b.shared().responseReceived);
    QCOMPARE(ui.pushButtonHeaterON->isEnabled(), value == 0);
    QCOMPARE(ui.pushButtonHeaterOFF->isEnabled(), value != 0);
    QCOMPARE(WidgetTestAccess::heaterCountdown(b.w), value != 0 ? 300 : 0);
    if (value == 0) {
        return;
    }
    for (int tick = 0; tick < 299; ++tick) {
        WidgetTestAccess::invoke(b.w, "Timer1SSlot");
    }
    QCOMPARE(WidgetTestAccess::heaterCountdown(b.w), 1);
    QVERIFY(!ui.pushButtonHeaterON->isEnabled());
    QVERIFY(ui.pushButtonHeaterOFF->isEnabled());
    WidgetTestAccess::invoke(b.w, "Timer1SSlot");
    QCOMPARE(WidgetTestAccess::heaterCountdown(b.w), 0);
    QVERIFY(ui.pushButtonHeaterON->isEnabled());
    QVERIFY(!ui.pushButtonHeaterOFF->isEnabled());
    // At 0 the tick leaves the buttons alone.
    ui.pushButtonHeaterON->setEnabled(false);
    WidgetTestAccess::invoke(b.w, "Timer1SSlot");
    QCOMPARE(WidgetTestAccess::heaterCountdown(b.w), 0);
    QVERIFY(!ui.pushButtonHeaterON->isEnabled());
}

void TestReplies::outputDataSelection_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("index");
    QTest::newRow("3 selects nothing") << 3 << -1;
    QTest::newRow("2 selects dew point") << 2 << 2;
    QTest::newRow("0 selects temperature") << 0 << 0;
}

void TestReplies::outputDataSelection() {
    QFETCH(int, value);
    QFETCH(int, index);
    Bench b;
    QVERIFY(b.attached);
    b.ui().comboBoxOutputData->setCurrentIndex(1);
    WidgetTestAccess::readRegisters(b.w, Reg::OutputBlock, Reg::OutputBlockCount);
    QVector<quint16> words(17, 0);
    words[1] = static_cast<quint16>(value);
    QVERIFY(b.line.send(readReply(words)));
    QTRY_VERIFY(b.shared().responseReceived);
    QCOMPARE(b.ui().comboBoxOutputData->currentIndex(), index);
    QVERIFY(b.shared().outputRegistersLoaded);
}

void TestReplies::blockWriteUnderLiveRegister() {
    Bench b;
    QVERIFY(b.attached);
    // The clock writes leave the register of the last live poll in place; the echo is decoded
    // by the register it echoes, which shows nothing.
    WidgetTestAccess::lastRegister(b.w) = 0x0001;
    WidgetTestAccess::writeBlock(b.w, 1, Reg::ClockYear, {2025, 10, 16, 19, 4, 26, 4}, false);
    b.ui().labelTemperature->setText(QStringLiteral("T"));
    b.ui().labelHumidity->setText(QStringLiteral("H"));
    b.ui().labelDewTemp->setText(QStringLiteral("D"));
    prime(b.shared());
    const QMap<QString, QString> before = snapshot(b.shared());
    QVERIFY(b.line.send(hexBytes("01 10 01 20 01 26 40 75")));
    QTRY_VERIFY(b.shared().responseReceived);
    QCOMPARE(b.ui().labelTemperature->text(), QStringLiteral("T"));
    QCOMPARE(b.ui().labelHumidity->text(), QStringLiteral("H"));
    QCOMPARE(b.ui().labelDewTemp->text(), QStringLiteral("D"));
    QCOMPARE(snapshot(b.shared()), before);
    QCOMPARE(b.rx(), QStringList{QStringLiteral("0110012001264075")});
}

void TestReplies::baudRateShownAgain_data() {
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("index");
    QTest::newRow("code 0 leaves no item") << 0 << -1;
    QTest::newRow("code 6") << 6 << 5;
    QTest::newRow("code 1") << 1 << 0;
}

void TestReplies::baudRateShownAgain() {
    QFETCH(int, stored);
    QFETCH(int, index);
    Bench b;
    QVERIFY(b.attached);
    b.ui().comboBoxBaudRate->setCurrentIndex(3);
    b.shared().baudCode = static_cast<quint16>(stored);
    WidgetTestAccess::writeRegister(b.w, Reg::BaudCode, 3);
    QVERIFY(b.line.send(hexBytes("01 86 02 C3 A1")));
    QTRY_VERIFY(b.shared().responseReceived);
    QCOMPARE(b.ui().comboBoxBaudRate->currentIndex(), index);
    QCOMPARE(int(b.shared().baudCode), stored);
}

void TestReplies::serialNumberWriteEcho() {
    Bench b;
    QVERIFY(b.attached);
    // The write operation stores the new number before sending; its echo shows it.
    b.shared().serialNumber = QStringLiteral("aabbccddeeff");
    WidgetTestAccess::writeBlock(b.w, 0, Reg::SerialNumber, {0xaabb, 0xccdd, 0xeeff}, true);
    QVERIFY(b.line.send(hexBytes("01 10 01 04 01 06 01 A6")));
    QTRY_VERIFY(b.shared().responseReceived);
    QCOMPARE(b.ui().lineEditSN->text(), QStringLiteral("aabbccddeeff"));
}

void TestReplies::junkBeforeReply_data() {
    QTest::addColumn<QByteArray>("junk");
    QTest::newRow("one 0x00") << hexBytes("00");
    QTest::newRow("one 0xFF") << hexBytes("FF");
    QTest::newRow("three of any value") << hexBytes("55 00 FF");
    // A torn start of a reply that looks like the real one's header.
    QTest::newRow("the reply's own first bytes") << hexBytes("01 03 14");
    QTest::newRow("an address byte alone") << hexBytes("01");
}

void TestReplies::junkBeforeReply() {
    QFETCH(QByteArray, junk);
    Bench b;
    QVERIFY(b.attached);
    WidgetTestAccess::readRegisters(b.w, Reg::SlaveAddress, Reg::DeviceInfoCount);
    const QByteArray reply = infoReply(1, 110);
    QVERIFY(b.line.send(junk + reply));
    QTRY_VERIFY(b.shared().responseReceived);
    QCOMPARE(b.ui().lineEditSN->text(), QStringLiteral("261208041533"));
    QCOMPARE(b.ui().lineEditAddress->text(), QStringLiteral("1"));
    // Everything received is logged as it came: the skipped bytes, then the reply.
    QCOMPARE(b.rx(), (QStringList{QString::fromLatin1(junk.toHex()), QString::fromLatin1(reply.toHex())}));
    QVERIFY(b.rxBuffer().isEmpty());
    QVERIFY(!b.timerClear().isActive());
}

void TestReplies::floodInPieces_data() {
    QTest::addColumn<char>("fill");
    QTest::addColumn<int>("piece");
    QTest::newRow("0x00, 4096 in one write") << '\x00' << 4096;
    QTest::newRow("0xFF, 4096 in one write") << '\xff' << 4096;
    QTest::newRow("0xFF, pieces of 300") << '\xff' << 300;
    QTest::newRow("0x00, pieces of 500") << '\x00' << 500;
    QTest::newRow("0xFF, pieces of 1000") << '\xff' << 1000;
    QTest::newRow("0x00, pieces of 64") << '\x00' << 64;
    QTest::newRow("0xFF, exactly the cap") << '\xff' << 1024;
}

void TestReplies::floodInPieces() {
    QFETCH(char, fill);
    QFETCH(int, piece);
    Bench b;
    QVERIFY(b.attached);
    WidgetTestAccess::readRegisters(b.w, Reg::SlaveAddress, Reg::DeviceInfoCount);
    const int logLines = readLogLines(b.log()).size();
    const int total = qMax(piece, 4096);
    for (int sent = 0; sent < total && b.messageBoxes() == 0; sent += piece) {
        QVERIFY(b.line.send(QByteArray(piece, fill)));
        // The tool reads this piece before the next one comes, as from a streaming adapter.
        const int expected = qMin(sent + piece, Rx::MaxBuffer);
        QTRY_VERIFY(b.messageBoxes() == 1 || b.rxBuffer().size() == expected);
    }
    QTRY_COMPARE(b.messageBoxes(), 1);
    QCOMPARE(b.watcher.seen.last().text, QStringLiteral("USB device error, please reconnect USB device!"));
    QVERIFY(!WidgetTestAccess::port(b.w)->isOpen());
    QVERIFY(b.rxBuffer().isEmpty());
    QCOMPARE(readLogLines(b.log()).size(), logLines);
    b.line.send(QByteArray(piece, fill));
    QTRY_VERIFY(!b.timerClear().isActive());
    QCOMPARE(b.messageBoxes(), 1);
}

void TestReplies::twoRepliesInOneRead() {
    Bench b;
    QVERIFY(b.attached);
    b.ui().lineEditRangeMin->setText(QStringLiteral("0"));
    b.ui().lineEditRangeMax->setText(QStringLiteral("100"));
    b.ui().comboBoxRegister->setCurrentIndex(1); // hundredths, all four values
    b.ui().comboBoxNum->setCurrentIndex(0);
    b.ui().pushButtonHeaterON->setEnabled(true);
    b.ui().pushButtonHeaterOFF->setEnabled(false);
    // The poll goes out, then "heater on" before the poll's reply is back.
    WidgetTestAccess::invoke(b.w, "ReadHumitureOrder");
    WidgetTestAccess::invoke(b.w, "PushButtonHeaterONSlot");
    const QByteArray live = readReply({2000, 5000, 1000, 0});
    const QByteArray echo = hexBytes("01 06 01 09 00 01 99 F4");
    QVERIFY(b.line.send(live + echo));
    QTRY_COMPARE(b.rx().size(), 2);
    QVERIFY(b.ui().labelTemperature->text().contains(QStringLiteral("20.00")));
    QVERIFY(!b.ui().pushButtonHeaterON->isEnabled());
    QVERIFY(b.ui().pushButtonHeaterOFF->isEnabled());
    QCOMPARE(WidgetTestAccess::heaterCountdown(b.w), 300);
    QVERIFY(WidgetTestAccess::pendingRequests(b.w).list().isEmpty());
}

void TestReplies::pollReplyCrossesInfoRequest() {
    Bench b;
    QVERIFY(b.attached);
    b.ui().lineEditAddress->setText(QStringLiteral("1"));
    b.ui().comboBoxRegister->setCurrentIndex(1);
    b.ui().comboBoxNum->setCurrentIndex(0);
    // The poll is on the line when the user asks for the device information.
    WidgetTestAccess::invoke(b.w, "ReadHumitureOrder");
    WidgetTestAccess::invoke(b.w, "PushButtonReadInfoSlot");
    QCOMPARE(WidgetTestAccess::lastRegister(b.w), quint16(Reg::SlaveAddress));
    // The poll's reply comes first: a temperature of 23.45 degrees is not an address.
    QVERIFY(b.line.send(readReply({2345, 5000, 1000, 0})));
    QTRY_COMPARE(b.rx().size(), 1);
    QCOMPARE(b.ui().lineEditAddress->text(), QStringLiteral("1"));
    QVERIFY(b.ui().labelTemperature->text().contains(QStringLiteral("23.45")));
    QVERIFY(b.ui().lineEditSN->text().isEmpty());
    QVERIFY(b.line.send(infoReply(1, 110)));
    QTRY_COMPARE(b.rx().size(), 2);
    QCOMPARE(b.ui().lineEditSN->text(), QStringLiteral("261208041533"));
    // The next poll still goes to the device's address.
    WidgetTestAccess::invoke(b.w, "ReadHumitureOrder");
    QCOMPARE(b.tx().last(), QStringLiteral("0103000000044409"));
}

void TestReplies::unansweredReplyChangesNothing_data() {
    QTest::addColumn<int>("askedCount"); // registers of the waiting read, 0 for none
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("nothing waiting") << 0 << infoReply(1, 110);
    QTest::newRow("a read of ten answered with four") << 10 << readReply({2345, 5000, 1000, 0});
    QTest::newRow("a read of ten answered with one") << 10 << readReply({2345});
    QTest::newRow("an echo of another register") << 10 << hexBytes("01 06 01 09 00 01 99 F4");
}

void TestReplies::unansweredReplyChangesNothing() {
    QFETCH(int, askedCount);
    QFETCH(QByteArray, reply);
    Bench b;
    QVERIFY(b.attached);
    if (askedCount > 0) {
        WidgetTestAccess::readRegisters(b.w, Reg::SlaveAddress, static_cast<quint16>(askedCount));
    }
    b.ui().lineEditAddress->setText(QStringLiteral("12"));
    b.ui().pushButtonHeaterON->setEnabled(true);
    prime(b.shared());
    const QMap<QString, QString> before = snapshot(b.shared());
    QVERIFY(b.line.send(reply));
    QTRY_COMPARE(b.rx(), QStringList{QString::fromLatin1(reply.toHex())});
    QCOMPARE(snapshot(b.shared()), before);
    QCOMPARE(b.ui().lineEditAddress->text(), QStringLiteral("12"));
    QVERIFY(b.ui().lineEditSN->text().isEmpty());
    QVERIFY(b.ui().pushButtonHeaterON->isEnabled());
    QVERIFY(!b.shared().responseReceived);
    QCOMPARE(WidgetTestAccess::pendingRequests(b.w).list().size(), askedCount > 0 ? 1 : 0);
}

void TestReplies::pollWaitsForUserReply() {
    // What goes out when is the point, not how long a window is: two are waited out, short ones.
    ScopedLineTiming timing;
    LineTiming::current().line.turnaroundMs = 150;
    Bench b;
    QVERIFY(b.attached);
    WidgetTestAccess::autoRead(b.w) = true;
    WidgetTestAccess::invoke(b.w, "PushButtonReadSNSlot");
    QCOMPARE(b.tx().size(), 1);
    // While the serial-number read waits for its reply the tick sends nothing...
    WidgetTestAccess::invoke(b.w, "Timer1SSlot");
    QCOMPARE(b.tx().size(), 1);
    // ...and once it is answered the poll goes on.
    QVERIFY(b.line.send(readReply({0x2612, 0x0804, 0x1533})));
    QTRY_VERIFY(b.shared().responseReceived);
    WidgetTestAccess::invoke(b.w, "Timer1SSlot");
    QCOMPARE(b.tx().size(), 2);
    // A click while the poll waits for its reply goes out when the poll's window has passed...
    WidgetTestAccess::invoke(b.w, "PushButtonReadSNSlot");
    QCOMPARE(b.tx().size(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(b.tx().size(), 3, 1500);
    // ...and, never answered, holds the poll back only for its own reply window.
    WidgetTestAccess::invoke(b.w, "Timer1SSlot");
    QCOMPARE(b.tx().size(), 3);
    QTRY_VERIFY_WITH_TIMEOUT((WidgetTestAccess::invoke(b.w, "Timer1SSlot"), b.tx().size() == 4), 1500);
}

QTEST_MAIN(TestReplies)
#include "tst_replies.moc"
