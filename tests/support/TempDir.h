// A temporary folder for one test, removed with everything in it at the end.
#pragma once

#include <string>

class TempDir {
public:
    explicit TempDir(const std::string& prefix = "tenvarel");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return FPath; }
    std::string File(const std::string& name) const { return FPath + "/" + name; }
    // Writes the bytes to a file below the folder, creating its folders; returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const;

private:
    std::string FPath;
};
