// The clipboard's text format, through the clipboard hooks.
#pragma once

#include <string>

bool ClipboardHasText();
// The clipboard's text; empty when it holds none.
std::string ClipboardGetText();
void ClipboardSetText(const std::string& text);
