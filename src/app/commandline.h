#pragma once

#include <QString>
#include <QStringList>

namespace fenlowick {

/// What the desktop program's command line asks for: `fenlowick [FILE]`, `--help` or
/// `--version`. FILE is a data file to open in the entry window, as the desktop passes a file
/// opened with the program.
struct CommandLine {
    enum class Action {
        Start,   ///< start the program, opening `dataFile` when it is not empty
        Help,    ///< print `text` (the usage) on standard output, exit code 0
        Version, ///< print `text` on standard output, exit code 0
        Wrong,   ///< print `text` (the reason and the usage) on standard error, exit code 2
    };

    Action action = Action::Start;
    QString dataFile;
    QString text;
    /// The arguments hold options this program does not know: they may be Qt's own
    /// (-platform ...), which the application object takes away before a second reading.
    bool unknownOptions = false;

    /// Reads `arguments`, the program's name first. The version is the application's.
    static CommandLine read(const QStringList& arguments);

    /// Prints `text` as `action` says; returns the exit code.
    int answer() const;
};

/// The program's arguments as texts, decoded from the locale's encoding.
QStringList argumentsOf(int argc, char** argv);

} // namespace fenlowick
