#ifndef ZR_CORE_BASE_STOP_SIGNALS_H
#define ZR_CORE_BASE_STOP_SIGNALS_H

#include <QObject>
#include <QSocketNotifier>

#include <memory>

// SIGINT and SIGTERM as a Qt signal: the handler only writes a byte to a socket pair, and the
// event loop turns it into stopRequested(), so a long-running command ends where it chooses
// (after the reading under way) with everything written. One object a process.
class StopSignals : public QObject {
    Q_OBJECT

public:
    // Installs the handlers (if not yet done) and watches the socket pair.
    explicit StopSignals(QObject *parent = nullptr);
    // Installs the handlers alone, before any Qt object exists, so that a signal during start-up
    // is kept and delivered once a StopSignals object watches. False when that failed.
    static bool install();
    ~StopSignals() override;
    // False when the socket pair could not be made; the signals then end the process as usual.
    bool installed() const { return notifier != nullptr; }
    bool requested() const { return stop; }

signals:
    void stopRequested();

private:
    std::unique_ptr<QSocketNotifier> notifier;
    bool stop = false;
};

#endif
