// The list view's delimited text file: one line per item, its cells separated
// by one delimiter byte, lines ended by CR LF, an optional first line of column
// captions. The format itself is pure functions over bytes and cells; the two
// list view operations at the end move a list's cells in and out of it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "classlib/Strings.h"

class TExListView;

// The cells of a list as the file carries them.
struct TDelimitedTable {
    std::vector<CodePageString> Columns;            // column captions
    std::vector<std::vector<CodePageString>> Rows;  // each: the caption, then the sub-items
};

// Tried in this order when the file's delimiter is not known; ties keep the earlier one.
inline constexpr char DelimiterCandidates[] = {',', ';', '#', '\t', '|'};
inline constexpr char DefaultDelimiter = ',';

// Loading adds columns for what the file holds, but never beyond this many, so
// that a hostile line of a million delimiters cannot build a million columns.
inline constexpr std::size_t MaxLoadedColumns = 1024;

// 1-based position of the first c that stands alone: a run of two or more c
// inside s is skipped, but a run that reaches the end of s yields its last
// position. 0 when there is none.
int SingleOccurrence(char c, std::string_view s);
// Repeats the search on what follows each hit, counting the hits.
int CountSingleOccurrences(char c, std::string_view s);
// The candidate that the first two lines hold equally often (and most often
// among those); 0 when none qualifies.
char DetectDelimiter(std::string_view line1, std::string_view line2);

// Lines ended by CR LF, LF or CR; a last line without an end counts, an end at
// the very end of the text adds no empty line.
std::vector<std::string_view> SplitTextLines(std::string_view bytes);

// One field of a line, as the reader splits it from the left.
struct TDelimitedField {
    enum TKind {
        dfPlain,     // text up to the next delimiter
        dfQuoted,    // "..." closed by a lone double quote; the rest up to the delimiter is dropped
        dfUnclosed,  // a field that opens a quote and never closes it: empty value
        dfRest,      // what is left once no delimiter remains, one quote stripped at each end
    };
    TKind Kind = dfPlain;
    CodePageString Value;
    // dfRest only: nothing was left (the line ended with the delimiter, or was empty).
    bool Bare = false;
};
// Always ends with exactly one dfRest field.
std::vector<TDelimitedField> SplitDelimitedLine(std::string_view line, char delimiter);

// Reads a file image. When delimiter is 0 it is detected from the first two
// lines and stored back (it stays 0 when none is found; this read then uses
// ","). On entry table.Columns are the list's present captions; the file's
// columns are added to them (with loadHeader they are rebuilt from the first
// line) and its items are appended to table.Rows.
void ParseDelimitedText(std::string_view bytes, char& delimiter, bool loadHeader,
                        TDelimitedTable& table);

// Writes a file image: nothing without columns; else the header line when
// saveHeader is set, then one line per row with at most as many sub-items as
// there are columns and no trailing empty cells. delimiter 0 means ",". A
// value holding the delimiter is enclosed in double quotes when the reader
// can give it back exactly (no quote or line break in it), so that it loads
// as one cell; any other value is written as it is.
std::string FormatDelimitedText(const TDelimitedTable& table, char delimiter, bool saveHeader);

// Writes the list's items (and, with SaveHeader, its column captions) through
// a temporary file and a rename. An empty list writes an empty file, so that
// deleting the last item sticks; items without columns write nothing and
// leave the file alone. Throws EFCreateError when the file cannot be written.
void SaveToDelimitedFile(TExListView& list, const CodePageString& fileName);
// Appends the file's items to the list (with LoadHeader: replaces columns and
// items). Throws EExListViewError "File cannot be opened" when the file cannot
// be read; the list and its Delimiter are then unchanged.
void LoadFromDelimitedFile(TExListView& list, const CodePageString& fileName);
