#include "support/testsupport.h"

#include "core/entry/datafile.h"

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
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

std::vector<std::string> foldersIn(const std::filesystem::path& folder) {
    std::vector<std::string> names = filesIn(folder);
    std::erase_if(names, [&](const std::string& name) { return !is_directory(folder / name); });
    return names;
}

std::string testNameOf(std::string caseName) {
    for (char& c : caseName) {
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return caseName;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line.ends_with('\r') ? line.substr(0, line.size() - 1) : line);
    }
    return lines;
}

std::vector<std::string> split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at = text.find(separator); at != std::string::npos;
         start = at + separator.size(), at = text.find(separator, start)) {
        parts.push_back(text.substr(start, at - start));
    }
    if (!text.empty()) {
        parts.push_back(text.substr(start));
    }
    return parts;
}

std::string joined(const std::vector<std::string>& parts, const std::string& separator) {
    std::string text;
    for (const std::string& part : parts) {
        text += (&part == parts.data() ? "" : separator) + part;
    }
    return text;
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

pid_t startCli(const std::vector<std::string>& arguments, const ProgramFiles& files) {
    const pid_t pid = ::fork();
    if (pid != 0) {
        return pid;
    }
    for (const auto& [name, fd] :
         {std::pair{&files.out, STDOUT_FILENO}, {&files.err, STDERR_FILENO}}) {
        const char* path = name->empty() ? "/dev/null" : name->c_str();
        ::dup2(::open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644), fd);
    }
    if (files.fileSizeLimit > 0) {
        const rlimit limit{static_cast<rlim_t>(files.fileSizeLimit), RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (!files.workingFolder.empty() && ::chdir(files.workingFolder.c_str()) != 0) {
        ::_exit(126);
    }
    std::vector<char*> argv{const_cast<char*>(FENLOWICK_CLI)};
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    ::execv(FENLOWICK_CLI, argv.data());
    ::_exit(127);
}

std::vector<std::string> exampleStudy(const std::vector<std::string>& more) {
    const std::string example = std::string(FENLOWICK_EXAMPLES) + "/study/";
    std::vector<std::string> words = {"study",
                                      example + "sources.csv",
                                      example + "consumers.csv",
                                      "--draws",
                                      "200",
                                      "-i",
                                      "2",
                                      "-t",
                                      "0.3"};
    words.insert(words.end(), more.begin(), more.end());
    return words;
}

int exitCodeOf(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

Entry entryOf(const std::string& path) {
    return valueOf(readDataFile(path));
}

Entry threeSourceEntry() {
    return entryOf(std::string(FENLOWICK_TEST_DATA) +
                   "/conformance/cases/worked-three-sources.dat");
}

Entry exampleEntry(const std::string& name) {
    return entryOf(std::string(FENLOWICK_EXAMPLES) + "/" + name + ".dat");
}

RunRequest runRequest(const Entry& entry, const std::filesystem::path& folder,
                      const std::string& name, bool feasibleFile) {
    RunRequest request;
    request.entry = entry;
    request.folder = folder.string();
    request.typedName = name;
    request.writeFeasibleFile = feasibleFile;
    request.clock = [] { return DateTimeTexts{"D", "T"}; };
    return request;
}

CsvTable csvTable(std::string_view text, const std::string& name) {
    return valueOf(CsvTable::parse(text, name));
}

const char* nameOf(HullPosition position) {
    return position == HullPosition::Inside   ? "Inside"
           : position == HullPosition::OnEdge ? "OnEdge"
                                              : "Outside";
}

std::string windowBoxName(int field) {
    std::string name = boxName(field);
    std::erase(name, ')');
    std::replace(name.begin(), name.end(), '(', '_');
    return name;
}

Entry changed(Entry entry, const std::string& changes) {
    for (const std::string& change : split(changes, "|")) {
        const std::size_t equals = change.find('=');
        int field = 0;
        while (field < kEntryFieldCount && windowBoxName(field) != change.substr(0, equals)) {
            ++field;
        }
        if (field == kEntryFieldCount || equals == std::string::npos) {
            throw std::runtime_error("no box to change: " + change);
        }
        entryField(entry, field) = change.substr(equals + 1);
    }
    return entry;
}

} // namespace fenlowick::test
