// install-content: the first-start installation of the sample library and stock patterns.
#include "cli/cli_common.h"
#include "shell/install_content.h"

namespace vantorel::cli {

int runInstallContent(const QStringList& args) {
    const ArgParser parser(args, {}, {});
    if (!parser.positional().isEmpty())
        throw CliError(QStringLiteral("install-content takes no arguments"));

    const shell::AppFolders folders = shell::currentAppFolders();
    workflow::UnzipDisplay display;
    QString lastTitle;
    QString lastLine;
    // One line per change of the window's text, under the title of each archive.
    display.processEvents = [&](const workflow::UnzipDisplay& d) {
        if (d.Label_file != lastTitle) {
            lastTitle = d.Label_file;
            printOut(lastTitle);
        }
        if (d.lb_progress != lastLine) {
            lastLine = d.lb_progress;
            printOut(QStringLiteral("  ") + lastLine);
        }
    };
    const shell::InstallResult result = shell::installForStart(folders, display);

    printOut(QStringLiteral("user folder: %1").arg(folders.UserFolder));
    printOut(QStringLiteral("sample library: %1 (%2)")
                 .arg(shell::sampleLibraryFolder(folders),
                      result.libraryExtracted ? QStringLiteral("installed")
                                              : QStringLiteral("already present")));
    printOut(QStringLiteral("stock patterns: %1 (%2)")
                 .arg(folders.UserPatternFolder, result.patternsExtracted
                                                     ? QStringLiteral("installed")
                                                     : QStringLiteral("already present")));
    return 0;
}

} // namespace vantorel::cli
