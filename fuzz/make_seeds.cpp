// Writes the seed corpus of the reply fuzz target: one file per valid reply kind of the register
// map, each prefixed with one waiting request: the read or write that reply answers.
#include "core/modbus/modbus_frame.h"
#include "tests/support/frames.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QVector>

#include <cstdio>

namespace {

QByteArray readReply(const QVector<quint16> &words) {
    return readReplyFrame(words);
}

QByteArray echo(quint8 function, quint16 first, quint16 second) {
    QByteArray body;
    body.append('\x01');
    body.append(static_cast<char>(function));
    body.append(static_cast<char>(first >> 8));
    body.append(static_cast<char>(first & 0xFF));
    body.append(static_cast<char>(second >> 8));
    body.append(static_cast<char>(second & 0xFF));
    return withCrc(body);
}

// The request a reply answers: a read of as many registers as it carries, or the write it echoes.
QByteArray requestFor(quint16 reg, const QByteArray &reply) {
    const quint8 function = static_cast<quint8>(reply.size() > 1 ? reply.at(1) : 0);
    if (function == 0x06 || function == 0x86) {
        return buildWriteRequest(0, reg, 1);
    }
    if (function == 0x10) {
        return buildBlockWriteRequest(0, reg, QVector<quint16>(3, 0)).left(8);
    }
    const quint16 count = function == 0x03 ? static_cast<quint8>(reply.at(2)) / 2 : 1;
    return buildReadRequest(0, reg, count);
}

bool write(const QDir &dir, const char *name, quint16 reg, const QByteArray &reply) {
    QByteArray input;
    input.append('\x01');
    input.append(requestFor(reg, reply));
    input.append(reply);
    QFile file(dir.filePath(QString::fromLatin1(name)));
    return file.open(QIODevice::WriteOnly) && file.write(input) == input.size();
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <seed directory>\n", argv[0]);
        return 2;
    }
    QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral("."))) {
        return 1;
    }
    QVector<quint16> output(17, 0);
    output[1] = 1;
    QVector<quint16> calibration(45);
    for (int i = 0; i < calibration.size(); ++i) {
        calibration[i] = static_cast<quint16>(1000 + i);
    }
    const QByteArray exception = withCrc(QByteArray::fromHex("018302"));
    bool ok = true;
    ok &= write(dir, "live_hundredths_all", 0x0000, readReply({2000, 5000, 1000, 0}));
    ok &= write(dir, "live_hundredths_temperature", 0x0000, readReply({0xFE70}));
    ok &= write(dir, "live_hundredths_humidity", 0x0001, readReply({5000}));
    ok &= write(dir, "live_hundredths_dewpoint", 0x0002, readReply({1000}));
    ok &= write(dir, "live_hundredths_status", 0x0003, readReply({0}));
    ok &= write(dir, "live_tenths_all", 0x0004, readReply({200, 500, 100, 0}));
    ok &= write(dir, "live_tenths_temperature", 0x0004, readReply({250}));
    ok &= write(dir, "live_tenths_humidity", 0x0005, readReply({555}));
    ok &= write(dir, "live_tenths_dewpoint", 0x0006, readReply({0xFF9C}));
    ok &= write(dir, "live_tenths_status", 0x0007, readReply({2}));
    ok &= write(dir, "address_read", 0x0100, readReply({1}));
    ok &= write(dir, "address_write_echo", 0x0100, echo(0x06, 0x0100, 42));
    ok &= write(dir, "device_info", 0x0100,
                readReply({1, 4, 105, 3, 0x2612, 0x0804, 0x1533, 0xFE70, 0x0320, 0}));
    ok &= write(dir, "baud_write_echo", 0x0101, echo(0x06, 0x0101, 5));
    ok &= write(dir, "baud_exception", 0x0101, withCrc(QByteArray::fromHex("018602")));
    ok &= write(dir, "serial_read", 0x0104, readReply({0x2612, 0x0804, 0x1533}));
    ok &= write(dir, "serial_block_write_echo", 0x0104, echo(0x10, 0x0104, 0x0106));
    ok &= write(dir, "range_block_write_echo", 0x0107, echo(0x10, 0x0107, 0x0108));
    ok &= write(dir, "heater_on_echo", 0x0109, echo(0x06, 0x0109, 1));
    ok &= write(dir, "heater_off_echo", 0x0109, echo(0x06, 0x0109, 0));
    ok &= write(dir, "output_block", 0x010A, readReply(output));
    ok &= write(dir, "output_data_echo", 0x010B, echo(0x06, 0x010B, 2));
    ok &= write(dir, "clock", 0x0120, readReply({2025, 10, 16, 19, 4, 26, 4, 90, 6, 120}));
    ok &= write(dir, "clock_block_write_echo", 0x0120, echo(0x10, 0x0120, 0x0126));
    ok &= write(dir, "calibration", 0x0200, readReply(calibration));
    ok &= write(dir, "calibration_clear_echo", 0x0200, echo(0x06, 0x0200, 0));
    ok &= write(dir, "exception", 0x0100, exception);
    ok &= write(dir, "flood_zero", 0x0000, QByteArray(1024, '\x00'));
    ok &= write(dir, "stray_byte_behind", 0x0100, exception + QByteArray(1, '\x00'));
    ok &= write(dir, "stray_byte_before", 0x0100, QByteArray(1, '\xff') + exception);
    return ok ? 0 : 1;
}
