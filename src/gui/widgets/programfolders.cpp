#include "gui/widgets/programfolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace fenlowick {

ProgramFolders ProgramFolders::of(const QString& executableFolder) {
    const QDir executable(executableFolder);
    const auto folder = [&executable](const QString& path) {
        return QDir::cleanPath(executable.absoluteFilePath(path));
    };
    const QString besideProgram = folder(QStringLiteral("help"));
    const QString installedHelp = folder(QStringLiteral("../share/fenlowick/help"));
    const QString installedExamples = folder(QStringLiteral("../share/doc/fenlowick/examples"));

    ProgramFolders folders;
    folders.help = !QFileInfo(besideProgram).isDir() && QFileInfo(installedHelp).isDir()
                       ? installedHelp
                       : besideProgram;
    if (QFileInfo(installedExamples).isDir()) {
        folders.examples = installedExamples;
    }
    return folders;
}

ProgramFolders ProgramFolders::ofProgram() {
    return of(QCoreApplication::applicationDirPath());
}

} // namespace fenlowick
