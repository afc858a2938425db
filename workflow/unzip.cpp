#include "workflow/unzip.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <zip.h>

#include <memory>
#include <vector>

namespace vantorel::workflow {

namespace {

// Backslashes count as separators: archives made on Windows use them.
QString normalisedName(const QString& name) {
    QString n = name;
    n.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return n;
}

// The last non-empty part of an entry name (a folder entry shows its own name).
QString shownName(const QString& name) {
    const QStringList parts = normalisedName(name).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return parts.isEmpty() ? QString() : parts.last();
}

QString libzipMessage(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const QString text = QString::fromUtf8(zip_error_strerror(&error));
    zip_error_fini(&error);
    return text;
}

struct ArchiveCloser {
    void operator()(zip_t* za) const { zip_discard(za); }
};
struct EntryCloser {
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};

// True when path lies inside root once links are resolved (root given canonical).
bool staysInside(const QString& path, const QString& canonicalRoot) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return !canonical.isEmpty() &&
           (canonical == canonicalRoot || canonical.startsWith(canonicalRoot + QLatin1Char('/')));
}

// The deepest part of path that is already on disk (a dangling link counts), so it can be
// checked before creating folders below it.
QString existingPart(const QString& path) {
    QFileInfo fi(path);
    while (!fi.exists() && !fi.isSymLink()) {
        const QString up = fi.path();
        if (up == fi.filePath()) break;
        fi.setFile(up);
    }
    return fi.filePath();
}

void writeEntry(zip_t* za, zip_uint64_t index, const QString& archive, const QString& entry,
                const QString& path, UnzipDisplay& display) {
    auto fail = [&](const QString& why) {
        throw UnzipError(
            QStringLiteral("cannot unpack \"%1\" from \"%2\": %3").arg(entry, archive, why));
    };
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(za, index, 0, &st) < 0) fail(QString::fromUtf8(zip_strerror(za)));
    std::unique_ptr<zip_file_t, EntryCloser> in(zip_fopen_index(za, index, 0));
    if (!in) fail(QString::fromUtf8(zip_strerror(za)));
    if (QFileInfo(path).isSymLink()) fail(QStringLiteral("the target is a symbolic link"));
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(QStringLiteral("cannot write \"%1\": %2").arg(path, out.errorString()));
    std::vector<char> buffer(1 << 16);
    zip_uint64_t total = 0;
    for (;;) {
        const zip_int64_t n = zip_fread(in.get(), buffer.data(), buffer.size());
        if (n < 0) fail(QString::fromUtf8(zip_file_strerror(in.get())));
        if (n == 0) break;
        if (out.write(buffer.data(), n) != n)
            fail(QStringLiteral("cannot write \"%1\": %2").arg(path, out.errorString()));
        total += zip_uint64_t(n);
        display.OnZipProgressEvent(entry);
    }
    if ((st.valid & ZIP_STAT_SIZE) && total != st.size)
        fail(QStringLiteral("the entry is truncated"));
    if (!out.flush()) fail(QStringLiteral("cannot write \"%1\": %2").arg(path, out.errorString()));
}

} // namespace

void UnzipDisplay::OnZipProgressEvent(const QString& name) {
    if (name != Unzip_LastName) {
        Unzip_LastName = name;
        ++Unzip_FileCount;
    }
    ProgressBar1 = Unzip_FileCount;
    lb_progress = QStringLiteral("%1/%2   %3")
                      .arg(Unzip_FileCount)
                      .arg(Unzip_TotalCount)
                      .arg(shownName(name));
    if (processEvents) processEvents(*this);
}

bool Unzip_IsSafeEntryName(const QString& name) {
    const QString n = normalisedName(name);
    if (n.isEmpty() || n.startsWith(QLatin1Char('/'))) return false;
    // A drive letter makes the name absolute on Windows.
    if (n.size() >= 2 && n[1] == QLatin1Char(':')) return false;
    for (const QString& part : n.split(QLatin1Char('/')))
        if (part == QLatin1String("..")) return false;
    return true;
}

bool Unzip_Extract(UnzipDisplay& display, const QString& archive, const QString& target) {
    if (!QFileInfo(archive).isFile()) return false;
    display.Unzip_FileCount = 0;
    display.Unzip_LastName.clear();

    int code = 0;
    std::unique_ptr<zip_t, ArchiveCloser> za(
        zip_open(QFile::encodeName(archive).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &code));
    if (!za)
        throw UnzipError(QStringLiteral("\"%1\" is not a readable zip archive: %2")
                             .arg(archive, libzipMessage(code)));
    const zip_int64_t count = zip_get_num_entries(za.get(), 0);
    if (count < 0 || count > 0x7fffffff)
        throw UnzipError(QStringLiteral("\"%1\" is not a readable zip archive").arg(archive));
    display.Unzip_TotalCount = std::int32_t(count);
    display.ProgressBarMax = std::int32_t(count);

    // Check every name first, so a hostile archive writes nothing at all.
    QStringList names;
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* raw = zip_get_name(za.get(), zip_uint64_t(i), ZIP_FL_ENC_GUESS);
        if (!raw)
            throw UnzipError(QStringLiteral("\"%1\": entry %2 has no name: %3")
                                 .arg(archive)
                                 .arg(i)
                                 .arg(QString::fromUtf8(zip_strerror(za.get()))));
        const QString name = QString::fromUtf8(raw);
        if (!Unzip_IsSafeEntryName(name))
            throw UnzipError(
                QStringLiteral(
                    "\"%1\": refused entry \"%2\": its name leads outside the target folder")
                    .arg(archive, name));
        names << name;
    }

    if (!QDir().mkpath(target))
        throw UnzipError(QStringLiteral("cannot create folder \"%1\"").arg(target));
    const QString root = QFileInfo(target).canonicalFilePath();
    for (zip_int64_t i = 0; i < count; ++i) {
        const QString& entry = names[int(i)];
        const QString relative = normalisedName(entry);
        const QString path = root + QLatin1Char('/') + relative;
        display.OnZipProgressEvent(entry);
        const bool folder = relative.endsWith(QLatin1Char('/'));
        const QString folderPath = folder ? path : QFileInfo(path).path();
        // A link already inside the target must not carry the entry elsewhere, not even the
        // folders leading to it.
        const auto refuseLink = [&] {
            throw UnzipError(
                QStringLiteral("\"%1\": refused entry \"%2\": it leads outside the target folder")
                    .arg(archive, entry));
        };
        if (!staysInside(existingPart(folderPath), root)) refuseLink();
        if (!QDir().mkpath(folderPath))
            throw UnzipError(QStringLiteral("cannot create folder \"%1\"").arg(folderPath));
        if (!staysInside(folderPath, root)) refuseLink();
        if (!folder) writeEntry(za.get(), zip_uint64_t(i), archive, entry, path, display);
    }

    display.ProgressBar1 = 0;
    display.lb_progress = QStringLiteral("-/-");
    if (display.processEvents) display.processEvents(display);
    return true;
}

bool Unzip_ExtractToNewFolder(UnzipDisplay& display, const QString& archive,
                              const QString& target) {
    if (!QFileInfo(archive).isFile()) return false;
    const QFileInfo info(target);
    if (info.exists()) throw UnzipError(QStringLiteral("\"%1\" exists already").arg(target));
    const QString parent = info.absolutePath();
    if (!QDir().mkpath(parent))
        throw UnzipError(QStringLiteral("cannot create folder \"%1\"").arg(parent));
    // Hidden, so that library lists never show the half-filled folder.
    QTemporaryDir staging(parent + QStringLiteral("/.") + info.fileName() +
                          QStringLiteral("-XXXXXX"));
    if (!staging.isValid())
        throw UnzipError(QStringLiteral("cannot create a temporary folder in \"%1\": %2")
                             .arg(parent, staging.errorString()));
    Unzip_Extract(display, archive, staging.path());
    if (!QDir().rename(staging.path(), info.absoluteFilePath()))
        throw UnzipError(QStringLiteral("cannot rename the unpacked folder to \"%1\"").arg(target));
    staging.setAutoRemove(false);
    // Temporary folders are private to the owner; the installed one is an ordinary folder.
    QFile::setPermissions(info.absoluteFilePath(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                              QFileDevice::ReadGroup | QFileDevice::ExeGroup |
                              QFileDevice::ReadOther | QFileDevice::ExeOther);
    return true;
}

} // namespace vantorel::workflow
