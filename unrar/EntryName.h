// Which names may be written below a folder. Archive entries and the file
// names of an update list come from outside; a name that climbs out of its
// folder, starts at the root or names a drive would let them write anywhere.
// Header only, so that the archive library and the programs share one rule.
#pragma once

#include <string>
#include <string_view>

namespace unrar {

// The relative path a name is written under: "\" and "/" both separate
// folders, and empty and "." parts are dropped. Empty when the name may not
// be written: nothing left, an absolute name, a drive ("C:" ...), a ".."
// part anywhere, or a control character (below 32), which no file name of
// an update has and which a terminal or a listing would act on.
inline std::string SafeRelativePath(std::string_view name)
{
    if (name.empty() || name.front() == '/' || name.front() == '\\')
        return {};
    for (const char c : name)
        if (static_cast<unsigned char>(c) < 0x20)
            return {};
    if (name.size() >= 2 && name[1] == ':' &&
        ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')))
        return {};
    std::string path;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("/\\", start);
        if (end == std::string_view::npos)
            end = name.size();
        const std::string_view part = name.substr(start, end - start);
        if (part == "..")
            return {};
        if (!part.empty() && part != ".") {
            if (!path.empty())
                path += '/';
            path.append(part);
        }
        start = end + 1;
    }
    return path;
}

}  // namespace unrar
