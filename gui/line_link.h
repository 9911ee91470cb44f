#ifndef ZR_GUI_LINE_LINK_H
#define ZR_GUI_LINE_LINK_H

#include "core/modbus/modbus_line.h"

#include <QCoreApplication>
#include <QString>
#include <QTimer>

#include <functional>

class MessageLog;
class QObject;
class ReadingsView;
class SharedDataClass;
struct LineTiming;
struct PortAccess;

// The window's line to the unit: opened on a port at a rate, its frames traced in the pane and
// the log, closed and looked for when its port fails, and moved to a baud rate the unit confirmed
// (back once to the old rate when the unit does not answer at the new one).
class LineLink {
    Q_DECLARE_TR_FUNCTIONS(Widget)

public:
    // What the window does at the line's events.
    struct Hooks {
        // Reads the device information: who answers on a port found again or at a new rate.
        std::function<void()> askDeviceInfo;
        // The line closed on a flood of 0x00 / 0xFF.
        std::function<void()> flooded;
        // Another unit answered on a port found again: Link starts afresh, the form forgets the old unit.
        std::function<void()> otherUnit;
        // Whether live reading is on.
        std::function<bool()> polling;
    };

    // `context` (the window) receives the line's signals; `now` the monotonic milliseconds of the
    // readings' age.
    LineLink(QObject *context, SharedDataClass &shared, MessageLog &log, ReadingsView &readings,
             const LineTiming &timing, std::function<qint64()> now, Hooks hooks);
    ~LineLink();
    LineLink(const LineLink &) = delete;
    LineLink &operator=(const LineLink &) = delete;

    // Opens the line on the port at a rate, forgetting what was on its way; false when it did not open.
    bool openPortAt(const QString &name, int rate, PortAccess *access = nullptr);
    bool isOpen() const;
    // The line on the port in use; made anew when another port is opened (none before).
    ModbusLine *line() const { return current; }
    // The port in use, open or lost and looked for; empty when there is none.
    QString portInUse() const;
    // Closes the port; waits for nothing, looks for nothing.
    void close();
    // Link starts afresh: no new rate is awaited, a lost port is no longer looked for.
    void reset();
    // The line takes what the port holds (the window's slot of arriving bytes).
    void takeArrived();
    // Every frame in wire order: TX (clears responseReceived), RX, and bytes discarded.
    void trace(const QByteArray &bytes, ModbusLine::Trace kind);
    // Why `port` could not be opened, naming it as given: the group and the command for a port
    // without permission, busy for a port another program holds.
    QString openFailureText(const QString &port, const PortAccess &access) const;

    // A baud rate the device confirmed: the port follows it and reads the device information
    // there; without an answer in time it goes back to the old rate once.
    void followNewRate(int rate);
    // While awaited, live polling waits.
    bool awaitingNewRate() const { return rateChangeWait.isActive(); }
    // The device information came: at a new rate, or from a port found again.
    void deviceInfoCame();
    // A request found nothing answering: a port found again is not back yet, looked for again.
    void noReply();

private:
    // The line closed its port, which is gone: says why (`reason` untranslated) and waits for it.
    void closeOnLineError(const QString &reason);
    // A lost port is open again: the device information is read to see who came back.
    void portBack();
    // The device information came from a port found again: the same unit goes on, another
    // is named and not linked.
    void recoveredUnit();
    void newRateAnswered();
    void newRateUnanswered();
    // Whether the line runs over a network connection (a serial server) rather than a serial port.
    bool network() const;

    QObject *context;
    SharedDataClass &shared;
    MessageLog &log;
    ReadingsView &readings;
    const LineTiming &timing;
    std::function<qint64()> nowMs;
    Hooks hooks;
    ModbusLine *current = nullptr;
    // A port lost while linked, looked for by the line until it is back or Link is pressed.
    struct LostPort {
        QString name;
        QString serial;
        qint64 since = 0;
        bool recovering = false; // opened again, the device information asked for
    } lostPort;
    // The rates of a baud-rate change being followed, while its answer is awaited.
    struct RateChange {
        int from = 0;
        int to = 0;
    } rateChange;
    QTimer rateChangeWait;
};

#endif
