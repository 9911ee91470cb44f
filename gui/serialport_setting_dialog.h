#ifndef ZR_GUI_SERIALPORT_SETTING_DIALOG_H
#define ZR_GUI_SERIALPORT_SETTING_DIALOG_H

#include <QDialog>

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

private slots:
    void ClickedCancelSlots();
    void ClickedOKSlots();

private:
    SerialportSettingDialogUi *ui = nullptr;
    SharedDataClass *shared = nullptr;
};

#endif
