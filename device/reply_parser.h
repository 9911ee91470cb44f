#ifndef ZR_DEVICE_REPLY_PARSER_H
#define ZR_DEVICE_REPLY_PARSER_H

#include <QByteArray>
#include <QtGlobal>

class SharedDataClass;

// Which copy of the live measurement block a reply came from.
enum class ReadingBlock { Hundredths, Tenths };
// Which live value a reply carries.
enum class ReadingSelection { All, Temperature, Humidity, DewPoint, Status };

namespace Rx {

// Receive buffer cap: more bytes than this are dropped unread.
constexpr int MaxBuffer = 1024;
// A buffer this full of 0x00 or 0xFF bytes comes from a faulty adapter.
constexpr int FaultyAdapterCount = 1023;

enum class Verdict {
    Overflow,      // more than MaxBuffer bytes: drop the buffer
    FaultyAdapter, // the line is flooded with 0x00 / 0xFF: close the port
    Pending,       // not (yet) one intact reply: keep the bytes
    Accepted       // one complete reply with a correct CRC
};

struct Examination {
    Verdict verdict = Verdict::Pending;
    int dataLength = 0;      // L: byte count of a 0x03 reply, 3 for 0x06 / 0x10, 0 otherwise
    quint16 received = 0;    // CRC as received, the two bytes after the data, big-endian
    quint16 computed = 0;    // crc16Modbus of the first L + 3 bytes
    bool crcChecked = false; // the length fitted one reply, so the CRC was compared
};

// Data length L a reply with function code `function` carries (0x03 needs its byte count).
int dataLength(quint8 function, quint8 byteCount);

// Decides whether `buffer` holds exactly one intact reply, looked for at its start.
Examination examine(const QByteArray &buffer);

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

// Decodes an accepted reply by the start register of the latest request into `shared`.
// Reads a field only when the reply's byte count covers it; never reads past the frame.
Decoded decode(quint16 lastRegister, const QByteArray &frame, SharedDataClass &shared);

} // namespace Rx

#endif
