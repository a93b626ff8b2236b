// Internal to the class library and the platform: text crossing into the
// windowing system. Only classlib/*.cpp and platform/*.cpp include this
// header.
//
// Text crosses the boundary as Windows-1252 (platform/CodePage.h): each byte
// maps to one Unicode character and back.
#pragma once

#include <QString>

#include <string>

#include "platform/CodePage.h"

QString ToQString(const std::string& bytes);
// Characters outside 1252 become '?'.
std::string FromQString(const QString& text);
