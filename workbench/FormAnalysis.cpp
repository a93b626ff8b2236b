#include "workbench/FormAnalysis.h"

#include <cctype>
#include <string>

#include "transport/HttpUtil.h"

namespace {

constexpr std::size_t npos = std::string_view::npos;

bool Has(std::string_view text, std::string_view what)
{
    return text.find(what) != npos;
}

// "MARKER=" or "MARKER=\"" followed by what.
bool HasAfterEquals(std::string_view text, std::string_view marker, std::string_view what)
{
    std::string plain(marker);
    plain += what;
    if (Has(text, plain))
        return true;
    std::string quoted(marker);
    quoted += '"';
    quoted += what;
    return Has(text, quoted);
}

// A "NAME=" (or "NAME=" and a double quote) anywhere in the tag directly
// followed by what: a prefix test, so URLNAME meets both URL and URLNAME.
bool NameStartsWith(std::string_view upper, std::string_view what)
{
    constexpr std::string_view marker = "NAME=";
    for (auto p = upper.find(marker); p != npos; p = upper.find(marker, p + 1)) {
        std::string_view after = upper.substr(p + marker.size());
        if (after.substr(0, what.size()) == what)
            return true;
        if (!after.empty() && after.front() == '"' && after.substr(1, what.size()) == what)
            return true;
    }
    return false;
}

// One tag of the scan: the upper-cased text the tests look at and the text
// as written that values are taken from.
struct TTag {
    std::string_view upper;
    std::string_view text;

    bool Has(std::string_view what) const { return ::Has(upper, what); }
    // The value after the first occurrence of marker: in double quotes up
    // to the closing one, else up to a double quote, blank or ">"; never
    // past the end of the tag. A quoted value keeps its blanks and may hold
    // "<" and ">" (the tag runs past them, see NextTagEnd); one whose quote
    // never closes ends as an unquoted one.
    bool Value(std::string_view marker, std::string_view& value) const
    {
        const auto at = upper.find(marker);
        if (at == npos)
            return false;
        auto from = at + marker.size();
        const bool quoted = from < text.size() && text[from] == '"';
        if (quoted)
            ++from;
        auto to = quoted ? text.find('"', from) : npos;
        if (to == npos)
            to = text.find_first_of("\" >", from);
        if (to == npos)
            to = text.size();
        value = text.substr(from, to - from);
        return true;
    }
};

// Where the tag that starts at start (after its "<") ends: after the first
// ">" outside a quoted value, or at the next "<" outside one when that comes
// first, so that a stray "<" never makes a tag swallow the tags after it. A
// quoted value is a double quote straight after "=" up to the next double
// quote; a quote that never closes quotes nothing. Every byte is looked at a
// bounded number of times: once a quote finds no partner, no quote follows.
std::size_t NextTagEnd(std::string_view text, std::size_t start)
{
    std::size_t i = start;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '>')
            return i + 1;
        if (c == '<')
            return i;
        if (c == '"' && i > start && text[i - 1] == '=') {
            const auto close = text.find('"', i + 1);
            if (close != npos) {
                i = close + 1;
                continue;
            }
        }
        ++i;
    }
    return text.size();
}

// A value from the page that would shift every later field of the stored
// record cannot be taken as a field name or an action.
bool FitsRecord(std::string_view value)
{
    return value.find_first_of("|\r\n") == npos;
}

// The words of the category rule, as bits.
constexpr const char* CategoryWords[] = {
    "Automotive", "Business",  "Communications", "Community", "Computers",  "Consumer",      "Education",
    "Employment", "Entertainment", "Finance",    "Government", "Health",    "Internet",      "Manufacturing",
    "Media",      "Medical",   "Miscellaneous",  "News",      "Opportunities", "Personal",   "Politics",
    "Publishing", "Recreation", "Reference",     "Religion",  "Sci-Tech",   "Services",      "Transportation",
    "Travel",     "Web_Stuff", "Web Stuff",      "Other",
};
constexpr int WordCount = static_cast<int>(std::size(CategoryWords));
static_assert(WordCount <= 64);

constexpr std::uint64_t Bit(std::string_view word)
{
    for (int i = 0; i < WordCount; ++i)
        if (word == CategoryWords[i])
            return std::uint64_t{1} << i;
    return 0;
}

constexpr std::uint64_t Words(std::initializer_list<std::string_view> words)
{
    std::uint64_t bits = 0;
    for (std::string_view w : words)
        bits |= Bit(w);
    return bits;
}

// The first 30 words: a full list of thirty categories.
constexpr std::uint64_t Cat3Words = (std::uint64_t{1} << 30) - 1;
constexpr std::uint64_t Cat2Words = Words({"Business", "Computers", "Education", "Entertainment", "Government",
                                           "Personal", "Health", "Recreation", "Web Stuff", "Miscellaneous"});
constexpr std::uint64_t Cat1Words = Words({"Business", "Computers", "Education", "Entertainment", "Government",
                                           "Personal", "Miscellaneous"});

std::uint64_t WordsIn(std::string_view line)
{
    std::uint64_t bits = 0;
    for (int i = 0; i < WordCount; ++i)
        if (Has(line, CategoryWords[i]))
            bits |= std::uint64_t{1} << i;
    return bits;
}

// The texts of the block's select lists: every text between two tags up to
// the last bare <OPTION> and the text after it, then the text after each
// <OPTION SELECTED>. Each select is read once.
void CollectSelectTexts(std::string_view text, std::string_view upper, std::vector<CodePageString>& out)
{
    std::size_t scan = 0;
    while ((scan = upper.find("<SELECT", scan)) != npos) {
        const auto close = upper.find("</SELECT", scan);
        const auto end = close == npos ? text.size() : close + 8;
        const std::string_view select = text.substr(scan, end - scan);
        const std::string_view selectUpper = upper.substr(scan, end - scan);
        scan = end;

        const auto lastOption = selectUpper.rfind("<OPTION>");
        std::size_t at = 0;
        while (lastOption != npos && at <= lastOption) {
            const auto gt = select.find('>', at);
            if (gt == npos)
                break;
            at = gt + 1;
            const auto lt = select.find('<', at);
            std::string_view piece = select.substr(at, lt == npos ? npos : lt - at);
            const auto nbsp = piece.find("&nbsp;");
            if (nbsp != npos)
                piece = piece.substr(0, nbsp);
            if (!piece.empty() && piece != " " && piece != "\r" && piece != "\n" && piece != "\r\n") {
                if (!piece.empty() && piece.front() == ' ')
                    piece.remove_prefix(1);
                if (!piece.empty() && piece.front() == '\r')
                    piece.remove_prefix(1);
                if (!piece.empty() && piece.front() == '\n')
                    piece.remove_prefix(1);
                out.emplace_back(piece);
            }
            at = lt == npos ? select.size() : lt;
        }

        constexpr std::string_view selected = "<OPTION SELECTED>";
        for (auto p = selectUpper.find(selected); p != npos; p = selectUpper.find(selected, p + 1)) {
            const auto from = p + selected.size();
            const auto lt = select.find('<', from);
            out.emplace_back(select.substr(from, lt == npos ? npos : lt - from));
        }
    }
}

void ApplyCategoryRule(TSubmitForm& form, std::uint64_t words)
{
    const auto all = [words](std::uint64_t wanted) { return (words & wanted) == wanted; };
    if (all(Cat3Words)) {
        form.CategoryType = "Cat3";
    } else if (all(Cat2Words)) {
        form.CategoryType = "Cat2";
    } else if (all(Cat1Words)) {
        form.CategoryType = "Cat1";
    } else {
        // A list of another kind: the engine gets one fixed category, sent
        // with the extra parameters.
        for (const char* fallback : {"Business", "Miscellaneous", "Other"}) {
            if ((words & Bit(fallback)) && !form.Category.empty()) {
                form.Hidden += "&" + form.Category + "=" + fallback;
                form.Category = "default";
                return;
            }
        }
        form.Category.clear();
    }
}

void ScanTag(const TTag& tag, TFormPage& page, TSubmitForm& form)
{
    std::string_view value;

    if (tag.Has("METHOD=")) {
        // A form tag without an action posts to its own page; another tag
        // that merely mentions a method needs an action of its own.
        const bool formTag = tag.upper.rfind("FORM", 0) == 0;
        std::string_view action;
        const bool hasAction = tag.Value("ACTION=", action);
        if ((hasAction && !action.empty()) || formTag) {
            // The page's own address counts too: a relocation may have led
            // to one that holds a bar.
            const CodePageString resolved = ResolveFormAction(DecodeCharRefs(action), page.PageUrl);
            if (FitsRecord(resolved)) {
                form.Method = HasAfterEquals(tag.upper, "METHOD=", "POST") ? "POST" : "GET";
                form.Action = resolved;
            }
        }
    }

    if (tag.Has("INPUT") && !tag.Has("HIDDEN")) {
        std::string_view name;
        if (tag.Value("NAME=", name) && FitsRecord(name) && !HasAfterEquals(tag.upper, "TYPE=", "SUBMIT")) {
            for (const TFieldMapRow& row : FieldMapping)
                if (row.Field != TFormField::Catagory && NameStartsWith(tag.upper, row.FormName))
                    form.Field(row.Field) = CodePageString(name);
        }
    }

    if (HasAfterEquals(tag.upper, "TYPE=", "HIDDEN")) {
        std::string_view name, hiddenValue;
        if (tag.Value("NAME=", name) && tag.Value("ALUE=", hiddenValue) && !name.empty())
            form.Hidden += "&" + FormEncode(name) + "=" + FormEncode(DecodeCharRefs(hiddenValue));
    }

    if (tag.Has("TEXTAREA")) {
        std::string_view name;
        if (tag.Value("NAME=", name) && FitsRecord(name)) {
            const std::string upperName = UpperCase(CodePageString(name));
            for (const TFieldMapRow& row : FieldMapping) {
                if (upperName == row.FormName) {
                    if (row.Field != TFormField::Catagory)
                        form.Field(row.Field) = CodePageString(name);
                    break;
                }
            }
        }
    }

    if (tag.Has("SELECT NAME=") && tag.Value("NAME=", value)) {
        const std::string upperName = UpperCase(CodePageString(value));
        if (upperName == "SECTION" || upperName == "SELECTION" || upperName == "CATAGORY")
            form.Category = CodePageString(value);
    }

    if (tag.Has("OPTION VALUE=") && tag.Value("ALUE=", value))
        form.OptionTexts.emplace_back(value);
}

// The authority with a partner host in place of the page's host, when the
// page's site posts elsewhere.
std::string PartnerAuthority(std::string_view authority)
{
    const auto at = authority.rfind('@');
    const std::string_view user = at == npos ? std::string_view() : authority.substr(0, at + 1);
    std::string_view hostPort = at == npos ? authority : authority.substr(at + 1);
    const auto colon = hostPort.find(':');
    const std::string_view host = hostPort.substr(0, colon);
    const std::string_view port = colon == npos ? std::string_view() : hostPort.substr(colon);
    const std::string lower = LowerCase(CodePageString(host));
    for (const TPartnerHosts& pair : PartnerHosts) {
        for (const bool www : {false, true}) {
            const std::string page = (www ? "www." : "") + std::string(pair.PageHost);
            if (lower == page)
                return std::string(user) + (www ? "www." : "") + pair.PostHost + std::string(port);
        }
    }
    return std::string(authority);
}

std::string EncodeBlanks(std::string_view url)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(url.size());
    for (const char ch : url) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c == 0x7F) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

std::string_view HostOf(std::string_view url)
{
    const TUrlReference parts = SplitReference(url);
    std::string_view authority = parts.authority;
    const auto at = authority.rfind('@');
    if (at != npos)
        authority.remove_prefix(at + 1);
    return authority.substr(0, authority.find(':'));
}

}  // namespace

CodePageString& TSubmitForm::Field(TFormField field)
{
    switch (field) {
    case TFormField::Url: return Url;
    case TFormField::Email: return Email;
    case TFormField::Name: return Name;
    case TFormField::Catagory: return Category;
    case TFormField::Title: return Title;
    case TFormField::Description: return Description;
    case TFormField::Phone: return Phone;
    case TFormField::Fax: return Fax;
    case TFormField::City: return City;
    case TFormField::Keywords: return Keywords;
    case TFormField::Zip: return Zip;
    case TFormField::State: return State;
    case TFormField::Country: return Country;
    case TFormField::Address: return Address;
    }
    return Url;
}

std::vector<TFormBlock> SplitFormBlocks(std::string_view page)
{
    std::vector<TFormBlock> blocks;
    if (page.empty())
        return blocks;
    const std::string upper = UpperCase(CodePageString(page));
    std::size_t begin = 0;
    std::size_t from = 0;
    for (;;) {
        const auto marker = upper.find("</FOR", from);
        const auto end = marker == npos ? page.size() : marker;
        TFormBlock block;
        block.Text = page.substr(begin, end - begin);
        const std::string_view blockUpper = std::string_view(upper).substr(begin, end - begin);
        block.TakesUrl = NameStartsWith(blockUpper, "URL") || NameStartsWith(blockUpper, "NEWURL");
        blocks.push_back(block);
        if (marker == npos)
            break;
        begin = marker;
        from = marker + 1;
    }
    return blocks;
}

bool AnalyseFormBlock(std::string_view block, TFormPage& page, TSubmitForm& form, const TScanPoll& poll)
{
    // Line breaks go, joining the text on either side.
    std::string text;
    text.reserve(block.size());
    for (const char c : block)
        if (c != '\n' && c != '\r')
            text += c;
    const std::string upper = UpperCase(text);

    // The tag scan, one tag after the other (NextTagEnd).
    constexpr int PollEvery = 4096;
    int untilPoll = PollEvery;
    std::size_t at = 0;
    while ((at = upper.find('<', at)) != npos) {
        const auto start = at + 1;
        const auto end = NextTagEnd(upper, start);
        ScanTag({std::string_view(upper).substr(start, end - start), std::string_view(text).substr(start, end - start)},
                page, form);
        at = end;
        if (poll && --untilPoll == 0) {
            untilPoll = PollEvery;
            if (!poll())
                return false;
        }
    }

    // The select lists. Those of the page's earlier forms count for this
    // one's category too; they are carried as the words they held.
    std::vector<CodePageString> selectTexts;
    CollectSelectTexts(text, upper, selectTexts);
    std::uint64_t selectWords = 0;
    for (const CodePageString& line : selectTexts)
        selectWords |= WordsIn(line);
    std::uint64_t words = page.CarriedWords | selectWords;
    for (const CodePageString& line : form.OptionTexts)
        words |= WordsIn(line);
    page.CarriedWords |= selectWords;
    form.OptionTexts.insert(form.OptionTexts.end(), selectTexts.begin(), selectTexts.end());

    ApplyCategoryRule(form, words);
    return true;
}

bool FindSubmitForms(std::string_view page, const CodePageString& pageUrl,
                     const std::function<bool(TSubmitForm& form)>& onForm, const std::function<void()>& onSkipped,
                     const TScanPoll& poll)
{
    TFormPage state{pageUrl};
    bool analysed = false;
    for (const TFormBlock& block : SplitFormBlocks(page)) {
        if (!block.TakesUrl) {
            // Each such block before the first analysed one is told; after
            // it (the text after a page's form included) they pass silently.
            if (!analysed && onSkipped)
                onSkipped();
            continue;
        }
        TSubmitForm form;
        if (!AnalyseFormBlock(block.Text, state, form, poll))
            return false;
        analysed = true;
        if (onForm && !onForm(form))
            return false;
    }
    return true;
}

bool MeetsRequirements(TSubmitForm& form)
{
    if (form.Action.empty() || form.Url.empty() || form.Category.empty())
        return false;
    // Submissions go out over HTTP: a script or mail action would fail on every run.
    const std::string_view scheme = SchemeOf(form.Action);
    if (!SameText(scheme, "http") && !SameText(scheme, "https"))
        return false;
    if (form.Category == "default")
        form.Category.clear();
    return true;
}

CodePageString ResolveFormAction(const CodePageString& action, const CodePageString& pageUrl)
{
    const TUrlReference ref = SplitReference(action);
    if (!ref.scheme.empty())
        return EncodeBlanks(action.substr(0, action.find('#')));

    // A page typed without a scheme is fetched over HTTP.
    const std::string base = SchemeOf(pageUrl).empty() ? "http://" + pageUrl : std::string(pageUrl);
    const TUrlReference page = SplitReference(base);
    std::string result(page.scheme);
    result += ':';
    if (ref.hasAuthority) {
        result += "//" + std::string(ref.authority) + RemoveDotSegments(ref.path) + std::string(ref.query);
        return EncodeBlanks(result);
    }
    result += "//" + PartnerAuthority(page.authority);
    if (ref.path.empty()) {
        result += page.path.empty() ? std::string_view("/") : page.path;
        result += ref.query.empty() ? page.query : ref.query;
    } else if (ref.path.front() == '/') {
        result += RemoveDotSegments(ref.path) + std::string(ref.query);
    } else {
        std::string merged;
        const auto slash = page.path.rfind('/');
        merged = slash == npos ? "/" : std::string(page.path.substr(0, slash + 1));
        merged += ref.path;
        result += RemoveDotSegments(merged) + std::string(ref.query);
    }
    return EncodeBlanks(result);
}

CodePageString EngineBaseName(const CodePageString& pageUrl)
{
    const std::string url = SchemeOf(pageUrl).empty() ? "http://" + pageUrl : std::string(pageUrl);
    std::string_view host = HostOf(url);
    if (SameText(host.substr(0, 4), "www."))
        host.remove_prefix(4);
    // A host without a dot ("localhost") gives its whole name: an empty
    // name would key the record on nothing.
    const auto dot = host.find('.');
    if (dot != npos)
        host = host.substr(0, dot);
    CodePageString base;
    for (const char c : host)
        if (c != '=' && c != '|')
            base += c;
    return base;
}

CodePageString UniqueEngineName(const CodePageString& base, const std::vector<CodePageString>& names)
{
    std::string text;
    for (const CodePageString& name : names) {
        text += LowerCase(name);
        text += '\n';
    }
    const std::string lowerBase = LowerCase(base);
    if (!lowerBase.empty() && !Has(text, lowerBase))
        return base;
    for (unsigned n = 1;; ++n) {
        const std::string suffix = std::to_string(n);
        if (!Has(text, lowerBase + suffix))
            return base + suffix;
    }
}

CodePageString FormEncode(std::string_view text)
{
    static const char hex[] = "0123456789ABCDEF";
    CodePageString out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '*') {
            out += ch;
        } else if (c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

CodePageString DecodeCharRefs(std::string_view text)
{
    static constexpr struct {
        std::string_view name;
        char c;
    } named[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    CodePageString out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const auto semi = text.find(';', i + 1);
        if (semi == npos || semi - i > 10) {
            out += '&';
            continue;
        }
        const std::string_view ref = text.substr(i + 1, semi - i - 1);
        int code = -1;
        if (ref.size() > 1 && ref[0] == '#') {
            const bool hexRef = ref[1] == 'x' || ref[1] == 'X';
            const std::string_view digits = ref.substr(hexRef ? 2 : 1);
            int value = 0;
            bool ok = !digits.empty();
            for (const char d : digits) {
                const int v = std::isdigit(static_cast<unsigned char>(d)) ? d - '0'
                              : hexRef && std::isxdigit(static_cast<unsigned char>(d))
                                  ? (std::tolower(static_cast<unsigned char>(d)) - 'a' + 10)
                                  : -1;
                if (v < 0 || value > 255) {
                    ok = false;
                    break;
                }
                value = value * (hexRef ? 16 : 10) + v;
            }
            if (ok && value < 256)
                code = value;
        } else {
            for (const auto& entity : named)
                if (ref == entity.name)
                    code = static_cast<unsigned char>(entity.c);
        }
        if (code < 0) {
            out += '&';
            continue;
        }
        out += static_cast<char>(code);
        i = semi;
    }
    return out;
}

CodePageString StoredEngineName(const CodePageString& typed)
{
    CodePageString stored;
    for (const char c : typed) {
        if (c == '\n' || c == '\r')
            continue;
        stored += c == ' ' ? '+' : c;
    }
    return stored;
}

CodePageString CustomEngineLine(const CodePageString& name, const TEngineFields& fields)
{
    CodePageString line = name + "=";
    for (int field = 1; field <= EngineFieldCount; ++field)
        line += fields[std::size_t(field)] + "|";
    // Blanks become "+" over the whole line, as the record is sent as stored.
    return StoredEngineName(line);
}

TEngineFields EngineFieldsOf(const CodePageString& value)
{
    TEngineFields fields;
    std::size_t begin = 0;
    for (int field = 1; field <= EngineFieldCount && begin <= value.size(); ++field) {
        const auto bar = value.find('|', begin);
        fields[std::size_t(field)] = value.substr(begin, bar == npos ? npos : bar - begin);
        if (bar == npos)
            break;
        begin = bar + 1;
    }
    return fields;
}

TEngineFields EngineFieldsOfForm(const TSubmitForm& form, const CodePageString& pageUrl)
{
    TEngineFields fields;
    fields[efSubmitPage] = pageUrl;
    fields[efFormAction] = form.Action;
    fields[efTitle] = form.Title;
    fields[efUrl] = form.Url;
    fields[efEmail] = form.Email;
    fields[efDescription] = form.Description;
    fields[efCategory] = form.Category;
    fields[efCategoryType] = form.CategoryType;
    fields[efName] = form.Name;
    fields[efExtra] = form.Hidden;
    fields[efAddress1] = form.Address;
    fields[efCity] = form.City;
    fields[efState] = form.State;
    fields[efZip] = form.Zip;
    fields[efPhone] = form.Phone;
    fields[efFax] = form.Fax;
    fields[efMethod] = form.Method;
    fields[efKeywords] = form.Keywords;
    fields[efCountry] = form.Country;
    return fields;
}
