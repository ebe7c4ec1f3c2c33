#include "support/resulttexts.h"

#include "core/results/resultformat.h"

#include <cctype>

namespace fenlowick::test {

std::string expectedResult(const std::string& name) {
    return std::string(FENLOWICK_TEST_DATA) + "/conformance/expected/" + name;
}

std::string conformanceCase(const std::string& name) {
    return std::string(FENLOWICK_TEST_DATA) + "/conformance/cases/" + name;
}

std::string record(const std::vector<std::string>& fields) {
    std::string text;
    for (std::size_t i = 0; i < kRecordFields; ++i) {
        if (i > 0) {
            text += ',';
        }
        const std::string field = i < fields.size() ? fields[i] : std::string();
        const bool bare = !field.empty() && (std::isdigit(static_cast<unsigned char>(field[0])) ||
                                             field[0] == '.' || field[0] == '-');
        text += bare ? field : '"' + field + '"';
    }
    return text + "\r\n";
}

std::string histogramFile(const std::vector<std::string>& labels,
                          const std::vector<std::vector<std::string>>& levels) {
    std::string text = record({"Date: ", "DATE", "Time: ", "TIME"}) + record({"Title: ", "t"});
    text += record({"HISTOGRAM DATA"});
    std::vector<std::string> inc{"INC"};
    inc.insert(inc.end(), labels.begin(), labels.end());
    text += record(inc);
    text += record(std::vector<std::string>(labels.size() + 1, "---------------"));
    for (const std::vector<std::string>& level : levels) {
        text += record(level);
    }
    text += record({}) + record({});
    text += record({"N", "999"}) + record({"MEAN"});
    return text;
}

} // namespace fenlowick::test
