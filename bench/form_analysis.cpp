// Reading the forms of a 1 MB submit page with the wizard's form analysis,
// against libxml2's HTML parser over the same bytes in the same process:
// libxml2 builds its tree and the walk visits every form element and reads
// the attributes the analysis reads (names, types, values, actions). Each
// round times both sides the same way, one after the other, alternating
// which goes first.
//
//   bench_form_analysis [rounds] [passes per round]
//
// Prints each round's times and the ratio ours / libxml2, then the median and
// range of the ratio.
#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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

void Walk(xmlNode* node, Counts& counts)
{
    for (; node; node = node->next) {
        if (node->type == XML_ELEMENT_NODE && IsFormElement(node->name)) {
            counts.forms += xmlStrcasecmp(node->name, reinterpret_cast<const xmlChar*>("form")) == 0;
            ++counts.fields;
            for (const char* attribute : {"name", "type", "value", "action", "method"}) {
                if (xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(attribute))) {
                    counts.bytes += xmlStrlen(value);
                    xmlFree(value);
                }
            }
        }
        Walk(node->children, counts);
    }
}

Counts ParseWithLibxml2(const std::string& page)
{
    Counts counts;
    htmlDocPtr doc = htmlReadMemory(page.data(), int(page.size()), "http://127.0.0.1/", "windows-1252",
                                    HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
    Walk(xmlDocGetRootElement(doc), counts);
    xmlFreeDoc(doc);
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

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 11;
    const int passes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const std::string page = MakePage(1 << 20);
    xmlInitParser();

    Counts ours;
    Counts theirs;
    SecondsPerPass(Analyse, page, 1, ours);
    SecondsPerPass(ParseWithLibxml2, page, 1, theirs);
    std::printf("page %zu bytes; ours: %lld forms analysed, %lld option texts; "
                "libxml2: %lld forms, %lld form elements, %lld attribute bytes\n",
                page.size(), ours.forms, ours.fields, theirs.forms, theirs.fields, theirs.bytes);

    std::vector<double> ratios, oursMs, theirsMs;
    for (int round = 0; round < rounds; ++round) {
        double a = 0, b = 0;
        if (round % 2 == 0) {
            a = SecondsPerPass(Analyse, page, passes, ours);
            b = SecondsPerPass(ParseWithLibxml2, page, passes, theirs);
        } else {
            b = SecondsPerPass(ParseWithLibxml2, page, passes, theirs);
            a = SecondsPerPass(Analyse, page, passes, ours);
        }
        oursMs.push_back(a * 1000);
        theirsMs.push_back(b * 1000);
        ratios.push_back(a / b);
        std::printf("round %2d: ours %.3f ms, libxml2 %.3f ms, ratio %.3f\n", round + 1, a * 1000, b * 1000, a / b);
    }
    std::printf("median: ours %.3f ms, libxml2 %.3f ms\n", Median(oursMs), Median(theirsMs));
    std::printf("ratio ours / libxml2: median %.3f, range %.3f .. %.3f over %d rounds\n", Median(ratios),
                *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()),
                rounds);
    xmlCleanupParser();
    return 0;
}
