#ifndef ZR_CORE_DEVICE_REPLY_PARSER_H
#define ZR_CORE_DEVICE_REPLY_PARSER_H

#include <QByteArray>
#include <QtGlobal>

class SharedDataClass;

// Which copy of the live measurement block a reply came from.
enum class ReadingBlock { Hundredths, Tenths };
// Which live value a reply carries.
enum class ReadingSelection { All, Temperature, Humidity, DewPoint, Status };

namespace Rx {

// Data length L a reply with function code `function` carries (0x03 needs its byte count).
int dataLength(quint8 function, quint8 byteCount);

// What the window has to show after a reply was decoded.
enum class Effect {
    None,
    Readings,     // block and selection say which labels
    Address,      // lineEditAddress from slaveAddress
    DeviceInfo,   // the whole device-information display
    BaudRate,     // comboBoxBaudRate from baudCode
    SerialNumber, // lineEditSN from serialNumber
    Heater,       // heater buttons from heaterValue
    OutputData,   // comboBoxOutputData from outputData
    Clock         // clock row from the clock fields
};

struct Decoded {
    Effect effect = Effect::None;
    ReadingBlock block = ReadingBlock::Hundredths;
    ReadingSelection selection = ReadingSelection::All;
    quint16 heaterValue = 0;
    int outputData = -1; // index for comboBoxOutputData, -1 when the value is not a valid item
};

// Decodes an accepted reply into `shared` by the register of the request it answers.
// Reads a field only when the reply's byte count covers it; never reads past the frame.
Decoded decode(quint16 reg, const QByteArray &frame, SharedDataClass &shared);

} // namespace Rx

#endif
