#include "core/results/totalsgrid.h"

#include "core/results/recordreader.h"

#include <algorithm>

namespace fenlowick {

GridLoad readGridRecords(std::string_view text, bool complete) {
    GridLoad load;
    RecordReader reader(text);
    while (static_cast<int>(load.records.size()) < kMaxGridRecords && !reader.atEnd()) {
        Record record;
        if (!reader.next(record)) {
            load.failed = true;
            break;
        }
        GridRow& row = load.records.emplace_back();
        for (std::size_t c = 0; c < kRecordFields; ++c) {
            row[c] = displayText(record[c]);
        }
    }
    load.needsMore = !complete && reader.atEnd();
    return load;
}

GridLoad loadGridFile(const std::string& path) {
    Expected<GridLoad> load = parseFileGrowing<GridLoad>(path, readGridRecords);
    if (!load) {
        GridLoad failed;
        failed.failed = true;
        return failed;
    }
    return std::move(*load);
}

int lastPrintRow(const std::vector<std::string>& column0) {
    // std::string compares characters as unsigned values, i.e. by character code.
    const std::string threshold = "  !";
    for (int row = static_cast<int>(column0.size()) - 1; row >= 0; --row) {
        if (column0[row] > threshold) {
            return row;
        }
    }
    return 0;
}

std::vector<PrintPage> printPages(int lastRow) {
    std::vector<PrintPage> pages;
    PrintPage page;
    for (int row = 0; row <= lastRow; ++row) {
        page.lastRow = row;
        if (row > 0 && row % kPrintPageRows == 0 && row < lastRow) {
            pages.push_back(page);
            page.firstRow = row + 1;
        }
    }
    pages.push_back(page);
    return pages;
}

std::string tabSeparatedText(const std::vector<std::vector<std::string>>& cells) {
    const auto hasText = [](const std::vector<std::string>& row) {
        return std::any_of(row.begin(), row.end(), [](const std::string& s) { return !s.empty(); });
    };
    const auto first = std::find_if(cells.begin(), cells.end(), hasText);
    if (first == cells.end()) {
        return {};
    }
    const auto last = std::find_if(cells.rbegin(), cells.rend(), hasText).base();
    std::size_t columns = 0;
    for (auto row = first; row != last; ++row) {
        for (std::size_t c = row->size(); c > columns; --c) {
            if (!(*row)[c - 1].empty()) {
                columns = c;
                break;
            }
        }
    }
    std::string text;
    for (auto row = first; row != last; ++row) {
        for (std::size_t c = 0; c < columns; ++c) {
            if (c > 0) {
                text += '\t';
            }
            if (c < row->size()) {
                std::string cell = (*row)[c];
                std::replace_if(
                    cell.begin(), cell.end(),
                    [](char ch) { return ch == '\t' || ch == '\r' || ch == '\n'; }, ' ');
                text += cell;
            }
        }
        text += '\n';
    }
    return text;
}

} // namespace fenlowick
