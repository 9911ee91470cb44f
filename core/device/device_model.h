#ifndef ZR_CORE_DEVICE_DEVICE_MODEL_H
#define ZR_CORE_DEVICE_DEVICE_MODEL_H

#include <QString>
#include <QtGlobal>

// What the transmitter family's type codes, firmware numbers and baud-rate codes mean.
namespace Model {

// Type codes 0..5 name the models in this order.
constexpr int Count = 6;
// Model name of a type code (the English text, also the translation source); empty for an
// unknown code.
QString name(quint16 type);
// The source texts of the six names, for the translation tables.
const char *nameSource(int type);

// Only the ZR200Pro from firmware 105 on has a clock and a heating schedule.
bool hasClock(quint16 type, quint16 firmware);
// Output channels: the ZR100 has one, every other model two.
int channelCount(quint16 type);
// Firmware number as shown, the three lowest decimal digits: 105 is "V1.0.5".
QString firmwareText(quint16 firmware);

// Baud-rate codes 1..6 of register 0x0101: 1200, 2400, 4800, 9600, 19200, 115200. 0 for any
// other code or rate.
int baudRateForCode(quint16 code);
quint16 codeForBaudRate(int rate);

} // namespace Model

#endif
