#ifndef ZR_CLI_CLI_CONTEXT_H
#define ZR_CLI_CLI_CONTEXT_H

#include "cli/cli_args.h"
#include "cli/cli_line.h"
#include "core/modbus/line_reply.h"

#include <QCommandLineParser>
#include <QJsonObject>
#include <QString>
#include <QVector>

#include <functional>

class SharedDataClass;

// What every zrctl command gets: its options, already checked for being allowed, and the
// common ones parsed.
struct CliContext : CliLineOptions {
    QCommandLineParser *parser = nullptr;
    int address = 0;
    // watch: every address of the bus, in the order given (the first is `address`).
    QVector<int> addresses;
    int baud = 0;
    bool json = false;
};

// One line on standard error, prefixed "zrctl: ".
void cliError(const QString &text);
// One line (a JSON object when --json) on standard output, flushed at once.
// False when it could not be written (a full disk, a closed pipe).
bool cliPrint(const QString &text);
bool cliPrintJson(const QJsonObject &object);

// The exit status for a request that did not bring an answer, with its line on stderr.
int cliFailure(const LineReply &reply, const QString &what);

// Told a command's exit status once it is done.
using CliDone = std::function<void(int status)>;
// Runs the application's event loop from `start` until it calls its `finish` with the exit status;
// returns that status. Every command's requests and waits are continuations on this one loop.
int cliExec(const std::function<void(const CliDone &finish)> &start);

// Reads the device information at `address` into `shared` (the block from 0x0100, then the clock
// block where the model has one): the frames the window's "Read info" sends. Then `then` with done
// or an exit status.
void cliReadInfo(CliLine &line, int address, SharedDataClass &shared, const CliDone &then);
// One read, decoded into `shared` by the register it asked for; then `then` with done or an exit
// status.
void cliRead(CliLine &line, int address, quint16 start, quint16 count, SharedDataClass &shared,
             const CliDone &then);

// The commands; each returns its exit status.
int cliPorts(const CliContext &context);
int cliScan(const CliContext &context);
int cliInfo(const CliContext &context);
int cliSet(const CliContext &context);
int cliWatch(const CliContext &context);

#endif
