#ifndef ZR_GUI_SERIALPORT_SETTING_DIALOG_H
#define ZR_GUI_SERIALPORT_SETTING_DIALOG_H

#include <QDialog>
#include <QStringList>

class SharedDataClass;

namespace Ui {
class SerialportSettingDialog;
}
using SerialportSettingDialogUi = Ui::SerialportSettingDialog;

// Modal dialog of the link procedure: the openable ports (and, greyed, those this user may not
// open) and the line rate ("AUTO" searches).
class SerialportSettingDialog : public QDialog {
    Q_OBJECT

public:
    explicit SerialportSettingDialog(QWidget *parent = nullptr);
    ~SerialportSettingDialog() override;

    void setShared(SharedDataClass *shared);
    // Selects the first of `ports` (the port in use, the remembered one) that the list offers
    // and this user may open, under whichever of its names; else the first port that can be
    // opened stays selected. A greyed port is never selected.
    void preselect(const QStringList &ports);

private slots:
    void ClickedCancelSlots();
    void ClickedOKSlots();

private:
    // The port chosen in the list or typed in its place.
    QString chosenPort() const;

    SerialportSettingDialogUi *ui = nullptr;
    SharedDataClass *shared = nullptr;
};

#endif
