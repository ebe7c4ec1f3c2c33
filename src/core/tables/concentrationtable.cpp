#include "core/tables/concentrationtable.h"

#include "core/base/numberformat.h"
#include "core/base/numerictext.h"

#include <cmath>

namespace fenlowick {

namespace {

Error refusal(std::string message) {
    return Error{Error::Kind::Refused, std::move(message)};
}

bool columnNames(std::string_view header, std::string_view isotope) {
    return header == isotope || (header.size() == isotope.size() + 4 &&
                                 header.substr(0, 4) == "Conc" && header.substr(4) == isotope);
}

} // namespace

Expected<SourceConcentrations> concentrationsFromTable(const CsvTable& table, const Entry& entry,
                                                       const CalculationInput& input) {
    const std::string& file = table.fileName();
    std::array<int, kIsotopeColumns> column{};
    for (int k = 0; k < input.isotopeCount(); ++k) {
        const auto isotope = trimBlanks(entry.isotope[k]);
        column[k] = -1;
        for (int c = 1; c < table.columnCount(); ++c) {
            if (!columnNames(table.header(c), isotope)) {
                continue;
            }
            if (column[k] >= 0) {
                return refusal(table.whereHeader(c) + ": a second column of concentrations for " +
                               std::string(isotope) + ".");
            }
            column[k] = c;
        }
        if (column[k] < 0) {
            return refusal(file + ": no column of concentrations for the isotope " +
                           std::string(isotope) + " (head it " + std::string(isotope) + " or Conc" +
                           std::string(isotope) + ").");
        }
    }
    SourceConcentrations result;
    for (int i = 0; i < input.sourceCount(); ++i) {
        const auto source = trimBlanks(entry.sources[i]);
        int row = -1;
        for (int r = 0; r < table.rowCount(); ++r) {
            if (trimBlanks(table.cell(r, 0)) != source) {
                continue;
            }
            if (row >= 0) {
                return refusal(file + ", line " + std::to_string(table.lineOf(r)) +
                               ": a second row of concentrations for the source " +
                               std::string(source) + ".");
            }
            row = r;
        }
        if (row < 0) {
            return refusal(file + ": no row of concentrations for the source " +
                           std::string(source) + ".");
        }
        for (int k = 0; k < input.isotopeCount(); ++k) {
            const Expected<std::string> text = table.numberText(row, column[k]);
            const auto value = text ? toDouble(*text) : std::nullopt;
            if (!value || !std::isfinite(*value) || *value <= 0.0) {
                return refusal(table.where(row, column[k]) + ": " +
                               badConcentrationMessage(source, table.header(column[k]),
                                                       table.cell(row, column[k])));
            }
            result.value[k][i] = *value;
        }
    }
    return result;
}

std::string composeConcentrationTable(const std::vector<std::string>& sources,
                                      const std::vector<std::string>& isotopes,
                                      const SourceConcentrations& concentrations) {
    std::string table = "Source";
    for (const std::string& isotope : isotopes) {
        table += "," + csvField("Conc" + isotope);
    }
    table += "\n";
    for (std::size_t i = 0; i < sources.size(); ++i) {
        table += csvField(sources[i]);
        for (std::size_t k = 0; k < isotopes.size(); ++k) {
            table += "," + formatDouble(concentrations.value[k][i]);
        }
        table += "\n";
    }
    return table;
}

} // namespace fenlowick
