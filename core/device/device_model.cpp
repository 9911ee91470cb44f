#include "core/device/device_model.h"

#include "core/device/register_map.h"

#include <QCoreApplication>

namespace Model {

namespace {
const char *const kNames[Count] = {
    QT_TRANSLATE_NOOP("Widget", "ZR100"),       QT_TRANSLATE_NOOP("Widget", "ZR200"),
    QT_TRANSLATE_NOOP("Widget", "ZR300"),       QT_TRANSLATE_NOOP("Widget", "ZR200Pro"),
    QT_TRANSLATE_NOOP("Widget", "ZR200Mini_S"), QT_TRANSLATE_NOOP("Widget", "ZR200Mini_M"),
};
const int kRates[6] = {1200, 2400, 4800, 9600, 19200, 115200};
} // namespace

QString name(quint16 type) {
    return type < Count ? QString::fromLatin1(kNames[type]) : QString();
}

const char *nameSource(int type) {
    return type >= 0 && type < Count ? kNames[type] : "";
}

bool hasClock(quint16 type, quint16 firmware) {
    return type == Reg::ClockDeviceType && firmware >= Reg::ClockFirmwareMinimum;
}

int channelCount(quint16 type) {
    return type == 0 ? 1 : 2;
}

QString firmwareText(quint16 firmware) {
    return QStringLiteral("V%1.%2.%3").arg(firmware / 100 % 10).arg(firmware / 10 % 10).arg(firmware % 10);
}

int baudRateForCode(quint16 code) {
    return code >= 1 && code <= 6 ? kRates[code - 1] : 0;
}

quint16 codeForBaudRate(int rate) {
    for (int i = 0; i < 6; ++i) {
        if (kRates[i] == rate) {
            return static_cast<quint16>(i + 1);
        }
    }
    return 0;
}

} // namespace Model
