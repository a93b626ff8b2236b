#include "htmlview/HtmlParse.h"

#include <algorithm>
#include <cstdlib>

#include "classlib/Files.h"
#include "classlib/Strings.h"
#include "htmlview/HtmlDocument.h"
#include "platform/CodePage.h"

namespace {

constexpr bool IsLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

constexpr bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

constexpr bool IsHexDigit(char c)
{
    return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// The character a numeric reference stands for, as the byte that shows it:
// Latin-1 as it is (a tab as a blank), and the characters Windows-1252
// holds beyond it; -1 for what the single-byte text cannot show.
int ReferencedByte(long value)
{
    if (value == 9)
        return ' ';
    if (value == 10 || (value >= 32 && value <= 255))
        return int(value);
    if (value > 255 && value <= 0xFFFF)
        return CharTo1252(char16_t(value));
    return -1;
}

// The decimal value of text (optional sign, digits, 32-bit range), else 0.
int DecimalValue(std::string_view text)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        return 0;
    long long value = 0;
    for (; i < text.size(); ++i) {
        if (!IsDigit(text[i]))
            return 0;
        value = value * 10 + (text[i] - '0');
        if (value > 2147483648LL)
            return 0;
    }
    if (negative)
        value = -value;
    return value > 2147483647LL ? 0 : int(value);
}

constexpr std::uint32_t NameHash(std::string_view name)
{
    std::uint32_t h = 2166136261u;
    for (char c : name)
        h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    return h;
}

constexpr bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i])
            return false;
    return true;
}

// An open-addressing index over a table's names, built at compile time: a
// lookup costs a hash and, mostly, one comparison. A name that comes twice
// is indexed at its first entry, so the first entry wins.
template <std::size_t Slots>
struct NameIndex {
    static constexpr std::uint8_t Empty = 0xFF;
    std::array<std::uint8_t, Slots> Slot{};

    template <class Entry, std::size_t N, class NameOf>
    constexpr NameIndex(const std::array<Entry, N>& table, NameOf nameOf)
    {
        static_assert(N < Slots / 2 && N < Empty);
        Slot.fill(Empty);
        for (std::size_t i = 0; i < N; ++i) {
            std::size_t h = NameHash(nameOf(table[i])) % Slots;
            bool seen = false;
            while (Slot[h] != Empty && !seen) {
                seen = SameName(nameOf(table[Slot[h]]), nameOf(table[i]));
                h = (h + 1) % Slots;
            }
            if (!seen)
                Slot[h] = std::uint8_t(i);
        }
    }

    template <class Entry, std::size_t N, class NameOf>
    int Find(const std::array<Entry, N>& table, NameOf nameOf, std::string_view name) const
    {
        for (std::size_t h = NameHash(name) % Slots; Slot[h] != Empty; h = (h + 1) % Slots)
            if (SameName(nameOf(table[Slot[h]]), name))
                return Slot[h];
        return -1;
    }
};

constexpr auto TagName = [](const TagEntry& e) { return e.Name; };
constexpr auto AttributeName = [](const AttributeEntry& e) { return e.Name; };
constexpr auto EntityName = [](std::string_view e) { return e; };

constexpr NameIndex<256> TagIndex(TagTable, TagName);
constexpr NameIndex<256> AttributeIndex(AttributeTable, AttributeName);
constexpr NameIndex<256> EntityIndex(EntityNames, EntityName);

static_assert(TagTable[47].Name == "TR" && TagTable[48].End == HtmlSymbol::UnknownTag);
static_assert(EntityNames[4] == "nbsp" && EntityChar(4) == char(160));
static_assert(EntityNames[99] == "yuml" && EntityChar(99) == char(255));

}  // namespace

const TagEntry* FindTag(std::string_view upperName)
{
    const int index = TagIndex.Find(TagTable, TagName, upperName);
    return index < 0 ? nullptr : &TagTable[std::size_t(index)];
}

HtmlSymbol FindAttribute(std::string_view upperName)
{
    const int index = AttributeIndex.Find(AttributeTable, AttributeName, upperName);
    return index < 0 ? HtmlSymbol::UnknownAttr : AttributeTable[std::size_t(index)].Symbol;
}

int FindEntity(std::string_view name)
{
    return EntityIndex.Find(EntityNames, EntityName, name);
}

bool ParseColor(const CodePageString& text, TColor& color)
{
    if (text.empty())
        return false;
    const CodePageString name = UpperCase(text.substr(0, 10));
    for (const ColorEntry& entry : ColorTable) {
        if (name == entry.Name) {
            color = entry.Color;
            return true;
        }
    }
    CodePageString hex = text;
    const std::size_t hash = hex.find('#');
    if (hash != CodePageString::npos)
        hex.erase(hash, 1);
    int value = 0;
    if (!TryStrToInt("$" + hex, value))
        return false;
    // rrggbb as written; the Windows colour has red in its low byte.
    color = TColor(((value & 0xFF) << 16) | (value & 0xFF00) | ((value >> 16) & 0xFF));
    return true;
}

int SizeStepOf(bool usePreSteps, int points)
{
    for (int step = 1; step <= 7; ++step) {
        if (usePreSteps && PreFontSizeSteps[std::size_t(step - 1)] == points)
            return step;
        if (FontSizeSteps[std::size_t(step - 1)] == points)
            return step;
    }
    return -1;
}

// --- sources -------------------------------------------------------------------

struct ParserState::FileSource {
    std::unique_ptr<TFileStream> Stream;
    char Buffer[2000];
};

ParserState::ParserState() = default;
ParserState::~ParserState() = default;

void ParserState::Reset(TSourceKind kind)
{
    FSourceKind = kind;
    FKindBeforeInclude = kind;
    FPos = FEnd = nullptr;
    FPosBeforeInclude = FEndBeforeInclude = nullptr;
    FEnded = false;
    FSourceLines = nullptr;
    FCurrentLine.clear();
    FLineIndex = 0;
    FFile.reset();
    FHasPushedBack = false;
    FCommentOpen = false;
    FInDirective = false;
    FInQuotedValue = false;
    KeepBlanks = false;
    RawScriptMode = false;
    ParagraphSpaceDone = false;
    CurrentChar = UpperChar = EndOfInputChar;
    Symbol = HtmlSymbol::EndOfInput;
    TokenText.clear();
    HeadingLevel = 0;
    TagAttributes.Clear();
}

void ParserState::SetBufferSource(const char* data, std::size_t length)
{
    Reset(TSourceKind::Buffer);
    FPos = data;
    FEnd = data ? data + length : data;
}

void ParserState::SetStringsSource(const TStrings& lines)
{
    Reset(TSourceKind::Strings);
    FSourceLines = &lines;
}

void ParserState::SetFileSource(const CodePageString& fileName)
{
    Reset(TSourceKind::File);
    auto file = std::make_unique<FileSource>();
    try {
        file->Stream = std::make_unique<TFileStream>(fileName, fmOpenRead | fmShareDenyWrite);
    } catch (const EStreamError& e) {
        throw EInOutError(e.Message);
    }
    FFile = std::move(file);
}

void ParserState::EndAllSources()
{
    FEnded = true;
    FPos = FEnd = nullptr;
    FPosBeforeInclude = FEndBeforeInclude = nullptr;
}

void ParserState::EndInput()
{
    EndAllSources();
    FFile.reset();
    FHasPushedBack = false;
    FCommentOpen = false;
    FInDirective = false;
    FInQuotedValue = false;
    CurrentChar = UpperChar = EndOfInputChar;
}

char ParserState::RefillAndRead()
{
    if (FEnded)
        return EndOfInputChar;
    switch (FSourceKind) {
    case TSourceKind::Buffer:
        break;
    case TSourceKind::Strings:
        if (FSourceLines && FLineIndex < FSourceLines->Count()) {
            FCurrentLine = FSourceLines->Strings(FLineIndex++);
            FCurrentLine += '\r';
            FPos = FCurrentLine.data();
            FEnd = FPos + FCurrentLine.size();
            return ReadSourceChar();
        }
        break;
    case TSourceKind::File:
        if (FFile) {
            const std::int64_t n = FFile->Stream->Read(FFile->Buffer, sizeof FFile->Buffer);
            if (n < 0)
                throw EInOutError("Read error on \"" + FFile->Stream->FileName() + "\"");
            if (n > 0) {
                FPos = FFile->Buffer;
                FEnd = FPos + n;
                return ReadSourceChar();
            }
        }
        break;
    case TSourceKind::Include:
        FSourceKind = FKindBeforeInclude;
        FPos = FPosBeforeInclude;
        FEnd = FEndBeforeInclude;
        return ReadSourceChar();
    }
    EndAllSources();
    return EndOfInputChar;
}

// --- comments, declarations and include directives -------------------------------

void ParserState::NextCharSlowly()
{
    char c;
    if (FHasPushedBack) {
        c = FPushedBack;
        FHasPushedBack = false;
    } else {
        c = ReadSourceChar();
    }
    if (c == '\n') {
        const char next = ReadSourceChar();
        if (next != '\r')
            PushBack(next);
        c = '\r';
    } else if (c == '\r') {
        const char next = ReadSourceChar();
        if (next != '\n')
            PushBack(next);
    } else if (c == '\t') {
        c = ' ';
    }
    CurrentChar = c;
    UpperChar = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
    if (c == EndOfInputChar && FCommentOpen)
        throw EParseError(OpenCommentMessage);
}

// At "<": while a comment, directive or declaration starts here, it is
// removed and the character after it becomes current.
void ParserState::RemoveCommentsAtLessThan()
{
    for (;;) {
        // The byte after "<" is looked at raw, and given back when it is not "!".
        const char next = ReadSourceChar();
        if (next != '!') {
            PushBack(next);
            return;
        }
        FCommentOpen = true;
        NextChar();
        if (CurrentChar != '-') {
            SkipDeclaration();
        } else {
            NextChar();
            if (CurrentChar != '-')
                SkipDeclaration();
            else {
                NextChar();
                if (IncludeEvent && CurrentChar == '#' && FSourceKind != TSourceKind::Include)
                    ReadIncludeDirective();
                else
                    SkipComment();
            }
        }
        // The closing ">" is current: read what follows it.
        FCommentOpen = false;
        NextChar();
        if (CurrentChar != '<' || RawScriptMode)
            return;
    }
}

void ParserState::SkipDeclaration()
{
    while (CurrentChar != '>')
        NextChar();
}

// A comment ends at "--", any further "-", optional blanks and line ends,
// and ">", which is current afterwards. step moves on by one character;
// false when interrupted() holds first (at a character other than "-").
template <class Step, class Interrupted>
bool ParserState::ScanToCommentEnd(Step step, Interrupted interrupted)
{
    for (;;) {
        while (CurrentChar != '-') {
            if (interrupted())
                return false;
            step();
        }
        step();
        if (CurrentChar != '-')
            continue;
        while (CurrentChar == '-')
            step();
        while (CurrentChar == ' ' || CurrentChar == '\r')
            step();
        if (CurrentChar == '>')
            return true;
    }
}

void ParserState::SkipComment()
{
    // The end of the document raises inside NextChar: the comment is open.
    ScanToCommentEnd([this] { NextChar(); }, [] { return false; });
}

void ParserState::ReadIncludeDirective()
{
    NextChar();  // past "#"
    CodePageString command;
    while (IsLetter(CurrentChar)) {
        command += CurrentChar;
        NextChar();
    }
    TStringList params;
    // Inside the directive no comment can start, and the end of the document
    // is an open comment.
    FInDirective = true;
    HtmlSymbol symbol;
    int number = 0;
    while (ReadAttribute(symbol, FAttrName, FAttrValue, number))
        params.Add(FAttrName + "=\"" + FAttrValue + "\"");
    FInDirective = false;
    SkipComment();

    const char* buffer = nullptr;
    int size = 0;
    IncludeEvent(IncludeSender, command, &params, buffer, size);
    if (size > 0 && buffer) {
        FKindBeforeInclude = FSourceKind;
        FPosBeforeInclude = FPos;
        FEndBeforeInclude = FEnd;
        FSourceKind = TSourceKind::Include;
        FPos = buffer;
        FEnd = buffer + size;
    }
}

void ParserState::SkipBlanks()
{
    while (CurrentChar == ' ' || CurrentChar == '\r')
        Advance();
}

// --- entities ------------------------------------------------------------------------

bool ParserState::ReadEntity()
{
    if (CurrentChar != '&')
        return false;
    Symbol = HtmlSymbol::Text;
    DecodeEntity(TokenText);
    return true;
}

// At "&". Whatever does not decode stays as the literal text it was, so the
// result is at most "&#x" and six more characters.
void ParserState::DecodeEntity(CodePageString& out)
{
    out.clear();
    Advance();
    if (CurrentChar == '#') {
        Advance();
        // "&#x" and hexadecimal digits, or decimal digits.
        CodePageString lead = "&#";
        const bool hex = CurrentChar == 'x' || CurrentChar == 'X';
        if (hex) {
            lead += CurrentChar;
            Advance();
        }
        const auto isDigit = [hex](char c) { return hex ? IsHexDigit(c) : IsDigit(c); };
        char digits[6];
        std::size_t count = 0;
        while (count < 5 && isDigit(CurrentChar)) {
            digits[count++] = CurrentChar;
            Advance();
        }
        if (count == 5 && isDigit(CurrentChar)) {
            digits[count++] = CurrentChar;
            Advance();
            out.append(lead).append(digits, count);
            return;
        }
        const bool semicolon = CurrentChar == ';';
        if (semicolon)
            Advance();
        if (count > 0) {
            const long value = std::strtol(std::string(digits, count).c_str(), nullptr, hex ? 16 : 10);
            const int byte = ReferencedByte(value);
            if (byte >= 0) {
                out = char(byte);
                return;
            }
        }
        // No digits, or a character the single-byte text cannot show.
        out.append(lead).append(digits, count);
        if (semicolon)
            out += ';';
        return;
    }
    char name[7];
    std::size_t length = 0;
    while (length < 6 && (IsLetter(CurrentChar) || IsDigit(CurrentChar))) {
        name[length++] = CurrentChar;
        Advance();
    }
    if (length == 6 && (IsLetter(CurrentChar) || IsDigit(CurrentChar))) {
        name[length++] = CurrentChar;
        Advance();
        out.append("&").append(name, length);
        return;
    }
    const bool semicolon = CurrentChar == ';';
    if (semicolon)
        Advance();
    const std::string_view written(name, length);
    const int entity = FindEntity(written);
    if (entity >= 0) {
        out = EntityChar(std::size_t(entity));
        return;
    }
    for (const CodePageEntity& e : CodePageEntities) {
        if (e.Name == written) {
            out = char(e.Byte);
            return;
        }
    }
    out.append("&").append(name, length);
    if (semicolon)
        out += ';';
}

// --- attributes -------------------------------------------------------------------------

bool ParserState::ReadAttribute(HtmlSymbol& symbol, CodePageString& name, CodePageString& value, int& number)
{
    symbol = HtmlSymbol::UnknownAttr;
    SkipBlanks();
    name.clear();
    value.clear();
    number = 0;
    if (!IsLetter(CurrentChar))
        return false;
    while (IsLetter(CurrentChar) || CurrentChar == '-') {
        name += UpperChar;
        Advance();
    }
    symbol = FindAttribute(name);
    SkipBlanks();
    // A bare BORDER stands for a border of 1.
    number = symbol == HtmlSymbol::Border ? 1 : 0;
    if (CurrentChar == '=') {
        Advance();
        SkipBlanks();
        if (CurrentChar == '"' || CurrentChar == '\'')
            ReadQuotedValue(value, number);
        else if (CurrentChar == '+' || CurrentChar == '-' || IsDigit(CurrentChar))
            ReadNumberValue(value, number);
        else
            ReadBareValue(value);
    }
    return true;
}

void ParserState::ReadQuotedValue(CodePageString& value, int& number)
{
    const char quote = CurrentChar;
    FInQuotedValue = true;
    Advance();
    CodePageString entity;
    while (CurrentChar != quote && CurrentChar != EndOfInputChar) {
        if (CurrentChar == '\r') {
            Advance();
        } else if (CurrentChar == '&') {
            DecodeEntity(entity);
            value += entity;
        } else if (CurrentChar == '<' && !FInDirective) {
            value += CommentInValue(quote);
        } else {
            value += CurrentChar;
            Advance();
        }
    }
    FInQuotedValue = false;
    if (CurrentChar == quote)
        Advance();
    std::size_t first = 0;
    while (first < value.size() && static_cast<unsigned char>(value[first]) <= ' ')
        ++first;
    std::size_t last = value.size();
    while (last > first && static_cast<unsigned char>(value[last - 1]) <= ' ')
        --last;
    value.erase(last).erase(0, first);
    std::string_view digits = value;
    if (!digits.empty() && digits.back() == '%')
        digits.remove_suffix(1);
    number = DecimalValue(digits);
}

// At "<" inside a quoted value. A comment (or declaration) that ends
// before the value does is removed, as anywhere else; one that the value's
// closing quote (or the end of the document) interrupts is text of the
// value: a value typed as "<!--" must not swallow the rest of the page.
// Returns the text that stays; the character after it is current.
CodePageString ParserState::CommentInValue(char quote)
{
    CodePageString text(1, '<');
    NextChar();
    if (CurrentChar != '!')
        return text;
    const auto take = [&] {
        if (CurrentChar != '\r')
            text += CurrentChar;
        NextChar();
    };
    const auto interrupted = [&] { return CurrentChar == quote || CurrentChar == EndOfInputChar; };
    take();  // "!"
    bool comment = false;
    if (CurrentChar == '-') {
        take();
        comment = CurrentChar == '-';
        if (comment)
            take();
    }
    if (!comment) {
        while (CurrentChar != '>') {
            if (interrupted())
                return text;
            take();
        }
        NextChar();
        return CodePageString();
    }
    if (!ScanToCommentEnd(take, interrupted))
        return text;
    NextChar();
    return CodePageString();
}

void ParserState::ReadNumberValue(CodePageString& value, int& number)
{
    while (CurrentChar != ' ' && CurrentChar != '\r' && CurrentChar != EndOfInputChar && CurrentChar != '%' &&
           CurrentChar != '>') {
        value += CurrentChar;
        Advance();
    }
    number = DecimalValue(value);
    SkipBlanks();
    if (CurrentChar == '%') {
        value += '%';
        Advance();
    }
}

void ParserState::ReadBareValue(CodePageString& value)
{
    while (CurrentChar != ' ' && CurrentChar != '\r' && CurrentChar != EndOfInputChar && CurrentChar != '>') {
        value += CurrentChar;
        Advance();
    }
}

// --- tags, text and tokens -------------------------------------------------------------

bool ParserState::ReadTag()
{
    if (CurrentChar != '<')
        return false;
    Advance();
    const bool endTag = CurrentChar == '/';
    if (endTag) {
        Advance();
    } else if (!IsLetter(CurrentChar)) {
        Symbol = HtmlSymbol::Text;
        TokenText.assign(1, '<');
        return true;
    }
    Symbol = HtmlSymbol::UnknownTag;
    while (IsLetter(CurrentChar)) {
        if (TokenText.size() < MaxTagName)
            TokenText += UpperChar;
        Advance();
    }
    if (const TagEntry* tag = FindTag(TokenText))
        Symbol = endTag ? tag->End : tag->Start;

    SkipBlanks();
    HeadingLevel = 0;
    if ((Symbol == HtmlSymbol::H || Symbol == HtmlSymbol::HEnd) && CurrentChar >= '1' && CurrentChar <= '6') {
        HeadingLevel = CurrentChar - '0';
        Advance();
    }

    HtmlSymbol symbol;
    int number = 0;
    if (AttributeTags.Contains(Symbol)) {
        TagAttributes.Clear();
        while (ReadAttribute(symbol, FAttrName, FAttrValue, number))
            TagAttributes.Add(symbol, number, FAttrValue);
    } else {
        while (ReadAttribute(symbol, FAttrName, FAttrValue, number)) {
        }
    }

    while (CurrentChar != '>' && CurrentChar != EndOfInputChar)
        Advance();
    Advance();
    return true;
}

// A run of text up to 100 characters; outside preformatted text every run of
// white space becomes one blank.
bool ParserState::ReadText()
{
    const auto isText = [this] {
        const unsigned char c = static_cast<unsigned char>(CurrentChar);
        return c == '\r' || (c >= 32 && c != '&' && c != '<' && c != '>');
    };
    while (TokenText.size() < MaxTextRun && isText()) {
        if (!KeepBlanks && (CurrentChar == ' ' || CurrentChar == '\r')) {
            TokenText += ' ';
            SkipBlanks();
        } else {
            TokenText += CurrentChar;
            Advance();
        }
    }
    if (TokenText.empty())
        return false;
    Symbol = HtmlSymbol::Text;
    return true;
}

void ParserState::NextToken()
{
    TokenText.clear();
    HeadingLevel = 0;
    if (CurrentChar == EndOfInputChar) {
        Symbol = HtmlSymbol::EndOfInput;
    } else if (!ReadTag() && !ReadEntity() && !ReadText()) {
        // A ">" outside a tag or a control character.
        Symbol = HtmlSymbol::StrayChar;
        TokenText = CurrentChar;
        Advance();
    }
    if (ParagraphSpaceDone && ParagraphContent.Contains(Symbol))
        ParagraphSpaceDone = false;
}

// --- token lists -------------------------------------------------------------------------

std::vector<HtmlToken> ReadTokens(ParserState& parser)
{
    std::vector<HtmlToken> tokens;
    parser.AdvanceChar();
    for (;;) {
        parser.NextToken();
        if (parser.Symbol == HtmlSymbol::EndOfInput)
            return tokens;
        HtmlToken& token = tokens.emplace_back();
        token.Symbol = parser.Symbol;
        token.Text = parser.TokenText;
        token.HeadingLevel = parser.HeadingLevel;
        if (AttributeTags.Contains(parser.Symbol))
            for (const auto& attribute : parser.TagAttributes)
                token.Attributes.push_back(*attribute);
    }
}

std::vector<HtmlToken> TokenizeHtml(std::string_view bytes, const TIncludeEvent& include)
{
    ParserState parser;
    parser.SetBufferSource(bytes.data(), bytes.size());
    parser.IncludeEvent = include;
    return ReadTokens(parser);
}

std::vector<HtmlToken> TokenizeHtml(const TStrings& lines, const TIncludeEvent& include)
{
    ParserState parser;
    parser.SetStringsSource(lines);
    parser.IncludeEvent = include;
    return ReadTokens(parser);
}

bool TAttributeList::FindSymbol(HtmlSymbol symbol, TAttribute*& attribute) const
{
    for (const auto& item : *this) {
        if (item->Symbol == symbol) {
            attribute = item.get();
            return true;
        }
    }
    return false;
}
