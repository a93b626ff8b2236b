// A small writer of RAR 4 archives for tests and benchmarks: stored entries,
// block headers with their CRC16, data with its CRC32, and every field a
// test may want to break (flags, CRCs, sizes, the end block).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct Rar4Entry {
    std::string name;  // as stored: "\" or "/" between folders
    std::string data;  // stored as it is
    std::uint16_t flags = 0;              // file header flags; the long-block flag is always added
    std::optional<std::uint32_t> crc;     // the data CRC32; the true one when unset
    std::optional<std::uint32_t> unpSize;  // the unpacked size the header claims; the data's when unset
    std::optional<std::uint16_t> headerCrc;  // the header CRC16; the true one when unset
    std::uint8_t hostOS = 2;              // Windows
    std::uint32_t attr = 0x20;            // archive bit
    std::uint8_t method = 0x30;           // stored
    std::uint32_t dosTime = 0x5A210000;   // 2025-01-01 00:00
    bool directory = false;               // a folder: folder flags and attribute, no data
    // When set, the name is stored with its Unicode form (flag 0x200): name,
    // a NUL, then this encoded; name is then the 8-bit form.
    std::optional<std::u16string> unicodeName;

    static Rar4Entry File(std::string name, std::string data);
    static Rar4Entry Folder(std::string name);
};

struct Rar4Archive {
    std::vector<Rar4Entry> entries;
    std::uint16_t mainFlags = 0;
    std::optional<std::string> comment;  // a stored "CMT" sub block after the main header
    bool endBlock = true;
};

struct Rar4Image {
    std::string bytes;
    std::vector<std::size_t> entryStart;  // offset of each entry's header
    std::vector<std::size_t> dataStart;   // offset of each entry's data
    std::size_t endStart = 0;             // offset of the end block (the size when there is none)
};

// The encoded Unicode form of a name as the Unicode flag stores it after
// the 8-bit name and its NUL: a common high byte, then per character one
// byte, one byte in the high byte's page, both bytes, or a run of the 8-bit
// name's bytes (as they are, or shifted into the high byte's page).
std::string EncodeRar4UnicodeName(const std::string& narrow, const std::u16string& wide);

Rar4Image WriteRar4(const Rar4Archive& archive);
// Just the bytes, for the common case.
std::string Rar4Bytes(const std::vector<Rar4Entry>& entries);

// Writes an archive of stored entries straight to a file, streaming the data
// of count entries of entrySize bytes each (for archives too large to build
// in memory); entry i is named "part-<i>.bin" and filled from a seeded
// generator. Returns false when the file cannot be written.
bool WriteLargeRar4(const std::string& path, int count, std::size_t entrySize);
