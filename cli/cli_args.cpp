#include "cli/cli_args.h"

#include "core/device/device_model.h"
#include "core/device/search_schedule.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QStringList>

namespace CliArgs {

namespace {

constexpr int kFirstAddress = 1;
constexpr int kLastAddress = 247;

bool refuse(QString *error, const QString &option, const QString &accepted, const QString &text) {
    *error = QStringLiteral("--%1: expected %2 (got '%3')").arg(option, accepted, text);
    return false;
}

QString rateNames() {
    QStringList names;
    for (int code = 1; code <= Search::RateCount; ++code) {
        names << QString::number(Model::baudRateForCode(static_cast<quint16>(code)));
    }
    return names.join(QStringLiteral(", "));
}

// Decimal digits only: QString::toInt also takes a sign and spaces around.
bool plainNumber(const QString &text, int *out) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    if (!digits.match(text).hasMatch()) {
        return false;
    }
    *out = text.toInt();
    return true;
}

} // namespace

bool address(const QString &option, const QString &text, int *out, QString *error) {
    int value = 0;
    if (!plainNumber(text, &value) || value < kFirstAddress || value > kLastAddress) {
        return refuse(error, option, QStringLiteral("a slave address from 1 to 247"), text);
    }
    *out = value;
    return true;
}

bool baudRate(const QString &option, const QString &text, int *out, QString *error) {
    int value = 0;
    if (!plainNumber(text, &value) || Model::codeForBaudRate(value) == 0) {
        return refuse(error, option, QStringLiteral("one of %1").arg(rateNames()), text);
    }
    *out = value;
    return true;
}

bool baudList(const QString &option, const QString &text, QVector<int> *out, QString *error) {
    if (text == QLatin1String("all")) {
        *out = Search::rates();
        return true;
    }
    QVector<int> rates;
    for (const QString &part : text.split(QLatin1Char(','))) {
        int rate = 0;
        if (!plainNumber(part, &rate) || Model::codeForBaudRate(rate) == 0) {
            return refuse(error, option,
                          QStringLiteral("all, or rates from %1 separated by commas").arg(rateNames()), text);
        }
        if (!rates.contains(rate)) {
            rates << rate;
        }
    }
    *out = rates;
    return true;
}

bool addressRange(const QString &option, const QString &text, int *first, int *last, QString *error) {
    const QStringList parts = text.split(QLatin1Char('-'));
    int from = 0;
    int to = 0;
    const bool ok = (parts.size() == 1 || parts.size() == 2) && plainNumber(parts.first(), &from) &&
                    plainNumber(parts.last(), &to);
    if (!ok || from < kFirstAddress || to > kLastAddress || from > to) {
        return refuse(error, option, QStringLiteral("an address or a range FIRST-LAST within 1-247"), text);
    }
    *first = from;
    *last = to;
    return true;
}

bool addressList(const QString &option, const QString &text, QVector<int> *out, QString *error) {
    QVector<int> addresses;
    for (const QString &part : text.split(QLatin1Char(','))) {
        int first = 0;
        int last = 0;
        QString ignored;
        if (!addressRange(option, part, &first, &last, &ignored)) {
            return refuse(error, option,
                          QStringLiteral("addresses and ranges within 1-247 separated by commas, each once"),
                          text);
        }
        for (int address = first; address <= last; ++address) {
            if (addresses.contains(address)) {
                return refuse(
                    error, option,
                    QStringLiteral("addresses and ranges within 1-247 separated by commas, each once"), text);
            }
            addresses << address;
        }
    }
    *out = addresses;
    return true;
}

bool number(const QString &option, const QString &text, int min, int max, int *out, QString *error) {
    int value = 0;
    if (!plainNumber(text, &value) || value < min || value > max) {
        return refuse(error, option, QStringLiteral("a whole number from %1 to %2").arg(min).arg(max), text);
    }
    *out = value;
    return true;
}

bool seconds(const QString &option, const QString &text, double *out, QString *error) {
    static const QRegularExpression decimal(QStringLiteral("^[0-9]{1,5}(\\.[0-9]{1,3})?$"));
    const double value = text.toDouble();
    if (!decimal.match(text).hasMatch() || value < 0.1 || value > 86400.0) {
        return refuse(error, option, QStringLiteral("seconds from 0.1 to 86400"), text);
    }
    *out = value;
    return true;
}

bool onOff(const QString &option, const QString &text, bool *out, QString *error) {
    if (text != QLatin1String("on") && text != QLatin1String("off")) {
        return refuse(error, option, QStringLiteral("on or off"), text);
    }
    *out = text == QLatin1String("on");
    return true;
}

bool outputData(const QString &option, const QString &text, int *out, QString *error) {
    static const char *const names[] = {"temperature", "humidity", "dewpoint"};
    for (int code = 0; code < 3; ++code) {
        if (text == QLatin1String(names[code]) || text == QString::number(code)) {
            *out = code;
            return true;
        }
    }
    return refuse(error, option, QStringLiteral("temperature, humidity, dewpoint, or 0, 1, 2"), text);
}

bool clock(const QString &option, const QString &text, bool *now, QDateTime *out, QString *error) {
    if (text == QLatin1String("now")) {
        *now = true;
        return true;
    }
    static const QRegularExpression form(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})T(\\d{2}):(\\d{2}):(\\d{2})$"));
    const QRegularExpressionMatch match = form.match(text);
    if (match.hasMatch()) {
        const QDate date(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
        const QTime time(match.captured(4).toInt(), match.captured(5).toInt(), match.captured(6).toInt());
        // A wall clock without a zone: no daylight-saving gap of this computer applies.
        if (date.isValid() && time.isValid()) {
            *now = false;
            *out = QDateTime(date, time, Qt::UTC);
            return true;
        }
    }
    return refuse(error, option, QStringLiteral("now, or a valid date and time YYYY-MM-DDTHH:MM:SS"), text);
}

bool schedule(const QString &option, const QString &text, QTime *start, int *hours, int *duration,
              QString *error) {
    static const QRegularExpression form(QStringLiteral("^(\\d{2}):(\\d{2}),(\\d{1,2}),(\\d{1,3})$"));
    const QRegularExpressionMatch match = form.match(text);
    if (match.hasMatch()) {
        const QTime at(match.captured(1).toInt(), match.captured(2).toInt());
        const int every = match.captured(3).toInt();
        const int length = match.captured(4).toInt();
        if (at.isValid() && every >= 1 && every <= 24 && length <= 480) {
            *start = at;
            *hours = every;
            *duration = length;
            return true;
        }
    }
    return refuse(
        error, option,
        QStringLiteral("HH:MM,HOURS,SECONDS: a start time, every 1 to 24 hours, heating 0 to 480 s"), text);
}

} // namespace CliArgs
