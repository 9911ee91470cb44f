#ifndef ZR_CORE_MODBUS_MBAP_SERVER_H
#define ZR_CORE_MODBUS_MBAP_SERVER_H

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>

class QTcpServer;
class QTcpSocket;
class QTimer;

// A Modbus TCP server face: it accepts clients up to a limit, cuts each one's byte stream into
// MBAP frames and hands every request on with an id; whoever answers it calls reply() with that
// id. A client that sends what cannot start a frame, or stays silent too long, is dropped alone;
// the requests it left unanswered are said dropped, and a reply that comes for them later is
// discarded.
class MbapServer : public QObject {
    Q_OBJECT

public:
    struct Limits {
        int maxClients = 8;
        int idleSeconds = 60;
        // Requests of one client awaiting their replies; one more is answered "busy" (0x06) at
        // once, so that a client sending without waiting cannot fill the line's queue.
        int openPerClient = 16;
    };

    explicit MbapServer(QObject *parent = nullptr);
    ~MbapServer() override;

    // "PORT" (loopback), "HOST:PORT" or "[IPv6]:PORT" with a numeric host; false with the reason.
    static bool parseAddress(const QString &text, QHostAddress *host, quint16 *port, QString *error);

    void setLimits(const Limits &limits) { bounds = limits; }
    // Listens on `address` (see parseAddress); false with the reason in *error.
    bool listen(const QString &address, QString *error);
    quint16 port() const;
    int clients() const { return static_cast<int>(peers.size()); }

    // Sends `adu` (an MBAP frame) to the client of request `id`; nothing when it has left.
    void reply(quint64 id, const QByteArray &adu);

signals:
    // A complete MBAP frame from client `peer` ("ADDRESS:PORT").
    void request(quint64 id, const QString &peer, const QByteArray &adu);
    // The client of request `id` left before its reply.
    void requestDropped(quint64 id);
    void clientConnected(const QString &peer);
    // The client left or was dropped, `reason` in words.
    void clientLeft(const QString &peer, const QString &reason);
    // A client beyond the limit, closed at once.
    void clientRefused(const QString &peer);

private:
    struct Client {
        QTcpSocket *socket = nullptr;
        QTimer *idle = nullptr;
        QString peer;
        QByteArray buffer;
        QList<quint64> open;
    };
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void drop(QTcpSocket *socket, const QString &reason);

    QTcpServer *server;
    Limits bounds;
    QHash<QTcpSocket *, Client> peers;
    QHash<quint64, QTcpSocket *> owners;
    quint64 lastId = 0;
};

namespace Mbap {
// The exception reply with `code` to the request MBAP frame `request`: its transaction and unit
// id, its function with the exception bit.
QByteArray exception(const QByteArray &request, quint8 code);
} // namespace Mbap

#endif
