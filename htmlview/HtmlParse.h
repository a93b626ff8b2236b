// The HTML viewer's tokenizer and its fixed vocabulary: a tag's attribute
// list, the tag, attribute, entity and colour tables, the font size steps
// and heading sizes, and ParserState, which reads single-byte text from a
// buffer, a string list or a file, folds line ends, removes comments and
// declarations, serves include directives, decodes entities and hands out
// one token at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Graphics.h"
#include "classlib/Strings.h"
#include "htmlview/HtmlUtil.h"

// The only error the parser raises: the end of the document inside a comment
// or a "<!" declaration.
class EParseError : public Exception {
public:
    using Exception::Exception;
};
inline constexpr const char* OpenCommentMessage = "Open Comment at End of HTML File";

// --- tag attributes ------------------------------------------------------------

// One attribute of the current tag. An attribute the tables do not know is
// kept with the symbol UnknownAttr and without its name.
struct TAttribute {
    HtmlSymbol Symbol = HtmlSymbol::UnknownAttr;
    int Value = 0;    // the numeric value, 0 when the text is not a number
    CodePageString Text;  // the value as written (quoted values trimmed, entities decoded)
    friend bool operator==(const TAttribute&, const TAttribute&) = default;
};

class TAttributeList : public TFreeList<TAttribute> {
public:
    using TFreeList::Add;
    TAttribute* Add(HtmlSymbol symbol, int value, CodePageString text)
    {
        return TFreeList::Add(std::make_unique<TAttribute>(TAttribute{symbol, value, std::move(text)}));
    }
    // The first attribute with that symbol.
    bool FindSymbol(HtmlSymbol symbol, TAttribute*& attribute) const;
};

// --- the tables --------------------------------------------------------------

struct TagEntry {
    std::string_view Name;  // upper case, letters only
    HtmlSymbol Start;
    HtmlSymbol End;  // UnknownTag for the tags without an end tag
};

// The first 48 tags have end tags; "</LI>", "</BR>" and the like are unknown.
// The six headings are the one entry H, whose level follows as a digit.
inline constexpr std::array<TagEntry, 64> TagTable = {{
    {"HTML", HtmlSymbol::Html, HtmlSymbol::HtmlEnd},
    {"TITLE", HtmlSymbol::Title, HtmlSymbol::TitleEnd},
    {"BODY", HtmlSymbol::Body, HtmlSymbol::BodyEnd},
    {"HEAD", HtmlSymbol::Head, HtmlSymbol::HeadEnd},
    {"B", HtmlSymbol::B, HtmlSymbol::BEnd},
    {"I", HtmlSymbol::I, HtmlSymbol::IEnd},
    {"H", HtmlSymbol::H, HtmlSymbol::HEnd},
    {"EM", HtmlSymbol::Em, HtmlSymbol::EmEnd},
    {"STRONG", HtmlSymbol::Strong, HtmlSymbol::StrongEnd},
    {"U", HtmlSymbol::U, HtmlSymbol::UEnd},
    {"CITE", HtmlSymbol::Cite, HtmlSymbol::CiteEnd},
    {"VAR", HtmlSymbol::Var, HtmlSymbol::VarEnd},
    {"TT", HtmlSymbol::TT, HtmlSymbol::TTEnd},
    {"CODE", HtmlSymbol::Code, HtmlSymbol::CodeEnd},
    {"KBD", HtmlSymbol::Kbd, HtmlSymbol::KbdEnd},
    {"SAMP", HtmlSymbol::Samp, HtmlSymbol::SampEnd},
    {"OL", HtmlSymbol::OL, HtmlSymbol::OLEnd},
    {"UL", HtmlSymbol::UL, HtmlSymbol::ULEnd},
    {"DIR", HtmlSymbol::Dir, HtmlSymbol::DirEnd},
    {"MENU", HtmlSymbol::Menu, HtmlSymbol::MenuEnd},
    {"DL", HtmlSymbol::DL, HtmlSymbol::DLEnd},
    {"A", HtmlSymbol::A, HtmlSymbol::AEnd},
    {"ADDRESS", HtmlSymbol::Address, HtmlSymbol::AddressEnd},
    {"BLOCKQUOTE", HtmlSymbol::BlockQuote, HtmlSymbol::BlockQuoteEnd},
    {"PRE", HtmlSymbol::Pre, HtmlSymbol::PreEnd},
    {"CENTER", HtmlSymbol::Center, HtmlSymbol::CenterEnd},
    {"TABLE", HtmlSymbol::Table, HtmlSymbol::TableEnd},
    {"TD", HtmlSymbol::TD, HtmlSymbol::TDEnd},
    {"TH", HtmlSymbol::TH, HtmlSymbol::THEnd},
    {"CAPTION", HtmlSymbol::Caption, HtmlSymbol::CaptionEnd},
    {"FORM", HtmlSymbol::Form, HtmlSymbol::FormEnd},
    {"TEXTAREA", HtmlSymbol::TextArea, HtmlSymbol::TextAreaEnd},
    {"SELECT", HtmlSymbol::Select, HtmlSymbol::SelectEnd},
    {"OPTION", HtmlSymbol::Option, HtmlSymbol::OptionEnd},
    {"FONT", HtmlSymbol::Font, HtmlSymbol::FontEnd},
    {"SUB", HtmlSymbol::Sub, HtmlSymbol::SubEnd},
    {"SUP", HtmlSymbol::Sup, HtmlSymbol::SupEnd},
    {"BIG", HtmlSymbol::Big, HtmlSymbol::BigEnd},
    {"SMALL", HtmlSymbol::Small, HtmlSymbol::SmallEnd},
    {"P", HtmlSymbol::P, HtmlSymbol::PEnd},
    {"MAP", HtmlSymbol::Map, HtmlSymbol::MapEnd},
    {"FRAMESET", HtmlSymbol::FrameSet, HtmlSymbol::FrameSetEnd},
    {"NOFRAMES", HtmlSymbol::NoFrames, HtmlSymbol::NoFramesEnd},
    {"SCRIPT", HtmlSymbol::Script, HtmlSymbol::ScriptEnd},
    {"DIV", HtmlSymbol::Div, HtmlSymbol::DivEnd},
    {"S", HtmlSymbol::S, HtmlSymbol::SEnd},
    {"STRIKE", HtmlSymbol::Strike, HtmlSymbol::StrikeEnd},
    {"TR", HtmlSymbol::TR, HtmlSymbol::TREnd},
    {"LI", HtmlSymbol::LI, HtmlSymbol::UnknownTag},
    {"BR", HtmlSymbol::BR, HtmlSymbol::UnknownTag},
    {"HR", HtmlSymbol::HR, HtmlSymbol::UnknownTag},
    {"DD", HtmlSymbol::DD, HtmlSymbol::UnknownTag},
    {"DT", HtmlSymbol::DT, HtmlSymbol::UnknownTag},
    {"IMG", HtmlSymbol::Img, HtmlSymbol::UnknownTag},
    {"BASE", HtmlSymbol::Base, HtmlSymbol::UnknownTag},
    {"BUTTON", HtmlSymbol::Button, HtmlSymbol::UnknownTag},
    {"INPUT", HtmlSymbol::Input, HtmlSymbol::UnknownTag},
    {"SELECTED", HtmlSymbol::Selected, HtmlSymbol::UnknownTag},
    {"BASEFONT", HtmlSymbol::BaseFont, HtmlSymbol::UnknownTag},
    {"AREA", HtmlSymbol::Area, HtmlSymbol::UnknownTag},
    {"FRAME", HtmlSymbol::Frame, HtmlSymbol::UnknownTag},
    {"BGSOUND", HtmlSymbol::BgSound, HtmlSymbol::UnknownTag},
    {"WRAP", HtmlSymbol::Wrap, HtmlSymbol::UnknownTag},
    {"META", HtmlSymbol::Meta, HtmlSymbol::UnknownTag},
}};

struct AttributeEntry {
    std::string_view Name;  // upper case, letters and "-"
    HtmlSymbol Symbol;
};

// The first entry of a name wins (VALUE is there twice).
inline constexpr std::array<AttributeEntry, 58> AttributeTable = {{
    {"HREF", HtmlSymbol::Href},
    {"NAME", HtmlSymbol::Name},
    {"SRC", HtmlSymbol::Src},
    {"ALT", HtmlSymbol::Alt},
    {"ALIGN", HtmlSymbol::Align},
    {"TEXT", HtmlSymbol::Text},
    {"BGCOLOR", HtmlSymbol::BgColor},
    {"LINK", HtmlSymbol::Link},
    {"BACKGROUND", HtmlSymbol::Background},
    {"COLSPAN", HtmlSymbol::ColSpan},
    {"ROWSPAN", HtmlSymbol::RowSpan},
    {"BORDER", HtmlSymbol::Border},
    {"CELLPADDING", HtmlSymbol::CellPadding},
    {"CELLSPACING", HtmlSymbol::CellSpacing},
    {"VALIGN", HtmlSymbol::VAlign},
    {"WIDTH", HtmlSymbol::Width},
    {"START", HtmlSymbol::Start},
    {"VALUE", HtmlSymbol::Value},
    {"TYPE", HtmlSymbol::Type},
    {"CHECKBOX", HtmlSymbol::CheckBox},
    {"RADIO", HtmlSymbol::Radio},
    {"METHOD", HtmlSymbol::Method},
    {"ACTION", HtmlSymbol::Action},
    {"CHECKED", HtmlSymbol::Checked},
    {"SIZE", HtmlSymbol::Size},
    {"MAXLENGTH", HtmlSymbol::MaxLength},
    {"COLS", HtmlSymbol::Cols},
    {"ROWS", HtmlSymbol::Rows},
    {"MULTIPLE", HtmlSymbol::Multiple},
    {"VALUE", HtmlSymbol::Value},
    {"SELECTED", HtmlSymbol::Selected},
    {"FACE", HtmlSymbol::Face},
    {"COLOR", HtmlSymbol::Color},
    {"TRANSP", HtmlSymbol::Transp},
    {"CLEAR", HtmlSymbol::Clear},
    {"ISMAP", HtmlSymbol::IsMap},
    {"BORDERCOLOR", HtmlSymbol::BorderColor},
    {"USEMAP", HtmlSymbol::UseMap},
    {"SHAPE", HtmlSymbol::Shape},
    {"COORDS", HtmlSymbol::Coords},
    {"NOHREF", HtmlSymbol::NoHref},
    {"HEIGHT", HtmlSymbol::Height},
    {"PLAIN", HtmlSymbol::Plain},
    {"TARGET", HtmlSymbol::Target},
    {"NORESIZE", HtmlSymbol::NoResize},
    {"SCROLLING", HtmlSymbol::Scrolling},
    {"HSPACE", HtmlSymbol::HSpace},
    {"LANGUAGE", HtmlSymbol::Language},
    {"FRAMEBORDER", HtmlSymbol::FrameBorder},
    {"MARGINWIDTH", HtmlSymbol::MarginWidth},
    {"MARGINHEIGHT", HtmlSymbol::MarginHeight},
    {"LOOP", HtmlSymbol::Loop},
    {"ONCLICK", HtmlSymbol::OnClick},
    {"WRAP", HtmlSymbol::Wrap},
    {"NOSHADE", HtmlSymbol::NoShade},
    {"HTTP-EQUIV", HtmlSymbol::HttpEquiv},
    {"CONTENT", HtmlSymbol::Content},
    {"ENCTYPE", HtmlSymbol::EncType},
}};

// Entity names, compared case-sensitively: amp, lt, gt and quot, then the
// Latin-1 set in code order from nbsp (160) to yuml (255).
inline constexpr std::array<std::string_view, 100> EntityNames = {
    "amp",    "lt",     "gt",     "quot",   "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",
    "brvbar", "sect",   "uml",    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",
    "deg",    "plusmn", "sup2",   "sup3",   "acute",  "micro",  "para",   "middot", "cedil",  "sup1",
    "ordm",   "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde",
    "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave", "Iacute",
    "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",   "times",
    "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",  "szlig",  "agrave", "aacute",
    "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil", "egrave", "eacute", "ecirc",  "euml",
    "igrave", "iacute", "icirc",  "iuml",   "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde",
    "ouml",   "divide", "oslash", "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml",
};
// The character entity number `index` stands for.
constexpr char EntityChar(std::size_t index)
{
    constexpr char first[] = {'&', '<', '>', '"'};
    return index < 4 ? first[index] : char(156 + index);
}

// The HTML 4 entity names whose character Windows-1252 holds beyond
// Latin-1, with the byte that holds it.
struct CodePageEntity {
    std::string_view Name;
    unsigned char Byte;
};
inline constexpr std::array<CodePageEntity, 25> CodePageEntities = {{
    {"euro", 0x80},   {"sbquo", 0x82},  {"fnof", 0x83},   {"bdquo", 0x84},  {"hellip", 0x85},
    {"dagger", 0x86}, {"Dagger", 0x87}, {"circ", 0x88},   {"permil", 0x89}, {"Scaron", 0x8A},
    {"lsaquo", 0x8B}, {"OElig", 0x8C},  {"lsquo", 0x91},  {"rsquo", 0x92},  {"ldquo", 0x93},
    {"rdquo", 0x94},  {"bull", 0x95},   {"ndash", 0x96},  {"mdash", 0x97},  {"tilde", 0x98},
    {"trade", 0x99},  {"scaron", 0x9A}, {"rsaquo", 0x9B}, {"oelig", 0x9C},  {"Yuml", 0x9F},
}};

struct ColorEntry {
    std::string_view Name;
    TColor Color;
};

inline constexpr std::array<ColorEntry, 16> ColorTable = {{
    {"BLACK", RGB(0x00, 0x00, 0x00)},  {"MAROON", RGB(0x80, 0x00, 0x00)}, {"GREEN", RGB(0x00, 0x80, 0x00)},
    {"OLIVE", RGB(0x80, 0x80, 0x00)},  {"NAVY", RGB(0x00, 0x00, 0x80)},   {"PURPLE", RGB(0x80, 0x00, 0x80)},
    {"TEAL", RGB(0x00, 0x80, 0x80)},   {"GRAY", RGB(0x80, 0x80, 0x80)},   {"SILVER", RGB(0xC0, 0xC0, 0xC0)},
    {"RED", RGB(0xFF, 0x00, 0x00)},    {"LIME", RGB(0x00, 0xFF, 0x00)},   {"YELLOW", RGB(0xFF, 0xFF, 0x00)},
    {"BLUE", RGB(0x00, 0x00, 0xFF)},   {"FUCHSIA", RGB(0xFF, 0x00, 0xFF)}, {"AQUA", RGB(0x00, 0xFF, 0xFF)},
    {"WHITE", RGB(0xFF, 0xFF, 0xFF)},
}};

// A colour name of the table or a hexadecimal "rrggbb" (with or without "#")
// as a Windows colour (red in the low byte); false when it is neither.
bool ParseColor(const CodePageString& text, TColor& color);

// Font sizes in points for the size steps 1 to 7 (step 1 at index 0), for
// ordinary text and inside preformatted text.
inline constexpr std::array<int, 7> FontSizeSteps = {8, 10, 12, 14, 18, 24, 36};
inline constexpr std::array<int, 7> PreFontSizeSteps = {7, 8, 10, 12, 15, 20, 30};
// The step (1 to 7) whose size is `points`, trying for each step the
// preformatted size first when usePreSteps is set; -1 when none matches.
int SizeStepOf(bool usePreSteps, int points);

struct HeadingFont {
    int Points;
    bool Bold;
};
// Index: the heading level; level 0 (no valid digit) is ordinary text.
inline constexpr std::array<HeadingFont, 7> HeadingFonts = {{
    {12, false}, {24, true}, {18, true}, {15, true}, {12, true}, {10, true}, {8, true},
}};

// The start tags whose attributes are gathered into TagAttributes; other
// tags have theirs read and dropped.
inline constexpr HtmlSymbolSet AttributeTags = {
    HtmlSymbol::Body,     HtmlSymbol::P,        HtmlSymbol::BR,     HtmlSymbol::H,       HtmlSymbol::HR,
    HtmlSymbol::Base,     HtmlSymbol::OL,       HtmlSymbol::UL,     HtmlSymbol::Img,     HtmlSymbol::A,
    HtmlSymbol::Table,    HtmlSymbol::TD,       HtmlSymbol::TR,     HtmlSymbol::TH,      HtmlSymbol::Caption,
    HtmlSymbol::Input,    HtmlSymbol::Form,     HtmlSymbol::TextArea, HtmlSymbol::Select, HtmlSymbol::Option,
    HtmlSymbol::Font,     HtmlSymbol::BaseFont, HtmlSymbol::Map,    HtmlSymbol::Area,    HtmlSymbol::FrameSet,
    HtmlSymbol::Frame,    HtmlSymbol::Script,   HtmlSymbol::Div,    HtmlSymbol::BgSound, HtmlSymbol::Wrap,
    HtmlSymbol::Meta,
};

// Content tokens after which the next paragraph tag spaces again.
inline constexpr HtmlSymbolSet ParagraphContent = {
    HtmlSymbol::BR,   HtmlSymbol::H,     HtmlSymbol::HR,       HtmlSymbol::Img,    HtmlSymbol::Text,
    HtmlSymbol::Table, HtmlSymbol::Input, HtmlSymbol::TextArea, HtmlSymbol::Select,
};

// Lookups in the tables: the tag entry by upper-case name (nullptr when
// unknown), the attribute symbol (UnknownAttr), the entity (-1).
const TagEntry* FindTag(std::string_view upperName);
HtmlSymbol FindAttribute(std::string_view upperName);
int FindEntity(std::string_view name);

// --- the tokenizer -------------------------------------------------------------

// Called for an include directive "<!--#command NAME=value ... -->": params
// holds NAME="value" lines (for the call only); a handler that sets buffer and
// a size above 0 has those bytes read in place of the directive. The bytes
// stay the handler's and must live until they have been read.
using TIncludeEvent = std::function<void(TObject* sender, const CodePageString& command, TStrings* params,
                                         const char*& buffer, int& size)>;

enum class TSourceKind : std::uint8_t { File = 0, Buffer = 1, Strings = 2, Include = 4 };

// The end of the document: every source gives it once its data is used up,
// and a byte 26 in the data ends the document there.
inline constexpr char EndOfInputChar = 26;

// The tokenizer's state over one document. Choose a source, call
// AdvanceChar() for the first character and NextToken() for each token; the
// document builder also reads CurrentChar, UpperChar and TokenText and uses
// AdvanceChar, SkipBlanks, ReadEntity and ReadTag in its raw-text modes.
class ParserState {
public:
    ParserState();
    ~ParserState();
    ParserState(const ParserState&) = delete;
    ParserState& operator=(const ParserState&) = delete;

    // Each starts a document: the previous source is dropped and the
    // character state reset (no push-back, KeepBlanks, RawScriptMode and
    // ParagraphSpaceDone off, TagAttributes empty). The bytes and the lines
    // must outlive the parse.
    void SetBufferSource(const char* data, std::size_t length);
    // Every line ends with a CR, the last one too.
    void SetStringsSource(const TStrings& lines);
    // Read through a 2000-byte buffer; EInOutError when the file cannot be
    // opened or read.
    void SetFileSource(const CodePageString& fileName);

    TIncludeEvent IncludeEvent;
    TObject* IncludeSender = nullptr;

    // The next raw byte of the current source, EndOfInputChar at its end.
    char ReadSourceChar()
    {
        if (FPos < FEnd) {
            const char c = *FPos++;
            if (c != EndOfInputChar)
                return c;
            EndAllSources();
            return c;
        }
        return RefillAndRead();
    }
    // The next character: CR LF, LF CR, CR and LF each become one CR, a tab a
    // blank. EParseError at the end of the document inside a comment.
    void NextChar()
    {
        // Most bytes are none of tab, LF, CR and the end, and come with no
        // byte pushed back.
        if (!FHasPushedBack && FPos < FEnd) {
            const char c = *FPos;
            if (static_cast<unsigned char>(c) > '\r' && c != EndOfInputChar) {
                ++FPos;
                CurrentChar = c;
                UpperChar = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
                return;
            }
        }
        NextCharSlowly();
    }
    // NextChar, then removes the comments, include directives and "<!"
    // declarations that start at the cursor.
    void AdvanceChar()
    {
        FCommentOpen = false;
        NextChar();
        if (CurrentChar == '<' && !RawScriptMode)
            RemoveCommentsAtLessThan();
    }
    // Advances over blanks and CRs.
    void SkipBlanks();
    // Reads one token: Symbol, TokenText, HeadingLevel, and TagAttributes for
    // the tags that take attributes.
    void NextToken();
    // At "&": reads an entity into a text token; false elsewhere.
    bool ReadEntity();
    // At "<": reads a tag (or the text "<" when no tag name follows); false elsewhere.
    bool ReadTag();
    // Ends the document here, as if its data ended: the rest of the sources
    // is not read, the current character is the end and the next token is
    // EndOfInput.
    void EndInput();

    TSourceKind SourceKind() const { return FSourceKind; }

    char CurrentChar = EndOfInputChar;
    char UpperChar = EndOfInputChar;
    bool KeepBlanks = false;        // inside preformatted text: white space kept
    bool RawScriptMode = false;     // "<!" opens no comment
    bool ParagraphSpaceDone = false;  // set by the builder, cleared by content
    HtmlSymbol Symbol = HtmlSymbol::EndOfInput;
    CodePageString TokenText;  // at most 150 characters; text tokens at most 100
    int HeadingLevel = 0;  // 1 to 6 after an H tag with a valid digit, else 0
    TAttributeList TagAttributes;  // of the last tag that takes attributes

    // Caps that keep every token small whatever the input.
    static constexpr std::size_t MaxTagName = 150;
    static constexpr std::size_t MaxTextRun = 100;

private:
    struct FileSource;

    void Reset(TSourceKind kind);
    char RefillAndRead();
    void NextCharSlowly();
    void RemoveCommentsAtLessThan();
    void EndAllSources();
    void PushBack(char c)
    {
        FPushedBack = c;
        FHasPushedBack = true;
    }
    // Advances the way the current context allows: inside an include
    // directive no further comment is looked for.
    void Advance()
    {
        if (FInDirective || FInQuotedValue)
            NextChar();
        else
            AdvanceChar();
    }
    void SkipComment();
    template <class Step, class Interrupted>
    bool ScanToCommentEnd(Step step, Interrupted interrupted);
    void SkipDeclaration();
    void ReadIncludeDirective();
    bool ReadText();
    void DecodeEntity(CodePageString& out);
    bool ReadAttribute(HtmlSymbol& symbol, CodePageString& name, CodePageString& value, int& number);
    void ReadQuotedValue(CodePageString& value, int& number);
    CodePageString CommentInValue(char quote);
    void ReadNumberValue(CodePageString& value, int& number);
    void ReadBareValue(CodePageString& value);

    TSourceKind FSourceKind = TSourceKind::Buffer;
    TSourceKind FKindBeforeInclude = TSourceKind::Buffer;
    // The bytes being read now: the buffer, the current line, the file's
    // current block or the include buffer.
    const char* FPos = nullptr;
    const char* FEnd = nullptr;
    // Where the interrupted source goes on after an include buffer.
    const char* FPosBeforeInclude = nullptr;
    const char* FEndBeforeInclude = nullptr;
    bool FEnded = false;  // the end of the document was read

    const TStrings* FSourceLines = nullptr;
    CodePageString FCurrentLine;
    int FLineIndex = 0;
    std::unique_ptr<FileSource> FFile;

    char FPushedBack = 0;
    bool FHasPushedBack = false;
    bool FCommentOpen = false;
    bool FInDirective = false;
    // Inside a quoted value comments are looked for by CommentInValue.
    bool FInQuotedValue = false;
    CodePageString FAttrName;
    CodePageString FAttrValue;
};

// --- token lists -------------------------------------------------------------

// One token as NextToken left it; Attributes only for tags that take them.
struct HtmlToken {
    HtmlSymbol Symbol = HtmlSymbol::EndOfInput;
    CodePageString Text;
    int HeadingLevel = 0;
    std::vector<TAttribute> Attributes;
    friend bool operator==(const HtmlToken&, const HtmlToken&) = default;
};

// Every token of a document up to its end (the end itself not included).
// EParseError passes on.
std::vector<HtmlToken> TokenizeHtml(std::string_view bytes, const TIncludeEvent& include = {});
std::vector<HtmlToken> TokenizeHtml(const TStrings& lines, const TIncludeEvent& include = {});
// The tokens that follow from a source already set on `parser`.
std::vector<HtmlToken> ReadTokens(ParserState& parser);
