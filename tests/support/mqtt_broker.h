#ifndef ZR_TESTS_SUPPORT_MQTT_BROKER_H
#define ZR_TESTS_SUPPORT_MQTT_BROKER_H

#include <QByteArray>
#include <QMutex>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QVector>

struct mosquitto;

// A mosquitto broker of its own on a free loopback port, for one test: anonymous, or with one
// user when a password is given. stop() and start() again keep the port, as a broker restart.
class MqttBroker {
public:
    // `persistent`: sessions and queued messages survive a restart (saved at a clean stop).
    explicit MqttBroker(const QString &user = QString(), const QString &password = QString(),
                        bool persistent = false);
    ~MqttBroker();
    // Before start(): a TLS listener on a port of its own, with a CA and a certificate for
    // 127.0.0.1 signed by it, made with openssl (once for all brokers of the program); false with
    // error() when that fails.
    bool addTlsListener();
    // Before start(): an IPv6 loopback listener on a port of its own.
    void addIpv6Listener();
    // Before start(): anonymous clients may publish and subscribe only under `topicFilter`.
    bool allowOnly(const QByteArray &topicFilter);
    // False (with the reason in error()) when the broker could not be started or does not accept
    // connections within a few seconds.
    bool start();
    void stop();
    int port() const { return listenPort; }
    QString url() const { return QStringLiteral("mqtt://127.0.0.1:%1").arg(listenPort); }
    int tlsPort() const { return tlsListenPort; }
    int ipv6Port() const { return ipv6ListenPort; }
    // The CA that signed the TLS listener's certificate, and one that did not.
    QString caFile() const { return dir.filePath(QStringLiteral("ca.crt")); }
    QString strangerCaFile() const { return dir.filePath(QStringLiteral("stranger.crt")); }
    QString error() const { return failure; }

private:
    QTemporaryDir dir;
    QProcess process;
    bool appendToConfiguration(const QByteArray &text);
    // The CA, another CA and the server's certificate and key; nullptr with *failure set when
    // openssl fails.
    static const QTemporaryDir *certificates(QString *failure);
    int otherFreePort() const;
    int listenPort = 0;
    int tlsListenPort = 0;
    int ipv6ListenPort = 0;
    QString failure;
};

// One message a subscriber received.
struct MqttMessage {
    QString topic;
    QByteArray payload;
    bool retained = false;
};

// Subscribes to everything on a broker from a thread of libmosquitto's own, reconnecting by
// itself, and keeps what arrives.
class MqttSubscriber {
public:
    // With a `clientId` the session is kept by the broker: messages published while this
    // subscriber is away reach it when it is back.
    explicit MqttSubscriber(int port, const QByteArray &clientId = QByteArray());
    ~MqttSubscriber();
    // Connected and subscribed.
    bool connected() const;
    QVector<MqttMessage> messages() const;
    // Messages on `topic`, in order.
    QVector<MqttMessage> on(const QString &topic) const;
    // Publishes through the broker (QoS 1): what the broker sent before it arrives before it.
    void publish(const QByteArray &topic, const QByteArray &payload = QByteArrayLiteral("-"));

private:
    static void onMessage(mosquitto *, void *self, const struct mosquitto_message *message);
    static void onConnect(mosquitto *, void *self, int rc);
    static void onSubscribe(mosquitto *, void *self, int mid, int count, const int *granted);
    mosquitto *client = nullptr;
    mutable QMutex mutex;
    QVector<MqttMessage> received;
    bool isConnected = false;
};

#endif
