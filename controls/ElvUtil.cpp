#include "controls/ElvUtil.h"

#include <algorithm>

#include "classlib/Files.h"
#include "classlib/ListView.h"
#include "controls/ExListV.h"

namespace {

bool Contains(std::string_view s, char c) { return s.find(c) != std::string_view::npos; }

// The working delimiter: the chosen one, or "," while none is chosen.
char Working(char delimiter) { return delimiter ? delimiter : DefaultDelimiter; }

void AddColumn(std::vector<CodePageString>& columns)
{
    if (columns.size() < MaxLoadedColumns)
        columns.emplace_back();
}

void ApplyHeaderLine(const std::vector<TDelimitedField>& fields, std::vector<CodePageString>& columns)
{
    for (std::size_t k = 0; k < fields.size(); ++k) {
        const TDelimitedField& field = fields[k];
        // The rest names a column only when text is left once its quotes are
        // gone: a header ending in the delimiter, or in "", adds none.
        if (field.Kind == TDelimitedField::dfRest && field.Value.empty())
            break;
        if (k >= columns.size())
            AddColumn(columns);
        if (k >= columns.size())
            break;  // at the column limit
        // A quoted caption that never closes leaves the caption as it was.
        if (field.Kind != TDelimitedField::dfUnclosed)
            columns[k] = field.Value;
    }
}

std::vector<CodePageString> DataRow(const std::vector<TDelimitedField>& fields,
                                std::vector<CodePageString>& columns)
{
    std::vector<CodePageString> row(1);
    const std::size_t before = fields.size() - 1;  // fields ahead of the rest
    for (std::size_t k = 0; k < before; ++k) {
        const TDelimitedField& field = fields[k];
        if (k == 0) {
            row[0] = field.Value;
            continue;
        }
        // Only unquoted fields grow the columns, one at a time, always keeping
        // one column ahead of the field being stored.
        if (field.Kind == TDelimitedField::dfPlain && columns.size() < k + 2)
            AddColumn(columns);
        row.push_back(field.Value);
    }
    const TDelimitedField& rest = fields.back();
    if (rest.Bare)
        return row;  // the line ended with the delimiter
    if (!rest.Value.empty()) {
        if (before == 0)
            row[0] = rest.Value;
        else
            row.push_back(rest.Value);
    } else if (before > 0) {
        row.emplace_back();  // a rest made only of quotes is an empty cell
    }
    return row;
}

// A value holding the delimiter is quoted: written bare, it would split into
// two cells at the next load and shift every later cell of its line. Quoting
// only helps where the reader gives the value back exactly.
bool NeedsQuotes(const CodePageString& value, char delimiter)
{
    return Contains(value, delimiter) && !Contains(value, '"') && !Contains(value, '\r') &&
           !Contains(value, '\n');
}

void AppendCell(std::string& out, const CodePageString& value, char delimiter)
{
    if (NeedsQuotes(value, delimiter)) {
        out += '"';
        out += value;
        out += '"';
    } else {
        out += value;
    }
}

}  // namespace

int SingleOccurrence(char c, std::string_view s)
{
    const std::size_t n = s.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (s[i] != c)
            continue;
        if (i + 1 == n)
            return static_cast<int>(i + 1);
        if (s[i + 1] != c && (i == 0 || s[i - 1] != c))
            return static_cast<int>(i + 1);
    }
    return 0;
}

int CountSingleOccurrences(char c, std::string_view s)
{
    int count = 0;
    // Each search starts after the previous hit, so that hit's neighbour is
    // no longer seen: ",," counts one (the run reaches the end).
    for (int at = SingleOccurrence(c, s); at != 0; at = SingleOccurrence(c, s)) {
        ++count;
        s.remove_prefix(static_cast<std::size_t>(at));
    }
    return count;
}

char DetectDelimiter(std::string_view line1, std::string_view line2)
{
    char found = 0;
    int best = 0;
    for (char candidate : DelimiterCandidates) {
        const int count = CountSingleOccurrences(candidate, line1);
        if (count == CountSingleOccurrences(candidate, line2) && count > best) {
            found = candidate;
            best = count;
        }
    }
    return found;
}

std::vector<std::string_view> SplitTextLines(std::string_view bytes)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    const std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n')
            continue;
        lines.push_back(bytes.substr(start, i - start));
        if (bytes[i] == '\r' && i + 1 < n && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.push_back(bytes.substr(start));
    return lines;
}

namespace {

// Finds closing quotes for SplitDelimitedLine in linear time. Inside the line
// a quote stands alone by both its neighbours, exactly as in the rest of the
// line that starts before it; only the first byte of a rest has no left
// neighbour. Starts only move forward, so each byte is scanned about once,
// which keeps a line of a million unclosed quotes from taking quadratic time.
class TQuoteScanner {
public:
    explicit TQuoteScanner(std::string_view line) : FLine(line) {}

    // Like SingleOccurrence('"', line.substr(start)), as an index into the line.
    std::size_t Closing(std::size_t start)
    {
        const std::size_t n = FLine.size();
        if (start >= n)
            return std::string_view::npos;
        if (FLine[start] == '"' && (start + 1 == n || FLine[start + 1] != '"'))
            return start;
        return FirstFrom(start + 1);
    }

private:
    bool Alone(std::size_t i) const
    {
        return FLine[i] == '"' &&
               (i + 1 == FLine.size() || (FLine[i + 1] != '"' && FLine[i - 1] != '"'));
    }

    // The first lone quote at or after from (from >= 1).
    std::size_t FirstFrom(std::size_t from)
    {
        if (FValid && from >= FSearchedFrom &&
            (FFound == std::string_view::npos || FFound >= from))
            return FFound;
        FSearchedFrom = from;
        FValid = true;
        FFound = std::string_view::npos;
        for (std::size_t i = from; i < FLine.size(); ++i) {
            if (Alone(i)) {
                FFound = i;
                break;
            }
        }
        return FFound;
    }

    std::string_view FLine;
    bool FValid = false;
    std::size_t FSearchedFrom = 0;
    std::size_t FFound = std::string_view::npos;
};

}  // namespace

std::vector<TDelimitedField> SplitDelimitedLine(std::string_view line, char delimiter)
{
    std::vector<TDelimitedField> fields;
    TQuoteScanner quotes(line);
    const std::size_t n = line.size();
    std::size_t at = 0;  // start of the rest
    for (std::size_t next = line.find(delimiter); next != std::string_view::npos;
         next = line.find(delimiter, at)) {
        TDelimitedField field;
        if (line[at] == '"') {
            const std::size_t close = quotes.Closing(at + 1);
            if (close == std::string_view::npos) {
                field.Kind = TDelimitedField::dfUnclosed;
                at = at + 1;
            } else {
                field.Kind = TDelimitedField::dfQuoted;
                field.Value.assign(line.substr(at + 1, close - at - 1));
                at = close + 1;
            }
            // Whatever stands between the closing quote and the delimiter is dropped.
            const std::size_t after = line.find(delimiter, at);
            if (after != std::string_view::npos)
                at = after + 1;
        } else {
            field.Value.assign(line.substr(at, next - at));
            at = next + 1;
        }
        fields.push_back(std::move(field));
        if (at >= n)
            break;
    }
    std::string_view rest = line.substr(std::min(at, n));
    TDelimitedField last;
    last.Kind = TDelimitedField::dfRest;
    last.Bare = rest.empty();
    if (!rest.empty() && rest.front() == '"')
        rest.remove_prefix(1);
    if (!rest.empty() && rest.back() == '"')
        rest.remove_suffix(1);
    last.Value.assign(rest);
    fields.push_back(std::move(last));
    return fields;
}

void ParseDelimitedText(std::string_view bytes, char& delimiter, bool loadHeader,
                        TDelimitedTable& table)
{
    const std::vector<std::string_view> lines = SplitTextLines(bytes);
    if (delimiter == 0 && !lines.empty())
        delimiter = DetectDelimiter(lines[0], lines.size() > 1 ? lines[1] : std::string_view());
    const char working = Working(delimiter);

    std::size_t first = 0;
    if (loadHeader) {
        table.Columns.clear();
        table.Rows.clear();
        if (!lines.empty()) {
            ApplyHeaderLine(SplitDelimitedLine(lines[0], working), table.Columns);
            first = 1;
        }
    }
    table.Rows.reserve(table.Rows.size() + lines.size() - first);
    for (std::size_t i = first; i < lines.size(); ++i)
        table.Rows.push_back(DataRow(SplitDelimitedLine(lines[i], working), table.Columns));
}

std::string FormatDelimitedText(const TDelimitedTable& table, char delimiter, bool saveHeader)
{
    // A list without columns has no cells to write.
    if (table.Columns.empty())
        return {};
    const char working = Working(delimiter);
    std::string out;
    if (saveHeader) {
        for (std::size_t j = 0; j < table.Columns.size(); ++j) {
            if (j > 0)
                out += working;
            AppendCell(out, table.Columns[j], working);
        }
        out += "\r\n";
    }
    for (const std::vector<CodePageString>& row : table.Rows) {
        if (!row.empty())
            AppendCell(out, row[0], working);
        // Sub-item j stands in cell j + 1; no more are kept than there are columns.
        for (std::size_t j = 0; j < table.Columns.size() && j + 1 < row.size(); ++j) {
            out += working;
            AppendCell(out, row[j + 1], working);
        }
        out += "\r\n";
    }
    return out;
}

// --- the list view's files ----------------------------------------------------------------

namespace {

// Ends the list's update mode however the load ends.
class TItemsUpdate {
public:
    explicit TItemsUpdate(TListItems* items) : FItems(items) { FItems->BeginUpdate(); }
    ~TItemsUpdate() { FItems->EndUpdate(); }
    TItemsUpdate(const TItemsUpdate&) = delete;
    TItemsUpdate& operator=(const TItemsUpdate&) = delete;

private:
    TListItems* FItems;
};

}  // namespace

void SaveToDelimitedFile(TExListView& list, const CodePageString& fileName)
{
    TDelimitedTable table;
    TListColumns* columns = list.Columns();
    // Items without columns write nothing, and the file stays as it was.
    if (columns->Count() == 0 && list.Items()->Count() > 0)
        return;
    for (int i = 0; i < columns->Count(); ++i)
        table.Columns.push_back(columns->Items(i)->Caption());
    TListItems* items = list.Items();
    table.Rows.reserve(static_cast<std::size_t>(items->Count()));
    for (int i = 0; i < items->Count(); ++i) {
        TListItem* item = items->Item(i);
        std::vector<CodePageString> row;
        row.push_back(item->Caption());
        TStrings* subItems = item->SubItems();
        const int cells = std::min(subItems->Count(), columns->Count());
        for (int j = 0; j < cells; ++j)
            row.push_back(item->SubItemRef(j));
        table.Rows.push_back(std::move(row));
    }
    WriteFileAtomic(fileName, FormatDelimitedText(table, list.Delimiter, list.SaveHeader()));
}

void LoadFromDelimitedFile(TExListView& list, const CodePageString& fileName)
{
    std::string bytes;
    try {
        bytes = ReadFileBytes(fileName);
    } catch (const Exception&) {
        throw EExListViewError("File cannot be opened");
    }

    TDelimitedTable table;
    TListColumns* columns = list.Columns();
    for (int i = 0; i < columns->Count(); ++i)
        table.Columns.push_back(columns->Items(i)->Caption());
    ParseDelimitedText(bytes, list.Delimiter, list.LoadHeader(), table);

    TListItems* items = list.Items();
    TItemsUpdate update(items);
    if (list.LoadHeader()) {
        items->Clear();
        columns->Clear();
    }
    for (std::size_t i = 0; i < table.Columns.size(); ++i) {
        if (static_cast<int>(i) >= columns->Count())
            columns->Add();
        TListColumn* column = columns->Items(static_cast<int>(i));
        if (column->Caption() != table.Columns[i])
            column->SetCaption(table.Columns[i]);
    }
    for (const std::vector<CodePageString>& row : table.Rows) {
        TListItem* item = items->Add();
        item->SetImageIndex(-1);
        item->SetCaption(row[0]);
        TStrings* subItems = item->SubItems();
        for (std::size_t k = 1; k < row.size(); ++k)
            subItems->Add(row[k]);
    }
}
