#include "core/modbus/mbap_frame.h"

#include "core/modbus/modbus_frame.h"

namespace Mbap {

namespace {

constexpr quint8 kExceptionBit = 0x80;
constexpr int kUnitAt = 6;
constexpr int kFunctionAt = 7;

quint16 wordAt(const QByteArray &bytes, int offset) {
    return static_cast<quint16>((static_cast<quint8>(bytes.at(offset)) << 8) |
                                static_cast<quint8>(bytes.at(offset + 1)));
}

void appendWord(QByteArray &bytes, quint16 word) {
    bytes.append(static_cast<char>(word >> 8));
    bytes.append(static_cast<char>(word & 0xFF));
}

} // namespace

QByteArray wrap(const QByteArray &rtu, quint16 tid) {
    // Address, function, CRC: anything shorter carries no PDU.
    if (rtu.size() < 4) {
        return QByteArray();
    }
    const QByteArray unitAndPdu = rtu.left(rtu.size() - 2);
    QByteArray adu;
    adu.reserve(HeaderLength - 1 + unitAndPdu.size());
    appendWord(adu, tid);
    appendWord(adu, 0);
    appendWord(adu, static_cast<quint16>(unitAndPdu.size()));
    adu.append(unitAndPdu);
    return adu;
}

QByteArray unwrap(const QByteArray &adu) {
    QByteArray rtu = adu.mid(kUnitAt);
    appendCrc(rtu);
    return rtu;
}

int frameLength(const QByteArray &buffer) {
    if (buffer.size() < HeaderLength - 1) {
        return 0;
    }
    const int length = wordAt(buffer, 4);
    // A unit id and at least a function code.
    if (wordAt(buffer, 2) != 0 || length < 2 || length > MaxLength) {
        return -1;
    }
    const int total = HeaderLength - 1 + length;
    return buffer.size() >= total ? total : 0;
}

quint16 transactionId(const QByteArray &adu) {
    return adu.size() >= 2 ? wordAt(adu, 0) : 0;
}

bool answers(const QByteArray &adu, const QByteArray &request, bool anyId) {
    if (adu.size() <= kFunctionAt || request.size() <= kFunctionAt) {
        return false;
    }
    const quint8 function = static_cast<quint8>(adu.at(kFunctionAt)) & static_cast<quint8>(~kExceptionBit);
    return (anyId || transactionId(adu) == transactionId(request)) &&
           (adu.at(kUnitAt) == request.at(kUnitAt) || request.at(kUnitAt) == 0) &&
           function == static_cast<quint8>(request.at(kFunctionAt));
}

} // namespace Mbap
