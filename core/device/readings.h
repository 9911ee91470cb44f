#ifndef ZR_CORE_DEVICE_READINGS_H
#define ZR_CORE_DEVICE_READINGS_H

#include <QtGlobal>

// Live readings as the transmitter reports them and the output signals they correspond to.
namespace Readings {

// Output signals over the measuring range min..max: 4 to 20 mA, 0 to 5 V and 0 to 10 V. Not
// clamped: a reading outside the range gives the out-of-range signal the device drives. Only
// meaningful over a range with a span (hasSpan); equal limits give inf or nan.
struct Analog {
    float milliamps = 0;
    float volts5 = 0;
    float volts10 = 0;
};
Analog analog(float min, float max, float value);
// A range over which the analog equivalents mean something: the maximum above the minimum. Over
// any other they are shown as "--" (or left empty in a file).
bool hasSpan(float min, float max);

// Humidity is always shown against its fixed 0 to 100 percent range.
constexpr float HumidityMin = 0.0f;
constexpr float HumidityMax = 100.0f;

// A register value in degrees or percent: hundredths (registers 0x0000..0x0003) or tenths
// (0x0004..0x0007); computed in double precision.
double scaled(int raw, bool hundredths);
// Decimals a value of that block is shown with: 2 or 1.
int decimals(bool hundredths);

} // namespace Readings

#endif
