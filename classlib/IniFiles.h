// Settings files with the Windows profile-file rules.
//
// Section and key names ignore case (ASCII). Values are read trimmed, with
// one pair of surrounding double quotes removed. Writing rewrites an
// existing key in place, puts a new key after the last line of its section
// (before the blank lines that end it), and appends a new section at the end
// of the file after one empty line. With duplicate sections or keys the first
// one is read. Lines starting with ';' are comments. Readers accept CR LF, LF
// and CR; written files have CR LF line ends, and every other line is kept as
// it was.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "classlib/Classes.h"

// The format as functions on the file's bytes.
// Every function parses the bytes once, so a large file costs time in
// proportion to its size, whatever it holds.
bool IniFindValue(const std::string& bytes, const CodePageString& section, const CodePageString& key, CodePageString& value);
std::vector<CodePageString> IniSectionKeys(const std::string& bytes, const CodePageString& section);  // file order, once each
// The section's keys in file order, each once with the value IniFindValue reads.
std::vector<std::pair<CodePageString, CodePageString>> IniSectionValues(const std::string& bytes, const CodePageString& section);
std::vector<CodePageString> IniSectionNames(const std::string& bytes);                            // file order, once each
// The name of the file's first section and its keys as IniSectionValues
// gives them; false when the file has no section.
bool IniFirstSection(const std::string& bytes, CodePageString& section,
                     std::vector<std::pair<CodePageString, CodePageString>>& values);
// Line breaks inside section, key or value become blanks, so a value can
// never add lines of its own to the file.
std::string IniWriteValue(const std::string& bytes, const CodePageString& section, const CodePageString& key,
                          const CodePageString& value);
// The same bytes as IniWriteValue called for each pair in order.
std::string IniWriteValues(const std::string& bytes, const CodePageString& section,
                           const std::vector<std::pair<CodePageString, CodePageString>>& values);
std::string IniDeleteKey(const std::string& bytes, const CodePageString& section, const CodePageString& key);
std::string IniEraseSection(const std::string& bytes, const CodePageString& section);  // every copy of it

// One key to write, for TIniFile::WriteValues.
struct TIniValue {
    CodePageString Section;
    CodePageString Ident;
    CodePageString Value;
};

// A profile file on disk. Every read looks at the file as it is now (a
// missing or unreadable file reads as empty); every write goes to the file at
// once, through a temporary file and a rename, and throws EFCreateError when
// it fails. A file that is there but may not be written (read-only, as its
// user may have made it) is refused with EFCreateError, never replaced.
class TIniFile : public TObject {
public:
    explicit TIniFile(const CodePageString& fileName) : FFileName(fileName) {}

    const CodePageString& FileName() const { return FFileName; }

    CodePageString ReadString(const CodePageString& section, const CodePageString& ident, const CodePageString& fallback) const;
    void WriteString(const CodePageString& section, const CodePageString& ident, const CodePageString& value);
    int ReadInteger(const CodePageString& section, const CodePageString& ident, int fallback) const;  // fallback on bad number
    void WriteInteger(const CodePageString& section, const CodePageString& ident, int value);
    bool ReadBool(const CodePageString& section, const CodePageString& ident, bool fallback) const;  // "0" false, other numbers true
    void WriteBool(const CodePageString& section, const CodePageString& ident, bool value);          // "1" / "0"
    // The keys in order, as WriteString would write them one by one, in one
    // rewrite of the file: all of them reach it, or none.
    void WriteValues(const std::vector<TIniValue>& values);

    void ReadSection(const CodePageString& section, TStrings& strings) const;        // key names, file order
    void ReadSections(TStrings& strings) const;                                  // section names, file order
    void ReadSectionValues(const CodePageString& section, TStrings& strings) const;  // "key=value" lines
    bool SectionExists(const CodePageString& section) const;  // true when it holds at least one key
    bool ValueExists(const CodePageString& section, const CodePageString& ident) const;
    void EraseSection(const CodePageString& section);
    void DeleteKey(const CodePageString& section, const CodePageString& ident);
    void UpdateFile() {}  // writes are never held back

private:
    std::string Load() const;
    std::string LoadForWrite() const;  // EFCreateError when the file exists but can't be read
    void Store(const std::string& before, const std::string& after);
    void Replace(const std::string& after);  // EFCreateError for a file that may not be written

    CodePageString FFileName;
};
