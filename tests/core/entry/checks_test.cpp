#include "core/entry/checks.h"

#include "support/datatable.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

namespace fenlowick {
namespace {

/// The message of a refused entry, or "accepted".
std::string verdict(const Entry& entry) {
    const auto checked = checkEntry(entry);
    if (checked) {
        return "accepted";
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

/// The entry of a row of verdicts.tsv or input.tsv: its start ("grid" or "three") with
/// the boxes changed.
Entry entryOf(const test::TableRow& row) {
    return test::changed(row.fields[0] == "grid" ? emptyGrid() : test::threeSourceEntry(),
                         row.fields[1]);
}

/// Each row of verdicts.tsv changes some boxes of a fresh entry and names the verdict;
/// together they fix which check comes first.
TEST(Checks, VerdictsAndTheirOrder) {
    for (const test::TableRow& row : test::readTable("entry-checks/verdicts.tsv", 4, 30)) {
        EXPECT_EQ(verdict(entryOf(row)), message(row.fields[2])) << row.where;
    }
}

TEST(Checks, ALabelIsMissingWhenItIsAtMostOneBlank) {
    for (const test::TableRow& row : test::readTable("entry-checks/labels.tsv", 2, 10)) {
        const std::string& label = row.fields[0];
        const bool missing = row.fields[1] == "missing";
        EXPECT_EQ(isMissingLabel(label), missing) << row.where;
        Entry entry = test::threeSourceEntry();
        entry.sources[1] = label;
        if (!missing) {
            entry.isotope[0] = label;
        }
        EXPECT_EQ(verdict(entry), message(missing ? "noSourceLabels" : "accepted")) << row.where;
    }
}

/// A member of the calculation input named as in its header, an array's indices after points.
double member(const CalculationInput& input, const std::string& name) {
    std::istringstream parts(name);
    std::string field;
    std::getline(parts, field, '.');
    std::size_t k = 0;
    std::size_t i = 0;
    char point = 0;
    parts >> k >> point >> i;
    return field == "signature"          ? input.signature.at(k).at(i)
           : field == "mixture100"       ? input.mixture100.at(k)
           : field == "incrementPercent" ? input.incrementPercent
           : field == "tolerance100"     ? input.tolerance100
           : field == "lastSource"       ? input.lastSource
           : field == "lastIsotope"      ? input.lastIsotope
           : field == "decimalPlaces"    ? input.decimalPlaces
           : field == "decimalScale"     ? input.decimalScale
                                         : throw std::runtime_error("no member " + name);
}

TEST(CalculationInput, NumbersTheRowsAndColumnsTakingPartAndTheDecimals) {
    for (const test::TableRow& row : test::readTable("entry-checks/input.tsv", 4, 10)) {
        const CalculationInput input = deriveCalculationInput(entryOf(row));
        for (const std::string& item : test::split(row.fields[2], " ")) {
            const std::size_t equals = item.find('=');
            EXPECT_EQ(member(input, item.substr(0, equals)),
                      test::numberOf<double>(item.substr(equals + 1)))
                << row.where << ": " << item;
        }
    }
}

} // namespace
} // namespace fenlowick
