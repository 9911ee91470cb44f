// zrctl set: placeholder until the shared settings frames land.
#include "cli/cli_context.h"

int cliSet(const CliContext &) {
    cliError(QStringLiteral("set is not available yet"));
    return CliArgs::Usage;
}
