#include "workbench/SubmitData.h"

#include "classlib/Strings.h"
#include "workbench/EngineData.h"

namespace {

bool IsUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

// Project fields sent after the title, in record order, with the project value each carries.
struct FormField {
    EngineField field;
    CodePageString ProjectRecord::*value;
};

constexpr FormField LeadingFields[] = {
    {efUrl, &ProjectRecord::url},
    {efEmail, &ProjectRecord::email},
    {efDescription, &ProjectRecord::description},
};

constexpr FormField ContactFields[] = {
    {efLastName, &ProjectRecord::last},   {efCompany, &ProjectRecord::company}, {efAddress1, &ProjectRecord::address1},
    {efAddress2, &ProjectRecord::address2}, {efCity, &ProjectRecord::city},    {efState, &ProjectRecord::state},
    {efZip, &ProjectRecord::zip},         {efPhone, &ProjectRecord::phone},     {efFax, &ProjectRecord::fax},
    {efKeywords, &ProjectRecord::key1},   {efCountry, &ProjectRecord::country},
};

}  // namespace

CodePageString EncodeFormValue(const CodePageString& value)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    CodePageString out;
    out.reserve(value.size());
    for (const char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == ' ') {
            out += '+';
        } else if (IsUnreserved(c)) {
            out += ch;
        } else {
            out += '%';
            out += Hex[c >> 4];
            out += Hex[c & 15];
        }
    }
    return out;
}

SubmissionRequest BuildSubmissionRequest(const CodePageString& recordValue, const ProjectRecord& project,
                                         const CategoryLookup& categories)
{
    const auto field = [&](EngineField f) { return EngineRecordField(recordValue, f); };
    SubmissionRequest request;
    request.referer = field(efSubmitPage);
    request.url = field(efFormAction);
    request.method = field(efMethod);

    CodePageString& data = request.data;
    const auto add = [&](EngineField f, const CodePageString& value) {
        const CodePageString name = field(f);
        if (!name.empty())
            data += "&" + name + "=" + EncodeFormValue(value);
    };

    if (const CodePageString name = field(efTitle); !name.empty())
        data += name + "=" + EncodeFormValue(project.title);
    for (const auto& f : LeadingFields)
        add(f.field, project.*f.value);
    if (const CodePageString name = field(efCategory); !name.empty()) {
        data += "&" + name + "=";
        if (const CodePageString type = field(efCategoryType); !type.empty() && categories)
            data += categories("Sub" + type, project.catagory);
    }
    add(efName, project.name);
    data += field(efExtra);
    for (const auto& f : ContactFields)
        add(f.field, project.*f.value);
    return request;
}

SubmissionResult ResultOfHeader(int httpStatus, const CodePageString& statusText)
{
    if (httpStatus == 302 || httpStatus == 303 || httpStatus == 307)
        return {httpStatus, "OK"};
    // An error keeps its status whatever its reason text; without one the
    // row shows the number.
    if (httpStatus >= 400)
        return {httpStatus, statusText.empty() ? IntToStr(httpStatus) : statusText};
    if (statusText.empty())
        return {200, "OK"};
    return {httpStatus, statusText};
}

ResultClass ClassifyResult(int status)
{
    if (status == 408)
        return ResultClass::TimedOut;
    if (status < 303 || status == 303 || status == 307)
        return ResultClass::Successful;
    return ResultClass::Failed;
}

int RowImageOfResult(int status)
{
    switch (ClassifyResult(status)) {
    case ResultClass::Successful:
        return RowImageSuccessful;
    case ResultClass::TimedOut:
        return RowImageTimedOut;
    case ResultClass::Failed:
        break;
    }
    return RowImageFailed;
}

std::optional<CodePageString> CheckSubmitOption(const CodePageString& text, const char* what, int& value)
{
    int number = 0;
    if (!TryStrToInt(Trim(text), number) || number < 1)
        return CodePageString(what) + " must be a whole number of at least 1, not \"" + text + "\".";
    value = number;
    return std::nullopt;
}
