#ifndef ZR_TESTS_SUPPORT_FRAMES_H
#define ZR_TESTS_SUPPORT_FRAMES_H

#include <QByteArray>
#include <QVector>
#include <QtGlobal>

// Frames for tests, the benchmark and the fuzz seeds, built from the core's frame rules.

// Bytes from a spaced hex text such as "01 03 01 00".
QByteArray hexBytes(const char *spaced);
// `body` with its CRC appended, low byte first.
QByteArray withCrc(const QByteArray &body);
// A function 0x03 reply from `address` carrying `words`, with its byte count and CRC.
QByteArray readReplyFrame(const QVector<quint16> &words, quint8 address = 1);

#endif
