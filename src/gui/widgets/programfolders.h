#pragma once

#include <QString>

namespace fenlowick {

/// The folders of the program's own read-only files, found from the executable's folder so
/// that the program works wherever it is installed and from the build tree.
struct ProgramFolders {
    /// The help pages: "help" beside the executable when it is there (the build tree), else
    /// PREFIX/share/fenlowick/help for an executable in PREFIX/bin. When neither exists, the
    /// one beside the executable, so that a missing page names where it was looked for.
    QString help;
    /// The example entries, PREFIX/share/doc/fenlowick/examples; empty when not installed.
    QString examples;

    /// The folders for an executable in `executableFolder`, as clean absolute paths.
    static ProgramFolders of(const QString& executableFolder);
    /// The folders of the running program.
    static ProgramFolders ofProgram();
};

} // namespace fenlowick
