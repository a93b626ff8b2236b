// The engine database: the stream cipher of its files, the record format and
// the type-filter and count rules of the engine list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "classlib/Classes.h"

// Start value of the key register for every scrambled file of the program.
constexpr std::uint16_t EngineCipherStart = 7316;

// Name of the marker records: kept in the engine list, never shown or submitted.
inline constexpr const char* MarkerEngineName = "TARVEN";

// Byte stream cipher with one 16-bit key register. The key step always takes
// the scrambled byte, whichever way the text goes.
class TStreamCipher {
public:
    explicit TStreamCipher(std::uint16_t start) : FKey(start) {}
    unsigned char Unscramble(unsigned char scrambled)
    {
        const auto plain = static_cast<unsigned char>(scrambled ^ (FKey >> 8));
        Step(scrambled);
        return plain;
    }
    unsigned char Scramble(unsigned char plain)
    {
        const auto scrambled = static_cast<unsigned char>(plain ^ (FKey >> 8));
        Step(scrambled);
        return scrambled;
    }
    // Unscrambles size bytes in place, as many calls of Unscramble would.
    // A large block is cut into pieces whose keys are worked out first, so
    // that the pieces go through the cipher side by side instead of each
    // byte waiting for the key of the one before it.
    void UnscrambleBlock(char* data, std::size_t size);

private:
    static constexpr std::uint16_t KeyFactor = 8642;
    static constexpr std::uint16_t KeyOffset = 38651;
    void Step(unsigned char scrambled)
    {
        FKey = static_cast<std::uint16_t>(static_cast<std::uint16_t>(FKey + scrambled) * unsigned{KeyFactor} +
                                          unsigned{KeyOffset});
    }
    std::uint16_t FKey;
};

// Both work in place on the bytes they are given, so a large file is held once.
std::string UnscrambleBytes(std::string scrambled, std::uint16_t start);
std::string ScrambleBytes(std::string plain, std::uint16_t start);

// Reads a scrambled file into the list (the list's own text load, so a sorted
// list keeps its order and drops repeated lines). Throws EFOpenError.
void LoadScrambledStrings(const CodePageString& fileName, TStrings& list, std::uint16_t start);
// Writes the list's text (CR LF after every line) scrambled, through a
// temporary file and a rename. An empty list writes an empty file. Throws EFCreateError.
void SaveScrambledStrings(TStrings& list, const CodePageString& fileName, std::uint16_t start);
// Scrambles the bytes of source into target (which may be the same file).
void ScrambleFile(const CodePageString& source, const CodePageString& target, std::uint16_t start);

// Reads a scrambled engine file into the list like LoadScrambledStrings, but
// only its engine records (IsEngineRecord); empty lines go silently. Returns
// how many other lines were left out. Throws EFOpenError.
std::size_t LoadEngineRecords(const CodePageString& fileName, TStrings& list, std::uint16_t start);
// Removes from a scrambled engine file every line equal to the record
// (ignoring case, as the engine list holds such lines once); every other line
// keeps its bytes. Writes nothing when no line matched. Throws EFOpenError
// and EFCreateError.
void DeleteEngineRecordFromFile(const CodePageString& fileName, const CodePageString& record, std::uint16_t start);

// The text without the lines for which drop(index, line) holds; every other
// line keeps its bytes and its line end. Lines are split as the string lists
// and the list view read them: CR LF, LF or CR, and a line end at the very
// end starts no empty line.
std::string RemoveTextLines(std::string_view text,
                            const std::function<bool(std::size_t index, std::string_view line)>& drop);

// --- records ----------------------------------------------------------------

constexpr int EngineFieldCount = 38;

// Field numbers of an engine record (after "name=").
enum EngineField : int {
    efType = 1,
    efSubmitPage = 2,
    efFormAction = 3,
    efTitle = 4,
    efUrl = 5,
    efEmail = 6,
    efDescription = 7,
    efCategory = 8,
    efCategoryType = 9,
    efName = 10,
    efExtra = 11,
    efLastName = 12,
    efCompany = 13,
    efAddress1 = 14,
    efAddress2 = 15,
    efCity = 16,
    efState = 17,
    efZip = 18,
    efPhone = 19,
    efFax = 20,
    efMethod = 21,
    efKeywords = 22,
    efCountry = 38,
};

// What a list row shows of one record line: the name (text before the first
// "="), field 1 (type) and field 2 (submit page).
struct EngineLine {
    CodePageString name;
    CodePageString type;
    CodePageString url;
};
EngineLine SplitEngineLine(const CodePageString& line);
// The same parts as views into the line, for loops over many records.
struct EngineLineView {
    std::string_view name;
    std::string_view type;
    std::string_view url;
};
EngineLineView ViewEngineLine(std::string_view line);

// Field n (from 1) of a record's value part (the text after "="), each field
// ended by "|"; empty when the record has fewer fields.
CodePageString EngineRecordField(const CodePageString& value, int field);
std::string_view EngineRecordFieldView(std::string_view value, int field);

// Fields a line must hold to be taken for an engine record: the type, the
// submit page and the form action, each ended by "|". Records of the
// installation hold 38; a shorter one still shows and submits.
constexpr int MinEngineRecordFields = 3;
// A name, "=", and at least MinEngineRecordFields fields, each ended by "|"
// (so the line ends with "|"; blanks after it aside).
bool IsEngineRecord(std::string_view line);

bool IsMarkerEngine(std::string_view name);
bool IsCustomType(const CodePageString& type);  // begins with "Custom->"

// --- type filter and count ------------------------------------------------------

// Who asked for a filter pass: one of the five type check boxes, or the main
// window at start-up, which applies every rule.
enum class TypeFilterSender { MainWindow, SearchEngines, Classifieds, FFA, BatchSites, CustomEngines };

// The five type check boxes; the defaults are their state at start.
struct TypeChecks {
    bool searchEngines = false;  // BitCheckBox4 "Search Engines"
    bool classifieds = true;     // BitCheckBox5 "Classifieds"
    bool ffa = true;             // BitCheckBox6 "FFA/Classifieds"
    bool batchSites = true;      // BitCheckBox7 "Batch Sites"
    bool custom = false;         // CustomCk "Custom Engines"
};

// A row's type and its check mark.
struct EngineRowState {
    CodePageString type;
    bool checked = false;
};

// Sites one row stands for: the number after "->" of a batch type (0 for a
// batch of no sites), else 1. A batch count that is not a decimal number of 0
// or more counts as one site and sets error to the conversion error's message.
long long SitesOfType(const CodePageString& type, std::optional<CodePageString>& error);

// One row of a filter pass: the row's new check mark and the sites it adds.
struct FilteredRow {
    bool checked = false;
    long long sites = 0;
};
FilteredRow FilterEngineRow(const EngineRowState& row, TypeFilterSender sender, const TypeChecks& checks,
                            std::optional<CodePageString>& error);

// A whole pass. error holds the first malformed batch count's message, to be
// shown once for the pass.
struct EngineCountResult {
    long long total = 0;
    std::optional<CodePageString> error;
};
EngineCountResult FilterEngineRows(std::vector<EngineRowState>& rows, TypeFilterSender sender,
                                   const TypeChecks& checks);
EngineCountResult CountEngineRows(const std::vector<EngineRowState>& rows);
