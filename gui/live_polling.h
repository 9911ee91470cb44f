#ifndef ZR_GUI_LIVE_POLLING_H
#define ZR_GUI_LIVE_POLLING_H

#include <QCoreApplication>

class LineLink;
class MessageLog;
class QWidget;
class ReadingsView;
class RequestSender;

namespace Ui {
class Widget;
}

// Live reading: the Read button switches it on and off, and each tick of the poll period sends
// the chosen block's poll when the line is free, notes a poll left unanswered and greys readings
// that stopped coming.
class LivePolling {
    Q_DECLARE_TR_FUNCTIONS(Widget)

public:
    // `window` is the parent of the error box.
    LivePolling(QWidget *window, Ui::Widget *ui, MessageLog &log, LineLink &link, RequestSender &requests,
                ReadingsView &readings);
    LivePolling(const LivePolling &) = delete;
    LivePolling &operator=(const LivePolling &) = delete;

    // The Read button: polling starts on a linked port (else it says why), or stops with a break
    // of the trend.
    void toggle();
    // Stopped, as Link starts afresh.
    void stop();
    // One poll of the block chosen in the form.
    void pollNow();
    // One tick of the poll period.
    void tick();
    // Whether polling is on.
    bool &on() { return polling; }

private:
    QWidget *window;
    Ui::Widget *ui;
    MessageLog &log;
    LineLink &link;
    RequestSender &requests;
    ReadingsView &readings;
    bool polling = false;
};

#endif
