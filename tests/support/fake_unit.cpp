#include "tests/support/fake_unit.h"

#include "core/modbus/modbus_frame.h"
#include "core/modbus/port_factory.h"
#include "core/modbus/serial_ports.h"

#include <iterator>

namespace {

// Bytes a flooding adapter sends for every request.
constexpr int FloodLength = 4096;
// Exception code a device in trouble answers with (slave device failure).
constexpr quint8 ExceptionDeviceFailure = 0x04;
// How much faster than real time the clock runs by itself.
constexpr qint64 TimeScale = 100;

// A port opened anew holds nothing from before, as a serial port cleared on open.
class UnitPort : public FakePort {
public:
    using FakePort::FakePort;
    bool open(int rate, QString *error) override {
        fake.discardIncoming();
        return FakePort::open(rate, error);
    }
};

} // namespace

FakeUnit::FakeUnit(const TransmitterConfig &config, const QString &portName)
    : previous(LineTiming::current()), name(portName), unit(config), nextSend(fakeClock.deadline(this)) {
    LineTiming::current().clock = &fakeClock;
    LineTiming::current().makePort = [this](const QString &wanted, QString *error) {
        return makePort(wanted, error);
    };
    connect(nextSend, &LineDeadline::expired, this, &FakeUnit::sendDue);
    stepper.setSingleShot(true);
    connect(&stepper, &QTimer::timeout, this, &FakeUnit::step);
    fakeClock.started = [this] { run(); };
}

FakeUnit::~FakeUnit() {
    fakeClock.started = nullptr;
    LineTiming::current() = previous;
}

int FakeUnit::lineRate() const {
    return current && !current->opens.isEmpty() ? current->opens.last() : 0;
}

int FakeUnit::opensSoFar() const {
    return current ? current->opens.size() : 0;
}

void FakeUnit::setSplit(int pieceSize, int gapMs) {
    splitSize = qMax(1, pieceSize);
    splitGapMs = qMax(0, gapMs);
}

void FakeUnit::setFloodPieces(int pieceSize, int gapMs) {
    floodPiece = qMax(1, pieceSize);
    floodGapMs = qMax(0, gapMs);
}

void FakeUnit::setFloodAfter(int requests, quint8 value) {
    floodAfter = requests;
    floodValue = value;
}

void FakeUnit::setManualTime(bool on) {
    manual = on;
    if (manual) {
        stepper.stop();
    } else {
        run();
    }
}

void FakeUnit::run() {
    const qint64 due = fakeClock.nextDue();
    if (manual || due < 0) {
        return;
    }
    // A hundred times faster than real time, from one deadline to the next: the pieces of a
    // flood come at once, a lost port is looked for every ten milliseconds.
    const int wait = static_cast<int>(qMax<qint64>(0, due - fakeClock.nowMs()) / TimeScale);
    if (!stepper.isActive() || stepper.remainingTime() > wait) {
        stepper.start(wait);
    }
}

void FakeUnit::advance(int ms) {
    fakeClock.advance(ms);
}

bool FakeUnit::release() {
    if (outgoing.empty()) {
        return false;
    }
    advance(static_cast<int>(qMax<qint64>(0, outgoing.front().due - fakeClock.nowMs())));
    return true;
}

void FakeUnit::unplug() {
    plugged = false;
    ++generation;
    outgoing.clear();
    nextSend->stop();
    if (current) {
        current->refuse = true;
        current->raise(QString::fromLatin1(lineFailureText(QSerialPort::DeviceNotFoundError, true)));
    }
}

void FakeUnit::plugBack() {
    plugged = true;
    if (current) {
        current->refuse = false;
    }
}

LinePort *FakeUnit::makePort(const QString &portName, QString *error) {
    if (portName != name) {
        return makeLinePort(portName, error);
    }
    auto *port = new UnitPort;
    port->refuse = !plugged;
    current = port;
    pending.clear();
    connect(&port->fake, &FakeDevice::wrote, this, &FakeUnit::onWritten);
    return port;
}

void FakeUnit::onWritten(const QByteArray &bytes) {
    pending += bytes;
    // Whole requests, as the transmitter on a line takes them; what cannot start one is skipped.
    while (!pending.isEmpty()) {
        const int length = PtyTransmitter::requestLength(pending);
        if (length < 0) {
            pending.remove(0, 1);
            continue;
        }
        if (length == 0 || pending.size() < length) {
            return;
        }
        const QByteArray frame = pending.left(length);
        if (!crcIntact(frame)) {
            pending.remove(0, 1);
            continue;
        }
        pending.remove(0, length);
        answer(frame);
    }
}

void FakeUnit::answer(const QByteArray &request) {
    emit requestReceived(request);
    ++requestsSeen;
    if (floodAfter >= 0 && requestsSeen > floodAfter) {
        sendPieces(0, QByteArray(FloodLength, static_cast<char>(floodValue)), floodPiece, floodGapMs);
        return;
    }
    if (lineRate() != unit.baudRate()) {
        // At the wrong rate the device hears noise; what it sends back is noise too.
        if (garble && unit.isForThisDevice(request)) {
            sendAt(replyDelayMs, QByteArray::fromHex("5aa317c4").left(3 + request.size() % 2));
        }
        return;
    }
    QByteArray reply;
    switch (fault) {
    case SimFault::Silence:
        return;
    case SimFault::FloodZero:
    case SimFault::FloodFF:
        sendPieces(0, QByteArray(FloodLength, fault == SimFault::FloodZero ? '\x00' : '\xFF'), floodPiece,
                   floodGapMs);
        return;
    case SimFault::ExceptionAll:
        if (unit.isForThisDevice(request)) {
            reply.append(static_cast<char>(unit.address()));
            reply.append(static_cast<char>(static_cast<quint8>(request.at(1)) | 0x80));
            reply.append(static_cast<char>(ExceptionDeviceFailure));
            appendCrc(reply);
        }
        break;
    default:
        reply = unit.handleRequest(request);
        break;
    }
    if (reply.isEmpty()) {
        return;
    }
    if (fault == SimFault::BadCrc) {
        reply[reply.size() - 1] = static_cast<char>(~static_cast<quint8>(reply.at(reply.size() - 1)));
    } else if (fault == SimFault::StrayByte) {
        reply.append('\xA5');
    }
    reply.prepend(junk);
    if (fault == SimFault::SplitReply) {
        sendPieces(replyDelayMs, reply, splitSize, splitGapMs);
    } else {
        sendAt(replyDelayMs, reply);
    }
}

void FakeUnit::sendPieces(qint64 delayMs, const QByteArray &bytes, int pieceSize, int gapMs) {
    for (int at = 0; at < bytes.size(); at += pieceSize) {
        sendAt(delayMs + static_cast<qint64>(at / pieceSize) * gapMs, bytes.mid(at, pieceSize));
    }
}

void FakeUnit::sendAt(qint64 delayMs, const QByteArray &bytes) {
    // Behind everything due at the same time or earlier: pieces keep their order.
    const qint64 due = fakeClock.nowMs() + delayMs;
    auto at = outgoing.end();
    while (at != outgoing.begin() && std::prev(at)->due > due) {
        --at;
    }
    outgoing.insert(at, Outgoing{due, bytes, generation, opensSoFar()});
    nextSend->start(static_cast<int>(outgoing.front().due - fakeClock.nowMs()));
}

void FakeUnit::sendDue() {
    while (!outgoing.empty() && outgoing.front().due <= fakeClock.nowMs()) {
        const Outgoing next = outgoing.front();
        outgoing.pop_front();
        // Sent to a port since reopened (at another rate, or not at all) or pulled: lost.
        if (next.generation != generation || next.opens != opensSoFar() || !current ||
            !current->fake.isOpen()) {
            continue;
        }
        emit bytesSent(next.bytes);
        current->fake.push(next.bytes);
    }
    if (!outgoing.empty()) {
        nextSend->start(static_cast<int>(outgoing.front().due - fakeClock.nowMs()));
    }
}

void FakeUnit::step() {
    const qint64 due = fakeClock.nextDue();
    if (manual || due < 0) {
        return;
    }
    fakeClock.advance(qMax<qint64>(0, due - fakeClock.nowMs()));
    run();
}

FakeLinkedWindow::FakeLinkedWindow(const TransmitterConfig &config, const QString &name, const QString &baud)
    : unit(config, name) {
    watcher.dialogHandler = chooseInDialog(name, baud);
    window = std::make_unique<Widget>();
    window->show();
    ui = WidgetTestAccess::ui(*window);
    log = WidgetTestAccess::logFilePath(*window);
    isLinked = waitUntil([this] { return !ui->lineEditAddress->text().isEmpty(); }, 3000);
}

FakeLineScope::FakeLineScope() : previous(LineTiming::current()) {
    LineTiming::current().clock = &clock;
    LineTiming::current().makePort = [this](const QString &, QString *) {
        made = new FakePort;
        return made.data();
    };
}

FakeLineScope::~FakeLineScope() {
    LineTiming::current() = previous;
}

bool FakeLineScope::advanceUntil(const std::function<bool()> &done) {
    while (!done()) {
        const qint64 due = clock.nextDue();
        if (due < 0) {
            return false;
        }
        clock.advance(qMax<qint64>(0, due - clock.nowMs()));
    }
    return true;
}
