// Wildcard substring search and replace-all on byte strings, 1-based.
#pragma once

#include "classlib/Strings.h"

// Position (from 1) of the first occurrence of pattern in s that begins at or
// after |start|, or 0. "?" in the pattern matches any byte. A negative start
// ignores the case of A-Z and a-z; a positive one compares exactly.
int ScanWild(const CodePageString& s, const CodePageString& pattern, int start);

// Replaces every occurrence of find (which may hold "?" wildcards) by replace
// and returns how many there were. Matches never overlap and the replaced text
// is not searched again; s is changed only when the count is above 0.
int ReplaceAll(CodePageString& s, const CodePageString& find, const CodePageString& replace, bool ignoreCase);
