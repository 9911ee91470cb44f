#include "tests/support/mqtt_broker.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMutexLocker>
#include <QThread>

#include <mosquitto.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A port nobody listens on now: bound to port 0, read, and released.
int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return port;
}

bool accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<quint16>(port));
    const bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return ok;
}

} // namespace

MqttBroker::MqttBroker(const QString &user, const QString &password, bool persistent)
    : listenPort(freePort()) {
    QFile conf(dir.filePath(QStringLiteral("mosquitto.conf")));
    if (!conf.open(QIODevice::WriteOnly)) {
        failure = QStringLiteral("cannot write the broker's configuration");
        return;
    }
    QByteArray text =
        QByteArrayLiteral("listener ") + QByteArray::number(listenPort) + " 127.0.0.1\nlog_dest stderr\n";
    text += persistent ? "persistence true\npersistence_location " + dir.path().toLocal8Bit() + "/\n"
                       : QByteArray("persistence false\n");
    if (::geteuid() == 0) {
        // Started as root it would become the mosquitto user, who cannot read this test's files.
        text += "user root\n";
    }
    if (user.isEmpty()) {
        text += "allow_anonymous true\n";
    } else {
        const QString passwords = dir.filePath(QStringLiteral("passwords"));
        if (QProcess::execute(QStringLiteral("mosquitto_passwd"), {"-b", "-c", passwords, user, password}) !=
            0) {
            failure = QStringLiteral("mosquitto_passwd failed");
            return;
        }
        text += "allow_anonymous false\npassword_file " + passwords.toLocal8Bit() + "\n";
    }
    conf.write(text);
}

int MqttBroker::otherFreePort() const {
    int port = 0;
    do {
        port = freePort();
    } while (port != 0 && (port == listenPort || port == tlsListenPort || port == ipv6ListenPort));
    return port;
}

bool MqttBroker::appendToConfiguration(const QByteArray &text) {
    QFile conf(dir.filePath(QStringLiteral("mosquitto.conf")));
    if (!conf.open(QIODevice::Append) || conf.write(text) != text.size()) {
        failure = QStringLiteral("cannot write the broker's configuration");
        return false;
    }
    return true;
}

bool MqttBroker::addTlsListener() {
    const QTemporaryDir *made = certificates(&failure);
    if (!made) {
        return false;
    }
    for (const char *name : {"ca.crt", "stranger.crt", "server.crt", "server.key"}) {
        const QString file = QString::fromLatin1(name);
        if (!QFile::copy(made->filePath(file), dir.filePath(file))) {
            failure = QStringLiteral("cannot copy %1 into the broker's directory").arg(file);
            return false;
        }
    }
    tlsListenPort = otherFreePort();
    return appendToConfiguration("listener " + QByteArray::number(tlsListenPort) + " 127.0.0.1\ncafile " +
                                 caFile().toLocal8Bit() + "\ncertfile " +
                                 dir.filePath(QStringLiteral("server.crt")).toLocal8Bit() + "\nkeyfile " +
                                 dir.filePath(QStringLiteral("server.key")).toLocal8Bit() + "\n");
}

const QTemporaryDir *MqttBroker::certificates(QString *failure) {
    // Made once for the whole test program: openssl's key making takes longer than the broker's
    // start.
    static QTemporaryDir made;
    static bool done = false;
    if (done) {
        return &made;
    }
    const auto file = [&](const char *name) { return made.filePath(QString::fromLatin1(name)); };
    const auto openssl = [&](const QStringList &arguments) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("openssl"), arguments);
        if (p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) {
            return true;
        }
        *failure = QStringLiteral("openssl %1 failed: %2")
                       .arg(arguments.first(), QString::fromLocal8Bit(p.readAll()) + p.errorString());
        return false;
    };
    const auto selfSigned = [&](const char *name, const char *subject) {
        return openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                        "-days", "2", "-subj", QString::fromLatin1(subject), "-keyout",
                        file(name) + QStringLiteral(".key"), "-out", file(name) + QStringLiteral(".crt")});
    };
    QFile extensions(file("server.ext"));
    if (!made.isValid() || !extensions.open(QIODevice::WriteOnly) ||
        extensions.write("subjectAltName=IP:127.0.0.1\n") <= 0) {
        *failure = QStringLiteral("cannot write the certificate's extensions");
        return nullptr;
    }
    extensions.close();
    done = selfSigned("ca", "/CN=test CA") && selfSigned("stranger", "/CN=stranger CA") &&
           openssl({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-subj",
                    "/CN=127.0.0.1", "-keyout", file("server.key"), "-out", file("server.csr")}) &&
           openssl({"x509", "-req", "-in", file("server.csr"), "-CA", file("ca.crt"), "-CAkey",
                    file("ca.key"), "-CAcreateserial", "-days", "2", "-extfile", file("server.ext"), "-out",
                    file("server.crt")});
    return done ? &made : nullptr;
}

void MqttBroker::addIpv6Listener() {
    ipv6ListenPort = otherFreePort();
    appendToConfiguration("listener " + QByteArray::number(ipv6ListenPort) + " ::1\n");
}

bool MqttBroker::allowOnly(const QByteArray &topicFilter) {
    QFile acl(dir.filePath(QStringLiteral("acl")));
    if (!acl.open(QIODevice::WriteOnly) || acl.write("topic readwrite " + topicFilter + "\n") <= 0) {
        failure = QStringLiteral("cannot write the broker's ACL");
        return false;
    }
    return appendToConfiguration("acl_file " + acl.fileName().toLocal8Bit() + "\n");
}

MqttBroker::~MqttBroker() {
    stop();
}

bool MqttBroker::start() {
    if (!failure.isEmpty()) {
        return false;
    }
    if (listenPort == 0) {
        failure = QStringLiteral("no free port");
        return false;
    }
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("mosquitto"), {"-c", dir.filePath(QStringLiteral("mosquitto.conf"))});
    if (!process.waitForStarted(5000)) {
        failure = QStringLiteral("mosquitto did not start: %1").arg(process.errorString());
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    while (!accepts(listenPort)) {
        if (clock.elapsed() > 5000 || process.state() == QProcess::NotRunning) {
            failure = QStringLiteral("mosquitto does not accept connections: %1")
                          .arg(QString::fromLocal8Bit(process.readAll()));
            return false;
        }
        QThread::msleep(20);
    }
    return true;
}

void MqttBroker::stop() {
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished();
        }
    }
}

MqttSubscriber::MqttSubscriber(int port, const QByteArray &clientId) {
    mosquitto_lib_init();
    client = mosquitto_new(clientId.isEmpty() ? nullptr : clientId.constData(), clientId.isEmpty(), this);
    mosquitto_message_callback_set(client, &MqttSubscriber::onMessage);
    mosquitto_connect_callback_set(client, &MqttSubscriber::onConnect);
    mosquitto_subscribe_callback_set(client, &MqttSubscriber::onSubscribe);
    mosquitto_reconnect_delay_set(client, 1, 1, false);
    mosquitto_connect_async(client, "127.0.0.1", port, 30);
    mosquitto_loop_start(client);
}

MqttSubscriber::~MqttSubscriber() {
    mosquitto_disconnect(client);
    mosquitto_loop_stop(client, true);
    mosquitto_destroy(client);
}

bool MqttSubscriber::connected() const {
    QMutexLocker lock(&mutex);
    return isConnected;
}

QVector<MqttMessage> MqttSubscriber::messages() const {
    QMutexLocker lock(&mutex);
    return received;
}

QVector<MqttMessage> MqttSubscriber::on(const QString &topic) const {
    QVector<MqttMessage> found;
    for (const MqttMessage &m : messages()) {
        if (m.topic == topic) {
            found << m;
        }
    }
    return found;
}

void MqttSubscriber::publish(const QByteArray &topic, const QByteArray &payload) {
    mosquitto_publish(client, nullptr, topic.constData(), payload.size(), payload.constData(), 1, false);
}

void MqttSubscriber::onMessage(mosquitto *, void *self, const mosquitto_message *message) {
    auto *subscriber = static_cast<MqttSubscriber *>(self);
    QMutexLocker lock(&subscriber->mutex);
    subscriber->received.append({QString::fromUtf8(message->topic),
                                 QByteArray(static_cast<const char *>(message->payload), message->payloadlen),
                                 message->retain});
}

void MqttSubscriber::onConnect(mosquitto *client, void *self, int rc) {
    auto *subscriber = static_cast<MqttSubscriber *>(self);
    if (rc == 0) {
        mosquitto_subscribe(client, nullptr, "#", 1);
    }
    QMutexLocker lock(&subscriber->mutex);
    subscriber->isConnected = false;
}

void MqttSubscriber::onSubscribe(mosquitto *, void *self, int, int, const int *) {
    auto *subscriber = static_cast<MqttSubscriber *>(self);
    QMutexLocker lock(&subscriber->mutex);
    subscriber->isConnected = true;
}
