#include "cli/mqtt_publisher.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr int kLoopMs = 100;
const char *const kDiscoveryPrefix = "homeassistant";

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
    static const QRegularExpression form(QStringLiteral("^(mqtts?)://([^:/\\s]+)(?::(\\d{1,5}))?/?$"));
    const QRegularExpressionMatch m = form.match(url);
    const int givenPort = m.captured(3).isEmpty() ? 0 : m.captured(3).toInt();
    if (!m.hasMatch() || givenPort > 65535 || (!m.captured(3).isEmpty() && givenPort == 0)) {
        *error =
            QStringLiteral("--mqtt: expected mqtt://HOST[:PORT] or mqtts://HOST[:PORT], not '%1'").arg(url);
        return false;
    }
    tls = m.captured(1) == QLatin1String("mqtts");
    host = m.captured(2);
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

bool MqttPublisher::start(int timeoutMs, QString *error) {
    client = mosquitto_new(settings.clientId.toUtf8().constData(), true, this);
    if (!client) {
        *error = QStringLiteral("--mqtt: cannot make an MQTT client: %1").arg(reasonOf(MOSQ_ERR_ERRNO));
        return false;
    }
    mosquitto_connect_callback_set(client, &MqttPublisher::connectCallback);
    mosquitto_disconnect_callback_set(client, &MqttPublisher::disconnectCallback);
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
    const int rc =
        mosquitto_connect_async(client, settings.host.toUtf8().constData(), settings.port, kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        lost(rc);
        return true;
    }
    watchSocket();
    // The broker's answer decides: refused credentials end the run here, a broker that does not
    // answer yet is tried again and again.
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [&] {
        if (connackCode != -1 || lostSaid) {
            loop.quit();
        }
    });
    timeout.start(timeoutMs);
    poll.start(10);
    loop.exec();
    if (connackCode > 0) {
        *error = QStringLiteral("--mqtt: the broker %1:%2 refused the connection: %3")
                     .arg(settings.host)
                     .arg(settings.port)
                     .arg(QString::fromUtf8(mosquitto_connack_string(connackCode)));
        return false;
    }
    return true;
}

void MqttPublisher::stop(int timeoutMs) {
    if (!client) {
        return;
    }
    if (isConnected) {
        publish(gatewayTopic().toUtf8(), "offline", true);
    }
    // What is on its way goes out before the clean disconnect.
    QElapsedTimer clock;
    clock.start();
    while (isConnected && clock.elapsed() < timeoutMs && mosquitto_want_write(client)) {
        mosquitto_loop(client, 10, 1);
    }
    stopping = true;
    if (isConnected) {
        mosquitto_disconnect(client);
        mosquitto_loop(client, 10, 1);
    }
    loopTimer.stop();
    reconnectTimer.stop();
    readNotifier.reset();
    writeNotifier.reset();
    mosquitto_destroy(client);
    client = nullptr;
    isConnected = false;
}

void MqttPublisher::publishState(const QString &serial, const QJsonObject &state) {
    publish((settings.topicPrefix + QLatin1Char('/') + serial + QStringLiteral("/state")).toUtf8(),
            json(state), false);
}

void MqttPublisher::publishAvailability(const QString &serial, bool online) {
    publish((settings.topicPrefix + QLatin1Char('/') + serial + QStringLiteral("/availability")).toUtf8(),
            online ? "online" : "offline", true);
}

void MqttPublisher::publishDiscovery(const QString &serial, const QString &model, const QString &firmware) {
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
    const QString node = QStringLiteral("zr_") + serial;
    const QString base = settings.topicPrefix + QLatin1Char('/') + serial;
    QJsonObject device;
    device[QStringLiteral("identifiers")] = QJsonArray{node};
    device[QStringLiteral("name")] = model + QLatin1Char(' ') + serial;
    device[QStringLiteral("model")] = model;
    device[QStringLiteral("serial_number")] = serial;
    device[QStringLiteral("sw_version")] = firmware;
    const QJsonArray availability{
        QJsonObject{{QStringLiteral("topic"), base + QStringLiteral("/availability")}},
        QJsonObject{{QStringLiteral("topic"), gatewayTopic()}}};
    for (const Sensor &sensor : sensors) {
        QJsonObject config;
        config[QStringLiteral("name")] = QString::fromUtf8(sensor.name);
        config[QStringLiteral("unique_id")] = node + QLatin1Char('_') + QLatin1String(sensor.key);
        config[QStringLiteral("state_topic")] = base + QStringLiteral("/state");
        config[QStringLiteral("value_template")] =
            QStringLiteral("{{ value_json.%1 }}").arg(QLatin1String(sensor.field));
        config[QStringLiteral("unit_of_measurement")] = QString::fromUtf8(sensor.unit);
        config[QStringLiteral("device_class")] = QLatin1String(sensor.deviceClass);
        config[QStringLiteral("state_class")] = QStringLiteral("measurement");
        config[QStringLiteral("availability")] = availability;
        config[QStringLiteral("availability_mode")] = QStringLiteral("all");
        config[QStringLiteral("device")] = device;
        publish(QStringLiteral("%1/sensor/%2/%3/config")
                    .arg(QLatin1String(kDiscoveryPrefix), node, QLatin1String(sensor.key))
                    .toUtf8(),
                json(config), true);
    }
}

void MqttPublisher::publish(const QByteArray &topic, const QByteArray &payload, bool retain) {
    if (isConnected && queue.empty() &&
        mosquitto_publish(client, nullptr, topic.constData(), payload.size(), payload.constData(), 1,
                          retain) == MOSQ_ERR_SUCCESS) {
        pump();
        return;
    }
    enqueue({topic, payload, retain});
}

void MqttPublisher::enqueue(Message message) {
    if (settings.queueLimit <= 0) {
        ++dropped;
        return;
    }
    while (static_cast<int>(queue.size()) >= settings.queueLimit) {
        queue.pop_front();
        ++dropped;
    }
    queue.push_back(std::move(message));
}

void MqttPublisher::flushQueue() {
    while (isConnected && !queue.empty()) {
        const Message &m = queue.front();
        if (mosquitto_publish(client, nullptr, m.topic.constData(), m.payload.size(), m.payload.constData(),
                              1, m.retain) != MOSQ_ERR_SUCCESS) {
            return;
        }
        queue.pop_front();
    }
    // Called from the library's callbacks too: the loop runs again from the event loop, not
    // from inside itself.
    QTimer::singleShot(0, this, &MqttPublisher::pump);
}

void MqttPublisher::pump() {
    if (!client || stopping || reconnectTimer.isActive()) {
        return;
    }
    const int rc = mosquitto_loop(client, 0, 1);
    if (rc != MOSQ_ERR_SUCCESS) {
        lost(rc);
        return;
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

void MqttPublisher::lost(int rc) {
    isConnected = false;
    readNotifier.reset();
    writeNotifier.reset();
    if (stopping || reconnectTimer.isActive()) {
        return;
    }
    if (!lostSaid) {
        lostSaid = true;
        gap.start();
        say(QStringLiteral("MQTT broker %1:%2 lost: %3; messages wait in memory (at most %4)")
                .arg(settings.host)
                .arg(settings.port)
                .arg(reasonOf(rc))
                .arg(settings.queueLimit));
    }
    scheduleReconnect();
}

void MqttPublisher::scheduleReconnect() {
    reconnectTimer.start(backoff.nextDelayMs());
}

void MqttPublisher::reconnect() {
    connackCode = -1;
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
        // Refused: said at start by start(); later on, tried again like a broker away.
        isConnected = false;
        return;
    }
    isConnected = true;
    backoff.reset();
    const QByteArray online("online");
    const QByteArray topic = gatewayTopic().toUtf8();
    mosquitto_publish(client, nullptr, topic.constData(), online.size(), online.constData(), 1, true);
    if (lostSaid) {
        QString text = QStringLiteral("MQTT broker %1:%2 back after %3 s")
                           .arg(settings.host)
                           .arg(settings.port)
                           .arg(QString::number(static_cast<double>(gap.elapsed()) / 1000.0, 'f', 1));
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
    if (stopping) {
        return;
    }
    // Called from inside the loop: the reconnect waits for the timer, never recursing here.
    QTimer::singleShot(0, this, [this, rc] { lost(rc == 0 ? MOSQ_ERR_CONN_LOST : rc); });
    isConnected = false;
}

void MqttPublisher::say(const QString &text) {
    if (status) {
        status(text);
    }
}

void MqttPublisher::connectCallback(mosquitto *, void *self, int rc) {
    static_cast<MqttPublisher *>(self)->onConnect(rc);
}

void MqttPublisher::disconnectCallback(mosquitto *, void *self, int rc) {
    static_cast<MqttPublisher *>(self)->onDisconnect(rc);
}
