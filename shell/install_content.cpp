#include "shell/install_content.h"

#include "imaging/program_random.h"
#include "resources/embedded_content.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace vantorel::shell {

namespace {

QString join(const QString& folder, const QString& name) {
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

// Replaces path with the block, through a temporary file so a failed write keeps no torn zip.
void writeBlock(const QString& blockName, const QString& path) {
    const QByteArray bytes = resources::embeddedBlock(blockName);
    if (bytes.isEmpty())
        throw ContentError(QStringLiteral("the program carries no block \"%1\"").arg(blockName));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw ContentError(QStringLiteral("cannot write \"%1\": %2").arg(path, file.errorString()));
}

} // namespace

InstallResult InstallContent(const AppFolders& folders, workflow::UnzipDisplay& display) {
    InstallResult result;
    const QString libraryZip = join(folders.UserTilelibFolder, kLibraryZipName);
    writeBlock(resources::kLibraryBlock, libraryZip);
    const QString library = sampleLibraryFolder(folders);
    if (!QFileInfo::exists(library) && QFileInfo::exists(libraryZip)) {
        display.Label_file = QStringLiteral("Default Img");
        result.libraryExtracted = workflow::Unzip_ExtractToNewFolder(display, libraryZip, library);
    }

    const QString patternZip = join(folders.UserFolder, kPatternZipName);
    writeBlock(resources::kPatternBlock, patternZip);
    if (!QFileInfo::exists(join(folders.UserPatternFolder, kMarkerPatternName)) &&
        QFileInfo::exists(patternZip)) {
        display.Label_file = QStringLiteral("Pattern");
        result.patternsExtracted =
            workflow::Unzip_Extract(display, patternZip, folders.UserPatternFolder);
    }
    return result;
}

InstallResult installForStart(const AppFolders& folders, workflow::UnzipDisplay& display) {
    createUserFolders(folders);
    return InstallContent(folders, display);
}

QString sampleLibraryFolder(const AppFolders& folders) {
    return join(folders.UserTilelibFolder, kSampleLibraryName);
}

QString installedSampleLibrary(const AppFolders& folders, workflow::UnzipDisplay* display) {
    const QString library = sampleLibraryFolder(folders);
    const QString dataFile = join(library, QStringLiteral("imagelib.dat"));
    if (!QFileInfo::exists(dataFile)) {
        workflow::UnzipDisplay quiet;
        installForStart(folders, display ? *display : quiet);
    }
    if (!QFileInfo::exists(dataFile))
        throw ContentError(
            QStringLiteral("the sample library \"%1\" has no imagelib.dat; delete the folder "
                           "and start again to reinstall it")
                .arg(library));
    return library;
}

int randomSamplePictureNumber() {
    return imaging::Random(resources::kSamplePictureCount) + 1;
}

QByteArray samplePictureBytes(int n) {
    if (n < 1 || n > resources::kSamplePictureCount) return {};
    return resources::embeddedBlock(resources::samplePictureBlockName(n));
}

QString findPatternFile(const AppFolders& folders, const QString& name) {
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return {};
    const QString file = name.endsWith(QLatin1String(".pat"), Qt::CaseInsensitive)
                             ? name
                             : name + QStringLiteral(".pat");
    for (const QString& folder : {folders.AppPatternFolder, folders.UserPatternFolder}) {
        const QString path = join(folder, file);
        if (QFileInfo(path).isFile()) return path;
    }
    return {};
}

} // namespace vantorel::shell
