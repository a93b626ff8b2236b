// The program's code page, Windows-1252, as the platform converts text into
// and out of it: each byte is one character. The five bytes that 1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the control characters
// of the same value, so that every byte string survives a round trip.
#pragma once

#include <string>
#include <string_view>

char16_t CharFrom1252(unsigned char byte);
// -1 when the character has no byte.
int CharTo1252(char32_t ch);

// UTF-8 text in the code page: each character that has no byte, and each
// malformed sequence, becomes one '?'. A malformed sequence ends before the
// first byte that cannot continue it, and that byte starts the next.
std::string Utf8ToCodePage(std::string_view utf8);
