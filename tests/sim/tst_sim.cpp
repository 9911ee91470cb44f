// The simulated transmitter: its register model and replies on their own, then served through
// a real pseudo-terminal to a QSerialPort in this process.
#include "core/device/register_map.h"
#include "core/modbus/modbus_frame.h"
#include "sim/pty_transmitter.h"
#include "sim/transmitter.h"
#include "tests/support/harness.h"

#include <QDate>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTime>
#include <QtTest>

#include <cmath>
#include <memory>

Q_DECLARE_METATYPE(TransmitterConfig)
Q_DECLARE_METATYPE(SimFault)

namespace {

// Plain bitwise CRC-16/MODBUS, written out here so replies are checked against an
// implementation of their own.
quint16 referenceCrc(const QByteArray &bytes) {
    quint16 crc = 0xFFFF;
    for (char c : bytes) {
        crc ^= static_cast<quint8>(c);
        for (int i = 0; i < 8; ++i) {
            crc = (crc & 1) ? static_cast<quint16>((crc >> 1) ^ 0xA001) : static_cast<quint16>(crc >> 1);
        }
    }
    return crc;
}

// CRC bytes on the wire: low byte first.
QByteArray withReferenceCrc(QByteArray frame) {
    const quint16 crc = referenceCrc(frame);
    frame.append(static_cast<char>(crc & 0xFF));
    frame.append(static_cast<char>(crc >> 8));
    return frame;
}

bool crcOk(const QByteArray &frame) {
    return frame.size() >= 4 && withReferenceCrc(frame.left(frame.size() - 2)) == frame;
}

quint16 u16(const QByteArray &frame, int at) {
    return static_cast<quint16>((static_cast<quint8>(frame.at(at)) << 8) |
                                static_cast<quint8>(frame.at(at + 1)));
}

qint16 s16(const QByteArray &frame, int at) {
    return static_cast<qint16>(u16(frame, at));
}

QByteArray words(const QVector<quint16> &values) {
    QByteArray bytes;
    for (quint16 v : values) {
        bytes.append(static_cast<char>(v >> 8));
        bytes.append(static_cast<char>(v & 0xFF));
    }
    return bytes;
}

// Block write as this family expects it, built here byte by byte: the second field is the
// last register written.
QByteArray blockWrite(quint8 address, quint16 first, quint16 lastField, const QVector<quint16> &values,
                      int byteCount = -1) {
    QByteArray frame;
    frame.append(static_cast<char>(address));
    frame.append('\x10');
    frame.append(words({first, lastField}));
    frame.append(static_cast<char>(byteCount < 0 ? 2 * values.size() : byteCount));
    frame.append(words(values));
    return withReferenceCrc(frame);
}

QByteArray eightByte(quint8 address, quint8 function, quint16 a, quint16 b) {
    QByteArray frame;
    frame.append(static_cast<char>(address));
    frame.append(static_cast<char>(function));
    frame.append(words({a, b}));
    return withReferenceCrc(frame);
}

double magnus(double t, double rh) {
    const double g = std::log(rh / 100.0) + 17.62 * t / (243.12 + t);
    return 243.12 * g / (17.62 - g);
}

const QByteArray InfoRequest = QByteArray::fromHex("01030100000ac431");

// A QSerialPort on the slave side, with helpers that wait on readyRead.
struct Client {
    QSerialPort port;
    QByteArray received;
    int reads = 0;

    bool open(const QString &path, int baud = 9600, QSerialPort::Parity parity = QSerialPort::NoParity,
              QSerialPort::DataBits bits = QSerialPort::Data8,
              QSerialPort::StopBits stop = QSerialPort::OneStop,
              QSerialPort::FlowControl flow = QSerialPort::NoFlowControl) {
        port.setPortName(path);
        port.setBaudRate(baud);
        port.setParity(parity);
        port.setDataBits(bits);
        port.setStopBits(stop);
        port.setFlowControl(flow);
        QObject::connect(&port, &QSerialPort::readyRead, &port, [this] {
            received.append(port.readAll());
            ++reads;
        });
        return port.open(QIODevice::ReadWrite);
    }

    // Sends `request` and waits until at least `expected` bytes came back or `ms` passed.
    QByteArray exchange(const QByteArray &request, int expected, int ms = 2000) {
        received.clear();
        reads = 0;
        return followUp(request, expected, ms);
    }

    // The same, keeping what came before: after a request that must go unanswered, the answer to
    // this one comes alone, since the simulated transmitter answers (or not) as it hears a request
    // and the line keeps the order of what is sent on it. No real-time wait for the silence.
    QByteArray followUp(const QByteArray &request, int expected, int ms = 2000) {
        port.write(request);
        QElapsedTimer elapsed;
        elapsed.start();
        QSignalSpy spy(&port, &QSerialPort::readyRead);
        while (received.size() < expected && elapsed.elapsed() < ms) {
            spy.wait(static_cast<int>(qMax<qint64>(1, ms - elapsed.elapsed())));
        }
        return received;
    }
};

} // namespace

class TstSim : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void baudCodes();
    void deviceInformation_data();
    void deviceInformation();
    void blocksReadable_data();
    void blocksReadable();
    void writesEchoed_data();
    void writesEchoed();
    void blockWrites_data();
    void blockWrites();
    void clockRunsOnFromWritten_data();
    void clockRunsOnFromWritten();
    void liveReadings();
    void exceptions_data();
    void exceptions();
    void silence_data();
    void silence();
    void addressZeroAnswered();
    void ptyBus_data();
    void ptyBus();
    void newAddressAfterReply();
    void newBaudCodeAfterReply();

    void ptyDeviceInformation();
    void ptyReopen();
    void ptyResynchronises();
    void ptyLineSettings_data();
    void ptyLineSettings();
    void ptyWrongRate_data();
    void ptyWrongRate();
    void ptyNewRateAfterReply();
    void ptyFaults_data();
    void ptyFaults();
    void ptyReplyDelay();
    void ptyVanishAndReappear();

private:
    std::unique_ptr<ScopedWorkDir> workDir;
};

void TstSim::initTestCase() {
    qRegisterMetaType<QSerialPort::SerialPortError>();
}

void TstSim::init() {
    workDir.reset(new ScopedWorkDir);
}

void TstSim::cleanup() {
    workDir.reset();
}

void TstSim::baudCodes() {
    const int rates[] = {1200, 2400, 4800, 9600, 19200, 115200};
    for (int code = 1; code <= 6; ++code) {
        QCOMPARE(baudRateForCode(static_cast<quint16>(code)), rates[code - 1]);
        QCOMPARE(codeForBaudRate(rates[code - 1]), static_cast<quint16>(code));
    }
    QCOMPARE(baudRateForCode(0), 0);
    QCOMPARE(baudRateForCode(7), 0);
    QCOMPARE(codeForBaudRate(38400), quint16(0));
}

void TstSim::deviceInformation_data() {
    QTest::addColumn<TransmitterConfig>("config");
    QTest::addColumn<quint16>("baudCode");
    QTest::addColumn<QByteArray>("expected"); // whole reply when given

    TransmitterConfig standard;
    QTest::newRow("ZR200Pro 105 at 1, 9600")
        << standard << quint16(4)
        << QByteArray::fromHex("0103140001000400690003261208041533fe700320000082f9");

    TransmitterConfig zr100;
    zr100.deviceType = 0;
    zr100.firmware = 1234;
    zr100.address = 17;
    zr100.baudRate = 1200;
    zr100.serialNumber = QByteArray::fromHex("a1b2c3d4e5f6");
    zr100.rangeMin = -200;
    zr100.rangeMax = 1500;
    zr100.heater = 1;
    QTest::newRow("ZR100 at 17, 1200, heater on") << zr100 << quint16(1) << QByteArray();

    TransmitterConfig mini;
    mini.deviceType = 5;
    mini.firmware = 104;
    mini.address = 247;
    mini.baudRate = 115200;
    mini.serialNumber = QByteArray::fromHex("000000000001");
    mini.rangeMin = 0;
    mini.rangeMax = 500;
    mini.heater = 2;
    QTest::newRow("ZR200Mini_M at 247, 115200") << mini << quint16(6) << QByteArray();

    TransmitterConfig zr300;
    zr300.deviceType = 2;
    zr300.address = 2;
    zr300.baudRate = 19200;
    zr300.rangeMin = -32768;
    zr300.rangeMax = 32767;
    QTest::newRow("ZR300 at 2, 19200, extreme range") << zr300 << quint16(5) << QByteArray();
}

void TstSim::deviceInformation() {
    QFETCH(TransmitterConfig, config);
    QFETCH(quint16, baudCode);
    QFETCH(QByteArray, expected);

    Transmitter device(config);
    QByteArray request = InfoRequest;
    if (config.address != 1) {
        request = eightByte(config.address, 0x03, 0x0100, 10);
    }
    const QByteArray reply = device.handleRequest(request);
    QCOMPARE(reply.size(), 25);
    QVERIFY(crcOk(reply));
    QCOMPARE(quint8(reply.at(0)), config.address);
    QCOMPARE(quint8(reply.at(1)), quint8(0x03));
    QCOMPARE(quint8(reply.at(2)), quint8(20));
    QCOMPARE(u16(reply, 3), quint16(config.address));
    QCOMPARE(u16(reply, 5), baudCode);
    QCOMPARE(u16(reply, 7), config.firmware);
    QCOMPARE(u16(reply, 9), config.deviceType);
    QCOMPARE(reply.mid(11, 6), config.serialNumber);
    QCOMPARE(s16(reply, 17), config.rangeMin);
    QCOMPARE(s16(reply, 19), config.rangeMax);
    QCOMPARE(u16(reply, 21), config.heater);
    if (!expected.isEmpty()) {
        QCOMPARE(reply.toHex(), expected.toHex());
    }
    QCOMPARE(device.address(), config.address);
    QCOMPARE(device.baudRate(), config.baudRate);
}

void TstSim::blocksReadable_data() {
    QTest::addColumn<quint16>("start");
    QTest::addColumn<quint16>("count");
    QTest::newRow("live hundredths") << quint16(0x0000) << quint16(4);
    QTest::newRow("live tenths") << quint16(0x0004) << quint16(4);
    QTest::newRow("one live register") << quint16(0x0006) << quint16(1);
    QTest::newRow("live and command") << quint16(0x0000) << quint16(9);
    QTest::newRow("address alone") << quint16(0x0100) << quint16(1);
    QTest::newRow("serial number") << quint16(0x0104) << quint16(3);
    QTest::newRow("identity and output") << quint16(0x0100) << quint16(27);
    QTest::newRow("output block") << quint16(0x010A) << quint16(17);
    QTest::newRow("clock block") << quint16(0x0120) << quint16(10);
    QTest::newRow("channel 2 output data") << quint16(0x012B) << quint16(1);
    QTest::newRow("calibration") << quint16(0x0200) << quint16(45);
}

void TstSim::blocksReadable() {
    QFETCH(quint16, start);
    QFETCH(quint16, count);
    TransmitterConfig config;
    config.deviceType = 1; // the clock registers answer on every model
    Transmitter device(config);
    const QByteArray reply = device.handleRequest(eightByte(1, 0x03, start, count));
    QCOMPARE(reply.size(), 5 + 2 * count);
    QVERIFY(crcOk(reply));
    QCOMPARE(quint8(reply.at(2)), quint8(2 * count));
    for (int i = 0; i < count; ++i) {
        const quint16 reg = static_cast<quint16>(start + i);
        QVERIFY(device.hasRegister(reg));
        const quint16 value = u16(reply, 3 + 2 * i);
        if (reg >= Reg::Calibration && reg <= Reg::CalibrationLast) {
            QVERIFY2(value != 0, qPrintable(QString::number(reg, 16)));
        }
        if (reg == Reg::OutputDataChannel1) {
            QCOMPARE(value, quint16(0));
        }
        if (reg == Reg::ClockYear) {
            QVERIFY(value >= 2020);
        }
        if (reg == Reg::ClockMonth) {
            QVERIFY(value >= 1 && value <= 12);
        }
        if (reg == Reg::ClockWeekday) {
            QVERIFY(value >= 1 && value <= 7);
        }
        if (reg == Reg::HeaterInterval) {
            QVERIFY(value >= 1 && value <= 24);
        }
        if (reg == Reg::HeaterDuration) {
            QVERIFY(value <= 480);
        }
    }
}

void TstSim::writesEchoed_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<quint16>("reg");
    QTest::addColumn<quint16>("value");
    QTest::newRow("heater on (worked example)")
        << QByteArray::fromHex("01060109000199f4") << quint16(0x0109) << quint16(1);
    QTest::newRow("heater off") << eightByte(1, 0x06, 0x0109, 0) << quint16(0x0109) << quint16(0);
    QTest::newRow("output data channel 1") << eightByte(1, 0x06, 0x010B, 2) << quint16(0x010B) << quint16(2);
    QTest::newRow("output data channel 2") << eightByte(1, 0x06, 0x012B, 0) << quint16(0x012B) << quint16(0);
    QTest::newRow("resistance clear") << eightByte(1, 0x06, 0x0200, 0) << quint16(0x0200) << quint16(0);
    QTest::newRow("capacitance clear") << eightByte(1, 0x06, 0x0202, 0) << quint16(0x0202) << quint16(0);
    QTest::newRow("calibration reset") << eightByte(1, 0x06, 0x0204, 0) << quint16(0x0204) << quint16(0);
    QTest::newRow("unit command") << eightByte(1, 0x06, 0x0008, 0) << quint16(0x0008) << quint16(0);
    QTest::newRow("heating start, to address 0")
        << eightByte(0, 0x06, 0x0127, 600) << quint16(0x0127) << quint16(600);
}

void TstSim::writesEchoed() {
    QFETCH(QByteArray, request);
    QFETCH(quint16, reg);
    QFETCH(quint16, value);
    Transmitter device;
    device.setRegisterValue(reg, static_cast<quint16>(value + 7)); // something else before
    QCOMPARE(device.handleRequest(request).toHex(), request.toHex());
    QCOMPARE(device.registerValue(reg), value);
    const QByteArray read = device.handleRequest(eightByte(1, 0x03, reg, 1));
    QCOMPARE(read.size(), 7);
    QCOMPARE(u16(read, 3), value);
}

void TstSim::blockWrites_data() {
    QTest::addColumn<quint16>("first");
    QTest::addColumn<QVector<quint16>>("values");
    QTest::newRow("serial number") << quint16(0x0104) << QVector<quint16>{0x1122, 0x3344, 0x5566};
    QTest::newRow("temperature range") << quint16(0x0107) << QVector<quint16>{quint16(-500), 1250};
    QVector<quint16> output(11);
    for (int i = 0; i < output.size(); ++i) {
        output[i] = static_cast<quint16>(i == 0 ? 1 : 300 + i);
    }
    QTest::newRow("output apply") << quint16(0x0110) << output;
    QVector<quint16> calibration(41);
    for (int i = 0; i < calibration.size(); ++i) {
        calibration[i] = static_cast<quint16>(i == 0 ? 1 : 5000 - i);
    }
    QTest::newRow("calibration apply") << quint16(0x0204) << calibration;
    QTest::newRow("heating schedule") << quint16(0x0127) << QVector<quint16>{90, 12, 240};
}

void TstSim::blockWrites() {
    QFETCH(quint16, first);
    QFETCH(QVector<quint16>, values);
    Transmitter device;
    const quint16 last = static_cast<quint16>(first + values.size() - 1);
    const QByteArray request = blockWrite(1, first, last, values);
    QCOMPARE(request.size(), 9 + 2 * values.size());
    if (first == 0x0104) {
        // The family's header for three registers from 0x0104.
        QCOMPARE(request.left(7).toHex(), QByteArray("01100104010606"));
    }
    const QByteArray ack = device.handleRequest(request);
    QCOMPARE(ack.toHex(), withReferenceCrc(request.left(6)).toHex());
    const QByteArray read =
        device.handleRequest(eightByte(1, 0x03, first, static_cast<quint16>(values.size())));
    QCOMPARE(read.mid(3, 2 * values.size()).toHex(), words(values).toHex());
}

void TstSim::clockRunsOnFromWritten_data() {
    QTest::addColumn<QDateTime>("written");
    QTest::addColumn<int>("writtenWeekday");
    QTest::addColumn<int>("later");
    QTest::addColumn<QDateTime>("expected");
    QTest::addColumn<int>("weekday");
    QTest::newRow("leap day, 90 s on") << QDateTime(QDate(2024, 2, 29), QTime(13, 45, 30), Qt::UTC) << 4 << 90
                                       << QDateTime(QDate(2024, 2, 29), QTime(13, 47, 0), Qt::UTC) << 4;
    QTest::newRow("over midnight into March, wrong weekday written")
        << QDateTime(QDate(2024, 2, 29), QTime(23, 59, 50), Qt::UTC) << 1 << 15
        << QDateTime(QDate(2024, 3, 1), QTime(0, 0, 5), Qt::UTC) << 5;
    QTest::newRow("New Year's Eve to a Monday")
        << QDateTime(QDate(2028, 12, 31), QTime(23, 0, 0), Qt::UTC) << 7 << 3600
        << QDateTime(QDate(2029, 1, 1), QTime(0, 0, 0), Qt::UTC) << 1;
    QTest::newRow("read at once") << QDateTime(QDate(2030, 6, 15), QTime(8, 5, 9), Qt::UTC) << 6 << 0
                                  << QDateTime(QDate(2030, 6, 15), QTime(8, 5, 9), Qt::UTC) << 6;
}

void TstSim::clockRunsOnFromWritten() {
    QFETCH(QDateTime, written);
    QFETCH(int, writtenWeekday);
    QFETCH(int, later);
    QFETCH(QDateTime, expected);
    QFETCH(int, weekday);

    QDateTime now(QDate(2021, 5, 3), QTime(10, 0, 0), Qt::UTC);
    Transmitter device;
    device.setTimeSource([&now] { return now; });
    const QVector<quint16> clock{quint16(written.date().year()),   quint16(written.date().month()),
                                 quint16(written.date().day()),    quint16(written.time().hour()),
                                 quint16(written.time().minute()), quint16(written.time().second()),
                                 quint16(writtenWeekday)};
    const QByteArray request = blockWrite(1, 0x0120, 0x0126, clock);
    const QByteArray ack = device.handleRequest(request);
    QCOMPARE(ack.size(), 8);
    QVERIFY(crcOk(ack));
    QCOMPARE(ack.left(6).toHex(), QByteArray("011001200126"));

    now = now.addSecs(later);
    const QByteArray read = device.handleRequest(eightByte(1, 0x03, 0x0120, 10));
    QCOMPARE(read.size(), 25);
    const QDateTime got(QDate(u16(read, 3), u16(read, 5), u16(read, 7)),
                        QTime(u16(read, 9), u16(read, 11), u16(read, 13)), Qt::UTC);
    QCOMPARE(got, expected);
    QCOMPARE(int(u16(read, 15)), weekday);
    // The schedule behind the clock was left alone.
    QCOMPARE(u16(read, 17), device.registerValue(Reg::HeaterStartMinutes));
    QVERIFY(u16(read, 19) >= 1 && u16(read, 19) <= 24);
}

void TstSim::liveReadings() {
    QDateTime now(QDate(2025, 1, 1), QTime(0, 0, 0), Qt::UTC);
    Transmitter device;
    device.setTimeSource([&now] { return now; });
    double minT = 1e9, maxT = -1e9, minH = 1e9, maxH = -1e9;
    double previousT = 0, previousH = 0;
    const QByteArray request = eightByte(1, 0x03, 0x0000, 8);
    for (int step = 0; step < 240; ++step) { // two hours in half-minute steps
        const QByteArray reply = device.handleRequest(request);
        QCOMPARE(reply.size(), 21);
        QVERIFY(crcOk(reply));
        const qint16 t100 = s16(reply, 3);
        const quint16 h100 = u16(reply, 5);
        const qint16 d100 = s16(reply, 7);
        const qint16 t10 = s16(reply, 11);
        const quint16 h10 = u16(reply, 13);
        const qint16 d10 = s16(reply, 15);
        // The tenths copy is the same measurement as the hundredths copy.
        QVERIFY2(std::abs(t10 * 10 - t100) <= 5, qPrintable(QString("%1 %2").arg(t10).arg(t100)));
        QVERIFY(std::abs(int(h10) * 10 - int(h100)) <= 5);
        QVERIFY(std::abs(d10 * 10 - d100) <= 5);
        const double t = t100 / 100.0;
        const double h = h100 / 100.0;
        QVERIFY2(t > 18.0 && t < 28.0, qPrintable(QString::number(t)));
        QVERIFY2(h > 30.0 && h < 60.0, qPrintable(QString::number(h)));
        QVERIFY2(std::fabs(d100 / 100.0 - magnus(t, h)) < 0.05,
                 qPrintable(QString("%1 %2 %3").arg(t).arg(h).arg(d100)));
        if (step > 0) {
            // Slow drift: no more than a few tenths per half minute.
            QVERIFY(std::fabs(t - previousT) < 0.6);
            QVERIFY(std::fabs(h - previousH) < 2.0);
        }
        previousT = t;
        previousH = h;
        minT = qMin(minT, t);
        maxT = qMax(maxT, t);
        minH = qMin(minH, h);
        maxH = qMax(maxH, h);
        // Single-register reads give the same values as the block read.
        QCOMPARE(s16(device.handleRequest(eightByte(1, 0x03, 0x0000, 1)), 3), t100);
        QCOMPARE(u16(device.handleRequest(eightByte(1, 0x03, 0x0005, 1)), 3), h10);
        now = now.addSecs(30);
    }
    QVERIFY(maxT - minT > 1.0); // it does move
    QVERIFY(maxH - minH > 3.0);
    QVERIFY(std::fabs((minT + maxT) / 2 - 23.0) < 1.0);
    QVERIFY(std::fabs((minH + maxH) / 2 - 45.0) < 3.0);
}

void TstSim::exceptions_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<quint8>("function");
    QTest::addColumn<quint8>("code");
    QTest::newRow("function 0x04") << eightByte(1, 0x04, 0x0000, 1) << quint8(0x04) << quint8(0x01);
    QTest::newRow("function 0x01") << eightByte(1, 0x01, 0x0000, 8) << quint8(0x01) << quint8(0x01);
    QTest::newRow("function 0x2B") << eightByte(1, 0x2B, 0x0E01, 0) << quint8(0x2B) << quint8(0x01);
    QTest::newRow("read outside the map") << eightByte(1, 0x03, 0x0300, 1) << quint8(0x03) << quint8(0x02);
    QTest::newRow("read just after the live block")
        << eightByte(1, 0x03, 0x0009, 1) << quint8(0x03) << quint8(0x02);
    QTest::newRow("read into the gap after the output block")
        << eightByte(1, 0x03, 0x010A, 18) << quint8(0x03) << quint8(0x02);
    QTest::newRow("read past the clock block")
        << eightByte(1, 0x03, 0x0120, 11) << quint8(0x03) << quint8(0x02);
    QTest::newRow("read past the calibration")
        << eightByte(1, 0x03, 0x0200, 46) << quint8(0x03) << quint8(0x02);
    QTest::newRow("read at the top of the address space")
        << eightByte(1, 0x03, 0xFFFF, 2) << quint8(0x03) << quint8(0x02);
    QTest::newRow("read count 0") << eightByte(1, 0x03, 0x0100, 0) << quint8(0x03) << quint8(0x03);
    QTest::newRow("read count 126") << eightByte(1, 0x03, 0x0000, 126) << quint8(0x03) << quint8(0x03);
    QTest::newRow("write outside the map") << eightByte(1, 0x06, 0x0300, 1) << quint8(0x06) << quint8(0x02);
    QTest::newRow("write address 0") << eightByte(1, 0x06, 0x0100, 0) << quint8(0x06) << quint8(0x03);
    QTest::newRow("write address 248") << eightByte(1, 0x06, 0x0100, 248) << quint8(0x06) << quint8(0x03);
    QTest::newRow("write baud code 0") << eightByte(1, 0x06, 0x0101, 0) << quint8(0x06) << quint8(0x03);
    QTest::newRow("write baud code 7") << eightByte(1, 0x06, 0x0101, 7) << quint8(0x06) << quint8(0x03);
    QTest::newRow("block: byte count not 2N")
        << blockWrite(1, 0x0107, 0x0108, {1, 2}, 2) << quint8(0x10) << quint8(0x03);
    QTest::newRow("block: count in the last-register field")
        << blockWrite(1, 0x0107, 0x0002, {1, 2}) << quint8(0x10) << quint8(0x03);
    QTest::newRow("block: fewer values than the byte count")
        << withReferenceCrc(blockWrite(1, 0x0107, 0x0108, {1, 2}).left(9)) << quint8(0x10) << quint8(0x03);
    QTest::newRow("block: into the gap")
        << blockWrite(1, 0x011A, 0x011B, {1, 2}) << quint8(0x10) << quint8(0x02);
    QTest::newRow("block: bad address")
        << blockWrite(1, 0x0100, 0x0101, {0, 4}) << quint8(0x10) << quint8(0x03);
}

void TstSim::exceptions() {
    QFETCH(QByteArray, request);
    QFETCH(quint8, function);
    QFETCH(quint8, code);
    TransmitterConfig config;
    config.address = 9;
    Transmitter device(config);
    request[0] = 9;
    request = withReferenceCrc(request.left(request.size() - 2));
    QByteArray expected;
    expected.append('\x09');
    expected.append(static_cast<char>(function | 0x80));
    expected.append(static_cast<char>(code));
    const QByteArray reply = device.handleRequest(request);
    QCOMPARE(reply.toHex(), withReferenceCrc(expected).toHex());
    // Nothing changed.
    QCOMPARE(device.address(), quint8(9));
    QCOMPARE(device.baudRate(), 9600);
    QCOMPARE(device.registerValue(Reg::RangeMin), quint16(-400));
}

void TstSim::silence_data() {
    QTest::addColumn<QByteArray>("request");
    QByteArray badLow = eightByte(1, 0x06, 0x0109, 1);
    badLow[6] = static_cast<char>(badLow.at(6) ^ 0x01);
    QByteArray badHigh = eightByte(1, 0x06, 0x0109, 1);
    badHigh[7] = static_cast<char>(badHigh.at(7) ^ 0x80);
    QByteArray swapped = eightByte(1, 0x06, 0x0109, 1);
    const char low = swapped.at(6);
    swapped[6] = swapped.at(7);
    swapped[7] = low;
    QTest::newRow("CRC low byte wrong") << badLow;
    QTest::newRow("CRC high byte wrong") << badHigh;
    QTest::newRow("CRC sent high byte first") << swapped;
    QTest::newRow("foreign address 2") << eightByte(2, 0x06, 0x0109, 1);
    QTest::newRow("foreign address 247") << eightByte(247, 0x06, 0x0109, 1);
    QTest::newRow("foreign address, unknown function") << eightByte(2, 0x04, 0x0000, 1);
    QTest::newRow("too short") << QByteArray::fromHex("0106");
    QTest::newRow("empty") << QByteArray();
}

void TstSim::silence() {
    QFETCH(QByteArray, request);
    Transmitter device;
    QCOMPARE(device.handleRequest(request), QByteArray());
    QCOMPARE(device.registerValue(Reg::Heater), quint16(0)); // the write was not applied
}

void TstSim::addressZeroAnswered() {
    TransmitterConfig config;
    config.address = 42;
    Transmitter device(config);
    const QByteArray reply = device.handleRequest(QByteArray::fromHex("00030100000ac5e0"));
    QCOMPARE(reply.size(), 25);
    QVERIFY(crcOk(reply));
    QCOMPARE(quint8(reply.at(0)), quint8(42)); // its own address, not 0
    QCOMPARE(u16(reply, 3), quint16(42));
    // A write to address 0 is echoed as received.
    const QByteArray write = eightByte(0, 0x06, 0x0109, 1);
    QCOMPARE(device.handleRequest(write).toHex(), write.toHex());
    // The exception reply carries the device's address too.
    QCOMPARE(device.handleRequest(eightByte(0, 0x03, 0x0300, 1)).toHex(),
             withReferenceCrc(QByteArray::fromHex("2a8302")).toHex());
}

void TstSim::newAddressAfterReply() {
    Transmitter device;
    const QByteArray write = eightByte(1, 0x06, 0x0100, 5);
    QCOMPARE(device.handleRequest(write).toHex(), write.toHex()); // answered under the old address
    QCOMPARE(device.address(), quint8(5));
    QCOMPARE(device.handleRequest(InfoRequest), QByteArray());
    const QByteArray reply = device.handleRequest(eightByte(5, 0x03, 0x0100, 1));
    QCOMPARE(reply.toHex(), withReferenceCrc(QByteArray::fromHex("0503020005")).toHex());

    // The same through a block write of address and baud code.
    const QByteArray block = blockWrite(5, 0x0100, 0x0101, {200, 6});
    const QByteArray ack = device.handleRequest(block);
    QCOMPARE(ack.toHex(), withReferenceCrc(QByteArray::fromHex("051001000101")).toHex());
    QCOMPARE(device.address(), quint8(200));
    QCOMPARE(device.baudRate(), 115200);
}

void TstSim::newBaudCodeAfterReply() {
    Transmitter device;
    const QByteArray write = eightByte(1, 0x06, 0x0101, 5);
    QCOMPARE(device.baudRate(), 9600);
    QCOMPARE(device.handleRequest(write).toHex(), write.toHex());
    QCOMPARE(device.baudRate(), 19200);
    const QByteArray info = device.handleRequest(InfoRequest);
    QCOMPARE(u16(info, 5), quint16(5));
}

void TstSim::ptyDeviceInformation() {
    PtyTransmitter sim;
    QString error;
    QVERIFY2(sim.start(&error), qPrintable(error));
    QVERIFY(sim.slavePath().startsWith("/dev/"));
    QSignalSpy requests(&sim, &PtyTransmitter::requestReceived);
    QSignalSpy sent(&sim, &PtyTransmitter::bytesSent);
    Client client;
    QVERIFY2(client.open(sim.slavePath()), qPrintable(client.port.errorString()));
    const QByteArray reply = client.exchange(InfoRequest, 25);
    QCOMPARE(reply.size(), 25);
    QVERIFY(crcOk(reply));
    QCOMPARE(reply, Transmitter().handleRequest(InfoRequest));
    QCOMPARE(requests.count(), 1);
    QCOMPARE(requests.first().first().toByteArray(), InfoRequest);
    QCOMPARE(sent.count(), 1);
    QCOMPARE(sent.first().first().toByteArray(), reply);

    const QByteArray heater = client.exchange(eightByte(1, 0x06, 0x0109, 1), 8);
    QCOMPARE(heater.toHex(), QByteArray("01060109000199f4"));
    QCOMPARE(sim.model().registerValue(Reg::Heater), quint16(1));
}

void TstSim::ptyReopen() {
    PtyTransmitter sim;
    QVERIFY(sim.start());
    for (int round = 0; round < 3; ++round) {
        Client client;
        QVERIFY2(client.open(sim.slavePath()), qPrintable(client.port.errorString()));
        QCOMPARE(client.exchange(InfoRequest, 25).size(), 25);
        client.port.close(); // the tool closing its port does not hang the line up
    }
}

void TstSim::ptyResynchronises() {
    PtyTransmitter sim;
    QVERIFY(sim.start());
    QSignalSpy requests(&sim, &PtyTransmitter::requestReceived);
    Client client;
    QVERIFY2(client.open(sim.slavePath()), qPrintable(client.port.errorString()));

    // Noise in front of a request, and a request with a broken CRC, are skipped.
    QByteArray broken = InfoRequest;
    broken[7] = 0;
    QByteArray reply = client.exchange(QByteArray::fromHex("fffe00123403") + broken + InfoRequest, 25);
    QCOMPARE(reply, Transmitter().handleRequest(InfoRequest));
    QCOMPARE(requests.count(), 1);

    // Two requests in one write: two replies, in order.
    const QByteArray sn = eightByte(1, 0x03, 0x0104, 3);
    reply = client.exchange(InfoRequest + sn, 25 + 11);
    QCOMPARE(reply.size(), 36);
    QVERIFY(crcOk(reply.left(25)));
    QCOMPARE(reply.mid(25).toHex(), withReferenceCrc(QByteArray::fromHex("010306261208041533")).toHex());

    // A block write arriving in two writes is put together.
    const QByteArray block = blockWrite(1, 0x0107, 0x0108, {quint16(-100), 600});
    client.port.write(block.left(5));
    reply = client.exchange(block.mid(5), 8);
    QCOMPARE(reply.toHex(), withReferenceCrc(block.left(6)).toHex());
    QCOMPARE(sim.model().registerValue(Reg::RangeMax), quint16(600));
}

void TstSim::ptyLineSettings_data() {
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<int>("flow");
    QTest::addColumn<char>("parityChar");
    QTest::newRow("9600 8N1") << 9600 << int(QSerialPort::NoParity) << 8 << 1
                              << int(QSerialPort::NoFlowControl) << 'N';
    // A Linux pseudo-terminal keeps neither the character size nor the parity-enable bit
    // (its driver forces CS8 and clears PARENB), so only odd parity shows, through PARODD.
    QTest::newRow("19200 8O2") << 19200 << int(QSerialPort::OddParity) << 8 << 2
                               << int(QSerialPort::NoFlowControl) << 'O';
    QTest::newRow("4800 8N2") << 4800 << int(QSerialPort::NoParity) << 8 << 2
                              << int(QSerialPort::NoFlowControl) << 'N';
    QTest::newRow("115200 RTS/CTS") << 115200 << int(QSerialPort::NoParity) << 8 << 1
                                    << int(QSerialPort::HardwareControl) << 'N';
    QTest::newRow("1200 XON/XOFF") << 1200 << int(QSerialPort::NoParity) << 8 << 1
                                   << int(QSerialPort::SoftwareControl) << 'N';
}

void TstSim::ptyLineSettings() {
    QFETCH(int, baud);
    QFETCH(int, parity);
    QFETCH(int, dataBits);
    QFETCH(int, stopBits);
    QFETCH(int, flow);
    QFETCH(char, parityChar);
    PtyTransmitter sim;
    QVERIFY(sim.start());
    // Before any tool opened it the line is raw at 9600.
    QCOMPARE(sim.lineSettings().baudRate, 9600);
    QCOMPARE(sim.lineSettings().dataBits, 8);
    Client client;
    QVERIFY(client.open(sim.slavePath(), baud, QSerialPort::Parity(parity), QSerialPort::DataBits(dataBits),
                        stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop,
                        QSerialPort::FlowControl(flow)));
    const LineSettings line = sim.lineSettings();
    QCOMPARE(line.baudRate, baud);
    QCOMPARE(line.dataBits, dataBits);
    QCOMPARE(line.parity, parityChar);
    QCOMPARE(line.stopBits, stopBits);
    QCOMPARE(line.hardwareFlow, flow == int(QSerialPort::HardwareControl));
    QCOMPARE(line.softwareFlow, flow == int(QSerialPort::SoftwareControl));
}

void TstSim::ptyWrongRate_data() {
    QTest::addColumn<bool>("garble");
    QTest::addColumn<int>("rate");
    QTest::newRow("19200, silent") << false << 19200;
    QTest::newRow("4800, silent") << false << 4800;
    QTest::newRow("19200, garbled") << true << 19200;
    QTest::newRow("115200, garbled") << true << 115200;
}

void TstSim::ptyWrongRate() {
    QFETCH(bool, garble);
    QFETCH(int, rate);
    PtyTransmitter sim; // 9600
    QVERIFY(sim.start());
    sim.setGarbleAtWrongRate(garble);
    QSignalSpy requests(&sim, &PtyTransmitter::requestReceived);
    QSignalSpy sent(&sim, &PtyTransmitter::bytesSent);
    Client client;
    QVERIFY2(client.open(sim.slavePath(), rate), qPrintable(client.port.errorString()));
    client.port.write(InfoRequest);
    QVERIFY(requests.wait(2000)); // it heard the request
    if (garble) {
        QVERIFY(sent.count() > 0 || sent.wait(1000));
        QTRY_VERIFY_WITH_TIMEOUT(client.received.size() >= 3, 2000);
        QVERIFY(client.received.size() <= 6);
        QVERIFY(client.received != Transmitter().handleRequest(InfoRequest).left(client.received.size()));
    } else {
        QCOMPARE(sent.count(), 0);
    }
    // The device itself is unchanged and answers once the rate is right (with nothing before).
    client.port.setBaudRate(9600);
    QCOMPARE(garble ? client.exchange(InfoRequest, 25) : client.followUp(InfoRequest, 25),
             Transmitter().handleRequest(InfoRequest));
}

void TstSim::ptyBus_data() {
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("answeringType"); // -1 silence, -2 a collision
    QTest::newRow("unit 1 at its rate") << 9600 << 1 << 1;
    QTest::newRow("unit 7 at its rate") << 19200 << 7 << 3;
    QTest::newRow("unit 12 at its rate") << 9600 << 12 << 5;
    QTest::newRow("unit 7 at another unit's rate") << 9600 << 7 << -1;
    QTest::newRow("unit 1 at another unit's rate") << 19200 << 1 << -1;
    QTest::newRow("an address nobody has") << 9600 << 99 << -1;
    QTest::newRow("address 0, one unit at that rate") << 19200 << 0 << 3;
    QTest::newRow("address 0, two units at that rate") << 9600 << 0 << -2;
}

void TstSim::ptyBus() {
    QFETCH(int, rate);
    QFETCH(int, address);
    QFETCH(int, answeringType);
    TransmitterConfig first;
    first.deviceType = 1;
    first.firmware = 110;
    PtyTransmitter sim(first); // address 1, 9600
    TransmitterConfig second;
    second.address = 7;
    second.baudRate = 19200;
    second.serialNumber = QByteArray::fromHex("000000000007");
    sim.addUnit(second);
    TransmitterConfig third;
    third.deviceType = 5;
    third.address = 12;
    third.firmware = 200;
    sim.addUnit(third);
    QCOMPARE(sim.unitCount(), 3);
    QVERIFY(sim.start());
    Client client;
    QVERIFY2(client.open(sim.slavePath(), rate), qPrintable(client.port.errorString()));
    QByteArray request = QByteArray::fromHex("0003010000 0a");
    request[0] = static_cast<char>(address);
    request = withReferenceCrc(request);
    QSignalSpy sent(&sim, &PtyTransmitter::bytesSent);
    if (answeringType == -1) {
        QSignalSpy heard(&sim, &PtyTransmitter::requestReceived);
        client.port.write(request);
        QVERIFY(heard.wait(2000));
        QCOMPARE(sent.count(), 0);
        // Nothing comes before the answer of the unit that has this rate.
        const quint8 answering = rate == 9600 ? 1 : 7;
        QByteArray next = QByteArray::fromHex("0003010000 0a");
        next[0] = static_cast<char>(answering);
        const QByteArray reply = client.followUp(withReferenceCrc(next), 25);
        QCOMPARE(reply.size(), 25);
        QVERIFY(crcOk(reply));
        QCOMPARE(static_cast<quint8>(reply.at(0)), answering);
        QCOMPARE(sent.count(), 1);
        return;
    }
    const QByteArray reply = client.exchange(request, 25);
    QCOMPARE(reply.size(), 25);
    if (answeringType == -2) {
        QVERIFY(!crcOk(reply));
        return;
    }
    QVERIFY(crcOk(reply));
    QCOMPARE(int(u16(reply, 9)), answeringType);
    if (address != 0) {
        QCOMPARE(int(static_cast<quint8>(reply.at(0))), address);
    }
}

void TstSim::ptyNewRateAfterReply() {
    PtyTransmitter sim;
    QVERIFY(sim.start());
    Client client;
    QVERIFY2(client.open(sim.slavePath()), qPrintable(client.port.errorString()));
    const QByteArray write = eightByte(1, 0x06, 0x0101, 5);
    QCOMPARE(client.exchange(write, 8), write); // the echo still comes at 9600
    QSignalSpy requests(&sim, &PtyTransmitter::requestReceived);
    QSignalSpy sent(&sim, &PtyTransmitter::bytesSent);
    client.received.clear();
    client.port.write(InfoRequest);
    QVERIFY(requests.wait(2000));
    QCOMPARE(sent.count(), 0); // 9600 is no longer its rate
    client.port.setBaudRate(19200);
    const QByteArray reply = client.followUp(InfoRequest, 25);
    QCOMPARE(reply.size(), 25);
    QCOMPARE(u16(reply, 5), quint16(5));
}

void TstSim::ptyFaults_data() {
    QTest::addColumn<SimFault>("fault");
    QTest::newRow("silence") << SimFault::Silence;
    QTest::newRow("flood 0x00") << SimFault::FloodZero;
    QTest::newRow("flood 0xFF") << SimFault::FloodFF;
    QTest::newRow("split reply") << SimFault::SplitReply;
    QTest::newRow("stray byte") << SimFault::StrayByte;
    QTest::newRow("bad CRC") << SimFault::BadCrc;
    QTest::newRow("exception for everything") << SimFault::ExceptionAll;
}

void TstSim::ptyFaults() {
    QFETCH(SimFault, fault);
    PtyTransmitter sim;
    QVERIFY(sim.start());
    sim.setFault(fault);
    sim.setSplit(4, 25);
    QSignalSpy requests(&sim, &PtyTransmitter::requestReceived);
    QSignalSpy sent(&sim, &PtyTransmitter::bytesSent);
    Client client;
    QVERIFY2(client.open(sim.slavePath()), qPrintable(client.port.errorString()));
    const QByteArray normal = Transmitter().handleRequest(InfoRequest);

    switch (fault) {
    case SimFault::Silence:
        client.port.write(InfoRequest);
        QVERIFY(requests.wait(2000));
        QCOMPARE(sent.count(), 0);
        break;
    case SimFault::FloodZero:
    case SimFault::FloodFF: {
        const char fill = fault == SimFault::FloodZero ? '\x00' : '\xFF';
        const QByteArray got = client.exchange(InfoRequest, 4096);
        QVERIFY2(got.size() >= 1024, qPrintable(QString::number(got.size())));
        QCOMPARE(got, QByteArray(got.size(), fill));
        break;
    }
    case SimFault::SplitReply: {
        const QByteArray got = client.exchange(InfoRequest, 25);
        QCOMPARE(got, normal);
        QCOMPARE(sent.count(), 7); // 25 bytes in pieces of 4
        QVERIFY2(client.reads >= 2, qPrintable(QString::number(client.reads)));
        QByteArray joined;
        for (const QList<QVariant> &piece : sent) {
            QVERIFY(piece.first().toByteArray().size() <= 4);
            joined += piece.first().toByteArray();
        }
        QCOMPARE(joined, normal);
        break;
    }
    case SimFault::StrayByte: {
        const QByteArray got = client.exchange(InfoRequest, 26);
        QCOMPARE(got.size(), 26);
        QCOMPARE(got.left(25), normal);
        QCOMPARE(sent.count(), 1);
        QCOMPARE(sent.first().first().toByteArray(), got);
        break;
    }
    case SimFault::BadCrc: {
        const QByteArray got = client.exchange(InfoRequest, 25);
        QCOMPARE(got.size(), 25);
        QVERIFY(!crcOk(got));
        QCOMPARE(got.left(23), normal.left(23));
        break;
    }
    case SimFault::ExceptionAll: {
        const QByteArray got = client.exchange(InfoRequest, 5);
        QCOMPARE(got.toHex(), withReferenceCrc(QByteArray::fromHex("018304")).toHex());
        const QByteArray write = client.exchange(eightByte(1, 0x06, 0x0109, 1), 5);
        QCOMPARE(write.toHex(), withReferenceCrc(QByteArray::fromHex("018604")).toHex());
        QCOMPARE(sim.model().registerValue(Reg::Heater), quint16(0));
        break;
    }
    default:
        QFAIL("fault without a check");
    }

    // Back to normal service.
    sim.setFault(SimFault::None);
    if (fault == SimFault::FloodZero || fault == SimFault::FloodFF) {
        QTRY_COMPARE_WITH_TIMEOUT(client.received.size(), 4096, 2000);
    }
    // After silence the answer comes with nothing before it.
    QCOMPARE(fault == SimFault::Silence ? client.followUp(InfoRequest, 25) : client.exchange(InfoRequest, 25),
             normal);
}

void TstSim::ptyReplyDelay() {
    PtyTransmitter sim;
    QVERIFY(sim.start());
    sim.setReplyDelay(150);
    QSignalSpy requests(&sim, &PtyTransmitter::requestReceived);
    Client client;
    QVERIFY2(client.open(sim.slavePath()), qPrintable(client.port.errorString()));
    QElapsedTimer elapsed;
    elapsed.start();
    const QByteArray reply = client.exchange(InfoRequest, 25);
    QCOMPARE(reply.size(), 25);
    QCOMPARE(requests.count(), 1);
    QVERIFY2(elapsed.elapsed() >= 140, qPrintable(QString::number(elapsed.elapsed())));
}

void TstSim::ptyVanishAndReappear() {
    PtyTransmitter sim;
    QVERIFY(sim.start());
    const QString link = workDir->path() + "/ttyZR0";
    QVERIFY(sim.createSymlink(link));
    QCOMPARE(QFileInfo(link).symLinkTarget(), sim.slavePath());
    // A second link call replaces the first.
    QVERIFY(sim.createSymlink(link));

    Client client;
    QVERIFY(client.open(link));
    QCOMPARE(client.exchange(InfoRequest, 25).size(), 25);

    QSignalSpy errors(&client.port, &QSerialPort::errorOccurred);
    QSignalSpy sent(&sim, &PtyTransmitter::bytesSent);
    sim.vanish();
    QVERIFY(!QFileInfo(link).isSymLink());
    client.received.clear();
    client.port.write(InfoRequest);
    // The open port sees the line hung up, as with an unplugged adapter, and no reply comes.
    QTRY_VERIFY_WITH_TIMEOUT(client.port.error() == QSerialPort::ResourceError, 2000);
    bool resourceError = false;
    for (const QList<QVariant> &e : errors) {
        resourceError =
            resourceError || e.first().value<QSerialPort::SerialPortError>() == QSerialPort::ResourceError;
    }
    QVERIFY(resourceError);
    QCOMPARE(sent.count(), 0);
    QCOMPARE(client.received, QByteArray());
    client.port.close();

    QString error;
    QVERIFY2(sim.reappear(&error), qPrintable(error));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(QFileInfo(link).symLinkTarget(), sim.slavePath());
    QVERIFY(!sim.slavePath().isEmpty());
    Client again;
    QVERIFY2(again.open(link), qPrintable(again.port.errorString()));
    const QByteArray reply = again.exchange(InfoRequest, 25);
    QCOMPARE(reply, Transmitter().handleRequest(InfoRequest));
}

QTEST_GUILESS_MAIN(TstSim)
#include "tst_sim.moc"
