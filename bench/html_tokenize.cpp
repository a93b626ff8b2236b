// Tokenizing a 1 MB HTML page with the viewer's tokenizer, against libxml2's
// HTML parser in SAX mode over the same bytes. Both sides read the page from
// memory and count what they see (elements or tags, attributes, text bytes)
// in callbacks that do nothing else. Each side runs in a process of its own
// and times the same region, its parses after one to warm up ("parse_ms"),
// in interleaved rounds (bench/Rounds.h).
//
//   bench_html_tokenize [rounds] [parses per run]      the rounds (default 11 and 10)
//   bench_html_tokenize ours|libxml2 [parses]          one side
#include <libxml/HTMLparser.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Rounds.h"
#include "htmlview/HtmlParse.h"

namespace {

// A page of the kind the viewer shows: headings, paragraphs with links,
// fonts and entities, lists, tables with attributes, comments and a form.
std::string MakePage(std::size_t size)
{
    static const char* const words[] = {"search", "engine", "submission", "ranking", "keyword", "doorway",
                                        "page",   "site",   "promotion",  "listing", "directory", "meta"};
    std::string page = "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2//EN\">\r\n<html><head><title>Bench</title>"
                       "<meta name=\"keywords\" content=\"search, engine\"></head>\r\n"
                       "<body bgcolor=\"#FFFFFF\" text=\"#000000\" link=\"#0000FF\">\r\n";
    unsigned seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    int block = 0;
    while (page.size() < size) {
        switch (block++ % 5) {
        case 0:
            page += "<h2 align=center>Section " + std::to_string(block) + "</h2>\r\n";
            break;
        case 1:
        case 2: {
            page += "<p align=left>";
            const int count = 40 + int(next() % 40);
            for (int w = 0; w < count; ++w) {
                const char* word = words[next() % 12];
                switch (next() % 16) {
                case 0:
                    page += "<a href=\"http://www.example.com/" + std::string(word) + ".htm\" target=_top>" + word +
                            "</a> ";
                    break;
                case 1:
                    page += "<b>" + std::string(word) + "</b> ";
                    break;
                case 2:
                    page += "<font size=+1 color=\"#FF0000\" face=\"Arial\">" + std::string(word) + "</font> ";
                    break;
                case 3:
                    page += std::string(word) + " &amp; ";
                    break;
                case 4:
                    page += "caf&eacute; &copy;&#169; ";
                    break;
                default:
                    page += std::string(word) + (next() % 8 == 0 ? ",\r\n" : " ");
                }
            }
            page += "</p>\r\n<!-- end of paragraph -->\r\n";
            break;
        }
        case 3:
            page += "<ul>\r\n";
            for (int i = 0; i < 6; ++i)
                page += "<li><a href=\"item" + std::to_string(i) + ".htm\">" + words[next() % 12] + " " +
                        words[next() % 12] + "</a>\r\n";
            page += "</ul>\r\n";
            break;
        case 4:
            page += "<table border=1 cellpadding=\"4\" cellspacing=2 width=\"90%\">\r\n";
            for (int r = 0; r < 4; ++r) {
                page += "<tr valign=top>";
                for (int c = 0; c < 4; ++c)
                    page += "<td width=\"25%\" bgcolor=\"#E0E0E0\" align=right>" + std::string(words[next() % 12]) +
                            " " + std::to_string(next()) + "</td>";
                page += "</tr>\r\n";
            }
            page += "</table>\r\n<form action=\"/cgi-bin/add\" method=post><input type=text name=url size=40>"
                    "<input type=submit value=\"Submit\"></form>\r\n";
            break;
        }
    }
    page += "</body></html>\r\n";
    return page;
}

struct Counts {
    long long elements = 0;
    long long attributes = 0;
    long long textBytes = 0;
};

Counts Tokenize(const std::string& page)
{
    Counts counts;
    ParserState parser;
    parser.SetBufferSource(page.data(), page.size());
    parser.AdvanceChar();
    for (;;) {
        parser.NextToken();
        if (parser.Symbol == HtmlSymbol::EndOfInput)
            break;
        if (parser.Symbol == HtmlSymbol::Text) {
            counts.textBytes += static_cast<long long>(parser.TokenText.size());
        } else {
            ++counts.elements;
            if (AttributeTags.Contains(parser.Symbol))
                counts.attributes += parser.TagAttributes.Count();
        }
    }
    return counts;
}

void OnStart(void* context, const xmlChar*, const xmlChar** attributes)
{
    Counts& counts = *static_cast<Counts*>(context);
    ++counts.elements;
    if (attributes)
        for (const xmlChar** a = attributes; *a; a += 2)
            ++counts.attributes;
}

void OnEnd(void* context, const xmlChar*)
{
    ++static_cast<Counts*>(context)->elements;
}

void OnCharacters(void* context, const xmlChar*, int length)
{
    static_cast<Counts*>(context)->textBytes += length;
}

Counts ParseWithLibxml2(const std::string& page)
{
    Counts counts;
    htmlSAXHandler sax{};
    sax.startElement = OnStart;
    sax.endElement = OnEnd;
    sax.characters = OnCharacters;
    sax.ignorableWhitespace = OnCharacters;
    htmlParserCtxtPtr context = htmlCreatePushParserCtxt(&sax, &counts, nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8);
    htmlCtxtUseOptions(context, HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
    htmlParseChunk(context, page.data(), int(page.size()), 1);
    htmlFreeParserCtxt(context);
    return counts;
}

template <class Parse>
double SecondsPerParse(Parse parse, const std::string& page, int parses, Counts& counts)
{
    const auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < parses; ++i)
        counts = parse(page);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - begin;
    return elapsed.count() / parses;
}

// One side: a parse to warm up, then the timed parses; prints the
// milliseconds of one parse and what it counted.
int RunSide(bool ours, const std::string& page, int parses)
{
    Counts counts;
    const auto parse = ours ? Tokenize : ParseWithLibxml2;
    SecondsPerParse(parse, page, 1, counts);
    const double seconds = SecondsPerParse(parse, page, parses, counts);
    bench::PrintFigure("parse_ms", seconds * 1000);
    bench::PrintFigure("MB_per_s", static_cast<double>(page.size()) / 1e6 / seconds);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string role = argc > 1 ? argv[1] : "";
    const int rounds = argc > 1 && role != "ours" && role != "libxml2" ? std::max(5, std::atoi(argv[1])) : 11;
    const int parses = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    const std::string page = MakePage(1 << 20);
    xmlInitParser();
    if (role == "ours" || role == "libxml2") {
        const int status = RunSide(role == "ours", page, parses);
        xmlCleanupParser();
        return status;
    }

    Counts ours;
    Counts theirs;
    SecondsPerParse(Tokenize, page, 1, ours);
    SecondsPerParse(ParseWithLibxml2, page, 1, theirs);
    xmlCleanupParser();
    std::printf("page %zu bytes; ours: %lld tags, %lld attributes, %lld text bytes; "
                "libxml2: %lld element events, %lld attributes, %lld text bytes; %d parses per run\n",
                page.size(), ours.elements, ours.attributes, ours.textBytes, theirs.elements, theirs.attributes,
                theirs.textBytes, parses);
    bench::TRoundsOptions options;
    options.Rounds = rounds;
    const std::string self = bench::SelfPath(argv[0]);
    const std::string count = std::to_string(parses);
    return bench::CompareSides({"ours", {self, "ours", count}}, {"libxml2", {self, "libxml2", count}}, options);
}
