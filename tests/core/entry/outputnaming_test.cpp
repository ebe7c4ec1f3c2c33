#include "core/entry/outputnaming.h"

#include "support/datatable.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

TEST(OutputNaming, TheExtensionReplacesAllAfterTheFirstPointOfTheNameNotOfTheFolder) {
    for (const test::TableRow& row : test::readTable("entry-checks/outputnaming.tsv", 4, 12)) {
        const auto& [folder, name, extension] =
            std::tie(row.fields[0], row.fields[1], row.fields[2]);
        EXPECT_EQ(folder == "-"      ? withExtension(name, extension)
                  : extension == "-" ? joinFolder(folder, name)
                                     : resultFilePath(folder, name, extension),
                  row.fields[3])
            << row.where;
    }
}

} // namespace
} // namespace fenlowick
