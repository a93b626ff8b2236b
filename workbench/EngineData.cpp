#include "workbench/EngineData.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "classlib/Files.h"
#include "controls/ElvUtil.h"

void TStreamCipher::UnscrambleBlock(char* data, std::size_t size)
{
    // A key step is K -> (K + s) * KeyFactor + KeyOffset, modulo 2^16, with s
    // the scrambled byte, which is known beforehand. So the key after a piece
    // of bytes is Factor * K + Offset of the key before it, with Factor and
    // Offset found from the piece alone. The first pass finds them for every
    // piece, side by side; each piece's first key follows from the one
    // before; the second pass unscrambles the pieces side by side.
    constexpr std::size_t Pieces = 8;
    constexpr std::size_t SmallestPiece = 4096;
    auto* bytes = reinterpret_cast<unsigned char*>(data);
    if (size < Pieces * SmallestPiece) {
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = Unscramble(bytes[i]);
        return;
    }
    const std::size_t length = size / Pieces;        // of every piece but the last,
    const std::size_t rest = size - Pieces * length;  // which also takes these
    auto step = [](unsigned key, unsigned scrambled) {
        return ((key + scrambled) * KeyFactor + KeyOffset) & 0xFFFFu;
    };
    unsigned offset[Pieces] = {};
    unsigned factor = 1;  // the same for pieces of the same length
    for (std::size_t i = 0; i < length; ++i) {
        for (std::size_t p = 0; p < Pieces; ++p)
            offset[p] = step(offset[p], bytes[p * length + i]);
        factor = (factor * KeyFactor) & 0xFFFFu;
    }
    unsigned key[Pieces];
    key[0] = FKey;
    for (std::size_t p = 1; p < Pieces; ++p)
        key[p] = (factor * key[p - 1] + offset[p - 1]) & 0xFFFFu;
    for (std::size_t i = 0; i < length; ++i) {
        for (std::size_t p = 0; p < Pieces; ++p) {
            unsigned char& byte = bytes[p * length + i];
            const unsigned scrambled = byte;
            byte = static_cast<unsigned char>(scrambled ^ (key[p] >> 8));
            key[p] = step(key[p], scrambled);
        }
    }
    FKey = static_cast<std::uint16_t>(key[Pieces - 1]);
    for (std::size_t i = Pieces * length; i < Pieces * length + rest; ++i)
        bytes[i] = Unscramble(bytes[i]);
}

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
    TStreamCipher(start).UnscrambleBlock(scrambled.data(), scrambled.size());
    return scrambled;
}

std::string ScrambleBytes(std::string plain, std::uint16_t start)
{
    TStreamCipher cipher(start);
    return PassBytes(std::move(plain), [&](unsigned char c) { return cipher.Scramble(c); });
}

void LoadScrambledStrings(const CodePageString& fileName, TStrings& list, std::uint16_t start)
{
    // The scrambled bytes become the text in place; only the list's lines are added on top.
    const std::string text = UnscrambleBytes(ReadFileBytes(fileName), start);
    list.SetText(text);
}

void SaveScrambledStrings(TStrings& list, const CodePageString& fileName, std::uint16_t start)
{
    WriteFileAtomic(fileName, ScrambleBytes(list.Text(), start));
}

void ScrambleFile(const CodePageString& source, const CodePageString& target, std::uint16_t start)
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

std::size_t LoadEngineRecords(const CodePageString& fileName, TStrings& list, std::uint16_t start)
{
    // The file is unscrambled a block at a time and each record goes straight
    // into its own line: a large file is never held whole beside its lines.
    TFileStream file(fileName, fmOpenRead);
    TStreamCipher cipher(start);
    std::vector<CodePageString> records;
    std::size_t leftOut = 0;
    CodePageString line;          // the line being read, across blocks
    bool skipNewline = false;  // a block ended in CR: an LF after it ends no other line
    auto endLine = [&] {
        if (IsEngineRecord(line))
            records.push_back(line);
        else
            leftOut += !line.empty();
        line.clear();
    };
    const std::int64_t size = file.Size();
    std::int64_t done = 0;
    // Blocks of up to 256 KiB, no larger than the file needs: the usual
    // files are a few kilobytes, and a fresh large block is paid for page by page.
    std::string block(static_cast<std::size_t>(std::clamp<std::int64_t>(size + 1, 4096, 256 * 1024)), '\0');
    for (;;) {
        const std::int64_t read = file.Read(block.data(), static_cast<std::int64_t>(block.size()));
        if (read < 0)
            throw EFOpenError("Cannot open file \"" + fileName + "\". " + std::strerror(errno));
        if (read == 0)
            break;
        const auto count = static_cast<std::size_t>(read);
        cipher.UnscrambleBlock(block.data(), count);
        // Lines end in CR LF, LF or CR, as the list's text reader splits them.
        std::size_t from = 0;
        if (skipNewline && block[0] == '\n')
            from = 1;
        skipNewline = false;
        const char* const bytes = block.data();
        // The next CR and the next LF at or after a place, each searched for
        // again only once the lines have passed it (a file of CR only, or of
        // LF only, is read in one search through the block, not one per line).
        auto nextOf = [&](char c, std::size_t at) {
            const void* const found = std::memchr(bytes + at, c, count - at);
            return found ? static_cast<std::size_t>(static_cast<const char*>(found) - bytes) : count;
        };
        std::size_t nextCr = nextOf('\r', from);
        std::size_t nextLf = nextOf('\n', from);
        while (from < count) {
            if (nextCr < from)
                nextCr = nextOf('\r', from);
            if (nextLf < from)
                nextLf = nextOf('\n', from);
            // The first CR or LF: the line's end, unless it lies beyond the block.
            std::size_t end = std::min(nextCr, nextLf);
            if (end == count) {
                line.append(block, from, end - from);
                break;
            }
            if (line.empty()) {
                // A whole line of this block: taken from it at once.
                const std::string_view whole(bytes + from, end - from);
                if (IsEngineRecord(whole))
                    records.emplace_back(whole);
                else
                    leftOut += !whole.empty();
            } else {
                line.append(block, from, end - from);
                endLine();
            }
            if (block[end] == '\r') {
                if (end + 1 == count)
                    skipNewline = true;
                else if (block[end + 1] == '\n')
                    ++end;
            }
            from = end + 1;
        }
        // Room for the records, reckoned from the first block, so that the
        // list of a large file is not copied as it grows.
        if (done == 0 && read < size)
            records.reserve((records.size() + 1) * static_cast<std::size_t>(size / read + 1));
        done += read;
    }
    if (!line.empty())
        endLine();
    struct TUpdating {
        TStrings& List;
        explicit TUpdating(TStrings& list) : List(list) { List.BeginUpdate(); }
        ~TUpdating() { List.EndUpdate(); }
    } updating(list);
    list.Clear();
    list.AddStrings(std::move(records));
    return leftOut;
}

void DeleteEngineRecordFromFile(const CodePageString& fileName, const CodePageString& record, std::uint16_t start)
{
    const std::string text = UnscrambleBytes(ReadFileBytes(fileName), start);
    bool found = false;
    std::string kept = RemoveTextLines(text, [&](std::size_t, std::string_view line) {
        const bool same = CompareText(CodePageString(line), record) == 0;
        found = found || same;
        return same;
    });
    if (found)
        WriteFileAtomic(fileName, ScrambleBytes(std::move(kept), start));
}

EngineLine SplitEngineLine(const CodePageString& line)
{
    const EngineLineView view = ViewEngineLine(line);
    return {CodePageString(view.name), CodePageString(view.type), CodePageString(view.url)};
}

EngineLineView ViewEngineLine(std::string_view line)
{
    EngineLineView result;
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) {
        result.name = line;
        return result;
    }
    result.name = line.substr(0, eq);
    const std::string_view value = line.substr(eq + 1);
    result.type = EngineRecordFieldView(value, efType);
    result.url = EngineRecordFieldView(value, efSubmitPage);
    return result;
}

std::string_view EngineRecordFieldView(std::string_view value, int field)
{
    if (field < 1)
        return {};
    std::size_t begin = 0;
    for (int i = 1; i < field; ++i) {
        const auto bar = value.find('|', begin);
        if (bar == std::string_view::npos)
            return {};
        begin = bar + 1;
    }
    const auto end = value.find('|', begin);
    return value.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin);
}

CodePageString EngineRecordField(const CodePageString& value, int field)
{
    return CodePageString(EngineRecordFieldView(value, field));
}

bool IsMarkerEngine(std::string_view name)
{
    return name == MarkerEngineName;
}

bool IsCustomType(const CodePageString& type)
{
    return type.rfind("Custom->", 0) == 0;
}

long long SitesOfType(const CodePageString& type, std::optional<CodePageString>& error)
{
    if (type.find("Batch") == CodePageString::npos)
        return 1;
    const auto arrow = type.find("->");
    const CodePageString count = arrow == CodePageString::npos ? CodePageString() : type.substr(arrow + 2);
    try {
        const int n = StrToInt(count);
        if (n >= 0)
            return n;  // a batch of no sites counts none
        // A negative count would take sites away from the total.
        if (!error)
            error = "'" + count + "' is not a valid site count";
    } catch (const EConvertError& e) {
        if (!error)
            error = e.Message;
    }
    return 1;
}

FilteredRow FilterEngineRow(const EngineRowState& row, TypeFilterSender sender, const TypeChecks& checks,
                            std::optional<CodePageString>& error)
{
    const CodePageString& type = row.type;
    const bool all = sender == TypeFilterSender::MainWindow;
    bool checked = row.checked;
    long long extra = 0;

    if ((all || sender == TypeFilterSender::SearchEngines) && type == "Engine")
        checked = checks.searchEngines;
    if ((all || sender == TypeFilterSender::Classifieds) && type == "Classified")
        checked = checks.classifieds;
    if ((all || sender == TypeFilterSender::FFA) && type == "FFA")
        checked = checks.ffa;

    if (type.find("Batch") != CodePageString::npos) {
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
