#include "sim/transmitter.h"

#include "core/device/device_model.h"
#include "core/device/register_map.h"
#include "core/modbus/modbus_frame.h"

#include <QDate>
#include <QTime>
#include <QTimeZone>

#include <cmath>

namespace {

constexpr quint8 ExceptionIllegalFunction = 0x01;
constexpr quint8 ExceptionIllegalAddress = 0x02;
constexpr quint8 ExceptionIllegalValue = 0x03;

constexpr quint16 MaxReadCount = 125;
constexpr quint16 MaxWriteCount = 123;

// Registers 0x0000..0x0008: both live copies and the command register.
constexpr quint16 LiveLast = Reg::LiveTenths + Reg::LiveBlockCount - 1;
constexpr quint16 ClockLast = Reg::ClockYear + Reg::ClockBlockCount - 1;

void appendWord(QByteArray &frame, quint16 word) {
    frame.append(static_cast<char>(word >> 8));
    frame.append(static_cast<char>(word & 0xFF));
}

QByteArray exceptionReply(quint8 address, quint8 function, quint8 code) {
    QByteArray reply;
    reply.append(static_cast<char>(address));
    reply.append(static_cast<char>(function | 0x80));
    reply.append(static_cast<char>(code));
    appendCrc(reply);
    return reply;
}

bool isLive(quint16 reg) {
    return reg <= LiveLast;
}
bool isClock(quint16 reg) {
    return reg >= Reg::ClockYear && reg <= Reg::ClockWeekday;
}

// Registers a master may not change: the measurements, the firmware version and the type code.
bool isReadOnly(quint16 reg) {
    return isLive(reg) || reg == Reg::FirmwareVersion || reg == Reg::DeviceType;
}

// Same calendar time in the time representation of `like` (local, UTC, offset or zone).
QDateTime dateTimeLike(const QDate &date, const QTime &time, const QDateTime &like) {
    switch (like.timeSpec()) {
    case Qt::UTC:
        return QDateTime(date, time, Qt::UTC);
    case Qt::OffsetFromUTC:
        return QDateTime(date, time, Qt::OffsetFromUTC, like.offsetFromUtc());
    case Qt::TimeZone:
        return QDateTime(date, time, like.timeZone());
    case Qt::LocalTime:
    default:
        return QDateTime(date, time, Qt::LocalTime);
    }
}

} // namespace

int baudRateForCode(quint16 code) {
    return Model::baudRateForCode(code);
}

quint16 codeForBaudRate(int rate) {
    return Model::codeForBaudRate(rate);
}

Transmitter::Transmitter(const TransmitterConfig &cfg)
    : config(cfg), timeSource([] { return QDateTime::currentDateTime(); }), currentAddress(cfg.address),
      currentBaudRate(codeForBaudRate(cfg.baudRate) ? cfg.baudRate : 9600) {
    for (quint16 reg = Reg::LiveHundredths; reg <= Reg::UnitCommand; ++reg) {
        registers.insert(reg, 0);
    }

    registers.insert(Reg::SlaveAddress, currentAddress);
    registers.insert(Reg::BaudCode, codeForBaudRate(currentBaudRate));
    registers.insert(Reg::FirmwareVersion, config.firmware);
    registers.insert(Reg::DeviceType, config.deviceType);
    QByteArray serial = config.serialNumber.left(6);
    serial.append(QByteArray(6 - serial.size(), '\0'));
    for (quint16 i = 0; i < Reg::SerialNumberCount; ++i) {
        registers.insert(Reg::SerialNumber + i, frameWordAt(serial, 2 * i));
    }
    registers.insert(Reg::RangeMin, static_cast<quint16>(config.rangeMin));
    registers.insert(Reg::RangeMax, static_cast<quint16>(config.rangeMax));
    registers.insert(Reg::Heater, config.heater);

    // Output block: output kind, the data of each channel, and the scaling of the three
    // measurands (low and high ends in tenths); the apply flag at 0x0110 reads 1 once applied.
    const quint16 output[Reg::OutputBlockCount] = {
        0,                                     // 0x010A output kind: 0 = 4-20 mA
        0,                                     // 0x010B channel 1 data: temperature
        1,                                     // 0x010C channel 2 data: humidity
        0,                                     // 0x010D humidity output low end, tenths of %RH
        1000,                                  // 0x010E humidity output high end
        static_cast<quint16>(-400),            // 0x010F dew point output low end, tenths of a degree
        1,                                     // 0x0110 apply flag
        static_cast<quint16>(config.rangeMin), // 0x0111 temperature low end
        static_cast<quint16>(config.rangeMax), // 0x0112 temperature high end
        0,                                     // 0x0113 temperature zero offset
        0,                                     // 0x0114 humidity zero offset
        1000,                                  // 0x0115 temperature gain, per mille
        1000,                                  // 0x0116 humidity gain, per mille
        800,                                   // 0x0117 dew point output high end
        4000,                                  // 0x0118 current at the low end, uA
        20000,                                 // 0x0119 current at the high end, uA
        10,                                    // 0x011A output filter, tenths of a second
    };
    for (quint16 i = 0; i < Reg::OutputBlockCount; ++i) {
        registers.insert(Reg::OutputBlock + i, output[i]);
    }
    registers.insert(Reg::OutputDataChannel2, 1);

    for (quint16 reg = Reg::ClockYear; reg <= ClockLast; ++reg) {
        registers.insert(reg, 0);
    }
    registers.insert(Reg::HeaterStartMinutes, 8 * 60);
    registers.insert(Reg::HeaterInterval, 24);
    registers.insert(Reg::HeaterDuration, 120);

    // Calibration table: capacitance and resistance reference points with their raw readings.
    for (quint16 i = 0; i < Reg::CalibrationCount; ++i) {
        registers.insert(Reg::Calibration + i, static_cast<quint16>(1000 + 37 * i + (i % 3) * 211));
    }
    registers.insert(Reg::CalibrationApply, 1);
}

quint8 Transmitter::address() const {
    return currentAddress;
}

int Transmitter::baudRate() const {
    return currentBaudRate;
}

bool Transmitter::hasRegister(quint16 reg) const {
    return registers.contains(reg);
}

void Transmitter::setTimeSource(std::function<QDateTime()> source) {
    timeSource = std::move(source);
}

quint16 Transmitter::registerValue(quint16 reg) const {
    if (isLive(reg)) {
        const auto pinned = livePinned.constFind(reg);
        if (pinned != livePinned.constEnd()) {
            return *pinned;
        }
        return liveValue(reg, timeSource());
    }
    if (isClock(reg)) {
        return clockValue(reg, timeSource());
    }
    return registers.value(reg, 0);
}

void Transmitter::setRegisterValue(quint16 reg, quint16 value) {
    if (isLive(reg)) {
        livePinned.insert(reg, value);
        return;
    }
    storeWritten(reg, value);
    if (reg == Reg::SlaveAddress) {
        currentAddress = static_cast<quint8>(value);
    } else if (reg == Reg::BaudCode && baudRateForCode(value) != 0) {
        currentBaudRate = baudRateForCode(value);
    }
}

void Transmitter::unpinLive() {
    livePinned.clear();
}

bool Transmitter::isForThisDevice(const QByteArray &request) const {
    if (!crcIntact(request)) {
        return false;
    }
    const quint8 target = static_cast<quint8>(request.at(0));
    return target == 0 || target == currentAddress;
}

quint16 Transmitter::liveValue(quint16 reg, const QDateTime &now) {
    // Slow, plausible room drift: temperature around 23 C, humidity around 45 %RH, with periods
    // of twenty and thirty minutes and a small ripple of a few minutes.
    const double t = static_cast<double>(now.toMSecsSinceEpoch()) / 1000.0;
    const double pi = 3.14159265358979323846;
    const double temperature =
        23.0 + 1.5 * std::sin(2 * pi * t / 1200.0) + 0.15 * std::sin(2 * pi * t / 180.0);
    const double humidity =
        45.0 + 5.0 * std::sin(2 * pi * t / 1800.0 + 1.0) + 0.5 * std::sin(2 * pi * t / 240.0);
    const double dewPoint = magnusDewPoint(temperature, humidity);

    const quint16 offset = reg >= Reg::LiveTenths ? reg - Reg::LiveTenths : reg;
    long hundredths = 0;
    switch (offset) {
    case Reg::LiveTemperature:
        hundredths = std::lround(temperature * 100.0);
        break;
    case Reg::LiveHumidity:
        hundredths = std::lround(humidity * 100.0);
        break;
    case Reg::LiveDewPoint:
        hundredths = std::lround(dewPoint * 100.0);
        break;
    default:
        return 0; // status word: all well
    }
    // The tenths copy is the hundredths copy rounded, so the two always agree.
    const long value =
        reg >= Reg::LiveTenths ? std::lround(static_cast<double>(hundredths) / 10.0) : hundredths;
    return static_cast<quint16>(static_cast<qint16>(value));
}

double Transmitter::magnusDewPoint(double temperature, double humidity) {
    const double b = 17.62;
    const double c = 243.12;
    const double gamma = std::log(qMax(humidity, 0.01) / 100.0) + b * temperature / (c + temperature);
    return c * gamma / (b - gamma);
}

quint16 Transmitter::clockValue(quint16 reg, const QDateTime &now) const {
    const QDateTime device = now.addSecs(clockOffsetSeconds);
    const QDate date = device.date();
    const QTime time = device.time();
    switch (reg) {
    case Reg::ClockYear:
        return static_cast<quint16>(date.year());
    case Reg::ClockMonth:
        return static_cast<quint16>(date.month());
    case Reg::ClockDay:
        return static_cast<quint16>(date.day());
    case Reg::ClockHour:
        return static_cast<quint16>(time.hour());
    case Reg::ClockMinute:
        return static_cast<quint16>(time.minute());
    case Reg::ClockSecond:
        return static_cast<quint16>(time.second());
    case Reg::ClockWeekday:
        return static_cast<quint16>(date.dayOfWeek()); // Qt counts 1 = Monday .. 7 = Sunday too
    default:
        return registers.value(reg, 0);
    }
}

void Transmitter::refreshLive() {
    const QDateTime now = timeSource();
    for (quint16 reg = Reg::LiveHundredths; reg <= LiveLast; ++reg) {
        const auto pinned = livePinned.constFind(reg);
        registers.insert(reg, pinned != livePinned.constEnd() ? *pinned : liveValue(reg, now));
    }
}

void Transmitter::refreshClock() {
    const QDateTime now = timeSource();
    for (quint16 reg = Reg::ClockYear; reg <= Reg::ClockWeekday; ++reg) {
        registers.insert(reg, clockValue(reg, now));
    }
}

void Transmitter::clockWritten() {
    // The clock runs on from the date and time just written; an impossible date leaves it alone.
    const QDate date(registers.value(Reg::ClockYear), registers.value(Reg::ClockMonth),
                     registers.value(Reg::ClockDay));
    const QTime time(registers.value(Reg::ClockHour), registers.value(Reg::ClockMinute),
                     registers.value(Reg::ClockSecond));
    if (!date.isValid() || !time.isValid()) {
        refreshClock();
        return;
    }
    const QDateTime now = timeSource();
    clockOffsetSeconds = now.secsTo(dateTimeLike(date, time, now));
    refreshClock();
}

quint16 Transmitter::readRegister(quint16 reg) {
    return registers.value(reg, 0);
}

QByteArray Transmitter::handleRequest(const QByteArray &request) {
    if (!isForThisDevice(request)) {
        return QByteArray();
    }
    const quint8 own = currentAddress;
    const quint8 function = static_cast<quint8>(request.at(1));
    QByteArray reply;

    switch (function) {
    case Fn::Read: {
        if (request.size() != 8) {
            return exceptionReply(own, function, ExceptionIllegalValue);
        }
        const quint16 start = frameWordAt(request, 2);
        const quint16 count = frameWordAt(request, 4);
        if (count == 0 || count > MaxReadCount) {
            return exceptionReply(own, function, ExceptionIllegalValue);
        }
        if (static_cast<quint32>(start) + count - 1 > 0xFFFF) {
            return exceptionReply(own, function, ExceptionIllegalAddress);
        }
        for (quint32 reg = start; reg < static_cast<quint32>(start) + count; ++reg) {
            if (!hasRegister(static_cast<quint16>(reg))) {
                return exceptionReply(own, function, ExceptionIllegalAddress);
            }
        }
        refreshLive();
        refreshClock();
        reply.append(static_cast<char>(own));
        reply.append(static_cast<char>(function));
        reply.append(static_cast<char>(2 * count));
        for (quint32 reg = start; reg < static_cast<quint32>(start) + count; ++reg) {
            appendWord(reply, readRegister(static_cast<quint16>(reg)));
        }
        appendCrc(reply);
        break;
    }
    case Fn::Write: {
        if (request.size() != 8) {
            return exceptionReply(own, function, ExceptionIllegalValue);
        }
        const quint16 reg = frameWordAt(request, 2);
        const quint16 value = frameWordAt(request, 4);
        if (!hasRegister(reg) || isReadOnly(reg)) {
            return exceptionReply(own, function, ExceptionIllegalAddress);
        }
        if (!acceptableValue(reg, value)) {
            return exceptionReply(own, function, ExceptionIllegalValue);
        }
        storeWritten(reg, value);
        // A write is acknowledged by echoing the request.
        reply = request;
        break;
    }
    case Fn::WriteBlock: {
        // Header: address, 0x10, first register, last register, byte count; then 2N bytes, CRC.
        if (request.size() < 9) {
            return exceptionReply(own, function, ExceptionIllegalValue);
        }
        const quint16 start = frameWordAt(request, 2);
        const quint16 last = frameWordAt(request, 4);
        const int byteCount = static_cast<quint8>(request.at(6));
        const int count = static_cast<int>(last) - static_cast<int>(start) + 1;
        if (count < 1 || count > MaxWriteCount || byteCount != 2 * count || request.size() != 9 + byteCount) {
            return exceptionReply(own, function, ExceptionIllegalValue);
        }
        for (int i = 0; i < count; ++i) {
            const quint16 reg = static_cast<quint16>(start + i);
            if (!hasRegister(reg) || isReadOnly(reg)) {
                return exceptionReply(own, function, ExceptionIllegalAddress);
            }
            if (!acceptableValue(reg, frameWordAt(request, 7 + 2 * i))) {
                return exceptionReply(own, function, ExceptionIllegalValue);
            }
        }
        bool clockTouched = false;
        if (start <= Reg::ClockWeekday && last >= Reg::ClockYear) {
            refreshClock();
        }
        for (int i = 0; i < count; ++i) {
            const quint16 reg = static_cast<quint16>(start + i);
            registers.insert(reg, frameWordAt(request, 7 + 2 * i));
            clockTouched = clockTouched || isClock(reg);
        }
        if (clockTouched) {
            clockWritten();
        }
        // Acknowledged with the first register and the last-register field as received.
        reply.append(static_cast<char>(own));
        reply.append(static_cast<char>(function));
        appendWord(reply, start);
        appendWord(reply, last);
        appendCrc(reply);
        break;
    }
    default:
        return exceptionReply(own, function, ExceptionIllegalFunction);
    }

    // A new address or line rate is taken on only once the reply to the old one is built.
    currentAddress = static_cast<quint8>(registers.value(Reg::SlaveAddress));
    currentBaudRate = baudRateForCode(registers.value(Reg::BaudCode));
    return reply;
}

bool Transmitter::acceptableValue(quint16 reg, quint16 value) {
    if (reg == Reg::SlaveAddress) {
        return value >= 1 && value <= 247;
    }
    if (reg == Reg::BaudCode) {
        return baudRateForCode(value) != 0;
    }
    return true;
}

void Transmitter::storeWritten(quint16 reg, quint16 value) {
    if (isClock(reg)) {
        refreshClock();
        registers.insert(reg, value);
        clockWritten();
        return;
    }
    registers.insert(reg, value);
}
