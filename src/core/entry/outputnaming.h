#pragma once

#include <string>
#include <string_view>

namespace fenlowick {

/// The typed name with its extension forced: when it contains a ".", everything after its
/// first "." is replaced by the extension; otherwise "." and the extension are appended.
/// results -> results.out, results.txt -> results.out, run.2.csv -> run.out, x. -> x.out.
std::string withExtension(std::string_view typedName, std::string_view extension);

/// Folder and name joined by "/"; none is added when the folder is empty or already ends
/// with one.
std::string joinFolder(std::string_view folder, std::string_view name);

/// The path of a result file: the folder, and the typed name with the extension forced.
/// Only the typed name is searched for a ".", never the folder.
std::string resultFilePath(std::string_view folder, std::string_view typedName,
                           std::string_view extension);

} // namespace fenlowick
