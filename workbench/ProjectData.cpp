#include "workbench/ProjectData.h"

#include <algorithm>
#include <memory>
#include <unordered_map>

#include "classlib/Classes.h"
#include "classlib/Files.h"
#include "classlib/IniFiles.h"
#include "workbench/LargeIni.h"
#include "workbench/StrKit.h"

static_assert(std::size(ProjectMessages) == static_cast<std::size_t>(ProjectMessageId::NoCategory) + 1);

namespace {

constexpr const char* ListSection = "List";
constexpr const char* SessionSection = "Session";

// A file that can't be read gives the defaults, as with the INI class.
std::string ReadOrEmpty(const CodePageString& path)
{
    try {
        return ReadFileBytes(path);
    } catch (const EFOpenError&) {
        return std::string();
    }
}

// The bytes of a file about to be rewritten; none when there is no file. A
// file that is there but can not be read stops the write: writing over it
// would lose its other keys.
std::string BytesBeforeRewrite(const CodePageString& path)
{
    if (!FileExists(path))
        return std::string();
    try {
        return ReadFileBytes(path);
    } catch (const EFOpenError& e) {
        throw EFCreateError(e.Message);
    }
}

// The keys of one section, read in one parse of the file: a project file is
// read key by key, and parsing it again for each key made a large or hostile
// file cost its size times the number of keys.
class TSectionValues {
public:
    TSectionValues(const std::string& bytes, const CodePageString& section)
        : TSectionValues(IniSectionValues(bytes, section))
    {
    }
    // Keys already read, as IniSectionValues gives them (the first of each
    // name, as a lookup of the key finds it).
    explicit TSectionValues(std::vector<std::pair<CodePageString, CodePageString>> values)
    {
        for (auto& [key, value] : values)
            FValues.emplace(UpperCase(key), std::move(value));
    }
    // The key's value, empty when the section does not hold it.
    CodePageString operator[](const CodePageString& key) const
    {
        const auto at = FValues.find(UpperCase(key));
        return at == FValues.end() ? CodePageString() : at->second;
    }

private:
    std::unordered_map<CodePageString, CodePageString> FValues;
};

bool NameIsUnsafe(const CodePageString& name)
{
    // "." and ".." name folders, not a project.
    if (name == "." || name == "..")
        return true;
    if (name.size() > MaxProjectNameLength)
        return true;
    // The list is read back trimmed, and a value in double quotes without them.
    if (name.front() == ' ' || name.back() == ' ')
        return true;
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
        return true;
    for (char c : name) {
        const auto b = static_cast<unsigned char>(c);
        // "/" and "\" would leave the project folder, "]" ends the section
        // name, a control byte ends or breaks the list's line.
        if (b < 0x20 || b == 0x7F || c == '/' || c == '\\' || c == ']')
            return true;
    }
    return false;
}

// Refuses a name that came from a file or a host; an empty one is no
// refusal, the page is only left without a name.
void CheckImportedName(ProjectImport& result)
{
    if (result.record.SessionName.empty())
        return;
    if (auto refusal = ValidateProjectName(result.record.SessionName)) {
        result.refusedName = refusal;
        result.record.SessionName.clear();
    }
}

// The tags of a ".sav" file, in the order the import reads them.
struct SavTag {
    const char* tag;
    CodePageString ProjectRecord::*member;
};

constexpr SavTag SavTags[] = {
    {"MAILTO", &ProjectRecord::email},     {"DESCRIP", &ProjectRecord::description},
    {"URL", &ProjectRecord::url},          {"KEY0", &ProjectRecord::key1},
    {"DESC", &ProjectRecord::title},       {"COMPANY", &ProjectRecord::company},
    {"ADD1", &ProjectRecord::address1},    {"ADD2", &ProjectRecord::address2},
    {"TOWN", &ProjectRecord::city},        {"STATE", &ProjectRecord::state},
    {"POSTCODE", &ProjectRecord::zip},     {"COUNTRY", &ProjectRecord::country},
    {"TEL", &ProjectRecord::phone},        {"FAX", &ProjectRecord::fax},
};

constexpr const char* SavSubmitterTag = "Submitter";

// A section's lines joined, without line ends or NULs.
CodePageString SavValue(TLargerIniFile& ini, const char* tag)
{
    TStringList lines;
    ini.ReadSectionValues(tag, lines);
    CodePageString value = lines.Text();
    std::erase_if(value, [](char c) { return c == '\n' || c == '\r' || c == '\0'; });
    return value;
}

}  // namespace

int ShowProjectMessage(ProjectMessageId id)
{
    const ProjectMessage& m = GetProjectMessage(id);
    return ShowMessageBox(m.text, m.caption, m.flags);
}

// --- the project name -------------------------------------------------------------

std::optional<ProjectMessage> ValidateProjectName(const CodePageString& name)
{
    const CodePageString upper = UpperCase(name);
    if (upper == "LIST" || upper == "SESSION")
        return GetProjectMessage(ProjectMessageId::ReservedName);
    if (name.empty())
        return GetProjectMessage(ProjectMessageId::NoSessionName);
    if (NameIsUnsafe(name))
        return GetProjectMessage(ProjectMessageId::UnsafeName);
    return std::nullopt;
}

CodePageString ProjectFolder(const CodePageString& appFolder)
{
    return AppPath(appFolder, "data/session");
}

CodePageString ProjectFilePath(const CodePageString& appFolder, const CodePageString& projectName)
{
    // Not through AppPath: the name is one file name and is not converted.
    return ProjectFolder(appFolder) + "/" + projectName + ".zro";
}

CodePageString ProjectListPath(const CodePageString& appFolder)
{
    return ProjectFolder(appFolder) + "/session.zro";
}

// --- the project file --------------------------------------------------------------

std::string ProjectFileBytes(const std::string& existing, const ProjectRecord& record)
{
    // All keys in one pass over the file: the bytes of one write after the other.
    std::vector<std::pair<CodePageString, CodePageString>> values;
    values.reserve(std::size(ProjectFileFields));
    for (const ProjectField& field : ProjectFileFields)
        values.emplace_back(field.key, record.*field.member);
    return IniWriteValues(existing, record.SessionName, values);
}

ProjectRecord ReadProjectBytes(const std::string& bytes, const CodePageString& projectName)
{
    ProjectRecord record;
    record.SessionName = projectName;
    const TSectionValues values(bytes, projectName);
    for (const ProjectField& field : ProjectFileFields)
        record.*field.member = values[field.key];
    return record;
}

void WriteProjectFile(const CodePageString& appFolder, const ProjectRecord& record, TWriteSync sync)
{
    if (auto refusal = ValidateProjectName(record.SessionName))
        throw Exception(refusal->text);
    ForceDirectories(ProjectFolder(appFolder));
    const CodePageString path = ProjectFilePath(appFolder, record.SessionName);
    const std::string existing = BytesBeforeRewrite(path);
    const std::string bytes = ProjectFileBytes(existing, record);
    if (bytes != existing || !FileExists(path))
        WriteFileAtomic(path, bytes, sync);
}

ProjectRecord LoadProjectFile(const CodePageString& appFolder, const CodePageString& projectName)
{
    if (ValidateProjectName(projectName)) {
        ProjectRecord record;
        record.SessionName = projectName;
        return record;
    }
    return ReadProjectBytes(ReadOrEmpty(ProjectFilePath(appFolder, projectName)), projectName);
}

bool DeleteProjectFile(const CodePageString& appFolder, const CodePageString& projectName)
{
    if (ValidateProjectName(projectName))
        return false;
    return DeleteFile(ProjectFilePath(appFolder, projectName));
}

// --- the project list ----------------------------------------------------------------

std::vector<CodePageString> ReadProjectListBytes(const std::string& bytes)
{
    // One parse of the file for the whole list, however long it is.
    const auto entries = IniSectionValues(bytes, ListSection);
    const std::unordered_map<CodePageString, CodePageString> valueOf(entries.begin(), entries.end());
    std::vector<CodePageString> names;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto entry = valueOf.find(IntToStr(static_cast<long long>(i)));
        CodePageString name = entry == valueOf.end() ? CodePageString() : entry->second;
        if (!ValidateProjectName(name))
            names.push_back(std::move(name));
    }
    std::stable_sort(names.begin(), names.end(),
                     [](const CodePageString& a, const CodePageString& b) { return CompareText(a, b) < 0; });
    return names;
}

std::string ProjectListBytes(const std::string& existing, const std::vector<CodePageString>& names)
{
    // A name the list can not show (one an older version stored, or one
    // written by hand) is still the user's: it goes back after the shown ones.
    std::vector<CodePageString> entries = names;
    for (auto& [key, stored] : IniSectionValues(existing, ListSection)) {
        if (!stored.empty() && ValidateProjectName(stored))
            entries.push_back(std::move(stored));
    }
    std::string bytes = IniEraseSection(existing, ListSection);
    if (entries.empty())
        return bytes;
    // The program has always written Count once per entry, before the entry;
    // only the last value stays, and nothing reads it.
    bytes = IniWriteValue(bytes, SessionSection, "Count", IntToStr(static_cast<long long>(entries.size() - 1)));
    std::vector<std::pair<CodePageString, CodePageString>> lines;
    lines.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
        lines.emplace_back(IntToStr(static_cast<long long>(i)), entries[i]);
    return IniWriteValues(bytes, ListSection, lines);
}

std::vector<CodePageString> LoadProjectList(const CodePageString& appFolder)
{
    return ReadProjectListBytes(ReadOrEmpty(ProjectListPath(appFolder)));
}

void SaveProjectList(const CodePageString& appFolder, const std::vector<CodePageString>& names)
{
    ForceDirectories(ProjectFolder(appFolder));
    const CodePageString path = ProjectListPath(appFolder);
    WriteFileAtomic(path, ProjectListBytes(BytesBeforeRewrite(path), names));
}

// --- length counters -----------------------------------------------------------------

int KeywordCount(const CodePageString& keywords)
{
    if (keywords.empty())
        return 0;
    return static_cast<int>(std::count(keywords.begin(), keywords.end(), ',')) + 1;
}

int CounterValue(const LengthCounter& counter, const CodePageString& text)
{
    return counter.keywords ? KeywordCount(text) : static_cast<int>(text.size());
}

// --- imports ------------------------------------------------------------------------

ProjectImport ImportZro(const std::string& bytes)
{
    // One reading of the file, however many sections follow the project's.
    CodePageString section;
    std::vector<std::pair<CodePageString, CodePageString>> values;
    if (!IniFirstSection(bytes, section, values))
        throw EStringListError("List index out of bounds (0)");
    const TSectionValues read(std::move(values));

    ProjectImport result;
    ProjectRecord& record = result.record;
    record.SessionName = section;
    for (const ProjectField& field : ProjectFileFields)
        record.*field.member = read[field.key];
    // A file of this program holds key1 only; older ones hold up to key16.
    for (int k = 2; k <= 16; ++k) {
        const CodePageString more = read["key" + IntToStr(k)];
        if (!more.empty())
            record.key1 += ", " + more;
    }
    CheckImportedName(result);
    return result;
}

ProjectImport ImportZroFile(const CodePageString& fileName)
{
    return ImportZro(ReadOrEmpty(fileName));
}

CodePageString ProjectNameForHost(const CodePageString& host, const std::vector<CodePageString>& projectNames)
{
    CodePageString word = host;
    ReplaceAll(word, "www.", "", false);
    const auto dot = word.find('.');
    if (dot != CodePageString::npos)
        word.erase(dot);

    CodePageString listText;
    for (const CodePageString& name : projectNames)
        listText += name + "\r\n";
    listText = UpperCase(listText);

    // A substring test: "Example1" counts as taken when "MyExample12" is listed.
    const CodePageString upper = UpperCase(word);
    if (Pos(upper, listText) == 0)
        return word;
    for (long long n = 1;; ++n)
        if (Pos(upper + IntToStr(n), listText) == 0)
            return word + IntToStr(n);
}

ProjectImport ImportSav(const std::string& bytes, const ProjectRecord& current,
                        const std::vector<CodePageString>& projectNames, const HostOfUrl& hostOf)
{
    ProjectImport result;
    ProjectRecord& record = result.record;
    record = current;

    // No file name: the object only reads, and never writes anything back.
    TLargerIniFile ini("");
    ini.LoadBytes(bytes);
    for (const SavTag& tag : SavTags)
        record.*tag.member = SavValue(ini, tag.tag);

    CodePageString submitter = SavValue(ini, SavSubmitterTag);
    ReplaceAll(submitter, " ", "\r\n", false);
    TStringList words;
    words.SetText(submitter);
    switch (words.Count()) {
    case 1:
        record.name = words[0];
        break;
    case 2:
        record.name = words[0];
        record.last = words[1];
        break;
    case 3:
        record.name = words[0];
        record.last = words[2];
        break;
    default:
        break;  // no name, or one we can't split: the page keeps its names
    }

    record.SessionName = ProjectNameForHost(hostOf ? hostOf(record.url) : CodePageString(), projectNames);
    CheckImportedName(result);
    return result;
}

ProjectImport ImportSavFile(const CodePageString& fileName, const ProjectRecord& current,
                            const std::vector<CodePageString>& projectNames, const HostOfUrl& hostOf)
{
    const std::string bytes = FileExists(fileName) ? ReadFileBytes(fileName) : std::string();
    return ImportSav(bytes, current, projectNames, hostOf);
}
