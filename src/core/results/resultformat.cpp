#include "core/results/resultformat.h"

#include "core/base/numberformat.h"

namespace fenlowick {

std::string paddingText(int fields) {
    std::string text;
    for (int i = 0; i < fields; ++i) {
        text += i == 0 ? "\"\"" : ",\"\"";
    }
    return fields > 0 ? text + "\r\n" : text;
}

std::string shareFieldText(float percent) {
    return formatSingle(shareFraction(percent)) + ",";
}

std::string feasibleRecordEnd(int sources) {
    return paddingText(kRecordFields - sources);
}

std::string meanFieldText(double mean) {
    return formatDouble(roundedThousandths(mean));
}

std::string stdDevFieldText(float stdDev) {
    return formatSingle(static_cast<float>(roundedThousandths(stdDev)));
}

std::string levelStatisticText(std::optional<float> share) {
    return share ? formatHundredths(*share) : std::string(kMissingStatistic);
}

} // namespace fenlowick
