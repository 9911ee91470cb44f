#ifndef ZR_CORE_MODBUS_LINE_PORT_H
#define ZR_CORE_MODBUS_LINE_PORT_H

#include "core/modbus/port_access.h"

#include <QObject>
#include <QSerialPort>
#include <QString>

class QIODevice;

// Where a ModbusLine's bytes go: a device opened on demand at a line rate, which says when it
// has failed for good. The line reads and writes it only as a QIODevice.
class LinePort : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    // Opens (or reopens) the device at `rate`, with nothing left in it from before; false with
    // the reason in words in *error.
    virtual bool open(int rate, QString *error) = 0;
    virtual void close() = 0;
    // The device while it is open; the port keeps it.
    virtual QIODevice *device() = 0;
    // The port as the user named it.
    virtual QString name() const = 0;
    // False while an open() that returned true is still connecting: bytes wait until opened().
    virtual bool isReady() const { return true; }
    // A TCP connection rather than a serial line: its reply windows carry a network margin, and
    // a connection that stops answering is taken as lost.
    virtual bool isNetwork() const { return false; }
    // Frames go on the wire with an MBAP header (Modbus TCP) instead of as RTU frames.
    virtual bool isMbap() const { return false; }

signals:
    // An open() that was still connecting has connected (a port that opens at once does not say so).
    void opened();
    // The open device failed for good (unplugged, hung up, connection refused or reset), or a
    // connection being made failed; `reason` in words, untranslated.
    void failed(const QString &reason);
};

// A serial port under whatever name the user knows it by, at 8 data bits, no parity, one stop bit
// and no flow control, opened and locked with openPort. Once opened, it is opened again by its
// /dev/serial/by-id link while that exists, so an adapter that comes back under another ttyUSB
// number is found.
class SerialLinePort : public LinePort {
    Q_OBJECT

public:
    explicit SerialLinePort(const QString &portName, QObject *parent = nullptr);

    bool open(int rate, QString *error) override;
    void close() override;
    QIODevice *device() override { return &port; }
    QString name() const override { return given; }
    // Why the last open failed, for a front end that says it in its own words.
    PortAccess access() const { return lastAccess; }

private:
    void onError(QSerialPort::SerialPortError error);

    QSerialPort port;
    QString given;
    QString byId;
    PortAccess lastAccess;
};

#endif
