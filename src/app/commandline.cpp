#include "app/commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

namespace fenlowick {

namespace {

const char* const kExitCodesText = R"(
Exit codes:
  0  the program ended, or printed what was asked
  2  the command line is wrong
)";

} // namespace

CommandLine CommandLine::read(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Fenlowick: exact stable-isotope mixing models (the desktop program)"));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Print this help and exit"));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Print the version and exit"));
    parser.addOption(help);
    parser.addOption(version);
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("A data file (.dat) to open in the entry window"),
                                 QStringLiteral("[FILE]"));

    CommandLine commandLine;
    // The usage names the program as it is installed, whatever path started it.
    QString usage = parser.helpText() + QString::fromLatin1(kExitCodesText);
    const qsizetype nameAt = usage.indexOf(QLatin1Char(' ')) + 1;
    usage.replace(nameAt, usage.indexOf(QLatin1Char(' '), nameAt) - nameAt,
                  QStringLiteral("fenlowick"));
    const bool parsed = parser.parse(arguments);
    commandLine.unknownOptions = !parsed;
    if (parsed && parser.isSet(help)) {
        commandLine.action = Action::Help;
        commandLine.text = usage;
    } else if (parsed && parser.isSet(version)) {
        commandLine.action = Action::Version;
        commandLine.text =
            QStringLiteral("fenlowick %1\n").arg(QCoreApplication::applicationVersion());
    } else if (!parsed || parser.positionalArguments().size() > 1) {
        commandLine.action = Action::Wrong;
        const QString reason =
            parsed ? QStringLiteral("only one data file can be opened") : parser.errorText();
        commandLine.text = QStringLiteral("fenlowick: %1\n\n%2").arg(reason, usage);
    } else if (!parser.positionalArguments().isEmpty()) {
        commandLine.dataFile = parser.positionalArguments().front();
    }
    return commandLine;
}

int CommandLine::answer() const {
    std::FILE* stream = action == Action::Wrong ? stderr : stdout;
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
    return action == Action::Wrong ? 2 : 0;
}

QStringList argumentsOf(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return arguments;
}

} // namespace fenlowick
