#include "app/commandline.h"

#include "support/datatable.h"

#include <gtest/gtest.h>

#include <map>

namespace fenlowick {
namespace {

TEST(CommandLine, OneDataFileHelpAndVersionAnswerOthersAreWrong) {
    using Action = CommandLine::Action;
    const std::map<std::string, Action> actions{{"Start", Action::Start},
                                                {"Help", Action::Help},
                                                {"Version", Action::Version},
                                                {"Wrong", Action::Wrong}};
    for (const test::TableRow& row : test::readTable("gui/commandline.tsv", 3, 6)) {
        SCOPED_TRACE(row.where);
        const QStringList arguments =
            QString::fromStdString(row.fields[0]).split(u' ', Qt::SkipEmptyParts);
        const CommandLine line =
            CommandLine::read(QStringList{QStringLiteral("/opt/fenlowick")} + arguments);
        const Action action = actions.at(row.fields[1]);
        EXPECT_EQ(line.action, action);
        EXPECT_EQ(line.dataFile.toStdString(), row.fields[2]);
        // Only an unknown option may be Qt's, to be read again after Qt has taken its own.
        EXPECT_EQ(line.unknownOptions, arguments.startsWith(QStringLiteral("-platform")));
        EXPECT_EQ(line.text.contains(QStringLiteral("Usage: fenlowick [options] [FILE]\n")),
                  action == Action::Help || action == Action::Wrong);
    }
}

} // namespace
} // namespace fenlowick
