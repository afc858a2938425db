#include "shell/app_folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace vantorel::shell {

namespace {

QString join(const QString& folder, const QString& name) {
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

} // namespace

AppFolders computeAppFolders(const QString& appDir, const QString& documentsDir) {
    AppFolders f;
    f.AppFolder = QDir::fromNativeSeparators(appDir);
    if (!f.AppFolder.endsWith(QLatin1Char('/'))) f.AppFolder += QLatin1Char('/');
    f.AppDataFolder = f.AppFolder + QStringLiteral("Data");
    f.AppTilelibFolder = join(f.AppDataFolder, QStringLiteral("Tilelibs"));
    f.AppPatternFolder = join(f.AppDataFolder, QStringLiteral("Patterns"));
    f.UserFolder = join(QDir::fromNativeSeparators(documentsDir), QStringLiteral("Vantorel_S"));
    f.UserTilelibFolder = join(f.UserFolder, QStringLiteral("Tilelibs"));
    f.UserPatternFolder = join(f.UserFolder, QStringLiteral("Patterns"));
    f.ProjectsFolder = QFileInfo(join(f.UserFolder, QStringLiteral("Projects"))).absoluteFilePath();
    f.DLCFolder = QFileInfo(join(f.UserFolder, QStringLiteral("DLCs"))).absoluteFilePath();
    return f;
}

void createUserFolders(const AppFolders& folders) {
    for (const QString* path :
         {&folders.UserFolder, &folders.UserTilelibFolder, &folders.UserPatternFolder,
          &folders.ProjectsFolder, &folders.DLCFolder}) {
        if (!path->isEmpty() && !QFileInfo::exists(*path)) QDir().mkpath(*path);
    }
}

QString documentsFolder() {
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return docs.isEmpty() ? QDir::homePath() : docs;
}

AppFolders currentAppFolders() {
    const QString appDir =
        QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    return computeAppFolders(appDir, documentsFolder());
}

} // namespace vantorel::shell
