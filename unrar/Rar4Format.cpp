#include "unrar/Rar4Format.h"

#include "unrar/Crc32.h"

namespace unrar {

namespace {

std::uint16_t U16(std::string_view b, std::size_t at)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}

std::uint32_t U32(std::string_view b, std::size_t at)
{
    return static_cast<std::uint32_t>(U16(b, at)) | static_cast<std::uint32_t>(U16(b, at + 2)) << 16;
}

bool HasFileLayout(std::uint8_t type)
{
    return type == BlockFile || type == BlockSub;
}

}  // namespace

bool Rar4File::IsDirectory() const
{
    if ((flags & FileDirectoryBits) == FileDirectoryBits)
        return true;
    if (hostOS == HostUnix)
        return (attr & 0170000) == 0040000;
    return (hostOS == HostMsDos || hostOS == HostOs2 || hostOS == HostWindows) && (attr & 0x10) != 0;
}

bool Rar4File::IsSpecial() const
{
    if (hostOS != HostUnix || IsDirectory())
        return false;
    const std::uint32_t kind = attr & 0170000;
    return kind != 0 && kind != 0100000;
}

Rar4Status ReadBlockStart(std::string_view bytes, Rar4Block& block)
{
    if (bytes.size() < BlockStartSize)
        return Rar4Status::Short;
    block = {};
    block.crc = U16(bytes, 0);
    block.type = static_cast<std::uint8_t>(bytes[2]);
    block.flags = U16(bytes, 3);
    block.headSize = U16(bytes, 5);
    const std::size_t least = (block.flags & BlockLong) ? BlockStartSize + 4 : BlockStartSize;
    if (block.headSize < least)
        return Rar4Status::Malformed;
    return Rar4Status::Ok;
}

bool HeaderCrcMatches(std::string_view header, std::uint8_t type, std::uint16_t flags)
{
    if (header.size() < BlockStartSize)
        return false;
    std::size_t covered = header.size();
    if (type == BlockMain && (flags & MainOldComment) && covered > MainHeaderSize)
        covered = MainHeaderSize;
    return Crc16(header.data() + 2, covered - 2) == U16(header, 0);
}

Rar4Status ReadBlock(std::string_view header, Rar4Block& block, Rar4File* file)
{
    if (const Rar4Status start = ReadBlockStart(header, block); start != Rar4Status::Ok)
        return start;
    if (header.size() < block.headSize)
        return Rar4Status::Short;
    header = header.substr(0, block.headSize);
    if (block.flags & BlockLong)
        block.dataSize = U32(header, 7);
    if (block.type == BlockMain && header.size() < MainHeaderSize)
        return Rar4Status::Malformed;
    if (!HasFileLayout(block.type))
        return Rar4Status::Ok;

    // File and sub blocks always carry their packed size as the data size.
    if (!(block.flags & BlockLong) || header.size() < FileHeaderFixedSize)
        return Rar4Status::Malformed;
    Rar4File f;
    f.flags = block.flags;
    f.packSize = U32(header, 7);
    f.unpSize = U32(header, 11);
    f.hostOS = static_cast<std::uint8_t>(header[15]);
    f.fileCRC = U32(header, 16);
    f.fileTime = U32(header, 20);
    f.unpVer = static_cast<std::uint8_t>(header[24]);
    f.method = static_cast<std::uint8_t>(header[25]);
    const std::size_t nameSize = U16(header, 26);
    f.attr = U32(header, 28);
    std::size_t at = FileHeaderFixedSize;
    if (f.flags & FileLarge) {
        if (header.size() < at + 8)
            return Rar4Status::Malformed;
        f.packSize |= static_cast<std::uint64_t>(U32(header, at)) << 32;
        f.unpSize |= static_cast<std::uint64_t>(U32(header, at + 4)) << 32;
        at += 8;
    }
    if (header.size() - at < nameSize)
        return Rar4Status::Malformed;
    const std::string_view name = header.substr(at, nameSize);
    f.name.assign(name.substr(0, name.find('\0')));
    if (f.flags & FileUnicode)
        f.unicodeName = DecodeUnicodeName(name);
    block.dataSize = f.packSize;
    if (file)
        *file = std::move(f);
    return Rar4Status::Ok;
}

namespace {

void PutUtf8(std::string& out, std::uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// UTF-16 units as UTF-8; pairs of surrogates join, a lone one is U+FFFD.
std::string Utf16ToUtf8(const std::u16string& units)
{
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const std::uint32_t u = units[i];
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
            PutUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00u));
            ++i;
        } else if (u >= 0xD800 && u < 0xE000) {
            PutUtf8(out, 0xFFFD);
        } else {
            PutUtf8(out, u);
        }
    }
    return out;
}

}  // namespace

std::string DecodeUnicodeName(std::string_view field)
{
    const std::size_t nul = field.find('\0');
    if (nul == std::string_view::npos)
        return std::string(field);
    const std::string_view narrow = field.substr(0, nul);
    const std::string_view enc = field.substr(nul + 1);
    auto byte = [&](std::size_t at) { return static_cast<unsigned char>(enc[at]); };

    std::u16string wide;
    std::size_t at = 0;
    if (at >= enc.size())
        return {};
    const unsigned high = byte(at++);
    unsigned flags = 0;
    int flagBits = 0;
    while (at < enc.size()) {
        if (flagBits == 0) {
            flags = byte(at++);
            flagBits = 8;
            if (at >= enc.size())
                break;
        }
        switch (flags >> 6 & 3) {
        case 0:  // one byte, high byte 0
            wide += static_cast<char16_t>(byte(at++));
            break;
        case 1:  // one byte, with the name's common high byte
            wide += static_cast<char16_t>(byte(at++) | high << 8);
            break;
        case 2:  // both bytes, low first
            if (at + 1 >= enc.size())
                return Utf16ToUtf8(wide);
            wide += static_cast<char16_t>(byte(at) | byte(at + 1) << 8);
            at += 2;
            break;
        default: {  // a run of the 8-bit name's bytes, perhaps shifted into the high byte's page
            unsigned length = byte(at++);
            if (length & 0x80) {
                if (at >= enc.size())
                    return Utf16ToUtf8(wide);
                const unsigned correction = byte(at++);
                for (length = (length & 0x7F) + 2; length > 0 && wide.size() < narrow.size(); --length) {
                    const unsigned c = static_cast<unsigned char>(narrow[wide.size()]);
                    wide += static_cast<char16_t>(((c + correction) & 0xFF) | high << 8);
                }
            } else {
                for (length += 2; length > 0 && wide.size() < narrow.size(); --length)
                    wide += static_cast<char16_t>(static_cast<unsigned char>(narrow[wide.size()]));
            }
            break;
        }
        }
        flags = (flags << 2) & 0xFF;
        flagBits -= 2;
    }
    const std::size_t end = wide.find(u'\0');
    if (end != std::u16string::npos)
        wide.resize(end);
    return Utf16ToUtf8(wide);
}

std::time_t DosTimeToUnix(std::uint32_t dosTime)
{
    std::tm t{};
    t.tm_sec = static_cast<int>(dosTime & 0x1F) * 2;
    t.tm_min = static_cast<int>(dosTime >> 5 & 0x3F);
    t.tm_hour = static_cast<int>(dosTime >> 11 & 0x1F);
    t.tm_mday = static_cast<int>(dosTime >> 16 & 0x1F);
    t.tm_mon = static_cast<int>(dosTime >> 21 & 0x0F) - 1;
    t.tm_year = static_cast<int>(dosTime >> 25) + 80;
    if (t.tm_mday < 1 || t.tm_mon < 0 || t.tm_mon > 11 || t.tm_hour > 23 || t.tm_min > 59 || t.tm_sec > 59)
        return -1;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

}  // namespace unrar
