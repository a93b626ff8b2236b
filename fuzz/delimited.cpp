// A delimited file as the list view reads it: with the header loaded and the
// delimiter found from its first two lines, and as the main window keeps its
// manual engines: added to a list of three columns, saved and loaded again.
// A file whose delimiter was found is written back with it, so every row
// without a double quote in it comes back as it was loaded (without trailing
// empty cells, and with no more cells than the list has columns).
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "controls/ElvUtil.h"
#include "fuzz/FuzzSupport.h"

namespace {

bool HoldsQuote(const std::vector<CodePageString>& row)
{
    for (const CodePageString& cell : row)
        if (cell.find('"') != CodePageString::npos)
            return true;
    return false;
}

std::vector<CodePageString> AsSaved(std::vector<CodePageString> row, std::size_t columns)
{
    if (row.size() > columns + 1)
        row.resize(columns + 1);
    while (row.size() > 1 && row.back().empty())
        row.pop_back();
    return row;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    char detected = 0;
    TDelimitedTable withHeader;
    ParseDelimitedText(bytes, detected, true, withHeader);

    char delimiter = 0;
    TDelimitedTable loaded;
    loaded.Columns = {"Name", "URL", "Submit Page"};
    ParseDelimitedText(bytes, delimiter, false, loaded);
    const char found = delimiter;
    const std::string saved = FormatDelimitedText(loaded, delimiter, false);
    TDelimitedTable reloaded;
    reloaded.Columns = loaded.Columns;
    ParseDelimitedText(saved, delimiter, false, reloaded);

    // Without a delimiter found the next load looks for one again, in lines
    // that lost their outer quotes on the way: nothing to compare.
    if (found == 0)
        return 0;
    if (reloaded.Rows.size() != loaded.Rows.size()) {
        std::fprintf(stderr, "%zu rows saved, %zu loaded again\n", loaded.Rows.size(), reloaded.Rows.size());
        std::abort();
    }
    const std::size_t columns = loaded.Columns.size();
    for (std::size_t i = 0; i < loaded.Rows.size(); ++i) {
        if (HoldsQuote(loaded.Rows[i]))
            continue;
        if (AsSaved(reloaded.Rows[i], columns) != AsSaved(loaded.Rows[i], columns)) {
            std::fprintf(stderr, "row %zu changed on its way through the file\n", i);
            std::abort();
        }
    }
    return 0;
}
