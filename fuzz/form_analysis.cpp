// The custom engine wizard's reading of a submit page: the input's first
// line is the page's URL, the rest the page. Every form found is analysed,
// judged and turned into a record line, and the engine name is made; a
// value taken from the page must never add or split a record field.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "workbench/FormAnalysis.h"

namespace {

void Require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "%s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input = InputBytes(data, size);
    const auto newline = input.find('\n');
    const std::string url = newline == std::string::npos ? std::string("http://127.0.0.1/a/b.html")
                                                        : input.substr(0, newline);
    const std::string page = newline == std::string::npos ? input : input.substr(newline + 1);

    const CodePageString name = UniqueEngineName(EngineBaseName(url), {"alpha", "beta"});
    Require(name.find_first_of("=|") == CodePageString::npos, "an engine name breaks its record");

    int polls = 0;
    FindSubmitForms(
        page, url,
        [&](TSubmitForm& form) {
            (void)MeetsRequirements(form);
            TEngineFields fields = EngineFieldsOfForm(form, "http://127.0.0.1/a/b.html");
            fields[efType] = "Custom->FFA";
            const CodePageString line = CustomEngineLine("x", fields);
            // One bar after each field, none inside one.
            std::size_t bars = 0;
            for (char c : line)
                bars += c == '|';
            Require(bars == std::size_t(EngineFieldCount), "a page value adds a record field");
            return true;
        },
        [] {}, [&] { return ++polls < 1000; });
    return 0;
}
