#include "gui/reply_handler.h"

#include "core/device/device_model.h"
#include "core/device/register_map.h"
#include "core/device/reply_parser.h"
#include "core/device/shared_data.h"
#include "core/modbus/line_reply.h"
#include "core/modbus/modbus_frame.h"
#include "core/modbus/reply_matching.h"
#include "gui/device_view.h"
#include "gui/heater_clock_view.h"
#include "gui/line_link.h"
#include "gui/readings_view.h"
#include "gui/request_sender.h"
#include "gui/trend_window.h"

#include <QTimer>

ReplyHandler::ReplyHandler(QObject *context, SharedDataClass &shared, RequestSender &requests, LineLink &link,
                           ReadingsView &readings, DeviceView &device, HeaterClockView &heaterClock)
    : context(context), shared(shared), requests(requests), link(link), readings(readings), device(device),
      heaterClock(heaterClock) {}

void ReplyHandler::finished(const LineReply &reply) {
    switch (reply.outcome()) {
    case LineReply::Outcome::Answer:
    case LineReply::Outcome::Exception: {
        const QByteArray frame = reply.frame();
        if (!reply.fromUser() && reply.outcome() == LineReply::Outcome::Exception) {
            // The unit refused the live poll.
            readings.record(ReadingStatus::Exception);
        }
        apply(Rx::decodeRegister(Rx::requestOfFrame(reply.request()), frame), frame);
        // Every reply to a request, whatever it decoded, counts as an answer.
        shared.responseReceived = true;
        break;
    }
    case LineReply::Outcome::NoReply:
        link.noReply();
        break;
    default:
        break;
    }
}

void ReplyHandler::apply(quint16 reg, const QByteArray &frame) {
    const Rx::Decoded decoded = Rx::decode(reg, frame, shared);
    switch (decoded.effect) {
    case Rx::Effect::None:
        break;
    case Rx::Effect::Readings:
        readings.show(decoded.block, decoded.selection);
        readings.record(ReadingStatus::Ok, decoded.block, decoded.selection);
        break;
    case Rx::Effect::Address:
        device.showAddress();
        break;
    case Rx::Effect::DeviceInfo:
        device.showAddress();
        showDeviceInfo();
        readings.trendUnit();
        link.deviceInfoCame();
        break;
    case Rx::Effect::BaudRate:
        device.showBaudRate();
        if (static_cast<quint8>(frame.at(1)) == Fn::Write) {
            // The device has echoed at the old rate and answers at the new one from now on. Followed
            // once this reply has been dealt with, since the port is opened anew.
            const int rate = Model::baudRateForCode(shared.baudCode);
            LineLink *const line = &link;
            QTimer::singleShot(0, context, [line, rate] { line->followNewRate(rate); });
        }
        break;
    case Rx::Effect::SerialNumber:
        device.showSerialNumber();
        break;
    case Rx::Effect::Heater:
        heaterClock.showHeater(decoded.heaterValue);
        readings.trendEvent(static_cast<int>(decoded.heaterValue != 0 ? TrendWindow::Event::HeaterOn
                                                                      : TrendWindow::Event::HeaterOff));
        break;
    case Rx::Effect::OutputData:
        device.showOutputData(decoded.outputData,
                              shared.outputRegisters[Reg::OutputDataChannel1 - Reg::OutputBlock]);
        break;
    case Rx::Effect::Clock:
        heaterClock.showClock(shared);
        break;
    }
}

void ReplyHandler::showDeviceInfo() {
    device.showInfo();
    heaterClock.showHeater(shared.heaterState);
    device.showModel();
    if (Model::hasClock(shared.deviceType, shared.firmwareVersion)) {
        // Only this model from this firmware on has a clock; fetch it so the row shows real values.
        requests.readRegisters(Reg::ClockYear, Reg::ClockBlockCount);
        heaterClock.setRowHidden(false);
    } else {
        heaterClock.setRowHidden(true);
    }
}
