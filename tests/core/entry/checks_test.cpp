#include "core/entry/checks.h"

#include "support/datatable.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace fenlowick {
namespace {

using test::threeSourceEntry;

const std::string kAccepted = "accepted";

/// The message of a refused entry, or "accepted".
std::string verdict(const Entry& entry) {
    const auto checked = checkEntry(entry);
    if (checked) {
        return kAccepted;
    }
    EXPECT_EQ(checked.error().kind, Error::Kind::Refused);
    return checked.error().message;
}

Entry emptyGrid() {
    Entry entry = Entry::cleared();
    entry.increment = "10";
    entry.threshold = "1";
    return entry;
}

/// The entryField index of a box named as in the main window (Title, Increment, Tolerance,
/// Isotope_k, Mixture_k, Sources_i, Colk_i).
int boxIndex(const std::string& name) {
    using namespace test::box;
    const std::size_t bar = name.find('_');
    const int after = bar == std::string::npos ? -1 : std::stoi(name.substr(bar + 1));
    const std::string kind = name.substr(0, bar);
    if (kind == "Title" || kind == "Increment" || kind == "Tolerance") {
        return kind == "Title" ? 0 : kind == "Increment" ? kIncrement : kTolerance;
    }
    if (kind.starts_with("Col")) {
        return cell(std::stoi(kind.substr(3)), after);
    }
    EXPECT_TRUE(kind == "Isotope" || kind == "Mixture" || kind == "Sources") << name;
    return kind == "Isotope" ? isotope(after) : kind == "Mixture" ? mixture(after) : source(after);
}

/// The message of a verdict named in entry-checks/messages.tsv; any other verdict is the
/// message itself.
std::string message(const std::string& key) {
    for (const test::TableRow& row : test::readTable("entry-checks/messages.tsv", 2, 9)) {
        if (row.fields[0] == key) {
            return row.fields[1];
        }
    }
    return key; // the message itself
}

/// The entry of a row of verdicts.tsv or decimals.tsv: its start ("grid" or "three") with
/// the boxes changed ("Name=text", separated by "|").
Entry entryOf(const test::TableRow& row) {
    Entry entry = row.fields[0] == "grid" ? emptyGrid() : threeSourceEntry();
    for (std::size_t start = 0; start <= row.fields[1].size();) {
        const std::size_t bar = std::min(row.fields[1].find('|', start), row.fields[1].size());
        const std::string change = row.fields[1].substr(start, bar - start);
        const std::size_t equals = change.find('=');
        entryField(entry, boxIndex(change.substr(0, equals))) = change.substr(equals + 1);
        start = bar + 1;
    }
    return entry;
}

/// Each row of verdicts.tsv changes some boxes of a fresh entry and names the verdict;
/// together they fix which check comes first.
TEST(Checks, VerdictsAndTheirOrder) {
    for (const test::TableRow& row : test::readTable("entry-checks/verdicts.tsv", 4, 30)) {
        EXPECT_EQ(verdict(entryOf(row)), message(row.fields[2]))
            << "verdicts.tsv, line " << row.line;
    }
}

TEST(Checks, ALabelIsMissingWhenItIsAtMostOneBlank) {
    for (const test::TableRow& row : test::readTable("entry-checks/labels.tsv", 2, 10)) {
        const std::string& label = row.fields[0];
        const bool missing = row.fields[1] == "missing";
        EXPECT_EQ(isMissingLabel(label), missing) << "labels.tsv, line " << row.line;
        Entry entry = threeSourceEntry();
        entry.sources[1] = label;
        if (!missing) {
            entry.isotope[0] = label;
        }
        EXPECT_EQ(verdict(entry), message(missing ? "noSourceLabels" : "accepted"))
            << "labels.tsv, line " << row.line;
    }
}

TEST(CalculationInput, TakesTheNumbersOfTheEntry) {
    Entry entry = threeSourceEntry();
    entry.increment = "2.5";
    entry.threshold = "0.1";
    entry.mixture[0] = "-19.8";
    entry.mixture[1] = "   "; // blanks count zero
    entry.mixture[3] = "8.1"; // filled although column 3 takes no part
    entry.col[0][1] = "-21.35";
    const CalculationInput input = deriveCalculationInput(entry);
    EXPECT_EQ(input.incrementPercent, 2.5f);
    EXPECT_EQ(input.tolerance100, 0.1 * 100.0);
    EXPECT_EQ(input.mixture100[0], -19.8 * 100.0);
    EXPECT_EQ(input.mixture100[3], 8.1 * 100.0);
    EXPECT_EQ(input.mixture100[1], 0.0);
    EXPECT_EQ(input.signature[0][0], 1.0f);
    EXPECT_EQ(input.signature[0][1], -21.35f);
    EXPECT_EQ(input.lastSource, 2);
    EXPECT_EQ(input.lastIsotope, 0);
}

TEST(CalculationInput, RowsAndColumnsBeforeTheLastDataTakePartWithSignatureZero) {
    Entry entry = emptyGrid();
    entry.col[0][0] = "1";
    entry.col[1][1] = "2";
    entry.col[0][4] = "3";
    entry.col[0][2] = "abc"; // not numeric: does not count as data
    CalculationInput input = deriveCalculationInput(entry);
    EXPECT_EQ(input.lastSource, 4);
    EXPECT_EQ(input.lastIsotope, 1);
    for (int row : {2, 3}) {
        for (int k = 0; k < kIsotopeColumns; ++k) {
            EXPECT_EQ(input.signature[k][row], 0.0f) << "row " << row << " column " << k;
        }
    }
    EXPECT_EQ(input.signature[0][4], 3.0f);

    entry = emptyGrid();
    entry.col[2][0] = "1";
    entry.col[2][5] = "2";
    input = deriveCalculationInput(entry);
    EXPECT_EQ(input.lastIsotope, 2);
    EXPECT_EQ(input.lastSource, 5);
    EXPECT_EQ(input.signature[0][0], 0.0f);
    EXPECT_EQ(input.signature[1][5], 0.0f);

    // Without numeric signatures both markers stay -99.
    entry = emptyGrid();
    entry.col[0][0] = "n.d.";
    entry.col[1][3] = "   ";
    entry.mixture[0] = "5";
    input = deriveCalculationInput(entry);
    EXPECT_EQ(input.lastSource, -99);
    EXPECT_EQ(input.lastIsotope, -99);
}

TEST(CalculationInput, DecimalPlacesAndScale) {
    for (const test::TableRow& row : test::readTable("entry-checks/decimals.tsv", 5, 6)) {
        const CalculationInput input = deriveCalculationInput(entryOf(row));
        EXPECT_EQ(input.decimalPlaces, std::stoi(row.fields[2])) << "line " << row.line;
        if (row.fields[3] != "-") {
            EXPECT_EQ(input.decimalScale, std::stoi(row.fields[3])) << "line " << row.line;
        }
    }
}

} // namespace
} // namespace fenlowick
