#include "transport/HttpUtil.h"

#include <cctype>
#include <cstdio>

#include "classlib/Dates.h"
#include "classlib/Strings.h"

namespace {

bool StartsWithNoCase(const CodePageString& s, const char* prefix)
{
    const CodePageString p(prefix);
    return s.size() >= p.size() && SameText(s.substr(0, p.size()), p);
}

bool IsBlank(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

// The base of a relative "./" or "../" URL: the path up to and including its
// last "/", or "/".
CodePageString BaseFolder(const CodePageString& path)
{
    const auto slash = path.rfind('/');
    return slash == CodePageString::npos ? CodePageString("/") : path.substr(0, slash + 1);
}

// Climbs one folder: "/x/y/" becomes "/x/", "/" stays "/".
CodePageString ParentFolder(CodePageString base)
{
    if (!base.empty() && base.back() == '/')
        base.pop_back();
    const auto slash = base.rfind('/');
    return slash == CodePageString::npos ? CodePageString("/") : base.substr(0, slash + 1);
}

void SplitURLImpl(const CodePageString& URL, CodePageString& Proto, CodePageString& User,
                  CodePageString& Password, CodePageString& Host, CodePageString& Port, CodePageString& Path,
                  bool withBase)
{
    const CodePageString basePath = Path;
    Proto.clear();
    User.clear();
    Password.clear();
    Host.clear();
    Port.clear();
    Path.clear();
    if (URL.empty())
        return;

    if (withBase && URL.compare(0, 2, "./") == 0) {
        Path = BaseFolder(basePath) + URL.substr(2);
        return;
    }
    if (withBase && URL.compare(0, 3, "../") == 0) {
        CodePageString base = BaseFolder(basePath);
        std::size_t at = 0;
        while (URL.compare(at, 3, "../") == 0) {
            base = ParentFolder(base);
            at += 3;
        }
        Path = base + URL.substr(at);
        return;
    }

    CodePageString rest;
    const auto scheme = URL.find("://");
    if (scheme != CodePageString::npos) {
        Proto = URL.substr(0, scheme);
        rest = URL.substr(scheme + 3);
    } else if (URL[0] == '/') {
        Proto = "http";
        if (URL.size() > 1 && URL[1] != '/') {
            Path = URL;
            return;
        }
        rest = URL.substr(1);
    } else if (StartsWithNoCase(URL, "http:") && URL.find("//") == CodePageString::npos) {
        Proto = "http";
        if (URL.size() >= 7 && URL[6] != '/') {
            Path = URL.substr(5);
            return;
        }
        rest = URL.size() > 6 ? URL.substr(6) : CodePageString();
    } else if (StartsWithNoCase(URL, "mailto:")) {
        Proto = "mailto";
        rest = URL.substr(URL.find(':') + 1);
    } else {
        rest = URL;
    }

    auto pathStart = rest.find('/');
    if (withBase) {
        const auto query = rest.find('?');
        if (query != CodePageString::npos && (pathStart == CodePageString::npos || query < pathStart))
            pathStart = query;
    }
    CodePageString authority = rest;
    if (pathStart != CodePageString::npos) {
        Path = rest.substr(pathStart);
        authority = rest.substr(0, pathStart);
    }

    const auto colon = authority.rfind(':');
    const auto at = authority.rfind('@');
    const std::size_t hostStart = at == CodePageString::npos ? 0 : at + 1;
    if (colon == CodePageString::npos || (at != CodePageString::npos && colon < at)) {
        Host = authority.substr(hostStart);
    } else {
        Port = authority.substr(colon + 1);
        Host = authority.substr(hostStart, colon - hostStart);
    }
    if (at != CodePageString::npos) {
        const CodePageString userInfo = authority.substr(0, at);
        const auto sep = userInfo.find(':');
        if (sep == CodePageString::npos) {
            User = userInfo;
        } else {
            User = userInfo.substr(0, sep);
            Password = userInfo.substr(sep + 1);
        }
    }
}

constexpr char Base64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char DayNames[] = "MonTueWedThuFriSatSun";
constexpr char MonthNames[] = "JanFebMarAprMayJunJulAugSepOctNovDec";

}  // namespace

void SplitURL(const CodePageString& URL, CodePageString& Proto, CodePageString& User, CodePageString& Password,
              CodePageString& Host, CodePageString& Port, CodePageString& Path)
{
    SplitURLImpl(URL, Proto, User, Password, Host, Port, Path, true);
}

void SplitURLNoBase(const CodePageString& URL, CodePageString& Proto, CodePageString& User,
                    CodePageString& Password, CodePageString& Host, CodePageString& Port, CodePageString& Path)
{
    SplitURLImpl(URL, Proto, User, Password, Host, Port, Path, false);
}

std::string_view SchemeOf(std::string_view url)
{
    if (url.empty() || !std::isalpha(static_cast<unsigned char>(url[0])))
        return {};
    for (std::size_t i = 1; i < url.size(); ++i) {
        const auto c = static_cast<unsigned char>(url[i]);
        if (c == ':')
            return url.substr(0, i);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.')
            return {};
    }
    return {};
}

TUrlReference SplitReference(std::string_view url)
{
    constexpr auto npos = std::string_view::npos;
    TUrlReference parts;
    const auto hash = url.find('#');
    if (hash != npos) {
        parts.fragment = url.substr(hash);
        url = url.substr(0, hash);
    }
    parts.scheme = SchemeOf(url);
    if (!parts.scheme.empty())
        url.remove_prefix(parts.scheme.size() + 1);
    if (url.substr(0, 2) == "//") {
        parts.hasAuthority = true;
        url.remove_prefix(2);
        const auto end = url.find_first_of("/?");
        parts.authority = url.substr(0, end);
        url = end == npos ? std::string_view() : url.substr(end);
    }
    const auto question = url.find('?');
    parts.path = url.substr(0, question);
    if (question != npos)
        parts.query = url.substr(question);
    return parts;
}

std::string RemoveDotSegments(std::string_view in)
{
    constexpr auto npos = std::string_view::npos;
    static constexpr std::string_view root = "/";
    const auto dropLastSegment = [](std::string& out) {
        const auto slash = out.rfind('/');
        out.resize(slash == std::string::npos ? 0 : slash);
    };
    std::string out;
    while (!in.empty()) {
        if (in.substr(0, 3) == "../") {
            in.remove_prefix(3);
        } else if (in.substr(0, 2) == "./") {
            in.remove_prefix(2);
        } else if (in.substr(0, 3) == "/./") {
            in.remove_prefix(2);
        } else if (in == "/.") {
            in = root;
        } else if (in.substr(0, 4) == "/../") {
            in.remove_prefix(3);
            dropLastSegment(out);
        } else if (in == "/..") {
            in = root;
            dropLastSegment(out);
        } else if (in == "." || in == "..") {
            in = {};
        } else {
            const auto next = in.find('/', 1);
            out += in.substr(0, next);
            in = next == npos ? std::string_view() : in.substr(next);
        }
    }
    return out;
}

bool NamesOtherScheme(std::string_view location)
{
    const std::string_view scheme = SchemeOf(location);
    if (scheme.empty() || SameText(CodePageString(scheme), "http"))
        return false;
    // "name:8080" or "name:8080/x": a host and its port, as a bare host part came before.
    const std::string_view rest = location.substr(scheme.size() + 1);
    const std::size_t digits = rest.find_first_not_of("0123456789");
    const bool port = digits != 0 && (digits == std::string_view::npos || rest[digits] == '/');
    return !port;
}

void Encode(std::uint8_t Mode, const void* Data, int Len, CodePageString& Out)
{
    Out.clear();
    const auto* bytes = static_cast<const unsigned char*>(Data);
    if (Len < 0 || (Len > 0 && !bytes))
        Len = 0;
    const bool uuencode = Mode == 0;
    const bool base64 = Mode == 1 || Mode == 2;
    if (uuencode)
        Out += static_cast<char>(((Len - 1) & 63) + 33);
    for (int i = 0; i < Len; i += 3) {
        const int have = std::min(3, Len - i);
        const unsigned b0 = bytes[i];
        const unsigned b1 = have > 1 ? bytes[i + 1] : 0;
        const unsigned b2 = have > 2 ? bytes[i + 2] : 0;
        const unsigned values[4] = {b0 >> 2, ((b0 & 3) << 4) | (b1 >> 4), ((b1 & 15) << 2) | (b2 >> 6),
                                    b2 & 63};
        // A uuencoded line always carries whole groups; the others stop at the
        // last value that holds data bits.
        const int count = uuencode ? 4 : have + 1;
        for (int k = 0; k < count; ++k) {
            const unsigned v = values[k];
            if (uuencode)
                Out += v == 0 ? '`' : static_cast<char>(32 + v);
            else if (base64)
                Out += Base64Alphabet[v];
            else
                Out += static_cast<char>(v);
        }
    }
    if (base64)
        while (Out.size() % 4 != 0)
            Out += '=';
}

void Base64Encode(std::uint8_t Mode, const CodePageString& S, CodePageString& Out)
{
    Encode(Mode, S.data(), static_cast<int>(S.size()), Out);
}

CodePageString Base64Of(const CodePageString& S)
{
    CodePageString out;
    Base64Encode(1, S, out);
    return out;
}

CodePageString RFC1123Date(TDateTime D)
{
    // The weekday of the same day that DecodeDate gives: also for a date out
    // of range or before 1899, where a day number of its own would differ.
    const int day = (DayOfWeek(D) + 5) % 7;  // DayOfWeek counts from Sunday, DayNames from Monday
    int year = 0, month = 0, mday = 0, hour = 0, minute = 0, second = 0, msec = 0;
    DecodeDate(D, year, month, mday);
    DecodeTime(D, hour, minute, second, msec);
    if (month < 1 || month > 12)
        month = 1;
    char text[64];
    std::snprintf(text, sizeof text, "%.3s, %2.2d %.3s %4.4d %2.2d:%2.2d:%2.2d", DayNames + 3 * day, mday,
                  MonthNames + 3 * (month - 1), year, hour, minute, second);
    return text;
}

void ReplaceExtension(CodePageString& FileName, const CodePageString& NewExt)
{
    const auto dot = FileName.rfind('.');
    if (dot == CodePageString::npos)
        FileName += "." + NewExt;
    else
        FileName = FileName.substr(0, dot + 1) + NewExt;
}

int NthPos(const CodePageString& Sub, const CodePageString& S, int N)
{
    const int beyond = static_cast<int>(S.size()) + 1;
    if (N == 0 || Sub.empty())
        return N > 0 ? beyond : 0;
    if (N > 0) {
        std::size_t from = 0;
        for (int found = 0;; ++from) {
            const auto at = S.find(Sub, from);
            if (at == CodePageString::npos)
                return beyond;
            if (++found == N)
                return static_cast<int>(at) + 1;
            from = at;
        }
    }
    std::size_t from = CodePageString::npos;
    for (int found = 0;;) {
        const auto at = S.rfind(Sub, from);
        if (at == CodePageString::npos)
            return 0;
        if (--found == N)
            return static_cast<int>(at) + 1;
        if (at == 0)
            return 0;
        from = at - 1;
    }
}

std::int64_t ReplyNumber(const CodePageString& Text)
{
    const CodePageString digits = Trim(Text);
    std::size_t at = 0;
    const bool negative = !digits.empty() && digits[0] == '-';
    if (!digits.empty() && (digits[0] == '-' || digits[0] == '+'))
        ++at;
    if (at == digits.size())
        throw EConvertError("'" + Text + "' is not a valid integer value");
    std::uint64_t magnitude = 0;
    constexpr std::uint64_t limit = static_cast<std::uint64_t>(INT64_MAX);
    for (; at < digits.size(); ++at) {
        const char c = digits[at];
        if (c < '0' || c > '9' || magnitude > (limit - static_cast<unsigned>(c - '0')) / 10)
            throw EConvertError("'" + Text + "' is not a valid integer value");
        magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
    }
    return negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
}

bool ParseStatusLine(const CodePageString& Line, int& Status, CodePageString& Reason)
{
    const CodePageString version = Line.substr(0, 8);
    if (version != "HTTP/1.0" && version != "HTTP/1.1")
        return false;
    std::size_t at = version.size();
    while (at < Line.size() && IsBlank(Line[at]))
        ++at;
    std::size_t end = at;
    while (end < Line.size() && end - at < 3 && !IsBlank(Line[end]))
        ++end;
    Status = static_cast<int>(ReplyNumber(Line.substr(at, end - at)));
    Reason = end + 1 < Line.size() ? Line.substr(end + 1) : CodePageString();
    return true;
}

bool SplitHeaderField(const CodePageString& Line, CodePageString& Name, CodePageString& Value)
{
    const auto colon = Line.find(':');
    if (colon == CodePageString::npos)
        return false;
    Name = LowerCase(Line.substr(0, colon));
    std::size_t start = colon + 1;
    while (start + 1 < Line.size() && Line[start] == ' ')
        ++start;
    Value = Line.substr(std::min(start, Line.size()));
    return true;
}

void ParseContentRange(const CodePageString& Value, CodePageString& Begin, CodePageString& End)
{
    const int dash = Pos("-", Value);
    const int slash = Pos("/", Value);
    Begin = dash > 0 ? Copy(Value, 7, dash - 7) : CodePageString();
    End = dash > 0 && slash > dash ? Copy(Value, dash + 1, slash - dash - 1) : CodePageString();
}

CodePageString RequestPath(const CodePageString& Path)
{
    return Path.empty() || Path[0] == '?' ? "/" + Path : Path;
}

bool CleanLocation(const CodePageString& Location, CodePageString& Out)
{
    Out.clear();
    std::size_t begin = 0;
    std::size_t end = Location.size();
    while (begin < end && (Location[begin] == ' ' || Location[begin] == '\t'))
        ++begin;
    while (end > begin && (Location[end - 1] == ' ' || Location[end - 1] == '\t'))
        --end;
    for (std::size_t i = begin; i < end; ++i) {
        const auto c = static_cast<unsigned char>(Location[i]);
        if (c < ' ' || c == 0x7f) {
            Out.clear();
            return false;
        }
        if (c == ' ')
            Out += "%20";
        else
            Out += static_cast<char>(c);
    }
    return true;
}

bool IsHeaderlessStart(const CodePageString& Line)
{
    return StartsWithNoCase(Line, "<HTML>");
}

CodePageString DocumentNameOfPath(const CodePageString& Path, bool cutQueryFirst)
{
    CodePageString path = Path;
    if (cutQueryFirst) {
        const auto query = path.find('?');
        if (query != CodePageString::npos)
            path.erase(query);
    }
    if (path.empty() || path == "/")
        return "document.htm";
    if (path.back() == '/')
        path.pop_back();
    const auto slash = path.rfind('/');
    CodePageString name = slash == CodePageString::npos ? path : path.substr(slash + 1);
    if (name.size() > 255)
        name.resize(255);
    const auto query = name.find('?');
    if (query != CodePageString::npos)
        name.erase(query);
    return name;
}
