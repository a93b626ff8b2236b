// An INI file held whole in memory: no size limit, fast reads in file order.
// The workbench reads the saved projects of another submission program with
// it, whose values are whole section bodies (ReadSectionValues).
//
// Section, key and value texts are short strings: every argument and result,
// and every line of the file, is cut to 255 bytes.
#pragma once

#include <functional>
#include <memory>

#include "classlib/Classes.h"

// One entry per section in file order; the entry's object is the section's
// line list (a TStringList owned by the INI object).
class TIniSectionList : public TStringList {
public:
    // Ignores case. Resumes at LastIndex and wraps round, so that looking up
    // the sections in file order costs one comparison each; a match becomes
    // LastIndex. -1 when absent (LastIndex stays).
    int IndexOf(const CodePageString& Name) const override;

    mutable int LastIndex = 0;
};

// Called for two sections of the same name; true keeps the first (the one
// earlier in the file), false the second.
using TDuplicateSectionChooser =
    std::function<bool(const CodePageString& Section, TStringList* Kept, TStringList* Other)>;

class TLargeIniFile : public TObject {
public:
    // Loads the file when the name is not empty; a missing file gives an
    // empty object. The object starts unmodified.
    explicit TLargeIniFile(const CodePageString& FileName);
    // Writes the file back when it was modified. A failing write cannot
    // leave a destructor, so it goes to the application's error box.
    ~TLargeIniFile() override;
    TLargeIniFile(const TLargeIniFile&) = delete;
    TLargeIniFile& operator=(const TLargeIniFile&) = delete;

    const CodePageString& FileName() const { return FFileName; }
    // Writes back the old file when modified, then loads the new one.
    void SetFileName(const CodePageString& Name);
    TIniSectionList& SectionList() const { return *FSectionList; }

    virtual CodePageString ReadString(const CodePageString& Section, const CodePageString& Key, const CodePageString& Default);
    // An empty key erases the section, or with an empty section and value
    // writes the file back.
    virtual void WriteString(const CodePageString& Section, const CodePageString& Key, const CodePageString& Value);
    // Decimal, "$" hex, or "0x" hex (any case); anything else gives Default.
    virtual int ReadInteger(const CodePageString& Section, const CodePageString& Key, int Default);
    virtual void WriteInteger(const CodePageString& Section, const CodePageString& Key, int Value);
    virtual bool ReadBool(const CodePageString& Section, const CodePageString& Key, bool Default);
    virtual void WriteBool(const CodePageString& Section, const CodePageString& Key, bool Value);
    // Appends the key of every line of the section ("" for a line without "=").
    virtual void ReadSection(const CodePageString& Section, TStrings& Strings);
    // Strings := the section names in file order.
    virtual void ReadSections(TStrings& Strings);
    // Appends every line of the section as stored.
    virtual void ReadSectionValues(const CodePageString& Section, TStrings& Strings);
    virtual void EraseSection(const CodePageString& Section);
    // A missing section is created, empty (it is not written back).
    virtual void DeleteKey(const CodePageString& Section, const CodePageString& Key);
    // Appends "[name]", the lines and one empty line for every section that
    // has lines.
    virtual void WriteToStrings(TStrings& Strings);
    // Rewrites the file (CR LF, through a temporary file and a rename) when
    // modified and named. Throws EInOutError when it can't; the object then
    // stays modified, so nothing is lost.
    virtual void UpdateFile();
    // Reads the named file, when it exists, into the (empty) section list.
    // Throws EInOutError when it exists and can't be read.
    virtual void LoadFile();
    // Replaces the sections by those of a file's bytes, read as LoadFile
    // reads the file; the object is left unmodified and keeps its name.
    void LoadBytes(const std::string& bytes);

    void ClearSections();

    bool Modified = false;
    // Where the next value lookup starts; moves with every lookup.
    int CurrentSection = 0;
    TDuplicateSectionChooser DuplicateSectionChooser;
    // Kept for callers; the file is read and written whole.
    int BufferSize = 28672;
    // Load options; all off by default (the workbench uses none).
    bool DropComments = false;
    bool DropLinesWithoutEquals = false;
    bool StripBlanksAroundEquals = false;
    bool StripValueQuotes = false;
    bool TrimLineEnd = false;

protected:
    // Index of Key's line in Section, or -1; Lines is the section's list, or
    // nullptr when the section is missing and Create is false.
    int FindItemIndex(const CodePageString& Section, const CodePageString& Key, TStringList*& Lines, bool Create);

private:
    TStringList* SectionLines(int index) const;
    // Section's lines, or nullptr when there is no such section.
    const TStringList* FindSectionLines(const CodePageString& Section) const;
    void ParseBytes(const std::string& bytes);
    void RemoveDuplicateSections();

    CodePageString FFileName;
    std::unique_ptr<TIniSectionList> FSectionList;
};

// Adds hexadecimal integers of eight digits.
class TLargerIniFile : public TLargeIniFile {
public:
    using TLargeIniFile::TLargeIniFile;

    // Throws EConvertError when the text is no hexadecimal number.
    virtual int ReadHexInteger(const CodePageString& Section, const CodePageString& Key, int Default);
    virtual void WriteHexInteger(const CodePageString& Section, const CodePageString& Key, int Value);
};
