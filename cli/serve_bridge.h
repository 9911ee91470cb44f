#ifndef ZR_CLI_SERVE_BRIDGE_H
#define ZR_CLI_SERVE_BRIDGE_H

#include "cli/cli_line.h"
#include "core/modbus/mbap_server.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVector>

#include <functional>

class LineReply;
class QCommandLineParser;

// The gateway's Modbus TCP face: each client request for a unit of the bus joins the line's own
// queue beside the watch's polls and its reply goes back with the client's transaction id. A unit
// not on the bus, a refused write, a silent unit or a lost port are answered with exceptions.
class ServeBridge : public QObject {
public:
    enum class Writes {
        None, // every write refused
        Safe, // writes allowed, except of the address and baud-rate registers
        All
    };
    struct Settings {
        QVector<int> addresses;
        // Reads of the live block answered from the latest poll when younger than this; 0: never.
        int cacheMs = 0;
        Writes writes = Writes::None;
        QString listen;
        MbapServer::Limits limits;
    };
    // Modbus exception codes a gateway answers with itself.
    enum Exception : quint8 {
        IllegalFunction = 0x01,
        IllegalDataValue = 0x03,
        PathUnavailable = 0x0A,
        TargetFailed = 0x0B,
    };

    ServeBridge(CliLine &line, const Settings &settings, QObject *parent = nullptr);

    // The --serve options of `parser` into *out: false with one line in *error.
    static bool parseOptions(const QCommandLineParser &parser, Settings *out, QString *error);
    // Starts serving; false with the reason in *error.
    bool listen(QString *error);
    quint16 port() const { return server.port(); }
    // The reply of a poll of the live block at `address`.
    void livePolled(int address, const QByteArray &replyFrame);
    // A status line for standard error (stamped by the caller); `verboseOnly` for the -v lines.
    std::function<void(const QString &, bool verboseOnly)> status;

private:
    struct Cached {
        QByteArray frame;
        QElapsedTimer age;
    };
    void onRequest(quint64 id, const QString &peer, const QByteArray &adu);
    void onDropped(quint64 id);
    // Why a request is refused without going on the wire; 0 when it may go.
    quint8 refusal(const QByteArray &adu) const;
    QByteArray fromCache(const QByteArray &adu) const;
    void answer(quint64 id, const QString &peer, const QByteArray &adu, const QString &how);

    CliLine &line;
    MbapServer server;
    Settings settings;
    QHash<int, Cached> cache;
    QHash<quint64, QPointer<LineReply>> forwarded;
};

#endif
