// The block headers of a RAR 4 archive, read from bytes. Every block starts
// with the same seven bytes (CRC16, type, flags, header size); blocks with
// the long-block flag carry a data size, and the data follows the header.
// File headers say where an entry's packed data is, how it is packed, its
// CRC32 and its name; the library checks all of that itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace unrar {

inline constexpr std::string_view Rar4Signature{"Rar!\x1A\x07\x00", 7};
inline constexpr std::string_view Rar5Signature{"Rar!\x1A\x07\x01\x00", 8};

enum Rar4BlockType : std::uint8_t {
    BlockMark = 0x72,
    BlockMain = 0x73,
    BlockFile = 0x74,
    BlockOldComment = 0x75,
    BlockOldAuthenticity = 0x76,
    BlockOldSub = 0x77,
    BlockOldRecovery = 0x78,
    BlockOldAuthenticity2 = 0x79,
    BlockSub = 0x7A,  // laid out as a file header; "CMT" holds the archive comment
    BlockEnd = 0x7B,
};

constexpr std::uint16_t BlockLong = 0x8000;  // a 32-bit data size follows the header size

constexpr std::uint16_t MainVolume = 0x0001;
constexpr std::uint16_t MainOldComment = 0x0002;  // a packed comment inside the main header
constexpr std::uint16_t MainSolid = 0x0008;
constexpr std::uint16_t MainEncryptedHeaders = 0x0080;
constexpr std::uint16_t MainFirstVolume = 0x0100;

constexpr std::uint16_t FileSplitBefore = 0x0001;
constexpr std::uint16_t FileSplitAfter = 0x0002;
constexpr std::uint16_t FileEncrypted = 0x0004;
constexpr std::uint16_t FileComment = 0x0008;
constexpr std::uint16_t FileSolid = 0x0010;
constexpr std::uint16_t FileDirectoryBits = 0x00E0;
constexpr std::uint16_t FileLarge = 0x0100;    // 64-bit sizes: the high halves follow the attributes
constexpr std::uint16_t FileUnicode = 0x0200;  // the name is an 8-bit name, a NUL, then its Unicode form

constexpr std::uint8_t MethodStored = 0x30;

constexpr std::uint8_t HostMsDos = 0;
constexpr std::uint8_t HostOs2 = 1;
constexpr std::uint8_t HostWindows = 2;
constexpr std::uint8_t HostUnix = 3;

constexpr std::size_t BlockStartSize = 7;
constexpr std::size_t MainHeaderSize = 13;
constexpr std::size_t FileHeaderFixedSize = 32;  // through the attributes

struct Rar4Block {
    std::uint16_t crc = 0;
    std::uint8_t type = 0;
    std::uint16_t flags = 0;
    std::uint16_t headSize = 0;
    std::uint64_t dataSize = 0;  // bytes that follow the header
};

struct Rar4File {
    std::uint16_t flags = 0;
    std::uint64_t packSize = 0;
    std::uint64_t unpSize = 0;
    std::uint8_t hostOS = 0;
    std::uint32_t fileCRC = 0;
    std::uint32_t fileTime = 0;
    std::uint8_t unpVer = 0;
    std::uint8_t method = 0;
    std::uint32_t attr = 0;
    // The name bytes up to the first NUL: the whole name, or the 8-bit part
    // of a Unicode one. Folders are separated by "\" or "/".
    std::string name;
    // With the Unicode flag: the name's Unicode form as UTF-8, which is the
    // name the entry is written under; empty without the flag.
    std::string unicodeName;

    bool IsDirectory() const;
    // A symbolic link, device or pipe of a Unix archive: neither a file nor a folder.
    bool IsSpecial() const;
};

enum class Rar4Status {
    Ok,
    Short,      // the bytes end inside the header
    BadCrc,     // the header's CRC16 does not match
    Malformed,  // sizes that contradict each other
};

// The seven bytes every block starts with, and its header size; the header
// itself may be longer (Short when fewer than seven bytes are given).
Rar4Status ReadBlockStart(std::string_view bytes, Rar4Block& block);

// A whole block header (block.headSize bytes, CRC checked): its data size,
// and for file and sub blocks their fields.
Rar4Status ReadBlock(std::string_view header, Rar4Block& block, Rar4File* file);

// The main header's fields are the first 13 bytes; an old packed comment may
// follow inside the same header and is not covered by its CRC.
bool HeaderCrcMatches(std::string_view header, std::uint8_t type, std::uint16_t flags);

// The Unicode form of a name stored with the Unicode flag, as UTF-8. The
// field holds the 8-bit name, a NUL and the encoded form, which spells each
// character as one or two bytes, or refers to a run of the 8-bit name's
// bytes; a field without a NUL holds the name in UTF-8 already. Decoding
// stops at the end of the encoded bytes or at a character 0; a character
// that is not a valid UTF-16 unit is written as U+FFFD.
std::string DecodeUnicodeName(std::string_view field);

// An MS-DOS date and time as local time; -1 when it is no date.
std::time_t DosTimeToUnix(std::uint32_t dosTime);

}  // namespace unrar
