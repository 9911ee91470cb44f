#include "tests/support/frames.h"

#include "core/modbus/modbus_frame.h"

QByteArray hexBytes(const char *spaced) {
    return QByteArray::fromHex(QByteArray(spaced).replace(' ', ""));
}

QByteArray withCrc(const QByteArray &body) {
    QByteArray frame = body;
    appendCrc(frame);
    return frame;
}

QByteArray readReplyFrame(const QVector<quint16> &words, quint8 address) {
    QByteArray frame;
    frame.append(static_cast<char>(address));
    frame.append(static_cast<char>(0x03));
    frame.append(static_cast<char>(2 * words.size()));
    for (quint16 word : words) {
        frame.append(static_cast<char>(word >> 8));
        frame.append(static_cast<char>(word & 0xFF));
    }
    appendCrc(frame);
    return frame;
}
