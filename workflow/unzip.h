#pragma once
// Unpacking zip archives (the sample library and the pattern pack) with the progress the
// package-extract window shows.
#include <QString>
#include <cstdint>
#include <functional>
#include <stdexcept>

namespace vantorel::workflow {

// Thrown for an archive that cannot be read or unpacked safely, or a target that cannot be
// written; the message names the archive and the entry.
struct UnzipError : std::runtime_error {
    using std::runtime_error::runtime_error;
    explicit UnzipError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// What the package-extract window shows, and the progress state of the current extraction.
// A window keeps one and mirrors it in its controls from processEvents.
struct UnzipDisplay {
    QString Label_file = QStringLiteral("name"); // title line; the caller sets it
    QString lb_progress = QStringLiteral("0");   // "i/N   name", "-/-" when done
    int ProgressBarMax = 0;
    int ProgressBar1 = 0;

    std::int32_t Unzip_FileCount = 0;  // file names reported so far
    std::int32_t Unzip_TotalCount = 0; // entries of the archive being extracted
    QString Unzip_LastName;            // name of the previous progress report

    // Called after every progress report: repaint and handle pending events.
    std::function<void(const UnzipDisplay&)> processEvents;

    // The zip reader's progress report; it comes several times per entry, and only a change
    // of the name advances the count.
    void OnZipProgressEvent(const QString& name);
};

// Unpacks every entry of archive into target (created with missing parents), keeping the
// archive's folders and replacing files of the same name. Returns false, touching nothing,
// when the archive does not exist. Every entry name is checked before anything is written:
// absolute names and names that climb out of target ("..", also through backslashes) are
// refused. Throws UnzipError; the display then keeps its last progress text.
bool Unzip_Extract(UnzipDisplay& display, const QString& archive, const QString& target);

// Unpacks archive into a temporary folder beside target and renames it to target only when
// every entry was written, so a failure leaves no half-filled target behind. target must not
// exist yet. Returns false when the archive does not exist; throws UnzipError otherwise.
bool Unzip_ExtractToNewFolder(UnzipDisplay& display, const QString& archive, const QString& target);

// Whether an entry name stays inside the folder it is unpacked into.
bool Unzip_IsSafeEntryName(const QString& name);

} // namespace vantorel::workflow
