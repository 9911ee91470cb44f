#ifndef ZR_CLI_MQTT_PUBLISHER_H
#define ZR_CLI_MQTT_PUBLISHER_H

#include "core/base/backoff.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

struct mosquitto;

// Where and how the gateway publishes.
struct MqttSettings {
    QString host;
    int port = 1883;
    bool tls = false;
    QString caFile; // empty: the system's CA store
    QString user;
    QString password;
    QString topicPrefix = QStringLiteral("zr");
    QString clientId;
    int queueLimit = 10000;
    int reconnectFirstMs = 500;
    int reconnectMaxMs = 30000;

    // Reads mqtt://HOST[:PORT] or mqtts://HOST[:PORT]; false with one line in *error.
    bool setUrl(const QString &url, QString *error);
};

// The gateway's MQTT client, on libmosquitto driven from the Qt event loop of this thread (no
// thread of its own): it connects, keeps the gateway's availability (online, offline at a normal
// end, offline as the last will when the process dies), publishes each unit's state, availability
// and discovery configs, and while the broker is away keeps messages in memory up to a limit,
// oldest dropped first, reconnecting with a growing delay.
class MqttPublisher : public QObject {
    Q_OBJECT

public:
    explicit MqttPublisher(const MqttSettings &settings, QObject *parent = nullptr);
    ~MqttPublisher() override;

    // Connects and waits for the broker's answer up to `timeoutMs`. False with the reason in
    // *error when the broker refuses the connection (credentials, client id); a broker that is not
    // there yet is not an error: the publisher keeps trying and queues meanwhile.
    bool start(int timeoutMs, QString *error);
    // Publishes the gateway's offline and disconnects, waiting up to `timeoutMs` for what is
    // still on its way.
    void stop(int timeoutMs);

    // PREFIX/<serial>/state, QoS 1, not retained.
    void publishState(const QString &serial, const QJsonObject &state);
    // PREFIX/<serial>/availability: online or offline, retained.
    void publishAvailability(const QString &serial, bool online);
    // Home Assistant discovery configs (retained) of the unit's temperature, humidity and dew
    // point sensors.
    void publishDiscovery(const QString &serial, const QString &model, const QString &firmware);

    bool connected() const { return isConnected; }
    int queued() const { return static_cast<int>(queue.size()); }
    QString gatewayTopic() const;

    // A line for standard error: the broker lost, back (with the gap and the messages dropped).
    std::function<void(const QString &)> status;

private:
    struct Message {
        QByteArray topic;
        QByteArray payload;
        bool retain = false;
    };
    void publish(const QByteArray &topic, const QByteArray &payload, bool retain);
    void enqueue(Message message);
    void flushQueue();
    void pump();
    void watchSocket();
    void lost(int rc);
    void scheduleReconnect();
    void reconnect();
    void onConnect(int rc);
    void onDisconnect(int rc);
    void say(const QString &text);

    static void connectCallback(mosquitto *, void *self, int rc);
    static void disconnectCallback(mosquitto *, void *self, int rc);

    MqttSettings settings;
    mosquitto *client = nullptr;
    std::unique_ptr<QSocketNotifier> readNotifier;
    std::unique_ptr<QSocketNotifier> writeNotifier;
    QTimer loopTimer;
    QTimer reconnectTimer;
    Backoff backoff;
    std::deque<Message> queue;
    bool isConnected = false;
    bool stopping = false;
    int connackCode = -1; // the broker's answer to the last connect, -1 while none came
    bool lostSaid = false;
    QElapsedTimer gap;
    qint64 dropped = 0;
};

#endif
