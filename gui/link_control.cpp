// The Link button, the link made at start, and the baud-rate search.
#include "gui/link_control.h"

#include "core/device/line_timing.h"
#include "core/device/search_schedule.h"
#include "core/device/shared_data.h"
#include "core/modbus/port_access.h"
#include "core/modbus/port_address.h"
#include "core/modbus/serial_ports.h"
#include "gui/error_box.h"
#include "gui/line_link.h"
#include "gui/live_polling.h"
#include "gui/message_log.h"
#include "gui/readings_view.h"
#include "gui/request_sender.h"
#include "gui/serialport_setting_dialog.h"
#include "ui_widget.h"

#include <QMessageBox>
#include <QTimer>

#include <algorithm>

LinkControl::LinkControl(QWidget *window, Ui::Widget *ui, SharedDataClass &shared, MessageLog &log,
                         LineLink &link, RequestSender &requests, ReadingsView &readings, LivePolling &live,
                         const LineTiming &timing)
    : window(window), ui(ui), shared(shared), log(log), link(link), requests(requests), readings(readings),
      live(live), timing(timing), stepTimer(new QTimer(window)) {}

void LinkControl::reset() {
    // A search still stepping would reopen the port at its next candidate and undo the link
    // about to be made.
    stepTimer->stop();
    // Link starts afresh: a lost port is no longer looked for, old readings are no readings.
    link.reset();
    readings.reset();
    shared.responseReceived = false;
    link.close();
    live.stop();
    // Emptied so the probe goes to address 0 and the reply brings the device's own address.
    ui->lineEditAddress->clear();
    for (int i = 0; i < Search::RateCount; ++i) {
        shared.baudCandidates[i] = Search::rates().at(i);
    }
    shared.baudIndex = 0;
    shared.baudCount = Search::RateCount;
}

void LinkControl::choose() {
    // The port in use (open, or lost and looked for) is offered first, then the remembered one.
    const QString inUse = link.portInUse();
    reset();
    SerialportSettingDialog dialog(window);
    dialog.setShared(&shared);
    dialog.preselect({inUse, shared.portName});
    if (dialog.exec() == QDialog::Accepted) {
        searchPasses = 0;
        if (shared.baudRate != 0) {
            openLink();
        } else {
            searchStep();
        }
    }
}

void LinkControl::startup() {
    stepTimer->stop();
    const bool network = PortAddress::parse(shared.portName).isNetwork();
    if (shared.portName.isEmpty() || (!network && !openablePorts().contains(shared.portName))) {
        // An adapter not plugged in is no news; a port that is there but refused is said.
        const PortAccess access = shared.portName.isEmpty() ? PortAccess() : checkAccess(shared.portName);
        if (access.kind == PortAccess::NoPermission || access.kind == PortAccess::Busy ||
            access.kind == PortAccess::StaleLock) {
            log.append(link.openFailureText(shared.portName, access), MessageLog::Notice);
        }
        choose();
        return;
    }
    shared.currentPortName = shared.portName;
    reset();
    searchPasses = 0;
    searchStep();
}

bool LinkControl::openLink() {
    PortAccess access;
    if (!link.openPortAt(shared.currentPortName, shared.baudRate, &access)) {
        // Nothing is sent to a port that did not open; the reason is said at once.
        stepTimer->stop();
        const QString text = link.openFailureText(shared.currentPortName, access);
        log.append(text, MessageLog::Notice);
        ErrorBox::show(window, text);
        return false;
    }
    requests.readDeviceInfo();
    return true;
}

void LinkControl::searchStep() {
    if (shared.responseReceived) {
        // The last probe was answered: the device runs at that rate.
        stepTimer->stop();
        ui->comboBoxBaudRate->setCurrentIndex(
            ui->comboBoxBaudRate->findText(QString::number(shared.baudRate)));
        QMessageBox::information(window, tr("Succeed"),
                                 tr("The device baud rate is:") + QString::number(shared.baudRate) +
                                     QStringLiteral("!"));
        if (shared.currentPortName != shared.portName) {
            shared.portName = shared.currentPortName;
            shared.writeConfig();
        }
        ui->groupBoxDevice->setEnabled(true);
        ui->groupBoxRTD->setEnabled(true);
        ui->groupBoxMessage->setEnabled(true);
        return;
    }
    const bool network = PortAddress::parse(shared.currentPortName).isNetwork();
    if (network && shared.baudIndex == 0 && searchPasses == 0) {
        // A serial server's line rate is its own: one probe, its line time counted at the slowest rate.
        shared.baudRate = *std::min_element(shared.baudCandidates, shared.baudCandidates + shared.baudCount);
        shared.baudIndex = shared.baudCount;
        log.append(tr("%1 is a serial server: the search cannot change its line rate, so the device is "
                      "asked once, at the rate the server is set to.")
                       .arg(shared.currentPortName),
                   MessageLog::Notice);
        if (!openLink()) {
            return;
        }
        // The reply comes through the network and the server: its window is longer.
        stepTimer->start(timing.searchStepMs + timing.line.networkTimeoutMs);
        return;
    }
    if (network) {
        stepTimer->stop();
        log.append(tr("No device answered on %1 at the serial server's rate; check the server's "
                      "configuration (its rate and framing), the wiring and the power.")
                       .arg(shared.currentPortName),
                   MessageLog::Notice);
        ErrorBox::show(window, tr("Communication error!"));
        return;
    }
    if (shared.baudIndex < shared.baudCount) {
        shared.baudRate = shared.baudCandidates[shared.baudIndex];
        ++shared.baudIndex;
        // Said once a rate, and once again a further pass, so a long search is not taken for a hang.
        if (searchPasses == 0) {
            log.append(tr("Searching %1 at %2...").arg(shared.currentPortName).arg(shared.baudRate),
                       MessageLog::Notice);
        } else if (shared.baudIndex == 1) {
            log.append(tr("Searching %1 again at every rate (pass %2 of %3)...")
                           .arg(shared.currentPortName)
                           .arg(searchPasses + 1)
                           .arg(Search::Passes),
                       MessageLog::Notice);
        }
        if (!openLink()) {
            return; // said at once; nothing was sent
        }
        stepTimer->start(timing.searchStepMs);
        return;
    }
    ++searchPasses;
    if (searchPasses < Search::Passes) {
        // The timer keeps running: the next step begins the next pass with the fastest rate.
        shared.baudIndex = 0;
        return;
    }
    stepTimer->stop();
    log.append(tr("No device answered on %1 at %2 baud (%3 passes); check the wiring and the power.")
                   .arg(shared.currentPortName, Search::ratesText())
                   .arg(Search::Passes),
               MessageLog::Notice);
    ErrorBox::show(window, tr("Communication error!"));
}

void LinkControl::flooded() {
    // The line closed the port; the search is stopped before the box opens, so nothing steps,
    // reads or reopens the line while it waits for the user: one box, and Link starts afresh.
    stepTimer->stop();
    ErrorBox::show(window, tr("USB device error, please reconnect USB device!"));
}
