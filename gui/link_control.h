#ifndef ZR_GUI_LINK_CONTROL_H
#define ZR_GUI_LINK_CONTROL_H

#include <QCoreApplication>
#include <QString>
#include <QtGlobal>

class LineLink;
class LivePolling;
class MessageLog;
class QTimer;
class QWidget;
class ReadingsView;
class RequestSender;
class SharedDataClass;
struct LineTiming;

namespace Ui {
class Widget;
}

// Making the link: the port and rate chosen in the dialog (or remembered, at start), each rate of
// the search probed in turn until the unit answers, and Link made afresh when the adapter floods.
class LinkControl {
    Q_DECLARE_TR_FUNCTIONS(Widget)

public:
    // `window` is the parent of the dialog and the boxes.
    LinkControl(QWidget *window, Ui::Widget *ui, SharedDataClass &shared, MessageLog &log, LineLink &link,
                RequestSender &requests, ReadingsView &readings, LivePolling &live, const LineTiming &timing);
    LinkControl(const LinkControl &) = delete;
    LinkControl &operator=(const LinkControl &) = delete;

    // The Link button: the dialog, then a link at the chosen rate or a search.
    void choose();
    // At start: the remembered port is searched; a port not there opens the dialog.
    void startup();
    // Closes the port, stops live reading and a running search, reloads the search table.
    void reset();
    // Opens the port at a rate and reads the device information; says why and sends nothing
    // when it does not open.
    bool openLink();
    // One step of the search: the unit answered the last probe, or the next rate is probed.
    void searchStep();
    // A line flooded with 0x00 / 0xFF: stops a running search; the line closed the port; one box.
    void flooded();

    // The search's step timer, and the passes over the table made so far.
    QTimer *searchTimer() const { return stepTimer; }
    quint8 &passes() { return searchPasses; }

private:
    QWidget *window;
    Ui::Widget *ui;
    SharedDataClass &shared;
    MessageLog &log;
    LineLink &link;
    RequestSender &requests;
    ReadingsView &readings;
    LivePolling &live;
    const LineTiming &timing;
    QTimer *stepTimer;
    quint8 searchPasses = 0;
};

#endif
