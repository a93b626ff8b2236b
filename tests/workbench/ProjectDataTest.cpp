#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "classlib/IniFiles.h"
#include "platform/Hooks.h"
#include "support/TempDir.h"
#include "workbench/ProjectData.h"

namespace {

namespace fs = std::filesystem;

class ProjectFiles : public ::testing::Test {
protected:
    void TearDown() override { ResetHooks(); }
    static void Write(const CodePageString& path, const std::string& bytes)
    {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string Read(const CodePageString& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // Every file under the application folder, relative to it.
    std::set<std::string> Files() const
    {
        std::set<std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(app))
            if (entry.is_regular_file())
                files.insert(fs::relative(entry.path(), app).string());
        return files;
    }
    TempDir tmp{"projects"};
    CodePageString app = tmp.Path();
};

ProjectRecord Sample()
{
    ProjectRecord r;
    r.SessionName = "Site";
    r.url = "http://www.example.com/";
    r.title = "Example";
    r.email = "ann@example.com";
    r.description = "All about it";
    r.catagory = "Internet";
    r.name = "Ann";
    r.last = "Lee";
    r.company = "Ex Co";
    r.address1 = "1 Road";
    r.address2 = "";
    r.country = "UK";
    r.city = "Town";
    r.state = "ST";
    r.phone = "01";
    r.fax = "02";
    r.zip = "Z1";
    r.key1 = "one,two";
    return r;
}

// The installation's empty project list.
const std::string SeedList = "[List]\r\n\r\n[Session]\r\nCount=0\r\n";

// A host splitter good enough for the tests: what lies between "://" and the next "/".
CodePageString TestHost(const CodePageString& url)
{
    const auto scheme = url.find("://");
    const auto start = scheme == CodePageString::npos ? 0 : scheme + 3;
    return url.substr(start, url.find('/', start) - start);
}

TEST(ProjectName, Check)
{
    struct Case {
        std::string name;
        std::optional<ProjectMessageId> refusal;
    };
    const Case cases[] = {
        {"list", ProjectMessageId::ReservedName},
        {"Session", ProjectMessageId::ReservedName},
        {"SESSION", ProjectMessageId::ReservedName},
        {"", ProjectMessageId::NoSessionName},
        {"a/b", ProjectMessageId::UnsafeName},
        {"a\\b", ProjectMessageId::UnsafeName},
        {".", ProjectMessageId::UnsafeName},
        {"..", ProjectMessageId::UnsafeName},
        {"a]b", ProjectMessageId::UnsafeName},
        {"\"quoted\"", ProjectMessageId::UnsafeName},
        {"a\tb", ProjectMessageId::UnsafeName},
        {"a\rb", ProjectMessageId::UnsafeName},
        {std::string("a\0b", 3), ProjectMessageId::UnsafeName},
        {"a\x7F", ProjectMessageId::UnsafeName},
        {"   ", ProjectMessageId::UnsafeName},
        {" lead", ProjectMessageId::UnsafeName},
        {"trail ", ProjectMessageId::UnsafeName},
        {"My Site", std::nullopt},
        {"list2", std::nullopt},
        {"a.b", std::nullopt},
        {"Site..Old", std::nullopt},
        {"...", std::nullopt},
        {".hidden", std::nullopt},
        {"say \"hi\"", std::nullopt},
        {"\"", std::nullopt},
        {"[x", std::nullopt},
        {"a=b", std::nullopt},
        {";x", std::nullopt},
        {"Caf\xE9", std::nullopt},
        {std::string(MaxProjectNameLength, 'n'), std::nullopt},
        {std::string(MaxProjectNameLength + 1, 'n'), ProjectMessageId::UnsafeName},
        {std::string(300, 'n'), ProjectMessageId::UnsafeName},
    };
    for (const Case& c : cases) {
        const auto refusal = ValidateProjectName(c.name);
        ASSERT_EQ(refusal.has_value(), c.refusal.has_value()) << c.name;
        if (refusal) {
            EXPECT_EQ(refusal->id, *c.refusal) << c.name;
        }
    }

    // Every name that passes comes back whole from the list and the project file.
    for (const Case& c : cases) {
        if (c.refusal)
            continue;
        EXPECT_EQ(ReadProjectListBytes(ProjectListBytes(SeedList, {c.name})), std::vector<CodePageString>{c.name})
            << c.name;
        ProjectRecord r = Sample();
        r.SessionName = c.name;
        EXPECT_EQ(ReadProjectBytes(ProjectFileBytes("", r), c.name), r) << c.name;
    }
}

// A project written over a file that has more in it: the bytes are those of
// its keys written one by one, whatever the name and the file hold.
TEST(ProjectBytes, RewriteGivesTheBytesOfWritingKeyByKey)
{
    const std::string files[] = {
        "",
        "[Site]\r\ntitle=old\r\nextra=kept\r\n\r\n[Other]\r\nurl=x\r\n",
        "; note\n[site]\nURL=old\nkey1=a\n[Site]\ntitle=second copy\n",
        "[x]\r\n",
    };
    for (const char* name : {"Site", "[x", ";x", "a=b", "say \"hi\""}) {
        ProjectRecord record = Sample();
        record.SessionName = name;
        record.description = "two\r\nlines";
        for (const std::string& existing : files) {
            std::string oneByOne = existing;
            for (const ProjectField& field : ProjectFileFields)
                oneByOne = IniWriteValue(oneByOne, record.SessionName, field.key, record.*field.member);
            EXPECT_EQ(ProjectFileBytes(existing, record), oneByOne) << name << " over " << existing;
        }
    }
}

TEST(ProjectName, MessageGoesThroughTheHook)
{
    std::vector<MessageBoxCall> calls;
    GetHooks().messageBox = [&](const MessageBoxCall& call) {
        calls.push_back(call);
        return IDNO;
    };
    EXPECT_EQ(ShowProjectMessage(ProjectMessageId::ModifySessionName), IDNO);
    ResetHooks();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].caption, "Modify Session Name");
    EXPECT_EQ(calls[0].text, "Session name already exists.\nDo you wish to modify it  ?");
    EXPECT_EQ(calls[0].flags, unsigned(MB_YESNO | MB_ICONQUESTION));
}

TEST_F(ProjectFiles, NewProjectFileAndListBytes)
{
    Write(ProjectListPath(app), SeedList);
    WriteProjectFile(app, Sample());
    EXPECT_EQ(Read(app + "/data/session/Site.zro"),
              "[Site]\r\nurl=http://www.example.com/\r\ntitle=Example\r\nemail=ann@example.com\r\n"
              "description=All about it\r\ncatagory=Internet\r\nname=Ann\r\nlast=Lee\r\ncompany=Ex Co\r\n"
              "address1=1 Road\r\naddress2=\r\ncountry=UK\r\ncity=Town\r\nstate=ST\r\nphone=01\r\nfax=02\r\n"
              "zip=Z1\r\nkey1=one,two\r\n");

    SaveProjectList(app, {"Alpha", "beta", "Site"});
    EXPECT_EQ(Read(ProjectListPath(app)),
              "[Session]\r\nCount=2\r\n\r\n[List]\r\n0=Alpha\r\n1=beta\r\n2=Site\r\n");
    SaveProjectList(app, {"Alpha"});
    EXPECT_EQ(Read(ProjectListPath(app)), "[Session]\r\nCount=0\r\n\r\n[List]\r\n0=Alpha\r\n");
    SaveProjectList(app, {});
    EXPECT_EQ(Read(ProjectListPath(app)), "[Session]\r\nCount=0\r\n\r\n");

    // Written through a temporary file that does not stay behind.
    EXPECT_EQ(Files(), (std::set<std::string>{"data/session/Site.zro", "data/session/session.zro"}));
}

TEST_F(ProjectFiles, NamesTheListCanNotShowStayInItOnEveryRewrite)
{
    const std::string older = "[List]\r\n0=Zeta\r\n1=../../wkt\r\n2=Site..Old\r\n3=list\r\n4=\r\n\r\n"
                              "[Session]\r\nCount=4\r\n";
    EXPECT_EQ(ReadProjectListBytes(older), (std::vector<CodePageString>{"Site..Old", "Zeta"}));

    // A save: the shown names in their order, then the refused ones (an empty value is no name).
    const std::string saved = ProjectListBytes(older, {"New", "Site..Old", "Zeta"});
    EXPECT_EQ(saved, "[Session]\r\nCount=4\r\n\r\n[List]\r\n0=New\r\n1=Site..Old\r\n2=Zeta\r\n"
                     "3=../../wkt\r\n4=list\r\n");
    EXPECT_EQ(ReadProjectListBytes(saved), (std::vector<CodePageString>{"New", "Site..Old", "Zeta"}));
    // Deletes, down to no shown project at all.
    EXPECT_EQ(ProjectListBytes(saved, {"Zeta"}),
              "[Session]\r\nCount=2\r\n\r\n[List]\r\n0=Zeta\r\n1=../../wkt\r\n2=list\r\n");
    EXPECT_EQ(ProjectListBytes(ProjectListBytes(saved, {}), {}),
              "[Session]\r\nCount=1\r\n\r\n[List]\r\n0=../../wkt\r\n1=list\r\n");
}

// A project file as the program has always written it, with the keyword
// keys of older versions and a section of someone else's.
const std::string OldProjectFile =
    "[Site]\r\nurl=http://old.example.com/\r\naddress2=Old street\r\nkey1=old\r\nkey2=two\r\nkey3=\r\n"
    "key16=sixteen\r\n\r\n[Other]\r\nx=1\r\n";

TEST_F(ProjectFiles, SavingOverAnOldFileKeepsItsOtherKeys)
{
    Write(ProjectFilePath(app, "Site"), OldProjectFile);
    ProjectRecord r;
    r.SessionName = "Site";
    r.url = "http://new.example.com/";
    r.title = "T";
    r.key1 = "k";
    WriteProjectFile(app, r);
    EXPECT_EQ(Read(ProjectFilePath(app, "Site")),
              "[Site]\r\nurl=http://new.example.com/\r\naddress2=\r\nkey1=k\r\nkey2=two\r\nkey3=\r\n"
              "key16=sixteen\r\ntitle=T\r\nemail=\r\ndescription=\r\ncatagory=\r\nname=\r\nlast=\r\n"
              "company=\r\naddress1=\r\ncountry=\r\ncity=\r\nstate=\r\nphone=\r\nfax=\r\nzip=\r\n\r\n"
              "[Other]\r\nx=1\r\n");
    EXPECT_EQ(LoadProjectFile(app, "Site"), r);
}

TEST_F(ProjectFiles, OldFilesLoad)
{
    Write(ProjectFilePath(app, "Site"), OldProjectFile);
    const ProjectRecord loaded = LoadProjectFile(app, "Site");
    EXPECT_EQ(loaded.url, "http://old.example.com/");
    EXPECT_EQ(loaded.address2, "Old street");
    EXPECT_EQ(loaded.key1, "old");  // the page holds key1 only
    EXPECT_EQ(loaded.title, "");

    EXPECT_EQ(LoadProjectFile(app, "Missing"), [] {
        ProjectRecord empty;
        empty.SessionName = "Missing";
        return empty;
    }());

    Write(ProjectListPath(app),
          "[Session]\r\nCount=5\r\n\r\n[List]\r\n0=zeta\r\n1=Alpha\r\n2=../outside\r\n4=gap before me\r\n5=beta\r\n");
    // Five keys, so entries 0 to 4 are read: key 3 is missing and
    // "../outside" is no project name; "beta" at key 5 is not reached.
    EXPECT_EQ(LoadProjectList(app), (std::vector<CodePageString>{"Alpha", "gap before me", "zeta"}));
    fs::remove(ProjectListPath(app));
    EXPECT_TRUE(LoadProjectList(app).empty());
}

// Reading each entry of the list parsed the whole file again, and so did
// writing each one: a list this long took hours both ways.
TEST_F(ProjectFiles, ALongListLoadsAndSaves)
{
    std::vector<CodePageString> names;
    for (int i = 0; i < 50000; ++i)
        names.push_back("Project " + std::to_string(100000 + i));
    SaveProjectList(app, names);
    const std::string bytes = Read(ProjectListPath(app));
    EXPECT_TRUE(bytes.starts_with("[Session]\r\nCount=49999\r\n\r\n[List]\r\n0=Project 100000\r\n"));
    EXPECT_TRUE(bytes.ends_with("\r\n49999=Project 149999\r\n"));
    EXPECT_EQ(LoadProjectList(app), names);
}

TEST_F(ProjectFiles, RefusedNamesTouchNoFile)
{
    Write(app + "/data/keep.zro", "[keep]\r\n");
    const auto before = Files();
    for (const char* name : {"../keep", "..", "a/b", "x]", "  ", "list"}) {
        ProjectRecord r = Sample();
        r.SessionName = name;
        EXPECT_THROW(WriteProjectFile(app, r), Exception) << name;
        EXPECT_FALSE(DeleteProjectFile(app, name)) << name;
        EXPECT_EQ(LoadProjectFile(app, name).url, "") << name;
    }
    EXPECT_EQ(Files(), before);

    WriteProjectFile(app, Sample());
    EXPECT_TRUE(DeleteProjectFile(app, "Site"));
    EXPECT_FALSE(DeleteProjectFile(app, "Site"));  // already gone
}

TEST(ProjectCounters, Keywords)
{
    struct Case {
        const char* text;
        int count;
    };
    for (const Case& c : {Case{"", 0}, Case{"one", 1}, Case{"a,b,c,d", 4}, Case{"a,b,,d", 4}, Case{",", 2}})
        EXPECT_EQ(KeywordCount(c.text), c.count) << c.text;
    EXPECT_EQ(CounterValue(ProjectCounters[0], std::string(61, 't')), 61);
    EXPECT_GT(61, ProjectCounters[0].limit);  // CLED2 turns red
}

// --- ".zro" import ------------------------------------------------------------------

TEST(ProjectImportZro, FirstSectionAndKeywords)
{
    struct Case {
        const char* what;
        std::string file;
        CodePageString keywords;
    };
    const Case cases[] = {
        {"key1 with more", "[S]\r\nkey1=a\r\nkey2=b\r\nkey3=\r\nkey4=d\r\nkey16=p\r\n", "a, b, d, p"},
        {"key1 empty", "[S]\r\nkey1=\r\nkey2=w\r\n", ", w"},
        {"keys of a later section are not read", "[S]\r\nkey1=a\r\n[T]\r\nkey2=b\r\n", "a"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ImportZro(c.file).record.key1, c.keywords) << c.what;

    const ProjectImport imported = ImportZro(OldProjectFile);
    ProjectRecord expected;
    expected.SessionName = "Site";
    expected.url = "http://old.example.com/";
    expected.address2 = "Old street";
    expected.key1 = "old, two, sixteen";
    EXPECT_EQ(imported.record, expected);
    EXPECT_FALSE(imported.refusedName);

    // Read by the INI rules: blanks around the value and its quotes go.
    EXPECT_EQ(ImportZro("[First one]\r\ntitle = \"Quoted\" \r\n[Site]\r\n").record.title, "Quoted");
    EXPECT_EQ(ImportZro("[First one]\r\n").record.SessionName, "First one");
}

TEST(ProjectImportZro, UnsafeSectionNameAndNoSection)
{
    const ProjectImport imported = ImportZro("[../../evil]\r\nurl=http://example.com/\r\n");
    EXPECT_EQ(imported.record.SessionName, "");
    EXPECT_EQ(imported.record.url, "http://example.com/");
    ASSERT_TRUE(imported.refusedName);
    EXPECT_EQ(imported.refusedName->id, ProjectMessageId::UnsafeName);
    // Dots inside a name are no way out of the folder.
    const ProjectImport dotted = ImportZro("[Site..Old]\r\nurl=http://old.example.com/\r\n");
    EXPECT_EQ(dotted.record.SessionName, "Site..Old");
    EXPECT_FALSE(dotted.refusedName);

    for (const std::string& file : {std::string(), std::string("key=value\r\n; only a comment\r\n")}) {
        try {
            ImportZro(file);
            ADD_FAILURE() << "no error for " << file;
        } catch (const EListError& e) {
            EXPECT_EQ(e.Message, "List index out of bounds (0)");
        }
    }
    EXPECT_THROW(ImportZroFile("/nonexistent/x.zro"), EListError);
}

// --- ".sav" import ------------------------------------------------------------------

ProjectRecord PageBefore()
{
    ProjectRecord r = Sample();
    r.SessionName = "Before";
    r.name = "OldFirst";
    r.last = "OldLast";
    return r;
}

TEST_F(ProjectFiles, SavFixtureFillsThePage)
{
    const std::string longTitle(300, 'T');
    const std::string sav = std::string("written by the other program\r\n") +
                            "[MAILTO]\r\nann@example.org\r\n"
                            "[DESCRIP]\r\nA site\r\n about things\r\n"
                            "[url]\r\nhttp://www.exam\r\nple.com/index.htm\r\n"
                            "[KEY0]\r\none,two\r\n"
                            "[DESC]\r\n" + longTitle + "\r\n" +
                            std::string("[COMPANY]\r\nEx\0Co\r\n", 18) +
                            "[Submitter]\r\nAnn Marie Lee\r\n"
                            "[TEL]\r\n123\r\n"
                            "[URL]\r\nhttp://second.example.net/\r\n";
    const CodePageString path = app + "/in.sav";
    Write(path, sav);

    const ProjectImport imported = ImportSavFile(path, PageBefore(), {"Example", "myEXAMPLE1"}, TestHost);

    ProjectRecord expected = PageBefore();  // the category stays
    expected.SessionName = "example2";
    expected.email = "ann@example.org";
    expected.description = "A site about things";
    expected.url = "http://www.example.com/index.htm";
    expected.key1 = "one,two";
    expected.title = longTitle.substr(0, 255);
    expected.company = "ExCo";
    expected.address1 = expected.address2 = expected.city = expected.state = "";
    expected.zip = expected.country = expected.fax = "";
    expected.phone = "123";
    expected.name = "Ann";
    expected.last = "Lee";
    EXPECT_EQ(imported.record, expected);
    EXPECT_FALSE(imported.refusedName);
    EXPECT_EQ(Read(path), sav);  // only read
    EXPECT_EQ(Files(), std::set<std::string>{"in.sav"});

    // A missing file empties the single fields and the name, and keeps the names.
    const ProjectImport missing = ImportSavFile(app + "/none.sav", PageBefore(), {}, TestHost);
    EXPECT_EQ(missing.record.SessionName, "");
    EXPECT_EQ(missing.record.url, "");
    EXPECT_EQ(missing.record.email, "");
    EXPECT_EQ(missing.record.name, "OldFirst");
    EXPECT_EQ(missing.record.last, "OldLast");
    EXPECT_EQ(missing.record.catagory, "Internet");
}

TEST(ProjectImportSav, Submitter)
{
    struct Case {
        const char* submitter;
        const char* first;
        const char* last;
    };
    const Case cases[] = {
        {"", "OldFirst", "OldLast"},
        {"Ann", "Ann", "OldLast"},
        {"Ann ", "Ann", "OldLast"},
        {"Ann Lee", "Ann", "Lee"},
        {"Ann Marie Lee", "Ann", "Lee"},
        {"Ann  Lee", "Ann", "Lee"},  // two blanks: an empty middle word
        {" Ann", "", "Ann"},
        {"Ann Marie Jo Lee", "OldFirst", "OldLast"},
    };
    for (const Case& c : cases) {
        const std::string sav = std::string("[Submitter]\r\n") + c.submitter + "\r\n";
        const ProjectRecord r = ImportSav(sav, PageBefore(), {}, TestHost).record;
        EXPECT_EQ(r.name, c.first) << '"' << c.submitter << '"';
        EXPECT_EQ(r.last, c.last) << '"' << c.submitter << '"';
    }
}

TEST(ProjectImportSav, ProjectNameFromHost)
{
    struct Case {
        const char* host;
        std::vector<CodePageString> list;
        const char* name;
    };
    const Case cases[] = {
        {"www.example.com", {}, "example"},
        {"www.example.com", {"EXAMPLE"}, "example1"},
        {"www.example.com", {"Example", "example1"}, "example2"},
        {"www.example.com", {"my-example-site"}, "example1"},  // a substring is taken
        {"www.example.com", {"Example", "example1", "example2", "example3", "example4", "example5", "example6",
                             "example7", "example8", "example9"},
         "example10"},
        {"www.www.example.com", {}, "example"},
        {"WWW.example.com", {}, "WWW"},  // "www." goes only in lower case
        {"localhost", {"local"}, "localhost"},
        {"", {"anything"}, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProjectNameForHost(c.host, c.list), c.name) << c.host;

    // A host word that is no project name is refused, not used.
    struct Refused {
        const char* url;
        ProjectMessageId id;
    };
    for (const Refused& c : {Refused{"http://[::1]/", ProjectMessageId::UnsafeName},
                             Refused{"http://a\\b/", ProjectMessageId::UnsafeName},
                             Refused{"http://list.example.com/", ProjectMessageId::ReservedName}}) {
        const ProjectImport imported = ImportSav(std::string("[URL]\r\n") + c.url + "\r\n", PageBefore(), {}, TestHost);
        EXPECT_EQ(imported.record.url, c.url);
        EXPECT_EQ(imported.record.SessionName, "") << c.url;
        ASSERT_TRUE(imported.refusedName) << c.url;
        EXPECT_EQ(imported.refusedName->id, c.id) << c.url;
    }
}

}  // namespace
