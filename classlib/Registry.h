// The registry as the class library's INI-style class reaches it. The
// platform keeps the registry in one INI file in the application folder (the
// registryFile hook); key K's section S is the file's section "K\S".
#pragma once

#include "classlib/IniFiles.h"

class TRegistryIniFile : public TObject {
public:
    explicit TRegistryIniFile(const AnsiString& key);

    const AnsiString& Key() const { return FKey; }
    AnsiString ReadString(const AnsiString& section, const AnsiString& ident, const AnsiString& fallback) const;
    void WriteString(const AnsiString& section, const AnsiString& ident, const AnsiString& value);
    int ReadInteger(const AnsiString& section, const AnsiString& ident, int fallback) const;
    void WriteInteger(const AnsiString& section, const AnsiString& ident, int value);

private:
    AnsiString Section(const AnsiString& section) const;
    AnsiString FKey;
    TIniFile FFile;
};
