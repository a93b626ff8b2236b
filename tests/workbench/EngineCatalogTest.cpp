// The engine catalog without a window: custom engines added, replaced and
// removed, the custom engine file it writes read back by a second catalog,
// the rewrites it refuses, and what it tells the engine list and a list of
// the custom engines' names.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "MainFixture.h"
#include "classlib/Classes.h"
#include "classlib/Files.h"
#include "support/TempDir.h"
#include "workbench/EngineCatalog.h"
#include "workbench/EngineData.h"

namespace {

// A custom record of this name, type and submit page.
std::string CustomRecord(const std::string& name, const std::string& type, const std::string& page)
{
    TEngineFields fields;
    fields[efType] = type;
    fields[efSubmitPage] = page;
    fields[efFormAction] = page + "/go";
    return CustomEngineLine(name, fields);
}

const std::string Harbor = CustomRecord("Harbor", "Custom->Engine", "http://harbor.example.net/add");
const std::string Cedar = CustomRecord("Cedar", "Custom->FFA", "http://cedar.example.net/add");
const std::string Zeta = CustomRecord("Zeta", "Custom->Classified", "http://zeta.example.net/add");
// A database engine named like a custom one.
const std::string DatabaseCedar = "Cedar=Classified|http://cedar.example.org/|http://cedar.example.org/go|";
const std::string DatabaseBlue = "Blue=Engine|http://blue.example.org/|http://blue.example.org/go|";
const std::string Marker = std::string(MarkerEngineName) + "=Custom->Engine|x|y|z|";

// The fields the wizard hands over for a custom engine.
TEngineFields Fields(const std::string& type, const std::string& page)
{
    TEngineFields fields;
    fields[efType] = type;
    fields[efSubmitPage] = page;
    fields[efFormAction] = page + "/go";
    return fields;
}

// A catalog on an installation folder of its own: the database records
// given, the custom engine file written from its records and read back into
// the catalog the way the main window reads it, and everything the catalog
// tells its two views written down in order.
struct TCatalogOnDisk {
    TempDir folder;
    TEngineCatalog catalog;
    std::vector<std::string> told;

    TCatalogOnDisk(const std::vector<std::string>& database, const std::optional<std::vector<std::string>>& custom,
                   bool customLoaded)
    {
        catalog.Folder = folder.Path();
        folder.Write("data/data.czc", ScrambledEngineFile(database));
        if (custom)
            folder.Write("data/datac.czc", ScrambledEngineFile(*custom));
        for (const std::string& record : database)
            catalog.Records().Add(record);
        if (custom) {
            TStringList read;
            LoadEngineRecords(CustomFile(), read, EngineCipherStart);
            catalog.Records().AddStrings(read);
        }
        catalog.CustomFileLoaded = customLoaded;
        catalog.ListCustomEngines();

        TEngineCatalog::TView& view = catalog.View;
        view.CustomRowAdded = [this](const CodePageString& name, const CodePageString& url,
                                     const CodePageString& type) {
            told.push_back("row+ " + name + " " + url + " " + type);
        };
        view.CustomRowRemoved = [this](const CodePageString& name) { told.push_back("row- " + name); };
        view.CountsChanged = [this] { told.push_back("count"); };
        view.RewriteRefused = [this](const char* fileName, const char* notDone) {
            told.push_back(std::string("refused ") + fileName + ": " + notDone);
        };
        TEngineCatalog::TNameView& names = catalog.NameView;
        names.Added = [this](int place) { told.push_back("name+ " + NameAt(place)); };
        names.Renamed = [this](int place) { told.push_back("name~ " + NameAt(place)); };
        names.Removed = [this](int place) { told.push_back("name- " + std::to_string(place)); };
    }

    std::string CustomFile() const { return folder.File("data/datac.czc"); }
    std::string NameAt(int place) const { return catalog.CustomNames().at(std::size_t(place)); }
};

std::vector<std::string> Names(const TEngineCatalog& catalog)
{
    return {catalog.CustomNames().begin(), catalog.CustomNames().end()};
}

struct TCatalogCase {
    const char* what;
    std::vector<std::string> database;
    std::optional<std::vector<std::string>> custom;  // the custom engine file; none when absent
    bool customLoaded;
    // What is done to the catalog, and what it answered.
    std::function<std::string(TEngineCatalog&)> act;
    std::string answer;
    std::vector<std::string> told;
    std::vector<std::string> names;  // CustomNames afterwards
    // The custom engine file afterwards; none when it must keep its bytes.
    std::optional<std::vector<std::string>> file;
};

std::string AddResultName(TEngineCatalog::TAddResult result)
{
    switch (result) {
    case TEngineCatalog::TAddResult::Added:
        return "added";
    case TEngineCatalog::TAddResult::BadName:
        return "bad name";
    case TEngineCatalog::TAddResult::Refused:
        return "refused";
    }
    return "?";
}

std::function<std::string(TEngineCatalog&)> Add(const std::string& name, const std::string& type,
                                                const std::string& page)
{
    return [=](TEngineCatalog& catalog) { return AddResultName(catalog.AddCustomEngine(name, Fields(type, page))); };
}

std::function<std::string(TEngineCatalog&)> Remove(int place)
{
    return [=](TEngineCatalog& catalog) { return std::string(catalog.RemoveCustomEngine(place) ? "removed" : "kept"); };
}

const std::string MyLinks = CustomEngineLine("My+Links", Fields("Custom->Engine", "http://links.example.net/add"));
const std::string NewHarbor = CustomEngineLine("harbor", Fields("Custom->FFA", "http://harbor.example.net/new"));
const std::string CustomCedar = CustomEngineLine("Cedar", Fields("Custom->Engine", "http://cedar.example.net/add"));

const TCatalogCase CatalogCases[] = {
    {"a new engine is added after the file's own, under its stored name",
     {DatabaseBlue},
     std::vector<std::string>{Harbor},
     true,
     Add("My Links", "Custom->Engine", "http://links.example.net/add"),
     "added",
     {"row- My+Links", "row+ My+Links http://links.example.net/add Custom->Engine", "name+ My+Links"},
     {"Harbor", "My+Links"},
     std::vector<std::string>{Harbor, MyLinks}},
    {"an engine of the same name in another letter case is replaced in its place",
     {},
     std::vector<std::string>{Harbor, Zeta},
     true,
     Add("harbor", "Custom->FFA", "http://harbor.example.net/new"),
     "added",
     {"row- harbor", "row+ harbor http://harbor.example.net/new Custom->FFA", "name~ harbor"},
     {"harbor", "Zeta"},
     std::vector<std::string>{NewHarbor, Zeta}},
    {"a database engine of the same name stays out of the custom file",
     {DatabaseCedar},
     std::vector<std::string>{},
     true,
     Add("Cedar", "Custom->Engine", "http://cedar.example.net/add"),
     "added",
     {"row- Cedar", "row+ Cedar http://cedar.example.net/add Custom->Engine", "name+ Cedar"},
     {"Cedar"},
     std::vector<std::string>{CustomCedar}},
    {"the first engine goes into a custom file that was not there",
     {},
     std::nullopt,
     true,
     Add("My Links", "Custom->Engine", "http://links.example.net/add"),
     "added",
     {"row- My+Links", "row+ My+Links http://links.example.net/add Custom->Engine", "name+ My+Links"},
     {"My+Links"},
     std::vector<std::string>{MyLinks}},
    {"a removed engine leaves the file and the counts are asked again",
     {DatabaseBlue},
     std::vector<std::string>{Cedar, Harbor},
     true,
     Remove(0),
     "removed",
     {"row- Cedar", "name- 0", "count"},
     {"Harbor"},
     std::vector<std::string>{Harbor}},
    {"removing the custom engine named like a database engine keeps the database's",
     {DatabaseCedar},
     std::vector<std::string>{Cedar},
     true,
     Remove(0),
     "removed",
     {"row- Cedar", "name- 0", "count"},
     {},
     std::vector<std::string>{}},
    {"a place beyond the names removes nothing",
     {},
     std::vector<std::string>{Harbor},
     true,
     Remove(1),
     "kept",
     {},
     {"Harbor"},
     std::nullopt},
    {"a file that was not read whole is not rewritten to add",
     {},
     std::vector<std::string>{Harbor},
     false,
     Add("My Links", "Custom->Engine", "http://links.example.net/add"),
     "refused",
     {"refused \\data\\datac.czc: the engine was not added"},
     {"Harbor"},
     std::nullopt},
    {"a file that was not read whole is not rewritten to remove",
     {},
     std::vector<std::string>{Harbor},
     false,
     Remove(0),
     "kept",
     {"refused \\data\\datac.czc: nothing was deleted"},
     {"Harbor"},
     std::nullopt},
    {"a name with \"=\" cannot key a line, and is refused before the file is looked at",
     {},
     std::vector<std::string>{Harbor},
     false,
     Add("a=b", "Custom->Engine", "http://links.example.net/add"),
     "bad name",
     {},
     {"Harbor"},
     std::nullopt},
    {"an empty name is refused",
     {},
     std::vector<std::string>{Harbor},
     true,
     Add("", "Custom->Engine", "http://links.example.net/add"),
     "bad name",
     {},
     {"Harbor"},
     std::nullopt},
};

}  // namespace

TEST(EngineCatalog, AddsReplacesAndRemovesCustomEnginesAndWritesTheirFile)
{
    for (const TCatalogCase& c : CatalogCases) {
        SCOPED_TRACE(c.what);
        TCatalogOnDisk disk(c.database, c.custom, c.customLoaded);
        const std::string bytesBefore = c.custom ? ReadFileBytes(disk.CustomFile()) : std::string();

        EXPECT_EQ(c.act(disk.catalog), c.answer);
        EXPECT_EQ(disk.told, c.told);
        EXPECT_EQ(Names(disk.catalog), c.names);
        // The database records stay whatever was done to the custom ones.
        for (const std::string& record : c.database)
            EXPECT_GE(disk.catalog.Records().IndexOf(record), 0) << record;

        if (!c.file) {
            if (c.custom)
                EXPECT_EQ(ReadFileBytes(disk.CustomFile()), bytesBefore);
            else
                EXPECT_FALSE(FileExists(disk.CustomFile()));
            continue;
        }
        EXPECT_EQ(EngineFileLines(disk.CustomFile()), *c.file);
        // Read back as at the next start, the file gives the same engines.
        TCatalogOnDisk again({}, std::nullopt, true);
        TStringList read;
        LoadEngineRecords(disk.CustomFile(), read, EngineCipherStart);
        again.catalog.Records().AddStrings(read);
        again.catalog.ListCustomEngines();
        std::vector<std::string> sorted = c.names;
        std::sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) {
            return CompareText(a, b) < 0;
        });
        EXPECT_EQ(Names(again.catalog), sorted);
        for (const std::string& record : *c.file)
            EXPECT_GE(disk.catalog.Records().IndexOf(record), 0) << record;
    }
}

// The custom engines are listed in the records' (sorted) order, and only
// records of a custom type hold one; the marker record holds none.
TEST(EngineCatalog, ListsTheCustomEnginesOfTheRecords)
{
    TCatalogOnDisk disk({DatabaseBlue, DatabaseCedar, Marker}, std::vector<std::string>{Zeta, Harbor, Cedar}, true);
    EXPECT_EQ(Names(disk.catalog), (std::vector<std::string>{"Cedar", "Harbor", "Zeta"}));
    EXPECT_EQ(disk.catalog.CustomNameIndex("HARBOR"), 1);
    EXPECT_EQ(disk.catalog.CustomNameIndex("Blue"), -1);
}

// What the wizard asks before it fetches and when it loads a custom engine.
TEST(EngineCatalog, AnswersWhatTheWizardLooksUp)
{
    TCatalogOnDisk disk({DatabaseBlue, DatabaseCedar}, std::vector<std::string>{Cedar}, true);
    const TEngineCatalog& catalog = disk.catalog;

    struct TAddress {
        const char* url;
        bool held;
    };
    const TAddress addresses[] = {
        {"http://blue.example.org/", true},  // a database engine's, as it is stored
        {"HTTP://Cedar.Example.NET/add", true},  // a custom engine's, in other letter case
        {"http://blue.example.org", false},  // a whole field only
        {"blue.example.org/", false},
    };
    for (const TAddress& a : addresses) {
        SCOPED_TRACE(a.url);
        EXPECT_EQ(catalog.HoldsAddress(a.url), a.held);
    }

    // The custom Cedar's value, never the database Cedar's.
    EXPECT_EQ(catalog.CustomRecordValue("cedar"), Cedar.substr(Cedar.find('=') + 1));
    EXPECT_EQ(catalog.CustomRecordValue("Blue"), "");
    EXPECT_EQ(catalog.EngineNames(), (std::vector<CodePageString>{"Blue", "Cedar", "Cedar"}));
}
