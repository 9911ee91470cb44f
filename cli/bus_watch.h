#ifndef ZR_CLI_BUS_WATCH_H
#define ZR_CLI_BUS_WATCH_H

#include "cli/cli_line.h"
#include "core/device/readings_file.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

#include <functional>

class LineReply;
class StopSignals;

// One unit of the bus as the watch knows it.
struct WatchUnit {
    int address = 0;
    // The device information has been read since the port was (re)opened.
    bool identified = false;
    QString serial;
    QString model;
    QString firmware;
    float rangeMin = 0;
    float rangeMax = 0;
    // Rounds in a row without an answer; after three the unit is offline.
    int silentRounds = 0;
    bool online = false;
    bool answeredOnce = false;
    // The port was lost since its last answer (its silent rounds are the port's, not its own).
    bool portWasLost = false;
};

// The readings of a whole bus on one open port: each round reads every unit once, in the order
// given, one request on the wire at a time, and hands one row a unit to `row`. A unit that does
// not answer gets a no-reply (or exception) row and the others go on; a lost port gives one
// port-lost row a unit, then the line looks for the port with a growing delay until it is back.
// Driven by the event loop: every step is the continuation of a reply or a timer.
class BusWatch : public QObject {
public:
    struct Settings {
        QVector<int> addresses;
        int baud = 9600;
        qint64 intervalMs = 1000;
        int rounds = 0; // 0: until stopped
    };
    // Silent units go offline after this many rounds without an answer.
    static constexpr int OfflineRounds = 3;

    BusWatch(CliLine &line, const Settings &settings, QObject *parent = nullptr);

    // Every row of every round, in order.
    std::function<void(const WatchUnit &, const ReadingRow &)> row;
    // A unit identified (at its first answer, again after a reconnect or after being offline).
    std::function<void(const WatchUnit &)> identified;
    // A unit going online (its first answer) or offline (OfflineRounds rounds without one; while
    // the port is lost, a round is each interval that passes).
    std::function<void(const WatchUnit &)> availability;
    // The reply of every poll of the live block that was answered.
    std::function<void(const WatchUnit &, const QByteArray &frame)> livePolled;
    // A status line for standard error (stamped by the caller); `verboseOnly` for the -v lines.
    std::function<void(const QString &, bool verboseOnly)> status;

    // Starts the rounds; `done` once they are done, or after the reading under way once `stop`
    // is requested.
    void start(StopSignals &stop, const std::function<void()> &done);
    // Any unit answered.
    bool anyAnswer() const { return answeredAny; }

private:
    void beginRound();
    void readNext();
    void readLive(WatchUnit &unit);
    void unitDone();
    void roundDone();
    void onStop();
    void end();
    // The reply did not come because the line was lost or flooded: rows, then the watch.
    bool lineLost(const LineReply &reply);
    void reopening();
    void onBack();
    ReadingRow rowFor(const WatchUnit &unit, ReadingStatus status) const;
    void noAnswer(WatchUnit &unit, ReadingStatus status, const LineReply &reply);
    void answered(WatchUnit &unit);
    // Offline at the OfflineRounds-th round in a row without an answer.
    void wentOffline(WatchUnit &unit);
    void portLost(int fromUnit);
    void say(const QString &text, bool verboseOnly = false);

    CliLine &line;
    Settings settings;
    QVector<WatchUnit> units;
    bool answeredAny = false;
    StopSignals *stopSignals = nullptr;
    std::function<void()> finished;
    QElapsedTimer clock;
    qint64 next = 0;
    int round = 0;
    int current = 0;
    bool overrunSaid = false;
    bool inFlight = false;
    bool lost = false;
    bool ended = false;
    QString lostReason;
    // Until the next round.
    QTimer pause;
    // The rounds that pass while the port is away.
    QTimer awayRounds;
    QElapsedTimer away;
};

#endif
