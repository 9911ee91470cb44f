#ifndef ZR_CLI_CLI_ARGS_H
#define ZR_CLI_CLI_ARGS_H

#include <QDateTime>
#include <QString>
#include <QTime>
#include <QVector>

// Values given on zrctl's command line. Every parser returns false with one line in *error that
// names the option and the values it accepts, so nothing is sent on a bad argument.
namespace CliArgs {

// Exit status of zrctl.
enum Exit {
    Done = 0,
    Usage = 2,      // a bad command, option or value; nothing was sent
    NoReply = 3,    // the device did not answer (or a scan found nothing)
    Refused = 4,    // an exception reply, or a value read back that differs from the one written
    PortFailure = 5 // the port could not be opened, failed, or the adapter floods the line
};

bool address(const QString &option, const QString &text, int *out, QString *error);
// One of the six rates of the family.
bool baudRate(const QString &option, const QString &text, int *out, QString *error);
// "all" (the search's order, fastest first) or rates separated by commas.
bool baudList(const QString &option, const QString &text, QVector<int> *out, QString *error);
// "A-B" or "A" within 1..247.
bool addressRange(const QString &option, const QString &text, int *first, int *last, QString *error);
// Addresses and ranges separated by commas ("11,12,20-24"), in the order given, each once.
bool addressList(const QString &option, const QString &text, QVector<int> *out, QString *error);
// A whole number from min to max.
bool number(const QString &option, const QString &text, int min, int max, int *out, QString *error);
// Seconds, a decimal number from 0.1 to 86400.
bool seconds(const QString &option, const QString &text, double *out, QString *error);
// "on" or "off".
bool onOff(const QString &option, const QString &text, bool *out, QString *error);
// Output data of a channel: temperature, humidity, dewpoint, or its code 0, 1, 2.
bool outputData(const QString &option, const QString &text, int *out, QString *error);
// "now" (true in *now) or YYYY-MM-DDTHH:MM:SS, a wall-clock time without a zone.
bool clock(const QString &option, const QString &text, bool *now, QDateTime *out, QString *error);
// Heating schedule "HH:MM,HOURS,SECONDS": start, interval 1..24 hours, duration 0..480 s.
bool schedule(const QString &option, const QString &text, QTime *start, int *hours, int *duration,
              QString *error);

} // namespace CliArgs

#endif
