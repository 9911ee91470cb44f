#include "gui/widget.h"

#include "core/device/device_model.h"
#include "ui_widget.h"

#include <QString>

// Turns the freshly built form into the window the user first sees. It runs before the signal
// connections are made, so changing current indices and check states here triggers no slot.
void Widget::UiStateInit() {
    // The wet-bulb reading is not reported by any model of the family.
    ui->labelWetBulbTemp->setHidden(true);

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

    // The serial-number writes stay behind hidden buttons.
    ui->pushButtonAUTO->setHidden(true);
    ui->pushButtonMANU->setHidden(true);

    // 9600 baud until the device reports its own baud-rate code.
    ui->comboBoxBaudRate->setCurrentIndex(3);

    // Nothing but "Link" and "Close" is usable until a device has answered.
    ui->groupBoxDevice->setEnabled(false);
    ui->groupBoxRTD->setEnabled(false);
    ui->groupBoxMessage->setEnabled(false);

    ui->dateTimeEditDeviceTime->setDisplayFormat(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    // The device clock is a wall clock without a zone: the editor keeps its time zone-free, so
    // a time in a daylight-saving gap of the computer's zone is shown and sent as it is. Its
    // minimum stands for a device time that could not be read.
    const QDateTime shown = ui->dateTimeEditDeviceTime->dateTime();
    ui->dateTimeEditDeviceTime->setTimeSpec(Qt::UTC);
    ui->dateTimeEditDeviceTime->setDateTime(QDateTime(shown.date(), shown.time(), Qt::UTC));
    ui->dateTimeEditDeviceTime->setSpecialValueText(tr("Not read"));
    ui->timeEditStartTime->setDisplayFormat(QStringLiteral("hh:mm"));

    // The device clock is set from the system time unless the user unticks the box.
    ui->dateTimeEditDeviceTime->setEnabled(false);
    ui->checkBoxSystemTime->setChecked(true);

    // Only a ZR200Pro with a recent firmware has a clock; the reply handling shows the row.
    heaterClock->setRowHidden(true);

    // Index i is a heating interval of i + 1 hours.
    for (int hours = 1; hours <= 24; ++hours) {
        ui->comboBoxInterval->addItem(QString::number(hours) + tr("H"));
    }
    // Index i is a heating time of i seconds.
    for (int seconds = 0; seconds <= 480; ++seconds) {
        ui->comboBoxHeaterTime->addItem(QString::number(seconds) + tr("S"));
    }
}
