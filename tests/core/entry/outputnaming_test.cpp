#include "core/entry/outputnaming.h"

#include <gtest/gtest.h>

#include <tuple>

namespace fenlowick {
namespace {

TEST(OutputNaming, EverythingAfterTheFirstPointOfTheTypedNameIsReplaced) {
    for (const auto& [name, extension, expected] :
         {std::tuple{"results", "out", "results.out"},
          std::tuple{"results.txt", "out", "results.out"},
          std::tuple{"run.2.csv", "out", "run.out"}, std::tuple{"x.", "out", "x.out"},
          std::tuple{"result.out", "tot", "result.tot"}}) {
        EXPECT_EQ(withExtension(name, extension), expected) << name;
    }
}

TEST(OutputNaming, FolderAndNameAreJoinedWithOneSeparatorAndAPointInTheFolderStays) {
    for (const auto& [folder, name, expected] :
         {std::tuple{"/tmp/runs", "a.out", "/tmp/runs/a.out"},
          std::tuple{"/tmp/runs/", "a.out", "/tmp/runs/a.out"}, std::tuple{"/", "a.out", "/a.out"},
          std::tuple{"", "a.out", "a.out"}}) {
        EXPECT_EQ(joinFolder(folder, name), expected) << folder;
    }
    for (const auto& [folder, name, extension, expected] :
         {std::tuple{"/runs/v1.2", "result.out", "tot", "/runs/v1.2/result.tot"},
          std::tuple{"/runs/v1.2/", "result", "out", "/runs/v1.2/result.out"},
          std::tuple{"output", "run.2.csv", "out", "output/run.out"}}) {
        EXPECT_EQ(resultFilePath(folder, name, extension), expected) << folder << " " << name;
    }
}

} // namespace
} // namespace fenlowick
