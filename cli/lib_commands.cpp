#include "cli/cli_common.h"
namespace vantorel::cli {
int runLibCreate(const QStringList&) { throw CliError("lib-create: not built yet"); }
int runLibAdd(const QStringList&) { throw CliError("lib-add: not built yet"); }
int runLibInfo(const QStringList&) { throw CliError("lib-info: not built yet"); }
}
