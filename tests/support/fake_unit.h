#ifndef ZR_TESTS_SUPPORT_FAKE_UNIT_H
#define ZR_TESTS_SUPPORT_FAKE_UNIT_H

#include "core/device/line_timing.h"
#include "sim/pty_transmitter.h"
#include "sim/transmitter.h"
#include "tests/support/fake_line.h"
#include "tests/support/harness.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

// A simulated transmitter in the test's own process: the windows made while it lives open the
// port named port() as a FakePort whose other end is a Transmitter model, and run their line's
// reply windows, reception gap and port watch on a FakeClock. What the unit sends goes out on
// that clock too. By default the clock runs by itself, a hundred times faster than real time,
// jumping from one deadline to the next, so a reply window or a 250 ms turnaround passes in a
// few milliseconds; with manual time it stands still until the test advances it. The window's
// own timers (poll, search step, heater count-down) stay real: ScopedLineTiming shortens them.
class FakeUnit : public QObject {
    Q_OBJECT

public:
    explicit FakeUnit(const TransmitterConfig &config = TransmitterConfig(),
                      const QString &name = QStringLiteral("/dev/ttyFAKE0"));
    ~FakeUnit() override;
    FakeUnit(const FakeUnit &) = delete;
    FakeUnit &operator=(const FakeUnit &) = delete;

    // The name the window opens it by (typed in the dialog: it is no device node).
    QString port() const { return name; }
    Transmitter &model() { return unit; }

    // Faults, as PtyTransmitter has them (SplitReply, StrayByte, BadCrc, ExceptionAll, Silence and
    // the floods); pieces and delays are times on the fake clock.
    void setFault(SimFault newFault) { fault = newFault; }
    void setSplit(int pieceSize, int gapMs);
    void setReplyDelay(int ms) { replyDelayMs = qMax(0, ms); }
    void setFloodPieces(int pieceSize, int gapMs);
    void setFloodAfter(int requests, quint8 value);
    void setGarbleAtWrongRate(bool on) { garble = on; }
    // Bytes of line noise in front of every reply, in the same write, as PtyTransmitter has them.
    void setJunkBeforeReply(int count, quint8 value) {
        junk = QByteArray(qMax(0, count), static_cast<char>(value));
    }

    // Manual time: the clock moves only by advance() and release().
    void setManualTime(bool manual);
    // Advances the clock by `ms`: what falls due meanwhile happens, in its order.
    void advance(int ms);
    // Advances the clock to the next thing the unit sends, and sends it; false when nothing is due.
    bool release();

    // The adapter is pulled: the open port fails as a removed device does, and opens are refused
    // until plugBack(). Replies on their way are lost.
    void unplug();
    void plugBack();

    // What the unit has still to send (pieces of a reply or of a flood).
    int toSend() const { return static_cast<int>(outgoing.size()); }

signals:
    void requestReceived(const QByteArray &request);
    void bytesSent(const QByteArray &bytes);

private:
    struct Outgoing {
        qint64 due;
        QByteArray bytes;
        quint64 generation;
        int opens; // of the port, when it was sent
    };
    int opensSoFar() const;
    // The rate the port was last opened at; 0 before.
    int lineRate() const;
    LinePort *makePort(const QString &portName, QString *error);
    void onWritten(const QByteArray &bytes);
    void answer(const QByteArray &request);
    void sendAt(qint64 delayMs, const QByteArray &bytes);
    void sendPieces(qint64 delayMs, const QByteArray &bytes, int pieceSize, int gapMs);
    void sendDue();
    // Keeps the clock running by itself (unless time is manual): step() comes when the next
    // deadline is due, at a hundred times real speed.
    void run();
    void step();

    LineTiming previous;
    QString name;
    Transmitter unit;
    FakeClock fakeClock;
    QPointer<FakePort> current;
    LineDeadline *nextSend;
    std::deque<Outgoing> outgoing;
    QTimer stepper;
    bool manual = false;
    bool plugged = true;
    // Counts the unplugs: what was on its way before is not delivered.
    quint64 generation = 0;
    QByteArray pending;
    SimFault fault = SimFault::None;
    int splitSize = 3;
    int splitGapMs = 30;
    int replyDelayMs = 0;
    int floodPiece = 64;
    int floodGapMs = 2;
    int floodAfter = -1;
    quint8 floodValue = 0xFF;
    int requestsSeen = 0;
    bool garble = false;
    QByteArray junk;
};

// Puts a FakePort, whatever the port's name, and a FakeClock under the windows made while it
// lives: the test is the other end of the port and moves the line's time itself.
class FakeLineScope {
public:
    FakeLineScope();
    ~FakeLineScope();
    FakeLineScope(const FakeLineScope &) = delete;
    FakeLineScope &operator=(const FakeLineScope &) = delete;
    // The port the window made last; nullptr before.
    FakePort *port() const { return made; }
    // Moves the clock from one deadline to the next until `done` holds; false when nothing more
    // is due and it does not.
    bool advanceUntil(const std::function<bool()> &done);

    FakeClock clock;

private:
    LineTiming previous;
    QPointer<FakePort> made;
};

// A window linked through the dialog, at a fixed rate, to a FakeUnit, and shown: LinkedWindow's
// flows without a pseudo-terminal or real-time replies.
class FakeLinkedWindow {
public:
    explicit FakeLinkedWindow(const TransmitterConfig &config = TransmitterConfig(),
                              const QString &name = QStringLiteral("/dev/ttyFAKE0"),
                              const QString &baud = QStringLiteral("9600"));
    bool linked() const { return isLinked; }
    FakeUnit &transmitter() { return unit; }

    FakeUnit unit;
    ModalWatcher watcher;
    std::unique_ptr<Widget> window;
    WidgetUi *ui = nullptr;
    QString log;

private:
    bool isLinked = false;
};

#endif
