#ifndef ZR_GUI_SETTINGS_WRITES_H
#define ZR_GUI_SETTINGS_WRITES_H

#include <QCoreApplication>

class QWidget;
class RequestSender;
class SharedDataClass;

namespace Ui {
class Widget;
}

// The settings the user enters in the device and output groups: read from their fields, refused
// with an error box when the unit must not get them, and sent as writes.
class SettingsWrites {
    Q_DECLARE_TR_FUNCTIONS(Widget)

public:
    // `window` is the parent of the error boxes.
    SettingsWrites(QWidget *window, Ui::Widget *ui, SharedDataClass &shared, RequestSender &requests);
    SettingsWrites(const SettingsWrites &) = delete;
    SettingsWrites &operator=(const SettingsWrites &) = delete;

    // The address field's address, to the broadcast address.
    void address();
    // The baud-rate code of the list's rate; the port follows once the unit confirms it.
    void baudRate();
    // A serial number made from the clock, or the one typed.
    void serialNumberFromClock();
    void serialNumberTyped();
    // The temperature output range.
    void range();
    // The output data of the chosen channel.
    void outputData();
    // The output and calibration images as last read, with their apply flag set; nothing when
    // no read has filled them.
    void applyOutput();
    void applyCalibration();

private:
    quint8 unitAddress() const;
    void refuse(const QString &text);

    QWidget *window;
    Ui::Widget *ui;
    SharedDataClass &shared;
    RequestSender &requests;
};

#endif
