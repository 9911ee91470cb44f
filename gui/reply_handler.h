#ifndef ZR_GUI_REPLY_HANDLER_H
#define ZR_GUI_REPLY_HANDLER_H

#include <QByteArray>
#include <QtGlobal>

class DeviceView;
class HeaterClockView;
class LineLink;
class LineReply;
class QObject;
class ReadingsView;
class RequestSender;
class SharedDataClass;

// The unit's answers: each decoded by the request it answers into the shared state, and what
// changed handed to the part of the window that shows it.
class ReplyHandler {
public:
    // `context` (the window) runs what follows a reply once it has been dealt with.
    ReplyHandler(QObject *context, SharedDataClass &shared, RequestSender &requests, LineLink &link,
                 ReadingsView &readings, DeviceView &device, HeaterClockView &heaterClock);
    ReplyHandler(const ReplyHandler &) = delete;
    ReplyHandler &operator=(const ReplyHandler &) = delete;

    // The outcome of a request: an answer is decoded and shown.
    void finished(const LineReply &reply);
    // Decodes one reply into the shared state and shows it.
    void apply(quint16 reg, const QByteArray &frame);

private:
    // The device-information block as the form shows it; the clock is read where there is one.
    void showDeviceInfo();

    QObject *context;
    SharedDataClass &shared;
    RequestSender &requests;
    LineLink &link;
    ReadingsView &readings;
    DeviceView &device;
    HeaterClockView &heaterClock;
};

#endif
