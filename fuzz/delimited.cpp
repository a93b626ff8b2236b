// A delimited file as the list view reads it: once with the delimiter found
// from its first two lines and the header loaded, once added to a list that
// has columns already with the delimiter set; then what the writer makes of
// the first read is read again, as a saved list is at the next start.
#include <string_view>

#include "controls/ElvUtil.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    char delimiter = 0;
    TDelimitedTable loaded;
    ParseDelimitedText(bytes, delimiter, true, loaded);

    char fixed = ';';
    TDelimitedTable appended;
    appended.Columns = {"Name", "URL"};
    ParseDelimitedText(bytes, fixed, false, appended);

    const std::string saved = FormatDelimitedText(loaded, delimiter, true);
    char again = delimiter;
    TDelimitedTable reloaded;
    ParseDelimitedText(saved, again, true, reloaded);
    return 0;
}
