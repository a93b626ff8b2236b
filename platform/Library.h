// Libraries by name. A name registered as built in (matched ignoring case,
// e.g. "wsock32.dll") resolves to its table of entry points. The names of
// the program's own library files ("UnRAR.dll") are those files in the
// application folder ("libunrar.so" in the current directory). Any other
// name is a path handed to dlopen. Each successful LoadLibrary takes one
// reference that FreeLibrary gives back; a library is closed with its last
// reference.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

using HMODULE = std::uintptr_t;  // 0 is no library

// Registers (or replaces) a built-in library. Modules already loaded keep the
// table they were loaded with.
void RegisterBuiltinLibrary(const std::string& name, std::vector<std::pair<std::string, void*>> symbols);

// 0 when the library cannot be found or opened; LastLibraryError says why.
HMODULE LoadLibrary(const std::string& name);
// What LoadLibrary(name) would open now: the name itself, or for one of the
// program's own library files its absolute path in the current directory.
// Loading that path later finds the same file wherever the current directory
// has gone meanwhile.
std::string LibraryFilePath(const std::string& name);
// The entry point, or nullptr when the module has no such symbol or the
// handle is not a loaded module. Built-in symbols match exactly.
void* GetProcAddress(HMODULE module, const std::string& symbol);
// False when the handle is not a loaded module.
bool FreeLibrary(HMODULE module);

// The reason the last LoadLibrary on this thread failed (dlerror's text).
std::string LastLibraryError();
