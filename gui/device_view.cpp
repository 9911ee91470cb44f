#include "gui/device_view.h"

#include "core/device/device_model.h"
#include "core/device/shared_data.h"
#include "core/device/value_rules.h"
#include "gui/message_log.h"
#include "ui_widget.h"

DeviceView::DeviceView(Ui::Widget *ui, const SharedDataClass &shared, MessageLog &log)
    : ui(ui), shared(shared), log(log) {
    // The start state, set before the window connects its slots, so it triggers none.
    ui->comboBoxChannel->addItem(QStringLiteral("1"));
    // The item index is the device type code reported by the transmitter; the list is display
    // only, the reply handling selects the entry.
    ui->comboBoxType->clear();
    for (int type = 0; type < Model::Count; ++type) {
        ui->comboBoxType->addItem(tr(Model::nameSource(type)));
    }
    ui->comboBoxType->setEnabled(false);
    ui->labelVersions->setText(QString());
    ui->labelChannel->setEnabled(false);
    ui->comboBoxChannel->setEnabled(false);
    ui->comboBoxOutputData->setEnabled(false);
    ui->pushButtonOutputData->setEnabled(false);
    // 9600 baud until the device reports its own baud-rate code.
    ui->comboBoxBaudRate->setCurrentIndex(3);
}

void DeviceView::showAddress() {
    ui->lineEditAddress->setText(QString::number(shared.slaveAddress));
}

void DeviceView::showBaudRate() {
    showListValue(ui->comboBoxBaudRate, ValueRules::listIndex(ValueRules::BaudCodes, shared.baudCode),
                  shared.baudCode, tr("The device reports a baud rate code that is not in the list: %1"),
                  log);
}

void DeviceView::showSerialNumber() {
    ui->lineEditSN->setText(shared.serialNumber);
}

void DeviceView::showInfo() {
    showAddress();
    showBaudRate();
    showSerialNumber();
    // The range registers are tenths of a degree.
    ui->lineEditRangeMin->setText(QString::number(shared.rangeMin / 10.0, 'f', 1));
    ui->lineEditRangeMax->setText(QString::number(shared.rangeMax / 10.0, 'f', 1));
    showFirmwareVersion();
    fillChannelList(Model::channelCount(shared.deviceType));
}

void DeviceView::showModel() {
    ui->comboBoxType->setCurrentIndex(shared.deviceType);
}

void DeviceView::showFirmwareVersion() {
    ui->labelVersions->setText(tr("Firmware version:") + Model::firmwareText(shared.firmwareVersion));
}

void DeviceView::fillChannelList(int count) {
    ui->comboBoxChannel->clear();
    for (int channel = 1; channel <= count; ++channel) {
        ui->comboBoxChannel->addItem(QString::number(channel));
    }
}

void DeviceView::showOutputData(int index, int value) {
    showListValue(ui->comboBoxOutputData, index, value,
                  tr("The device reports an output data code that is not in the list: %1"), log);
}

void DeviceView::clear() {
    ui->comboBoxOutputData->setCurrentIndex(-1);
}

void showListValue(QComboBox *box, int index, int value, const QString &notInList, MessageLog &log) {
    box->setCurrentIndex(index);
    if (index < 0) {
        log.append(notInList.arg(value), MessageLog::Notice);
    }
}
