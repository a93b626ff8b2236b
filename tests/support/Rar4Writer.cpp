#include "support/Rar4Writer.h"

#include <zlib.h>

#include <cstdio>
#include <map>
#include <memory>
#include <random>

namespace {

void Put16(std::string& out, std::uint16_t v)
{
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}

void Put32(std::string& out, std::uint32_t v)
{
    Put16(out, static_cast<std::uint16_t>(v & 0xFFFF));
    Put16(out, static_cast<std::uint16_t>(v >> 16));
}

std::uint32_t Crc32(const std::string& bytes)
{
    return static_cast<std::uint32_t>(::crc32(0, reinterpret_cast<const Bytef*>(bytes.data()),
                                              static_cast<uInt>(bytes.size())));
}

// A block: CRC16, then type, flags, size and body.
std::string Block(std::uint8_t type, std::uint16_t flags, const std::string& body,
                  std::optional<std::uint16_t> crc = std::nullopt)
{
    std::string head;
    head += static_cast<char>(type);
    Put16(head, flags);
    Put16(head, static_cast<std::uint16_t>(7 + body.size()));
    head += body;
    std::string out;
    Put16(out, crc ? *crc : static_cast<std::uint16_t>(Crc32(head) & 0xFFFF));
    return out + head;
}

std::string FileBlock(std::uint8_t type, const Rar4Entry& e, std::uint32_t dataSize, std::uint32_t dataCrc)
{
    std::string name = e.name;
    std::uint16_t unicodeFlag = 0;
    if (e.unicodeName) {
        name += '\0';
        name += EncodeRar4UnicodeName(e.name, *e.unicodeName);
        unicodeFlag = 0x0200;
    }
    std::string body;
    Put32(body, dataSize);  // packed
    Put32(body, e.unpSize ? *e.unpSize : dataSize);  // unpacked
    body += static_cast<char>(e.hostOS);
    Put32(body, dataCrc);
    Put32(body, e.dosTime);
    body += static_cast<char>(29);  // version needed
    body += static_cast<char>(e.method);
    Put16(body, static_cast<std::uint16_t>(name.size()));
    Put32(body, e.attr);
    body += name;
    std::uint16_t flags = static_cast<std::uint16_t>(e.flags | unicodeFlag | 0x8000);
    if (e.directory)
        flags |= 0x00E0;
    return Block(type, flags, body, e.headerCrc);
}

const std::string Signature("Rar!\x1A\x07\x00", 7);

std::string MainBlock(std::uint16_t flags)
{
    return Block(0x73, flags, std::string(6, '\0'));
}

std::string EndBlock()
{
    return Block(0x7B, 0x4000, "");
}

}  // namespace

Rar4Entry Rar4Entry::File(std::string name, std::string data)
{
    Rar4Entry e;
    e.name = std::move(name);
    e.data = std::move(data);
    return e;
}

Rar4Entry Rar4Entry::Folder(std::string name)
{
    Rar4Entry e;
    e.name = std::move(name);
    e.directory = true;
    e.attr = 0x10;
    return e;
}

std::string EncodeRar4UnicodeName(const std::string& narrow, const std::u16string& wide)
{
    // The high byte most characters outside the first page share.
    std::map<unsigned, int> pages;
    for (const char16_t c : wide)
        if (c >> 8)
            ++pages[c >> 8];
    unsigned high = 0;
    for (const auto& [page, count] : pages)
        if (high == 0 || count > pages[high])
            high = page;

    std::string out(1, static_cast<char>(high));
    std::size_t flagsAt = 0;
    int op = 0;
    auto begin = [&](unsigned kind) {
        if (op % 4 == 0) {
            flagsAt = out.size();
            out += '\0';
        }
        out[flagsAt] = static_cast<char>(static_cast<unsigned char>(out[flagsAt]) | kind << (6 - 2 * (op % 4)));
        ++op;
    };
    auto narrowAt = [&](std::size_t i) { return static_cast<unsigned char>(narrow[i]); };
    for (std::size_t i = 0; i < wide.size();) {
        // A run of at least two characters that the 8-bit name spells.
        std::size_t same = 0;
        while (same < 129 && i + same < wide.size() && i + same < narrow.size() && wide[i + same] == narrowAt(i + same))
            ++same;
        std::size_t shifted = 0;
        unsigned correction = 0;
        if (high != 0 && i < narrow.size() && (wide[i] >> 8) == high) {
            correction = (wide[i] - narrowAt(i)) & 0xFF;
            while (shifted < 129 && i + shifted < wide.size() && i + shifted < narrow.size() &&
                   wide[i + shifted] == (((narrowAt(i + shifted) + correction) & 0xFF) | high << 8))
                ++shifted;
        }
        const char16_t c = wide[i];
        if (same >= 2) {
            begin(3);
            out += static_cast<char>(same - 2);
            i += same;
        } else if (shifted >= 2) {
            begin(3);
            out += static_cast<char>(0x80 | (shifted - 2));
            out += static_cast<char>(correction);
            i += shifted;
        } else if ((c >> 8) == 0) {
            begin(0);
            out += static_cast<char>(c);
            ++i;
        } else if ((c >> 8) == high) {
            begin(1);
            out += static_cast<char>(c & 0xFF);
            ++i;
        } else {
            begin(2);
            out += static_cast<char>(c & 0xFF);
            out += static_cast<char>(c >> 8);
            ++i;
        }
    }
    return out;
}

Rar4Image WriteRar4(const Rar4Archive& archive)
{
    Rar4Image image;
    image.bytes = Signature + MainBlock(archive.mainFlags);
    if (archive.comment) {
        Rar4Entry cmt = Rar4Entry::File("CMT", *archive.comment);
        image.bytes += FileBlock(0x7A, cmt, static_cast<std::uint32_t>(cmt.data.size()), Crc32(cmt.data)) + cmt.data;
    }
    for (const Rar4Entry& e : archive.entries) {
        image.entryStart.push_back(image.bytes.size());
        const std::string& data = e.directory ? std::string() : e.data;
        image.bytes += FileBlock(0x74, e, static_cast<std::uint32_t>(data.size()), e.crc ? *e.crc : Crc32(data));
        image.dataStart.push_back(image.bytes.size());
        image.bytes += data;
    }
    image.endStart = image.bytes.size();
    if (archive.endBlock)
        image.bytes += EndBlock();
    return image;
}

std::string Rar4Bytes(const std::vector<Rar4Entry>& entries)
{
    Rar4Archive archive;
    archive.entries = entries;
    return WriteRar4(archive).bytes;
}

bool WriteLargeRar4(const std::string& path, int count, std::size_t entrySize)
{
    std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!out)
        return false;
    auto put = [&](const std::string& bytes) { return std::fwrite(bytes.data(), 1, bytes.size(), out.get()) == bytes.size(); };
    bool ok = put(Signature + MainBlock(0));
    std::mt19937_64 random(7316);
    std::string data(entrySize, '\0');
    for (int i = 0; i < count && ok; ++i) {
        for (std::size_t at = 0; at + 8 <= data.size(); at += 8) {
            const std::uint64_t word = random();
            for (int b = 0; b < 8; ++b)
                data[at + static_cast<std::size_t>(b)] = static_cast<char>(word >> (8 * b));
        }
        const Rar4Entry e = Rar4Entry::File("part-" + std::to_string(i) + ".bin", {});
        ok = put(FileBlock(0x74, e, static_cast<std::uint32_t>(data.size()), Crc32(data))) && put(data);
    }
    ok = ok && put(EndBlock());
    return std::fclose(out.release()) == 0 && ok;
}
