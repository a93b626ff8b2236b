// Reading the forms of a 1 MB submit page with the wizard's form analysis,
// against libxml2's HTML parser over the same bytes in its SAX mode (the
// strongest way it offers for a reader that keeps no tree): at every form
// element it reads the attributes the analysis reads (names, types, values,
// actions, methods). Each side runs in a process of its own and times the
// same region, its passes after one to warm up ("pass_ms"), in interleaved
// rounds (bench/Rounds.h).
//
//   bench_form_analysis [rounds] [passes per run]      the rounds (default 11 and 5)
//   bench_form_analysis ours|libxml2 [passes]          one side
#include <libxml/HTMLparser.h>
#include <libxml/parser.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Rounds.h"
#include "workbench/FormAnalysis.h"

namespace {

const char* const Categories[] = {"Automotive", "Business", "Computers", "Education", "Entertainment",
                                  "Government", "Health",   "Personal",  "Recreation", "Miscellaneous",
                                  "Web Stuff",  "Other"};

// A directory's page: paragraphs between many forms, each with text inputs,
// hidden fields, a text area and a category list; every third form is a
// search form without a URL field.
std::string MakePage(std::size_t size)
{
    std::string page = "<html><head><title>Add your site</title></head><body bgcolor=\"#FFFFFF\">\r\n";
    int form = 0;
    while (page.size() < size) {
        ++form;
        const std::string n = std::to_string(form);
        page += "<p>Listing " + n + ": fill in <b>every</b> field, <a href=\"help" + n +
                ".html\">help</a> &amp; rules.</p>\r\n";
        if (form % 3 == 0) {
            page += "<form action=\"/cgi-bin/search" + n +
                    "\" method=get><input type=text name=query size=20><input type=submit value=\"Search\"></form>\r\n";
            continue;
        }
        page += "<form action=\"add" + n + ".cgi\" method=\"post\">\r\n<table><tr><td>Title:</td><td>"
                "<input type=text name=title size=40></td></tr>\r\n<tr><td>URL:</td><td>"
                "<input type=text name=url value=\"http://\" size=40></td></tr>\r\n"
                "<tr><td>E-mail:</td><td><input type=\"text\" name=\"email\"></td></tr>\r\n"
                "<tr><td>Name:</td><td><input name=contact_name></td></tr>\r\n"
                "<input type=\"hidden\" name=\"mode\" value=\"add " + n + "\">\r\n"
                "<input type=hidden name=ref value=\"page" + n + "\">\r\n"
                "<textarea name=description rows=4 cols=40></textarea>\r\n<select name=section>\r\n";
        for (const char* c : Categories)
            page += std::string("<option>") + c + "\r\n";
        page += "</select>\r\n<input type=submit name=url value=\"Add\"></table></form>\r\n";
    }
    return page + "</body></html>\r\n";
}

struct Counts {
    long long forms = 0;
    long long fields = 0;
    long long bytes = 0;  // of the values read
};

Counts Analyse(const std::string& page)
{
    Counts counts;
    FindSubmitForms(
        page, "http://127.0.0.1:8080/links/submit.html",
        [&](TSubmitForm& form) {
            ++counts.forms;
            counts.fields += static_cast<long long>(form.OptionTexts.size());
            counts.bytes += static_cast<long long>(form.Action.size() + form.Url.size() + form.Hidden.size());
            (void)MeetsRequirements(form);
            return true;
        },
        {});
    return counts;
}

bool IsFormElement(const xmlChar* name)
{
    for (const char* tag : {"form", "input", "select", "option", "textarea"})
        if (xmlStrcasecmp(name, reinterpret_cast<const xmlChar*>(tag)) == 0)
            return true;
    return false;
}

void OnStart(void* context, const xmlChar* name, const xmlChar** attributes)
{
    if (!IsFormElement(name))
        return;
    auto& counts = *static_cast<Counts*>(context);
    counts.forms += xmlStrcasecmp(name, reinterpret_cast<const xmlChar*>("form")) == 0;
    ++counts.fields;
    if (!attributes)
        return;
    for (const xmlChar** a = attributes; *a; a += 2)
        for (const char* attribute : {"name", "type", "value", "action", "method"})
            if (a[1] && xmlStrcasecmp(a[0], reinterpret_cast<const xmlChar*>(attribute)) == 0) {
                counts.bytes += xmlStrlen(a[1]);
                break;
            }
}

Counts ParseWithLibxml2(const std::string& page)
{
    Counts counts;
    htmlSAXHandler sax{};
    sax.startElement = OnStart;
    htmlParserCtxtPtr context =
        htmlCreatePushParserCtxt(&sax, &counts, nullptr, 0, nullptr, XML_CHAR_ENCODING_8859_1);
    htmlCtxtUseOptions(context, HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
    htmlParseChunk(context, page.data(), int(page.size()), 1);
    htmlFreeParserCtxt(context);
    return counts;
}

template <class Parse>
double SecondsPerPass(Parse parse, const std::string& page, int passes, Counts& counts)
{
    const auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < passes; ++i)
        counts = parse(page);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - begin;
    return elapsed.count() / passes;
}

// One side: a pass to warm up, then the timed passes; prints the
// milliseconds of one pass.
int RunSide(bool ours, const std::string& page, int passes)
{
    Counts counts;
    const auto pass = ours ? Analyse : ParseWithLibxml2;
    SecondsPerPass(pass, page, 1, counts);
    const double seconds = SecondsPerPass(pass, page, passes, counts);
    bench::PrintFigure("pass_ms", seconds * 1000);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string role = argc > 1 ? argv[1] : "";
    const int rounds = argc > 1 && role != "ours" && role != "libxml2" ? std::max(5, std::atoi(argv[1])) : 11;
    const int passes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const std::string page = MakePage(1 << 20);
    xmlInitParser();
    if (role == "ours" || role == "libxml2") {
        const int status = RunSide(role == "ours", page, passes);
        xmlCleanupParser();
        return status;
    }

    Counts ours;
    Counts theirs;
    SecondsPerPass(Analyse, page, 1, ours);
    SecondsPerPass(ParseWithLibxml2, page, 1, theirs);
    xmlCleanupParser();
    std::printf("page %zu bytes; ours: %lld forms analysed, %lld option texts; "
                "libxml2: %lld forms, %lld form elements, %lld attribute bytes; %d passes per run\n",
                page.size(), ours.forms, ours.fields, theirs.forms, theirs.fields, theirs.bytes, passes);
    bench::TRoundsOptions options;
    options.Rounds = rounds;
    const std::string self = bench::SelfPath(argv[0]);
    const std::string count = std::to_string(passes);
    return bench::CompareSides({"ours", {self, "ours", count}}, {"libxml2", {self, "libxml2", count}}, options);
}
