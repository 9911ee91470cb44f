#ifndef ZR_GUI_HEATER_CLOCK_VIEW_H
#define ZR_GUI_HEATER_CLOCK_VIEW_H

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QtGlobal>

class MessageLog;
class SharedDataClass;

namespace Ui {
class Widget;
}

// The heater buttons with their count-down after "on", and the device clock and heating
// schedule row: what it shows of the unit, and the frames its buttons send.
class HeaterClockView {
    Q_DECLARE_TR_FUNCTIONS(Widget)

public:
    HeaterClockView(Ui::Widget *ui, MessageLog &log);

    // A heater value echoed or read back: any non-zero value counts as on, and "on" is offered
    // again after the count-down.
    void showHeater(quint16 value);
    // One second of the count-down.
    void tick();
    int &countdown() { return heaterCountdown; }

    // The clock and schedule decoded into `shared`: shown as the device holds them; what cannot
    // be shown as it is is said.
    void showClock(const SharedDataClass &shared);
    // Shows or hides the row; its spacers stay in the layout.
    void setRowHidden(bool hidden);
    // Another unit: nothing read from the last one stays.
    void clear();
    // The editor is only used when the system time is not.
    void systemTimeToggled(int state);

    // The frames of the row's buttons, to address 1; empty with the reason in *error when the
    // input is refused.
    QByteArray scheduleFrame(QString *error) const;
    QByteArray clockFrame(QString *error) const;

private:
    Ui::Widget *ui;
    MessageLog &log;
    int heaterCountdown = 0;
};

#endif
