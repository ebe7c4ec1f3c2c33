#include "core/base/textencoding.h"
#include "core/engine/engine.h"
#include "core/entry/checks.h"
#include "core/entry/datafile.h"
#include "core/results/resultfiles.h"
#include "fuzzcheck.h"
#include "fuzztargets.h"

#include <string>

namespace fenlowick::fuzz {

namespace {

class StringSink : public RecordSink {
public:
    bool write(std::string_view records) override {
        text += records;
        return true;
    }
    std::string text;
};

constexpr std::uint64_t kMaxCombinations = 20000;

} // namespace

int fuzzCalculation(const std::uint8_t* data, std::size_t size) {
    const std::string text = decodeToUtf8({reinterpret_cast<const char*>(data), size});
    Expected<Entry> entry = parseDataFile(text);
    if (!entry) {
        return 0;
    }
    Expected<CalculationInput> input = checkEntry(*entry);
    if (input &&
        combinationCount(input->sourceCount(), input->incrementPercent) > kMaxCombinations) {
        // Keep every search small enough for thousands of runs a second.
        entry->increment = "25";
        input = checkEntry(*entry);
    }
    if (!input) {
        FUZZ_CHECK(!input.error().message.empty());
        return 0;
    }
    FUZZ_CHECK(input->sourceCount() >= 3 && input->sourceCount() <= 10);
    FUZZ_CHECK(input->isotopeCount() >= 1 && input->isotopeCount() <= 5);
    FUZZ_CHECK(input->decimalScale >= 1 && input->decimalScale <= 1000000);

    const DateTimeTexts now{"DATE", "TIME"};
    const std::string header = composeFeasibleHeader(*entry, *input, now);
    FUZZ_CHECK(!header.empty());

    StringSink plainRecords;
    StringSink fastRecords;
    const EngineResult plain = enumeratePlain(*input, &plainRecords, {});
    const EngineResult fast = runSearch(*input, &fastRecords, {});
    FUZZ_CHECK(plain.visitedCount ==
               combinationCount(input->sourceCount(), input->incrementPercent));
    FUZZ_CHECK(plain.feasibleCount == fast.feasibleCount);
    FUZZ_CHECK(plain.histograms == fast.histograms);
    FUZZ_CHECK(plainRecords.text == fastRecords.text);
    // Without records the search counts whole runs and may visit the sources in another
    // order; the counts must not change.
    const EngineResult counted = runSearch(*input, nullptr, {});
    FUZZ_CHECK(counted.feasibleCount == plain.feasibleCount);
    FUZZ_CHECK(counted.histograms == plain.histograms);
    for (int s = 0; s < input->sourceCount(); ++s) {
        std::uint64_t sum = 0;
        for (std::uint64_t count : plain.histograms[static_cast<std::size_t>(s)]) {
            sum += count;
        }
        FUZZ_CHECK(sum == plain.feasibleCount);
    }
    const TotalsText totals = composeTotals(*entry, *input, plain.histograms, now);
    FUZZ_CHECK(totals.observations == plain.feasibleCount);
    return 0;
}

} // namespace fenlowick::fuzz
