#ifndef ZR_CORE_MODBUS_REPLY_MATCHING_H
#define ZR_CORE_MODBUS_REPLY_MATCHING_H

#include <QByteArray>
#include <QVector>
#include <QtGlobal>

// Finding replies in the receive buffer and matching each one to the request it answers.
//
// One transmitter answers one request at a time and in order, but the tool does not wait: the
// one-second poll and a button can put two requests on the line before the first reply is
// back, adapters and RS-485 turnaround put stray bytes in front of replies, and a broken
// adapter floods the line. A reply is therefore taken only when it answers a request that is
// still waiting (its address, its function or that function's exception, the length the
// request asked for, a correct CRC), and it is decoded by that request, not by whatever was
// sent last.
namespace Rx {

// Receive buffer cap: bytes beyond it are not kept.
constexpr int MaxBuffer = 1024;
// A full buffer with this many 0x00 / 0xFF bytes comes from a faulty adapter.
constexpr int FaultyAdapterCount = 1023;
// Requests remembered while they wait; an older one is taken as lost.
constexpr int MaxPending = 8;
// Time a transmitter may take to start answering, on top of both frames' time on the wire.
constexpr int TurnaroundMs = 300;
// Bytes that do not complete a reply are dropped after this much silence on the line.
constexpr int ReceptionGapMs = 100;

// What a reply must answer: one request as the tool put it on the line.
struct Request {
    quint8 address = 0;    // 0 reaches any device, so a reply from any address answers it
    quint8 function = 0;   // 0: not a request this tool sends
    quint16 reg = 0;       // start register of a read or block write, the register of a write
    quint16 count = 0;     // registers read or written
    bool fromUser = true;  // false for the live poll
    qint64 deadlineMs = 0; // after this the reply is taken as lost
};

// The request a frame built by this tool stands for (read, single write, block write of this
// family, whose second field is the last register written); function 0 for anything else.
Request requestOfFrame(const QByteArray &frame);

// Bytes of the reply that answers `request` in full (exception replies are 5).
int expectedReplyLength(const Request &request);

// How long after sending `request` (a frame of `requestBytes`) at `baudRate` its reply may
// still come: both frames on the wire at ten bits a byte, plus the turnaround.
int replyWindowMs(const Request &request, int requestBytes, int baudRate, int turnaroundMs = TurnaroundMs);

// Length of a reply frame of any kind starting at `offset` (by its function code: 0x03 its byte
// count + 5, 0x06 and 0x10 8, anything else 5) when all of it is there and its CRC is right;
// 0 otherwise.
int completeFrameAt(const QByteArray &buffer, int offset);

// Length of the frame at `offset` when it answers `request` with a correct CRC; 0 otherwise.
int answerAt(const Request &request, const QByteArray &buffer, int offset);

// Register by which a reply to `request` is decoded: a write echo by the register it echoes,
// a read or an exception by the register the request named.
quint16 decodeRegister(const Request &request, const QByteArray &reply);

// Where the next reply stands in the buffer.
struct Found {
    enum class Kind {
        None,      // no complete reply yet: wait for more bytes or for the reception gap
        Answer,    // a reply to pending request `request`, after `offset` stray bytes
        Unanswered // a complete, intact frame at the start that answers nothing waiting
    };
    Kind kind = Kind::None;
    int offset = 0; // stray bytes before the frame
    int length = 0;
    int request = -1; // index into the pending list
};

// The earliest complete frame that answers a pending request (any offset), or an intact frame at
// the buffer start that answers none. Never accepts a frame without a correct CRC.
Found findReply(const QByteArray &buffer, const QVector<Request> &pending);

// True when a buffer filled to the cap consists (all but one byte) of 0x00 and 0xFF.
bool isFlood(const QByteArray &buffer);

// Appends `bytes` to `buffer` up to MaxBuffer; returns how many did not fit.
int appendCapped(QByteArray &buffer, const QByteArray &bytes);

// Requests on the line that still wait for their reply, oldest first.
class PendingRequests {
public:
    // Remembers a request sent at `nowMs`; the oldest is forgotten beyond MaxPending.
    void add(const Request &request, qint64 nowMs, int windowMs);
    // Forgets requests whose reply window has passed.
    void expire(qint64 nowMs);
    // Takes request `index` as answered; the older ones will not be answered any more (one
    // device answers in order) and are forgotten too.
    Request take(int index);
    void clear();
    const QVector<Request> &list() const { return requests; }

private:
    QVector<Request> requests;
};

} // namespace Rx

#endif
