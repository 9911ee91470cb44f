#include "core/device/reply_parser.h"

#include "core/device/register_map.h"
#include "core/device/shared_data.h"
#include "core/device/value_rules.h"
#include "core/modbus/modbus_frame.h"

#include <QString>

namespace Rx {

namespace {

// Offset of the first data byte in every reply (address, function, byte count or register).
constexpr int kDataStart = 3;

// Bounds-checked view of one accepted reply. Every read names the last byte it needs, so a reply
// that is shorter than its byte count claims (or than the block needs) decodes nothing.
class ReplyView {
public:
    explicit ReplyView(const QByteArray &frame)
        : bytes(reinterpret_cast<const quint8 *>(frame.constData())), size(frame.size()) {}

    bool has(int first, int count) const { return first >= 0 && count >= 0 && first + count <= size; }
    quint8 byte(int k) const { return bytes[k]; }
    quint8 function() const { return size > 1 ? bytes[1] : 0; }
    // Byte count N of a 0x03 reply; 0 when the frame does not reach it.
    int byteCount() const { return size > 2 ? bytes[2] : 0; }
    int dataLength() const { return Rx::dataLength(function(), static_cast<quint8>(byteCount())); }
    quint16 u16(int k) const { return static_cast<quint16>((bytes[k] << 8) | bytes[k + 1]); }
    qint16 s16(int k) const { return static_cast<qint16>(u16(k)); }

    // A 0x03 reply whose byte count announces at least `needed` data bytes and whose frame holds
    // all of them.
    bool readCovers(int needed) const {
        return function() == Fn::Read && byteCount() >= needed && has(kDataStart, needed);
    }
    // A 0x06 echo whose value field (bytes 4 and 5) is present.
    bool writeEchoHasValue() const { return function() == Fn::Write && has(4, 2); }

private:
    const quint8 *bytes;
    int size;
};

QString hexOfBytes(const ReplyView &view, int first, int count) {
    QString text;
    text.reserve(2 * count);
    for (int i = 0; i < count; ++i) {
        text += QString::number(view.byte(first + i), 16).rightJustified(2, QLatin1Char('0'));
    }
    return text;
}

// The live block: both copies carry the same four values, temperature and dew point signed,
// humidity and status unsigned. A whole-block reply is accepted only at the block start.
Decoded decodeLive(quint16 lastRegister, const ReplyView &view, SharedDataClass &shared) {
    Decoded result;
    const bool tenths = lastRegister >= Reg::LiveTenths;
    const quint16 offset =
        static_cast<quint16>(lastRegister - (tenths ? Reg::LiveTenths : Reg::LiveHundredths));
    result.block = tenths ? ReadingBlock::Tenths : ReadingBlock::Hundredths;
    const int length = view.dataLength();

    if (offset == Reg::LiveTemperature && length == 2 * Reg::LiveBlockCount) {
        if (!view.has(kDataStart, 8)) {
            return result;
        }
        shared.temperatureRaw = view.s16(3);
        shared.humidityRaw = view.u16(5);
        shared.dewPointRaw = view.s16(7);
        shared.statusRaw = view.u16(9);
        result.effect = Effect::Readings;
        result.selection = ReadingSelection::All;
        return result;
    }
    if (length != 2 || !view.has(kDataStart, 2)) {
        return result;
    }
    switch (offset) {
    case Reg::LiveTemperature:
        shared.temperatureRaw = view.s16(3);
        result.selection = ReadingSelection::Temperature;
        break;
    case Reg::LiveHumidity:
        shared.humidityRaw = view.u16(3);
        result.selection = ReadingSelection::Humidity;
        break;
    case Reg::LiveDewPoint:
        shared.dewPointRaw = view.s16(3);
        result.selection = ReadingSelection::DewPoint;
        break;
    default:
        shared.statusRaw = view.u16(3);
        result.selection = ReadingSelection::Status;
        break;
    }
    result.effect = Effect::Readings;
    return result;
}

// Register 0x0100: the address alone, or the whole identity block of ten registers.
Decoded decodeIdentity(const ReplyView &view, SharedDataClass &shared) {
    Decoded result;
    if (view.function() == Fn::Write) {
        // Echo of an address write: remember the new address, the widgets already show it.
        if (view.writeEchoHasValue()) {
            shared.slaveAddress = view.u16(4);
        }
        return result;
    }
    if (!view.readCovers(2)) {
        return result;
    }
    shared.slaveAddress = view.u16(3);
    result.effect = Effect::Address;
    if (view.byteCount() <= 2 || !view.readCovers(2 * Reg::DeviceInfoCount)) {
        // A byte count between the address and the whole block: only the address is trusted.
        return result;
    }
    shared.baudCode = view.u16(5);
    shared.firmwareVersion = view.u16(7);
    shared.deviceType = view.u16(9);
    shared.serialNumber = hexOfBytes(view, 11, 2 * Reg::SerialNumberCount);
    shared.rangeMin = view.s16(17);
    shared.rangeMax = view.s16(19);
    shared.heaterState = view.u16(21);
    result.effect = Effect::DeviceInfo;
    return result;
}

Decoded decodeBaudCode(const ReplyView &view, SharedDataClass &shared) {
    if (view.readCovers(2)) {
        shared.baudCode = view.u16(3);
    } else if (view.writeEchoHasValue()) {
        shared.baudCode = view.u16(4);
    }
    // Shown again whatever the reply carried, so an exception re-selects the stored code.
    Decoded result;
    result.effect = Effect::BaudRate;
    return result;
}

Decoded decodeSerialNumber(const ReplyView &view, SharedDataClass &shared) {
    if (view.readCovers(2 * Reg::SerialNumberCount)) {
        shared.serialNumber = hexOfBytes(view, kDataStart, 2 * Reg::SerialNumberCount);
    }
    // A block-write echo shows the number the write stored before it was sent.
    Decoded result;
    result.effect = Effect::SerialNumber;
    return result;
}

Decoded decodeHeater(const ReplyView &view) {
    Decoded result;
    if (view.writeEchoHasValue()) {
        result.effect = Effect::Heater;
        result.heaterValue = view.u16(4);
    }
    return result;
}

Decoded decodeOutputBlock(const ReplyView &view, SharedDataClass &shared) {
    Decoded result;
    if (view.dataLength() != 2 * Reg::OutputBlockCount || !view.has(kDataStart, 2 * Reg::OutputBlockCount)) {
        return result;
    }
    for (int i = 0; i < Reg::OutputBlockCount; ++i) {
        shared.outputRegisters[i] = view.u16(kDataStart + 2 * i);
    }
    shared.outputRegistersLoaded = true;
    // Only 0 to 2 name an item of the output-data box; any other value selects nothing, so a
    // stale item cannot be written back as if the device held it.
    result.effect = Effect::OutputData;
    result.outputData = ValueRules::listIndex(
        ValueRules::OutputData, shared.outputRegisters[Reg::OutputDataChannel1 - Reg::OutputBlock]);
    return result;
}

Decoded decodeClock(const ReplyView &view, SharedDataClass &shared) {
    Decoded result;
    if (!view.readCovers(2 * Reg::ClockBlockCount)) {
        return result;
    }
    quint16 *const fields[Reg::ClockBlockCount] = {
        &shared.clockYear,      &shared.clockMonth,    &shared.clockDay,     &shared.clockHour,
        &shared.clockMinute,    &shared.clockSecond,   &shared.clockWeekday, &shared.heaterStartMinutes,
        &shared.heaterInterval, &shared.heaterDuration};
    for (int i = 0; i < Reg::ClockBlockCount; ++i) {
        *fields[i] = view.u16(kDataStart + 2 * i);
    }
    result.effect = Effect::Clock;
    return result;
}

Decoded decodeCalibration(const ReplyView &view, SharedDataClass &shared) {
    // The image is written back to the device later; a short table must not leave zeros in it.
    if (view.readCovers(2 * Reg::CalibrationCount)) {
        for (int i = 0; i < Reg::CalibrationCount; ++i) {
            shared.calibration[i] = view.u16(kDataStart + 2 * i);
        }
        shared.calibrationLoaded = true;
    }
    return Decoded();
}

} // namespace

int dataLength(quint8 function, quint8 byteCount) {
    switch (function) {
    case Fn::Read:
        return byteCount;
    case Fn::Write:
    case Fn::WriteBlock:
        return 3;
    default:
        // Exception replies and unknown functions: address, code, one byte, CRC.
        return 0;
    }
}

Decoded decode(quint16 reg, const QByteArray &frame, SharedDataClass &shared) {
    const ReplyView view(frame);
    switch (reg) {
    case Reg::LiveHundredths + Reg::LiveTemperature:
    case Reg::LiveHundredths + Reg::LiveHumidity:
    case Reg::LiveHundredths + Reg::LiveDewPoint:
    case Reg::LiveHundredths + Reg::LiveStatus:
    case Reg::LiveTenths + Reg::LiveTemperature:
    case Reg::LiveTenths + Reg::LiveHumidity:
    case Reg::LiveTenths + Reg::LiveDewPoint:
    case Reg::LiveTenths + Reg::LiveStatus:
        return decodeLive(reg, view, shared);
    case Reg::SlaveAddress:
        return decodeIdentity(view, shared);
    case Reg::BaudCode:
        return decodeBaudCode(view, shared);
    case Reg::SerialNumber:
        return decodeSerialNumber(view, shared);
    case Reg::Heater:
        return decodeHeater(view);
    case Reg::OutputBlock:
        return decodeOutputBlock(view, shared);
    case Reg::ClockYear:
        return decodeClock(view, shared);
    case Reg::Calibration:
        return decodeCalibration(view, shared);
    default:
        return Decoded();
    }
}

} // namespace Rx
