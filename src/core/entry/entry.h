#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>

namespace fenlowick {

inline constexpr int kSourceRows = 10;
inline constexpr int kIsotopeColumns = 5;
inline constexpr int kEntryFieldCount = 73;

/// The whole entry of the main window as the texts of its 73 boxes, exactly as typed
/// (UTF-8). Nothing here is interpreted; see CalculationInput for the numbers of a run.
struct Entry {
    std::string title = " ";
    std::string increment;
    std::string threshold;
    std::array<std::string, kIsotopeColumns> isotope;
    std::array<std::string, kIsotopeColumns> mixture;
    std::array<std::string, kSourceRows> sources;
    /// col[k][i]: the signature of source row i for isotope column k (boxes Col0..Col4).
    std::array<std::array<std::string, kSourceRows>, kIsotopeColumns> col;

    /// Every box empty, the title included (the Clear command).
    static Entry cleared();

    bool operator==(const Entry&) const = default;
};

/// The name of a box as the user sees it, for messages ("Col2(4)", "Mixture(0)", "Title").
/// Boxes are numbered in data-file order 0..72.
std::string boxName(int fieldIndex);

/// The box as a sentence can name it: "the title", "the label of source row 3",
/// "the signature of source row 2 for isotope column 1" (rows and columns counted from 1).
std::string boxDescription(int fieldIndex);

/// The message refusing a box that holds a double quote: the program's files quote every
/// text and have no escape for a quote inside one, so such a text would read back shifted.
std::string quoteRefusalMessage(int fieldIndex);

/// The longest text a box may hold for a run: the result files repeat the labels, and their
/// readers take records of limited size.
inline constexpr std::size_t kMaxResultText = 1000;

/// Why the result files cannot hold a box's text as typed (a double quote, a line break, or
/// more than kMaxResultText bytes), as the refusal the run shows; nothing when they can.
std::optional<std::string> unstorableTextMessage(const Entry& entry, int fieldIndex);

/// Access to the 73 texts in data-file order: Title, Increment, Threshold, Isotope(0..4),
/// Mixture(0..4), then per source row Sources(i), Col0(i)..Col4(i).
std::string& entryField(Entry& entry, int fieldIndex);
const std::string& entryField(const Entry& entry, int fieldIndex);

} // namespace fenlowick
