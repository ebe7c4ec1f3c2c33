#include "testsupport.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace fenlowick::test {

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "fenlowick-test-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    m_path = ::mkdtemp(name.data());
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const std::filesystem::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
}

std::string withoutFirstLine(const std::string& content) {
    const std::size_t end = content.find('\n');
    return end == std::string::npos ? std::string() : content.substr(end + 1);
}

std::vector<std::string> filesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(folder)) {
        names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

Entry threeSourceEntry() {
    Entry entry;
    entry.title = "Worked example";
    entry.increment = "50";
    entry.threshold = "1";
    entry.isotope[0] = "X";
    entry.mixture[0] = "0";
    entry.sources[0] = "A";
    entry.sources[1] = "B";
    entry.sources[2] = "C";
    entry.col[0][0] = "1";
    entry.col[0][1] = "-3";
    entry.col[0][2] = "5";
    return entry;
}

} // namespace fenlowick::test
