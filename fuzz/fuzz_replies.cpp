// Fuzz target over the reply handling without a window: the examination of a receive buffer and
// the decoding of a reply under any register. Input: two bytes of the register the latest
// request named (high byte first), then the receive buffer as it came off the line.
#include "app/shared_data.h"
#include "device/reply_parser.h"
#include "link/modbus_frame.h"

#include <QByteArray>

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

// Properties every examination must have, whatever the bytes.
void checkExamination(const QByteArray &buffer, const Rx::Examination &exam) {
    const int size = buffer.size();
    require((exam.verdict == Rx::Verdict::Overflow) == (size > Rx::MaxBuffer));
    if (exam.verdict == Rx::Verdict::Overflow) {
        return;
    }
    int flood = 0;
    for (char c : buffer) {
        flood += (c == '\x00' || c == '\xff') ? 1 : 0;
    }
    require((exam.verdict == Rx::Verdict::FaultyAdapter) == (flood >= Rx::FaultyAdapterCount));
    if (exam.verdict == Rx::Verdict::FaultyAdapter) {
        return;
    }
    const quint8 function = size > 1 ? static_cast<quint8>(buffer[1]) : 0;
    const quint8 count = size > 2 ? static_cast<quint8>(buffer[2]) : 0;
    require(exam.dataLength == Rx::dataLength(function, count));
    require(exam.dataLength >= 0 && exam.dataLength <= 255);
    if (exam.verdict == Rx::Verdict::Accepted) {
        // Never more than one reply, and only with the CRC the frame carries.
        require(exam.crcChecked);
        require(size <= exam.dataLength + 5);
        require(exam.received == exam.computed);
        if (size == exam.dataLength + 5) {
            QByteArray body = buffer.left(exam.dataLength + 3);
            appendCrc(body);
            require(body == buffer);
        }
    }
    if (!exam.crcChecked) {
        require(size > exam.dataLength + 5);
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
    if (size < 2) {
        return 0;
    }
    const quint16 lastRegister = static_cast<quint16>((data[0] << 8) | data[1]);
    // No copy: the buffer ends exactly where the fuzzer's allocation ends, so a read past the
    // reply is reported by AddressSanitizer.
    const QByteArray buffer =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data + 2), static_cast<int>(size - 2));

    const Rx::Examination exam = Rx::examine(buffer);
    checkExamination(buffer, exam);

    // Decoded whatever the verdict: the decoding must stay inside any frame it is handed.
    SharedDataClass shared;
    const Rx::Decoded decoded = Rx::decode(lastRegister, buffer, shared);
    checkDecoded(shared, decoded, buffer.size());
    return 0;
}
