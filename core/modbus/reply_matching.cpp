#include "core/modbus/reply_matching.h"

#include "core/modbus/modbus_frame.h"

namespace Rx {

namespace {

// Exception replies carry the request's function code with this bit set.
constexpr quint8 kExceptionBit = 0x80;
constexpr int kExceptionLength = 5;
constexpr int kEchoLength = 8;
// Address, function and byte count, then the CRC: a read reply is its data plus this.
constexpr int kReadOverhead = 5;
// Start bit, eight data bits, stop bit.
constexpr int kBitsPerByte = 10;
constexpr int kFallbackBaudRate = 9600;

quint8 byteAt(const QByteArray &buffer, int k) {
    return static_cast<quint8>(buffer.at(k));
}

quint16 wordAt(const QByteArray &buffer, int k) {
    return frameWordAt(buffer, k);
}

bool intactAt(const QByteArray &buffer, int offset, int length) {
    return crcIntactAt(buffer, offset, length);
}

} // namespace

Request requestOfFrame(const QByteArray &frame) {
    Request request;
    if (frame.size() < 8) {
        return request;
    }
    const quint8 function = byteAt(frame, 1);
    const quint16 first = wordAt(frame, 2);
    const quint16 second = wordAt(frame, 4);
    switch (function) {
    case Fn::Read:
        request.count = second;
        break;
    case Fn::Write:
        request.count = 1;
        break;
    case Fn::WriteBlock:
        // The second field of this family's block write is the last register written.
        if (second < first) {
            return request;
        }
        request.count = static_cast<quint16>(second - first + 1);
        break;
    default:
        return request;
    }
    request.address = byteAt(frame, 0);
    request.function = function;
    request.reg = first;
    return request;
}

int expectedReplyLength(const Request &request) {
    if (request.function == Fn::Read) {
        return kReadOverhead + 2 * request.count;
    }
    return kEchoLength;
}

int replyWindowMs(const Request &request, int requestBytes, int baudRate, int turnaroundMs) {
    const int rate = baudRate > 0 ? baudRate : kFallbackBaudRate;
    const qint64 bits = static_cast<qint64>(requestBytes + expectedReplyLength(request)) * kBitsPerByte;
    return static_cast<int>((bits * 1000 + rate - 1) / rate) + turnaroundMs;
}

int completeFrameAt(const QByteArray &buffer, int offset) {
    if (offset < 0 || buffer.size() - offset < 2) {
        return 0;
    }
    const quint8 function = byteAt(buffer, offset + 1);
    int length = kExceptionLength;
    if (function == Fn::Read) {
        if (buffer.size() - offset < 3) {
            return 0;
        }
        length = kReadOverhead + byteAt(buffer, offset + 2);
    } else if (function == Fn::Write || function == Fn::WriteBlock) {
        length = kEchoLength;
    }
    return intactAt(buffer, offset, length) ? length : 0;
}

int answerAt(const Request &request, const QByteArray &buffer, int offset) {
    if (request.function == 0 || offset < 0 || buffer.size() - offset < kExceptionLength) {
        return 0;
    }
    const quint8 address = byteAt(buffer, offset);
    if (request.address != 0 && address != request.address) {
        return 0;
    }
    const quint8 function = byteAt(buffer, offset + 1);
    int length = 0;
    if (function == (request.function | kExceptionBit)) {
        length = kExceptionLength;
    } else if (function != request.function) {
        return 0;
    } else if (function == Fn::Read) {
        // A read is answered only with the byte count it asked for.
        if (byteAt(buffer, offset + 2) != 2 * request.count) {
            return 0;
        }
        length = expectedReplyLength(request);
    } else {
        // A write is answered by the echo of its own register.
        if (buffer.size() - offset < 4 || wordAt(buffer, offset + 2) != request.reg) {
            return 0;
        }
        length = kEchoLength;
    }
    return intactAt(buffer, offset, length) ? length : 0;
}

quint16 decodeRegister(const Request &request, const QByteArray &reply) {
    if (reply.size() >= 4 && (byteAt(reply, 1) == Fn::Write || byteAt(reply, 1) == Fn::WriteBlock)) {
        return wordAt(reply, 2);
    }
    return request.reg;
}

Found findReply(const QByteArray &buffer, const QVector<Request> &pending) {
    Found found;
    for (int offset = 0; offset + kExceptionLength <= buffer.size(); ++offset) {
        for (int i = 0; i < pending.size(); ++i) {
            const int length = answerAt(pending.at(i), buffer, offset);
            if (length > 0) {
                found.kind = Found::Kind::Answer;
                found.offset = offset;
                found.length = length;
                found.request = i;
                return found;
            }
        }
        if (offset == 0) {
            // A late or foreign reply at the start is taken off the line, but answers nothing.
            const int length = completeFrameAt(buffer, 0);
            if (length > 0) {
                found.kind = Found::Kind::Unanswered;
                found.length = length;
                return found;
            }
        }
    }
    return found;
}

bool isFlood(const QByteArray &buffer) {
    if (buffer.size() < MaxBuffer) {
        return false;
    }
    int flood = 0;
    for (char c : buffer) {
        if (c == '\x00' || c == '\xff') {
            ++flood;
        }
    }
    return flood >= FaultyAdapterCount;
}

int appendCapped(QByteArray &buffer, const QByteArray &bytes) {
    const int room = qMax(0, MaxBuffer - buffer.size());
    const int kept = qMin(room, bytes.size());
    buffer.append(bytes.constData(), kept);
    return bytes.size() - kept;
}

void PendingRequests::add(const Request &request, qint64 nowMs, int windowMs) {
    Request entry = request;
    entry.deadlineMs = nowMs + windowMs;
    requests.append(entry);
    while (requests.size() > MaxPending) {
        requests.removeFirst();
    }
}

void PendingRequests::expire(qint64 nowMs) {
    for (int i = requests.size() - 1; i >= 0; --i) {
        if (requests.at(i).deadlineMs < nowMs) {
            requests.remove(i);
        }
    }
}

Request PendingRequests::take(int index) {
    if (index < 0 || index >= requests.size()) {
        return Request();
    }
    const Request answered = requests.at(index);
    requests.remove(0, index + 1);
    return answered;
}

void PendingRequests::clear() {
    requests.clear();
}

} // namespace Rx
