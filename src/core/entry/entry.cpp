#include "core/entry/entry.h"

#include <stdexcept>

namespace fenlowick {

namespace {

struct FieldPosition {
    enum class Box { Title, Increment, Threshold, Isotope, Mixture, Sources, Col } box;
    int row = 0;
    int column = 0;
};

FieldPosition positionOf(int index) {
    if (index < 0 || index >= kEntryFieldCount) {
        throw std::out_of_range("entry field index");
    }
    using Box = FieldPosition::Box;
    if (index == 0) {
        return {Box::Title};
    }
    if (index == 1) {
        return {Box::Increment};
    }
    if (index == 2) {
        return {Box::Threshold};
    }
    if (index < 8) {
        return {Box::Isotope, 0, index - 3};
    }
    if (index < 13) {
        return {Box::Mixture, 0, index - 8};
    }
    const int rowIndex = (index - 13) / 6;
    const int inRow = (index - 13) % 6;
    if (inRow == 0) {
        return {Box::Sources, rowIndex, 0};
    }
    return {Box::Col, rowIndex, inRow - 1};
}

template <typename E> auto& fieldOf(E& entry, int index) {
    const FieldPosition pos = positionOf(index);
    using Box = FieldPosition::Box;
    switch (pos.box) {
    case Box::Title:
        return entry.title;
    case Box::Increment:
        return entry.increment;
    case Box::Threshold:
        return entry.threshold;
    case Box::Isotope:
        return entry.isotope[pos.column];
    case Box::Mixture:
        return entry.mixture[pos.column];
    case Box::Sources:
        return entry.sources[pos.row];
    case Box::Col:
        break;
    }
    return entry.col[pos.column][pos.row];
}

} // namespace

Entry Entry::cleared() {
    Entry entry;
    entry.title.clear();
    return entry;
}

std::string boxName(int fieldIndex) {
    const FieldPosition pos = positionOf(fieldIndex);
    using Box = FieldPosition::Box;
    switch (pos.box) {
    case Box::Title:
        return "Title";
    case Box::Increment:
        return "Increment";
    case Box::Threshold:
        return "Threshold";
    case Box::Isotope:
        return "Isotope(" + std::to_string(pos.column) + ")";
    case Box::Mixture:
        return "Mixture(" + std::to_string(pos.column) + ")";
    case Box::Sources:
        return "Sources(" + std::to_string(pos.row) + ")";
    case Box::Col:
        break;
    }
    return "Col" + std::to_string(pos.column) + "(" + std::to_string(pos.row) + ")";
}

std::string boxDescription(int fieldIndex) {
    const FieldPosition pos = positionOf(fieldIndex);
    const std::string row = std::to_string(pos.row + 1);
    const std::string column = std::to_string(pos.column + 1);
    using Box = FieldPosition::Box;
    switch (pos.box) {
    case Box::Title:
        return "the title";
    case Box::Increment:
        return "the increment";
    case Box::Threshold:
        return "the tolerance";
    case Box::Isotope:
        return "the label of isotope column " + column;
    case Box::Mixture:
        return "the mixture value of isotope column " + column;
    case Box::Sources:
        return "the label of source row " + row;
    case Box::Col:
        break;
    }
    return "the signature of source row " + row + " for isotope column " + column;
}

std::string quoteRefusalMessage(int fieldIndex) {
    return "Please remove the double quote (\") from " + boxDescription(fieldIndex) +
           ": the program's files cannot store it.";
}

std::optional<std::string> unstorableTextMessage(const Entry& entry, int fieldIndex) {
    const std::string& text = entryField(entry, fieldIndex);
    if (text.find('"') != std::string::npos) {
        return quoteRefusalMessage(fieldIndex);
    }
    if (text.find_first_of("\r\n") != std::string::npos) {
        return "Please remove the line break from " + boxDescription(fieldIndex) +
               ": the program's files cannot store it.";
    }
    if (text.size() > kMaxResultText) {
        return "Please shorten " + boxDescription(fieldIndex) + " to at most " +
               std::to_string(kMaxResultText) +
               " characters: the program's files cannot read back a longer text.";
    }
    return std::nullopt;
}

std::string& entryField(Entry& entry, int fieldIndex) {
    return fieldOf(entry, fieldIndex);
}

const std::string& entryField(const Entry& entry, int fieldIndex) {
    return fieldOf(entry, fieldIndex);
}

} // namespace fenlowick
