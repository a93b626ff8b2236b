// What the fuzz targets share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The input as bytes.
inline std::string InputBytes(const std::uint8_t* data, std::size_t size)
{
    return std::string(reinterpret_cast<const char*>(data), size);
}

// For entry points that take a file name: writes the bytes to `name` in a
// folder of the process's own (made on first use, removed at exit) and
// returns the file's path. One small write per input, no file left behind.
std::string WriteScratchFile(const std::string& name, const std::string& bytes);
