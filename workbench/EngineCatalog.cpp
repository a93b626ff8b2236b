#include "workbench/EngineCatalog.h"

#include "classlib/Classes.h"
#include "classlib/Files.h"
#include "workbench/EngineData.h"

namespace {

// The index of the first custom record named name, letter case ignored; -1
// when none. A database engine may have the same name and is never taken.
int FindCustomLine(const TStringList& list, const CodePageString& name)
{
    for (int i = 0; i < list.Count(); ++i) {
        const EngineLineView engine = ViewEngineLine(list.StringRef(i));
        if (engine.type.rfind("Custom->", 0) == 0 && SameText(engine.name, name))
            return i;
    }
    return -1;
}

}  // namespace

TEngineCatalog::TEngineCatalog() : FRecords(std::make_unique<TStringList>())
{
    FRecords->SetSorted(true);
}

TEngineCatalog::~TEngineCatalog() = default;

void TEngineCatalog::ListCustomEngines()
{
    FCustomNames.clear();
    // Without a copy of each line: the records may be a hundred thousand.
    for (int i = 0; i < FRecords->Count(); ++i) {
        const EngineLineView engine = ViewEngineLine(FRecords->StringRef(i));
        if (!IsMarkerEngine(engine.name) && engine.type.find("Custom") != std::string_view::npos)
            FCustomNames.emplace_back(engine.name);
    }
}

int TEngineCatalog::CustomNameIndex(const CodePageString& name) const
{
    for (std::size_t i = 0; i < FCustomNames.size(); ++i)
        if (SameText(FCustomNames[i], name))
            return int(i);
    return -1;
}

std::vector<CodePageString> TEngineCatalog::EngineNames() const
{
    std::vector<CodePageString> names;
    names.reserve(std::size_t(FRecords->Count()));
    for (int i = 0; i < FRecords->Count(); ++i)
        names.push_back(SplitEngineLine(FRecords->StringRef(i)).name);
    return names;
}

bool TEngineCatalog::HoldsAddress(const CodePageString& url) const
{
    const CodePageString field = LowerCase("|" + url + "|");
    for (int i = 0; i < FRecords->Count(); ++i)
        if (LowerCase(FRecords->StringRef(i)).find(field) != CodePageString::npos)
            return true;
    return false;
}

CodePageString TEngineCatalog::CustomRecordValue(const CodePageString& name) const
{
    const int line = FindCustomLine(*FRecords, name);
    if (line < 0)
        return CodePageString();
    const CodePageString& text = FRecords->StringRef(line);
    return text.substr(text.find('=') + 1);
}

bool TEngineCatalog::MayRewriteCustomFile(const char* notDone) const
{
    if (CustomFileLoaded)
        return true;
    if (View.RewriteRefused)
        View.RewriteRefused(CustomEngineFileName, notDone);
    return false;
}

TEngineCatalog::TAddResult TEngineCatalog::AddCustomEngine(const CodePageString& typedName,
                                                           const TEngineFields& fields)
{
    // The name is the key of the record's line: it cannot be empty or hold "=".
    const CodePageString stored = StoredEngineName(typedName);
    if (stored.empty() || stored.find('=') != CodePageString::npos)
        return TAddResult::BadName;
    // A custom engine file that could not be read holds records the catalog
    // never saw; rewriting it from the catalog would lose those records.
    if (!MayRewriteCustomFile("the engine was not added"))
        return TAddResult::Refused;

    const CodePageString line = CustomEngineLine(stored, fields);
    FRecords->SetSorted(true);
    // Writing an engine again under its name replaces it, record and row,
    // whatever the letter case.
    if (const int old = FindCustomLine(*FRecords, stored); old >= 0)
        FRecords->Delete(old);
    if (View.CustomRowRemoved)
        View.CustomRowRemoved(stored);
    if (View.CustomRowAdded)
        View.CustomRowAdded(stored, fields[efSubmitPage], fields[efType]);
    FRecords->Add(line);

    // A name that differs only in letter case takes the engine's new spelling.
    if (const int place = CustomNameIndex(stored); place < 0) {
        FCustomNames.push_back(stored);
        if (NameView.Added)
            NameView.Added(int(FCustomNames.size()) - 1);
    } else if (FCustomNames[std::size_t(place)] != stored) {
        FCustomNames[std::size_t(place)] = stored;
        if (NameView.Renamed)
            NameView.Renamed(place);
    }
    SaveCustomEngineFile();
    return TAddResult::Added;
}

bool TEngineCatalog::RemoveCustomEngine(int place)
{
    if (place < 0 || place >= int(FCustomNames.size()))
        return false;
    if (!MayRewriteCustomFile("nothing was deleted"))
        return false;

    const CodePageString name = FCustomNames[std::size_t(place)];
    if (const int line = FindCustomLine(*FRecords, name); line >= 0)
        FRecords->Delete(line);
    FRecords->SetSorted(true);
    if (View.CustomRowRemoved)
        View.CustomRowRemoved(name);

    FCustomNames.erase(FCustomNames.begin() + place);
    if (NameView.Removed)
        NameView.Removed(place);
    SaveCustomEngineFile();
    if (View.CountsChanged)
        View.CountsChanged();
    return true;
}

void TEngineCatalog::SaveCustomEngineFile() const
{
    TStringList lines;
    for (const CodePageString& name : FCustomNames) {
        const int line = FindCustomLine(*FRecords, name);
        if (line >= 0)
            lines.Add(FRecords->Strings(line));
    }
    SaveScrambledStrings(lines, AppPath(Folder, CustomEngineFileName), EngineCipherStart);
}
