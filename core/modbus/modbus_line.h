#ifndef ZR_CORE_MODBUS_MODBUS_LINE_H
#define ZR_CORE_MODBUS_MODBUS_LINE_H

#include "core/base/line_clock.h"
#include "core/modbus/line_reply.h"
#include "core/modbus/reply_matching.h"
#include "core/modbus/request_queue.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <bitset>
#include <deque>

class LinePort;
class LineWatch;
class QIODevice;

// The times of the line, in one place.
struct LineTimes {
    // What a transmitter may take to start answering, on top of both frames' time on the wire.
    int turnaroundMs = Rx::TurnaroundMs;
    // Silence after which bytes that complete no reply are dropped.
    int receptionGapMs = Rx::ReceptionGapMs;
    // A lost port is looked for first after watchFirstMs, then after delays doubling up to
    // watchMaxMs; equal values look once a period.
    int watchFirstMs = 1000;
    int watchMaxMs = 1000;
    // Over TCP, the margin on top of the line time at the serial server's rate, in place of the
    // turnaround: network, server and device together.
    int networkTimeoutMs = 1000;
    // The silence kept between a reply (or a window that passed) and the next request, for serial
    // servers that need it; 0, the default, keeps none.
    int pauseMs = 0;
    // Modbus TCP: accept a reply whose transaction id is not the request's (gateways that answer
    // with 0 or do not echo it); unit id and function must still match.
    bool anyTransactionId = false;
};

// A Modbus master on one port (a serial line, RTU over TCP, or Modbus TCP): requests go out one at a time,
// each reply is found and matched to its request, and every frame is traced in wire order; a port that fails
// is closed and looked for until it is back. Asynchronous, in the manner of QModbusClient: send() hands back
// a LineReply that finishes with the outcome. Its signals come straight from the port's and the clock's
// notifications: a slot may send, close or reopen, but deletes the line only with deleteLater().
class ModbusLine : public QObject {
    Q_OBJECT

public:
    enum class State {
        Closed, // not open (never opened, closed by its owner, or after a flood)
        Open,
        Lost // failed; the port is looked for at the rate it had
    };
    Q_ENUM(State)
    enum class Trace {
        Tx,        // a request, when it is written
        Rx,        // bytes received: a reply, a frame answering nothing, stray bytes before a reply
        Discarded, // bytes that completed no reply, dropped
        Noise      // more than a buffer of bytes that are neither a flood nor a reply, dropped at once
    };
    Q_ENUM(Trace)

    // The line on `port`, which becomes its child, with its time from `clock`.
    explicit ModbusLine(LinePort *port, LineClock &clock = LineClock::system(), QObject *parent = nullptr);
    ~ModbusLine() override;

    void setTimes(const LineTimes &times) { timing = times; }
    const LineTimes &times() const { return timing; }

    // Opens (or reopens) the port at `rate`; requests still waiting finish Closed. False with the
    // reason in words in *error; the line is then closed.
    bool open(int rate, QString *error = nullptr);
    // Closes the port and stops looking for it; requests still waiting finish Closed.
    void close();
    // Closes the port and looks for it again as after a failure, without portLost(): for a port
    // that reopened but whose unit does not answer. A line never opened only closes.
    void watch();

    State state() const { return current; }
    int rate() const { return lineRate; }
    LinePort &port() const { return *linePort; }

    // Sends `frame` once the request before it is answered or its window has passed; the reply
    // window counts from the write. On a line that is not open the reply finishes PortLost at
    // once (finished() comes from the event loop). The caller owns the reply.
    LineReply *send(const QByteArray &frame, bool fromUser = true);
    // As send(), but only when nothing is on the wire or waiting (the live poll's tick); nullptr
    // otherwise.
    LineReply *sendIfIdle(const QByteArray &frame, bool fromUser = false);
    // Nothing on the wire and nothing waiting.
    bool idle() const;
    // Takes `reply`'s request back while it still waits to go out: it is never written, and the
    // reply finishes Closed. False (nothing changes) once it is on the wire or finished.
    bool cancel(LineReply *reply);

    // Takes what the port holds now, as on its own notification (a front end may ask for it).
    void takeArrived() { onReadyRead(); }

    // Read-only views for tests: the bytes held for a reply still incomplete, the reception gap
    // that drops them, and the requests on the wire and waiting.
    const QByteArray &held() const { return buffer; }
    const LineDeadline &receptionGap() const { return *gap; }
    const RequestQueue &requests() const { return queue; }

signals:
    // The bytes as they were on the wire (MBAP frames over Modbus TCP).
    void traced(const QByteArray &bytes, ModbusLine::Trace kind);
    // The port failed; said once a loss, `reason` one of the texts of lineFailureText.
    void portLost(const QString &reason);
    // A lost port is open again at its rate.
    void portBack();
    // Looking for a lost port: attempt `attempt` failed, for the reason in words.
    void reopenFailed(int attempt, const QString &error);
    // The line was flooded with 0x00 / 0xFF (a faulty adapter) and is closed; it is not reopened.
    void flooded();
    void stateChanged(ModbusLine::State state);

private:
    void attach();
    bool intake();
    void onReadyRead();
    void takeReplies();
    void takeMbapReplies();
    bool pausing(qint64 now);
    void sendWaiting();
    void expireWire(qint64 now);
    void finishWire(LineReply::Outcome outcome, const QByteArray &frame = QByteArray());
    void dropBuffer(bool countAsStray);
    void shut(LineReply::Outcome outcome, State next);
    void fail(const QString &reason);
    void onBack();
    void trace(const QByteArray &bytes, Trace kind);

    LinePort *linePort;
    LineWatch *watcher;
    LineDeadline *gap;
    LineDeadline *window;
    LineClock &clock;
    LineTimes timing;
    QPointer<QIODevice> device;
    State current = State::Closed;
    int lineRate = 0;
    RequestQueue queue;
    // The replies of the frames in the queue, in the same order.
    std::deque<QPointer<LineReply>> waiting;
    // The reply of the request on the wire, while wireSet (it may have been deleted by its owner).
    QPointer<LineReply> wire;
    bool wireSet = false;
    // Bytes that answered nothing while the request on the wire waited.
    int stray = 0;
    // While what came in one read is being taken: the bytes behind a reply are kept for the
    // request that goes out next.
    bool taking = false;
    // The reply send() is making: it finishes from the event loop, after the caller has it.
    LineReply *sending = nullptr;
    QByteArray buffer;
    // Modbus TCP: the request on the wire as written, and the last transaction id used.
    QByteArray wireBytes;
    quint16 transaction = 0;
    // Over TCP: windows passed in a row without a reply, and when the line was last freed.
    // Only windows of units that answered since open() count once any unit has answered: a unit
    // that is silent from the start (unplugged, or an address with nothing behind it) while
    // others answer says nothing about the connection.
    int silentWindows = 0;
    std::bitset<256> answeredUnits;
    quint8 wireUnit = 0;
    qint64 freedAtMs = -1;
};

#endif
