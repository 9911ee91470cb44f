#include "core/device/settings_frames.h"

#include "core/device/register_map.h"
#include "core/device/value_rules.h"
#include "core/modbus/modbus_frame.h"

namespace Settings {

QVector<quint16> serialNumberWords(const QString &text) {
    QVector<quint16> words;
    for (int reg = 0; reg < Reg::SerialNumberCount; ++reg) {
        quint16 word = 0;
        for (int half = 0; half < 2; ++half) {
            bool ok = false;
            const int parsed = text.mid(4 * reg + 2 * half, 2).toInt(&ok, 16);
            const quint8 byte = ok ? static_cast<quint8>(parsed & 0xFF) : 0;
            word = static_cast<quint16>((word << 8) | byte);
        }
        words.append(word);
    }
    return words;
}

quint16 outputDataRegister(int channel) {
    return channel == 2 ? Reg::OutputDataChannel2 : Reg::OutputDataChannel1;
}

QByteArray addressFrame(quint8 target, quint16 newAddress) {
    return buildWriteRequest(target, Reg::SlaveAddress, newAddress);
}

QByteArray baudCodeFrame(quint8 address, quint16 code) {
    return buildWriteRequest(address, Reg::BaudCode, code);
}

QByteArray serialNumberFrame(quint8 address, const QString &text) {
    return buildBlockWriteRequest(address, Reg::SerialNumber, serialNumberWords(text));
}

QByteArray rangeFrame(quint8 address, qint16 minTenths, qint16 maxTenths) {
    return buildBlockWriteRequest(address, Reg::RangeMin,
                                  {static_cast<quint16>(minTenths), static_cast<quint16>(maxTenths)});
}

QByteArray outputDataFrame(quint8 address, int channel, quint16 code) {
    return buildWriteRequest(address, outputDataRegister(channel), code);
}

QByteArray heaterFrame(quint8 address, bool on) {
    return buildWriteRequest(address, Reg::Heater, on ? 1 : 0);
}

QByteArray clockFrame(quint8 address, const QDate &date, const QTime &time) {
    return buildBlockWriteRequest(address, Reg::ClockYear, ValueRules::deviceClockWords(date, time));
}

QByteArray scheduleFrame(quint8 address, const QTime &start, quint16 intervalHours, quint16 heatingSeconds) {
    const auto startMinutes = static_cast<quint16>(start.hour() * 60 + start.minute());
    return buildBlockWriteRequest(address, Reg::HeaterStartMinutes,
                                  {startMinutes, intervalHours, heatingSeconds});
}

} // namespace Settings
