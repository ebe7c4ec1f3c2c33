#include "app/application.h"
#include "app/commandline.h"
#include "core/base/programversion.h"

#include <QApplication>
#include <QDir>

int main(int argc, char** argv) {
    using fenlowick::CommandLine;
    QApplication::setApplicationName(QStringLiteral("Fenlowick"));
    QApplication::setApplicationVersion(QString::fromUtf8(fenlowick::programVersion()));
    // The command line is answered without a display where it can be: unknown options may
    // be Qt's own, which the application object takes away before the second reading.
    if (const CommandLine early = CommandLine::read(fenlowick::argumentsOf(argc, argv));
        early.action != CommandLine::Action::Start && !early.unknownOptions) {
        return early.answer();
    }
    QApplication qtApplication(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("org.fenlowick.Fenlowick"));
    const CommandLine commandLine = CommandLine::read(QApplication::arguments());
    if (commandLine.action != CommandLine::Action::Start) {
        return commandLine.answer();
    }
    fenlowick::Application program(QDir::currentPath());
    program.start();
    if (!commandLine.dataFile.isEmpty()) {
        program.loadDataFile(commandLine.dataFile);
    }
    return QApplication::exec();
}
