#ifndef ZR_TESTS_SUPPORT_HARNESS_H
#define ZR_TESTS_SUPPORT_HARNESS_H

#include "core/device/line_timing.h"
#include "core/device/shared_data.h"
#include "gui/widget.h"
#include "sim/pty_transmitter.h"
#include "tests/support/frames.h"
#include "ui_widget.h"

#include <QDialog>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QVector>

#include <functional>
#include <memory>

class QAbstractButton;
class QDialog;

// The window's line seen as its port was: open or not, and at which rate; it follows the window
// to whatever line it has at the time.
class WindowPort {
public:
    explicit WindowPort(const Widget &w) : window(&w) {}
    bool isOpen() const;
    int baudRate() const;
    // The name of the serial port the line opened, as the port object keeps it.
    QString portName() const;
    const WindowPort *operator->() const { return this; }

private:
    const Widget *window;
};

// Reaches the window's private state from the tests.
class WidgetTestAccess {
public:
    static WidgetUi *ui(Widget &w) { return w.ui; }
    static SharedDataClass *shared(Widget &w) { return w.shared; }
    static const ModbusLine *line(const Widget &w) { return w.link->line(); }
    static WindowPort port(Widget &w) { return WindowPort(w); }
    // The line's reception gap, as the timer behind it (nullptr before the line is made).
    static QTimer *timerClear(Widget &w);
    // The bytes the line holds for a reply still incomplete.
    static QByteArray rxBuffer(Widget &w) { return line(w) ? line(w)->held() : QByteArray(); }
    // Opens the window's line on `name` at `rate`, as a link at that rate would.
    static bool openPortAt(Widget &w, const QString &name, int rate) {
        return w.link->openPortAt(name, rate);
    }
    static QTimer *timer1S(Widget &w) { return w.timer1S; }
    static QTimer *timerAutoBaud(Widget &w) { return w.linkControl->searchTimer(); }
    static QTimer *timerDelay(Widget &w) { return w.timerDelay; }
    static QTimer *timerTxData(Widget &w) { return w.timerTxData; }
    static quint16 &lastRegister(Widget &w) { return w.requests->lastRegister(); }
    static bool &autoRead(Widget &w) { return w.live->on(); }
    static int &heaterCountdown(Widget &w) { return w.heaterClock->countdown(); }
    static quint8 &autoBaudPasses(Widget &w) { return w.linkControl->passes(); }
    // The log file in use; a test may point it elsewhere (/dev/full for a full disk).
    static QString &logFilePath(Widget &w) { return w.messages->path(); }
    static QString versionText(Widget &w) { return w.versionText(); }
    static void appendMessage(Widget &w, const QString &text, int kind) { w.appendMessage(text, kind); }
    static QString formatReading(Widget &w, float min, float max, float value, quint8 decimals,
                                 bool percent) {
        return w.readings->format(min, max, value, decimals, percent);
    }
    static void showReadings(Widget &w, ReadingBlock block, ReadingSelection selection) {
        w.readings->show(block, selection);
    }
    static void showFirmwareVersion(Widget &w) { w.device->showFirmwareVersion(); }
    static void fillChannelList(Widget &w, int count) { w.device->fillChannelList(count); }
    static void readRegisters(Widget &w, quint16 start, quint16 count) {
        w.requests->readRegisters(start, count);
    }
    static void writeRegister(Widget &w, quint16 reg, quint16 value) {
        w.requests->writeRegister(reg, value);
    }
    static void writeBlock(Widget &w, quint8 address, quint16 start, const QVector<quint16> &values,
                           bool setLast) {
        w.requests->writeBlock(address, start, values, setLast);
    }
    static quint16 deviceAddress(Widget &w) { return w.requests->deviceAddress(); }
    static void sendFrame(Widget &w, const QByteArray &frame, bool fromUser = true) {
        w.requests->send(frame, fromUser);
    }
    static const Rx::PendingRequests &pendingRequests(Widget &w);
    static int waitingRequests(Widget &w) { return line(w) ? line(w)->requests().waiting() : 0; }
    static TrendWindow *trendWindow(Widget &w) { return w.readings->trendIfMade(); }
    // A row of the readings file, as a poll's outcome records it.
    static void recordReading(Widget &w, ReadingStatus status) { w.readings->record(status); }
    static qint64 lineNowMs(Widget &w) { return w.lineNowMs(); }
    static void openLink(Widget &w) { w.linkControl->openLink(); }
    // Calls a private slot by name, as the meta-object system would.
    static void invoke(Widget &w, const char *slot);
};

// Sets an environment variable for the life of one test and restores it afterwards, set or
// unset as it was, however the test ends.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const QByteArray &value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;
    void set(const QByteArray &value);
    void unset();

private:
    QByteArray name;
    QByteArray previous;
    bool wasSet = false;
};

// Shortens the window's search step and poll period for the windows made while it lives, and
// puts back what was there. For tests of flows, not of the timing itself.
class ScopedLineTiming {
public:
    explicit ScopedLineTiming(int searchStepMs = 150, int pollMs = 250);
    ~ScopedLineTiming();
    ScopedLineTiming(const ScopedLineTiming &) = delete;
    ScopedLineTiming &operator=(const ScopedLineTiming &) = delete;

private:
    LineTiming previous;
};

// A fresh temporary working directory for the duration of one test; the tool keeps its files
// (Ini/, Data/, Qm/) under the working directory.
class ScopedWorkDir {
public:
    ScopedWorkDir();
    ~ScopedWorkDir();
    QString path() const { return dir.path(); }
    // Writes Ini/Config.ini with the given port name (and the default program name).
    void writeConfig(const QString &portName, const QString &programName = QStringLiteral("ZRxxx test"));
    // Copies the compiled Chinese catalogue to Qm/Chinese.qm.
    bool installCatalogue();

private:
    QString previous;
    QTemporaryDir dir;
};

// One modal window seen and closed by ModalWatcher.
struct SeenModal {
    QString className;
    QString title;
    QString text; // message box text; empty for other dialogs
};

// Watches for modal windows (message boxes, the settings dialog) and closes them so no test
// blocks: message boxes are answered with their default button; the settings dialog is handed
// to `dialogHandler`, or rejected when none is set. A window's showing makes it look, from the
// event loop the modal window runs; a slow look now and then covers any it was not told of.
class ModalWatcher : public QObject {
    Q_OBJECT

public:
    explicit ModalWatcher(QObject *parent = nullptr);

    std::function<void(QDialog *)> dialogHandler;
    QVector<SeenModal> seen;

    int count(const QString &className) const;
    int messageBoxes(const QString &text) const;
    // Waits up to `ms` for the number of seen modals to reach `n`.
    bool waitForCount(int n, int ms = 5000);
    // Stops looking: a measurement of the window's own CPU must not count it.
    void stop();

signals:
    void modalClosed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void poll();
    QTimer timer;
    // The look a window's showing asks for, made once the event loop turns.
    QTimer shown;
    bool stopped = false;
    bool looking = false;
};

// Sets the settings dialog's port and rate ("AUTO" or a number) and parity, then presses OK.
std::function<void(QDialog *)> chooseInDialog(const QString &port, const QString &baud,
                                              const QString &parity = QStringLiteral("NO"));

// A unit of a simulated bus at 19200 baud: its address and its serial number in twelve digits.
TransmitterConfig unitAt(quint8 address, const char *serial);

// A simulated transmitter on a pseudo-terminal, started for one test and offered to the tool
// through ZRTOOL_EXTRA_PORTS.
class SimFixture {
public:
    explicit SimFixture(const TransmitterConfig &config = TransmitterConfig());
    ~SimFixture();
    bool ok() const { return started; }
    QString port() const { return sim->slavePath(); }
    PtyTransmitter &transmitter() { return *sim; }

private:
    std::unique_ptr<PtyTransmitter> sim;
    bool started = false;
    ScopedEnv extraPorts;
};

// Turns the event loop until `condition` holds or `ms` pass; whether it holds.
bool waitUntil(const std::function<bool()> &condition, int ms);

// The rows of a table that mostly wait, run side by side: turns the event loop and calls
// `advance` on every run (a pointer to a struct with a `done` flag) not yet done, until all are
// done or `ms` pass; whether all are.
template <typename Runs, typename Advance> bool advanceUntilDone(Runs &runs, Advance advance, int ms) {
    return waitUntil(
        [&] {
            bool all = true;
            for (auto &run : runs) {
                if (!run->done) {
                    advance(*run);
                }
                all = all && run->done;
            }
            return all;
        },
        ms);
}

// Waits for `n` ticks of the window's poll timer: a test that shows nothing was sent shows it
// over the ticks that would have sent it.
bool ticksPass(Widget &w, int n, int ms = 3000);

// A window linked through the dialog, at a fixed rate, to a simulated transmitter, and shown: the
// fixture of the flows against a live line. With `linkPath` the window reaches the transmitter
// through that symbolic link (the name stays when the transmitter vanishes and reappears).
class LinkedWindow {
public:
    explicit LinkedWindow(const TransmitterConfig &config = TransmitterConfig(),
                          const QString &linkPath = QString(), const QString &baud = QStringLiteral("9600"));
    // The transmitter started and the window shows the device's address.
    bool linked() const { return isLinked; }
    PtyTransmitter &transmitter() { return sim.transmitter(); }

    SimFixture sim;
    ScopedEnv extraPorts;
    ModalWatcher watcher;
    std::unique_ptr<Widget> window;
    WidgetUi *ui = nullptr;
    QString log;

private:
    bool isLinked = false;
};

// A pseudo-terminal whose slave side the window's port opens: the test reads what the tool puts
// on the line and writes replies into the master side exactly as a transmitter would.
class PtyLine {
public:
    PtyLine();
    ~PtyLine();
    PtyLine(const PtyLine &) = delete;
    PtyLine &operator=(const PtyLine &) = delete;
    // Opens the window's line on the slave side.
    bool attach(Widget &w);
    bool send(const QByteArray &bytes);
    // Everything the tool wrote to the line so far.
    QByteArray drain();

private:
    int master = -1;
    QString slave;
    QByteArray written;
};

// Lines of a log file, without their line feeds.
QStringList readLogLines(const QString &path);
// The frame hex of TX (kind 0) or RX (kind 1) lines of a log file, in order.
QStringList loggedFrames(const QString &path, int kind);
// Clicks a button the user can see and use; false (nothing clicked) when it cannot be.
bool clickEnabled(QAbstractButton *button);

#endif
