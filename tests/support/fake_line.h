#ifndef ZR_TESTS_SUPPORT_FAKE_LINE_H
#define ZR_TESTS_SUPPORT_FAKE_LINE_H

#include "core/base/line_clock.h"
#include "core/modbus/line_port.h"

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QPointer>
#include <QVector>

#include <functional>

// A device whose other end is the test: it keeps every write, delivers the bytes the test pushes
// (readyRead at once), and fails writes or ends its input when told.
class FakeDevice : public QIODevice {
    Q_OBJECT

public:
    using QIODevice::QIODevice;
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return incoming.size() + QIODevice::bytesAvailable(); }
    void push(const QByteArray &bytes);
    // The input ends, as a hung-up line.
    void endInput() { emit readChannelFinished(); }
    // Forgets what was pushed and not read, as a port opened anew does.
    void discardIncoming() { incoming.clear(); }

    QList<QByteArray> writes;
    bool failWrites = false;

signals:
    // Bytes the line wrote, as they were written.
    void wrote(const QByteArray &bytes);

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    QByteArray incoming;
};

// A port on a FakeDevice that the test opens, refuses and fails at will.
class FakePort : public LinePort {
    Q_OBJECT

public:
    using LinePort::LinePort;
    bool open(int rate, QString *error) override;
    void close() override { fake.close(); }
    QIODevice *device() override { return &fake; }
    QString name() const override { return QStringLiteral("fake"); }
    void raise(const QString &reason) { emit failed(reason); }

    FakeDevice fake;
    bool refuse = false;
    QVector<int> opens; // the rate of every successful open
};

// A clock that stands still until the test advances it; deadlines fire in their order as it does.
class FakeClock : public LineClock {
public:
    qint64 nowMs() const override { return now; }
    LineDeadline *deadline(QObject *parent) override;
    void advance(qint64 ms);
    // When the earliest active deadline is due; -1 when none is active.
    qint64 nextDue() const;
    // Called whenever a deadline is started, so a test can keep the clock running.
    std::function<void()> started;

private:
    friend class FakeDeadline;
    qint64 now = 0;
    qint64 starts = 0;
    QVector<QPointer<LineDeadline>> deadlines;
};

#endif
