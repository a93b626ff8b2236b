// Internal to the class library and the platform: text crossing into the
// windowing system. Only classlib/*.cpp and platform/*.cpp include this
// header.
//
// Text crosses the boundary as Windows-1252: each byte maps to one Unicode
// character and back. The five bytes that 1252 leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) map to the control characters of the same value, so that
// every byte string survives a round trip.
#pragma once

#include <QString>

#include <string>

QString ToQString(const std::string& bytes);
// Characters outside 1252 become '?'.
std::string FromQString(const QString& text);
char16_t CharFrom1252(unsigned char byte);
// -1 when the character has no byte.
int CharTo1252(char16_t ch);
