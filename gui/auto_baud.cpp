#include "core/device/search_schedule.h"
#include "core/device/shared_data.h"
#include "core/modbus/port_address.h"
#include "gui/widget.h"
#include "ui_widget.h"

#include <QMessageBox>
#include <QTimer>

#include <algorithm>

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
    const bool network = PortAddress::parse(shared->currentPortName).isNetwork();
    if (network && shared->baudIndex == 0 && autoBaudPasses == 0) {
        // A serial server's line rate is its own: one probe, its line time counted at the slowest rate.
        shared->baudRate =
            *std::min_element(shared->baudCandidates, shared->baudCandidates + shared->baudCount);
        shared->baudIndex = shared->baudCount;
        appendMessage(tr("%1 is a serial server: the search cannot change its line rate, so the device is "
                         "asked once, at the rate the server is set to.")
                          .arg(shared->currentPortName),
                      kNoticeLine);
        if (!openLink()) {
            return;
        }
        // The reply comes through the network and the server: its window is longer.
        timerAutoBaud->start(timing.searchStepMs + timing.line.networkTimeoutMs);
        return;
    }
    if (network) {
        timerAutoBaud->stop();
        appendMessage(tr("No device answered on %1 at the serial server's rate; check the server's "
                         "configuration (its rate and framing), the wiring and the power.")
                          .arg(shared->currentPortName),
                      kNoticeLine);
        showError(tr("Communication error!"));
        return;
    }
    if (shared->baudIndex < shared->baudCount) {
        shared->baudRate = shared->baudCandidates[shared->baudIndex];
        ++shared->baudIndex;
        // Said once a rate, and once again a further pass, so a long search is not taken for a hang.
        if (autoBaudPasses == 0) {
            appendMessage(tr("Searching %1 at %2...").arg(shared->currentPortName).arg(shared->baudRate),
                          kNoticeLine);
        } else if (shared->baudIndex == 1) {
            appendMessage(tr("Searching %1 again at every rate (pass %2 of %3)...")
                              .arg(shared->currentPortName)
                              .arg(autoBaudPasses + 1)
                              .arg(Search::Passes),
                          kNoticeLine);
        }
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
    appendMessage(tr("No device answered on %1 at %2 baud (%3 passes); check the wiring and the power.")
                      .arg(shared->currentPortName, Search::ratesText())
                      .arg(Search::Passes),
                  kNoticeLine);
    showError(tr("Communication error!"));
}
