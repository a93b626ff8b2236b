#include "classlib/Registry.h"

#include "platform/Hooks.h"

namespace {

AnsiString RegistryFile()
{
    const auto& hook = GetHooks().registryFile;
    return hook ? hook() : AnsiString("registry.ini");
}

}  // namespace

TRegistryIniFile::TRegistryIniFile(const AnsiString& key) : FKey(key), FFile(RegistryFile()) {}

AnsiString TRegistryIniFile::Section(const AnsiString& section) const
{
    return FKey.empty() ? section : FKey + "\\" + section;
}

AnsiString TRegistryIniFile::ReadString(const AnsiString& section, const AnsiString& ident,
                                        const AnsiString& fallback) const
{
    return FFile.ReadString(Section(section), ident, fallback);
}

void TRegistryIniFile::WriteString(const AnsiString& section, const AnsiString& ident, const AnsiString& value)
{
    FFile.WriteString(Section(section), ident, value);
}

int TRegistryIniFile::ReadInteger(const AnsiString& section, const AnsiString& ident, int fallback) const
{
    return FFile.ReadInteger(Section(section), ident, fallback);
}

void TRegistryIniFile::WriteInteger(const AnsiString& section, const AnsiString& ident, int value)
{
    FFile.WriteInteger(Section(section), ident, value);
}
