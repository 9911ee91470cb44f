#ifndef ZR_CLI_CLI_CONTEXT_H
#define ZR_CLI_CLI_CONTEXT_H

#include "cli/cli_args.h"
#include "cli/cli_line.h"
#include "core/modbus/exchange.h"

#include <QCommandLineParser>
#include <QJsonObject>
#include <QString>
#include <QVector>

class SharedDataClass;

// What every zrctl command gets: its options, already checked for being allowed, and the
// common ones parsed.
struct CliContext {
    QCommandLineParser *parser = nullptr;
    QString port;
    int address = 0;
    // watch: every address of the bus, in the order given (the first is `address`).
    QVector<int> addresses;
    int baud = 0;
    bool json = false;
    bool verbose = false;
    QString logPath;
};

// One line on standard error, prefixed "zrctl: ".
void cliError(const QString &text);
// One line (a JSON object when --json) on standard output, flushed at once.
// False when it could not be written (a full disk, a closed pipe).
bool cliPrint(const QString &text);
bool cliPrintJson(const QJsonObject &object);

// The exit status for an exchange that did not bring an answer, with its line on stderr.
int cliFailure(const Exchange::Result &result, const QString &what);

// Reads the device information at `address` into `shared` (the block from 0x0100, then the clock
// block where the model has one): the frames the window's "Read info" sends. Done or an exit status.
int cliReadInfo(CliLine &line, int address, SharedDataClass &shared);
// One read, decoded into `shared` by the register it asked for. Done or an exit status.
int cliRead(CliLine &line, int address, quint16 start, quint16 count, SharedDataClass &shared,
            QByteArray *reply = nullptr);

// The commands; each returns its exit status.
int cliPorts(const CliContext &context);
int cliScan(const CliContext &context);
int cliInfo(const CliContext &context);
int cliSet(const CliContext &context);
int cliWatch(const CliContext &context);

#endif
