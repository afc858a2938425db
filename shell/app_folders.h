#pragma once
// The program's data folders: beside the program (shipped content) and in the user's
// documents folder (the user's libraries, patterns, projects and downloads).
#include <QString>

namespace vantorel::shell {

struct AppFolders {
    QString AppFolder;         // folder of the program file, with a trailing separator
    QString AppDataFolder;     // AppFolder + "Data"
    QString AppTilelibFolder;  // AppDataFolder + "Tilelibs"
    QString AppPatternFolder;  // AppDataFolder + "Patterns"
    QString UserFolder;        // Documents + "Vantorel_S"
    QString UserTilelibFolder; // UserFolder + "Tilelibs"
    QString UserPatternFolder; // UserFolder + "Patterns"
    QString ProjectsFolder;    // absolute UserFolder + "Projects"
    QString DLCFolder;         // absolute UserFolder + "DLCs"
};

// The nine folders for a program in appDir and a user whose documents folder is
// documentsDir. Nothing is created.
AppFolders computeAppFolders(const QString& appDir, const QString& documentsDir);

// Creates the five user folders in order, with missing parents; a folder that cannot be
// created is skipped (later file operations in it fail with their own errors).
void createUserFolders(const AppFolders& folders);

// The current user's documents folder; the home folder when the platform reports none.
QString documentsFolder();
// The folders of this program and the current user (the program's folder is the one of
// the running executable).
AppFolders currentAppFolders();

} // namespace vantorel::shell
