#ifndef ZR_CORE_MODBUS_MODBUS_FRAME_H
#define ZR_CORE_MODBUS_MODBUS_FRAME_H

#include <QByteArray>
#include <QString>
#include <QVector>
#include <QtGlobal>

// Function codes used on the line.
namespace Fn {
constexpr quint8 Read = 0x03;
constexpr quint8 Write = 0x06;
constexpr quint8 WriteBlock = 0x10;
} // namespace Fn

// CRC-16/MODBUS of `length` bytes, returned with its two bytes exchanged: stored high byte first it
// puts the CRC's low byte first on the wire. A length of 0 gives 0xFFFF.
quint16 crc16Modbus(const quint8 *data, quint16 length);

// Slave address typed by the user: decimal text, low 16 bits, 1..247; anything else gives 0.
quint16 slaveAddressFromText(const QString &text);

// Function 0x03 request: address, 0x03, start, count, CRC (8 bytes).
QByteArray buildReadRequest(quint8 address, quint16 start, quint16 count);
// Function 0x06 request: address, 0x06, register, value, CRC (8 bytes).
QByteArray buildWriteRequest(quint8 address, quint16 reg, quint16 value);
// Function 0x10 request of this family: the field after the start register is the last register
// written (start + N - 1), then the byte count 2N, the values and the CRC (9 + 2N bytes).
QByteArray buildBlockWriteRequest(quint8 address, quint16 start, const QVector<quint16> &values);

// 16-bit field at byte `offset` of a frame, high byte first; the caller makes sure both bytes are there.
quint16 frameWordAt(const QByteArray &frame, int offset);
// The `length` bytes at `offset` are all there and end in the CRC of the bytes before it.
bool crcIntactAt(const QByteArray &bytes, int offset, int length);
// A whole frame (at least four bytes) that ends in its CRC.
bool crcIntact(const QByteArray &frame);

// Appends the CRC of everything in `frame`, low byte first.
void appendCrc(QByteArray &frame);
// Frame as two lowercase hexadecimal digits a byte, no separators (the TX and RX log text).
QString frameToHex(const QByteArray &frame);

#endif
