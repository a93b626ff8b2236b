// Decoding every frame of a 200-frame GIF from memory into pixels: the
// viewer's own decoder (LoadGifStream: both passes, each frame's LZW data to
// palette indices to 32-bit pixels, the composite of the first frame) against
// giflib (DGifSlurp: each frame's LZW data to indices, then the same mapping
// of every index through the frame's colour table into 32-bit pixels).
//
// Each side runs in a process of its own on the same bytes and times the
// same region, its decodes ("decode_ms"), in interleaved rounds (the rounds
// of bench/Rounds.h). The two decoders are first checked to give the same
// pixels.
//   bench_gif_decode [rounds]       the rounds (default 11)
//   bench_gif_decode ours|giflib    one side
#include <gif_lib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Rounds.h"
#include "htmlview/HtmlGif.h"
#include "platform/Hooks.h"
#include "support/GifWriter.h"

namespace {

constexpr int kFrames = 200;
constexpr int kWidth = 320;
constexpr int kHeight = 240;

// A moving picture: bands that drift from frame to frame, with noise in a
// part of each frame, so that the LZW tables fill and clear as in real files.
std::string MakeGif()
{
    GifSpec spec;
    spec.width = kWidth;
    spec.height = kHeight;
    spec.globalPalette = TestPalette(256);
    spec.loopCount = 0;
    std::mt19937 random(2024);
    for (int f = 0; f < kFrames; ++f) {
        GifFrameSpec frame;
        frame.width = kWidth;
        frame.height = kHeight;
        frame.delayCs = 4;
        frame.graphicControl = true;
        frame.indices.resize(size_t(kWidth * kHeight));
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                std::uint8_t v = std::uint8_t(((x + f * 3) / 9 + (y + f) / 7) * 13);
                if (y > kHeight / 2 && x < kWidth / 3)
                    v = std::uint8_t(random() & 63);
                frame.indices[size_t(y * kWidth + x)] = v;
            }
        }
        spec.frames.push_back(std::move(frame));
    }
    return WriteGif(spec);
}

struct Source {
    const std::string* bytes;
    size_t at;
};

int ReadFromMemory(GifFileType* gif, GifByteType* out, int count)
{
    auto* source = static_cast<Source*>(gif->UserData);
    const size_t n = std::min(size_t(count), source->bytes->size() - source->at);
    std::memcpy(out, source->bytes->data() + source->at, n);
    source->at += n;
    return int(n);
}

// giflib: indices of every frame, then pixels of every frame.
std::uint64_t DecodeWithGiflib(const std::string& bytes)
{
    Source source{&bytes, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&source, ReadFromMemory, &error);
    if (!gif || DGifSlurp(gif) != GIF_OK) {
        std::fprintf(stderr, "giflib failed: %d\n", error);
        std::exit(1);
    }
    std::uint64_t check = 0;
    std::vector<std::vector<std::uint32_t>> frames(size_t(gif->ImageCount));
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
        std::uint32_t colors[256] = {};
        for (int c = 0; c < map->ColorCount && c < 256; ++c)
            colors[c] = 0xFF000000u | (std::uint32_t(map->Colors[c].Red) << 16) |
                        (std::uint32_t(map->Colors[c].Green) << 8) | map->Colors[c].Blue;
        GraphicsControlBlock gcb;
        if (DGifSavedExtensionToGCB(gif, i, &gcb) == GIF_OK && gcb.TransparentColor >= 0)
            colors[gcb.TransparentColor] = 0xFF000000u;
        const size_t count = size_t(image.ImageDesc.Width) * size_t(image.ImageDesc.Height);
        std::vector<std::uint32_t>& pixels = frames[size_t(i)];
        pixels.resize(count);
        for (size_t p = 0; p < count; ++p)
            pixels[p] = colors[image.RasterBits[p]];
        check += pixels[size_t(image.ImageDesc.Height / 2) * size_t(image.ImageDesc.Width) +
                        size_t(image.ImageDesc.Width / 2)];
    }
    DGifCloseFile(gif, &error);
    return check;
}

// Ours: the whole load as the image fetch does it.
std::uint64_t DecodeWithOurs(const std::string& bytes)
{
    TMemoryStream stream;
    stream.Write(bytes.data(), std::int64_t(bytes.size()));
    bool still = true;
    auto gif = LoadGifStream(still, &stream);
    if (!gif || gif->FrameCount() != kFrames) {
        std::fprintf(stderr, "our decoder failed\n");
        std::exit(1);
    }
    std::uint64_t check = 0;
    for (int i = 1; i <= gif->FrameCount(); ++i) {
        const TBitmap& b = *gif->Frame(i).Bitmap;
        check += b.ScanLine(b.Height() / 2)[b.Width() / 2];
    }
    return check;
}

template <class F>
double Seconds(F f, std::uint64_t& check)
{
    const auto start = std::chrono::steady_clock::now();
    check = f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

constexpr int kDecodesPerRun = 5;

// One side: a decode to warm up, then the timed decodes; prints the
// milliseconds of one decode.
int RunSide(bool ours, const std::string& bytes)
{
    auto decode = [&] { return ours ? DecodeWithOurs(bytes) : DecodeWithGiflib(bytes); };
    std::uint64_t check = 0;
    Seconds(decode, check);
    double seconds = 0;
    for (int i = 0; i < kDecodesPerRun; ++i)
        seconds += Seconds(decode, check);
    bench::PrintFigure("decode_ms", seconds * 1000 / kDecodesPerRun);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    GetHooks().screenColorBits = [] { return 24; };
    const std::string bytes = MakeGif();
    const std::string role = argc > 1 ? argv[1] : "";
    if (role == "ours" || role == "giflib")
        return RunSide(role == "ours", bytes);

    // Both sides must decode the same pixels.
    std::uint64_t oursCheck = 0, giflibCheck = 0;
    Seconds([&] { return DecodeWithOurs(bytes); }, oursCheck);
    Seconds([&] { return DecodeWithGiflib(bytes); }, giflibCheck);
    if (oursCheck != giflibCheck) {
        std::fprintf(stderr, "the decoders disagree\n");
        return 1;
    }
    std::printf("GIF: %d frames of %dx%d, %zu bytes; %d decodes per run after one to warm up\n", kFrames, kWidth,
                kHeight, bytes.size(), kDecodesPerRun);
    bench::TRoundsOptions options;
    options.Rounds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 11;
    const std::string self = bench::SelfPath(argv[0]);
    return bench::CompareSides({"ours", {self, "ours"}}, {"giflib", {self, "giflib"}}, options);
}
