#include "workbench/EngineData.h"

#include <algorithm>

#include "controls/ElvUtil.h"

namespace {

template <typename Transform>
std::string PassBytes(std::string bytes, Transform transform)
{
    for (char& c : bytes)
        c = static_cast<char>(transform(static_cast<unsigned char>(c)));
    return bytes;
}

}  // namespace

std::string UnscrambleBytes(std::string scrambled, std::uint16_t start)
{
    TStreamCipher cipher(start);
    return PassBytes(std::move(scrambled), [&](unsigned char c) { return cipher.Unscramble(c); });
}

std::string ScrambleBytes(std::string plain, std::uint16_t start)
{
    TStreamCipher cipher(start);
    return PassBytes(std::move(plain), [&](unsigned char c) { return cipher.Scramble(c); });
}

void LoadScrambledStrings(const AnsiString& fileName, TStrings& list, std::uint16_t start)
{
    // The scrambled bytes become the text in place; only the list's lines are added on top.
    const std::string text = UnscrambleBytes(ReadFileBytes(fileName), start);
    list.SetText(text);
}

void SaveScrambledStrings(TStrings& list, const AnsiString& fileName, std::uint16_t start)
{
    WriteFileAtomic(fileName, ScrambleBytes(list.Text(), start));
}

void ScrambleFile(const AnsiString& source, const AnsiString& target, std::uint16_t start)
{
    WriteFileAtomic(target, ScrambleBytes(ReadFileBytes(source), start));
}

namespace {

// Calls each(line, lineWithEnd) for every line of the text, in order, with
// the lines split as the list view's file reader splits them: the bytes
// between one line and the next are the first one's line end.
template <typename Each>
void ForEachTextLine(std::string_view text, Each each)
{
    const std::vector<std::string_view> lines = SplitTextLines(text);
    const char* const end = text.data() + text.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const char* const next = i + 1 < lines.size() ? lines[i + 1].data() : end;
        each(lines[i], std::string_view(lines[i].data(), static_cast<std::size_t>(next - lines[i].data())));
    }
}

}  // namespace

std::string RemoveTextLines(std::string_view text,
                            const std::function<bool(std::size_t index, std::string_view line)>& drop)
{
    std::string kept;
    kept.reserve(text.size());
    std::size_t index = 0;
    ForEachTextLine(text, [&](std::string_view line, std::string_view withEnd) {
        if (!drop(index++, line))
            kept.append(withEnd);
    });
    return kept;
}

bool IsEngineRecord(std::string_view line)
{
    const auto eq = line.find('=');
    if (eq == std::string_view::npos || eq == 0)
        return false;
    // Every field is ended by "|", the last one too; blanks after it are
    // forgiven, as a hand-edited file may have them.
    const auto last = line.find_last_not_of(" \t");
    if (last == std::string_view::npos || last <= eq || line[last] != '|')
        return false;
    int fields = 0;
    for (std::size_t i = eq + 1; i <= last && fields < MinEngineRecordFields; ++i)
        fields += line[i] == '|';
    return fields >= MinEngineRecordFields;
}

std::size_t LoadEngineRecords(const AnsiString& fileName, TStrings& list, std::uint16_t start)
{
    std::string text = UnscrambleBytes(ReadFileBytes(fileName), start);
    // The records move forward over the lines left out, in the same bytes,
    // so that a large file is still held once.
    std::size_t leftOut = 0;
    std::size_t write = 0;
    ForEachTextLine(text, [&](std::string_view line, std::string_view withEnd) {
        if (!IsEngineRecord(line)) {
            leftOut += !line.empty();
            return;
        }
        const auto from = static_cast<std::size_t>(withEnd.data() - text.data());
        if (from != write)
            std::copy(withEnd.begin(), withEnd.end(), text.begin() + static_cast<std::ptrdiff_t>(write));
        write += withEnd.size();
    });
    text.resize(write);
    list.SetText(text);
    return leftOut;
}

void DeleteEngineRecordFromFile(const AnsiString& fileName, const AnsiString& record, std::uint16_t start)
{
    const std::string text = UnscrambleBytes(ReadFileBytes(fileName), start);
    bool found = false;
    std::string kept = RemoveTextLines(text, [&](std::size_t, std::string_view line) {
        const bool same = CompareText(AnsiString(line), record) == 0;
        found = found || same;
        return same;
    });
    if (found)
        WriteFileAtomic(fileName, ScrambleBytes(std::move(kept), start));
}

EngineLine SplitEngineLine(const AnsiString& line)
{
    EngineLine result;
    const auto eq = line.find('=');
    if (eq == AnsiString::npos) {
        result.name = line;
        return result;
    }
    result.name = line.substr(0, eq);
    const AnsiString value = line.substr(eq + 1);
    result.type = EngineRecordField(value, efType);
    result.url = EngineRecordField(value, efSubmitPage);
    return result;
}

AnsiString EngineRecordField(const AnsiString& value, int field)
{
    if (field < 1)
        return {};
    std::size_t begin = 0;
    for (int i = 1; i < field; ++i) {
        const auto bar = value.find('|', begin);
        if (bar == AnsiString::npos)
            return {};
        begin = bar + 1;
    }
    const auto end = value.find('|', begin);
    return value.substr(begin, end == AnsiString::npos ? AnsiString::npos : end - begin);
}

bool IsMarkerEngine(const AnsiString& name)
{
    return name == MarkerEngineName;
}

bool IsCustomType(const AnsiString& type)
{
    return type.rfind("Custom->", 0) == 0;
}

long long SitesOfType(const AnsiString& type, std::optional<AnsiString>& error)
{
    if (type.find("Batch") == AnsiString::npos)
        return 1;
    const auto arrow = type.find("->");
    const AnsiString count = arrow == AnsiString::npos ? AnsiString() : type.substr(arrow + 2);
    try {
        const int n = StrToInt(count);
        if (n >= 1)
            return n;
        // A count below one would take sites away from the total.
        if (!error)
            error = "'" + count + "' is not a valid site count";
    } catch (const EConvertError& e) {
        if (!error)
            error = e.Message;
    }
    return 1;
}

FilteredRow FilterEngineRow(const EngineRowState& row, TypeFilterSender sender, const TypeChecks& checks,
                            std::optional<AnsiString>& error)
{
    const AnsiString& type = row.type;
    const bool all = sender == TypeFilterSender::MainWindow;
    bool checked = row.checked;
    long long extra = 0;

    if ((all || sender == TypeFilterSender::SearchEngines) && type == "Engine")
        checked = checks.searchEngines;
    if ((all || sender == TypeFilterSender::Classifieds) && type == "Classified")
        checked = checks.classifieds;
    if ((all || sender == TypeFilterSender::FFA) && type == "FFA")
        checked = checks.ffa;

    if (type.find("Batch") != AnsiString::npos) {
        if (checks.batchSites) {
            checked = true;
            extra = SitesOfType(type, error) - 1;
        } else {
            checked = false;
        }
    }

    if (type == "Custom->Engine")
        checked = checks.custom && checks.searchEngines;
    else if (type == "Custom->Classified")
        checked = checks.custom && checks.classifieds;
    else if (type == "Custom->FFA")
        checked = checks.custom && checks.ffa;

    return {checked, checked ? extra + 1 : extra};
}

EngineCountResult FilterEngineRows(std::vector<EngineRowState>& rows, TypeFilterSender sender,
                                   const TypeChecks& checks)
{
    EngineCountResult result;
    for (auto& row : rows) {
        const FilteredRow filtered = FilterEngineRow(row, sender, checks, result.error);
        row.checked = filtered.checked;
        result.total += filtered.sites;
    }
    return result;
}

EngineCountResult CountEngineRows(const std::vector<EngineRowState>& rows)
{
    EngineCountResult result;
    for (const auto& row : rows) {
        if (row.checked)
            result.total += SitesOfType(row.type, result.error);
    }
    return result;
}
