#include "gui/serialport_setting_dialog.h"

#include "core/device/shared_data.h"
#include "core/modbus/serial_ports.h"
#include "ui_serialport_setting_dialog.h"

SerialportSettingDialog::SerialportSettingDialog(QWidget *parent) : QDialog(parent) {
    ui = new SerialportSettingDialogUi;
    ui->setupUi(this);
    setWindowTitle(tr("Serial port"));
    // The main window closes its own port before the dialog is built, so it is offered too.
    for (const QString &name : openablePorts()) {
        ui->comboBoxName->addItem(name);
    }
    ui->comboBoxBaud->setCurrentIndex(0);
    connect(ui->pushButtonOK, &QPushButton::clicked, this, &SerialportSettingDialog::ClickedOKSlots);
    connect(ui->pushButtonCancel, &QPushButton::clicked, this, &SerialportSettingDialog::ClickedCancelSlots);
}

SerialportSettingDialog::~SerialportSettingDialog() {
    delete ui;
}

void SerialportSettingDialog::setShared(SharedDataClass *sharedData) {
    shared = sharedData;
}

void SerialportSettingDialog::ClickedOKSlots() {
    if (shared) {
        shared->currentPortName = ui->comboBoxName->currentText();
        // Data bits, parity and stop bits are shown only: the line is always 8N1.
        shared->baudRate =
            ui->comboBoxBaud->currentIndex() == 0 ? 0 : ui->comboBoxBaud->currentText().toInt();
    }
    accept();
}

void SerialportSettingDialog::ClickedCancelSlots() {
    reject();
}
