// Projects as data: the fields of a project, its file and the project list
// (both INI files of the class library's rules), the project name check, the
// length counters, and the import of ".zro" project files and of the ".sav"
// files of another submission program. Everything here works on bytes and
// plain structs; the project page calls it and shows the messages.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Files.h"
#include "platform/Hooks.h"

// --- messages -----------------------------------------------------------------

enum class ProjectMessageId {
    ReservedName,       // save: "LIST" or "SESSION"
    NoSessionName,      // save: empty name
    UnsafeName,         // save and import: a name that can't be a file and section name
    ModifySessionName,  // save: the name exists; Yes rewrites it
    NoItem,             // delete: nothing selected
    SelectCategory,     // after a ".sav" import (that format has no category)
    // Held by the save and never shown: whether a save should require these
    // fields is still open.
    NoName,
    NoEmail,
    NoUrl,
    NoTitle,
    NoCategory,
};

struct ProjectMessage {
    ProjectMessageId id;
    const char* caption;
    const char* text;
    unsigned flags;
};

// The texts are the program's own, typos and the two blanks before "?"
// included. Order follows ProjectMessageId.
inline constexpr ProjectMessage ProjectMessages[] = {
    {ProjectMessageId::ReservedName, "Invalid Session Name", "Sorry that name is being used by this program",
     MB_OK | MB_ICONEXCLAMATION},
    {ProjectMessageId::NoSessionName, "No Session Name", "You have no Session_Name to save.",
     MB_OK | MB_ICONEXCLAMATION},
    {ProjectMessageId::UnsafeName, "Invalid Session Name",
     "Sorry that name can not be used as a Session Name.\n"
     "It may not be . or .., be longer than 220 characters, hold / \\ ] or control characters, "
     "begin or end with a blank, or begin and end with a double quote.",
     MB_OK | MB_ICONEXCLAMATION},
    {ProjectMessageId::ModifySessionName, "Modify Session Name",
     "Session name already exists.\nDo you wish to modify it  ?", MB_YESNO | MB_ICONQUESTION},
    {ProjectMessageId::NoItem, "No Item", "You have not selected an item to Delete", MB_OK | MB_ICONEXCLAMATION},
    {ProjectMessageId::SelectCategory, "Select Catagory", "Please Select a Catagory For This Project",
     MB_OK | MB_ICONEXCLAMATION},
    {ProjectMessageId::NoName, "No Name", "You forgot to enter a your name.", MB_OK | MB_ICONEXCLAMATION},
    {ProjectMessageId::NoEmail, "No email", "You forgot to enter your email address.", MB_OK | MB_ICONEXCLAMATION},
    {ProjectMessageId::NoUrl, "No URL", "You forgot to enter a URL.", MB_OK | MB_ICONEXCLAMATION},
    {ProjectMessageId::NoTitle, "No Title", "You forgot to enter a Title.", MB_OK | MB_ICONEXCLAMATION},
    {ProjectMessageId::NoCategory, "No Category", "You forgot to enter a Category.", MB_OK | MB_ICONEXCLAMATION},
};

constexpr const ProjectMessage& GetProjectMessage(ProjectMessageId id)
{
    return ProjectMessages[static_cast<int>(id)];
}

// Shows the message through the message-box hook; returns IDOK, IDYES, ...
int ShowProjectMessage(ProjectMessageId id);

// The longest project name: its file name (".zro" added) and its reports'
// (a date and ".htm" added) must fit in the 255 bytes of a file name. A name
// this long could always be saved, so no project saved before is refused.
constexpr std::size_t MaxProjectNameLength = 220;

// --- the project ----------------------------------------------------------------

// The fields of the "Project Information" page, in the order of the project file.
struct ProjectRecord {
    CodePageString SessionName;  // section name and file name (Session_Name)
    CodePageString url;
    CodePageString title;
    CodePageString email;
    CodePageString description;
    CodePageString catagory;
    CodePageString name;  // first name
    CodePageString last;
    CodePageString company;
    CodePageString address1;
    CodePageString address2;
    CodePageString country;
    CodePageString city;
    CodePageString state;
    CodePageString phone;
    CodePageString fax;
    CodePageString zip;
    CodePageString key1;  // keywords separated by ","

    bool operator==(const ProjectRecord&) const = default;
};

struct ProjectField {
    const char* key;      // in the project file
    const char* control;  // the edit control of the page
    CodePageString ProjectRecord::*member;
};

// Written in this order; the project file holds no other keys of ours.
inline constexpr ProjectField ProjectFileFields[] = {
    {"url", "urllist", &ProjectRecord::url},
    {"title", "title", &ProjectRecord::title},
    {"email", "email", &ProjectRecord::email},
    {"description", "Description", &ProjectRecord::description},
    {"catagory", "catagory", &ProjectRecord::catagory},
    {"name", "name", &ProjectRecord::name},
    {"last", "LastN", &ProjectRecord::last},
    {"company", "Company", &ProjectRecord::company},
    {"address1", "Address1", &ProjectRecord::address1},
    {"address2", "Address2", &ProjectRecord::address2},
    {"country", "Country", &ProjectRecord::country},
    {"city", "City", &ProjectRecord::city},
    {"state", "State", &ProjectRecord::state},
    {"phone", "Phone", &ProjectRecord::phone},
    {"fax", "Fax", &ProjectRecord::fax},
    {"zip", "Zip", &ProjectRecord::zip},
    {"key1", "Key1", &ProjectRecord::key1},
};

// The category combo box's items, in order ("Miscellaneous" twice).
inline constexpr const char* ProjectCategories[] = {
    "Miscellaneous", "Automotive", "Business", "Communications", "Community", "Computers",
    "Consumer", "Education", "Employment", "Entertainment", "Finance", "Government", "Health",
    "Internet", "Manufacturing", "Media", "Medical", "Miscellaneous", "News", "Opportunities",
    "Personal", "Politics", "Publishing", "Recreation", "Reference", "Religion", "Sci-Tech",
    "Services", "Transportation", "Travel", "Web_Stuff",
};

// --- the project name -------------------------------------------------------------

// Why the name can't be saved, or nothing. In this order: "LIST" and
// "SESSION" in any case are the program's own files; an empty name; a name
// that could leave the project folder or would not come back whole from the
// project list: exactly "." or "..", longer than MaxProjectNameLength, a
// path separator, "]", a control byte, a blank at either end, or double
// quotes at both ends.
std::optional<ProjectMessage> ValidateProjectName(const CodePageString& name);

// The folder of the project files, and the files.
CodePageString ProjectFolder(const CodePageString& appFolder);
CodePageString ProjectFilePath(const CodePageString& appFolder, const CodePageString& projectName);  // <name>.zro
CodePageString ProjectListPath(const CodePageString& appFolder);                                 // session.zro

// --- the project file --------------------------------------------------------------

// The project written into a project file's bytes, key by key in file order:
// existing keys are rewritten in place and the file's other keys and
// sections stay.
std::string ProjectFileBytes(const std::string& existing, const ProjectRecord& record);
// The project's section read from a project file; missing keys read as "".
ProjectRecord ReadProjectBytes(const std::string& bytes, const CodePageString& projectName);

// Writes the project's file through a temporary file and a rename, creating
// the folder when it is missing. A name that fails ValidateProjectName
// throws Exception with the message's text and writes nothing.
// Throws EFCreateError when the file can't be written. With TWriteSync::Later
// the file is whole under its name at once but durable only after a
// SyncFiles that names it: a list must not name it before.
void WriteProjectFile(const CodePageString& appFolder, const ProjectRecord& record,
                      TWriteSync sync = TWriteSync::Now);
// A missing file reads as all fields empty. A name that fails
// ValidateProjectName reads nothing (all empty, the name kept).
ProjectRecord LoadProjectFile(const CodePageString& appFolder, const CodePageString& projectName);
// Deletes the project's file; false when it was not there. A name that
// fails ValidateProjectName deletes nothing.
bool DeleteProjectFile(const CodePageString& appFolder, const CodePageString& projectName);

// --- the project list ----------------------------------------------------------------

// The names of [List]: as many as the section has lines, entry i being the
// value of key i. Names that fail ValidateProjectName (gaps in the keys,
// names refused) are left out. Sorted as the project list shows them (case
// ignored).
std::vector<CodePageString> ReadProjectListBytes(const std::string& bytes);
// [List] erased, then for each entry i in order: [Session] Count := i and
// [List] i := the name. An empty list leaves Count as it was. The names the
// existing [List] holds that ValidateProjectName refuses follow the given
// ones: a list is never rewritten without them.
std::string ProjectListBytes(const std::string& existing, const std::vector<CodePageString>& names);

// A missing list file reads as no projects.
std::vector<CodePageString> LoadProjectList(const CodePageString& appFolder);
// Through a temporary file and a rename. Throws EFCreateError.
void SaveProjectList(const CodePageString& appFolder, const std::vector<CodePageString>& names);

// --- length counters -----------------------------------------------------------------

struct LengthCounter {
    const char* field;    // the edit control
    const char* counter;  // its TLedLabel
    bool keywords;        // counts keywords instead of characters
    int limit;            // normal colour up to it, red above
    const char* mirror;   // meta tag field that takes a copy, or nullptr
};

inline constexpr LengthCounter ProjectCounters[] = {
    {"title", "CLED2", false, 60, "TitleMet"},
    {"Description", "CLED3", false, 250, "DescriptionMet"},
    {"Key1", "CLED4", true, 250, "Key1Met"},
    {"TitleImp", "CLED2Imp", false, 60, nullptr},
    {"DescriptionImp", "CLED3Imp", false, 250, nullptr},
    {"Key1Imp", "CLED4Imp", true, 250, nullptr},
};

// Number of "," + 1; 0 for an empty text.
int KeywordCount(const CodePageString& keywords);
// The value the counter shows.
int CounterValue(const LengthCounter& counter, const CodePageString& text);

// --- imports ------------------------------------------------------------------------

struct ProjectImport {
    ProjectRecord record;
    // Set when the file's name for the project was refused; the record's
    // SessionName is then empty.
    std::optional<ProjectMessage> refusedName;
};

// A ".zro" project file: the first section, whatever its name, is the
// project; its key1 to key16 are joined with ", " (empty ones skipped after
// key1). Every field is set. Throws EListError "List index out of bounds (0)"
// for a file without a section.
ProjectImport ImportZro(const std::string& bytes);
ProjectImport ImportZroFile(const CodePageString& fileName);  // EListError for a missing file too

// The host part of a URL (the HTTP unit's URL splitter; a parameter so that
// this unit stays free of the transport).
using HostOfUrl = std::function<CodePageString(const CodePageString& url)>;

// A ".sav" file: each tagged section's lines joined into its field (line
// ends and NULs removed; lines cut to 255 bytes; the first of two sections of
// one tag wins). The fourteen single fields are always set, the category is
// kept, and "Submitter" sets the first and last name when it has one to
// three words. The project name is the site's host word (without "www.",
// cut before its first "."), numbered from 1 when the upper-cased text of
// `projectNames` already holds it.
ProjectImport ImportSav(const std::string& bytes, const ProjectRecord& current,
                        const std::vector<CodePageString>& projectNames, const HostOfUrl& hostOf);
// A missing file imports as an empty one. The file is only read.
ProjectImport ImportSavFile(const CodePageString& fileName, const ProjectRecord& current,
                            const std::vector<CodePageString>& projectNames, const HostOfUrl& hostOf);

// The ".sav" import's project name rule alone, for a host.
CodePageString ProjectNameForHost(const CodePageString& host, const std::vector<CodePageString>& projectNames);
