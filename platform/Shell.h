// The shell's verbs on files and URLs, through the shellOpen hook.
#pragma once

#include <string>

#include "platform/Messages.h"

// Error values below 33, as the shell reports them.
constexpr int SE_ERR_FNF = 2;        // no file given, or it does not exist
constexpr int SE_ERR_NOASSOC = 31;   // nothing could open it

// Returns a value above 32 when the verb was started (42), an error value
// otherwise. The window is the owner of any message the shell shows; unused.
int ShellExecute(HWND owner, const std::string& verb, const std::string& file, const std::string& params,
                 const std::string& directory, int showCmd);
