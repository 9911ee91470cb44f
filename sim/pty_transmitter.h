#ifndef ZR_SIM_PTY_TRANSMITTER_H
#define ZR_SIM_PTY_TRANSMITTER_H

#include "sim/transmitter.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVector>

#include <deque>

class QSocketNotifier;
class QTimer;

// Line faults a test can ask of the simulated transmitter.
enum class SimFault {
    None,
    Silence,     // never answers
    FloodZero,   // answers every request with a stream of 4096 bytes of 0x00, 64 at a time
    FloodFF,     // the same stream of 0xFF bytes
    SplitReply,  // sends the reply in pieces of splitSize bytes, splitGapMs apart
    StrayByte,   // one extra byte after every reply
    BadCrc,      // the last CRC byte of every reply inverted
    ExceptionAll // an exception reply (code 04) for every request
};

// Line settings the tool applied to the slave side of the pseudo-terminal. The Linux
// pseudo-terminal driver forces eight data bits and clears the parity-enable flag whatever the
// tool asks, so dataBits always reads 8 and even parity reads as 'N'; odd parity still shows
// (PARODD is kept), as do the rate, the stop bits and the flow control.
struct LineSettings {
    int baudRate = 0;
    int dataBits = 0;
    char parity = 'N'; // 'N', 'E' or 'O'
    int stopBits = 0;
    bool hardwareFlow = false;
    bool softwareFlow = false;
};

// One transmitter on a pseudo-terminal. The slave side is kept open so the tool can open and
// close it any number of times; the master side is served from the Qt event loop (socket
// notifier), so the same object runs inside a test or inside the zrsim program.
class PtyTransmitter : public QObject {
    Q_OBJECT

public:
    explicit PtyTransmitter(const TransmitterConfig &config = TransmitterConfig(), QObject *parent = nullptr);
    ~PtyTransmitter() override;

    // Creates the pseudo-terminal pair; false with a reason in *error when it cannot.
    bool start(QString *error = nullptr);
    // Device path of the slave side (for example /dev/pts/3); empty before start().
    QString slavePath() const;
    // Makes `linkPath` a symbolic link to the slave side, replacing an older link.
    bool createSymlink(const QString &linkPath);

    // The first transmitter on the line.
    Transmitter &model();
    // Bus mode: one more transmitter on the same line, with its own model, address, firmware,
    // serial number and rate. Every unit hears every request and answers only its own address
    // (or address 0) at its own rate; units answering at once collide.
    Transmitter &addUnit(const TransmitterConfig &config);
    Transmitter &unit(int index);
    int unitCount() const;
    LineSettings lineSettings() const;

    void setFault(SimFault fault);
    void setSplit(int pieceSize, int gapMs);
    // Delay before every reply, long enough to cross a request sent meanwhile.
    void setReplyDelay(int ms);
    // `count` bytes of `value` go on the line in front of every reply, as an adapter or the
    // RS-485 turnaround puts them there.
    void setJunkBeforeReply(int count, quint8 value);
    // Piece size and gap of a flood (default 64 bytes, 2 ms apart).
    void setFloodPieces(int pieceSize, int gapMs);
    // Once `requests` requests have come in, the adapter answers every further one with a
    // flood of `value` bytes, at any line rate (the fault is the adapter's, not the device's).
    // A negative count never floods.
    void setFloodAfter(int requests, quint8 value);
    // At a wrong line rate, answer a request with a few garbled bytes instead of silence.
    void setGarbleAtWrongRate(bool garble);

    // The transmitter disappears (the pseudo-terminal is closed) and later comes back on a new
    // one; the symbolic link, if any, follows it.
    void vanish();
    bool reappear(QString *error = nullptr);

    // Every byte the tool put on the line since this transmitter was made, as it came, frame or not.
    QByteArray received() const { return rawReceived; }

    // Length of the RTU request starting `head`: 0 while unknown, -1 when it cannot be one.
    static int requestLength(const QByteArray &head);

signals:
    void requestReceived(const QByteArray &request);
    void bytesSent(const QByteArray &bytes);

private:
    bool openPty(QString *error);
    void removeSymlink();
    // The tool's side of the line is set to `rate`.
    bool lineAtRate(int rate) const;
    static QByteArray collide(const QVector<QByteArray> &replies);
    void onReadable();
    void processBuffer();
    void answer(const QByteArray &request);
    void sendReply(const QByteArray &reply);
    void writeMaster(const QByteArray &bytes);
    // Sends `bytes` in pieces of `pieceSize`, `gapMs` apart (the first at once).
    void sendPieces(const QByteArray &bytes, int pieceSize, int gapMs);
    void flushOutgoing();
    void closePty();

    // A deque keeps the units where they are while more are added.
    std::deque<Transmitter> units;
    int masterFd = -1;
    int slaveFd = -1;
    QString path;
    QString symlinkPath;
    QSocketNotifier *notifier = nullptr;
    QSocketNotifier *writeNotifier = nullptr;
    QByteArray outgoing;
    // Counts pseudo-terminal pairs, so replies scheduled for a vanished pair are dropped.
    quint64 generation = 0;
    QTimer *gapTimer = nullptr;
    QByteArray pending;
    SimFault fault = SimFault::None;
    int splitSize = 3;
    int splitGapMs = 30;
    int replyDelayMs = 0;
    bool garble = false;
    int junkCount = 0;
    quint8 junkValue = 0;
    int floodPiece = 64;
    int floodGapMs = 2;
    int floodAfter = -1;
    quint8 floodValue = 0xFF;
    int requestsSeen = 0;
    QByteArray rawReceived;
};

#endif
