#include "cli/mqtt_publisher.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QScopeGuard>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr int kLoopMs = 100;
// A broker that accepted the connection and has not answered it by then is tried again.
constexpr int kAnswerMs = 10000;

void initLibrary() {
    static const bool done = [] {
        mosquitto_lib_init();
        return true;
    }();
    (void)done;
}

QByteArray json(const QJsonObject &object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString reasonOf(int rc) {
    return rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(errno))
                                : QString::fromUtf8(mosquitto_strerror(rc));
}

} // namespace

bool MqttSettings::setUrl(const QString &url, QString *error) {
    // A user and password in the URL would stand in the process list for every local user to
    // read; refused without repeating them.
    if (url.contains(QLatin1Char('@'))) {
        *error = QStringLiteral("--mqtt: no user or password in the URL; give --mqtt-user and "
                                "--mqtt-password-file");
        return false;
    }
    static const QRegularExpression form(
        QStringLiteral("^(mqtts?)://(?:\\[([0-9A-Fa-f:.]+)\\]|([^:/\\s\\[\\]]+))(?::(\\d{1,5}))?/?$"));
    const QRegularExpressionMatch m = form.match(url);
    const int givenPort = m.captured(4).isEmpty() ? 0 : m.captured(4).toInt();
    if (!m.hasMatch() || givenPort > 65535 || (!m.captured(4).isEmpty() && givenPort == 0)) {
        *error =
            QStringLiteral("--mqtt: expected mqtt://HOST[:PORT] or mqtts://HOST[:PORT], not '%1'").arg(url);
        return false;
    }
    tls = m.captured(1) == QLatin1String("mqtts");
    host = m.captured(2).isEmpty() ? m.captured(3) : m.captured(2);
    port = givenPort != 0 ? givenPort : (tls ? 8883 : 1883);
    return true;
}

MqttPublisher::MqttPublisher(const MqttSettings &mqttSettings, QObject *parent)
    : QObject(parent), settings(mqttSettings),
      backoff(mqttSettings.reconnectFirstMs, mqttSettings.reconnectMaxMs) {
    initLibrary();
    if (settings.clientId.isEmpty()) {
        char host[256] = {};
        ::gethostname(host, sizeof host - 1);
        settings.clientId = QStringLiteral("zrctl-%1-%2").arg(QString::fromLocal8Bit(host)).arg(::getpid());
    }
    loopTimer.setInterval(kLoopMs);
    connect(&loopTimer, &QTimer::timeout, this, &MqttPublisher::pump);
    reconnectTimer.setSingleShot(true);
    connect(&reconnectTimer, &QTimer::timeout, this, &MqttPublisher::reconnect);
    startTimer.setSingleShot(true);
    connect(&startTimer, &QTimer::timeout, this, &MqttPublisher::settle);
    stopTimer.setSingleShot(true);
    connect(&stopTimer, &QTimer::timeout, this, &MqttPublisher::settle);
}

MqttPublisher::~MqttPublisher() {
    readNotifier.reset();
    writeNotifier.reset();
    if (client) {
        // Without a DISCONNECT the broker sends the last will: the gateway is offline.
        mosquitto_destroy(client);
    }
}

QString MqttPublisher::gatewayTopic() const {
    return settings.topicPrefix + QStringLiteral("/gateway/availability");
}

QString MqttPublisher::brokerName() const {
    return (settings.host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]:%2") : QStringLiteral("%1:%2"))
        .arg(settings.host)
        .arg(settings.port);
}

qint64 MqttPublisher::undelivered() const {
    return droppedTotal + static_cast<qint64>(queue.size()) + static_cast<qint64>(inFlight.size());
}

void MqttPublisher::start(int timeoutMs, const std::function<void(const QString &error)> &ready) {
    // The broker's answer decides: refused credentials end the run, a broker that does not answer
    // yet is tried again and again. The wait is on before the connection can move.
    startTimer.start(timeoutMs);
    whenStarted = ready;
    QString error;
    if (!connectTo(&error)) {
        startTimer.stop();
        whenStarted = nullptr;
        QTimer::singleShot(0, this, [ready, error] { ready(error); });
        return;
    }
    settle();
}

bool MqttPublisher::connectTo(QString *error) {
    client = mosquitto_new(settings.clientId.toUtf8().constData(), true, this);
    if (!client) {
        *error = QStringLiteral("--mqtt: cannot make an MQTT client: %1").arg(reasonOf(MOSQ_ERR_ERRNO));
        return false;
    }
    mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_connect_v5_callback_set(client, &MqttPublisher::connectCallback);
    mosquitto_disconnect_v5_callback_set(client, &MqttPublisher::disconnectCallback);
    mosquitto_publish_v5_callback_set(client, &MqttPublisher::publishCallback);
    mosquitto_message_v5_callback_set(client, &MqttPublisher::messageCallback);
    mosquitto_log_callback_set(client, &MqttPublisher::logCallback);
    if (!settings.user.isEmpty()) {
        mosquitto_username_pw_set(client, settings.user.toUtf8().constData(),
                                  settings.password.isEmpty() ? nullptr
                                                              : settings.password.toUtf8().constData());
    }
    const QByteArray will = gatewayTopic().toUtf8();
    mosquitto_will_set(client, will.constData(), 7, "offline", 1, true);
    if (settings.tls) {
        const int rc = settings.caFile.isEmpty()
                           ? mosquitto_int_option(client, MOSQ_OPT_TLS_USE_OS_CERTS, 1)
                           : mosquitto_tls_set(client, settings.caFile.toLocal8Bit().constData(), nullptr,
                                               nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            *error = QStringLiteral("--mqtt-ca: cannot use %1: %2")
                         .arg(settings.caFile.isEmpty() ? QStringLiteral("the system's CA store")
                                                        : settings.caFile,
                              reasonOf(rc));
            return false;
        }
    }
    loopTimer.start();
    connectClock.start();
    const int rc =
        mosquitto_connect_async(client, settings.host.toUtf8().constData(), settings.port, kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        lost(rc);
        return true;
    }
    watchSocket();
    return true;
}

void MqttPublisher::settle() {
    if (whenStarted && (connackCode != -1 || lostSaid || failed() || !startTimer.isActive())) {
        startTimer.stop();
        QString error;
        if (connackCode > 0) {
            error = QStringLiteral("--mqtt: the broker %1 refused the connection: %2")
                        .arg(brokerName(), QString::fromUtf8(v5 ? mosquitto_reason_string(connackCode)
                                                                : mosquitto_connack_string(connackCode)));
        }
        const std::function<void(const QString &)> ready = whenStarted;
        whenStarted = nullptr;
        QTimer::singleShot(0, this, [ready, error] { ready(error); });
    }
    if (!whenStopped) {
        return;
    }
    // Everything goes out and is acknowledged before the DISCONNECT: a socket closed with an
    // acknowledgement still unread is reset, and the broker may then lose the DISCONNECT and
    // send the last will.
    if (client && isConnected && stopTimer.isActive() && (!queue.empty() || !inFlight.empty())) {
        // The acknowledgements wake the socket's notifier; only what still waits is sent now.
        if (!queue.empty()) {
            flushQueue();
        }
        return;
    }
    stopTimer.stop();
    const std::function<void()> done = whenStopped;
    whenStopped = nullptr;
    // From the event loop: this may run in a slot of the socket's own notifier.
    QTimer::singleShot(0, this, [this, done] {
        disconnectNow();
        done();
    });
}

void MqttPublisher::stop(int timeoutMs, const std::function<void()> &done) {
    whenStarted = nullptr;
    startTimer.stop();
    // The wait is on before anything is published: publishing may pump the connection.
    stopTimer.start(timeoutMs);
    whenStopped = done;
    if (client && isConnected) {
        publish(gatewayTopic().toUtf8(), "offline", true);
    }
    settle();
}

void MqttPublisher::disconnectNow() {
    if (client) {
        stopping = true;
        if (isConnected) {
            // The library closes the socket once the DISCONNECT is written.
            mosquitto_disconnect(client);
        }
        loopTimer.stop();
        reconnectTimer.stop();
        readNotifier.reset();
        writeNotifier.reset();
        mosquitto_destroy(client);
        client = nullptr;
        isConnected = false;
    }
    const qint64 lostMessages = undelivered();
    say(lostMessages == 0
            ? QStringLiteral("MQTT: every message reached the broker")
            : QStringLiteral(
                  "MQTT: %1 message(s) never reached the broker (%2 dropped or refused, %3 waiting, "
                  "%4 sent and not acknowledged)")
                  .arg(lostMessages)
                  .arg(droppedTotal)
                  .arg(queue.size())
                  .arg(inFlight.size()));
}

void MqttPublisher::publishState(const QString &unit, const QJsonObject &state) {
    publish((settings.topicPrefix + QLatin1Char('/') + unit + QStringLiteral("/state")).toUtf8(), json(state),
            false);
}

void MqttPublisher::publishAvailability(const QString &unit, bool online) {
    publish((settings.topicPrefix + QLatin1Char('/') + unit + QStringLiteral("/availability")).toUtf8(),
            online ? "online" : "offline", true);
}

void MqttPublisher::publishDiscovery(const QString &unit, const QString &serial, const QString &model,
                                     const QString &firmware, int expireSeconds) {
    struct Sensor {
        const char *key;
        const char *name;
        const char *field;
        const char *unit;
        const char *deviceClass;
    };
    static const Sensor sensors[] = {
        {"temperature", "Temperature", "temperature_c", "\u00b0C", "temperature"},
        {"humidity", "Humidity", "humidity_pct", "%", "humidity"},
        {"dewpoint", "Dew point", "dewpoint_c", "\u00b0C", "temperature"},
    };
    // The topic prefix is part of every id: two gateways with their own prefixes never share a
    // device or an entity, whatever units they read.
    QString node = settings.topicPrefix + QLatin1Char('_') + unit;
    node.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]")), QStringLiteral("_"));
    const QString base = settings.topicPrefix + QLatin1Char('/') + unit;
    QJsonObject device;
    device[QStringLiteral("identifiers")] = QJsonArray{node};
    device[QStringLiteral("name")] = model + QLatin1Char(' ') + unit;
    device[QStringLiteral("model")] = model;
    device[QStringLiteral("serial_number")] = serial;
    device[QStringLiteral("sw_version")] = firmware;
    const QJsonObject origin{{QStringLiteral("name"), QStringLiteral("zrctl")},
                             {QStringLiteral("sw_version"), QStringLiteral(ZR_VERSION)}};
    const QJsonArray availability{
        QJsonObject{{QStringLiteral("topic"), base + QStringLiteral("/availability")}},
        QJsonObject{{QStringLiteral("topic"), gatewayTopic()}}};
    for (const Sensor &sensor : sensors) {
        const QString id = node + QLatin1Char('_') + QLatin1String(sensor.key);
        QJsonObject config;
        config[QStringLiteral("name")] = QString::fromUtf8(sensor.name);
        config[QStringLiteral("unique_id")] = id;
        config[QStringLiteral("object_id")] = id;
        config[QStringLiteral("state_topic")] = base + QStringLiteral("/state");
        config[QStringLiteral("value_template")] =
            QStringLiteral("{{ value_json.%1 }}").arg(QLatin1String(sensor.field));
        config[QStringLiteral("unit_of_measurement")] = QString::fromUtf8(sensor.unit);
        config[QStringLiteral("device_class")] = QLatin1String(sensor.deviceClass);
        config[QStringLiteral("state_class")] = QStringLiteral("measurement");
        config[QStringLiteral("expire_after")] = expireSeconds;
        config[QStringLiteral("availability")] = availability;
        config[QStringLiteral("availability_mode")] = QStringLiteral("all");
        config[QStringLiteral("device")] = device;
        config[QStringLiteral("origin")] = origin;
        publish(QStringLiteral("%1/sensor/%2/%3/config")
                    .arg(settings.discoveryPrefix, node, QLatin1String(sensor.key))
                    .toUtf8(),
                json(config), true);
    }
}

void MqttPublisher::publish(const QByteArray &topic, const QByteArray &payload, bool retain) {
    int mid = 0;
    if (isConnected && queue.empty() &&
        mosquitto_publish(client, &mid, topic.constData(), payload.size(), payload.constData(), 1, retain) ==
            MOSQ_ERR_SUCCESS) {
        inFlight[mid] = topic;
        pump();
        return;
    }
    enqueue({topic, payload, retain});
}

void MqttPublisher::enqueue(Message message) {
    if (settings.queueLimit <= 0 || (failed() && !client)) {
        ++dropped;
        ++droppedTotal;
        return;
    }
    while (static_cast<int>(queue.size()) >= settings.queueLimit) {
        queue.pop_front();
        ++dropped;
        ++droppedTotal;
    }
    queue.push_back(std::move(message));
}

void MqttPublisher::flushQueue() {
    while (isConnected && !queue.empty()) {
        const Message &m = queue.front();
        int mid = 0;
        if (mosquitto_publish(client, &mid, m.topic.constData(), m.payload.size(), m.payload.constData(), 1,
                              m.retain) != MOSQ_ERR_SUCCESS) {
            return;
        }
        inFlight[mid] = m.topic;
        queue.pop_front();
    }
    // Called from the library's callbacks too: the loop runs again from the event loop, not
    // from inside itself.
    QTimer::singleShot(0, this, &MqttPublisher::pump);
}

void MqttPublisher::pump() {
    // Whatever this pass changed may end a start or a stop that waits for it.
    const auto settleAfter = qScopeGuard([this] { settle(); });
    if (!client || stopping || reconnectTimer.isActive()) {
        return;
    }
    const int rc = mosquitto_loop(client, 0, 1);
    if (rc != MOSQ_ERR_SUCCESS) {
        // A connection reset is a connection closed: before the broker's answer, a TLS port
        // spoken to in plain resets it or closes it, as the data it did not read happens to lie.
        lost(rc == MOSQ_ERR_ERRNO && errno == ECONNRESET ? MOSQ_ERR_CONN_LOST : rc, reasonOf(rc));
        return;
    }
    if (!isConnected && connackCode == -1 && client) {
        // Waiting for the broker's answer. Over TLS the library misses a connection that failed
        // (refused while the handshake waits), and the socket then reads as ready for ever.
        pollfd socket{mosquitto_socket(client), POLLIN, 0};
        if (socket.fd >= 0 && ::poll(&socket, 1, 0) == 1 && (socket.revents & (POLLHUP | POLLERR)) != 0) {
            int error = 0;
            socklen_t length = sizeof error;
            ::getsockopt(socket.fd, SOL_SOCKET, SO_ERROR, &error, &length);
            lost(error == ECONNRESET ? MOSQ_ERR_CONN_LOST : MOSQ_ERR_ERRNO,
                 error != 0 ? QString::fromLocal8Bit(std::strerror(error))
                            : QStringLiteral("the connection failed"));
            return;
        }
        if (connectClock.elapsed() > kAnswerMs) {
            lost(MOSQ_ERR_ERRNO,
                 QStringLiteral("no answer to the connection within %1 s").arg(kAnswerMs / 1000));
            return;
        }
    }
    if (writeNotifier) {
        writeNotifier->setEnabled(mosquitto_want_write(client));
    }
}

void MqttPublisher::watchSocket() {
    readNotifier.reset();
    writeNotifier.reset();
    const int fd = mosquitto_socket(client);
    if (fd < 0) {
        return;
    }
    readNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(readNotifier.get(), &QSocketNotifier::activated, this, &MqttPublisher::pump);
    writeNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(writeNotifier.get(), &QSocketNotifier::activated, this, &MqttPublisher::pump);
    writeNotifier->setEnabled(mosquitto_want_write(client));
}

void MqttPublisher::lost(int rc, const QString &reason) {
    isConnected = false;
    readNotifier.reset();
    writeNotifier.reset();
    if (stopping || reconnectTimer.isActive() || !client) {
        return;
    }
    // Retrying mends neither a TLS handshake that fails (a certificate that fails verification, a
    // plain port answering it) nor a broker that answers what is not MQTT (a TLS port spoken to
    // in plain). A TLS connection that breaks later is a broker away.
    if ((rc == MOSQ_ERR_TLS || rc == MOSQ_ERR_TLS_HANDSHAKE) && connackCode == -1) {
        const QString cause = lastTlsError.isEmpty() ? reasonOf(rc) : lastTlsError;
        fail(QStringLiteral("TLS failed: %1%2")
                 .arg(cause, cause.contains(QLatin1String("certificate"))
                                 ? QString()
                                 : QStringLiteral(" (a port without TLS? then mqtt://)")),
             true);
        return;
    }
    if ((rc == MOSQ_ERR_PROTOCOL || rc == MOSQ_ERR_MALFORMED_PACKET) && connackCode == -1 && v5) {
        // A broker without MQTT 5 may answer in 3.1.1 what this client cannot read.
        useV311();
    }
    if (retryInV311) {
        retryInV311 = false;
        reconnectTimer.start(0);
        return;
    }
    if ((rc == MOSQ_ERR_PROTOCOL || rc == MOSQ_ERR_MALFORMED_PACKET) && connackCode == -1) {
        fail(QStringLiteral("the answer to the connection is not MQTT (%1 port spoken to with%2 TLS?)")
                 .arg(settings.tls ? QStringLiteral("a plain") : QStringLiteral("a TLS"),
                      settings.tls ? QString() : QStringLiteral("out")),
             true);
        return;
    }
    // A TLS port spoken to in plain closes the connection without a word; a broker that does so
    // three times in a row is not one that is away.
    if (rc == MOSQ_ERR_CONN_LOST && connackCode == -1 && ++closedUnanswered >= 3) {
        fail(QStringLiteral("the broker closes the connection before answering it, %1 times in a row (%2)")
                 .arg(closedUnanswered)
                 .arg(settings.tls ? QStringLiteral("not allowed to connect?")
                                   : QStringLiteral("a TLS port? then mqtts://")),
             true);
        return;
    }
    if (rc == MOSQ_ERR_CONN_LOST && connackCode == -1) {
        // Tried again soon: a third close tells.
        reconnectTimer.start(100);
        return;
    }
    if (!lostSaid && connackCode <= 0) {
        // A refused connection has its own line (start(), or the broker's answer on a reconnect).
        lostSaid = true;
        gap.start();
        say(QStringLiteral("MQTT broker %1 lost: %2; messages wait in memory (at most %3)")
                .arg(brokerName(), reason.isEmpty() ? reasonOf(rc) : reason)
                .arg(settings.queueLimit));
    }
    scheduleReconnect();
}

void MqttPublisher::fail(const QString &cause, bool giveUp) {
    if (failure.isEmpty()) {
        failure = cause;
        say(QStringLiteral("MQTT broker %1: %2; %3readings go on to the other outputs")
                .arg(brokerName(), cause,
                     giveUp ? QStringLiteral("no more messages are sent, ") : QString()));
    }
    if (giveUp && client) {
        loopTimer.stop();
        reconnectTimer.stop();
        readNotifier.reset();
        writeNotifier.reset();
        isConnected = false;
        mosquitto_destroy(client);
        client = nullptr;
        // What waits or was never acknowledged will not reach the broker.
        droppedTotal += static_cast<qint64>(queue.size() + inFlight.size());
        queue.clear();
        inFlight.clear();
    }
}

void MqttPublisher::useV311() {
    // Publishes the broker denies then go unnoticed: 3.1.1 does not say.
    v5 = false;
    retryInV311 = true;
    mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
}

void MqttPublisher::scheduleReconnect() {
    reconnectTimer.start(backoff.nextDelayMs());
}

void MqttPublisher::reconnect() {
    ++attempt;
    connackCode = -1;
    connectClock.start();
    const int rc = mosquitto_reconnect_async(client);
    if (rc != MOSQ_ERR_SUCCESS) {
        scheduleReconnect();
        return;
    }
    watchSocket();
    pump();
}

void MqttPublisher::onConnect(int rc) {
    connackCode = rc;
    if (rc != 0) {
        isConnected = false;
        if (v5 && (rc == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION || rc == CONNACK_REFUSED_PROTOCOL_VERSION)) {
            // Not a refusal: the connection the broker closes now is made again in 3.1.1.
            connackCode = -1;
            useV311();
            return;
        }
        // Refused: said at start by start(); later on, said once and tried again like a broker
        // away.
        if (everConnected && !lostSaid) {
            lostSaid = true;
            gap.start();
            say(QStringLiteral("MQTT broker %1 refused the connection: %2")
                    .arg(brokerName(),
                         QString::fromUtf8(v5 ? mosquitto_reason_string(rc) : mosquitto_connack_string(rc))));
        }
        return;
    }
    isConnected = true;
    everConnected = true;
    closedUnanswered = 0;
    backoff.reset();
    const QByteArray online("online");
    const QByteArray topic = gatewayTopic().toUtf8();
    int mid = 0;
    if (mosquitto_publish(client, &mid, topic.constData(), online.size(), online.constData(), 1, true) ==
        MOSQ_ERR_SUCCESS) {
        inFlight[mid] = topic;
    }
    // What a former run left online: the broker sends the retained availabilities on subscribing
    // (not this client's own publishes).
    if (retainedAvailability) {
        const QByteArray units = (settings.topicPrefix + QStringLiteral("/+/availability")).toUtf8();
        if (v5) {
            mosquitto_subscribe_v5(client, nullptr, units.constData(), 1, MQTT_SUB_OPT_NO_LOCAL, nullptr);
        } else {
            mosquitto_subscribe(client, nullptr, units.constData(), 1);
        }
    }
    if (lostSaid) {
        QString text =
            QStringLiteral("MQTT broker %1 back after %2 s")
                .arg(brokerName(), QString::number(static_cast<double>(gap.elapsed()) / 1000.0, 'f', 1));
        if (dropped > 0) {
            text += QStringLiteral("; %1 message(s) dropped while it was away (--mqtt-queue %2)")
                        .arg(dropped)
                        .arg(settings.queueLimit);
        }
        say(text);
        lostSaid = false;
        dropped = 0;
    }
    flushQueue();
}

void MqttPublisher::onDisconnect(int rc) {
    isConnected = false;
    if (stopping) {
        return;
    }
    // Called from inside the loop: the reconnect waits for the timer, never recursing here. By
    // then the loop may have said it already and a new connection be under way: this one's end
    // is then old news.
    const int ofAttempt = attempt;
    QTimer::singleShot(0, this, [this, rc, ofAttempt] {
        if (ofAttempt == attempt) {
            lost(rc == 0 ? MOSQ_ERR_CONN_LOST : rc);
        }
    });
}

void MqttPublisher::onPublished(int mid, int reasonCode) {
    const auto it = inFlight.find(mid);
    if (it == inFlight.end()) {
        return;
    }
    const QByteArray topic = it->second;
    inFlight.erase(it);
    if (reasonCode >= 0x80) {
        // MQTT 5 says a publish the broker will not take (an ACL): retrying changes nothing.
        ++droppedTotal;
        fail(QStringLiteral("publishing to %1 is refused: %2")
                 .arg(QString::fromUtf8(topic), QString::fromUtf8(mosquitto_reason_string(reasonCode))),
             false);
    }
}

void MqttPublisher::onMessage(const QByteArray &topic, const QByteArray &payload, bool retained) {
    const QList<QByteArray> levels = topic.mid(settings.topicPrefix.toUtf8().size() + 1).split('/');
    if (!retained || levels.size() != 2 || levels.at(0) == "gateway" || !retainedAvailability) {
        return;
    }
    // Called from inside the library's loop: what it publishes goes out from the event loop.
    const QString unit = QString::fromUtf8(levels.at(0));
    const bool online = payload == "online";
    QTimer::singleShot(0, this, [this, unit, online] { retainedAvailability(unit, online); });
}

void MqttPublisher::say(const QString &text) {
    if (status) {
        status(text);
    }
}

void MqttPublisher::connectCallback(mosquitto *, void *self, int rc, int, const mosquitto_property *) {
    static_cast<MqttPublisher *>(self)->onConnect(rc);
}

void MqttPublisher::disconnectCallback(mosquitto *, void *self, int rc, const mosquitto_property *) {
    static_cast<MqttPublisher *>(self)->onDisconnect(rc);
}

void MqttPublisher::publishCallback(mosquitto *, void *self, int mid, int reasonCode,
                                    const mosquitto_property *) {
    static_cast<MqttPublisher *>(self)->onPublished(mid, reasonCode);
}

void MqttPublisher::messageCallback(mosquitto *, void *self, const mosquitto_message *message,
                                    const mosquitto_property *) {
    static_cast<MqttPublisher *>(self)->onMessage(
        QByteArray(message->topic),
        QByteArray(static_cast<const char *>(message->payload), message->payloadlen), message->retain);
}

void MqttPublisher::logCallback(mosquitto *, void *self, int level, const char *text) {
    // "OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify failed"
    static const QRegularExpression openSsl(
        QStringLiteral("^OpenSSL Error\\[\\d+\\]: (?:error:[0-9A-Fa-f]+:)?(.*)$"));
    const QRegularExpressionMatch m = openSsl.match(QString::fromUtf8(text));
    if (level == MOSQ_LOG_ERR && m.hasMatch()) {
        static_cast<MqttPublisher *>(self)->lastTlsError = m.captured(1);
    }
}
