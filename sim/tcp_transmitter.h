#ifndef ZR_SIM_TCP_TRANSMITTER_H
#define ZR_SIM_TCP_TRANSMITTER_H

#include "sim/pty_transmitter.h"
#include "sim/transmitter.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>

#include <deque>

class QTcpServer;
class QTcpSocket;

// The simulated transmitter (or a bus of them) behind a serial server: requests come over TCP,
// as Modbus TCP frames (MBAP header, unit id = address) or as raw RTU frames. One client is
// served at a time; the next one waits until it leaves. The line faults silence, floods, an
// exception for everything and late replies work as on the pseudo-terminal, plus a connection
// closed after a number of requests and replies with transaction id 0.
class TcpTransmitter : public QObject {
    Q_OBJECT

public:
    enum class Framing { ModbusTcp, Rtu };

    explicit TcpTransmitter(const TransmitterConfig &config = TransmitterConfig(), QObject *parent = nullptr);
    ~TcpTransmitter() override;

    // Listens on `address`:`port` (0: any free port); false with the reason in *error.
    bool listen(const QHostAddress &address, quint16 port, QString *error = nullptr);
    quint16 port() const;
    // The port string a master is given for this server: tcp://HOST:PORT or rtu+tcp://HOST:PORT.
    QString portString() const;

    Transmitter &model() { return units.front(); }
    // Bus mode: one more transmitter behind the same server, answering its own address.
    Transmitter &addUnit(const TransmitterConfig &config);

    void setFraming(Framing framing) { mode = framing; }
    // Silence, FloodZero, FloodFF and ExceptionAll; the other faults of the line do not apply.
    void setFault(SimFault newFault) { fault = newFault; }
    // Delay before every reply: long enough, it makes every reply late.
    void setReplyDelay(int ms) { delayMs = qMax(0, ms); }
    // After `requests` requests on one connection, the next one closes it unanswered; negative:
    // never.
    void setDropAfter(int requests) { dropAfter = requests; }
    // Modbus TCP replies carry transaction id 0 instead of the request's.
    void setWrongTransactionId(bool on) { wrongTid = on; }

    // Connections accepted so far.
    int connections() const { return accepted; }

signals:
    // A complete request, RTU-shaped, as it came.
    void requestReceived(const QByteArray &request);

private:
    void serveNext();
    void onReadable();
    void onGone();
    void answer(const QByteArray &request, const QByteArray &header);
    QByteArray replyTo(const QByteArray &request);
    void sendLater(const QByteArray &bytes);

    std::deque<Transmitter> units;
    QTcpServer *server;
    QPointer<QTcpSocket> client;
    QByteArray buffer;
    Framing mode = Framing::ModbusTcp;
    SimFault fault = SimFault::None;
    int delayMs = 0;
    int dropAfter = -1;
    bool wrongTid = false;
    int served = 0;
    int accepted = 0;
};

#endif
