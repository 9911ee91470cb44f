#include "cli/serve_bridge.h"

#include "cli/cli_args.h"
#include "core/device/register_map.h"
#include "core/modbus/mbap_frame.h"
#include "core/modbus/modbus_frame.h"

#include <QCommandLineParser>

namespace {

constexpr int kUnitAt = 6;
constexpr int kFunctionAt = 7;

// A word of a request that may be cut short: 0 past its end.
quint16 wordAt(const QByteArray &adu, int at) {
    return adu.size() < at + 2 ? 0 : frameWordAt(adu, at);
}

// The registers a request names: start and count (1 for a single write).
struct Span {
    int start = 0;
    int count = 0;
    bool covers(int reg) const { return reg >= start && reg < start + count; }
};

Span spanOf(const QByteArray &adu) {
    const quint8 function = static_cast<quint8>(adu.at(kFunctionAt));
    return {wordAt(adu, kFunctionAt + 1), function == Fn::Write ? 1 : wordAt(adu, kFunctionAt + 3)};
}

} // namespace

ServeBridge::ServeBridge(CliLine &cliLine, const Settings &options, QObject *parent)
    : QObject(parent), line(cliLine), settings(options) {
    server.setLimits(settings.limits);
    connect(&server, &MbapServer::request, this, &ServeBridge::onRequest);
    connect(&server, &MbapServer::requestDropped, this, &ServeBridge::onDropped);
    const auto say = [this](const QString &text) {
        if (status) {
            status(text, false);
        }
    };
    connect(&server, &MbapServer::clientConnected, this,
            [say](const QString &peer) { say(QStringLiteral("serve: client %1 connected").arg(peer)); });
    connect(&server, &MbapServer::clientLeft, this, [say](const QString &peer, const QString &reason) {
        say(QStringLiteral("serve: client %1 %2")
                .arg(peer, reason == QLatin1String("left") ? reason : QStringLiteral("dropped: ") + reason));
    });
    connect(&server, &MbapServer::clientRefused, this, [this, say](const QString &peer) {
        say(QStringLiteral("serve: client %1 refused: %2 clients already")
                .arg(peer)
                .arg(settings.limits.maxClients));
    });
}

bool ServeBridge::parseOptions(const QCommandLineParser &parser, Settings *out, QString *error) {
    const auto opt = [&](const char *name) { return parser.value(QString::fromLatin1(name)); };
    const auto isSet = [&](const char *name) { return parser.isSet(QString::fromLatin1(name)); };
    if (!isSet("serve")) {
        for (const char *name : {"serve-clients", "serve-cache", "serve-writes", "serve-idle"}) {
            if (isSet(name)) {
                *error = QStringLiteral("--%1 goes with --serve").arg(QLatin1String(name));
                return false;
            }
        }
        return true;
    }
    QHostAddress host;
    quint16 port = 0;
    if (!MbapServer::parseAddress(opt("serve"), &host, &port, error)) {
        *error = QStringLiteral("--serve: ") + *error;
        return false;
    }
    out->listen = opt("serve");
    if ((isSet("serve-clients") && !CliArgs::number(QStringLiteral("serve-clients"), opt("serve-clients"), 1,
                                                    256, &out->limits.maxClients, error)) ||
        (isSet("serve-cache") && !CliArgs::number(QStringLiteral("serve-cache"), opt("serve-cache"), 0,
                                                  3600000, &out->cacheMs, error)) ||
        (isSet("serve-idle") && !CliArgs::number(QStringLiteral("serve-idle"), opt("serve-idle"), 1, 86400,
                                                 &out->limits.idleSeconds, error))) {
        return false;
    }
    if (isSet("serve-writes")) {
        // A bare --serve-writes comes as "safe" (see zrctl's main).
        if (opt("serve-writes") == QLatin1String("safe")) {
            out->writes = Writes::Safe;
        } else if (opt("serve-writes") == QLatin1String("all")) {
            out->writes = Writes::All;
        } else {
            *error = QStringLiteral("--serve-writes: alone, or --serve-writes=all, not '%1'")
                         .arg(opt("serve-writes"));
            return false;
        }
    }
    return true;
}

bool ServeBridge::listen(QString *error) {
    if (!server.listen(settings.listen, error)) {
        *error = QStringLiteral("--serve: ") + *error;
        return false;
    }
    return true;
}

void ServeBridge::livePolled(int address, const QByteArray &replyFrame) {
    if (settings.cacheMs <= 0) {
        return;
    }
    Cached &entry = cache[address];
    entry.frame = replyFrame;
    entry.age.start();
}

quint8 ServeBridge::refusal(const QByteArray &adu) const {
    if (adu.size() <= kFunctionAt) {
        return IllegalFunction;
    }
    if (!settings.addresses.contains(static_cast<quint8>(adu.at(kUnitAt)))) {
        return TargetFailed;
    }
    const quint8 function = static_cast<quint8>(adu.at(kFunctionAt));
    const bool read = function >= 0x01 && function <= 0x04;
    const bool write = function == Fn::Write || function == Fn::WriteBlock;
    // Reads go through; of the writes only the two the transmitters know, and those by the policy.
    if (!read && (!write || settings.writes == Writes::None)) {
        return IllegalFunction;
    }
    // A request whose length does not fit its function would leave the units on the bus unable
    // to tell where it ends: it never goes out.
    const int pdu = adu.size() - Mbap::HeaderLength;
    const bool shaped = function == Fn::WriteBlock
                            ? pdu >= 6 && static_cast<quint8>(adu.at(kFunctionAt + 5)) == pdu - 6 &&
                                  wordAt(adu, kFunctionAt + 3) * 2 == pdu - 6
                            : pdu == 5;
    if (!shaped) {
        return IllegalDataValue;
    }
    const Span span = spanOf(adu);
    // A new address or rate would cut the unit off the gateway.
    if (write && settings.writes == Writes::Safe &&
        (span.covers(Reg::SlaveAddress) || span.covers(Reg::BaudCode))) {
        return IllegalFunction;
    }
    return 0;
}

QByteArray ServeBridge::fromCache(const QByteArray &adu) const {
    if (settings.cacheMs <= 0 || static_cast<quint8>(adu.at(kFunctionAt)) != Fn::Read || adu.size() != 12) {
        return QByteArray();
    }
    const auto it = cache.constFind(static_cast<quint8>(adu.at(kUnitAt)));
    const Span span = spanOf(adu);
    if (it == cache.cend() || it->age.elapsed() >= settings.cacheMs || span.count < 1 ||
        span.start < Reg::LiveHundredths ||
        span.start + span.count > Reg::LiveHundredths + Reg::LiveBlockCount) {
        return QByteArray();
    }
    // The poll's answer: address, function, byte count, the block's registers, CRC.
    const QByteArray values = it->frame.mid(3 + 2 * (span.start - Reg::LiveHundredths), 2 * span.count);
    QByteArray rtu;
    rtu.append(adu.at(kUnitAt));
    rtu.append(static_cast<char>(Fn::Read));
    rtu.append(static_cast<char>(values.size()));
    rtu.append(values);
    appendCrc(rtu);
    return Mbap::wrap(rtu, Mbap::transactionId(adu));
}

void ServeBridge::onRequest(quint64 id, const QString &peer, const QByteArray &adu) {
    if (const quint8 code = refusal(adu)) {
        answer(id, peer, Mbap::exception(adu, code),
               QStringLiteral("refused, exception 0x%1").arg(code, 2, 16, QLatin1Char('0')));
        return;
    }
    const QByteArray cached = fromCache(adu);
    if (!cached.isEmpty()) {
        answer(id, peer, cached, QStringLiteral("from the latest poll"));
        return;
    }
    LineReply *reply = line.modbus().send(Mbap::unwrap(adu));
    forwarded.insert(id, reply);
    connect(reply, &LineReply::finished, this, [this, id, peer, adu, reply] {
        reply->deleteLater();
        if (forwarded.take(id).isNull()) {
            return; // the client left: the reply is discarded
        }
        switch (reply->outcome()) {
        case LineReply::Outcome::Answer:
        case LineReply::Outcome::Exception:
            answer(id, peer, Mbap::wrap(reply->frame(), Mbap::transactionId(adu)),
                   reply->outcome() == LineReply::Outcome::Answer
                       ? QStringLiteral("answered")
                       : QStringLiteral("exception from the unit"));
            break;
        case LineReply::Outcome::NoReply:
            answer(id, peer, Mbap::exception(adu, TargetFailed), QStringLiteral("no reply, exception 0x0b"));
            break;
        default:
            answer(id, peer, Mbap::exception(adu, PathUnavailable),
                   QStringLiteral("port lost, exception 0x0a"));
            break;
        }
    });
}

void ServeBridge::onDropped(quint64 id) {
    const QPointer<LineReply> reply = forwarded.take(id);
    // Still waiting for the line: taken out of its queue; on the wire: its answer is discarded.
    if (reply) {
        line.modbus().cancel(reply);
    }
}

void ServeBridge::answer(quint64 id, const QString &peer, const QByteArray &adu, const QString &how) {
    if (status) {
        status(QStringLiteral("serve %1 tid %2 unit %3 function 0x%4: %5")
                   .arg(peer)
                   .arg(Mbap::transactionId(adu))
                   .arg(adu.size() > kUnitAt ? static_cast<quint8>(adu.at(kUnitAt)) : 0)
                   .arg(adu.size() > kFunctionAt ? static_cast<quint8>(adu.at(kFunctionAt)) & 0x7F : 0, 2, 16,
                        QLatin1Char('0'))
                   .arg(how),
               true);
    }
    server.reply(id, adu);
}
