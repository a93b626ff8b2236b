// Writes GIF files for tests, benchmarks and fuzz seeds: frames of palette
// indices, encoded with a plain LZW encoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct GifFrameSpec {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> indices;  // width * height, row after row
    std::vector<std::uint8_t> localPalette;  // RGB triples; empty: the global table
    bool interlaced = false;
    bool graphicControl = false;  // write a graphic control block
    int disposal = 0;
    int delayCs = 0;              // hundredths of a second
    int transparentIndex = -1;    // -1: none
};

struct GifSpec {
    std::string version = "89a";
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> globalPalette;  // RGB triples; empty: none
    int loopCount = -1;                       // -1: no NETSCAPE block
    std::vector<GifFrameSpec> frames;
};

// The LZW data of one frame: the code size byte and the sub-blocks with
// their terminator.
std::string GifLzwData(const std::vector<std::uint8_t>& indices, int codeSize);
std::string WriteGif(const GifSpec& spec);
// A screen of that size with a global table of TestPalette(paletteEntries).
GifSpec GifScreen(int width, int height, int paletteEntries);
// A frame filled with one index.
GifFrameSpec GifSolidFrame(int left, int top, int width, int height, std::uint8_t index);
// A palette of n entries (a power of two), entry i = (r, g, b) of i * 3 + 1 ...
std::vector<std::uint8_t> TestPalette(int entries);
