#ifndef ZR_CORE_MODBUS_EXCHANGE_H
#define ZR_CORE_MODBUS_EXCHANGE_H

#include <QByteArray>
#include <QtGlobal>

#include <functional>

class QSerialPort;

// One request and its reply over an open serial port, for callers that wait for the answer
// (the command-line front end): the same finding and matching rules as the window, with the
// reply window of the line rate as time-out. Waits in a local event loop, so other objects of
// the thread (a simulated transmitter in a test) go on working meanwhile.
class Exchange {
public:
    enum class Outcome {
        Answer,    // the reply to the request
        Exception, // the device refused the request with an exception reply
        Timeout,   // no reply within the time-out
        Flood,     // the line is flooded with 0x00 / 0xFF: a faulty adapter
        PortError  // the port failed (unplugged, closed)
    };
    struct Result {
        Outcome outcome = Outcome::Timeout;
        QByteArray reply; // the reply frame, for Answer and Exception
        quint8 exceptionCode = 0;
        qint64 elapsedMs = 0;
        // Bytes received that answered nothing (garbage, another function, a wrong CRC): a
        // time-out with some is not a silent line.
        int unmatchedBytes = 0;
    };

    explicit Exchange(QSerialPort &port);

    // Sends `request` and waits for its reply; a `timeoutMs` of 0 takes the reply window of
    // the port's present rate.
    Result transact(const QByteArray &request, int timeoutMs = 0);

    // Told every frame sent (tx true) and every byte received (a reply, a frame answering
    // nothing, stray bytes in front of a reply), in the order they went and came.
    std::function<void(const QByteArray &bytes, bool tx)> trace;

private:
    QSerialPort &port;
};

#endif
