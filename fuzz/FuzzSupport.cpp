#include "fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

class TScratchFolder {
public:
    TScratchFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tenvarel-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        FPath = pattern;
    }
    ~TScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(FPath, ignored);
    }

    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
};

}  // namespace

std::string WriteScratchFile(const std::string& name, const std::string& bytes)
{
    static const TScratchFolder folder;
    const std::string path = folder.Path() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::perror(path.c_str());
        std::abort();
    }
    return path;
}
