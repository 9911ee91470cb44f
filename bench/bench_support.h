#ifndef ZR_BENCH_BENCH_SUPPORT_H
#define ZR_BENCH_BENCH_SUPPORT_H

// The few pieces of a window harness the benchmark needs, without the test framework: a scratch
// working directory, access to the window's private state, a closer for modal windows and the
// frames of a log file.

#include "app/shared_data.h"
#include "app/widget.h"
#include "ui_widget.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QVector>

#include <functional>

class QDialog;
class QSerialPort;

// Reaches the window's private state from the benchmark.
class WidgetTestAccess {
public:
    static WidgetUi *ui(Widget &w) { return w.ui; }
    static SharedDataClass *shared(Widget &w) { return w.shared; }
    static QSerialPort *port(Widget &w) { return w.serialPort; }
    static quint16 &lastRegister(Widget &w) { return w.lastRegister; }
    static QString &logFilePath(Widget &w) { return w.logFilePath; }
    static void appendMessage(Widget &w, const QString &text, int kind) { w.appendMessage(text, kind); }
    // Calls a private slot by name, as the meta-object system would.
    static void invoke(Widget &w, const char *slot);
};

// A fresh temporary working directory for as long as it lives; the tool keeps its files (Ini/,
// Data/, Qm/) under the working directory.
class ScopedWorkDir {
public:
    ScopedWorkDir();
    ~ScopedWorkDir();
    QString path() const { return dir.path(); }
    // Writes Ini/Config.ini with the given port name.
    void writeConfig(const QString &portName);

private:
    QString previous;
    QTemporaryDir dir;
};

struct SeenModal {
    QString className;
    QString title;
};

// Closes modal windows as they appear: message boxes with their default button, dialogs through
// `dialogHandler` or rejected.
class ModalWatcher : public QObject {
    Q_OBJECT

public:
    explicit ModalWatcher(QObject *parent = nullptr);

    std::function<void(QDialog *)> dialogHandler;
    QVector<SeenModal> seen;

    // Waits up to `ms` for the number of seen modals to reach `n`.
    bool waitForCount(int n, int ms);

signals:
    void modalClosed();

private:
    void poll();
    QTimer timer;
};

// Sets the settings dialog's port and rate (no parity), then presses OK.
std::function<void(QDialog *)> chooseInDialog(const QString &port, const QString &baud);

// The frame hex of TX (kind 0) or RX (kind 1) lines of a log file, in order.
QStringList loggedFrames(const QString &path, int kind);

#endif
