#include "classlib/IniFiles.h"

#include <algorithm>
#include <deque>
#include <string_view>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

#include "classlib/Files.h"

namespace {

struct IniLine {
    enum Kind { Blank, Section, Key, Other };
    std::string_view text;   // as in the file, without its line end
    Kind kind = Other;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // key value, trimmed and unquoted
};

// The lines of a file's bytes, read once. A line points into the bytes, or,
// once written, into a text the object keeps; nothing is copied for the lines
// that stay as they are, so a large file costs one pass and no line copies.
class TIniText {
public:
    explicit TIniText(std::string_view bytes)
    {
        ForEachLine(bytes, [this](std::string_view line) { Lines.push_back(Classify(line)); });
    }
    TIniText(const TIniText&) = delete;
    TIniText& operator=(const TIniText&) = delete;

    std::vector<IniLine> Lines;

    // A line of new text (name as given), kept as long as this object.
    IniLine NewLine(std::string text, IniLine::Kind kind, std::string_view name)
    {
        const std::string& kept = FKept.emplace_back(std::move(text));
        const std::string& keptName = FKept.emplace_back(name);
        return IniLine{kept, kind, keptName, {}};
    }
    // A line's text replaced; its name stays.
    void Rewrite(IniLine& line, std::string text) { line.text = FKept.emplace_back(std::move(text)); }

    // Every line followed by CR LF.
    std::string Join() const
    {
        std::size_t size = 0;
        for (const IniLine& line : Lines)
            size += line.text.size() + 2;
        std::string out;
        out.reserve(size);
        for (const IniLine& line : Lines) {
            out += line.text;
            out += "\r\n";
        }
        return out;
    }

private:
    static IniLine Classify(std::string_view text)
    {
        IniLine line;
        line.text = text;
        const std::string_view trimmed = TrimView(text);
        if (trimmed.empty()) {
            line.kind = IniLine::Blank;
        } else if (trimmed[0] == '[') {
            line.kind = IniLine::Section;
            const std::size_t close = trimmed.find(']');
            line.name = TrimView(trimmed.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
        } else if (trimmed[0] != ';') {
            const std::size_t eq = trimmed.find('=');
            if (eq != std::string_view::npos && eq > 0) {
                line.kind = IniLine::Key;
                line.name = TrimView(trimmed.substr(0, eq));
                line.value = TrimView(trimmed.substr(eq + 1));
                if (line.value.size() >= 2 && line.value.front() == '"' && line.value.back() == '"')
                    line.value = line.value.substr(1, line.value.size() - 2);
            }
        }
        return line;
    }

    std::deque<std::string> FKept;
};

// Index of the first header of the section, or -1.
int FindSection(const std::vector<IniLine>& lines, std::string_view section)
{
    const std::string_view name = TrimView(section);
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].kind == IniLine::Section && SameText(lines[i].name, name))
            return static_cast<int>(i);
    return -1;
}

// One past the last line of the section whose header is at `header`.
int SectionEnd(const std::vector<IniLine>& lines, int header)
{
    std::size_t i = static_cast<std::size_t>(header) + 1;
    while (i < lines.size() && lines[i].kind != IniLine::Section)
        ++i;
    return static_cast<int>(i);
}

int FindKey(const std::vector<IniLine>& lines, int header, std::string_view key)
{
    const std::string_view name = TrimView(key);
    const int end = SectionEnd(lines, header);
    for (int i = header + 1; i < end; ++i) {
        const IniLine& line = lines[static_cast<std::size_t>(i)];
        if (line.kind == IniLine::Key && SameText(line.name, name))
            return i;
    }
    return -1;
}

CodePageString OneLine(const CodePageString& s)
{
    CodePageString result = s;
    std::replace(result.begin(), result.end(), '\r', ' ');
    std::replace(result.begin(), result.end(), '\n', ' ');
    return result;
}

EFCreateError CreateError(const CodePageString& path, int error)
{
    return EFCreateError(FileError("Cannot create file", path, error));
}

}  // namespace

bool IniFindValue(const std::string& bytes, const CodePageString& section, const CodePageString& key, CodePageString& value)
{
    const TIniText text(bytes);
    const int header = FindSection(text.Lines, section);
    if (header < 0)
        return false;
    const int at = FindKey(text.Lines, header, key);
    if (at < 0)
        return false;
    value = CodePageString(text.Lines[static_cast<std::size_t>(at)].value);
    return true;
}

namespace {

// Names met so far, ignoring case, for keeping the first of each in one pass.
class TSeenNames {
public:
    // True the first time a name is met.
    bool Add(std::string_view name) { return FNames.insert(UpperCase(CodePageString(name))).second; }

private:
    std::unordered_set<CodePageString> FNames;
};

}  // namespace

std::vector<std::pair<CodePageString, CodePageString>> IniSectionValues(const std::string& bytes, const CodePageString& section)
{
    const TIniText text(bytes);
    std::vector<std::pair<CodePageString, CodePageString>> pairs;
    const int header = FindSection(text.Lines, section);
    if (header < 0)
        return pairs;
    const int end = SectionEnd(text.Lines, header);
    TSeenNames seen;
    for (int i = header + 1; i < end; ++i) {
        const IniLine& line = text.Lines[static_cast<std::size_t>(i)];
        if (line.kind == IniLine::Key && seen.Add(line.name))
            pairs.emplace_back(line.name, line.value);
    }
    return pairs;
}

std::vector<CodePageString> IniSectionKeys(const std::string& bytes, const CodePageString& section)
{
    std::vector<CodePageString> keys;
    for (auto& pair : IniSectionValues(bytes, section))
        keys.push_back(std::move(pair.first));
    return keys;
}

std::vector<CodePageString> IniSectionNames(const std::string& bytes)
{
    std::vector<CodePageString> names;
    TSeenNames seen;
    for (const IniLine& line : TIniText(bytes).Lines)
        if (line.kind == IniLine::Section && seen.Add(line.name))
            names.emplace_back(line.name);
    return names;
}

bool IniFirstSection(const std::string& bytes, CodePageString& section,
                     std::vector<std::pair<CodePageString, CodePageString>>& values)
{
    const TIniText text(bytes);
    const std::vector<IniLine>& lines = text.Lines;
    const auto header = std::find_if(lines.begin(), lines.end(),
                                     [](const IniLine& line) { return line.kind == IniLine::Section; });
    if (header == lines.end())
        return false;
    section = CodePageString(header->name);
    values.clear();
    TSeenNames seen;
    for (auto line = header + 1; line != lines.end() && line->kind != IniLine::Section; ++line)
        if (line->kind == IniLine::Key && seen.Add(line->name))
            values.emplace_back(line->name, line->value);
    return true;
}

std::string IniWriteValue(const std::string& bytes, const CodePageString& section, const CodePageString& key,
                          const CodePageString& value)
{
    TIniText text(bytes);
    std::vector<IniLine>& lines = text.Lines;
    const CodePageString sectionName = Trim(OneLine(section));
    const CodePageString keyName = Trim(OneLine(key));
    const CodePageString newValue = OneLine(value);

    const int header = FindSection(lines, sectionName);
    if (header < 0) {
        if (!lines.empty() && lines.back().kind != IniLine::Blank)
            lines.push_back(IniLine{{}, IniLine::Blank, {}, {}});
        lines.push_back(text.NewLine("[" + sectionName + "]", IniLine::Section, sectionName));
        lines.push_back(text.NewLine(keyName + "=" + newValue, IniLine::Key, keyName));
        return text.Join();
    }
    const int at = FindKey(lines, header, keyName);
    if (at >= 0) {
        IniLine& line = lines[static_cast<std::size_t>(at)];
        text.Rewrite(line, CodePageString(line.name) + "=" + newValue);
        return text.Join();
    }
    // After the section's last line that is not blank.
    int insertAt = header + 1;
    const int end = SectionEnd(lines, header);
    for (int i = header + 1; i < end; ++i)
        if (lines[static_cast<std::size_t>(i)].kind != IniLine::Blank)
            insertAt = i + 1;
    lines.insert(lines.begin() + insertAt, text.NewLine(keyName + "=" + newValue, IniLine::Key, keyName));
    return text.Join();
}

namespace {

// A key whose written line "key=value" is read back as that key, in a
// section whose written header is read back as that section: writes of such
// keys change no line but their own, so they can all be made in one pass.
bool WritesInOnePass(const CodePageString& sectionName, const CodePageString& keyName)
{
    return sectionName.find(']') == CodePageString::npos && !keyName.empty() && keyName[0] != '[' &&
           keyName[0] != ';' && keyName.find('=') == CodePageString::npos;
}

}  // namespace

std::string IniWriteValues(const std::string& bytes, const CodePageString& section,
                           const std::vector<std::pair<CodePageString, CodePageString>>& values)
{
    if (values.empty())
        return bytes;
    const CodePageString sectionName = Trim(OneLine(section));
    for (const auto& [key, value] : values) {
        if (!WritesInOnePass(sectionName, Trim(OneLine(key)))) {
            // A key that would change how the file reads: one write after the other.
            std::string out = bytes;
            for (const auto& [k, v] : values)
                out = IniWriteValue(out, section, k, v);
            return out;
        }
    }
    TIniText text(bytes);
    std::vector<IniLine>& lines = text.Lines;
    int header = FindSection(lines, sectionName);
    if (header < 0) {
        if (!lines.empty() && lines.back().kind != IniLine::Blank)
            lines.push_back(IniLine{{}, IniLine::Blank, {}, {}});
        lines.push_back(text.NewLine("[" + sectionName + "]", IniLine::Section, sectionName));
        header = static_cast<int>(lines.size()) - 1;
    }
    const int end = SectionEnd(lines, header);
    // The section's keys (the first of each name) and where new keys go:
    // after its last line that is not blank.
    std::unordered_map<CodePageString, std::size_t> existing;
    int insertAt = header + 1;
    for (int i = header + 1; i < end; ++i) {
        const IniLine& line = lines[static_cast<std::size_t>(i)];
        if (line.kind != IniLine::Blank)
            insertAt = i + 1;
        if (line.kind == IniLine::Key)
            existing.try_emplace(UpperCase(CodePageString(line.name)), static_cast<std::size_t>(i));
    }
    std::vector<IniLine> added;
    std::unordered_map<CodePageString, std::size_t> addedAt;
    for (const auto& [key, value] : values) {
        const CodePageString keyName = Trim(OneLine(key));
        const CodePageString id = UpperCase(keyName);
        const CodePageString newValue = OneLine(value);
        if (const auto at = existing.find(id); at != existing.end()) {
            IniLine& line = lines[at->second];
            text.Rewrite(line, CodePageString(line.name) + "=" + newValue);
        } else if (const auto at = addedAt.find(id); at != addedAt.end()) {
            IniLine& line = added[at->second];
            text.Rewrite(line, CodePageString(line.name) + "=" + newValue);
        } else {
            addedAt.emplace(id, added.size());
            added.push_back(text.NewLine(keyName + "=" + newValue, IniLine::Key, keyName));
        }
    }
    lines.insert(lines.begin() + insertAt, added.begin(), added.end());
    return text.Join();
}

std::string IniDeleteKey(const std::string& bytes, const CodePageString& section, const CodePageString& key)
{
    TIniText text(bytes);
    const int header = FindSection(text.Lines, section);
    if (header < 0)
        return bytes;
    const int at = FindKey(text.Lines, header, key);
    if (at < 0)
        return bytes;
    text.Lines.erase(text.Lines.begin() + at);
    return text.Join();
}

std::string IniEraseSection(const std::string& bytes, const CodePageString& section)
{
    const std::string_view name = TrimView(section);
    TIniText text(bytes);
    bool erased = false;
    bool inside = false;  // within a copy of the section
    std::erase_if(text.Lines, [&](const IniLine& line) {
        if (line.kind == IniLine::Section)
            inside = SameText(line.name, name);
        erased = erased || inside;
        return inside;
    });
    return erased ? text.Join() : bytes;
}

// --- TIniFile -------------------------------------------------------------------

std::string TIniFile::Load() const
{
    std::string bytes;
    // Like the Windows calls, a file that can't be read gives the defaults.
    if (TryReadFileBytes(FFileName, bytes) != 0)
        return std::string();
    return bytes;
}

std::string TIniFile::LoadForWrite() const
{
    std::string bytes;
    const int error = TryReadFileBytes(FFileName, bytes);
    if (error == 0)
        return bytes;
    if (error == ENOENT)
        return std::string();
    // Writing over a file we could not read would lose everything else in it.
    throw CreateError(FFileName, error);
}

void TIniFile::Store(const std::string& before, const std::string& after)
{
    if (after != before || !FileExists(FFileName))
        Replace(after);
}

void TIniFile::Replace(const std::string& after)
{
    // The rename would replace a file whatever its own permissions: one that
    // may not be written is refused, as opening it for writing would be.
    RefuseReadOnlyFile(FFileName);
    WriteFileAtomic(FFileName, after);
}

CodePageString TIniFile::ReadString(const CodePageString& section, const CodePageString& ident, const CodePageString& fallback) const
{
    CodePageString value;
    return IniFindValue(Load(), section, ident, value) ? value : fallback;
}

void TIniFile::WriteString(const CodePageString& section, const CodePageString& ident, const CodePageString& value)
{
    const std::string before = LoadForWrite();
    Store(before, IniWriteValue(before, section, ident, value));
}

int TIniFile::ReadInteger(const CodePageString& section, const CodePageString& ident, int fallback) const
{
    return StrToIntDef(ReadString(section, ident, CodePageString()), fallback);
}

void TIniFile::WriteValues(const std::vector<TIniValue>& values)
{
    const std::string before = LoadForWrite();
    std::string after = before;
    for (const TIniValue& v : values)
        after = IniWriteValue(after, v.Section, v.Ident, v.Value);
    Store(before, after);
}

void TIniFile::WriteInteger(const CodePageString& section, const CodePageString& ident, int value)
{
    WriteString(section, ident, IntToStr(value));
}

bool TIniFile::ReadBool(const CodePageString& section, const CodePageString& ident, bool fallback) const
{
    return ReadInteger(section, ident, fallback ? 1 : 0) != 0;
}

void TIniFile::WriteBool(const CodePageString& section, const CodePageString& ident, bool value)
{
    WriteString(section, ident, value ? "1" : "0");
}

void TIniFile::ReadSection(const CodePageString& section, TStrings& strings) const
{
    std::vector<CodePageString> keys = IniSectionKeys(Load(), section);
    strings.BeginUpdate();
    strings.Clear();
    for (const CodePageString& key : keys)
        strings.Add(key);
    strings.EndUpdate();
}

void TIniFile::ReadSections(TStrings& strings) const
{
    std::vector<CodePageString> names = IniSectionNames(Load());
    strings.BeginUpdate();
    strings.Clear();
    for (const CodePageString& name : names)
        strings.Add(name);
    strings.EndUpdate();
}

void TIniFile::ReadSectionValues(const CodePageString& section, TStrings& strings) const
{
    const auto pairs = IniSectionValues(Load(), section);
    strings.BeginUpdate();
    strings.Clear();
    for (const auto& [key, value] : pairs)
        strings.Add(key + "=" + value);
    strings.EndUpdate();
}

bool TIniFile::SectionExists(const CodePageString& section) const
{
    return !IniSectionKeys(Load(), section).empty();
}

bool TIniFile::ValueExists(const CodePageString& section, const CodePageString& ident) const
{
    CodePageString value;
    return IniFindValue(Load(), section, ident, value);
}

void TIniFile::EraseSection(const CodePageString& section)
{
    const std::string before = LoadForWrite();
    const std::string after = IniEraseSection(before, section);
    if (after != before)
        Replace(after);
}

void TIniFile::DeleteKey(const CodePageString& section, const CodePageString& ident)
{
    const std::string before = LoadForWrite();
    const std::string after = IniDeleteKey(before, section, ident);
    if (after != before)
        Replace(after);
}
