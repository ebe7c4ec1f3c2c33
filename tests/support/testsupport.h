#pragma once

#include "core/base/csvtable.h"
#include "core/engine/planarhull.h"
#include "core/entry/entry.h"
#include "core/workflows/calculationrun.h"

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace fenlowick::test {

/// The value of an Expected; throws its error's message, which fails the test, when there is
/// none.
template <typename T> T valueOf(Expected<T> expected) {
    if (!expected) {
        throw std::runtime_error(expected.error().message);
    }
    return std::move(*expected);
}

/// A fresh folder under the system's temporary folder, removed with everything in it when
/// the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

/// The whole content of a file; empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& content);

/// The content without its first line (the result files' date and time).
std::string withoutFirstLine(const std::string& content);

/// The names of the files in a folder, sorted; foldersIn: only its folders.
std::vector<std::string> filesIn(const std::filesystem::path& folder);
std::vector<std::string> foldersIn(const std::filesystem::path& folder);

/// A case's name (of its file or folder) as a test name: letters, digits and '_' only.
std::string testNameOf(std::string caseName);

/// The lines of a text, without their line ends (LF or CR LF).
std::vector<std::string> linesOf(const std::string& text);

/// The parts of a text between its separators: none for an empty text, the text itself for
/// one without separators.
std::vector<std::string> split(const std::string& text, const std::string& separator);

/// The parts joined into one text with the separator between them.
std::string joined(const std::vector<std::string>& parts, const std::string& separator);

/// Limits the size of the files this process may write while the object lives, so that a
/// write fails as it does on a full disk (the signal for it is ignored meanwhile).
class FileSizeLimit {
public:
    explicit FileSizeLimit(std::uint64_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    std::uint64_t m_oldLimit = 0;
    void (*m_oldHandler)(int) = nullptr;
};

/// Where the output of a started program goes, and what it may write.
struct ProgramFiles {
    std::string out; ///< standard output; /dev/null when empty
    std::string err; ///< standard error; /dev/null when empty
    std::string workingFolder;
    std::uint64_t fileSizeLimit = 0; ///< 0: none
};

/// Starts the built fenlowick-cli with the arguments, each passed as one word.
pid_t startCli(const std::vector<std::string>& arguments, const ProgramFiles& files);

/// The words of a study of examples/study with 200 draws at increment 2 and tolerance 0.3,
/// then `more`.
std::vector<std::string> exampleStudy(const std::vector<std::string>& more);

/// Waits for a started program; its exit code as a shell reports it, 128 + the signal's
/// number for a killed one.
int exitCodeOf(pid_t pid);

/// The entry of a data file; throws when it cannot be read.
Entry entryOf(const std::string& path);

/// An entry of three sources and one isotope (A 1, B -3, C 5; mixture 0; increment 50;
/// tolerance 1), the smallest complete entry: the conformance case worked-three-sources.
Entry threeSourceEntry();

/// The entry of the example data file examples/<name>.dat; throws when it cannot be read.
Entry exampleEntry(const std::string& name);

/// A run of the entry into `folder` under the typed `name`, dated "D" at "T".
RunRequest runRequest(const Entry& entry, const std::filesystem::path& folder,
                      const std::string& name, bool feasibleFile = true);

/// The table of a CSV text; throws when it cannot be read.
CsvTable csvTable(std::string_view text, const std::string& name = "s.csv");

/// "Inside", "OnEdge" or "Outside".
const char* nameOf(HullPosition position);

/// The name the main window gives the box of an entryField index: boxName's, with a row
/// or column after an underscore ("Col4(9)" is Col4_9).
std::string windowBoxName(int field);

/// The entry with some boxes changed, each as "Name=text" with its windowBoxName, separated
/// by "|"; throws on a name no box has.
Entry changed(Entry entry, const std::string& changes);

} // namespace fenlowick::test
