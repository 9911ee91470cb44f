#include "gui/serialport_setting_dialog.h"

#include "core/device/shared_data.h"
#include "core/modbus/port_access.h"
#include "core/modbus/port_address.h"
#include "core/modbus/serial_ports.h"
#include "ui_serialport_setting_dialog.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QStandardItemModel>

SerialportSettingDialog::SerialportSettingDialog(QWidget *parent) : QDialog(parent) {
    ui = new SerialportSettingDialogUi;
    ui->setupUi(this);
    setWindowTitle(tr("Serial port"));
    // The main window closes its own port before the dialog is built, so it is offered too. A
    // port this user may not open is shown greyed, with what gives the right in its tool tip.
    auto *names = qobject_cast<QStandardItemModel *>(ui->comboBoxName->model());
    int firstOpenable = -1;
    for (const ListedPort &port : listPorts()) {
        if (!port.noPermission) {
            ui->comboBoxName->addItem(port.name, port.name);
            firstOpenable = firstOpenable < 0 ? ui->comboBoxName->count() - 1 : firstOpenable;
            continue;
        }
        ui->comboBoxName->addItem(port.name + QLatin1Char(' ') + tr("(no permission)"), port.name);
        QStandardItem *item = names ? names->item(ui->comboBoxName->count() - 1) : nullptr;
        if (item) {
            item->setFlags(item->flags() & ~Qt::ItemIsEnabled);
        }
        if (item && !port.group.isEmpty()) {
            item->setToolTip(tr("No permission: the device belongs to the group %1; run %2, then log out "
                                "and log in again.")
                                 .arg(port.group, joinGroupCommand(port.group)));
        }
    }
    // Never a greyed port: with none that opens, nothing is selected.
    if (firstOpenable != 0) {
        ui->comboBoxName->setCurrentIndex(firstOpenable);
    }
    // A serial server's network address is typed in place of a listed port.
    ui->comboBoxName->setEditable(true);
    ui->comboBoxName->setInsertPolicy(QComboBox::NoInsert);
    ui->comboBoxName->lineEdit()->setPlaceholderText(tr("device, tcp://HOST[:PORT] or rtu+tcp://HOST:PORT"));
    ui->comboBoxName->setToolTip(
        tr("A listed serial port, or a serial server's address: tcp://HOST[:PORT] "
           "(Modbus TCP, port 502 by default) or rtu+tcp://HOST:PORT (RTU over TCP)"));
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

void SerialportSettingDialog::preselect(const QStringList &ports) {
    const auto *names = qobject_cast<QStandardItemModel *>(ui->comboBoxName->model());
    for (const QString &port : ports) {
        if (port.isEmpty()) {
            continue;
        }
        if (PortAddress::parse(port).isNetwork()) {
            ui->comboBoxName->setEditText(port);
            return;
        }
        const QString device = realDevicePath(port);
        for (int i = 0; i < ui->comboBoxName->count(); ++i) {
            const QStandardItem *item = names ? names->item(i) : nullptr;
            if (item && item->isEnabled() &&
                realDevicePath(ui->comboBoxName->itemData(i).toString()) == device) {
                ui->comboBoxName->setCurrentIndex(i);
                return;
            }
        }
    }
}

QString SerialportSettingDialog::chosenPort() const {
    // A listed item as shown: the port itself, without the "(no permission)" of a greyed item;
    // the window says why it does not open. Anything else is what was typed.
    const int index = ui->comboBoxName->currentIndex();
    const QString text = ui->comboBoxName->currentText().trimmed();
    if (index >= 0 && ui->comboBoxName->itemText(index) == ui->comboBoxName->currentText()) {
        return ui->comboBoxName->itemData(index).toString();
    }
    return text;
}

void SerialportSettingDialog::ClickedOKSlots() {
    const QString port = chosenPort();
    const PortAddress address = PortAddress::parse(port);
    if (!port.isEmpty() && address.kind == PortAddress::Kind::Invalid) {
        // Said before anything is opened; the dialog stays for the address to be mended.
        QMessageBox::information(this, tr("Error"), tr("This port cannot be used: %1").arg(address.error));
        return;
    }
    if (shared) {
        shared->currentPortName = port;
        // Data bits, parity and stop bits are shown only: the line is always 8N1.
        shared->baudRate =
            ui->comboBoxBaud->currentIndex() == 0 ? 0 : ui->comboBoxBaud->currentText().toInt();
    }
    accept();
}

void SerialportSettingDialog::ClickedCancelSlots() {
    reject();
}
