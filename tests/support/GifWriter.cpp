#include "support/GifWriter.h"

#include <unordered_map>

namespace {

void PutWord(std::string& out, int v)
{
    out.push_back(char(v & 255));
    out.push_back(char((v >> 8) & 255));
}

int BitsFor(size_t paletteBytes)
{
    int bits = 1;
    while ((size_t(3) << bits) < paletteBytes)
        ++bits;
    return bits;
}

class BitWriter {
public:
    void Put(int code, int width)
    {
        acc_ |= std::uint32_t(code) << count_;
        count_ += width;
        while (count_ >= 8) {
            bytes_.push_back(char(acc_ & 255));
            acc_ >>= 8;
            count_ -= 8;
        }
    }
    std::string Finish()
    {
        if (count_ > 0)
            bytes_.push_back(char(acc_ & 255));
        return bytes_;
    }

private:
    std::string bytes_;
    std::uint32_t acc_ = 0;
    int count_ = 0;
};

}  // namespace

std::string GifLzwData(const std::vector<std::uint8_t>& indices, int codeSize)
{
    const int clear = 1 << codeSize, end = clear + 1;
    BitWriter w;
    int width = codeSize + 1;
    int next = clear + 2;
    std::unordered_map<std::uint32_t, int> table;
    w.Put(clear, width);
    int prefix = -1;
    for (std::uint8_t c : indices) {
        if (prefix < 0) {
            prefix = c;
            continue;
        }
        const std::uint32_t key = (std::uint32_t(prefix) << 8) | c;
        auto it = table.find(key);
        if (it != table.end()) {
            prefix = it->second;
            continue;
        }
        w.Put(prefix, width);
        if (next < 4096) {
            table[key] = next++;
            if (next > (1 << width) && width < 12)
                ++width;
        } else {
            w.Put(clear, width);
            table.clear();
            width = codeSize + 1;
            next = clear + 2;
        }
        prefix = c;
    }
    if (prefix >= 0)
        w.Put(prefix, width);
    w.Put(end, width);
    const std::string data = w.Finish();
    std::string out(1, char(codeSize));
    for (size_t at = 0; at < data.size(); at += 255) {
        const size_t n = std::min<size_t>(255, data.size() - at);
        out.push_back(char(n));
        out.append(data, at, n);
    }
    out.push_back('\0');
    return out;
}

std::string WriteGif(const GifSpec& spec)
{
    std::string out = "GIF" + spec.version;
    PutWord(out, spec.width);
    PutWord(out, spec.height);
    int globalBits = 0;
    if (!spec.globalPalette.empty()) {
        globalBits = BitsFor(spec.globalPalette.size());
        out.push_back(char(0x80 | ((globalBits - 1) << 4) | (globalBits - 1)));
    } else {
        out.push_back('\0');
    }
    out.push_back('\0');  // background
    out.push_back('\0');  // aspect
    if (globalBits) {
        std::string table(size_t(3) << globalBits, '\0');
        for (size_t i = 0; i < spec.globalPalette.size(); ++i)
            table[i] = char(spec.globalPalette[i]);
        out += table;
    }
    if (spec.loopCount >= 0) {
        out += "\x21\xFF\x0BNETSCAPE2.0";
        out += std::string("\x03\x01", 2);
        PutWord(out, spec.loopCount);
        out.push_back('\0');
    }
    for (const GifFrameSpec& f : spec.frames) {
        if (f.graphicControl || f.transparentIndex >= 0 || f.disposal || f.delayCs) {
            out += std::string("\x21\xF9\x04", 3);
            out.push_back(char((f.disposal << 2) | (f.transparentIndex >= 0 ? 1 : 0)));
            PutWord(out, f.delayCs);
            out.push_back(char(f.transparentIndex >= 0 ? f.transparentIndex : 0));
            out.push_back('\0');
        }
        out.push_back(',');
        PutWord(out, f.left);
        PutWord(out, f.top);
        PutWord(out, f.width);
        PutWord(out, f.height);
        int localBits = 0;
        int flags = f.interlaced ? 0x40 : 0;
        if (!f.localPalette.empty()) {
            localBits = BitsFor(f.localPalette.size());
            flags |= 0x80 | (localBits - 1);
        }
        out.push_back(char(flags));
        if (localBits) {
            std::string table(size_t(3) << localBits, '\0');
            for (size_t i = 0; i < f.localPalette.size(); ++i)
                table[i] = char(f.localPalette[i]);
            out += table;
        }
        std::vector<std::uint8_t> order = f.indices;
        if (f.interlaced) {
            order.clear();
            const int starts[4] = {0, 4, 2, 1}, steps[4] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass)
                for (int y = starts[pass]; y < f.height; y += steps[pass])
                    order.insert(order.end(), f.indices.begin() + y * f.width, f.indices.begin() + (y + 1) * f.width);
        }
        const int bits = std::max(2, localBits ? localBits : std::max(globalBits, 1));
        out += GifLzwData(order, bits);
    }
    out.push_back(';');
    return out;
}

std::vector<std::uint8_t> TestPalette(int entries)
{
    std::vector<std::uint8_t> p;
    for (int i = 0; i < entries; ++i) {
        p.push_back(std::uint8_t(i * 3 + 1));
        p.push_back(std::uint8_t(i * 5 + 2));
        p.push_back(std::uint8_t(i * 7 + 3));
    }
    return p;
}

GifSpec GifScreen(int width, int height, int paletteEntries)
{
    GifSpec spec;
    spec.width = width;
    spec.height = height;
    spec.globalPalette = TestPalette(paletteEntries);
    return spec;
}

GifFrameSpec GifSolidFrame(int left, int top, int width, int height, std::uint8_t index)
{
    GifFrameSpec f;
    f.left = left;
    f.top = top;
    f.width = width;
    f.height = height;
    f.indices.assign(size_t(width) * size_t(height), index);
    return f;
}
