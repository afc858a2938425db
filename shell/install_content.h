#pragma once
// First-start installation of the embedded sample library and stock patterns, the random
// sample picture, and lookups of the installed content.
#include "shell/app_folders.h"
#include "workflow/unzip.h"

#include <QByteArray>
#include <QString>
#include <stdexcept>

namespace vantorel::shell {

// Thrown when an embedded block is missing or a zip file cannot be written.
struct ContentError : std::runtime_error {
    using std::runtime_error::runtime_error;
    explicit ContentError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

inline const QString kSampleLibraryName = QStringLiteral("DefaultSample");
inline const QString kLibraryZipName = QStringLiteral("DefaultSample.zip");
inline const QString kPatternZipName = QStringLiteral("Patterns.zip");
// The stock pattern whose absence makes the next start unpack the pattern pack again.
inline const QString kMarkerPatternName = QStringLiteral("20_Ellipse.pat");

struct InstallResult {
    bool libraryExtracted = false;
    bool patternsExtracted = false;
};

// Writes "DefaultSample.zip" into UserTilelibFolder and "Patterns.zip" into UserFolder
// (every time), unpacks the library when the folder "DefaultSample" is missing (through a
// temporary folder, so a failure leaves none behind) and the patterns into
// UserPatternFolder when "20_Ellipse.pat" is missing, overwriting stock files. display
// gets the title line ("Default Img", "Pattern") and the progress. Throws ContentError or
// workflow::UnzipError.
InstallResult InstallContent(const AppFolders& folders, workflow::UnzipDisplay& display);

// Creates the user folders and runs InstallContent.
InstallResult installForStart(const AppFolders& folders, workflow::UnzipDisplay& display);

// UserTilelibFolder + "DefaultSample".
QString sampleLibraryFolder(const AppFolders& folders);
// The installed sample library folder; creates the folders and installs the content first
// when its imagelib.dat is missing. Throws ContentError when it is still not there.
QString installedSampleLibrary(const AppFolders& folders,
                               workflow::UnzipDisplay* display = nullptr);

// n := Random(3) + 1 from the program-wide generator.
int randomSamplePictureNumber();
// The bytes of block "pngimage_" + n; empty when n is outside 1..3 or the block is missing.
QByteArray samplePictureBytes(int n);

// The pattern file called name ("60_hexagon" or "60_hexagon.pat"), searched in
// AppPatternFolder, then UserPatternFolder; empty when neither holds it.
QString findPatternFile(const AppFolders& folders, const QString& name);

} // namespace vantorel::shell
