#include "workbench/LargeIni.h"

#include <algorithm>
#include <cstdint>

#include "classlib/Files.h"
#include "platform/Hooks.h"

namespace {

constexpr std::size_t ShortStringMax = 255;

CodePageString Short(const CodePageString& s)
{
    return s.size() > ShortStringMax ? s.substr(0, ShortStringMax) : s;
}

// The key of a stored line: the text before its first "=", "" without one.
CodePageString LineKey(const CodePageString& line)
{
    const auto eq = line.find('=');
    return eq == CodePageString::npos ? CodePageString() : line.substr(0, eq);
}

// The value of a stored line: the text after its first "="; a line without
// one is all value.
CodePageString LineValue(const CodePageString& line)
{
    const auto eq = line.find('=');
    return eq == CodePageString::npos ? line : line.substr(eq + 1);
}

// Hexadecimal digits only, at most 32 bits (more digits overflow); the bits
// are taken as a signed 32-bit number, so "FFFFFFFF" is -1.
bool TryHexToInt(const CodePageString& digits, int& value)
{
    if (digits.empty())
        return false;
    std::uint64_t v = 0;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        v = v * 16 + static_cast<std::uint64_t>(d);
        if (v > 0xFFFFFFFFull)
            return false;
    }
    value = static_cast<int>(static_cast<std::uint32_t>(v));
    return true;
}

CodePageString HexDigits8(int value)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    auto v = static_cast<std::uint32_t>(value);
    CodePageString s(8, '0');
    for (int i = 7; i >= 0; --i, v >>= 4)
        s[static_cast<std::size_t>(i)] = Digits[v & 15];
    return s;
}

bool IsBlankOrTab(char c)
{
    return c == ' ' || c == '\t';
}

}  // namespace

// --- TIniSectionList ----------------------------------------------------------

int TIniSectionList::IndexOf(const CodePageString& Name) const
{
    const int count = Count();
    if (count == 0)
        return -1;
    // The list may have shrunk since the last match.
    const int start = LastIndex >= 0 && LastIndex < count ? LastIndex : 0;
    for (int n = 0; n < count; ++n) {
        const int i = (start + n) % count;
        if (SameText(StringRef(i), Name)) {
            LastIndex = i;
            return i;
        }
    }
    return -1;
}

// --- TLargeIniFile ------------------------------------------------------------

TLargeIniFile::TLargeIniFile(const CodePageString& FileName) : FSectionList(std::make_unique<TIniSectionList>())
{
    SetFileName(FileName);
}

TLargeIniFile::~TLargeIniFile()
{
    try {
        UpdateFile();
    } catch (const Exception& e) {
        ShowErrorBox(e.Message);
    }
    ClearSections();
}

TStringList* TLargeIniFile::SectionLines(int index) const
{
    return static_cast<TStringList*>(FSectionList->Objects(index));
}

const TStringList* TLargeIniFile::FindSectionLines(const CodePageString& Section) const
{
    const int index = FSectionList->IndexOf(Short(Section));
    return index < 0 ? nullptr : SectionLines(index);
}

void TLargeIniFile::ClearSections()
{
    for (int i = 0; i < FSectionList->Count(); ++i)
        delete SectionLines(i);
    FSectionList->Clear();
    // Both resumed lookups point into the old list.
    FSectionList->LastIndex = 0;
    CurrentSection = 0;
}

void TLargeIniFile::SetFileName(const CodePageString& Name)
{
    UpdateFile();
    ClearSections();
    // Not cut to a short string: a cut path would name another file.
    FFileName = Name;
    if (!FFileName.empty())
        LoadFile();
    // Dropping duplicate sections at load is no change of the user's.
    Modified = false;
}

int TLargeIniFile::FindItemIndex(const CodePageString& Section, const CodePageString& Key, TStringList*& Lines, bool Create)
{
    Lines = nullptr;
    const int count = FSectionList->Count();
    if (count > 0) {
        if (CurrentSection < 0 || CurrentSection >= count)
            CurrentSection = 0;
        const int start = CurrentSection;
        for (int n = 0; n < count; ++n) {
            CurrentSection = (start + n) % count;
            if (SameText(FSectionList->StringRef(CurrentSection), Section)) {
                Lines = SectionLines(CurrentSection);
                break;
            }
        }
    }
    if (!Lines) {
        if (!Create)
            return -1;
        auto fresh = std::make_unique<TStringList>();
        CurrentSection = FSectionList->AddObject(Section, fresh.get());
        Lines = fresh.release();
        return -1;
    }
    for (int i = 0; i < Lines->Count(); ++i)
        if (SameText(LineKey(Lines->StringRef(i)), Key))
            return i;
    return -1;
}

CodePageString TLargeIniFile::ReadString(const CodePageString& Section, const CodePageString& Key, const CodePageString& Default)
{
    TStringList* lines;
    const int index = FindItemIndex(Short(Section), Short(Key), lines, false);
    if (index < 0)
        return Short(Default);
    return Short(LineValue(lines->StringRef(index)));
}

void TLargeIniFile::WriteString(const CodePageString& Section, const CodePageString& Key, const CodePageString& Value)
{
    const CodePageString section = Short(Section);
    const CodePageString key = Short(Key);
    const CodePageString value = Short(Value);
    if (key.empty()) {
        if (section.empty() && value.empty())
            UpdateFile();
        else
            EraseSection(section);
        return;
    }
    const CodePageString line = Short(key + "=" + value);
    TStringList* lines;
    const int index = FindItemIndex(section, key, lines, true);
    if (index >= 0) {
        if (lines->StringRef(index) != line) {
            lines->SetStrings(index, line);
            Modified = true;
        }
    } else {
        lines->Add(line);
        Modified = true;
    }
}

int TLargeIniFile::ReadInteger(const CodePageString& Section, const CodePageString& Key, int Default)
{
    const CodePageString text = ReadString(Section, Key, "");
    int value;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return TryHexToInt(text.substr(2), value) ? value : Default;
    if (!text.empty() && text[0] == '$')
        return TryHexToInt(text.substr(1), value) ? value : Default;
    return TryStrToInt(text, value) ? value : Default;
}

void TLargeIniFile::WriteInteger(const CodePageString& Section, const CodePageString& Key, int Value)
{
    WriteString(Section, Key, IntToStr(Value));
}

bool TLargeIniFile::ReadBool(const CodePageString& Section, const CodePageString& Key, bool Default)
{
    return ReadInteger(Section, Key, Default ? 1 : 0) != 0;
}

void TLargeIniFile::WriteBool(const CodePageString& Section, const CodePageString& Key, bool Value)
{
    WriteString(Section, Key, Value ? "1" : "0");
}

void TLargeIniFile::ReadSection(const CodePageString& Section, TStrings& Strings)
{
    if (const TStringList* lines = FindSectionLines(Section))
        for (int i = 0; i < lines->Count(); ++i)
            Strings.Add(LineKey(lines->StringRef(i)));
}

void TLargeIniFile::ReadSections(TStrings& Strings)
{
    Strings.BeginUpdate();
    Strings.Clear();
    for (int i = 0; i < FSectionList->Count(); ++i)
        Strings.Add(FSectionList->StringRef(i));
    Strings.EndUpdate();
}

void TLargeIniFile::ReadSectionValues(const CodePageString& Section, TStrings& Strings)
{
    if (const TStringList* lines = FindSectionLines(Section))
        for (int i = 0; i < lines->Count(); ++i)
            Strings.Add(lines->StringRef(i));
}

void TLargeIniFile::EraseSection(const CodePageString& Section)
{
    const int index = FSectionList->IndexOf(Short(Section));
    if (index < 0)
        return;
    delete SectionLines(index);
    FSectionList->Delete(index);
    FSectionList->LastIndex = 0;
    Modified = true;
    if (CurrentSection >= FSectionList->Count())
        CurrentSection = 0;
}

void TLargeIniFile::DeleteKey(const CodePageString& Section, const CodePageString& Key)
{
    TStringList* lines;
    const int index = FindItemIndex(Short(Section), Short(Key), lines, true);
    if (index >= 0) {
        lines->Delete(index);
        Modified = true;
    }
}

void TLargeIniFile::WriteToStrings(TStrings& Strings)
{
    for (int s = 0; s < FSectionList->Count(); ++s) {
        const TStringList* lines = SectionLines(s);
        if (lines->Count() == 0)
            continue;
        Strings.Add("[" + FSectionList->StringRef(s) + "]");
        for (int i = 0; i < lines->Count(); ++i)
            Strings.Add(lines->StringRef(i));
        Strings.Add("");
    }
}

void TLargeIniFile::UpdateFile()
{
    if (Modified && !FFileName.empty()) {
        TStringList text;
        WriteToStrings(text);
        try {
            WriteFileAtomic(FFileName, text.Text());
        } catch (const Exception& e) {
            throw EInOutError(e.Message);
        }
    }
    Modified = false;
}

void TLargeIniFile::LoadFile()
{
    CurrentSection = 0;
    if (!FileExists(FFileName))
        return;
    std::string bytes;
    try {
        bytes = ReadFileBytes(FFileName);
    } catch (const Exception& e) {
        throw EInOutError(e.Message);
    }
    ParseBytes(bytes);
}

void TLargeIniFile::LoadBytes(const std::string& bytes)
{
    ClearSections();
    ParseBytes(bytes);
    Modified = false;
}

void TLargeIniFile::ParseBytes(const std::string& bytes)
{
    TStringList* current = nullptr;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = bytes.size();
        // Lines are short strings: the rest of a long line is dropped.
        CodePageString line = bytes.substr(pos, std::min(end - pos, ShortStringMax));
        pos = end;
        if (pos < bytes.size() && bytes[pos] == '\r')
            ++pos;
        if (pos < bytes.size() && bytes[pos] == '\n')
            ++pos;

        // Ctrl-Z ends old DOS text files; a line of it counts as empty.
        if (line.empty() || line == "\x1A" || (DropComments && line[0] == ';'))
            continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            auto fresh = std::make_unique<TStringList>();
            FSectionList->AddObject(line.substr(1, line.size() - 2), fresh.get());
            current = fresh.release();
            continue;
        }
        const auto eq = line.find('=');
        const bool hasKey = eq != CodePageString::npos && eq > 0;
        if (StripBlanksAroundEquals && hasKey) {
            std::size_t before = eq;
            while (before > 0 && IsBlankOrTab(line[before - 1]))
                --before;
            std::size_t after = eq + 1;
            while (after < line.size() && IsBlankOrTab(line[after]))
                ++after;
            line = line.substr(0, before) + "=" + line.substr(after);
        }
        if (StripValueQuotes && hasKey) {
            const auto valueAt = line.find('=') + 1;
            const std::size_t valueLen = line.size() - valueAt;
            if (valueLen >= 2) {
                const char q = line[valueAt];
                if ((q == '"' || q == '\'') && line.back() == q)
                    line = line.substr(0, valueAt) + line.substr(valueAt + 1, valueLen - 2);
            }
        }
        if (TrimLineEnd) {
            while (!line.empty() && static_cast<unsigned char>(line.back()) < 33)
                line.pop_back();
        }
        if (DropLinesWithoutEquals && line.find('=') == CodePageString::npos)
            continue;
        if (current)
            current->Add(line);
    }
    RemoveDuplicateSections();
}

void TLargeIniFile::RemoveDuplicateSections()
{
    const int count = FSectionList->Count();
    if (count < 2)
        return;
    std::vector<int> order(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        order[static_cast<std::size_t>(i)] = i;
    std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
        return CompareText(FSectionList->StringRef(a), FSectionList->StringRef(b)) < 0;
    });

    std::vector<bool> drop(static_cast<std::size_t>(count), false);
    bool removed = false;
    std::size_t run = 0;
    while (run < order.size()) {
        int kept = order[run];
        std::size_t next = run + 1;
        for (; next < order.size() && SameText(FSectionList->StringRef(order[next]), FSectionList->StringRef(kept));
             ++next) {
            const int other = order[next];
            int first = std::min(kept, other);
            int second = std::max(kept, other);
            if (DuplicateSectionChooser &&
                !DuplicateSectionChooser(FSectionList->StringRef(first), SectionLines(first), SectionLines(second)))
                std::swap(first, second);
            kept = first;
            drop[static_cast<std::size_t>(second)] = true;
            removed = true;
        }
        run = next;
    }
    if (!removed)
        return;
    // The kept sections in one pass, in file order: deleting them one by one
    // would move the rest of the list for each copy.
    std::vector<std::pair<CodePageString, TObject*>> kept;
    kept.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        if (drop[static_cast<std::size_t>(i)])
            delete SectionLines(i);
        else
            kept.emplace_back(FSectionList->StringRef(i), FSectionList->Objects(i));
    }
    FSectionList->BeginUpdate();
    FSectionList->Clear();
    for (auto& [name, lines] : kept)
        FSectionList->AddObject(name, lines);
    FSectionList->EndUpdate();
    FSectionList->LastIndex = 0;
    Modified = true;
}

// --- TLargerIniFile -----------------------------------------------------------

int TLargerIniFile::ReadHexInteger(const CodePageString& Section, const CodePageString& Key, int Default)
{
    const CodePageString text = ReadString(Section, Key, HexDigits8(Default));
    int value;
    if (!TryHexToInt(text, value))
        throw EConvertError("'$" + text + "' is not a valid integer value");
    return value;
}

void TLargerIniFile::WriteHexInteger(const CodePageString& Section, const CodePageString& Key, int Value)
{
    WriteString(Section, Key, HexDigits8(Value));
}
