// The document builder's entry points: they read a whole document, from a
// buffer, a string list or a file, through the tokenizer into a document
// root, and report what the document says about itself. The builder reads
// the tags' attributes: the model takes plain values (ImageSpecOf and the
// like below).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "classlib/Classes.h"
#include "classlib/Graphics.h"
#include "classlib/Strings.h"
#include "htmlview/HtmlParse.h"

class TAttributeList;
class TSectionList;
struct TAttribute;
struct TFormControlSpec;
struct TFormSpec;
class TStringList;
struct TCellSpec;
struct TImageSpec;
struct TRuleSpec;
struct TTableSpec;

// The viewer's events that a document calls while it is read. The sender is
// the document's viewer. They run inside the parse and must not start
// another load of any viewer.
using TMetaEvent = std::function<void(TObject* sender, const CodePageString& httpEquiv, const CodePageString& name,
                                      const CodePageString& content)>;
// BGSOUND (terminate false), and with an empty source, loop 0 and terminate
// true to stop any sound.
using TSoundEvent = std::function<void(TObject* sender, const CodePageString& source, int loop, bool terminate)>;

struct THtmlParseEvents {
    TMetaEvent Meta;
    TSoundEvent Sound;
    TIncludeEvent Include;
};

// What a document says about itself beyond its sections.
struct THtmlParseInfo {
    CodePageString TitleText;
    CodePageString BaseHRef;
    CodePageString BaseFrameTarget;
    // What the document holds, in bytes as its size limit counts them.
    std::size_t Bytes = 0;
    // The document grew past its size limit: the rest of it was not read,
    // and its last line says so.
    bool Cut = false;
};

// The most a document may hold, in bytes of memory as the builder counts
// them: each section, font run, image, table, row, cell, form control,
// option, anchor and map area at what it takes laid out (a one-word table
// cell about 740 bytes, an edit 10 KB, a list box 45 KB), each character at
// 2. Past it the rest of the page is not read. A gigabyte holds the largest
// pages anyone writes whole (10 MB of text and tables count 0.28 GB, a table
// of 1,000,000 cells 0.79 GB), and keeps the viewer of a hostile page near
// 1 GB: a 20 MB page of cells is cut after about 1,360,000 of them.
inline constexpr std::size_t MaxDocumentBytes = std::size_t(1) << 30;
// The line that ends a document cut at its limit.
inline constexpr const char* CutDocumentNotice = "The rest of this page is too large to show.";

// Lists, tables, CENTER and DIV nested deeper than this inside one another
// are read as if their start tag were not there, so that no document can
// make the reader recurse without end.
inline constexpr int MaxParseNesting = 64;

// The builders: each reads a whole document into root (which should be
// empty), records the anchor names in anchorNames (upper case, each with the
// section it starts in as its object) and fills info. Malformed markup never
// raises. "Open Comment at End of HTML File" (EParseError), a file that
// cannot be read (EInOutError) and the exceptions of the events pass on,
// with everything read up to that point in root and in info.
// A document that grows past maxBytes (see MaxDocumentBytes) ends there:
// what is open closes as at the end of a page, and CutDocumentNotice
// follows as its last line.
void ParseHtmlBuffer(TSectionList& root, TStringList& anchorNames, std::string_view html,
                     const THtmlParseEvents& events, THtmlParseInfo& info, std::size_t maxBytes = MaxDocumentBytes);
void ParseHtmlStrings(TSectionList& root, TStringList& anchorNames, const TStrings& lines,
                      const THtmlParseEvents& events, THtmlParseInfo& info, std::size_t maxBytes = MaxDocumentBytes);
void ParseHtmlFile(TSectionList& root, TStringList& anchorNames, const CodePageString& fileName,
                   const THtmlParseEvents& events, THtmlParseInfo& info, std::size_t maxBytes = MaxDocumentBytes);
// Plain text, shown as preformatted lines; no markup or entity is read
// ("<!" comments are still removed).
void ParseTextStrings(TSectionList& root, TStringList& anchorNames, const TStrings& lines,
                      std::size_t maxBytes = MaxDocumentBytes);
void ParseTextFile(TSectionList& root, TStringList& anchorNames, const CodePageString& fileName,
                   std::size_t maxBytes = MaxDocumentBytes);

// What the model takes from a tag, read from its attributes: an IMG (or an
// INPUT TYPE=IMAGE), an HR, a BR's CLEAR (0 without one, 1 left, 2 right,
// 3 all), a TABLE, a TD or TH, and a TR's BGCOLOR when it is a colour.
TImageSpec ImageSpecOf(const TAttributeList& attributes);
TRuleSpec RuleSpecOf(const TAttributeList& attributes);
std::uint8_t ClearOf(const TAttributeList& attributes);
TTableSpec TableSpecOf(const TAttributeList& attributes);
TCellSpec CellSpecOf(const TAttributeList& attributes);
std::optional<TColor> RowBackgroundOf(const TAttributeList& attributes);
// An INPUT, SELECT or TEXTAREA (which) and a FORM. An INPUT is of the kind
// its TYPE names in InputTypes (an edit for any other TYPE or none), a
// SELECT a list box with MULTIPLE or a SIZE above 1 and a combo box
// otherwise, any other tag a text area.
TFormControlSpec FormControlSpecOf(HtmlSymbol which, const TAttributeList& attributes);
TFormSpec FormSpecOf(const TAttributeList& attributes);
// The characters a text input's SIZE asks for: its number when positive;
// for a text such as "30,2" the number before the first blank or comma;
// else 20. At most MaxControlChars.
int EditSizeChars(const TAttribute& size);
