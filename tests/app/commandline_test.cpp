#include "app/commandline.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

TEST(CommandLine, OneDataFileHelpAndVersionAnswerOthersAreWrong) {
    using Action = CommandLine::Action;
    const struct {
        QStringList arguments;
        Action action;
        const char* dataFile;
    } cases[] = {
        {{}, Action::Start, ""},
        {{QStringLiteral("diet.dat")}, Action::Start, "diet.dat"},
        {{QStringLiteral("-h")}, Action::Help, ""},
        {{QStringLiteral("diet.dat"), QStringLiteral("--version")}, Action::Version, ""},
        {{QStringLiteral("a.dat"), QStringLiteral("b.dat")}, Action::Wrong, ""},
        {{QStringLiteral("-platform"), QStringLiteral("xcb")}, Action::Wrong, ""},
    };
    for (const auto& c : cases) {
        const CommandLine line =
            CommandLine::read(QStringList{QStringLiteral("/opt/fenlowick")} + c.arguments);
        const std::string what = c.arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(line.action, c.action) << what;
        EXPECT_EQ(line.dataFile, QString::fromLatin1(c.dataFile)) << what;
        // Only an unknown option may be Qt's, to be read again after Qt has taken its own.
        EXPECT_EQ(line.unknownOptions, c.arguments.startsWith(QStringLiteral("-platform"))) << what;
        EXPECT_EQ(line.text.contains(QStringLiteral("Usage: fenlowick [options] [FILE]\n")),
                  c.action == Action::Help || c.action == Action::Wrong)
            << what;
    }
}

} // namespace
} // namespace fenlowick
