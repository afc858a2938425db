#include "cli/cli_common.h"
namespace vantorel::cli {
int runMake(const QStringList&) { throw CliError("make: not built yet"); }
int runRender(const QStringList&) { throw CliError("render: not built yet"); }
}
