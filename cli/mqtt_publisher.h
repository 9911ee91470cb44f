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
#include <map>
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
    QString discoveryPrefix = QStringLiteral("homeassistant");
    QString clientId;
    int queueLimit = 10000;
    int reconnectFirstMs = 500;
    int reconnectMaxMs = 30000;

    // Reads mqtt://HOST[:PORT] or mqtts://HOST[:PORT], HOST a name, an IPv4 address or an IPv6
    // address in brackets; false with one line in *error.
    bool setUrl(const QString &url, QString *error);
};

// The gateway's MQTT client (MQTT 5, or 3.1.1 with a broker that has no 5), on libmosquitto driven
// from the Qt event loop of this thread (no thread of its own): it connects, keeps the gateway's
// availability (online, offline at a normal end, offline as the last will when the process dies),
// publishes each unit's state, availability and discovery configs, and while the broker is away
// keeps messages in memory up to a limit, oldest dropped first, reconnecting with a growing delay.
// What retrying cannot mend (a certificate that fails verification, a TLS or plain port answered
// with the other protocol, a publish the broker denies) is said once and makes failed() true; after
// a TLS or port error the broker is no longer tried, after a denied publish the others go on.
class MqttPublisher : public QObject {
    Q_OBJECT

public:
    explicit MqttPublisher(const MqttSettings &settings, QObject *parent = nullptr);
    ~MqttPublisher() override;

    // Connects, and calls `ready` from the event loop at the broker's answer or after `timeoutMs`:
    // with the reason when the broker refuses the connection (credentials, client id), else with
    // an empty text. A broker that is not there yet is not an error: the publisher keeps trying
    // and queues meanwhile.
    void start(int timeoutMs, const std::function<void(const QString &error)> &ready);
    // Publishes the gateway's offline and, once the broker has acknowledged every message (or
    // `timeoutMs` passed), disconnects cleanly, so the broker does not send the last will; says
    // how many messages never reached the broker, then calls `done` from the event loop.
    void stop(int timeoutMs, const std::function<void()> &done);

    // PREFIX/<unit>/state, QoS 1, not retained.
    void publishState(const QString &unit, const QJsonObject &state);
    // PREFIX/<unit>/availability: online or offline, retained.
    void publishAvailability(const QString &unit, bool online);
    // Home Assistant discovery configs (retained) of the unit's temperature, humidity and dew
    // point sensors. `unit`: the unit's topic level (its serial number, unless another unit has that one);
    // `expireSeconds`: how long a reading stays valid on the dashboard.
    void publishDiscovery(const QString &unit, const QString &serial, const QString &model,
                          const QString &firmware, int expireSeconds);

    bool connected() const { return isConnected; }
    int queued() const { return static_cast<int>(queue.size()); }
    // An error retrying cannot mend was met (said through `status`).
    bool failed() const { return !failure.isEmpty(); }
    // Messages that never reached the broker: dropped from the full queue, waiting in it, or sent
    // and never acknowledged.
    qint64 undelivered() const;
    QString gatewayTopic() const;

    // A line for standard error: the broker lost, back (with the gap and the messages dropped).
    std::function<void(const QString &)> status;
    // Each retained PREFIX/<unit>/availability the broker holds, as read back at every connect:
    // the units a former run left online.
    std::function<void(const QString &unit, bool online)> retainedAvailability;

private:
    struct Message {
        QByteArray topic;
        QByteArray payload;
        bool retain = false;
    };
    bool connectTo(QString *error);
    // Ends a start or a stop whose wait is over.
    void settle();
    void disconnectNow();
    void publish(const QByteArray &topic, const QByteArray &payload, bool retain);
    void enqueue(Message message);
    void flushQueue();
    void pump();
    void watchSocket();
    // `reason` when the library's code for `rc` does not say it.
    void lost(int rc, const QString &reason = QString());
    // For the next connection.
    void useV311();
    void scheduleReconnect();
    void reconnect();
    void onConnect(int rc);
    void onDisconnect(int rc);
    void onPublished(int mid, int reasonCode);
    void onMessage(const QByteArray &topic, const QByteArray &payload, bool retained);
    // An error retrying cannot mend: said once; `giveUp` closes the connection for good.
    void fail(const QString &cause, bool giveUp);
    QString brokerName() const;
    void say(const QString &text);

    static void connectCallback(mosquitto *, void *self, int rc, int flags, const struct mqtt5__property *);
    static void disconnectCallback(mosquitto *, void *self, int rc, const struct mqtt5__property *);
    static void publishCallback(mosquitto *, void *self, int mid, int reasonCode,
                                const struct mqtt5__property *);
    static void messageCallback(mosquitto *, void *self, const struct mosquitto_message *message,
                                const struct mqtt5__property *);
    static void logCallback(mosquitto *, void *self, int level, const char *text);

    MqttSettings settings;
    mosquitto *client = nullptr;
    std::unique_ptr<QSocketNotifier> readNotifier;
    std::unique_ptr<QSocketNotifier> writeNotifier;
    QTimer loopTimer;
    QTimer reconnectTimer;
    QTimer startTimer;
    QTimer stopTimer;
    std::function<void(const QString &)> whenStarted;
    std::function<void()> whenStopped;
    Backoff backoff;
    std::deque<Message> queue;
    bool isConnected = false;
    bool stopping = false;
    int connackCode = -1; // the broker's answer to the last connect, -1 while none came
    bool lostSaid = false;
    bool everConnected = false;
    int closedUnanswered = 0; // connections the broker closed before its answer, in a row
    QElapsedTimer gap;
    QElapsedTimer connectClock; // since the last connection attempt
    qint64 dropped = 0;         // since the broker was lost
    qint64 droppedTotal = 0;    // in the whole run
    // Sent and not yet acknowledged: message id and topic.
    std::map<int, QByteArray> inFlight;
    QString failure;
    QString lastTlsError; // the library's last OpenSSL line: the cause of a TLS failure
    bool v5 = true;
    int attempt = 0;          // connections tried
    bool retryInV311 = false; // the broker has no MQTT 5: the next connection is in 3.1.1, at once
};

#endif
