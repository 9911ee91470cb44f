#include "core/device/live_poll.h"

#include "core/device/register_map.h"

namespace LivePoll {

Request request(int scaleIndex, int valueIndex) {
    const quint16 blockStart = scaleIndex == 0 ? Reg::LiveTenths : Reg::LiveHundredths;
    Request r{blockStart, Reg::LiveBlockCount};
    switch (valueIndex) {
    case 1:
        r = {static_cast<quint16>(blockStart + Reg::LiveTemperature), 1};
        break;
    case 2:
        r = {static_cast<quint16>(blockStart + Reg::LiveHumidity), 1};
        break;
    case 3:
        r = {static_cast<quint16>(blockStart + Reg::LiveDewPoint), 1};
        break;
    case 4:
        r = {static_cast<quint16>(blockStart + Reg::LiveStatus), 1};
        break;
    default:
        break;
    }
    return r;
}

} // namespace LivePoll

namespace HeaterButtons {

bool onOffered(quint16 value, int *countdown) {
    const bool on = value != 0;
    *countdown = on ? OnTicks : 0;
    return !on;
}

bool tick(int *countdown) {
    if (*countdown == 0) {
        return false;
    }
    --*countdown;
    return *countdown == 0;
}

} // namespace HeaterButtons
