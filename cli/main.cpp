// vantorel-cli: the mosaic engine without a screen, for batch work.
#include "cli/cli_common.h"
#include "imaging/program_random.h"

#include <QGuiApplication>
#include <cstdio>
#include <exception>

using namespace vantorel::cli;

namespace {

struct Command {
    const char* name;
    int (*run)(const QStringList&);
    const char* usage;
};

const Command kCommands[] = {
    {"lib-create", runLibCreate, "lib-create LIBDIR --name NAME [--tile WxH] [--dpi D]"},
    {"lib-add", runLibAdd, "lib-add LIBDIR PATH..."},
    {"lib-info", runLibInfo, "lib-info LIBDIR"},
    {"make", runMake, "make [--main IMAGE | --sample N] [--lib LIBDIR] --out PICTURE [options] (--help)"},
    {"render", runRender, "render PROJECT_FOLDER_OR_Mosaic.Prj --out PICTURE [--view MODE]"},
    {"install-content", runInstallContent, "install-content"},
};

void printUsage() {
    std::fputs("usage: vantorel-cli COMMAND [ARGS]\ncommands:\n", stderr);
    for (const Command& c : kCommands) std::fprintf(stderr, "  %s\n", c.usage);
}

} // namespace

int main(int argc, char** argv) {
    // No screen: text and pictures are drawn offscreen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    vantorel::imaging::seedProgramRandomFromClock();

    QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args[0] == QLatin1String("--help") || args[0] == QLatin1String("-h")) {
        printUsage();
        return args.isEmpty() ? 2 : 0;
    }
    const QString name = args.takeFirst();
    for (const Command& c : kCommands) {
        if (name != QLatin1String(c.name)) continue;
        try {
            return c.run(args);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "error: %s\n", e.what());
            return 1;
        }
    }
    std::fprintf(stderr, "error: unknown command \"%s\"\n", qPrintable(name));
    printUsage();
    return 2;
}
