#ifndef ZR_CORE_BASE_CLOCK_H
#define ZR_CORE_BASE_CLOCK_H

#include <QDateTime>

// The tool's one source of "now" (log stamps, serial numbers from the clock, the device clock).
// Tests pin it to a fixed instant so frames built from the time can be checked byte for byte.
namespace Clock {
QDateTime now();
// now() in UTC, without a look at the local time zone (which costs a stat of /etc/localtime).
QDateTime nowUtc();
// Pins now() to `fixed`; an invalid QDateTime returns to the computer's clock.
void setFixedNow(const QDateTime &fixed);
} // namespace Clock

#endif
