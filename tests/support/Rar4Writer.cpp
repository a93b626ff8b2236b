#include "support/Rar4Writer.h"

#include <zlib.h>

#include <cstdio>
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
    std::string body;
    Put32(body, dataSize);  // packed
    Put32(body, dataSize);  // unpacked
    body += static_cast<char>(e.hostOS);
    Put32(body, dataCrc);
    Put32(body, e.dosTime);
    body += static_cast<char>(29);  // version needed
    body += static_cast<char>(e.method);
    Put16(body, static_cast<std::uint16_t>(e.name.size()));
    Put32(body, e.attr);
    body += e.name;
    std::uint16_t flags = static_cast<std::uint16_t>(e.flags | 0x8000);
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
