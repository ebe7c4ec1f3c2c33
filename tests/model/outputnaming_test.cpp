#include "outputnaming.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

TEST(OutputNaming, ReplacesEverythingAfterTheFirstPointOfTheTypedName) {
    EXPECT_EQ(withExtension("results", "out"), "results.out");
    EXPECT_EQ(withExtension("results.txt", "out"), "results.out");
    EXPECT_EQ(withExtension("run.2.csv", "out"), "run.out");
    EXPECT_EQ(withExtension("x.", "out"), "x.out");
    EXPECT_EQ(withExtension("result.out", "tot"), "result.tot");
}

TEST(OutputNaming, JoinsFolderAndNameWithOneSeparator) {
    EXPECT_EQ(joinFolder("/tmp/runs", "a.out"), "/tmp/runs/a.out");
    EXPECT_EQ(joinFolder("/tmp/runs/", "a.out"), "/tmp/runs/a.out");
    EXPECT_EQ(joinFolder("/", "a.out"), "/a.out");
    EXPECT_EQ(joinFolder("", "a.out"), "a.out");
}

TEST(OutputNaming, APointInTheFolderLeavesTheNameAlone) {
    EXPECT_EQ(resultFilePath("/runs/v1.2", "result.out", "tot"), "/runs/v1.2/result.tot");
    EXPECT_EQ(resultFilePath("/runs/v1.2", "result", "tot"), "/runs/v1.2/result.tot");
    EXPECT_EQ(resultFilePath("/runs/v1.2/", "result", "out"), "/runs/v1.2/result.out");
    EXPECT_EQ(resultFilePath("output", "run.2.csv", "out"), "output/run.out");
}

} // namespace
} // namespace fenlowick
