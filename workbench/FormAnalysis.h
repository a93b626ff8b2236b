// Reading a site's submission form out of its submit page, for the custom
// engine wizard: the page is cut into form blocks, each block that takes a
// site URL is scanned tag by tag, its field names are recognised through a
// fixed table, its category list is classified, and the result becomes the
// fields of a custom engine record.
//
// The scan is a plain text scan on the upper-cased page, not an HTML parser:
// every test is a substring test. Everything here is a pure function of the
// page text; the wizard shows and stores what comes out.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "classlib/Classes.h"
#include "workbench/EngineData.h"

// The wizard fields that a form's field names can fill.
enum class TFormField { Url, Email, Name, Catagory, Title, Description, Phone, Fax, City, Keywords, Zip, State,
                        Country, Address };

// One row of the field map: an upper-case form field name (a prefix of the
// names it recognises in input tags), the wizard field it fills and the key
// the wizard's ValueList shows for it.
struct TFieldMapRow {
    const char* FormName;
    TFormField Field;
    const char* Key;
};

inline constexpr TFieldMapRow FieldMapping[] = {
    {"URL", TFormField::Url, "url"},
    {"NEWURL", TFormField::Url, "url"},
    {"Q", TFormField::Url, "url"},
    {"QUERY", TFormField::Url, "url"},
    {"PAGE", TFormField::Url, "url"},
    {"LINKADDR", TFormField::Url, "url"},
    {"EMAIL", TFormField::Email, "email"},
    {"CONTACT_EMAIL", TFormField::Email, "email"},
    {"FROM", TFormField::Email, "email"},
    {"REPLY_EMAIL", TFormField::Email, "email"},
    {"NAME", TFormField::Name, "name"},
    {"CONTACT_NAME", TFormField::Name, "name"},
    {"CONTACT", TFormField::Name, "name"},
    {"REALNAME", TFormField::Name, "name"},
    {"USRNAME", TFormField::Name, "name"},
    {"SECTION", TFormField::Catagory, "catagory"},
    {"SELECTION", TFormField::Catagory, "catagory"},
    {"CATAGORY", TFormField::Catagory, "catagory"},
    {"TITLE", TFormField::Title, "title"},
    {"SITENAME", TFormField::Title, "title"},
    {"URLNAME", TFormField::Title, "title"},
    {"SITETITLE", TFormField::Title, "title"},
    {"DESCRIPTION", TFormField::Description, "description"},
    {"TEL", TFormField::Phone, "phone"},
    {"PHONE", TFormField::Phone, "phone"},
    {"FAX", TFormField::Fax, "fax"},
    {"CITY", TFormField::City, "city"},
    {"KEYWORDS", TFormField::Keywords, "keywords"},
    {"ZIP", TFormField::Zip, "zip"},
    {"STATE", TFormField::State, "state"},
    {"COUNTRY", TFormField::Country, "country"},
    {"ADDRESS", TFormField::Address, "address"},
};

// Free-for-all sites whose submit page posts to a partner site: a relative
// action on the first host goes to the second. The pairs are the
// installation's site data; the one entry here is an example of the form
// (reserved documentation names), not a real pair.
struct TPartnerHosts {
    const char* PageHost;
    const char* PostHost;
};
inline constexpr TPartnerHosts PartnerHosts[] = {
    {"ffa-links.example.com", "ffa-post.example.com"},
};

// One stretch of a page: from the start of the page or the "<" of a form's
// end marker ("</FOR" in any case) up to the next such marker.
struct TFormBlock {
    std::string_view Text;
    bool TakesUrl = false;  // holds a field named URL or NEWURL
};
// An empty page has no block; a page without a form end is one block.
std::vector<TFormBlock> SplitFormBlocks(std::string_view page);

// What the analysis of one form block found, by wizard field.
struct TSubmitForm {
    CodePageString Action;  // absolute
    CodePageString Method;  // "GET" or "POST"; empty when no form tag named an action
    CodePageString Title, Url, Email, Description, Category, CategoryType, Name, Hidden, Address, City, State, Zip,
        Phone, Fax, Keywords, Country;
    // The option values and option texts that this block's selects hold.
    std::vector<CodePageString> OptionTexts;

    CodePageString& Field(TFormField field);
};

// The page being analysed: its URL, and the category words that the selects
// of its earlier analysed forms held (a later form's category list counts
// them too).
struct TFormPage {
    CodePageString PageUrl;       // the page as fetched: the base of relative actions
    std::uint64_t CarriedWords = 0;
};

// Called now and then during a long scan; returns false to stop it.
using TScanPoll = std::function<bool()>;

// Scans one block: its tags, its option texts, the category rule. Returns
// false when poll stopped it (form then holds what was found so far).
bool AnalyseFormBlock(std::string_view block, TFormPage& page, TSubmitForm& form, const TScanPoll& poll = {});

// Every form block of the page in order: each one that takes a URL is
// analysed and handed to onForm; onSkipped is told of each block without a
// URL field that comes before the first analysed one. Returns false when poll
// or onForm (returning false) stopped the walk.
bool FindSubmitForms(std::string_view page, const CodePageString& pageUrl,
                     const std::function<bool(TSubmitForm& form)>& onForm, const std::function<void()>& onSkipped,
                     const TScanPoll& poll = {});

// A usable engine has an HTTP or HTTPS form action, a URL field and a
// category (a list of the known kind, or one of the fallback words). The fallback marker
// "default" is emptied here, since the fixed parameter stands in for it.
bool MeetsRequirements(TSubmitForm& form);

// A form's action made absolute against the page's URL by the ordinary rules
// of relative references (the page's scheme, host and port kept). Blanks and
// control characters are percent-encoded.
CodePageString ResolveFormAction(const CodePageString& action, const CodePageString& pageUrl);

// The host's first label without a leading "www."; the whole host when it
// has no dot. Characters that would break a record ("=", "|") are left out.
CodePageString EngineBaseName(const CodePageString& pageUrl);
// The base name, or base + "1", "2", ... : the first that occurs (letter case
// ignored) in none of the names.
CodePageString UniqueEngineName(const CodePageString& base, const std::vector<CodePageString>& names);

// application/x-www-form-urlencoded: letters, digits and "-._*" stay, a
// blank becomes "+", every other byte %XX.
CodePageString FormEncode(std::string_view text);
// The character references of an attribute value as a browser reads them:
// &amp; &lt; &gt; &quot; &apos; and numeric ones below 256; others stay.
CodePageString DecodeCharRefs(std::string_view text);

// --- the custom engine record ------------------------------------------------------------

// A record's 38 fields by number (index 0 unused).
using TEngineFields = std::array<CodePageString, EngineFieldCount + 1>;

// The name as a custom record stores it: blanks become "+", line breaks go.
CodePageString StoredEngineName(const CodePageString& typed);
// "name=" and the 38 fields each ended by "|", the whole line stored as the
// name is.
CodePageString CustomEngineLine(const CodePageString& name, const TEngineFields& fields);
// The fields of a record's value part (the text after "=").
TEngineFields EngineFieldsOf(const CodePageString& value);
// What an analysed form gives a record: fields 2 to 22 and 38 (the type is the user's).
TEngineFields EngineFieldsOfForm(const TSubmitForm& form, const CodePageString& pageUrl);
