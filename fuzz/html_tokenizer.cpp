// The HTML tokenizer over arbitrary bytes: as a buffer with include
// directives served from the document itself, and as a string list with
// blanks kept; every attribute also goes through the colour and file-URL
// readers. An open comment at the end is the tokenizer's one error.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "classlib/Classes.h"
#include "htmlview/HtmlParse.h"
#include "htmlview/HtmlUtil.h"

namespace {

// Every token takes at least one byte of the document or of an include, and
// each include gives at most the whole document again.
void Drain(ParserState& parser, std::size_t size)
{
    const std::size_t most = (size + 1) * (size + 2);
    try {
        parser.AdvanceChar();
        for (std::size_t count = 0; count <= most; ++count) {
            parser.NextToken();
            if (parser.Symbol == HtmlSymbol::EndOfInput)
                return;
            if (parser.TokenText.size() > ParserState::MaxTagName)
                __builtin_trap();
            for (const auto& attribute : parser.TagAttributes) {
                TColor color;
                ParseColor(attribute->Text, color);
                if (attribute->Symbol == HtmlSymbol::Href)
                    UrlToLocalPath(attribute->Text);
            }
        }
        __builtin_trap();  // the tokenizer stopped advancing
    } catch (const EParseError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    // An include gives the tail of the document after its first "|", so that
    // included bytes meet every state the tokenizer can be in.
    const std::size_t bar = bytes.find('|');
    const std::string_view tail = bar == std::string::npos ? std::string_view() : std::string_view(bytes).substr(bar + 1);
    ParserState buffer;
    buffer.SetBufferSource(bytes.data(), bytes.size());
    buffer.IncludeEvent = [tail](TObject*, const CodePageString&, TStrings*, const char*& out, int& length) {
        out = tail.data();
        length = int(tail.size());
    };
    Drain(buffer, size);

    TStringList lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= bytes.size(); ++i) {
        if (i == bytes.size() || bytes[i] == '\n') {
            lines.Add(bytes.substr(start, i - start));
            start = i + 1;
        }
    }
    ParserState strings;
    strings.SetStringsSource(lines);
    strings.KeepBlanks = true;
    Drain(strings, size + lines.Count());
    return 0;
}
