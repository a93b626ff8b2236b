// The registry as the class library's INI-style class reaches it. The
// platform keeps the registry in one INI file in the application folder (the
// registryFile hook); key K's section S is the file's section "K\S".
#pragma once

#include "classlib/IniFiles.h"

class TRegistryIniFile : public TObject {
public:
    explicit TRegistryIniFile(const CodePageString& key);

    const CodePageString& Key() const { return FKey; }
    CodePageString ReadString(const CodePageString& section, const CodePageString& ident, const CodePageString& fallback) const;
    void WriteString(const CodePageString& section, const CodePageString& ident, const CodePageString& value);
    int ReadInteger(const CodePageString& section, const CodePageString& ident, int fallback) const;
    void WriteInteger(const CodePageString& section, const CodePageString& ident, int value);

private:
    CodePageString Section(const CodePageString& section) const;
    CodePageString FKey;
    TIniFile FFile;
};
