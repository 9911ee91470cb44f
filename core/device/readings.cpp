#include "core/device/readings.h"

namespace Readings {

namespace {
constexpr float kCurrentSpanMa = 16.0f;
constexpr float kCurrentOffsetMa = 4.0f;
constexpr float kLowVoltageSpan = 5.0f;
constexpr float kHighVoltageSpan = 10.0f;
} // namespace

Analog analog(float min, float max, float value) {
    // Single precision throughout, as the signals are shown.
    const float fraction = (value - min) / (max - min);
    Analog out;
    out.milliamps = fraction * kCurrentSpanMa + kCurrentOffsetMa;
    out.volts5 = fraction * kLowVoltageSpan;
    out.volts10 = fraction * kHighVoltageSpan;
    return out;
}

bool hasSpan(float min, float max) {
    return max > min;
}

double scaled(int raw, bool hundredths) {
    return raw / (hundredths ? 100.0 : 10.0);
}

int decimals(bool hundredths) {
    return hundredths ? 2 : 1;
}

} // namespace Readings
