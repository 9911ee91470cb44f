#ifndef ZR_CORE_DEVICE_REGISTER_MAP_H
#define ZR_CORE_DEVICE_REGISTER_MAP_H

#include <QtGlobal>

// Holding registers of the transmitter family. Every register is 16 bits, high byte first.
namespace Reg {

// Live measurement block, hundredths copy (s16 temperature, u16 humidity, s16 dew point, u16 status).
constexpr quint16 LiveHundredths = 0x0000;
// The same block in tenths.
constexpr quint16 LiveTenths = 0x0004;
constexpr quint16 LiveBlockCount = 4;
// Offsets of the four values inside either live block.
constexpr quint16 LiveTemperature = 0;
constexpr quint16 LiveHumidity = 1;
constexpr quint16 LiveDewPoint = 2;
constexpr quint16 LiveStatus = 3;

// Command register written by the unit operation.
constexpr quint16 UnitCommand = 0x0008;

// Identity and communication block, read whole with DeviceInfoCount registers.
constexpr quint16 SlaveAddress = 0x0100;
constexpr quint16 BaudCode = 0x0101;
constexpr quint16 FirmwareVersion = 0x0102;
constexpr quint16 DeviceType = 0x0103;
constexpr quint16 SerialNumber = 0x0104; // three registers, six bytes
constexpr quint16 SerialNumberCount = 3;
constexpr quint16 RangeMin = 0x0107; // s16 tenths of a degree, 4 mA / 0 V end
constexpr quint16 RangeMax = 0x0108; // s16 tenths of a degree, 20 mA / 5 V / 10 V end
constexpr quint16 Heater = 0x0109;   // 1 on, 0 off; any non-zero reads as on
constexpr quint16 DeviceInfoCount = 10;

// Output configuration block, kept as an image and written back from 0x0110.
constexpr quint16 OutputBlock = 0x010A;
constexpr quint16 OutputBlockCount = 17;
constexpr quint16 OutputDataChannel1 = 0x010B;
constexpr quint16 OutputApply = 0x0110;
constexpr quint16 OutputBlockLast = 0x011A;
constexpr quint16 OutputDataChannel2 = 0x012B;

// Device clock and heating schedule (ZR200Pro from firmware 105).
constexpr quint16 ClockYear = 0x0120;
constexpr quint16 ClockMonth = 0x0121;
constexpr quint16 ClockDay = 0x0122;
constexpr quint16 ClockHour = 0x0123;
constexpr quint16 ClockMinute = 0x0124;
constexpr quint16 ClockSecond = 0x0125;
constexpr quint16 ClockWeekday = 0x0126; // 1 Monday .. 7 Sunday
constexpr quint16 HeaterStartMinutes = 0x0127;
constexpr quint16 HeaterInterval = 0x0128; // hours, 1..24
constexpr quint16 HeaterDuration = 0x0129; // seconds, 0..480
constexpr quint16 ClockBlockCount = 10;
constexpr quint16 ClockFirmwareMinimum = 105;
constexpr quint16 ClockDeviceType = 3;

// Calibration table, kept as an image and written back from 0x0204.
constexpr quint16 Calibration = 0x0200;
constexpr quint16 CalibrationCount = 45;
constexpr quint16 ResClear = 0x0200;
constexpr quint16 CapClear = 0x0202;
constexpr quint16 CalibrationApply = 0x0204; // also the reset command
constexpr quint16 CalibrationLast = 0x022C;

} // namespace Reg

#endif
