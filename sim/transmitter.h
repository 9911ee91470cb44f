#ifndef ZR_SIM_TRANSMITTER_H
#define ZR_SIM_TRANSMITTER_H

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QtGlobal>

#include <functional>

// What a simulated transmitter starts with.
struct TransmitterConfig {
    quint16 deviceType = 3; // 0 ZR100 .. 5 ZR200Mini_M
    quint16 firmware = 105; // 105 shows as V1.0.5
    quint8 address = 1;     // 1..247
    int baudRate = 9600;    // one of 1200, 2400, 4800, 9600, 19200, 115200
    QByteArray serialNumber = QByteArray::fromHex("261208041533"); // six bytes
    qint16 rangeMin = -400;                                        // tenths of a degree
    qint16 rangeMax = 800;
    quint16 heater = 0;
};

// The register model and request handling of one transmitter of the family, without any I/O:
// give it a complete request frame, get the reply frame (empty when a device stays silent).
class Transmitter {
public:
    explicit Transmitter(const TransmitterConfig &config = TransmitterConfig());

    // A request with a wrong CRC or for a foreign address gets an empty reply. Address 0 is
    // answered too. A new address or baud-rate code takes effect after the reply is built.
    QByteArray handleRequest(const QByteArray &request);

    quint8 address() const;
    int baudRate() const;
    bool hasRegister(quint16 reg) const;
    quint16 registerValue(quint16 reg) const;
    // Setting a live register (0x0000..0x0007) holds it at that value instead of the drifting
    // reading until unpinLive(); setting a clock register sets the running clock.
    void setRegisterValue(quint16 reg, quint16 value);
    void unpinLive();

    // True for an intact request (CRC right) addressed to this device or to address 0.
    bool isForThisDevice(const QByteArray &request) const;

    // Source of the simulated time (clock registers, drift of the readings); the computer's
    // clock unless a test sets another.
    void setTimeSource(std::function<QDateTime()> source);

    // Dew point in degrees from a temperature in degrees and a relative humidity in percent
    // (Magnus formula, b = 17.62, c = 243.12 C).
    static double magnusDewPoint(double temperature, double humidity);

private:
    static quint16 liveValue(quint16 reg, const QDateTime &now);
    static bool acceptableValue(quint16 reg, quint16 value);
    quint16 clockValue(quint16 reg, const QDateTime &now) const;
    void refreshLive();
    void refreshClock();
    void clockWritten();
    void storeWritten(quint16 reg, quint16 value);
    quint16 readRegister(quint16 reg);

    TransmitterConfig config;
    QHash<quint16, quint16> registers;
    QHash<quint16, quint16> livePinned;
    std::function<QDateTime()> timeSource;
    // The device clock runs on from the last value written: offset from the time source.
    qint64 clockOffsetSeconds = 0;
    quint8 currentAddress;
    int currentBaudRate;
};

// Rate for a baud-rate code 1..6, 0 for any other code.
int baudRateForCode(quint16 code);
// Code 1..6 for a rate, 0 for any other rate.
quint16 codeForBaudRate(int rate);

#endif
