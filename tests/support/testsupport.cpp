#include "support/testsupport.h"

#include "core/entry/datafile.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
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

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

FileSizeLimit::FileSizeLimit(std::uint64_t bytes) {
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    m_oldLimit = limit.rlim_cur;
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(m_oldLimit);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, m_oldHandler);
}

Entry entryOf(const std::string& path) {
    const Expected<Entry> entry = readDataFile(path);
    if (!entry) {
        throw std::runtime_error(entry.error().message);
    }
    return *entry;
}

Entry threeSourceEntry() {
    return entryOf(std::string(FENLOWICK_TEST_DATA) +
                   "/conformance/cases/worked-three-sources.dat");
}

Entry exampleEntry(const std::string& name) {
    return entryOf(std::string(FENLOWICK_EXAMPLES) + "/" + name + ".dat");
}

Entry changed(Entry entry, const BoxTexts& boxes) {
    for (const auto& [index, text] : boxes) {
        entryField(entry, index) = text;
    }
    return entry;
}

} // namespace fenlowick::test
