#ifndef ZR_GUI_DEVICE_VIEW_H
#define ZR_GUI_DEVICE_VIEW_H

#include <QCoreApplication>
#include <QString>

class MessageLog;
class QComboBox;
class SharedDataClass;

namespace Ui {
class Widget;
}

// Selects the item of a fixed list that shows a reported value; a value the list does not hold
// leaves no item selected and is said, as received, in the pane and the log.
void showListValue(QComboBox *box, int index, int value, const QString &notInList, MessageLog &log);

// The identity and settings of the linked unit as the form shows them: address, baud rate,
// serial number, output range, firmware, model, channels and output data. A value a fixed list
// does not hold leaves no item selected and is said, as received, in the pane and the log.
class DeviceView {
    Q_DECLARE_TR_FUNCTIONS(Widget)

public:
    DeviceView(Ui::Widget *ui, const SharedDataClass &shared, MessageLog &log);

    void showAddress();
    // The baud-rate code is the list index plus one.
    void showBaudRate();
    void showSerialNumber();
    // The device-information block: all of the above, the range, firmware and channels.
    void showInfo();
    void showModel();
    void showFirmwareVersion();
    void fillChannelList(int count);
    void showOutputData(int index, int value);
    // Another unit: the output data read from the last one goes.
    void clear();

private:
    Ui::Widget *ui;
    const SharedDataClass &shared;
    MessageLog &log;
};

#endif
