// The text side of the HTTP clients: URL splitting, the encoder used for basic
// authentication, the date of "If-Modified-Since", and the pieces that read
// one response header line. All of them are pure functions over bytes; the
// clients (HttpProt, StHttpProt) call them and tests feed them directly.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "classlib/Dates.h"
#include "classlib/Strings.h"

// Misuse of a client and failures of a response line. ErrorCode is 1 "HTTP
// component is busy", 2 "HTTP component has nothing to post", 4 "HTTP line too
// long", or the HTTP status when THttpCli.Get raises it.
class EHttpException : public Exception {
public:
    EHttpException(const CodePageString& message, std::uint16_t errorCode)
        : Exception(message), ErrorCode(errorCode) {}
    std::uint16_t ErrorCode;
};

// Splits URL into its parts. Path is also an input: on entry it is the base
// path against which "./" and "../" resolve. Outputs not found stay empty;
// SplitURL never fails.
void SplitURL(const CodePageString& URL, CodePageString& Proto, CodePageString& User, CodePageString& Password,
              CodePageString& Host, CodePageString& Port, CodePageString& Path);

// The older splitter of the submission client: Path is an output only, "./"
// and "../" are split like any other URL, and the path starts at the first
// "/" only (a "?" before any "/" stays in the host).
void SplitURLNoBase(const CodePageString& URL, CodePageString& Proto, CodePageString& User,
                    CodePageString& Password, CodePageString& Host, CodePageString& Port, CodePageString& Path);

// --- references ------------------------------------------------------------

// A URL reference taken apart by the generic syntax of references:
// scheme ":" "//" authority path "?" query "#" fragment. The views point into
// the text that was split.
struct TUrlReference {
    std::string_view scheme;     // without ":"; empty when there is none
    std::string_view authority;  // without "//"
    bool hasAuthority = false;
    std::string_view path;
    std::string_view query;      // with its "?"
    std::string_view fragment;   // with its "#"
};
TUrlReference SplitReference(std::string_view url);

// A reference's scheme: a letter, then letters, digits, "+", "-" or ".",
// then ":" before any "/", "?" or "#". Empty when there is none.
std::string_view SchemeOf(std::string_view url);

// "." and ".." segments taken out of a path, the ordinary way: "/a/./b/../c"
// is "/a/c", and ".." never climbs above the top.
std::string RemoveDotSegments(std::string_view path);

// True when a relocation address names a scheme other than http ("https:",
// "ftp:", "mailto:", "javascript:"...): the clients speak nothing else. A
// host followed by a port ("name:8080/x") is no scheme.
bool NamesOtherScheme(std::string_view location);

// Mode 0: a uuencoded line; 1 or 2: Base64 padded with "="; any other mode:
// the raw 6-bit values, unpadded.
void Encode(std::uint8_t Mode, const void* Data, int Len, CodePageString& Out);
void Base64Encode(std::uint8_t Mode, const CodePageString& S, CodePageString& Out);
// Base64 (mode 1) of S, for the authorization lines.
CodePageString Base64Of(const CodePageString& S);

// "Wed, 09 Dec 2026 08:05:03": the date as it stands, no conversion to GMT
// (the caller appends " GMT").
CodePageString RFC1123Date(TDateTime D);

// FileName up to and including its last "." followed by NewExt; without a
// ".", FileName + "." + NewExt.
void ReplaceExtension(CodePageString& FileName, const CodePageString& NewExt);

// 1-based position of the N-th occurrence of Sub in S, counted from the start
// for N > 0 and from the end for N < 0 (-1 is the last). Not found: a value
// beyond the length of S for N > 0, 0 for N < 0 (and for N = 0).
int NthPos(const CodePageString& Sub, const CodePageString& S, int N);

// --- response header lines -----------------------------------------------

// A number of a reply (a status, a length): decimal digits after an optional
// sign, within 64 bits; blanks around it are ignored, as servers send them.
// Anything else raises EConvertError "'<text>' is not a valid integer value".
std::int64_t ReplyNumber(const CodePageString& Text);

// A status line starts with exactly "HTTP/1.0" or "HTTP/1.1"; the status is
// characters 10 to 12, the reason phrase characters 14 to the end. Blanks
// before the status are skipped and a shorter status ends at a blank; the
// reason then starts after the blank that follows it. A status that is not a
// number raises EConvertError.
bool ParseStatusLine(const CodePageString& Line, int& Status, CodePageString& Reason);

// "Name: value": the name before the first ":", lower-cased; the value after
// the ":" and the blanks that follow it, the last character never skipped.
// False for a line without ":".
bool SplitHeaderField(const CodePageString& Line, CodePageString& Name, CodePageString& Value);

// "bytes 100-199/1000": Begin "100", End "199". Parts that are missing come
// out empty.
void ParseContentRange(const CodePageString& Value, CodePageString& Begin, CodePageString& End);

// The path as the request line to a server carries it: "/" for an empty
// path, and "/" before a query that came without one ("?q=1" becomes
// "/?q=1"). Through a proxy the absolute URL goes as it came.
CodePageString RequestPath(const CodePageString& Path);

// The address of a "location" line as it may go into the next request.
// False when it holds a control byte: a CR or any other could end the request
// line and start a header of the server's choosing. Otherwise Out is the
// address without the blanks and tabs at its ends, each blank inside sent as
// "%20".
bool CleanLocation(const CodePageString& Location, CodePageString& Out);

// True when the line starts with "<HTML>" in any case: a reply without a header.
bool IsHeaderlessStart(const CodePageString& Line);

// The document name of a request path: "document.htm" for an empty path or
// "/"; otherwise one trailing "/" dropped, the last segment (at most 255
// characters), cut at its first "?". cutQueryFirst also cuts the path at "?"
// before anything else (the newer client; the submission client does not).
CodePageString DocumentNameOfPath(const CodePageString& Path, bool cutQueryFirst);
