// Modules are our own numbers, never reused, so a stale handle can never
// reach a library loaded later. Built-in modules share their registered
// table; file modules hold one dlopen reference per LoadLibrary.
#include "platform/Library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace {

using SymbolTable = std::unordered_map<std::string, void*>;

struct Module {
    std::shared_ptr<const SymbolTable> builtin;  // set for built-in modules
    std::string builtinKey;
    void* dl = nullptr;                          // set for file modules
    int references = 0;
};

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<const SymbolTable>> builtins;  // by folded name
    std::unordered_map<HMODULE, Module> modules;
    HMODULE lastHandle = 0;
};

Registry& R()
{
    static Registry* registry = new Registry;  // outlives static destruction
    return *registry;
}

thread_local std::string lastError;

// Built-in names ignore case, and a name without an extension means ".dll",
// as the system's loader has it.
std::string BuiltinKey(const std::string& name)
{
    std::string key;
    key.reserve(name.size() + 4);
    for (char c : name)
        key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    const auto slash = key.find_last_of("/\\");
    if (key.find('.', slash == std::string::npos ? 0 : slash + 1) == std::string::npos)
        key += ".dll";
    return key;
}

// Libraries of the Windows program that are files of ours in the
// application folder, which is the current directory while the programs
// start and load them.
struct LibraryFile {
    const char* key;  // as BuiltinKey folds it
    const char* file;
};
constexpr LibraryFile LibraryFiles[] = {
    {"unrar.dll", "libunrar.so"},
};

// The path dlopen gets: a mapped name becomes its file in the current
// directory (an absolute path, so that the loader searches nowhere else).
std::string FilePathOf(const std::string& name)
{
    const std::string key = BuiltinKey(name);
    for (const LibraryFile& mapped : LibraryFiles) {
        if (key != mapped.key)
            continue;
        char folder[4096];
        if (!::getcwd(folder, sizeof folder))
            return mapped.file;
        return std::string(folder) + "/" + mapped.file;
    }
    return name;
}

}  // namespace

std::string LibraryFilePath(const std::string& name)
{
    return FilePathOf(name);
}

void RegisterBuiltinLibrary(const std::string& name, std::vector<std::pair<std::string, void*>> symbols)
{
    auto table = std::make_shared<SymbolTable>();
    for (auto& [symbol, address] : symbols)
        (*table)[symbol] = address;
    Registry& r = R();
    std::lock_guard lock(r.mutex);
    r.builtins[BuiltinKey(name)] = std::move(table);
}

HMODULE LoadLibrary(const std::string& name)
{
    Registry& r = R();
    std::lock_guard lock(r.mutex);
    if (name.empty()) {
        lastError = "empty library name";
        return 0;
    }
    const std::string key = BuiltinKey(name);
    if (auto b = r.builtins.find(key); b != r.builtins.end()) {
        for (auto& [handle, module] : r.modules) {
            if (module.builtin && module.builtinKey == key && module.builtin == b->second) {
                ++module.references;
                return handle;
            }
        }
        Module module;
        module.builtin = b->second;
        module.builtinKey = key;
        module.references = 1;
        const HMODULE handle = ++r.lastHandle;
        r.modules.emplace(handle, std::move(module));
        return handle;
    }

    const std::string path = FilePathOf(name);
    // The loader knows a library it has loaded once by its path, even after
    // the file is gone; a program's library file must still be there.
    if (path != name && ::access(path.c_str(), F_OK) != 0) {
        lastError = "cannot open " + path + ": no such file";
        return 0;
    }
    void* dl = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!dl) {
        const char* reason = ::dlerror();
        lastError = reason ? reason : "cannot open " + path;
        return 0;
    }
    // dlopen hands out the same handle for a library already open; keep one
    // module for it and one dlopen reference per LoadLibrary.
    for (auto& [handle, module] : r.modules) {
        if (module.dl == dl) {
            ++module.references;
            return handle;
        }
    }
    Module module;
    module.dl = dl;
    module.references = 1;
    const HMODULE handle = ++r.lastHandle;
    r.modules.emplace(handle, std::move(module));
    return handle;
}

void* GetProcAddress(HMODULE handle, const std::string& symbol)
{
    Registry& r = R();
    std::lock_guard lock(r.mutex);
    auto it = r.modules.find(handle);
    if (it == r.modules.end())
        return nullptr;
    const Module& module = it->second;
    if (module.builtin) {
        auto s = module.builtin->find(symbol);
        return s == module.builtin->end() ? nullptr : s->second;
    }
    ::dlerror();
    return ::dlsym(module.dl, symbol.c_str());
}

bool FreeLibrary(HMODULE handle)
{
    Registry& r = R();
    std::lock_guard lock(r.mutex);
    auto it = r.modules.find(handle);
    if (it == r.modules.end())
        return false;
    Module& module = it->second;
    if (module.dl)
        ::dlclose(module.dl);
    if (--module.references == 0)
        r.modules.erase(it);
    return true;
}

std::string LastLibraryError()
{
    return lastError;
}
