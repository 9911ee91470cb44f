#ifndef ZR_CORE_MODBUS_LINE_REPLY_H
#define ZR_CORE_MODBUS_LINE_REPLY_H

#include <QByteArray>
#include <QObject>
#include <QtGlobal>

// The outcome of one request sent on a ModbusLine, as QModbusReply is for QModbusClient: it
// emits finished() once, and the caller owns it (deleteLater() from the slot is the usual way).
class LineReply : public QObject {
    Q_OBJECT

public:
    enum class Outcome {
        Waiting,   // not finished yet
        Answer,    // the reply to the request: frame()
        Exception, // the device refused the request: frame() and exceptionCode()
        NoReply,   // the reply window passed without one
        Flood,     // the line was flooded with 0x00 / 0xFF (a faulty adapter) and closed
        PortLost,  // the port failed, or was not open, before a reply came
        Closed     // the line was closed or reopened by its owner before a reply came
    };
    Q_ENUM(Outcome)

    explicit LineReply(const QByteArray &request, bool fromUser, QObject *parent = nullptr);

    Outcome outcome() const { return result; }
    bool isFinished() const { return result != Outcome::Waiting; }
    // The request as it was (or was to be) written.
    QByteArray request() const { return sent; }
    // false for the live poll.
    bool fromUser() const { return user; }
    // The reply frame of an answer or an exception.
    QByteArray frame() const { return reply; }
    quint8 exceptionCode() const;
    // Bytes that came while the request waited and answered nothing (noise, another function, a
    // wrong CRC): a NoReply with some is not a silent line.
    int unmatchedBytes() const { return unmatched; }

signals:
    void finished();

private:
    friend class ModbusLine;
    // Records the outcome and emits finished(); later calls change nothing.
    void finish(Outcome outcome, const QByteArray &replyFrame = QByteArray());
    // The same, with finished() emitted from the event loop, for a reply that ends before the
    // caller has had it in hand.
    void finishLater(Outcome outcome);

    QByteArray sent;
    bool user = true;
    QByteArray reply;
    Outcome result = Outcome::Waiting;
    int unmatched = 0;
};

#endif
