#include "core/base/clock.h"

namespace {
QDateTime &fixedNow() {
    static QDateTime value;
    return value;
}
} // namespace

QDateTime Clock::now() {
    const QDateTime &fixed = fixedNow();
    return fixed.isValid() ? fixed : QDateTime::currentDateTime();
}

QDateTime Clock::nowUtc() {
    const QDateTime &fixed = fixedNow();
    return fixed.isValid() ? fixed.toUTC() : QDateTime::currentDateTimeUtc();
}

void Clock::setFixedNow(const QDateTime &fixed) {
    fixedNow() = fixed;
}
