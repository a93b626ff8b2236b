// CRC-32 (the polynomial of zlib, PKZIP and RAR), with zlib's convention:
// start with 0, and feed the previous result back in to go on.
#pragma once

#include <cstddef>
#include <cstdint>

namespace unrar {

std::uint32_t Crc32(std::uint32_t crc, const void* data, std::size_t size);

// The 16-bit check of a RAR 4 block header: the low half of the CRC-32.
inline std::uint16_t Crc16(const void* data, std::size_t size)
{
    return static_cast<std::uint16_t>(Crc32(0, data, size) & 0xFFFF);
}

}  // namespace unrar
