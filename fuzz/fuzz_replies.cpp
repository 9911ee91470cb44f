// Fuzz target over the reply handling without a window: finding replies in a receive buffer,
// matching them to the requests waiting for them, and decoding each one. Input: one byte with the
// number of waiting requests (0 to 3), that many eight-byte request headers as the tool puts them
// on the line (address, function, two 16-bit fields; the CRC bytes are not read), then the
// receive buffer as it came off the line.
#include "core/device/reply_parser.h"
#include "core/device/shared_data.h"
#include "core/modbus/modbus_frame.h"
#include "core/modbus/reply_matching.h"

#include <QByteArray>
#include <QVector>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool isLowerHex(const QString &text) {
    for (QChar c : text) {
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
              (c >= QLatin1Char('a') && c <= QLatin1Char('f')))) {
            return false;
        }
    }
    return true;
}

// Properties every found reply must have, whatever the bytes.
void checkFound(const QByteArray &buffer, const QVector<Rx::Request> &pending, const Rx::Found &found) {
    if (found.kind == Rx::Found::Kind::None) {
        require(found.request == -1);
        return;
    }
    require(found.offset >= 0 && found.length >= 5 && found.offset + found.length <= buffer.size());
    // Never a frame without the CRC it carries.
    const QByteArray frame = buffer.mid(found.offset, found.length);
    QByteArray body = frame.left(frame.size() - 2);
    appendCrc(body);
    require(body == frame);
    if (found.kind == Rx::Found::Kind::Unanswered) {
        require(found.offset == 0 && found.request == -1);
        require(Rx::completeFrameAt(buffer, 0) == found.length);
        return;
    }
    require(found.request >= 0 && found.request < pending.size());
    require(Rx::answerAt(pending.at(found.request), buffer, found.offset) == found.length);
    // The earliest answer: nothing before it answers any waiting request.
    for (int offset = 0; offset < found.offset; ++offset) {
        for (const Rx::Request &request : pending) {
            require(Rx::answerAt(request, buffer, offset) == 0);
        }
    }
}

void checkDecoded(const SharedDataClass &shared, const Rx::Decoded &decoded, int size) {
    if (decoded.effect == Rx::Effect::OutputData) {
        require(decoded.outputData >= -1 && decoded.outputData <= 2);
    }
    require(shared.serialNumber.isEmpty() ||
            (shared.serialNumber.size() == 12 && isLowerHex(shared.serialNumber)));
    // The images are only taken from replies that carry all of them.
    require(!shared.calibrationLoaded || size >= 3 + 90);
    require(!shared.outputRegistersLoaded || size >= 3 + 34);
    if (decoded.effect == Rx::Effect::DeviceInfo || decoded.effect == Rx::Effect::Clock) {
        require(size >= 3 + 20);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const size_t count = data[0] % 4;
    if (size < 1 + 8 * count) {
        return 0;
    }
    QVector<Rx::Request> pending;
    for (size_t i = 0; i < count; ++i) {
        const QByteArray header(reinterpret_cast<const char *>(data + 1 + 8 * i), 8);
        pending.append(Rx::requestOfFrame(header));
    }
    const size_t start = 1 + 8 * count;
    // No copy: the buffer ends exactly where the fuzzer's allocation ends, so a read past the
    // reply is reported by AddressSanitizer.
    const QByteArray buffer =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data + start), static_cast<int>(size - start));

    QByteArray capped;
    Rx::appendCapped(capped, buffer);
    require(capped.size() <= Rx::MaxBuffer);
    require(!Rx::isFlood(buffer) || buffer.size() >= Rx::MaxBuffer);

    const Rx::Found found = Rx::findReply(buffer, pending);
    checkFound(buffer, pending, found);

    // Decoded under each waiting request and over the whole buffer: the decoding must stay
    // inside any frame it is handed.
    for (const Rx::Request &request : pending) {
        SharedDataClass shared;
        const Rx::Decoded decoded = Rx::decode(Rx::decodeRegister(request, buffer), buffer, shared);
        checkDecoded(shared, decoded, buffer.size());
    }
    if (found.kind == Rx::Found::Kind::Answer) {
        const QByteArray frame = QByteArray::fromRawData(buffer.constData() + found.offset, found.length);
        SharedDataClass shared;
        const Rx::Decoded decoded =
            Rx::decode(Rx::decodeRegister(pending.at(found.request), frame), frame, shared);
        checkDecoded(shared, decoded, frame.size());
    }
    return 0;
}
