// The engine catalog: every engine record of the engine files, the custom
// engines among them in the order their file is written, and whether that
// file was read whole at start, which decides whether it may be rewritten.
//
// The catalog shows nothing. The main window, which holds one, loads the
// records into it and shows them in its engine list; the custom engine
// wizard adds and removes custom engines through it. What changes is told
// through two views: View for the engine list (rows, counts, a refused
// rewrite) and NameView for a list of the custom engines' names.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "classlib/Strings.h"
#include "workbench/FormAnalysis.h"

class TStringList;

// The custom engine file, relative to the application folder.
inline constexpr const char* CustomEngineFileName = "\\data\\datac.czc";

class TEngineCatalog {
public:
    // What the engine list is told; each callback may be left empty.
    struct TView {
        // A custom engine's row goes at the end of the list: its name, its
        // submit page and its type.
        std::function<void(const CodePageString& name, const CodePageString& url, const CodePageString& type)>
            CustomRowAdded;
        // The row of the custom engine of this name (letter case ignored)
        // goes, if the list has one; told before every add, which replaces.
        std::function<void(const CodePageString& name)> CustomRowRemoved;
        // The checked rows may count differently now.
        std::function<void()> CountsChanged;
        // The custom engine file was not rewritten because it was not read
        // whole at start: the file, and what was therefore not done.
        std::function<void(const char* fileName, const char* notDone)> RewriteRefused;
    };
    // What a list of the custom engines' names is told, by place in CustomNames().
    struct TNameView {
        std::function<void(int place)> Added;    // at the end
        std::function<void(int place)> Renamed;  // the same engine, its name in another letter case
        std::function<void(int place)> Removed;
    };

    // What adding a custom engine came to.
    enum class TAddResult {
        Added,    // the record, its row and its file line are written
        BadName,  // the name is empty or holds "=", and cannot key a line
        Refused,  // the custom engine file may not be rewritten; RewriteRefused was told
    };

    TEngineCatalog();
    ~TEngineCatalog();
    TEngineCatalog(const TEngineCatalog&) = delete;
    TEngineCatalog& operator=(const TEngineCatalog&) = delete;

    TView View;
    TNameView NameView;
    // The application folder the custom engine file is in.
    CodePageString Folder;
    // Whether the custom engine file was read whole at start. A file that
    // was not is never rewritten from the records, which lack some of its own.
    bool CustomFileLoaded = false;

    // Every engine record of both engine files, sorted.
    TStringList& Records() { return *FRecords; }
    const TStringList& Records() const { return *FRecords; }

    // Takes the custom engines' names from the records, in the records'
    // order, as the names the custom engine file is written in; marker
    // records hold no engine and are left out. Once the records are loaded.
    void ListCustomEngines();
    // The custom engines by the names their records store, in the order of
    // the custom engine file.
    const std::vector<CodePageString>& CustomNames() const { return FCustomNames; }
    // The place of a name in CustomNames, letter case ignored; -1 when none.
    int CustomNameIndex(const CodePageString& name) const;

    // Every record's engine name, in the records' order.
    std::vector<CodePageString> EngineNames() const;
    // Whether a record holds this address as one of its fields, letter case ignored.
    bool HoldsAddress(const CodePageString& url) const;
    // The value part (after "name=") of the custom engine of this name,
    // letter case ignored; empty when there is none.
    CodePageString CustomRecordValue(const CodePageString& name) const;

    // Writes a custom engine under the name as its record stores it
    // (StoredEngineName): its record, its row and its name, then the custom
    // engine file. A custom engine of that name (letter case ignored) is
    // replaced; a database engine of that name stays. fields[efType] is
    // the engine's custom type.
    TAddResult AddCustomEngine(const CodePageString& typedName, const TEngineFields& fields);
    // Removes the custom engine at this place of CustomNames: its record,
    // its row and its name, then rewrites the custom engine file. False,
    // with nothing changed, when the file may not be rewritten or the place
    // is out of range.
    bool RemoveCustomEngine(int place);
    // Writes the custom engine file: for each name of CustomNames, the first
    // custom record of that name (letter case ignored), through a temporary
    // file and a rename.
    void SaveCustomEngineFile() const;

    // Whether the custom engine file may be rewritten; tells RewriteRefused
    // when not.
    bool MayRewriteCustomFile(const char* notDone) const;

private:
    std::unique_ptr<TStringList> FRecords;
    std::vector<CodePageString> FCustomNames;
};
