#ifndef ZR_GUI_REQUEST_SENDER_H
#define ZR_GUI_REQUEST_SENDER_H

#include <QByteArray>
#include <QVector>
#include <QtGlobal>

#include <functional>

class LineLink;
class LineReply;
class QObject;
class SharedDataClass;

namespace Ui {
class Widget;
}

// The window's requests to the unit: built for the address in the address field, with the
// register asked for last kept, handed to the line, and their outcome passed on.
class RequestSender {
public:
    // `context` (the window) receives the replies; `onReply` takes the outcome of every request.
    RequestSender(QObject *context, Ui::Widget *ui, SharedDataClass &shared, LineLink &link,
                  std::function<void(const LineReply &)> onReply);
    RequestSender(const RequestSender &) = delete;
    RequestSender &operator=(const RequestSender &) = delete;

    quint16 deviceAddress() const;
    void readRegisters(quint16 start, quint16 count);
    // The device-information block: who answers, at which address, and what it is.
    void readDeviceInfo();
    void writeRegister(quint16 reg, quint16 value);
    // Block write of this device family to `address`; sets lastRegister only when asked.
    void writeBlock(quint8 address, quint16 start, const QVector<quint16> &values, bool setLastRegister);
    // A live poll of `count` registers from `start` to the address in the field, which is taken
    // as the unit's.
    void poll(quint16 start, quint16 count);
    // Hands a finished frame to the line; it goes out when the line is free. On a line that is not
    // open nothing is written, but the TX line still shows what was meant for it.
    void send(const QByteArray &frame, bool fromUser = true);
    // The first register of the last request the window built.
    quint16 &lastRegister() { return last; }

private:
    QObject *context;
    Ui::Widget *ui;
    SharedDataClass &shared;
    LineLink &link;
    std::function<void(const LineReply &)> onReply;
    quint16 last = 0;
};

#endif
