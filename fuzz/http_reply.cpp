// An HTTP reply as the clients read it: cut into lines at LF with one CR
// dropped, each line through the status line and header field readers, and
// the values the clients act on through their own readers: the length, the
// range, and a relocation's URL, split both ways against the path of the
// request before it, with its document name.
#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "transport/HttpUtil.h"

namespace {

// The client fails a longer line and stops after this many header lines.
constexpr std::size_t MaxLine = 8192;
constexpr int MaxLines = 500;

void ReadLength(const CodePageString& value)
{
    int length = 0;
    (void)TryStrToInt(Trim(value), length);
    try {
        (void)StrToInt(value);
    } catch (const EConvertError&) {
        // Not a number: the client ends the request with its own error.
    }
}

void ReadLocation(const CodePageString& location, CodePageString& basePath)
{
    CodePageString proto, user, password, host, port;
    CodePageString path = basePath;
    SplitURL(location, proto, user, password, host, port, path);
    (void)DocumentNameOfPath(path, true);
    CodePageString oldPath;
    SplitURLNoBase(location, proto, user, password, host, port, oldPath);
    (void)DocumentNameOfPath(oldPath, false);
    basePath = path;
}

void ReadLine(const CodePageString& line, CodePageString& basePath)
{
    if (IsHeaderlessStart(line))
        return;
    int status = 0;
    CodePageString reason;
    try {
        if (ParseStatusLine(line, status, reason))
            return;
    } catch (const EConvertError&) {
        return;
    }
    CodePageString name, value;
    if (!SplitHeaderField(line, name, value))
        return;
    if (name == "content-length") {
        ReadLength(value);
    } else if (name == "content-range") {
        CodePageString begin, end;
        ParseContentRange(value, begin, end);
    } else if (name == "location") {
        ReadLocation(value, basePath);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view reply(reinterpret_cast<const char*>(data), size);
    CodePageString basePath = "/folder/page.htm";
    std::size_t start = 0;
    for (int count = 0; start < reply.size() && count < MaxLines; ++count) {
        std::size_t end = reply.find('\n', start);
        if (end == std::string_view::npos)
            break;  // a line without its end is never read
        std::string_view line = reply.substr(start, end - start);
        start = end + 1;
        if (line.size() > MaxLine)
            break;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            break;  // the end of the header
        ReadLine(CodePageString(line), basePath);
    }
    // A URL as the user or an engine record gives it.
    CodePageString proto, user, password, host, port, path = "/folder/";
    SplitURL(InputBytes(data, size), proto, user, password, host, port, path);
    return 0;
}
