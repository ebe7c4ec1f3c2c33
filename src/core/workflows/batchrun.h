#pragma once

#include "core/base/csvtable.h"
#include "core/base/expected.h"
#include "core/entry/entry.h"
#include "core/results/totalsstatistics.h"
#include "core/workflows/calculationrun.h"

#include <array>
#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace fenlowick {

/// One mixture row of a batch.
struct BatchMixture {
    std::string label;
    int line = 0; ///< its line in the mixtures file
    /// The mixture texts for the entry's isotope columns (decimal commas read as points).
    std::array<std::string, kIsotopeColumns> mixture;
    /// The base name of its result files: the label made safe (safeFileName).
    std::string fileName;
};

struct BatchPlan {
    std::vector<BatchMixture> mixtures;
    /// Ignored columns and changed labels of the mixtures file, one sentence each.
    std::vector<std::string> notes;
};

/// Matches a mixtures table to an entry: a "mixture" column, and a column for every isotope
/// the entry uses (matched by isotopeKey to the entry's isotope labels); other columns are
/// ignored. Refused, naming file, line and column, for anything wrong in the table (see
/// readLabelledTable), an isotope of the entry without a column, no rows, or two labels
/// that would give result files of the same name (ignoring case).
Expected<BatchPlan> planBatch(const Entry& entry, const CsvTable& mixtures);

/// The entry of one mixture: the mixture boxes from its row, every other box unchanged,
/// except that the title gains " - mixture <label>" (or becomes the label when blank).
Entry batchEntry(const Entry& entry, const BatchMixture& mixture);

/// How one mixture's run ended.
struct BatchItem {
    BatchMixture mixture;
    RunOutcome outcome;
    /// The run's totals, as its totals file gives them; set when the run completed.
    std::optional<RunTotals> totals;
    /// Why the mixture failed (a refusal, a file that could not be written or read back);
    /// empty when it did not.
    std::string failure;

    bool failed() const { return !failure.empty(); }
};

struct BatchRequest {
    Entry entry;
    std::vector<BatchMixture> mixtures;
    std::string folder;
    bool writeFeasibleFile = true;
    const std::atomic<bool>* cancel = nullptr;
    /// Called after each mixture, in order, on the calling thread.
    std::function<void(std::size_t index, const BatchItem& item)> finished;
    /// Source of the date and time texts; currentDateTime when empty.
    Clock clock;
};

struct BatchResult {
    std::vector<BatchItem> items; ///< one per mixture run, in order
    bool cancelled = false;       ///< stopped by the cancel flag; later mixtures not run
};

/// Runs the entry once per mixture, one after another (each search uses the engine's own
/// threads), writing <fileName>.out and <fileName>.tot into the folder. A mixture without
/// feasible solutions and a failing mixture do not stop the batch.
BatchResult runBatch(const BatchRequest& request);

/// The text of summary.csv: a header, then for every mixture that did not fail one row per
/// source: mixture, source, feasible_count, mean, minimum, p1, p50, p99, maximum, sd, the
/// figures of its totals file as numbers (.333, 1), a figure the file does not give as an
/// empty cell. Fields quoted where needed, lines ended by CR LF.
std::string composeBatchSummary(const std::vector<BatchItem>& items);

} // namespace fenlowick
