#pragma once

#include "entry.h"

#include <filesystem>
#include <string>
#include <vector>

namespace fenlowick::test {

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

/// The names of the files in a folder, sorted.
std::vector<std::string> filesIn(const std::filesystem::path& folder);

/// An entry of three sources and one isotope (A 1, B -3, C 5; mixture 0; increment 50;
/// tolerance 1), the smallest complete entry.
Entry threeSourceEntry();

} // namespace fenlowick::test
