#include "classlib/IniFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace {

struct IniLine {
    enum Kind { Blank, Section, Key, Other };
    std::string text;  // as in the file, without its line end
    Kind kind = Other;
    AnsiString name;   // section or key name, trimmed
    AnsiString value;  // key value, trimmed and unquoted
};

std::vector<IniLine> ParseIni(const std::string& bytes)
{
    std::vector<IniLine> lines;
    std::size_t start = 0;
    const std::size_t n = bytes.size();
    while (start < n) {
        std::size_t end = start;
        while (end < n && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        IniLine line;
        line.text.assign(bytes, start, end - start);
        const AnsiString trimmed = Trim(line.text);
        if (trimmed.empty()) {
            line.kind = IniLine::Blank;
        } else if (trimmed[0] == '[') {
            line.kind = IniLine::Section;
            const std::size_t close = trimmed.find(']');
            line.name = Trim(trimmed.substr(1, close == AnsiString::npos ? AnsiString::npos : close - 1));
        } else if (trimmed[0] != ';') {
            const std::size_t eq = trimmed.find('=');
            if (eq != AnsiString::npos && eq > 0) {
                line.kind = IniLine::Key;
                line.name = Trim(trimmed.substr(0, eq));
                line.value = Trim(trimmed.substr(eq + 1));
                if (line.value.size() >= 2 && line.value.front() == '"' && line.value.back() == '"')
                    line.value = line.value.substr(1, line.value.size() - 2);
            }
        }
        lines.push_back(std::move(line));
        if (end < n && bytes[end] == '\r' && end + 1 < n && bytes[end + 1] == '\n')
            end += 2;
        else if (end < n)
            end += 1;
        start = end;
    }
    return lines;
}

std::string JoinIni(const std::vector<IniLine>& lines)
{
    std::string out;
    for (const IniLine& line : lines) {
        out += line.text;
        out += "\r\n";
    }
    return out;
}

// Index of the first header of the section, or -1.
int FindSection(const std::vector<IniLine>& lines, const AnsiString& section)
{
    const AnsiString name = Trim(section);
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

int FindKey(const std::vector<IniLine>& lines, int header, const AnsiString& key)
{
    const AnsiString name = Trim(key);
    const int end = SectionEnd(lines, header);
    for (int i = header + 1; i < end; ++i) {
        const IniLine& line = lines[static_cast<std::size_t>(i)];
        if (line.kind == IniLine::Key && SameText(line.name, name))
            return i;
    }
    return -1;
}

AnsiString OneLine(const AnsiString& s)
{
    AnsiString result = s;
    std::replace(result.begin(), result.end(), '\r', ' ');
    std::replace(result.begin(), result.end(), '\n', ' ');
    return result;
}

bool ReadAll(const AnsiString& path, std::string& out, int& error)
{
    int fd;
    do
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error = errno;
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        error = EISDIR;
        return false;
    }
    out.clear();
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = errno;
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

EFCreateError CreateError(const AnsiString& path, int error)
{
    return EFCreateError("Cannot create file \"" + path + "\". " + std::strerror(error));
}

}  // namespace

bool IniFindValue(const std::string& bytes, const AnsiString& section, const AnsiString& key, AnsiString& value)
{
    const std::vector<IniLine> lines = ParseIni(bytes);
    const int header = FindSection(lines, section);
    if (header < 0)
        return false;
    const int at = FindKey(lines, header, key);
    if (at < 0)
        return false;
    value = lines[static_cast<std::size_t>(at)].value;
    return true;
}

namespace {

// Names met so far, ignoring case, for keeping the first of each in one pass.
class TSeenNames {
public:
    // True the first time a name is met.
    bool Add(const AnsiString& name) { return FNames.insert(UpperCase(name)).second; }

private:
    std::unordered_set<AnsiString> FNames;
};

}  // namespace

std::vector<std::pair<AnsiString, AnsiString>> IniSectionValues(const std::string& bytes, const AnsiString& section)
{
    const std::vector<IniLine> lines = ParseIni(bytes);
    std::vector<std::pair<AnsiString, AnsiString>> pairs;
    const int header = FindSection(lines, section);
    if (header < 0)
        return pairs;
    const int end = SectionEnd(lines, header);
    TSeenNames seen;
    for (int i = header + 1; i < end; ++i) {
        const IniLine& line = lines[static_cast<std::size_t>(i)];
        if (line.kind == IniLine::Key && seen.Add(line.name))
            pairs.emplace_back(line.name, line.value);
    }
    return pairs;
}

std::vector<AnsiString> IniSectionKeys(const std::string& bytes, const AnsiString& section)
{
    std::vector<AnsiString> keys;
    for (auto& pair : IniSectionValues(bytes, section))
        keys.push_back(std::move(pair.first));
    return keys;
}

std::vector<AnsiString> IniSectionNames(const std::string& bytes)
{
    std::vector<AnsiString> names;
    TSeenNames seen;
    for (const IniLine& line : ParseIni(bytes))
        if (line.kind == IniLine::Section && seen.Add(line.name))
            names.push_back(line.name);
    return names;
}

std::string IniWriteValue(const std::string& bytes, const AnsiString& section, const AnsiString& key,
                          const AnsiString& value)
{
    std::vector<IniLine> lines = ParseIni(bytes);
    const AnsiString sectionName = Trim(OneLine(section));
    const AnsiString keyName = Trim(OneLine(key));
    const AnsiString text = OneLine(value);

    const int header = FindSection(lines, sectionName);
    if (header < 0) {
        if (!lines.empty() && lines.back().kind != IniLine::Blank)
            lines.push_back(IniLine{"", IniLine::Blank, "", ""});
        lines.push_back(IniLine{"[" + sectionName + "]", IniLine::Section, sectionName, ""});
        lines.push_back(IniLine{keyName + "=" + text, IniLine::Key, keyName, ""});
        return JoinIni(lines);
    }
    const int at = FindKey(lines, header, keyName);
    if (at >= 0) {
        IniLine& line = lines[static_cast<std::size_t>(at)];
        line.text = line.name + "=" + text;
        return JoinIni(lines);
    }
    // After the section's last line that is not blank.
    int insertAt = header + 1;
    const int end = SectionEnd(lines, header);
    for (int i = header + 1; i < end; ++i)
        if (lines[static_cast<std::size_t>(i)].kind != IniLine::Blank)
            insertAt = i + 1;
    lines.insert(lines.begin() + insertAt, IniLine{keyName + "=" + text, IniLine::Key, keyName, ""});
    return JoinIni(lines);
}

namespace {

// A key whose written line "key=value" is read back as that key, in a
// section whose written header is read back as that section: writes of such
// keys change no line but their own, so they can all be made in one pass.
bool WritesInOnePass(const AnsiString& sectionName, const AnsiString& keyName)
{
    return sectionName.find(']') == AnsiString::npos && !keyName.empty() && keyName[0] != '[' &&
           keyName[0] != ';' && keyName.find('=') == AnsiString::npos;
}

}  // namespace

std::string IniWriteValues(const std::string& bytes, const AnsiString& section,
                           const std::vector<std::pair<AnsiString, AnsiString>>& values)
{
    if (values.empty())
        return bytes;
    const AnsiString sectionName = Trim(OneLine(section));
    for (const auto& [key, value] : values) {
        if (!WritesInOnePass(sectionName, Trim(OneLine(key)))) {
            // A key that would change how the file reads: one write after the other.
            std::string out = bytes;
            for (const auto& [k, v] : values)
                out = IniWriteValue(out, section, k, v);
            return out;
        }
    }
    std::vector<IniLine> lines = ParseIni(bytes);
    int header = FindSection(lines, sectionName);
    if (header < 0) {
        if (!lines.empty() && lines.back().kind != IniLine::Blank)
            lines.push_back(IniLine{"", IniLine::Blank, "", ""});
        lines.push_back(IniLine{"[" + sectionName + "]", IniLine::Section, sectionName, ""});
        header = static_cast<int>(lines.size()) - 1;
    }
    const int end = SectionEnd(lines, header);
    // The section's keys (the first of each name) and where new keys go:
    // after its last line that is not blank.
    std::unordered_map<AnsiString, IniLine*> existing;
    int insertAt = header + 1;
    for (int i = header + 1; i < end; ++i) {
        IniLine& line = lines[static_cast<std::size_t>(i)];
        if (line.kind != IniLine::Blank)
            insertAt = i + 1;
        if (line.kind == IniLine::Key)
            existing.try_emplace(UpperCase(line.name), &line);
    }
    std::vector<IniLine> added;
    std::unordered_map<AnsiString, std::size_t> addedAt;
    for (const auto& [key, value] : values) {
        const AnsiString keyName = Trim(OneLine(key));
        const AnsiString id = UpperCase(keyName);
        const AnsiString text = OneLine(value);
        if (const auto at = existing.find(id); at != existing.end()) {
            at->second->text = at->second->name + "=" + text;
        } else if (const auto at = addedAt.find(id); at != addedAt.end()) {
            IniLine& line = added[at->second];
            line.text = line.name + "=" + text;
        } else {
            addedAt.emplace(id, added.size());
            added.push_back(IniLine{keyName + "=" + text, IniLine::Key, keyName, ""});
        }
    }
    lines.insert(lines.begin() + insertAt, std::make_move_iterator(added.begin()),
                 std::make_move_iterator(added.end()));
    return JoinIni(lines);
}

std::string IniDeleteKey(const std::string& bytes, const AnsiString& section, const AnsiString& key)
{
    std::vector<IniLine> lines = ParseIni(bytes);
    const int header = FindSection(lines, section);
    if (header < 0)
        return bytes;
    const int at = FindKey(lines, header, key);
    if (at < 0)
        return bytes;
    lines.erase(lines.begin() + at);
    return JoinIni(lines);
}

std::string IniEraseSection(const std::string& bytes, const AnsiString& section)
{
    const AnsiString name = Trim(section);
    std::vector<IniLine> kept;
    bool erased = false;
    bool inside = false;  // within a copy of the section
    for (IniLine& line : ParseIni(bytes)) {
        if (line.kind == IniLine::Section)
            inside = SameText(line.name, name);
        if (inside)
            erased = true;
        else
            kept.push_back(std::move(line));
    }
    return erased ? JoinIni(kept) : bytes;
}

// --- TIniFile -------------------------------------------------------------------

std::string TIniFile::Load() const
{
    std::string bytes;
    int error = 0;
    // Like the Windows calls, a file that can't be read gives the defaults.
    if (!ReadAll(FFileName, bytes, error))
        return std::string();
    return bytes;
}

std::string TIniFile::LoadForWrite() const
{
    std::string bytes;
    int error = 0;
    if (ReadAll(FFileName, bytes, error))
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
    // may not be written is refused here, as opening it for writing would be.
    // A file without any write permission is read-only for everyone, the
    // superuser included, as on the system the settings files come from.
    struct stat st {};
    if (::stat(FFileName.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        int error = 0;
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
            error = EACCES;
        else if (::access(FFileName.c_str(), W_OK) != 0)
            error = errno;
        if (error != 0)
            throw CreateError(FFileName, error);
    }
    WriteFileAtomic(FFileName, after);
}

AnsiString TIniFile::ReadString(const AnsiString& section, const AnsiString& ident, const AnsiString& fallback) const
{
    AnsiString value;
    return IniFindValue(Load(), section, ident, value) ? value : fallback;
}

void TIniFile::WriteString(const AnsiString& section, const AnsiString& ident, const AnsiString& value)
{
    const std::string before = LoadForWrite();
    Store(before, IniWriteValue(before, section, ident, value));
}

int TIniFile::ReadInteger(const AnsiString& section, const AnsiString& ident, int fallback) const
{
    return StrToIntDef(ReadString(section, ident, AnsiString()), fallback);
}

void TIniFile::WriteValues(const std::vector<TIniValue>& values)
{
    const std::string before = LoadForWrite();
    std::string after = before;
    for (const TIniValue& v : values)
        after = IniWriteValue(after, v.Section, v.Ident, v.Value);
    Store(before, after);
}

void TIniFile::WriteInteger(const AnsiString& section, const AnsiString& ident, int value)
{
    WriteString(section, ident, IntToStr(value));
}

bool TIniFile::ReadBool(const AnsiString& section, const AnsiString& ident, bool fallback) const
{
    return ReadInteger(section, ident, fallback ? 1 : 0) != 0;
}

void TIniFile::WriteBool(const AnsiString& section, const AnsiString& ident, bool value)
{
    WriteString(section, ident, value ? "1" : "0");
}

void TIniFile::ReadSection(const AnsiString& section, TStrings& strings) const
{
    std::vector<AnsiString> keys = IniSectionKeys(Load(), section);
    strings.BeginUpdate();
    strings.Clear();
    for (const AnsiString& key : keys)
        strings.Add(key);
    strings.EndUpdate();
}

void TIniFile::ReadSections(TStrings& strings) const
{
    std::vector<AnsiString> names = IniSectionNames(Load());
    strings.BeginUpdate();
    strings.Clear();
    for (const AnsiString& name : names)
        strings.Add(name);
    strings.EndUpdate();
}

void TIniFile::ReadSectionValues(const AnsiString& section, TStrings& strings) const
{
    const auto pairs = IniSectionValues(Load(), section);
    strings.BeginUpdate();
    strings.Clear();
    for (const auto& [key, value] : pairs)
        strings.Add(key + "=" + value);
    strings.EndUpdate();
}

bool TIniFile::SectionExists(const AnsiString& section) const
{
    return !IniSectionKeys(Load(), section).empty();
}

bool TIniFile::ValueExists(const AnsiString& section, const AnsiString& ident) const
{
    AnsiString value;
    return IniFindValue(Load(), section, ident, value);
}

void TIniFile::EraseSection(const AnsiString& section)
{
    const std::string before = LoadForWrite();
    const std::string after = IniEraseSection(before, section);
    if (after != before)
        Replace(after);
}

void TIniFile::DeleteKey(const AnsiString& section, const AnsiString& ident)
{
    const std::string before = LoadForWrite();
    const std::string after = IniDeleteKey(before, section, ident);
    if (after != before)
        Replace(after);
}
