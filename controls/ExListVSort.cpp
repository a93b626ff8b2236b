#include "controls/ExListVSort.h"

#include <cctype>
#include <charconv>
#include <cstring>

#include "classlib/Dates.h"
#include "classlib/Strings.h"

namespace {

int Sign(double d) { return d > 0 ? 1 : d < 0 ? -1 : 0; }

int CompareBytes(std::string_view a, std::string_view b)
{
    const size_t n = std::min(a.size(), b.size());
    const int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
    if (c != 0)
        return c > 0 ? 1 : -1;
    return a.size() == b.size() ? 0 : a.size() > b.size() ? 1 : -1;
}

unsigned char UpperAZ(char c)
{
    return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}

int CompareNoCase(std::string_view a, std::string_view b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = UpperAZ(a[i]);
        const unsigned char y = UpperAZ(b[i]);
        if (x != y)
            return x > y ? 1 : -1;
    }
    return a.size() == b.size() ? 0 : a.size() > b.size() ? 1 : -1;
}

void EraseFirst(CodePageString& s, const CodePageString& part)
{
    if (part.empty())
        return;
    const size_t at = s.find(part);
    if (at != CodePageString::npos)
        s.erase(at, part.size());
}

// A floating-point number as the class library reads one: blanks around it,
// a sign, digits with one decimal point, an exponent.
bool ReadFloat(const CodePageString& text, double& value)
{
    size_t begin = 0, end = text.size();
    while (begin < end && text[begin] == ' ')
        ++begin;
    while (end > begin && text[end - 1] == ' ')
        --end;
    if (begin == end)
        return false;
    bool negative = false;
    if (text[begin] == '+' || text[begin] == '-') {
        negative = text[begin] == '-';
        ++begin;
    }
    size_t i = begin;
    size_t digits = 0;
    while (i < end && std::isdigit(static_cast<unsigned char>(text[i])))
        ++i, ++digits;
    if (i < end && text[i] == '.') {
        ++i;
        while (i < end && std::isdigit(static_cast<unsigned char>(text[i])))
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    if (i < end && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < end && (text[j] == '+' || text[j] == '-'))
            ++j;
        const size_t expStart = j;
        while (j < end && std::isdigit(static_cast<unsigned char>(text[j])))
            ++j;
        if (j == expStart)
            return false;
        i = j;
    }
    if (i != end)
        return false;
    const char* first = text.data() + begin;
    if (*first == '.') {
        // from_chars wants a digit first
        const CodePageString padded = "0" + text.substr(begin, end - begin);
        if (std::from_chars(padded.data(), padded.data() + padded.size(), value).ec != std::errc())
            return false;
    } else if (std::from_chars(first, text.data() + end, value).ec != std::errc()) {
        return false;
    }
    if (negative)
        value = -value;
    return true;
}

bool ValidDate(int year, int month, int day)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= days[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool ReadInt(const CodePageString& text, int& value)
{
    return TryStrToInt(Trim(text), value);
}

// The day-month-year styles: split at the first "-", else "/", else ".".
bool SplitDatePart(const CodePageString& text, CodePageString& head, CodePageString& rest)
{
    for (char separator : {'-', '/', '.'}) {
        const size_t at = text.find(separator);
        if (at != CodePageString::npos) {
            head = text.substr(0, at);
            rest = text.substr(at + 1);
            return true;
        }
    }
    return false;
}

double ReadDayMonthYear(const CodePageString& text, bool dayFirst)
{
    CodePageString first, rest, second, third;
    if (!SplitDatePart(text, first, rest) || !SplitDatePart(rest, second, third))
        return 0;
    int a = 0, b = 0, year = 0;
    if (!ReadInt(first, a) || !ReadInt(second, b) || !ReadInt(third, year))
        return 0;
    // A two-figure year above 25 is of the 1900s, else of the 2000s; the
    // rule holds for any year value.
    year += year > 25 ? 1900 : 2000;
    const int day = dayFirst ? a : b;
    const int month = dayFirst ? b : a;
    if (!ValidDate(year, month, day))
        return 0;
    return EncodeDate(year, month, day);
}

// A date, a time or both in the system's formats: the date's fields in the
// order of ShortDateFormat, separated by DateSeparator; the time h[:nn[:ss]]
// with TimeSeparator and an optional AM or PM.
bool ReadSystemDateTime(const CodePageString& input, const TFormatSettings& settings, double& value)
{
    CodePageString text = Trim(input);
    if (text.empty())
        return false;
    double date = 0;
    double time = 0;
    CodePageString datePart = text, timePart;
    if (const size_t blank = text.find(' '); blank != CodePageString::npos) {
        datePart = text.substr(0, blank);
        timePart = Trim(text.substr(blank + 1));
    }
    if (datePart.find(settings.TimeSeparator) != CodePageString::npos && timePart.empty()) {
        timePart = datePart;
        datePart.clear();
    }
    if (!datePart.empty()) {
        std::vector<CodePageString> fields;
        size_t start = 0;
        for (;;) {
            const size_t at = datePart.find(settings.DateSeparator, start);
            fields.push_back(datePart.substr(start, at == CodePageString::npos ? CodePageString::npos : at - start));
            if (at == CodePageString::npos)
                break;
            start = at + 1;
        }
        if (fields.size() != 3)
            return false;
        // The order of the fields: the first d, m and y of the format.
        const CodePageString f = LowerCase(settings.ShortDateFormat);
        const size_t pd = f.find('d'), pm = f.find('m'), py = f.find('y');
        if (pd == CodePageString::npos || pm == CodePageString::npos || py == CodePageString::npos)
            return false;
        int order[3];  // day, month, year: their field numbers
        order[0] = int(pd > pm) + int(pd > py);
        order[1] = int(pm > pd) + int(pm > py);
        order[2] = int(py > pd) + int(py > pm);
        int day = 0, month = 0, year = 0;
        if (!ReadInt(fields[size_t(order[0])], day) || !ReadInt(fields[size_t(order[1])], month) ||
            !ReadInt(fields[size_t(order[2])], year))
            return false;
        if (fields[size_t(order[2])].size() <= 2 && year < 100)
            year += year < 50 ? 2000 : 1900;
        if (!ValidDate(year, month, day))
            return false;
        date = EncodeDate(year, month, day);
    }
    if (!timePart.empty()) {
        bool pm = false, am = false;
        const CodePageString upper = UpperCase(timePart);
        for (const auto& [marker, isPm] : {std::pair{UpperCase(settings.TimePMString), true},
                                            std::pair{UpperCase(settings.TimeAMString), false}, std::pair{CodePageString("PM"), true},
                                            std::pair{CodePageString("AM"), false}}) {
            if (!marker.empty() && upper.size() >= marker.size() &&
                upper.compare(upper.size() - marker.size(), marker.size(), marker) == 0) {
                (isPm ? pm : am) = true;
                timePart = Trim(timePart.substr(0, timePart.size() - marker.size()));
                break;
            }
        }
        int parts[3] = {0, 0, 0};
        int count = 0;
        size_t start = 0;
        for (;;) {
            const size_t at = timePart.find(settings.TimeSeparator, start);
            if (count == 3 || !ReadInt(timePart.substr(start, at == CodePageString::npos ? CodePageString::npos : at - start),
                                       parts[count]))
                return false;
            ++count;
            if (at == CodePageString::npos)
                break;
            start = at + 1;
        }
        int hour = parts[0];
        if ((am || pm) && (hour < 1 || hour > 12))
            return false;
        if (pm && hour < 12)
            hour += 12;
        if (am && hour == 12)
            hour = 0;
        if (hour < 0 || hour > 23 || parts[1] < 0 || parts[1] > 59 || parts[2] < 0 || parts[2] > 59)
            return false;
        time = EncodeTime(hour, parts[1], parts[2], 0);
    }
    value = date + time;
    return true;
}

}  // namespace

bool SortNumber(std::string_view input, const TSortFormat& format, const TFormatSettings& settings, double& value)
{
    CodePageString text(input);
    EraseFirst(text, format.Prefix);
    EraseFirst(text, format.Suffix);
    if (format.Style == ssThousands && settings.ThousandSeparator != 0) {
        CodePageString kept;
        for (char c : text)
            if (c != settings.ThousandSeparator)
                kept.push_back(c);
        text = kept;
    }
    if (settings.DecimalSeparator != '.') {
        const size_t at = text.find(settings.DecimalSeparator);
        if (at != CodePageString::npos)
            text[at] = '.';
    }
    if (text.empty()) {
        value = 0;
        return true;
    }
    return ReadFloat(text, value);
}

double SortDate(std::string_view view, TSortStyle style, const TFormatSettings& settings)
{
    const CodePageString text(view);
    switch (style) {
    case ssDateTime: {
        double value = 0;
        return ReadSystemDateTime(text, settings, value) ? value : 0;
    }
    case ssDayMonthYear:
        return ReadDayMonthYear(text, true);
    case ssMonthDayYear:
        return ReadDayMonthYear(text, false);
    default:
        return 0;
    }
}

int CompareSortTexts(std::string_view a, std::string_view b, const TSortFormat& format,
                     const TFormatSettings& settings)
{
    switch (format.Style) {
    case ssGreater:
        return 1;
    case ssText:
    case ssTextCase:
        return CompareBytes(a, b);
    case ssTextNoCase:
        return CompareNoCase(a, b);
    case ssNumber:
    case ssThousands: {
        double x = 0, y = 0;
        if (!SortNumber(a, format, settings, x) || !SortNumber(b, format, settings, y))
            return 0;
        return Sign(x - y);
    }
    case ssDateTime:
    case ssDayMonthYear:
    case ssMonthDayYear:
        return Sign(SortDate(a, format.Style, settings) - SortDate(b, format.Style, settings));
    default:
        return 0;
    }
}
