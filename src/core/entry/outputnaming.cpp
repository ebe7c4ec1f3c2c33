#include "core/entry/outputnaming.h"

namespace fenlowick {

std::string withExtension(std::string_view typedName, std::string_view extension) {
    const std::size_t dot = typedName.find('.');
    std::string name(typedName.substr(0, dot));
    name += '.';
    name += extension;
    return name;
}

std::string joinFolder(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    path += name;
    return path;
}

std::string resultFilePath(std::string_view folder, std::string_view typedName,
                           std::string_view extension) {
    return joinFolder(folder, withExtension(typedName, extension));
}

} // namespace fenlowick
