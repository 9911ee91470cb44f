#include "core/modbus/modbus_frame.h"

quint16 crc16Modbus(const quint8 *data, quint16 length) {
    quint16 crc = 0xFFFF;
    for (quint16 i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            if (crc & 0x0001) {
                crc = static_cast<quint16>((crc >> 1) ^ 0xA001);
            } else {
                crc = static_cast<quint16>(crc >> 1);
            }
        }
    }
    return static_cast<quint16>((crc << 8) | (crc >> 8));
}

quint16 slaveAddressFromText(const QString &text) {
    bool ok = false;
    const int parsed = text.toInt(&ok, 10);
    const quint16 address = ok ? static_cast<quint16>(static_cast<unsigned int>(parsed) & 0xFFFF) : 0;
    return (address >= 1 && address <= 247) ? address : 0;
}

namespace {
void appendWord(QByteArray &frame, quint16 word) {
    frame.append(static_cast<char>(word >> 8));
    frame.append(static_cast<char>(word & 0xFF));
}

QByteArray buildEightByte(quint8 address, quint8 function, quint16 first, quint16 second) {
    QByteArray frame;
    frame.reserve(8);
    frame.append(static_cast<char>(address));
    frame.append(static_cast<char>(function));
    appendWord(frame, first);
    appendWord(frame, second);
    appendCrc(frame);
    return frame;
}
} // namespace

void appendCrc(QByteArray &frame) {
    const quint16 crc =
        crc16Modbus(reinterpret_cast<const quint8 *>(frame.constData()), static_cast<quint16>(frame.size()));
    appendWord(frame, crc);
}

QByteArray buildReadRequest(quint8 address, quint16 start, quint16 count) {
    return buildEightByte(address, 0x03, start, count);
}

QByteArray buildWriteRequest(quint8 address, quint16 reg, quint16 value) {
    return buildEightByte(address, 0x06, reg, value);
}

QByteArray buildBlockWriteRequest(quint8 address, quint16 start, const QVector<quint16> &values) {
    QByteArray frame;
    frame.reserve(9 + 2 * values.size());
    frame.append(static_cast<char>(address));
    frame.append(static_cast<char>(0x10));
    appendWord(frame, start);
    appendWord(frame, static_cast<quint16>(start + values.size() - 1));
    frame.append(static_cast<char>(2 * values.size()));
    for (quint16 value : values) {
        appendWord(frame, value);
    }
    appendCrc(frame);
    return frame;
}

quint16 frameWordAt(const QByteArray &frame, int offset) {
    return static_cast<quint16>((static_cast<quint8>(frame.at(offset)) << 8) |
                                static_cast<quint8>(frame.at(offset + 1)));
}

bool crcIntactAt(const QByteArray &bytes, int offset, int length) {
    if (length < 3 || offset < 0 || offset + length > bytes.size()) {
        return false;
    }
    const auto *data = reinterpret_cast<const quint8 *>(bytes.constData()) + offset;
    return frameWordAt(bytes, offset + length - 2) == crc16Modbus(data, static_cast<quint16>(length - 2));
}

bool crcIntact(const QByteArray &frame) {
    return frame.size() >= 4 && crcIntactAt(frame, 0, frame.size());
}

QString frameToHex(const QByteArray &frame) {
    return QString::fromLatin1(frame.toHex());
}
