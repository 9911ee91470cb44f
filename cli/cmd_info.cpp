// zrctl info: the device information the window shows after a link.
#include "cli/cli_context.h"
#include "core/device/device_model.h"
#include "core/device/register_map.h"
#include "core/device/shared_data.h"

#include <QDate>
#include <QTime>

namespace {

const char *const kOutputData[] = {"temperature", "humidity", "dewpoint"};

QString outputDataName(quint16 code) {
    return code < 3 ? QString::fromLatin1(kOutputData[code]) : QStringLiteral("code %1").arg(code);
}

// The device clock as it holds it: a wall clock without a zone; empty when it is no valid date.
QString clockText(const SharedDataClass &d) {
    const QDate date(d.clockYear, d.clockMonth, d.clockDay);
    const QTime time(d.clockHour, d.clockMinute, d.clockSecond);
    if (!date.isValid() || !time.isValid()) {
        return QString();
    }
    return QDateTime(date, time, Qt::UTC).toString(Qt::ISODate).left(19);
}

QString startText(const SharedDataClass &d) {
    return QStringLiteral("%1:%2")
        .arg(d.heaterStartMinutes / 60, 2, 10, QLatin1Char('0'))
        .arg(d.heaterStartMinutes % 60, 2, 10, QLatin1Char('0'));
}

// The information read, on standard output.
int report(const CliContext &context, const SharedDataClass &d) {
    const quint16 outputData = d.outputRegisters[Reg::OutputDataChannel1 - Reg::OutputBlock];
    const bool clock = Model::hasClock(d.deviceType, d.firmwareVersion);
    if (context.json) {
        QJsonObject o;
        o[QStringLiteral("address")] = d.slaveAddress;
        o[QStringLiteral("baudCode")] = d.baudCode;
        o[QStringLiteral("baudRate")] = Model::baudRateForCode(d.baudCode);
        o[QStringLiteral("type")] = d.deviceType;
        o[QStringLiteral("model")] = Model::name(d.deviceType);
        o[QStringLiteral("firmware")] = Model::firmwareText(d.firmwareVersion);
        o[QStringLiteral("serial")] = d.serialNumber;
        o[QStringLiteral("rangeMin")] = d.rangeMin / 10.0;
        o[QStringLiteral("rangeMax")] = d.rangeMax / 10.0;
        o[QStringLiteral("outputData")] = outputDataName(outputData);
        o[QStringLiteral("heater")] = d.heaterState != 0;
        if (clock) {
            o[QStringLiteral("clock")] = clockText(d);
            QJsonObject schedule;
            schedule[QStringLiteral("start")] = startText(d);
            schedule[QStringLiteral("intervalHours")] = d.heaterInterval;
            schedule[QStringLiteral("durationSeconds")] = d.heaterDuration;
            o[QStringLiteral("schedule")] = schedule;
        }
        cliPrintJson(o);
        return CliArgs::Done;
    }
    const QString model = Model::name(d.deviceType);
    cliPrint(QStringLiteral("address      %1").arg(d.slaveAddress));
    cliPrint(
        QStringLiteral("baud rate    %1 (code %2)").arg(Model::baudRateForCode(d.baudCode)).arg(d.baudCode));
    cliPrint(QStringLiteral("model        %1 (type %2)")
                 .arg(model.isEmpty() ? QStringLiteral("unknown") : model)
                 .arg(d.deviceType));
    cliPrint(QStringLiteral("firmware     %1").arg(Model::firmwareText(d.firmwareVersion)));
    cliPrint(QStringLiteral("serial       %1").arg(d.serialNumber));
    cliPrint(QStringLiteral("range        %1 .. %2")
                 .arg(d.rangeMin / 10.0, 0, 'f', 1)
                 .arg(d.rangeMax / 10.0, 0, 'f', 1));
    cliPrint(QStringLiteral("output data  %1").arg(outputDataName(outputData)));
    cliPrint(QStringLiteral("heater       %1")
                 .arg(d.heaterState != 0 ? QStringLiteral("on") : QStringLiteral("off")));
    if (clock) {
        const QString when = clockText(d);
        cliPrint(QStringLiteral("clock        %1")
                     .arg(when.isEmpty() ? QStringLiteral("not a valid date") : when));
        cliPrint(QStringLiteral("schedule     start %1, every %2 h, heating %3 s")
                     .arg(startText(d))
                     .arg(d.heaterInterval)
                     .arg(d.heaterDuration));
    }
    return CliArgs::Done;
}

} // namespace

int cliInfo(const CliContext &context) {
    CliLine line(context);
    QString error;
    if (!line.open(context.baud, &error)) {
        cliError(error);
        return CliArgs::PortFailure;
    }
    SharedDataClass d;
    return cliExec([&](const CliDone &finish) {
        cliReadInfo(line, context.address, d, [&, finish](int status) {
            if (status != CliArgs::Done) {
                finish(status);
                return;
            }
            cliRead(line, context.address, Reg::OutputBlock, Reg::OutputBlockCount, d,
                    [&, finish](int read) { finish(read == CliArgs::Done ? report(context, d) : read); });
        });
    });
}
