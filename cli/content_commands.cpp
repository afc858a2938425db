#include "cli/cli_common.h"
namespace vantorel::cli {
int runInstallContent(const QStringList&) { throw CliError("install-content: not built yet"); }
}
