#include "classlib/Registry.h"

#include "platform/Hooks.h"

namespace {

CodePageString RegistryFile()
{
    const auto& hook = GetHooks().registryFile;
    return hook ? hook() : CodePageString("registry.ini");
}

}  // namespace

TRegistryIniFile::TRegistryIniFile(const CodePageString& key) : FKey(key), FFile(RegistryFile()) {}

CodePageString TRegistryIniFile::Section(const CodePageString& section) const
{
    return FKey.empty() ? section : FKey + "\\" + section;
}

CodePageString TRegistryIniFile::ReadString(const CodePageString& section, const CodePageString& ident,
                                        const CodePageString& fallback) const
{
    return FFile.ReadString(Section(section), ident, fallback);
}

void TRegistryIniFile::WriteString(const CodePageString& section, const CodePageString& ident, const CodePageString& value)
{
    FFile.WriteString(Section(section), ident, value);
}

int TRegistryIniFile::ReadInteger(const CodePageString& section, const CodePageString& ident, int fallback) const
{
    return FFile.ReadInteger(Section(section), ident, fallback);
}

void TRegistryIniFile::WriteInteger(const CodePageString& section, const CodePageString& ident, int value)
{
    FFile.WriteInteger(Section(section), ident, value);
}
