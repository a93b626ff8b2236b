// The document builder: a recursive-descent reader over the tokenizer's
// tokens that fills a document root with sections, fonts, images, form
// controls, maps and anchors. It never reports a markup error: a missing end
// tag is closed by the structure around it and an unknown tag is skipped.
#include "htmlview/HtmlBuild.h"

#include <algorithm>
#include <climits>

#include "htmlview/HtmlDocument.h"
#include "htmlview/HtmlForms.h"
#include "htmlview/HtmlImages.h"
#include "htmlview/HtmlTables.h"
#include "htmlview/HtmlTextSection.h"

namespace {

using S = HtmlSymbol;

// A numeric attribute that stands for a size in pixels: its value cut to
// 0 .. MaxPixelSize; false when its text is no number at all (then it counts
// as absent).
bool PixelAttribute(const TAttribute& attribute, int& value)
{
    if (attribute.Value == 0) {
        // The tokenizer gives 0 for a text that is no number; only a written
        // zero counts as one.
        std::size_t i = 0;
        const CodePageString& t = attribute.Text;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            ++i;
        const std::size_t digits = i;
        while (i < t.size() && t[i] == '0')
            ++i;
        if (i == digits || (i < t.size() && !(i + 1 == t.size() && t[i] == '%')))
            return false;
    }
    value = std::clamp(attribute.Value, 0, MaxPixelSize);
    return true;
}

// The size of a numeric attribute, at most limit (HSPACE).
int MagnitudeAttribute(const TAttribute& attribute, int limit)
{
    const long long magnitude = attribute.Value < 0 ? -static_cast<long long>(attribute.Value) : attribute.Value;
    return int(std::min<long long>(magnitude, limit));
}

// A WIDTH written as a percentage.
bool IsPercentage(const CodePageString& text)
{
    return text.find('%') != CodePageString::npos;
}

// The font stack's depth: level 1 is the document's base font.
constexpr std::size_t MaxFontLevels = 25;
// Option texts and values are kept to this many characters.
constexpr std::size_t MaxOptionText = 80;
// A preformatted line is handed to its section in pieces of about this size.
constexpr std::size_t MaxPreRun = 200;
// A FACE is read from at most this many characters.
constexpr std::size_t MaxFaceText = 50;

// What the parts of a document take from memory once laid out, as the
// document's size limit (MaxDocumentBytes) counts them: measured on the heap
// and rounded up. The limit has to hold for whatever a page is made of, so
// that the parts which own a window control count at what the window costs.
constexpr std::size_t SectionBytes = 470;  // a text section with its first font run and a line
constexpr std::size_t CharBytes = 2;       // a character of text, with its buffer's spare room
constexpr std::size_t RunBytes = 180;      // each further font run
constexpr std::size_t ImageBytes = 350;    // an inline image, before its picture is read
constexpr std::size_t GapBytes = 100;      // a paragraph or heading gap, a rule
constexpr std::size_t TableBytes = 950;    // a table with its caption cell
constexpr std::size_t RowBytes = 100;
constexpr std::size_t CellBytes = 250;     // a table cell, without its sections
constexpr std::size_t WindowControlBytes = 10000;  // an edit, button, check box or radio button
constexpr std::size_t ListControlBytes = 45000;    // a list box, combo box or text area
constexpr std::size_t FieldBytes = 300;    // a control without a window: a hidden field, an image input
constexpr std::size_t OptionBytes = 500;   // an option of a list, without its text
constexpr std::size_t MemoLineBytes = 300; // a line of a text area, without its characters
constexpr std::size_t MemoCharBytes = 4;   // a character of a text area, held by the control and its window
constexpr std::size_t FormBytes = 250;
constexpr std::size_t AnchorBytes = 100;   // an anchor name, without its characters
constexpr std::size_t AreaBytes = 250;     // an area of an image map, without its attributes' text

// A text section as the size limit counts it.
std::size_t HeldBy(const TSection& section)
{
    return SectionBytes + std::size_t(std::max(section.Len, 0)) * CharBytes +
           std::size_t(std::max(section.Fonts.Count() - 1, 0)) * RunBytes +
           std::size_t(section.Images.Count()) * ImageBytes;
}

// The symbols at which the content of a table cell or caption ends.
constexpr HtmlSymbolSet TableSymbols = {S::TableEnd, S::TD, S::TDEnd, S::TR,        S::TREnd,
                                        S::TH,       S::THEnd, S::Caption, S::CaptionEnd};
constexpr HtmlSymbolSet BlockEnds = {S::CenterEnd, S::DivEnd};
constexpr HtmlSymbolSet ListStarts = {S::OL, S::UL, S::Dir, S::Menu, S::DL};
constexpr HtmlSymbolSet ListEnds = {S::OLEnd, S::ULEnd, S::DirEnd, S::MenuEnd, S::DLEnd, S::BlockQuoteEnd};
constexpr HtmlSymbolSet ListItems = {S::LI, S::DD, S::DT};

// The tokens that running text is made of, wherever it stands.
constexpr HtmlSymbolSet InlineSymbols = {
    S::Text,    S::Img,     S::Input,      S::Select, S::TextArea, S::TextAreaEnd, S::Form,    S::FormEnd,
    S::P,       S::PEnd,    S::BR,         S::H,      S::HEnd,     S::B,           S::BEnd,    S::Strong,
    S::StrongEnd, S::I,     S::IEnd,       S::Em,     S::EmEnd,    S::Cite,        S::CiteEnd, S::Var,
    S::VarEnd,  S::U,       S::UEnd,       S::S,      S::SEnd,     S::Strike,      S::StrikeEnd, S::Sub,
    S::SubEnd,  S::Sup,     S::SupEnd,     S::TT,     S::Code,     S::Kbd,         S::Samp,    S::TTEnd,
    S::CodeEnd, S::KbdEnd,  S::SampEnd,    S::Font,   S::FontEnd,  S::BaseFont,    S::Big,     S::BigEnd,
    S::Small,   S::SmallEnd, S::Address,   S::AddressEnd, S::A,    S::AEnd,        S::Pre,     S::Table,
    S::Map,     S::Script,
};

// The tags that preformatted text obeys; all others inside it are dropped.
constexpr HtmlSymbolSet PreformattedTags = {
    S::B,       S::BEnd,   S::I,      S::IEnd,     S::Em,     S::EmEnd,  S::Strong,   S::StrongEnd,
    S::U,       S::UEnd,   S::Cite,   S::CiteEnd,  S::Var,    S::VarEnd, S::S,        S::SEnd,
    S::Strike,  S::StrikeEnd, S::A,   S::AEnd,     S::Img,    S::Input,  S::Select,   S::TextArea,
    S::Form,    S::FormEnd, S::Font,  S::FontEnd,  S::BaseFont, S::Map,  S::Script,
};

// The tags that change the font or style of the text after them, and of
// those the end tags that give back a font level.
constexpr HtmlSymbolSet CellStyleSymbols = {
    S::B,     S::BEnd,     S::Strong, S::StrongEnd, S::I,       S::IEnd,    S::Em,      S::EmEnd,   S::Cite,
    S::CiteEnd, S::Var,    S::VarEnd, S::U,         S::UEnd,    S::S,       S::SEnd,    S::Strike,  S::StrikeEnd,
    S::TT,    S::TTEnd,    S::Code,   S::CodeEnd,   S::Kbd,     S::KbdEnd,  S::Samp,    S::SampEnd, S::Font,
    S::FontEnd, S::Big,    S::BigEnd, S::Small,     S::SmallEnd,
};
constexpr HtmlSymbolSet FontPops = {S::TTEnd, S::CodeEnd, S::KbdEnd, S::SampEnd, S::FontEnd, S::BigEnd, S::SmallEnd};

// The style tags: a flag each, set by the start tag and cleared by the end tag.
struct StyleTag {
    HtmlSymbol Start;
    HtmlSymbol End;
    TFontStyle Style;
};
constexpr StyleTag StyleTags[] = {
    {S::B, S::BEnd, fsBold},          {S::Strong, S::StrongEnd, fsBold}, {S::I, S::IEnd, fsItalic},
    {S::Em, S::EmEnd, fsItalic},      {S::Cite, S::CiteEnd, fsItalic},   {S::Var, S::VarEnd, fsItalic},
    {S::U, S::UEnd, fsUnderline},     {S::S, S::SEnd, fsStrikeOut},      {S::Strike, S::StrikeEnd, fsStrikeOut},
};

const CodePageString* AttributeText(const TAttributeList& attributes, HtmlSymbol symbol)
{
    TAttribute* attribute = nullptr;
    return attributes.FindSymbol(symbol, attribute) ? &attribute->Text : nullptr;
}

CodePageString AttributeOr(const TAttributeList& attributes, HtmlSymbol symbol)
{
    const CodePageString* text = AttributeText(attributes, symbol);
    return text ? *text : CodePageString();
}

// ALIGN as left, center or right (first ten characters, any case); dflt otherwise.
TJustify AlignOf(const TAttributeList& attributes, TJustify dflt)
{
    const CodePageString* text = AttributeText(attributes, S::Align);
    if (!text)
        return dflt;
    const CodePageString value = LowerCase(text->substr(0, 10));
    return value == "left" ? jLeft : value == "center" ? jCentre : value == "right" ? jRight : dflt;
}

// VALIGN: 0 top (or baseline), 1 middle, 2 bottom; dflt otherwise.
int VAlignOf(const TAttributeList& attributes, int dflt)
{
    const CodePageString* text = AttributeText(attributes, S::VAlign);
    if (!text)
        return dflt;
    const CodePageString value = LowerCase(*text);
    return value == "top" || value == "baseline" ? 0 : value == "middle" ? 1 : value == "bottom" ? 2 : dflt;
}

std::vector<TAreaAttribute> AreaAttributes(const TAttributeList& attributes)
{
    std::vector<TAreaAttribute> area;
    for (const auto& a : attributes) {
        TAreaAttribute::Kind kind = TAreaAttribute::Other;
        switch (a->Symbol) {
        case S::Href: kind = TAreaAttribute::Href; break;
        case S::NoHref: kind = TAreaAttribute::NoHref; break;
        case S::Target: kind = TAreaAttribute::Target; break;
        case S::Shape: kind = TAreaAttribute::Shape; break;
        case S::Coords: kind = TAreaAttribute::Coords; break;
        default: break;
        }
        area.push_back({kind, a->Text});
    }
    return area;
}

class THtmlBuilder {
public:
    // A document that grows past maxBytes ends there (see MaxDocumentBytes).
    THtmlBuilder(TSectionList& root, TStringList& anchors, const THtmlParseEvents& events, THtmlParseInfo& info,
                 std::size_t maxBytes);
    // Whatever is still open joins the document, also when reading stopped
    // with an exception.
    ~THtmlBuilder();
    THtmlBuilder(const THtmlBuilder&) = delete;
    THtmlBuilder& operator=(const THtmlBuilder&) = delete;

    void ParseHtml();
    void ParseText();

    ParserState P;

private:
    // Raises the nesting depth for its lifetime.
    struct Nest {
        explicit Nest(THtmlBuilder& builder) : Builder(builder) { ++Builder.FDepth; }
        ~Nest() { --Builder.FDepth; }
        THtmlBuilder& Builder;
    };
    bool CanNest() const { return FDepth < MaxParseNesting; }

    TMyFont& Top() { return FFonts.back(); }
    bool PushFont();
    void PopFont();
    void PopFontsTo(std::size_t depth);
    void SetFixedFont(TMyFont& font);
    int StepPoints(int step) const;

    std::unique_ptr<TSection> NewSection(int level, TJustify justify);
    std::unique_ptr<TSection> NewSection(int level) { return NewSection(level, FAlignment); }
    std::unique_ptr<TPreFormated> NewPreformatted(int level);
    void EnsureSection(int level);
    // The open section goes to the current list; between table cells there
    // is none, and it is dropped.
    void Flush();
    void AddToTarget(std::unique_ptr<TSectionBase> section);
    void Drop(std::unique_ptr<TSection> section, TSection* replacement);
    // Some anchor names the section.
    bool Anchored(const TSection* section) const;
    void ChangeFont();

    // The document's size: bytes are added to what it holds, and once it
    // holds more than its limit the document is cut. The tokenizer then
    // reports the end, so that every open structure closes as at the end of
    // a page and nothing more is read.
    void Charge(std::size_t bytes);
    void CheckLimit();
    // Ends a cut document with the line that says so.
    void AddCutNotice();
    // What a control made by the builder holds.
    static std::size_t ControlBytes(const TFormControlObj* control, HtmlSymbol which);

    void ParseBodyContent(int level, const HtmlSymbolSet& stop);
    void ParseInlineToken(int level);
    // Acts on an inline token; false when it has read the token that
    // follows (or the token's reader left the next one current). Then the
    // document's size is checked.
    bool HandleInline(int level);
    bool ActOnInline(int level);
    void ReadBody();
    bool BeforeBody() const;
    void ReadTitle();
    void ParseBlock(int level, const HtmlSymbolSet& stop);
    void ReadParagraph(int level);
    void ReadBreak(int level);
    void ReadLink(int level);
    void EndLink();
    bool ReadFont(bool baseFont);
    void ReadSize(bool big);
    // Reads a list up to its end tag or a symbol of stop; the list's end tag
    // is current afterwards.
    void ParseList(int level, HtmlSymbol listSymbol, const HtmlSymbolSet& stop);
    // A list, and its end tag past it.
    void ParseListAndEnd(int level, HtmlSymbol listSymbol, const HtmlSymbolSet& stop);
    void ParseTable(int level);
    void ParseTableAsText(int level);
    void ParsePreformatted(int level);
    void ParseSelectOptions(TListBoxFormControlObj* control);
    void ParseTextAreaBody(TTextAreaFormControlObj* control);
    void ParseMap();
    void ParseScript();

    TSectionList& FRoot;
    TStringList& FAnchors;
    THtmlParseEvents FEvents;
    THtmlParseInfo& FInfo;
    ThtmlForm* FFormBefore;
    TCell* FTarget;
    std::unique_ptr<TSection> FOpen;
    std::vector<TMyFont> FFonts;
    TUrlTarget FOpenLink;
    bool FLinkOpen = false;
    TJustify FAlignment = jLeft;
    int FBaseFontStep = 3;
    bool FInPre = false;
    bool FBodySeen = false;
    int FDepth = 0;
    int FTableDepth = 0;  // tables open around the current token
    // The bytes the document holds outside its open section, and the most it may hold.
    std::size_t FHeld = 0;
    std::size_t FMaxBytes;
    bool FCut = false;
};

THtmlBuilder::THtmlBuilder(TSectionList& root, TStringList& anchors, const THtmlParseEvents& events,
                           THtmlParseInfo& info, std::size_t maxBytes)
    : FRoot(root),
      FAnchors(anchors),
      FEvents(events),
      FInfo(info),
      FFormBefore(OpenForm()),
      FTarget(&root),
      FMaxBytes(maxBytes)
{
    FInfo = {};
    FRoot.InlineStyle = {};
    SetOpenForm(nullptr);
    TMyFont base;
    base.SetName(root.FontName());
    base.SetColor(PaletteRelative(root.FontColor));
    base.SetCharset(root.Charset);
    base.SetNormalSize(&root, 12);
    FFonts.push_back(base);
    FOpen = NewSection(0);
    P.IncludeEvent = FEvents.Include;
    P.IncludeSender = root.Host().EventSender();
}

THtmlBuilder::~THtmlBuilder()
{
    Flush();
    SetOpenForm(FFormBefore);
}

// --- fonts and sections -------------------------------------------------------------------------

bool THtmlBuilder::PushFont()
{
    if (FFonts.size() >= MaxFontLevels)
        return false;
    FFonts.push_back(FFonts.back());
    return true;
}

void THtmlBuilder::PopFont()
{
    if (FFonts.size() > 1)
        FFonts.pop_back();
}

void THtmlBuilder::PopFontsTo(std::size_t depth)
{
    while (FFonts.size() > std::max<std::size_t>(depth, 1))
        FFonts.pop_back();
}

void THtmlBuilder::SetFixedFont(TMyFont& font)
{
    font.SetName(FRoot.PreFontName());
    font.Fixed = true;
    font.OwnFace = false;
    font.SetNormalSize(&FRoot, 10);
}

int THtmlBuilder::StepPoints(int step) const
{
    const std::size_t i = std::size_t(std::clamp(step, 1, 7) - 1);
    return FInPre ? PreFontSizeSteps[i] : FontSizeSteps[i];
}

std::unique_ptr<TSection> THtmlBuilder::NewSection(int level, TJustify justify)
{
    return std::make_unique<TSection>(&FRoot, level, Top(), &FOpenLink, justify);
}

std::unique_ptr<TPreFormated> THtmlBuilder::NewPreformatted(int level)
{
    return std::make_unique<TPreFormated>(&FRoot, level, Top(), &FOpenLink, jLeft);
}

void THtmlBuilder::EnsureSection(int level)
{
    if (!FOpen)
        FOpen = NewSection(level);
}

void THtmlBuilder::Flush()
{
    if (!FOpen)
        return;
    if (FTarget) {
        FHeld += HeldBy(*FOpen);
        FTarget->Add(std::move(FOpen));
        CheckLimit();
    } else {
        Drop(std::move(FOpen), nullptr);
    }
}

void THtmlBuilder::AddToTarget(std::unique_ptr<TSectionBase> section)
{
    if (FTarget) {
        FTarget->Add(std::move(section));
        Charge(GapBytes);
    }
}

// A section that goes nowhere takes its anchors along: they move to the
// section that replaces it, or go.
bool THtmlBuilder::Anchored(const TSection* section) const
{
    for (int i = 0; i < FAnchors.Count(); ++i)
        if (FAnchors.Objects(i) == section)
            return true;
    return false;
}

void THtmlBuilder::Drop(std::unique_ptr<TSection> section, TSection* replacement)
{
    for (int i = FAnchors.Count() - 1; i >= 0; --i) {
        if (FAnchors.Objects(i) != section.get())
            continue;
        if (replacement)
            FAnchors.SetObjects(i, replacement);
        else
            FAnchors.Delete(i);
    }
}

void THtmlBuilder::ChangeFont()
{
    if (FOpen)
        FOpen->ChangeFont(Top());
}

void THtmlBuilder::Charge(std::size_t bytes)
{
    FHeld += bytes;
    CheckLimit();
}

void THtmlBuilder::CheckLimit()
{
    if (FCut || FHeld + (FOpen ? HeldBy(*FOpen) : 0) <= FMaxBytes)
        return;
    FCut = true;
    FInfo.Cut = true;
    P.EndInput();
}

// The line is ordinary text in the document's own font at the left, below a
// paragraph gap, outside any link, style or list.
void THtmlBuilder::AddCutNotice()
{
    EndLink();
    // A section the cut left empty would only be an empty line before it.
    if (FOpen && FOpen->Len == 0 && !Anchored(FOpen.get()))
        FOpen.reset();
    Flush();
    FTarget = &FRoot;
    PopFontsTo(1);
    FRoot.InlineStyle = {};
    FAlignment = jLeft;
    AddToTarget(std::make_unique<TParagraphSpace>(&FRoot));
    FOpen = std::make_unique<TSection>(&FRoot, 0, FFonts.front(), nullptr, jLeft);
    FOpen->AddText(CutDocumentNotice);
    Flush();
}

std::size_t THtmlBuilder::ControlBytes(const TFormControlObj* control, HtmlSymbol which)
{
    if (!control)
        return 0;
    if (!control->WinControl())
        return FieldBytes;
    return which == S::Select || which == S::TextArea ? ListControlBytes : WindowControlBytes;
}

// --- the body ----------------------------------------------------------------------------------------

void THtmlBuilder::ParseHtml()
{
    P.AdvanceChar();
    P.NextToken();
    ParseBodyContent(0, {});
    // The last section counts too: it may be the one that reaches the limit.
    if (!FCut)
        Flush();
    if (FCut)
        AddCutNotice();
    FInfo.Bytes = FHeld;
}

void THtmlBuilder::ParseBodyContent(int level, const HtmlSymbolSet& stop)
{
    for (;;) {
        const S sy = P.Symbol;
        if (InlineSymbols.Contains(sy)) {
            ParseInlineToken(level);
        } else if (ListStarts.Contains(sy) || sy == S::BlockQuote) {
            if (sy == S::BlockQuote)
                Flush();
            ParseListAndEnd(1, sy, stop);
        } else {
            switch (sy) {
            case S::Body:
                ReadBody();
                break;
            case S::HR:
                Flush();
                AddToTarget(std::make_unique<THorzLine>(&FRoot, RuleSpecOf(P.TagAttributes)));
                P.NextToken();
                break;
            case S::Center:
            case S::Div:
                ParseBlock(level, stop);
                break;
            case S::Title:
                ReadTitle();
                break;
            case S::Base:
                if (const CodePageString* href = AttributeText(P.TagAttributes, S::Href))
                    FInfo.BaseHRef = *href;
                if (const CodePageString* target = AttributeText(P.TagAttributes, S::Target))
                    FInfo.BaseFrameTarget = *target;
                P.NextToken();
                break;
            case S::Meta:
                if (FEvents.Meta)
                    FEvents.Meta(FRoot.Host().EventSender(), AttributeOr(P.TagAttributes, S::HttpEquiv),
                                 AttributeOr(P.TagAttributes, S::Name), AttributeOr(P.TagAttributes, S::Content));
                P.NextToken();
                break;
            case S::BgSound: {
                const CodePageString* source = AttributeText(P.TagAttributes, S::Src);
                if (FEvents.Sound && source) {
                    TAttribute* loop = nullptr;
                    FEvents.Sound(FRoot.Host().EventSender(), *source,
                                  P.TagAttributes.FindSymbol(S::Loop, loop) ? loop->Value : 1, false);
                }
                P.NextToken();
                break;
            }
            default:
                if (stop.Contains(sy))
                    return;
                P.NextToken();
                break;
            }
        }
        if (P.Symbol == S::EndOfInput)
            return;
        if (P.Symbol == S::BodyEnd) {
            P.NextToken();
            // A BODY end before the body began (typed into a title, say)
            // ends nothing.
            if (!BeforeBody())
                return;
        }
    }
}

bool THtmlBuilder::BeforeBody() const
{
    return !FBodySeen && FTarget == &FRoot && FRoot.Empty() && (!FOpen || FOpen->Len == 0);
}

// BODY counts only before anything has been placed; the text before it goes.
void THtmlBuilder::ReadBody()
{
    FBodySeen = true;
    if (FTarget && FTarget->Empty()) {
        for (const auto& a : P.TagAttributes) {
            TColor color = clBlack;
            switch (a->Symbol) {
            case S::Text:
                if (ParseColor(a->Text, color)) {
                    Top().SetColor(PaletteRelative(color));
                    FRoot.FontColor = PaletteRelative(color);
                    FRoot.OwnFontColor = FRoot.FontColor;
                }
                break;
            case S::Link:
                if (ParseColor(a->Text, color)) {
                    FRoot.HotSpotColor = PaletteRelative(color);
                    FRoot.OwnHotSpotColor = FRoot.HotSpotColor;
                }
                break;
            case S::BgColor:
                if (ParseColor(a->Text, color)) {
                    FRoot.OwnBackground = PaletteRelative(color);
                    FRoot.SetBackground(PaletteRelative(color));
                }
                break;
            case S::Background:
                FRoot.SetBackgroundBitmap(a->Text);
                break;
            default:
                break;
            }
        }
        std::unique_ptr<TSection> discarded = std::move(FOpen);
        FOpen = std::make_unique<TSection>(&FRoot, 0, FFonts.front(), nullptr, FAlignment);
        // An anchor named before BODY now names the top of the body.
        Drop(std::move(discarded), FOpen.get());
    }
    P.NextToken();
}

void THtmlBuilder::ReadTitle()
{
    P.NextToken();
    CodePageString title;
    while (P.Symbol == S::Text) {
        title += P.TokenText;
        Charge(P.TokenText.size());
        P.NextToken();
    }
    FInfo.TitleText = title;
}

// CENTER and DIV: their content in its own alignment, up to the end of either.
void THtmlBuilder::ParseBlock(int level, const HtmlSymbolSet& stop)
{
    if (!CanNest()) {
        P.NextToken();
        return;
    }
    Nest nest(*this);
    Flush();
    const TJustify saved = FAlignment;
    FAlignment = P.Symbol == S::Center ? jCentre : AlignOf(P.TagAttributes, FAlignment);
    FOpen = NewSection(level);
    P.NextToken();
    ParseBodyContent(level, stop + BlockEnds);
    Flush();
    FAlignment = saved;
    FOpen = NewSection(level);
    if (BlockEnds.Contains(P.Symbol))
        P.NextToken();
}

// --- running text ----------------------------------------------------------------------------------------

void THtmlBuilder::ParseInlineToken(int level)
{
    if (HandleInline(level))
        P.NextToken();
}

bool THtmlBuilder::HandleInline(int level)
{
    const bool current = ActOnInline(level);
    CheckLimit();
    return current;
}

bool THtmlBuilder::ActOnInline(int level)
{
    const S sy = P.Symbol;
    for (const StyleTag& tag : StyleTags) {
        if (sy == tag.Start || sy == tag.End) {
            TFontStyles& styles = FRoot.InlineStyle.StyleOverrides;
            if (sy == tag.Start)
                styles << tag.Style;
            else
                styles >> tag.Style;
            ChangeFont();
            return true;
        }
    }
    switch (sy) {
    case S::Text:
        EnsureSection(level);
        FOpen->AddText(P.TokenText);
        return true;
    case S::Img:
        EnsureSection(level);
        FOpen->AddImage(ImageSpecOf(P.TagAttributes));
        return true;
    case S::Input:
        EnsureSection(level);
        // An INPUT TYPE=IMAGE shows its picture as an IMG does.
        Charge(ControlBytes(
            FOpen->AddFormControl(FormControlSpecOf(sy, P.TagAttributes), FTarget, ImageSpecOf(P.TagAttributes)), sy));
        return true;
    case S::Select: {
        EnsureSection(level);
        TFormControlObj* control = FOpen->AddFormControl(FormControlSpecOf(sy, P.TagAttributes), FTarget);
        Charge(ControlBytes(control, sy));
        ParseSelectOptions(dynamic_cast<TListBoxFormControlObj*>(control));
        return true;
    }
    case S::TextArea: {
        EnsureSection(level);
        TFormControlObj* control = FOpen->AddFormControl(FormControlSpecOf(sy, P.TagAttributes), FTarget);
        Charge(ControlBytes(control, sy));
        ParseTextAreaBody(dynamic_cast<TTextAreaFormControlObj*>(control));
        return true;
    }
    case S::Form:
        SetOpenForm(ThtmlForm::Create(FRoot, FormSpecOf(P.TagAttributes)));
        Charge(FormBytes);
        return true;
    case S::FormEnd:
        SetOpenForm(nullptr);
        return true;
    case S::P:
    case S::PEnd:
        ReadParagraph(level);
        return false;
    case S::BR:
        ReadBreak(level);
        return true;
    case S::H:
        if (FFonts.size() < MaxFontLevels) {
            Flush();
            const HeadingFont& heading = HeadingFonts[std::size_t(std::clamp(P.HeadingLevel, 0, 6))];
            PushFont();
            Top().SetNormalSize(&FRoot, heading.Points);
            if (heading.Bold)
                Top().SetStyle(TFontStyles(Top().Style()) << fsBold);
            AddToTarget(std::make_unique<THeadingSpace>(&FRoot, P.HeadingLevel));
            FOpen = NewSection(level, AlignOf(P.TagAttributes, FAlignment));
        }
        return true;
    case S::HEnd:
        if (FFonts.size() > 1) {
            Flush();
            AddToTarget(std::make_unique<THeadingSpace>(&FRoot, P.HeadingLevel));
            PopFont();
        }
        return true;
    case S::Sub:
    case S::Sup:
        EnsureSection(level);
        FRoot.InlineStyle.SubSupState = sy == S::Sub ? SubScript : SuperScript;
        ChangeFont();
        return true;
    case S::SubEnd:
    case S::SupEnd:
        FRoot.InlineStyle.SubSupState = NoScript;
        ChangeFont();
        return true;
    case S::TT:
    case S::Code:
    case S::Kbd:
    case S::Samp:
        if (PushFont())
            SetFixedFont(Top());
        ChangeFont();
        return true;
    case S::TTEnd:
    case S::CodeEnd:
    case S::KbdEnd:
    case S::SampEnd:
    case S::FontEnd:
    case S::BigEnd:
    case S::SmallEnd:
        PopFont();
        ChangeFont();
        return true;
    case S::Font:
    case S::BaseFont:
        if (ReadFont(sy == S::BaseFont))
            ChangeFont();
        return true;
    case S::Big:
    case S::Small:
        ReadSize(sy == S::Big);
        return true;
    case S::Address:
        Flush();
        if (PushFont())
            Top().SetStyle(TFontStyles(Top().Style()) << fsItalic);
        FOpen = NewSection(level);
        return true;
    case S::AddressEnd:
        Flush();
        PopFont();
        return true;
    case S::A:
        ReadLink(level);
        return true;
    case S::AEnd:
        EndLink();
        return true;
    case S::Pre:
        ParsePreformatted(level);
        return false;
    case S::Table:
        ParseTable(level);
        return false;
    case S::Map:
        ParseMap();
        return true;
    case S::Script:
        ParseScript();
        return true;
    default:
        return true;
    }
}

// P and P end, and every further one that follows directly, give one
// paragraph gap; the last one's ALIGN aligns the new section.
void THtmlBuilder::ReadParagraph(int level)
{
    Flush();
    if (!P.ParagraphSpaceDone)
        AddToTarget(std::make_unique<TParagraphSpace>(&FRoot));
    TJustify justify = FAlignment;
    while (P.Symbol == S::P || P.Symbol == S::PEnd) {
        justify = P.Symbol == S::P ? AlignOf(P.TagAttributes, FAlignment) : FAlignment;
        P.SkipBlanks();
        P.ParagraphSpaceDone = true;
        P.NextToken();
    }
    FOpen = NewSection(level, justify);
}

void THtmlBuilder::ReadBreak(int level)
{
    // A BR with no section open (after a rule or a list) still breaks a line.
    EnsureSection(level);
    FOpen->AddBlankIfEmpty();
    const TJustify justify = FOpen->Justify;
    Flush();
    FOpen = NewSection(level, justify);
    FOpen->SetClear(ClearOf(P.TagAttributes));
}

void THtmlBuilder::ReadLink(int level)
{
    for (const auto& a : P.TagAttributes) {
        if (a->Symbol == S::Href && !a->Text.empty()) {
            EndLink();
            FOpenLink.URL = a->Text;
            FOpenLink.Target = AttributeOr(P.TagAttributes, S::Target);
            FLinkOpen = true;
            if (PushFont()) {
                Top().SetStyle(TFontStyles(Top().Style()) << fsUnderline);
                Top().SetColor(PaletteRelative(FRoot.HotSpotColor));
                Top().OwnColor = false;
            }
            if (FOpen)
                FOpen->HRef(S::Href, Top(), FOpenLink);
        } else if (a->Symbol == S::Name && !a->Text.empty()) {
            EnsureSection(level);
            FAnchors.AddObject(UpperCase(a->Text), FOpen.get());
            Charge(AnchorBytes + a->Text.size());
        }
    }
}

void THtmlBuilder::EndLink()
{
    if (FLinkOpen) {
        FOpenLink.Clear();
        FLinkOpen = false;
        PopFont();
    }
    if (FOpen)
        FOpen->HRef(S::AEnd, Top(), FOpenLink);
}

// FONT and BASEFONT. A FONT always pushes a level, so that its end tag pops
// the right one; a BASEFONT changes the font only before anything is placed.
bool THtmlBuilder::ReadFont(bool baseFont)
{
    bool applied = false;
    int step = 0;
    bool hasColor = false;
    TColor color = clBlack;
    CodePageString face;
    for (const auto& a : P.TagAttributes) {
        if (a->Symbol == S::Size) {
            long long value = a->Value;
            if (a->Text.size() >= 2 && (a->Text[0] == '+' || a->Text[0] == '-'))
                value += FBaseFontStep;
            step = int(std::clamp(value, 1LL, 7LL));
            if (baseFont)
                FBaseFontStep = step;
            applied = true;
        } else if (a->Symbol == S::Color && !baseFont) {
            if (ParseColor(a->Text, color)) {
                hasColor = true;
                applied = true;
            }
        } else if (a->Symbol == S::Face && !baseFont) {
            CodePageString text = a->Text.substr(0, MaxFaceText);
            const std::size_t comma = text.find(',');
            if (comma != CodePageString::npos)
                text.erase(comma);
            text = TrimBlanks(text);
            if (!text.empty()) {
                face = text;
                applied = true;
            }
        }
    }
    if (baseFont) {
        // Only before anything is placed: not once a section holds text.
        if (step == 0 || FTarget != &FRoot || !FRoot.Empty() || (FOpen && FOpen->Len > 0))
            return false;
        Top().SetNormalSize(&FRoot, StepPoints(step));
        return true;
    }
    if (!PushFont() || !applied)
        return false;
    if (hasColor) {
        Top().SetColor(PaletteRelative(color));
        Top().OwnColor = true;
    }
    if (step > 0)
        Top().SetNormalSize(&FRoot, StepPoints(step));
    if (!face.empty()) {
        Top().SetName(face);
        Top().OwnFace = true;
    }
    return true;
}

// BIG and SMALL move one size step, within the steps; a size that is no
// step stays. A level is pushed in any case, for the end tag.
void THtmlBuilder::ReadSize(bool big)
{
    const int step = SizeStepOf(FInPre, Top().NormalSize);
    if (PushFont() && step > 0) {
        const int next = big ? std::min(step + 1, 7) : std::max(step - 1, 1);
        if (next != step)
            Top().SetNormalSize(&FRoot, StepPoints(next));
    }
    ChangeFont();
}

// --- lists ----------------------------------------------------------------------------------------------

void THtmlBuilder::ParseList(int level, HtmlSymbol listSymbol, const HtmlSymbolSet& stop)
{
    if (!CanNest()) {
        P.NextToken();
        return;
    }
    Nest nest(*this);
    int number = 1;
    char listChar = '1';
    bool plain = false;
    if (listSymbol == S::OL) {
        TAttribute* a = nullptr;
        if (P.TagAttributes.FindSymbol(S::Start, a) && a->Value >= 0)
            number = a->Value;
        if (P.TagAttributes.FindSymbol(S::Type, a) && !a->Text.empty())
            listChar = a->Text[0];
    } else if (listSymbol == S::UL) {
        TAttribute* a = nullptr;
        plain = P.TagAttributes.FindSymbol(S::Plain, a);
    }
    Flush();
    P.NextToken();
    if (ListEnds.Contains(P.Symbol))
        return;
    const HtmlSymbolSet blockStop = stop + ListEnds + HtmlSymbolSet{S::EndOfInput};
    while (!ListEnds.Contains(P.Symbol) && P.Symbol != S::EndOfInput) {
        const S sy = P.Symbol;
        if (sy == S::LI) {
            Flush();
            if (listSymbol == S::OL) {
                FOpen = std::make_unique<TOListItem>(&FRoot, level, Top(), &FOpenLink, listChar, number);
                if (number < INT_MAX)
                    ++number;
            } else {
                auto item = std::make_unique<TUListItem>(&FRoot, level, Top(), &FOpenLink);
                item->NoBullet = plain;
                FOpen = std::move(item);
            }
            P.SkipBlanks();
            P.NextToken();
            if (P.Symbol == S::P)
                P.NextToken();
        } else if (sy == S::DD || sy == S::DT) {
            Flush();
            FOpen = std::make_unique<TDListItem>(&FRoot, sy == S::DD ? level : level - 1, Top(), &FOpenLink);
            P.NextToken();
        } else if (ListStarts.Contains(sy) || sy == S::BlockQuote) {
            if (sy == S::BlockQuote)
                Flush();
            ParseListAndEnd(level + 1, sy, stop);
        } else if (sy == S::Center || sy == S::Div) {
            // The block ends at the next item too: the items after it stay
            // items of the list.
            ParseBlock(level, blockStop + ListItems);
        } else if (sy == S::HR) {
            Flush();
            AddToTarget(std::make_unique<THorzLine>(&FRoot, RuleSpecOf(P.TagAttributes)));
            P.NextToken();
        } else if (sy == S::Table) {
            if (FOpen)
                FOpen->AddBlankIfEmpty();
            ParseTable(level);
        } else if (InlineSymbols.Contains(sy)) {
            ParseInlineToken(level);
        } else if (stop.Contains(sy)) {
            // The structure around the list ends here (a cell, a block):
            // so does the list's last item.
            Flush();
            return;
        } else {
            P.NextToken();
        }
    }
    Flush();
}

void THtmlBuilder::ParseListAndEnd(int level, HtmlSymbol listSymbol, const HtmlSymbolSet& stop)
{
    ParseList(level, listSymbol, stop);
    if (ListEnds.Contains(P.Symbol))
        P.NextToken();
}

// --- tables ----------------------------------------------------------------------------------------------

void THtmlBuilder::ParseTable(int level)
{
    if (!CanNest()) {
        P.NextToken();
        return;
    }
    Nest nest(*this);
    if (FTableDepth >= MaxTableDepth) {
        ParseTableAsText(level);
        return;
    }
    struct TableNest {
        int& Depth;
        explicit TableNest(int& depth) : Depth(depth) { ++Depth; }
        ~TableNest() { --Depth; }
    } tableNest(FTableDepth);
    EndLink();
    const std::size_t fontDepth = FFonts.size();
    TCell* const outer = FTarget;
    const TJustify savedAlignment = FAlignment;
    const TFontStyles savedStyle = FRoot.InlineStyle.StyleOverrides;
    // What a cell starts with: the table's fonts and style, and those that
    // style tags between the cells added.
    std::size_t cellFontDepth = fontDepth;
    TFontStyles cellStyle = savedStyle;
    Flush();
    FTarget = nullptr;
    auto table = std::make_unique<ThtmlTable>(&FRoot, TableSpecOf(P.TagAttributes), FAlignment, outer, level);
    Charge(TableBytes);
    std::unique_ptr<TCellList> row;
    TJustify rowAlign = jNone;
    int rowVAlign = 1;
    std::unique_ptr<TCellObj> cell;

    const auto finishCell = [&] {
        if (!FTarget)
            return;
        Flush();
        if (cell && row && FTarget == cell->Cell.get())
            row->Add(std::move(cell));
        cell.reset();
        FTarget = nullptr;
    };
    const auto addRow = [&] {
        if (row)
            table->Rows.Add(std::move(row));
    };
    const auto restoreStyle = [&] {
        EndLink();
        PopFontsTo(cellFontDepth);
        FRoot.InlineStyle.StyleOverrides = cellStyle;
    };
    // The table joins the list it started in, with what was read of it.
    const auto finishTable = [&] {
        cellFontDepth = fontDepth;
        cellStyle = savedStyle;
        restoreStyle();
        finishCell();
        addRow();
        FTarget = outer;
        if (outer)
            outer->Add(std::move(table));
        FAlignment = savedAlignment;
    };

    try {
        P.NextToken();
        while (P.Symbol != S::TableEnd && P.Symbol != S::EndOfInput) {
            const S sy = P.Symbol;
            switch (sy) {
            case S::Text:
                if (FTarget) {
                    // The cell's content went on after a BODY end inside it.
                    ParseBodyContent(0, TableSymbols);
                } else {
                    // Text outside any cell shows before the table.
                    FTarget = outer;
                    ParseBodyContent(0, TableSymbols);
                    Flush();
                    FTarget = nullptr;
                }
                break;
            case S::TD:
            case S::TH: {
                restoreStyle();
                if (!row) {
                    row = std::make_unique<TCellList>();
                    rowAlign = jNone;
                    rowVAlign = 1;
                    Charge(RowBytes);
                } else {
                    finishCell();
                }
                FAlignment = AlignOf(P.TagAttributes, rowAlign != jNone ? rowAlign : sy == S::TH ? jCentre : jLeft);
                if (sy == S::TH)
                    FRoot.InlineStyle.StyleOverrides << fsBold;
                else if (!cellStyle.Contains(fsBold) || savedStyle.Contains(fsBold))
                    FRoot.InlineStyle.StyleOverrides >> fsBold;  // unless a B between the cells asked for it
                cell = std::make_unique<TCellObj>(&FRoot, VAlignOf(P.TagAttributes, rowVAlign),
                                                  CellSpecOf(P.TagAttributes));
                FTarget = cell->Cell.get();
                Charge(CellBytes);
                P.SkipBlanks();
                P.NextToken();
                // A cell's content starts without a paragraph gap.
                P.ParagraphSpaceDone = true;
                ParseBodyContent(0, TableSymbols);
                break;
            }
            case S::TDEnd:
            case S::THEnd:
                finishCell();
                P.NextToken();
                break;
            case S::TR:
                EndLink();
                if (row) {
                    finishCell();
                    addRow();
                }
                row = std::make_unique<TCellList>();
                rowAlign = AlignOf(P.TagAttributes, jNone);
                rowVAlign = VAlignOf(P.TagAttributes, 1);
                if (const std::optional<TColor> color = RowBackgroundOf(P.TagAttributes))
                    row->SetBackground(*color);
                Charge(RowBytes);
                P.NextToken();
                break;
            case S::TREnd:
                EndLink();
                if (row) {
                    finishCell();
                    addRow();
                }
                P.NextToken();
                break;
            case S::Caption:
                restoreStyle();
                finishCell();
                if (const CodePageString* align = AttributeText(P.TagAttributes, S::Align))
                    table->TopCaption = LowerCase(*align) != "bottom";
                FTarget = table->Caption->Cell.get();
                FAlignment = jCentre;
                P.NextToken();
                ParseBodyContent(0, TableSymbols);
                Flush();
                FTarget = nullptr;
                if (P.Symbol == S::CaptionEnd)
                    P.NextToken();
                break;
            case S::Form:
            case S::FormEnd:
                // A form written around the rows holds their controls.
                HandleInline(level);
                P.NextToken();
                break;
            default:
                if (!FTarget && CellStyleSymbols.Contains(sy)) {
                    // A style tag between the cells: the cells after it take it on.
                    restoreStyle();
                    if (!FontPops.Contains(sy) || FFonts.size() > fontDepth)
                        HandleInline(level);
                    cellFontDepth = std::max(fontDepth, FFonts.size());
                    cellStyle = FRoot.InlineStyle.StyleOverrides;
                }
                P.NextToken();
                break;
            }
        }
    } catch (...) {
        finishTable();
        throw;
    }
    finishTable();
    P.NextToken();
}

// A table nested deeper than MaxTableDepth shows its content as running
// text: each row, cell and caption starts a line of its own.
void THtmlBuilder::ParseTableAsText(int level)
{
    EndLink();
    const std::size_t fontDepth = FFonts.size();
    const TJustify savedAlignment = FAlignment;
    const TFontStyles savedStyle = FRoot.InlineStyle.StyleOverrides;
    Flush();
    P.NextToken();
    while (P.Symbol != S::TableEnd && P.Symbol != S::EndOfInput) {
        const S sy = P.Symbol;
        if (TableSymbols.Contains(sy)) {
            if (sy == S::TD || sy == S::TH || sy == S::TR || sy == S::Caption)
                Flush();
            P.NextToken();
        } else {
            ParseBodyContent(level, TableSymbols);
        }
    }
    Flush();
    EndLink();
    PopFontsTo(fontDepth);
    FRoot.InlineStyle.StyleOverrides = savedStyle;
    FAlignment = savedAlignment;
    P.NextToken();
}

// --- raw text: preformatted lines, options, text areas, maps, scripts ---------------------------------

void THtmlBuilder::ParsePreformatted(int level)
{
    Flush();
    if (PushFont())
        SetFixedFont(Top());
    FOpen = NewPreformatted(level);
    FInPre = true;
    P.KeepBlanks = true;
    // The line end right after the start tag starts no line.
    if (P.CurrentChar == '\r')
        P.AdvanceChar();
    CodePageString line;
    // A line ended: an empty section at the end is only the start of a
    // line that never came.
    bool lineEnded = false;
    const auto addLine = [&] {
        if (line.empty())
            return;
        if (!FOpen)
            FOpen = NewPreformatted(level);
        FOpen->AddText(line);
        line.clear();
    };
    // Every source line is a section of its own.
    const auto endLine = [&] {
        addLine();
        if (!FOpen)
            FOpen = NewPreformatted(level);
        Flush();
        FOpen = NewPreformatted(level);
        lineEnded = true;
    };
    const auto finish = [&] {
        addLine();
        // The line end right before the end tag adds no empty line.
        if (lineEnded && FOpen && FOpen->Len == 0 && !Anchored(FOpen.get()))
            FOpen.reset();
        Flush();
        P.KeepBlanks = false;
        FInPre = false;
    };
    try {
        for (;;) {
            const char c = P.CurrentChar;
            if (c == EndOfInputChar)
                break;
            if (c == '\r') {
                endLine();
                P.AdvanceChar();
            } else if (c == '&') {
                P.ReadEntity();
                line += P.TokenText;
            } else if (c == '<') {
                P.TokenText.clear();
                P.ReadTag();
                const S sy = P.Symbol;
                if (sy == S::Text) {
                    line += P.TokenText;
                } else if (sy == S::PreEnd || sy == S::TDEnd || sy == S::THEnd) {
                    break;
                } else if (sy == S::BR || sy == S::P) {
                    endLine();
                    if (P.CurrentChar == '\r')
                        P.AdvanceChar();
                } else if (PreformattedTags.Contains(sy)) {
                    addLine();
                    if (!FOpen)
                        FOpen = NewPreformatted(level);
                    HandleInline(level);
                }
            } else {
                line += c;
                P.AdvanceChar();
                if (line.size() > MaxPreRun)
                    addLine();
            }
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
    PopFont();
    P.NextToken();
}

void THtmlBuilder::ParseSelectOptions(TListBoxFormControlObj* control)
{
    bool open = false;
    CodePageString text;
    CodePageString value;
    bool selected = false;
    const auto complete = [&] {
        if (!open)
            return;
        const CodePageString trimmed = TrimBlanks(text);
        if (!trimmed.empty() && control) {
            control->AddOption(trimmed, value, selected);
            Charge(OptionBytes + (trimmed.size() + value.size()) * CharBytes);
        }
    };
    P.NextToken();
    while (P.Symbol != S::SelectEnd && P.Symbol != S::EndOfInput) {
        if (P.Symbol == S::Text) {
            if (open && text.size() < MaxOptionText)
                text += P.TokenText.substr(0, MaxOptionText - text.size());
        } else if (P.Symbol == S::Option || P.Symbol == S::OptionEnd) {
            complete();
            open = P.Symbol == S::Option;
            text.clear();
            value.clear();
            selected = false;
            if (open) {
                TAttribute* a = nullptr;
                selected = P.TagAttributes.FindSymbol(S::Selected, a);
                value = AttributeOr(P.TagAttributes, S::Value).substr(0, MaxOptionText);
            }
        }
        P.NextToken();
    }
    complete();
    if (control)
        control->Restore();
}

// The text of a TEXTAREA as written, markup included, up to "</textarea".
void THtmlBuilder::ParseTextAreaBody(TTextAreaFormControlObj* control)
{
    constexpr std::string_view endTag = "</textarea";
    CodePageString line;
    std::size_t charged = 0;  // the characters of line counted in the document's size
    for (;;) {
        const char c = P.CurrentChar;
        if (c == EndOfInputChar)
            break;
        if (c == '\r') {
            if (control)
                control->AddLine(line);
            line.clear();
            charged = 0;
            Charge(MemoLineBytes);
            P.AdvanceChar();
        } else if (c == '&') {
            P.ReadEntity();
            line += P.TokenText;
        } else if (c == '<') {
            // A tag name is read only as far as it could be the end tag.
            CodePageString tag(1, '<');
            P.AdvanceChar();
            while (tag.size() <= endTag.size() && P.CurrentChar != ' ' && P.CurrentChar != '\r' &&
                   P.CurrentChar != '>' && P.CurrentChar != EndOfInputChar) {
                tag += P.CurrentChar;
                P.AdvanceChar();
            }
            if (SameText(tag, endTag)) {
                while (P.CurrentChar != '>' && P.CurrentChar != EndOfInputChar)
                    P.AdvanceChar();
                P.AdvanceChar();
                break;
            }
            line += tag;
        } else {
            for (std::size_t n = 0; n < ParserState::MaxTextRun; ++n) {
                const char t = P.CurrentChar;
                if (t == '\r' || t == '&' || t == '<' || t == EndOfInputChar)
                    break;
                line += t;
                P.AdvanceChar();
            }
        }
        if (line.size() > charged) {
            Charge((line.size() - charged) * MemoCharBytes);
            charged = line.size();
        }
    }
    if (!line.empty() && control)
        control->AddLine(line);
    if (control)
        control->Restore();
}

void THtmlBuilder::ParseMap()
{
    auto map = std::make_unique<TMapItem>();
    map->MapTitle = UpperCase(AttributeOr(P.TagAttributes, S::Name));
    P.NextToken();
    while (P.Symbol != S::MapEnd && P.Symbol != S::EndOfInput) {
        if (P.Symbol == S::Area) {
            std::vector<TAreaAttribute> area = AreaAttributes(P.TagAttributes);
            std::size_t bytes = AreaBytes;
            for (const TAreaAttribute& a : area)
                bytes += a.Text.size();
            map->AddArea(std::move(area));
            Charge(bytes);
        }
        P.NextToken();
    }
    if (P.Symbol == S::MapEnd)
        FRoot.MapList.Add(std::move(map));
}

// A script's text goes to the viewer's OnScript; without a handler it is
// read and dropped, and so is a script that the document's limit cut.
void THtmlBuilder::ParseScript()
{
    const TScriptEvent handler = FRoot.Host().ScriptHandler();
    const CodePageString language = AttributeOr(P.TagAttributes, S::Language);
    struct RawModeOff {
        ParserState& Parser;
        ~RawModeOff() { Parser.RawScriptMode = false; }
    } rawModeOff{P};
    P.RawScriptMode = bool(handler);
    CodePageString script;
    std::size_t charged = 0;
    for (;;) {
        if (script.size() > charged) {
            Charge(script.size() - charged);
            charged = script.size();
        }
        const char c = P.CurrentChar;
        if (c == EndOfInputChar)
            break;
        if (c == '\r') {
            if (handler)
                script += "\r\n";
            P.AdvanceChar();
        } else if (c == '<') {
            CodePageString tag(1, '<');
            P.AdvanceChar();
            while (tag.size() < 8 && (P.CurrentChar == '/' || (P.UpperChar >= 'A' && P.UpperChar <= 'Z'))) {
                tag += P.CurrentChar;
                P.AdvanceChar();
            }
            if (P.CurrentChar == '>') {
                tag += '>';
                P.AdvanceChar();
            }
            if (SameText(tag, "</script>"))
                break;
            if (handler)
                script += tag;
        } else {
            for (std::size_t n = 0; n < ParserState::MaxTextRun; ++n) {
                const char t = P.CurrentChar;
                if (t == '\r' || t == '<' || t == EndOfInputChar)
                    break;
                if (handler)
                    script += t;
                P.AdvanceChar();
            }
        }
    }
    if (handler && !FCut)
        handler(FRoot.Host().EventSender(), language, std::move(script));
}

// --- plain text --------------------------------------------------------------------------------------------

void THtmlBuilder::ParseText()
{
    Flush();
    if (PushFont())
        SetFixedFont(Top());
    FOpen = NewPreformatted(0);
    P.KeepBlanks = true;
    P.AdvanceChar();
    CodePageString line;
    const auto addLine = [&] {
        if (!line.empty())
            FOpen->AddText(line);
        line.clear();
    };
    for (;;) {
        const char c = P.CurrentChar;
        if (c == EndOfInputChar)
            break;
        if (c == '\r') {
            addLine();
            Flush();
            FOpen = NewPreformatted(0);
        } else {
            line += c;
            if (line.size() > MaxPreRun)
                addLine();
        }
        P.AdvanceChar();
    }
    addLine();
    Flush();
    P.KeepBlanks = false;
    PopFont();
    if (FCut)
        AddCutNotice();
}

}  // namespace

// --- what the model takes from a tag -------------------------------------------------------------

TImageSpec ImageSpecOf(const TAttributeList& attributes)
{
    TImageSpec spec;
    for (const auto& a : attributes) {
        switch (a->Symbol) {
        case HtmlSymbol::Src:
            spec.Source = a->Text;
            break;
        case HtmlSymbol::Alt:
            spec.Alt = a->Text;
            break;
        case HtmlSymbol::Align: {
            const CodePageString align = UpperCase(a->Text);
            if (align == "TOP")
                spec.VertAlign = ATop;
            else if (align == "MIDDLE" || align == "ABSMIDDLE")
                spec.VertAlign = AMiddle;
            else if (align == "LEFT")
                spec.VertAlign = ALeft;
            else if (align == "RIGHT")
                spec.VertAlign = ARight;
            break;
        }
        case HtmlSymbol::Border:
            spec.NoBorder = a->Value == 0;
            break;
        case HtmlSymbol::Width:
            if (IsPercentage(a->Text)) {
                if (a->Value >= 1 && a->Value <= 100) {
                    spec.GivenWidth = a->Value;
                    spec.PercentWidth = true;
                }
            } else {
                // A negative or wordy WIDTH counts as absent.
                int w = 0;
                if (PixelAttribute(*a, w)) {
                    spec.GivenWidth = w;
                    spec.PercentWidth = false;
                }
            }
            break;
        case HtmlSymbol::Height: {
            int h = 0;
            if (PixelAttribute(*a, h))
                spec.GivenHeight = std::max(1, h);
            break;
        }
        case HtmlSymbol::HSpace:
            spec.HSpace = MagnitudeAttribute(*a, 20);
            break;
        case HtmlSymbol::Transp:
            spec.CornerTransparent = true;
            break;
        case HtmlSymbol::IsMap:
            spec.IsMap = true;
            break;
        case HtmlSymbol::UseMap:
            spec.UseMap = true;
            spec.MapName = Trim(UpperCase(a->Text));
            if (spec.MapName.size() > 1 && spec.MapName[0] == '#')
                spec.MapName.erase(0, 1);
            break;
        default:
            break;
        }
    }
    return spec;
}

TRuleSpec RuleSpecOf(const TAttributeList& attributes)
{
    TRuleSpec spec;
    for (const auto& a : attributes) {
        switch (a->Symbol) {
        case HtmlSymbol::Size:
            if (a->Value >= 1 && a->Value <= 20)
                spec.VSize = a->Value;
            break;
        case HtmlSymbol::Color:
            spec.HasColor = ParseColor(a->Text, spec.Color);
            break;
        case HtmlSymbol::NoShade:
            spec.NoShade = true;
            break;
        case HtmlSymbol::Align: {
            const CodePageString align = LowerCase(a->Text);
            if (align == "left")
                spec.Align = jLeft;
            else if (align == "right")
                spec.Align = jRight;
            break;
        }
        case HtmlSymbol::Width:
            if (a->Value > 0) {
                if (IsPercentage(a->Text)) {
                    if (a->Value <= 100)
                        spec.HWidth = a->Value;
                    spec.Percent = true;
                } else {
                    spec.HWidth = std::min(a->Value, MaxPixelSize);
                }
            }
            break;
        default:
            break;
        }
    }
    return spec;
}

namespace {

// A BGCOLOR or BORDERCOLOR: filled when its text is a colour, which then
// replaces color; a text that is none leaves the colour but fills nothing.
void ReadBackground(const TAttribute& attribute, bool& filled, TColor& color)
{
    TColor parsed = clWhite;
    filled = ParseColor(attribute.Text, parsed);
    if (filled)
        color = parsed;
}

}  // namespace

TCellSpec CellSpecOf(const TAttributeList& attributes)
{
    TCellSpec spec;
    for (const auto& a : attributes) {
        switch (a->Symbol) {
        case HtmlSymbol::ColSpan:
            // Wider spans than the table may have columns are cut here, before
            // any filler is made for them.
            if (a->Value > 1)
                spec.ColSpan = std::min(a->Value, MaxTableColumns);
            break;
        case HtmlSymbol::RowSpan:
            if (a->Value > 1)
                spec.RowSpan = a->Value;
            break;
        case HtmlSymbol::Width:
            if (IsPercentage(a->Text)) {
                if (a->Value >= 1 && a->Value <= 100) {
                    spec.AskedWidth = a->Value * 10;
                    spec.AsPercent = true;
                }
            } else if (a->Value > 0) {
                spec.AskedWidth = std::min(a->Value, MaxPixelSize);
                spec.AsPercent = false;
            }
            break;
        case HtmlSymbol::Height: {
            int h = 0;
            if (PixelAttribute(*a, h))
                spec.AskedHeight = h;
            break;
        }
        case HtmlSymbol::BgColor:
            ReadBackground(*a, spec.BackFilled, spec.BackColor);
            break;
        default:
            break;
        }
    }
    return spec;
}

std::optional<TColor> RowBackgroundOf(const TAttributeList& attributes)
{
    TAttribute* color = nullptr;
    if (!attributes.FindSymbol(HtmlSymbol::BgColor, color))
        return std::nullopt;
    bool filled = false;
    TColor parsed = clWhite;
    ReadBackground(*color, filled, parsed);
    return filled ? std::optional<TColor>(parsed) : std::nullopt;
}

TTableSpec TableSpecOf(const TAttributeList& attributes)
{
    TTableSpec spec;
    for (const auto& a : attributes) {
        switch (a->Symbol) {
        case HtmlSymbol::Border:
            spec.Border = a->Value > 0;
            break;
        case HtmlSymbol::CellPadding:
            if (a->Value >= 0)
                spec.CellPadding = std::min(50, a->Value);
            break;
        case HtmlSymbol::CellSpacing:
            if (a->Value >= 0)
                spec.CellSpacing = std::min(40, a->Value);
            break;
        case HtmlSymbol::Width:
            if (IsPercentage(a->Text)) {
                spec.AsPercent = true;
                if (a->Value >= 1 && a->Value <= 100)
                    spec.WidthAttr = a->Value * 10;
            } else {
                // A negative or wordy WIDTH is no width.
                int w = 0;
                if (PixelAttribute(*a, w))
                    spec.WidthAttr = w;
            }
            break;
        case HtmlSymbol::Align: {
            const CodePageString align = UpperCase(a->Text);
            if (align == "CENTER") {
                spec.Align = jCentre;
            } else if (align == "LEFT") {
                spec.Align = jLeft;
                spec.Float = true;
            } else if (align == "RIGHT") {
                spec.Align = jRight;
                spec.Float = true;
            }
            break;
        }
        case HtmlSymbol::BgColor:
            ReadBackground(*a, spec.BackFilled, spec.BackColor);
            break;
        case HtmlSymbol::BorderColor:
            ReadBackground(*a, spec.BdrOn, spec.BdrColor);
            break;
        case HtmlSymbol::HSpace:
            spec.HSpace = MagnitudeAttribute(*a, 20);
            break;
        default:
            break;
        }
    }
    return spec;
}

std::uint8_t ClearOf(const TAttributeList& attributes)
{
    TAttribute* clear = nullptr;
    if (!attributes.FindSymbol(HtmlSymbol::Clear, clear))
        return 0;
    const CodePageString value = LowerCase(clear->Text);
    return value == "left" ? 1 : value == "right" ? 2 : 3;
}

namespace {

const TAttribute* FindAttribute(const TAttributeList& attributes, HtmlSymbol symbol)
{
    TAttribute* attribute = nullptr;
    return attributes.FindSymbol(symbol, attribute) ? attribute : nullptr;
}

// A count from an attribute: its number from 1 to max; fallback for a
// number that is not positive (negative, zero or no number at all).
int CountAttribute(const TAttributeList& attributes, HtmlSymbol symbol, int fallback, int max)
{
    const TAttribute* attribute = FindAttribute(attributes, symbol);
    if (!attribute || attribute->Value <= 0)
        return fallback;
    return std::min(attribute->Value, max);
}

}  // namespace

int EditSizeChars(const TAttribute& size)
{
    constexpr int fallback = 20;
    if (size.Value > 0)
        return std::min(size.Value, MaxControlChars);
    // "30,2" and "30 2" have no number of their own; the columns come first.
    const std::size_t cut = size.Text.find_first_of(" ,");
    if (cut == CodePageString::npos || cut == 0)
        return fallback;
    int chars = 0;
    if (!TryStrToInt(size.Text.substr(0, cut), chars) || chars <= 0)
        return fallback;
    return std::min(chars, MaxControlChars);
}

TFormControlSpec FormControlSpecOf(HtmlSymbol which, const TAttributeList& attributes)
{
    TFormControlSpec spec;
    if (const TAttribute* type = FindAttribute(attributes, S::Type))
        spec.Type = LowerCase(type->Text.substr(0, 20));
    if (const TAttribute* name = FindAttribute(attributes, S::Name))
        spec.Name = name->Text;
    if (const TAttribute* value = FindAttribute(attributes, S::Value)) {
        spec.Value = value->Text;
        spec.HasValue = true;
    }
    spec.Checked = FindAttribute(attributes, S::Checked) != nullptr;
    spec.Multiple = FindAttribute(attributes, S::Multiple) != nullptr;
    if (const TAttribute* script = FindAttribute(attributes, S::OnClick))
        spec.ClickScript = script->Text;
    if (const TAttribute* length = FindAttribute(attributes, S::MaxLength); length && length->Value > 0)
        spec.MaxLength = std::min(length->Value, MaxEditLength);
    const TAttribute* size = FindAttribute(attributes, S::Size);
    if (size)
        spec.SizeChars = EditSizeChars(*size);
    spec.VisibleLines = CountAttribute(attributes, S::Size, -1, MaxControlLines);
    spec.Rows = CountAttribute(attributes, S::Rows, 5, MaxControlLines);
    spec.Cols = CountAttribute(attributes, S::Cols, 30, MaxControlChars);
    if (const TAttribute* wrap = FindAttribute(attributes, S::Wrap))
        spec.WordWrap = SameText(wrap->Text, "soft") || SameText(wrap->Text, "hard");

    if (which == S::Input) {
        spec.Kind = TFormControlKind::Edit;
        for (const InputTypeEntry& entry : InputTypes)
            if (entry.Type == spec.Type)
                spec.Kind = entry.Kind;
    } else if (which == S::Select) {
        spec.Kind = spec.Multiple || (size && size->Value > 1) ? TFormControlKind::ListBox : TFormControlKind::Combo;
    } else {
        spec.Kind = TFormControlKind::TextArea;
    }
    return spec;
}

TFormSpec FormSpecOf(const TAttributeList& attributes)
{
    TFormSpec spec;
    if (const TAttribute* method = FindAttribute(attributes, S::Method))
        spec.Method = method->Text.substr(0, 4);
    if (const TAttribute* action = FindAttribute(attributes, S::Action))
        spec.Action = action->Text;
    if (const TAttribute* target = FindAttribute(attributes, S::Target))
        spec.Target = target->Text;
    if (const TAttribute* encType = FindAttribute(attributes, S::EncType))
        spec.EncType = encType->Text;
    return spec;
}

void ParseHtmlBuffer(TSectionList& root, TStringList& anchorNames, std::string_view html,
                     const THtmlParseEvents& events, THtmlParseInfo& info, std::size_t maxBytes)
{
    THtmlBuilder builder(root, anchorNames, events, info, maxBytes);
    builder.P.SetBufferSource(html.data(), html.size());
    builder.ParseHtml();
}

void ParseHtmlStrings(TSectionList& root, TStringList& anchorNames, const TStrings& lines,
                      const THtmlParseEvents& events, THtmlParseInfo& info, std::size_t maxBytes)
{
    THtmlBuilder builder(root, anchorNames, events, info, maxBytes);
    builder.P.SetStringsSource(lines);
    builder.ParseHtml();
}

void ParseHtmlFile(TSectionList& root, TStringList& anchorNames, const CodePageString& fileName,
                   const THtmlParseEvents& events, THtmlParseInfo& info, std::size_t maxBytes)
{
    THtmlBuilder builder(root, anchorNames, events, info, maxBytes);
    builder.P.SetFileSource(fileName);
    builder.ParseHtml();
}

void ParseTextStrings(TSectionList& root, TStringList& anchorNames, const TStrings& lines, std::size_t maxBytes)
{
    THtmlParseInfo info;
    THtmlBuilder builder(root, anchorNames, {}, info, maxBytes);
    builder.P.SetStringsSource(lines);
    builder.ParseText();
}

void ParseTextFile(TSectionList& root, TStringList& anchorNames, const CodePageString& fileName, std::size_t maxBytes)
{
    THtmlParseInfo info;
    THtmlBuilder builder(root, anchorNames, {}, info, maxBytes);
    builder.P.SetFileSource(fileName);
    builder.ParseText();
}
