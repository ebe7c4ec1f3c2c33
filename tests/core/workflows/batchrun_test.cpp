#include "core/workflows/batchrun.h"

#include "core/entry/datafile.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

// The summary is made from the runs' own numbers, not from their totals files read back; it
// must still be the batch example's summary, which tests/core/workflows/independent_summary.py
// works out again without the program.
TEST(BatchRun, TheSummaryOfTheRunsNumbersIsTheIndependentlyWorkedOutOne) {
    const std::string batch = std::string(FENLOWICK_EXAMPLES) + "/batch/";
    const Expected<CsvTable> mixtures = CsvTable::read(batch + "mixtures.csv");
    ASSERT_TRUE(mixtures);
    BatchRequest request;
    request.entry = *readDataFile(batch + "lake-trout.dat");
    const Expected<BatchPlan> plan = planBatch(request.entry, *mixtures);
    ASSERT_TRUE(plan) << plan.error().message;
    test::TempDir temp;
    request.mixtures = plan->mixtures;
    request.folder = temp.path().string();
    request.writeFeasibleFile = false;
    const BatchResult result = runBatch(request);
    ASSERT_FALSE(result.cancelled);
    ASSERT_EQ(result.items.size(), plan->mixtures.size());
    EXPECT_EQ(composeBatchSummary(result.items), test::readFile(batch + "expected-summary.csv"));
}

} // namespace
} // namespace fenlowick
