#include "core/device/search_schedule.h"
#include "core/device/shared_data.h"
#include "gui/widget.h"
#include "ui_widget.h"

#include <QMessageBox>
#include <QTimer>

void Widget::AUTOUartInit() {
    if (shared->responseReceived) {
        // The last probe was answered: the device runs at that rate.
        timerAutoBaud->stop();
        ui->comboBoxBaudRate->setCurrentIndex(
            ui->comboBoxBaudRate->findText(QString::number(shared->baudRate)));
        QMessageBox::information(this, tr("Succeed"),
                                 tr("The device baud rate is:") + QString::number(shared->baudRate) +
                                     QStringLiteral("!"));
        if (shared->currentPortName != shared->portName) {
            shared->portName = shared->currentPortName;
            shared->writeConfig();
        }
        ui->groupBoxDevice->setEnabled(true);
        ui->groupBoxRTD->setEnabled(true);
        ui->groupBoxMessage->setEnabled(true);
        return;
    }
    if (shared->baudIndex < shared->baudCount) {
        shared->baudRate = shared->baudCandidates[shared->baudIndex];
        ++shared->baudIndex;
        if (!openLink()) {
            return; // said at once; nothing was sent
        }
        timerAutoBaud->start(timing.searchStepMs);
        return;
    }
    ++autoBaudPasses;
    if (autoBaudPasses < Search::Passes) {
        // The timer keeps running: the next step begins the next pass with the fastest rate.
        shared->baudIndex = 0;
        return;
    }
    timerAutoBaud->stop();
    showError(tr("Communication error!"));
}
