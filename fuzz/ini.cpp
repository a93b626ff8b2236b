// The INI files the program reads, all from the same bytes: wkt.ini and the
// category map through the class library's TIniFile (its reads, and its
// rewrites of keys and of a section on the bytes), the project list and its
// rewrite, the large INI class, and the imports of a ".zro" project file and
// of another program's ".sav" file.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "classlib/IniFiles.h"
#include "fuzz/FuzzSupport.h"
#include "transport/HttpUtil.h"
#include "workbench/LargeIni.h"
#include "workbench/ProjectData.h"

namespace {

// Each read of TIniFile and of the project files parses the whole file
// again; two sections reach every path without making one input cost a
// parse per section.
constexpr int MaxSections = 2;

// Both INI classes: the listings of the first sections, then `each` with a
// section and its first key (or `fallbackKey` in a section without keys).
template <class Ini, class Each>
void ForFirstSections(Ini& ini, const char* fallbackKey, Each each)
{
    TStringList sections;
    ini.ReadSections(sections);
    for (int i = 0; i < sections.Count() && i < MaxSections; ++i) {
        TStringList keys, values;
        ini.ReadSection(sections[i], keys);
        ini.ReadSectionValues(sections[i], values);
        each(sections[i], keys.Count() > 0 ? keys[0] : CodePageString(fallbackKey));
    }
}

void ReadSettings(const std::string& path, const std::string& bytes)
{
    TIniFile ini(path);
    ForFirstSections(ini, "Timeout", [&](const CodePageString& section, const CodePageString& key) {
        (void)ini.ReadInteger(section, key, 40);
        // Several keys written at once give the bytes of writing them one by one.
        const std::vector<std::pair<CodePageString, CodePageString>> writes = {
            {key, "value"}, {"NewKey", "one"}, {"newkey", "two"}, {section, "three"}};
        std::string oneByOne = bytes;
        for (const auto& [k, v] : writes)
            oneByOne = IniWriteValue(oneByOne, section, k, v);
        if (IniWriteValues(bytes, section, writes) != oneByOne) {
            std::fputs("writing several keys at once differs from writing them one by one\n", stderr);
            std::abort();
        }
        (void)IniDeleteKey(bytes, section, key);
        (void)IniEraseSection(bytes, section);
    });
    (void)IniWriteValue(bytes, "New Section", "Key", "value");
}

void ReadLarge(const std::string& path)
{
    TLargerIniFile ini(path);
    std::optional<CodePageString> first;
    ForFirstSections(ini, "URL", [&](const CodePageString& section, const CodePageString& key) {
        if (!first)
            first = section;
        (void)ini.ReadString(section, key, "");
        (void)ini.ReadInteger(section, key, 0);
        try {
            (void)ini.ReadHexInteger(section, key, 0);
        } catch (const EConvertError&) {
            // Not eight hexadecimal digits.
        }
    });
    TStringList text;
    ini.WriteToStrings(text);
    // Edits in memory only: the object was not modified by its load and is
    // left unmodified, so nothing is written back.
    TLargerIniFile edited("");
    edited.LoadBytes(text.Text());
    if (first) {
        edited.WriteString(*first, "Key", "value");
        edited.DeleteKey(*first, "Key");
        edited.EraseSection(*first);
    }
}

CodePageString UrlHost(const CodePageString& url)
{
    CodePageString proto, user, password, host, port, path;
    SplitURL(url, proto, user, password, host, port, path);
    return host;
}

void ReadProjects(const std::string& path, const std::string& bytes)
{
    const std::vector<CodePageString> names = ReadProjectListBytes(bytes);
    (void)ProjectListBytes(bytes, names);
    try {
        (void)ImportZroFile(path);
    } catch (const EListError&) {
        // A file without a section.
    }
    const std::vector<CodePageString> listed = {"Example", "Example1", "MyExample12"};
    (void)ImportSavFile(path, ProjectRecord{}, listed, UrlHost);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes = InputBytes(data, size);
    const std::string path = WriteScratchFile("file.ini", bytes);
    ReadSettings(path, bytes);
    ReadLarge(path);
    ReadProjects(path, bytes);
    return 0;
}
