#include "core/results/graphdata.h"

#include "core/base/numerictext.h"
#include "core/results/recordreader.h"
#include "core/results/resultformat.h"

#include <cmath>

namespace fenlowick {

bool sortsAfterBlank(std::string_view text) {
    return text > std::string_view(" ");
}

namespace {

GraphRead failure(GraphReadError error) {
    GraphRead read;
    read.error = error;
    return read;
}

GraphRead readTable(RecordReader& reader) {
    Record record;
    for (int i = 0; i < kGraphHeaderRecords; ++i) {
        if (!reader.next(record)) {
            return failure(GraphReadError::Access);
        }
        if (record[0].text == kHistogramTitle) {
            break;
        }
    }
    if (!reader.next(record)) {
        return failure(GraphReadError::Access);
    }
    if (record[0].text != kLevelTitle) {
        return failure(GraphReadError::WrongType);
    }

    GraphRead read;
    GraphData& data = read.data;
    for (std::size_t c = 1; c < kRecordFields; ++c) {
        if (sortsAfterBlank(record[c].text)) {
            if (data.sourceCount() == kMaxGraphSources) {
                return failure(GraphReadError::Access);
            }
            data.sourceNames.push_back(displayText(record[c]));
        }
    }
    data.percent.resize(data.sourceNames.size());

    // The rule of hyphens under the labels.
    if (!reader.next(record)) {
        return failure(GraphReadError::Access);
    }

    while (!reader.atEnd()) {
        if (!reader.next(record)) {
            return failure(GraphReadError::Access);
        }
        if (!sortsAfterBlank(record[0].text)) {
            break;
        }
        if (data.rowCount() == kMaxGraphRows) {
            return failure(GraphReadError::Access);
        }
        for (int j = 0; j < data.sourceCount(); ++j) {
            const std::optional<float> count = toFloat(record[j + 1].text);
            if (!count || !std::isfinite(*count)) {
                return failure(GraphReadError::Access);
            }
            data.percent[j].push_back(*count);
        }
        data.levelLabels.push_back(displayText(record[0]));
    }
    return read;
}

void scale(GraphRead& read) {
    GraphData& data = read.data;
    double total = 0;
    if (data.sourceCount() > 0) {
        for (float count : data.percent[0]) {
            total += count;
        }
    }
    if (total == 0) {
        read = failure(GraphReadError::Access);
        return;
    }
    double largest = 0;
    for (std::vector<float>& source : data.percent) {
        for (float& value : source) {
            if (value > largest) {
                largest = value;
            }
            value = static_cast<float>(value / total * 100.0);
        }
    }
    data.total = total;
    data.scaleMax = graphScaleMax(largest, total);
    data.divisions = majorDivisions(data.scaleMax);
}

} // namespace

GraphRead readGraphData(std::string_view text, bool complete) {
    RecordReader reader(text);
    GraphRead read = readTable(reader);
    if (!complete && reader.atEnd()) {
        read.needsMore = true;
        return read;
    }
    if (read.error == GraphReadError::None) {
        scale(read);
    }
    return read;
}

GraphRead loadGraphFile(const std::string& path) {
    Expected<GraphRead> read = parseFileGrowing<GraphRead>(path, readGraphData);
    if (!read) {
        return failure(GraphReadError::Access);
    }
    return std::move(*read);
}

double graphScaleMax(double largestCount, double total) {
    return 5.0 * std::floor((largestCount / total * 100.0 + 0.5) / 5.0) + 5.0;
}

int majorDivisions(double scaleMax) {
    return static_cast<int>(std::floor(scaleMax)) / 5;
}

} // namespace fenlowick
