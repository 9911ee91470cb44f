#include "sim/pty_transmitter.h"

#include "core/device/register_map.h"
#include "core/modbus/modbus_frame.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Bytes a flooding adapter sends for every request.
constexpr int FloodLength = 4096;
// A partial request older than this is line noise, not the start of a frame.
constexpr int StaleGapMs = 50;
// Exception code a device in trouble answers with (slave device failure).
constexpr quint8 ExceptionDeviceFailure = 0x04;

int rateOfSpeed(speed_t speed) {
    switch (speed) {
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    case B230400:
        return 230400;
    case B0:
        return 0;
    default:
        return -1;
    }
}

QString errnoText(const char *what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

PtyTransmitter::PtyTransmitter(const TransmitterConfig &config, QObject *parent)
    : QObject(parent), gapTimer(new QTimer(this)) {
    units.emplace_back(config);
    gapTimer->setSingleShot(true);
    gapTimer->setInterval(StaleGapMs);
    connect(gapTimer, &QTimer::timeout, this, [this] { pending.clear(); });
}

PtyTransmitter::~PtyTransmitter() {
    closePty();
    removeSymlink();
}

bool PtyTransmitter::start(QString *error) {
    if (masterFd >= 0) {
        return true;
    }
    return openPty(error);
}

bool PtyTransmitter::openPty(QString *error) {
    auto fail = [&](const char *what) {
        if (error) {
            *error = errnoText(what);
        }
        closePty();
        return false;
    };

    masterFd = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (masterFd < 0) {
        return fail("posix_openpt");
    }
    if (::grantpt(masterFd) != 0) {
        return fail("grantpt");
    }
    if (::unlockpt(masterFd) != 0) {
        return fail("unlockpt");
    }
    char name[128] = {};
    if (::ptsname_r(masterFd, name, sizeof name) != 0) {
        return fail("ptsname");
    }
    const int flags = ::fcntl(masterFd, F_GETFL);
    if (flags < 0 || ::fcntl(masterFd, F_SETFL, flags | O_NONBLOCK) != 0) {
        return fail("fcntl");
    }
    ::fcntl(masterFd, F_SETFD, FD_CLOEXEC);

    // Our own descriptor of the slave side stays open for the life of the pair, so a tool
    // closing its port never hangs the line up, and its termios tells the tool's line settings.
    slaveFd = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slaveFd < 0) {
        return fail("open slave");
    }
    struct termios tio;
    if (::tcgetattr(slaveFd, &tio) != 0) {
        return fail("tcgetattr");
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    if (::tcsetattr(slaveFd, TCSANOW, &tio) != 0) {
        return fail("tcsetattr");
    }

    path = QString::fromLocal8Bit(name);
    pending.clear();
    outgoing.clear();
    notifier = new QSocketNotifier(masterFd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &PtyTransmitter::onReadable);
    writeNotifier = new QSocketNotifier(masterFd, QSocketNotifier::Write, this);
    writeNotifier->setEnabled(false);
    connect(writeNotifier, &QSocketNotifier::activated, this, &PtyTransmitter::flushOutgoing);
    return true;
}

QString PtyTransmitter::slavePath() const {
    return path;
}

bool PtyTransmitter::createSymlink(const QString &linkPath) {
    if (path.isEmpty() || linkPath.isEmpty()) {
        return false;
    }
    const QByteArray link = QFile::encodeName(linkPath);
    const QFileInfo existing(linkPath);
    if (existing.isSymLink() || existing.exists()) {
        if (::unlink(link.constData()) != 0) {
            return false;
        }
    }
    if (::symlink(QFile::encodeName(path).constData(), link.constData()) != 0) {
        return false;
    }
    symlinkPath = linkPath;
    return true;
}

void PtyTransmitter::removeSymlink() {
    if (!symlinkPath.isEmpty() && QFileInfo(symlinkPath).isSymLink()) {
        ::unlink(QFile::encodeName(symlinkPath).constData());
    }
}

Transmitter &PtyTransmitter::model() {
    return units.front();
}

Transmitter &PtyTransmitter::addUnit(const TransmitterConfig &config) {
    units.emplace_back(config);
    return units.back();
}

Transmitter &PtyTransmitter::unit(int index) {
    return units.at(static_cast<size_t>(index));
}

int PtyTransmitter::unitCount() const {
    return static_cast<int>(units.size());
}

LineSettings PtyTransmitter::lineSettings() const {
    LineSettings line;
    struct termios tio;
    if (slaveFd < 0 || ::tcgetattr(slaveFd, &tio) != 0) {
        return line;
    }
    line.baudRate = rateOfSpeed(::cfgetospeed(&tio));
    switch (tio.c_cflag & CSIZE) {
    case CS5:
        line.dataBits = 5;
        break;
    case CS6:
        line.dataBits = 6;
        break;
    case CS7:
        line.dataBits = 7;
        break;
    default:
        line.dataBits = 8;
        break;
    }
    // PARENB does not survive on a pseudo-terminal; PARODD does, and means odd parity was asked.
    line.parity = (tio.c_cflag & PARODD) ? 'O' : ((tio.c_cflag & PARENB) ? 'E' : 'N');
    line.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
    line.hardwareFlow = (tio.c_cflag & CRTSCTS) != 0;
    line.softwareFlow = (tio.c_iflag & (IXON | IXOFF)) != 0;
    return line;
}

bool PtyTransmitter::lineAtRate(int own) const {
    struct termios tio;
    if (slaveFd < 0 || ::tcgetattr(slaveFd, &tio) != 0) {
        return false;
    }
    const int out = rateOfSpeed(::cfgetospeed(&tio));
    const int in = rateOfSpeed(::cfgetispeed(&tio));
    // An input speed of 0 means "the same as the output speed".
    return out == own && (in == own || in == 0);
}

void PtyTransmitter::setFault(SimFault newFault) {
    fault = newFault;
}

void PtyTransmitter::setSplit(int pieceSize, int gapMs) {
    splitSize = qMax(1, pieceSize);
    splitGapMs = qMax(0, gapMs);
}

void PtyTransmitter::setReplyDelay(int ms) {
    replyDelayMs = qMax(0, ms);
}

void PtyTransmitter::setJunkBeforeReply(int count, quint8 value) {
    junkCount = qMax(0, count);
    junkValue = value;
}

void PtyTransmitter::setFloodPieces(int pieceSize, int gapMs) {
    // A broken adapter streams its bytes: by default they arrive in small pieces.
    floodPiece = qMax(1, pieceSize);
    floodGapMs = qMax(0, gapMs);
}

void PtyTransmitter::setFloodAfter(int requests, quint8 value) {
    floodAfter = requests;
    floodValue = value;
}

void PtyTransmitter::setGarbleAtWrongRate(bool on) {
    garble = on;
}

void PtyTransmitter::vanish() {
    closePty();
    removeSymlink();
}

bool PtyTransmitter::reappear(QString *error) {
    closePty();
    if (!openPty(error)) {
        return false;
    }
    if (!symlinkPath.isEmpty()) {
        return createSymlink(symlinkPath);
    }
    return true;
}

void PtyTransmitter::closePty() {
    ++generation; // replies still scheduled for the old pair are dropped
    delete notifier;
    notifier = nullptr;
    delete writeNotifier;
    writeNotifier = nullptr;
    if (masterFd >= 0) {
        ::close(masterFd);
        masterFd = -1;
    }
    if (slaveFd >= 0) {
        ::close(slaveFd);
        slaveFd = -1;
    }
    gapTimer->stop();
    pending.clear();
    outgoing.clear();
}

void PtyTransmitter::onReadable() {
    char chunk[512];
    bool got = false;
    for (;;) {
        const ssize_t n = ::read(masterFd, chunk, sizeof chunk);
        if (n > 0) {
            pending.append(chunk, static_cast<int>(n));
            rawReceived.append(chunk, static_cast<int>(n));
            got = true;
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        break; // EAGAIN: drained; EIO: no slave open, which our own descriptor prevents
    }
    if (got) {
        gapTimer->start();
        processBuffer();
    }
}

int PtyTransmitter::requestLength(const QByteArray &head) {
    if (head.size() < 2) {
        return 0;
    }
    if (static_cast<quint8>(head.at(0)) > 247) {
        return -1; // no slave address on this line is that high
    }
    const quint8 function = static_cast<quint8>(head.at(1));
    if (function == Fn::WriteBlock) {
        if (head.size() < 7) {
            return 0;
        }
        return 9 + static_cast<quint8>(head.at(6));
    }
    if (function == 0 || function > 0x7F) {
        return -1; // not a request function code
    }
    // Reads, single writes and the other fixed-size Modbus requests are eight bytes long.
    return 8;
}

void PtyTransmitter::processBuffer() {
    while (!pending.isEmpty()) {
        const int length = requestLength(pending);
        if (length < 0) {
            pending.remove(0, 1);
            continue;
        }
        if (length == 0 || pending.size() < length) {
            return; // wait for the rest
        }
        const QByteArray frame = pending.left(length);
        if (!crcIntact(frame)) {
            pending.remove(0, 1); // resynchronise on the next byte
            continue;
        }
        pending.remove(0, length);
        answer(frame);
    }
}

void PtyTransmitter::answer(const QByteArray &request) {
    emit requestReceived(request);
    ++requestsSeen;
    if (floodAfter >= 0 && requestsSeen > floodAfter) {
        sendPieces(QByteArray(FloodLength, static_cast<char>(floodValue)), floodPiece, floodGapMs);
        return;
    }

    // Every unit on the line hears the request; each one answers only at its own rate.
    QVector<QByteArray> replies;
    bool flood = false;
    for (Transmitter &unit : units) {
        if (!lineAtRate(unit.baudRate())) {
            // At the wrong rate the device hears noise; what it sends back is noise too.
            if (garble && unit.isForThisDevice(request)) {
                QByteArray noise(3 + static_cast<int>(QRandomGenerator::global()->bounded(4)), '\0');
                for (char &byte : noise) {
                    byte = static_cast<char>(QRandomGenerator::global()->bounded(256));
                }
                replies.append(noise);
            }
            continue;
        }
        switch (fault) {
        case SimFault::Silence:
            continue;
        case SimFault::FloodZero:
        case SimFault::FloodFF:
            flood = true;
            continue;
        case SimFault::ExceptionAll:
            if (unit.isForThisDevice(request)) {
                QByteArray reply;
                reply.append(static_cast<char>(unit.address()));
                reply.append(static_cast<char>(static_cast<quint8>(request.at(1)) | 0x80));
                reply.append(static_cast<char>(ExceptionDeviceFailure));
                appendCrc(reply);
                replies.append(reply);
            }
            continue;
        default:
            break;
        }
        QByteArray reply = unit.handleRequest(request);
        if (reply.isEmpty()) {
            continue;
        }
        if (fault == SimFault::BadCrc) {
            reply[reply.size() - 1] = static_cast<char>(~static_cast<quint8>(reply.at(reply.size() - 1)));
        } else if (fault == SimFault::StrayByte) {
            reply.append('\xA5');
        }
        replies.append(reply);
    }
    if (flood) {
        sendPieces(QByteArray(FloodLength, fault == SimFault::FloodZero ? '\x00' : '\xFF'), floodPiece,
                   floodGapMs);
        return;
    }
    if (replies.size() == 1) {
        sendReply(replies.first());
    } else if (replies.size() > 1) {
        // Several units answering address 0 at once drive the line together: what arrives is
        // their bytes mixed, which no CRC survives.
        sendReply(collide(replies));
    }
}

QByteArray PtyTransmitter::collide(const QVector<QByteArray> &replies) {
    QByteArray mixed;
    for (const QByteArray &reply : replies) {
        if (mixed.size() < reply.size()) {
            mixed.append(QByteArray(reply.size() - mixed.size(), '\0'));
        }
        for (int i = 0; i < reply.size(); ++i) {
            mixed[i] = static_cast<char>(mixed.at(i) | reply.at(i));
        }
    }
    return mixed;
}

void PtyTransmitter::sendReply(const QByteArray &frame) {
    const quint64 pair = generation;
    const QByteArray reply = QByteArray(junkCount, static_cast<char>(junkValue)) + frame;
    auto send = [this, pair, reply] {
        if (pair != generation) {
            return;
        }
        if (fault != SimFault::SplitReply) {
            writeMaster(reply);
            return;
        }
        sendPieces(reply, splitSize, splitGapMs);
    };
    if (replyDelayMs > 0) {
        QTimer::singleShot(replyDelayMs, this, send);
    } else {
        send();
    }
}

void PtyTransmitter::sendPieces(const QByteArray &bytes, int pieceSize, int gapMs) {
    const quint64 pair = generation;
    writeMaster(bytes.left(pieceSize));
    int delay = 0;
    for (int at = pieceSize; at < bytes.size(); at += pieceSize) {
        delay += gapMs;
        const QByteArray piece = bytes.mid(at, pieceSize);
        QTimer::singleShot(delay, this, [this, pair, piece] {
            if (pair == generation) {
                writeMaster(piece);
            }
        });
    }
}

void PtyTransmitter::writeMaster(const QByteArray &bytes) {
    if (masterFd < 0 || bytes.isEmpty()) {
        return;
    }
    outgoing.append(bytes);
    emit bytesSent(bytes);
    flushOutgoing();
}

void PtyTransmitter::flushOutgoing() {
    while (masterFd >= 0 && !outgoing.isEmpty()) {
        const ssize_t n = ::write(masterFd, outgoing.constData(), static_cast<size_t>(outgoing.size()));
        if (n > 0) {
            outgoing.remove(0, static_cast<int>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        break; // the tool is not reading: go on when the line has room again
    }
    if (writeNotifier) {
        writeNotifier->setEnabled(!outgoing.isEmpty());
    }
}
