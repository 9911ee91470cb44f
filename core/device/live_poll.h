#ifndef ZR_CORE_DEVICE_LIVE_POLL_H
#define ZR_CORE_DEVICE_LIVE_POLL_H

#include <QtGlobal>

// What the live poll reads: the scale chooses the block (tenths or hundredths), the value choice
// the whole block or one register of it.
namespace LivePoll {

// The scale list: index 0 is "*10" (the tenths block), any other the hundredths block.
// The value list: 0 all four registers, 1 temperature, 2 humidity, 3 dew point, 4 status.
struct Request {
    quint16 start = 0;
    quint16 count = 0;
};
Request request(int scaleIndex, int valueIndex);

} // namespace LivePoll

// The heater buttons: a heater reported on offers "off"; "on" is offered again when the heater
// has run its course, counted in poll ticks, without asking the device.
namespace HeaterButtons {

constexpr int OnTicks = 300;

// After a heater value is echoed or read back (any non-zero value is on): whether "on" is
// offered, and the count-down restarted (or cleared when off).
bool onOffered(quint16 value, int *countdown);
// One poll tick of the count-down; true when it ends with this tick and "on" is offered again.
bool tick(int *countdown);

} // namespace HeaterButtons

#endif
