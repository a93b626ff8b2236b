#include "classlib/Dates.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "classlib/Classes.h"
#include "platform/Calendar.h"
#include "platform/Hooks.h"

// --- dates and times -------------------------------------------------------

namespace {

struct PosixDirective {
    char letter;
    const char* pattern;  // nullptr: expands to another C format
    const char* expansion;
};

// C library directives and what they are in the class library's letters.
constexpr PosixDirective kPosixDirectives[] = {
    {'d', "dd", nullptr},   {'e', "d", nullptr},     {'m', "mm", nullptr},      {'y', "yy", nullptr},
    {'Y', "yyyy", nullptr}, {'b', "mmm", nullptr},   {'h', "mmm", nullptr},     {'B', "mmmm", nullptr},
    {'a', "ddd", nullptr},  {'A', "dddd", nullptr},  {'H', "hh", nullptr},      {'k', "h", nullptr},
    {'I', "hh", nullptr},   {'l', "h", nullptr},     {'M', "nn", nullptr},      {'S', "ss", nullptr},
    {'p', "AMPM", nullptr}, {'P', "AMPM", nullptr},  {'n', " ", nullptr},       {'t', " ", nullptr},
    {'D', nullptr, "%m/%d/%y"}, {'F', nullptr, "%Y-%m-%d"}, {'T', nullptr, "%H:%M:%S"},
    {'R', nullptr, "%H:%M"},    {'r', nullptr, "%I:%M:%S %p"},
};

bool ConvertPosix(const CodePageString& in, bool isTime, char& separator, CodePageString& out, int depth)
{
    if (depth > 2)
        return false;
    const char fieldSeparator = isTime ? ':' : '/';
    for (std::size_t i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c == '%') {
            if (++i >= in.size())
                return false;
            char letter = in[i];
            if ((letter == 'E' || letter == 'O') && i + 1 < in.size())
                letter = in[++i];
            if (letter == '%') {
                out += '%';
                continue;
            }
            const PosixDirective* found = nullptr;
            for (const PosixDirective& d : kPosixDirectives)
                if (d.letter == letter)
                    found = &d;
            if (!found)
                return false;
            if (found->pattern)
                out += found->pattern;
            else if (!ConvertPosix(found->expansion, isTime, separator, out, depth + 1))
                return false;
            continue;
        }
        const bool punctuation = !std::isalnum(static_cast<unsigned char>(c)) && c != ' ' &&
                                 static_cast<unsigned char>(c) < 0x80;
        if (punctuation && separator == 0)
            separator = c;
        if (punctuation && c == separator) {
            out += fieldSeparator;
        } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '/' || c == ':' || c == '"' || c == '\'') {
            // Would read as a pattern letter or a separator: quote it.
            out += c == '"' ? "'\"'" : CodePageString("\"") + c + "\"";
        } else {
            out += c;
        }
    }
    return true;
}

bool IsCLocale(const char* name)
{
    return !name || !*name || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0 ||
           std::strncmp(name, "C.", 2) == 0;
}

const char* LocaleVariable(const char* category)
{
    for (const char* var : {"LC_ALL", category, "LANG"}) {
        const char* value = std::getenv(var);
        if (value && *value)
            return value;
    }
    return nullptr;
}

TFormatSettings FormatSettingsFromLocale()
{
    TFormatSettings settings;
    if (!IsCLocale(LocaleVariable("LC_TIME"))) {
        locale_t loc = ::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
        if (loc) {
            char separator = 0;
            const CodePageString date = PatternFromPosixFormat(::nl_langinfo_l(D_FMT, loc), false, separator);
            if (!date.empty()) {
                settings.ShortDateFormat = date;
                if (separator)
                    settings.DateSeparator = separator;
            }
            separator = 0;
            const CodePageString time = PatternFromPosixFormat(::nl_langinfo_l(T_FMT, loc), true, separator);
            if (!time.empty()) {
                settings.LongTimeFormat = time;
                CodePageString shortTime = time;
                std::size_t seconds = shortTime.find("ss");
                if (seconds != CodePageString::npos) {
                    const std::size_t from = seconds > 0 && shortTime[seconds - 1] == ':' ? seconds - 1 : seconds;
                    shortTime.erase(from, seconds + 2 - from);
                }
                settings.ShortTimeFormat = shortTime;
                if (separator)
                    settings.TimeSeparator = separator;
            }
            const CodePageString am = ::nl_langinfo_l(AM_STR, loc);
            const CodePageString pm = ::nl_langinfo_l(PM_STR, loc);
            if (!am.empty() && !pm.empty()) {
                settings.TimeAMString = am;
                settings.TimePMString = pm;
            }
            ::freelocale(loc);
        }
    }
    if (!IsCLocale(LocaleVariable("LC_NUMERIC"))) {
        locale_t loc = ::newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
        if (loc) {
            const char* radix = ::nl_langinfo_l(RADIXCHAR, loc);
            const char* thousands = ::nl_langinfo_l(THOUSEP, loc);
            if (radix && std::strlen(radix) == 1)
                settings.DecimalSeparator = radix[0];
            if (thousands && std::strlen(thousands) == 1)
                settings.ThousandSeparator = thousands[0];
            ::freelocale(loc);
        }
    }
    return settings;
}

TFormatSettings& SettingsStore()
{
    static TFormatSettings settings = FormatSettingsFromLocale();
    return settings;
}

constexpr long long kMSecsPerDay = 86400000;
constexpr long long kMinDay = -693593;  // 0001-01-01
constexpr long long kMaxDay = 2958465;  // 9999-12-31

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// The day number and the milliseconds into that day. Before 1899-12-30 the
// fraction still counts forward from midnight (-1.25 is 1899-12-29 06:00).
void SplitDateTime(TDateTime dt, long long& days, long long& msec)
{
    if (!std::isfinite(dt))
        dt = 0;
    dt = std::clamp(dt, static_cast<double>(kMinDay), static_cast<double>(kMaxDay) + 0.999999);
    days = static_cast<long long>(std::trunc(dt));
    msec = std::llround(std::fabs(dt - static_cast<double>(days)) * kMSecsPerDay);
    if (msec >= kMSecsPerDay) {
        msec -= kMSecsPerDay;
        days += 1;
    }
}

struct DateTimeParts {
    int year = 0, month = 0, day = 0, hour = 0, min = 0, sec = 0, msec = 0, dayOfWeek = 0;  // 0 = Sunday
};

DateTimeParts Decode(TDateTime dt)
{
    long long days = 0;
    long long msec = 0;
    SplitDateTime(dt, days, msec);
    DateTimeParts p;
    CivilFromDays(days + DateTimeEpochDays, p.year, p.month, p.day);
    p.hour = static_cast<int>(msec / 3600000);
    p.min = static_cast<int>(msec / 60000 % 60);
    p.sec = static_cast<int>(msec / 1000 % 60);
    p.msec = static_cast<int>(msec % 1000);
    p.dayOfWeek = static_cast<int>(((days + 6) % 7 + 7) % 7);  // 1899-12-30 was a Saturday
    return p;
}

bool StartsWithNoCase(const CodePageString& s, std::size_t at, const char* what)
{
    const std::size_t n = std::strlen(what);
    return at + n <= s.size() && SameText(s.substr(at, n), what);
}

void AppendNumber(CodePageString& out, int value, int digits)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%0*d", digits, value);
    out += buffer;
}

void AppendFormat(CodePageString& out, const CodePageString& format, const DateTimeParts& t, int level)
{
    if (level > 2)
        return;
    const TFormatSettings& fs = FormatSettings();
    bool use12Hour = false;
    char lastToken = ' ';
    const std::size_t n = format.size();
    std::size_t i = 0;
    while (i < n) {
        const char starter = format[i++];
        char token = UpCase(starter);
        if (token >= 'A' && token <= 'Z') {
            if (token == 'M' && lastToken == 'H')
                token = 'N';
            lastToken = token;
        }
        auto countRun = [&] {
            int count = 1;
            while (i < n && format[i] == starter) {
                ++i;
                ++count;
            }
            return count;
        };
        switch (token) {
        case 'Y': {
            const int count = countRun();
            if (count <= 2)
                AppendNumber(out, t.year % 100, 2);
            else
                AppendNumber(out, t.year, 4);
            break;
        }
        case 'M': {
            const int count = countRun();
            if (count <= 2)
                AppendNumber(out, t.month, count);
            else if (count == 3)
                out += fs.ShortMonthNames[static_cast<std::size_t>(t.month - 1)];
            else
                out += fs.LongMonthNames[static_cast<std::size_t>(t.month - 1)];
            break;
        }
        case 'D': {
            const int count = countRun();
            if (count <= 2)
                AppendNumber(out, t.day, count);
            else if (count == 3)
                out += fs.ShortDayNames[static_cast<std::size_t>(t.dayOfWeek)];
            else if (count == 4)
                out += fs.LongDayNames[static_cast<std::size_t>(t.dayOfWeek)];
            else if (count == 5)
                AppendFormat(out, fs.ShortDateFormat, t, level + 1);
            else
                AppendFormat(out, fs.LongDateFormat, t, level + 1);
            break;
        }
        case 'H': {
            const int count = std::min(countRun(), 2);
            // A later am/pm (before the next hour field, outside quotes)
            // switches this hour to the 12-hour clock.
            bool quoted = false;
            for (std::size_t p = i; p < n; ++p) {
                const char c = format[p];
                if ((c == 'A' || c == 'a') && !quoted) {
                    if (StartsWithNoCase(format, p, "AM/PM") || StartsWithNoCase(format, p, "A/P") ||
                        StartsWithNoCase(format, p, "AMPM"))
                        use12Hour = true;
                    break;
                }
                if (c == 'H' || c == 'h')
                    break;
                if (c == '\'' || c == '"')
                    quoted = !quoted;
            }
            int hour = t.hour;
            if (use12Hour)
                hour = hour == 0 ? 12 : hour > 12 ? hour - 12 : hour;
            AppendNumber(out, hour, count);
            break;
        }
        case 'N':
            AppendNumber(out, t.min, std::min(countRun(), 2));
            break;
        case 'S':
            AppendNumber(out, t.sec, std::min(countRun(), 2));
            break;
        case 'Z':
            AppendNumber(out, t.msec, std::min(countRun(), 3));
            break;
        case 'T':
            AppendFormat(out, countRun() == 1 ? fs.ShortTimeFormat : fs.LongTimeFormat, t, level + 1);
            break;
        case 'A': {
            const std::size_t at = i - 1;
            if (StartsWithNoCase(format, at, "AM/PM")) {
                // The letters keep the format's case: "am/pm" gives "pm".
                out += format.substr(t.hour >= 12 ? at + 3 : at, 2);
                i = at + 5;
                use12Hour = true;
            } else if (StartsWithNoCase(format, at, "A/P")) {
                out += format[t.hour >= 12 ? at + 2 : at];
                i = at + 3;
                use12Hour = true;
            } else if (StartsWithNoCase(format, at, "AMPM")) {
                out += t.hour < 12 ? fs.TimeAMString : fs.TimePMString;
                i = at + 4;
                use12Hour = true;
            } else if (StartsWithNoCase(format, at, "AAAA")) {
                out += fs.LongDayNames[static_cast<std::size_t>(t.dayOfWeek)];
                i = at + 4;
            } else if (StartsWithNoCase(format, at, "AAA")) {
                out += fs.ShortDayNames[static_cast<std::size_t>(t.dayOfWeek)];
                i = at + 3;
            } else {
                out += starter;
            }
            break;
        }
        case 'C':
            countRun();
            AppendFormat(out, fs.ShortDateFormat, t, level + 1);
            if (t.hour != 0 || t.min != 0 || t.sec != 0) {
                out += ' ';
                AppendFormat(out, fs.LongTimeFormat, t, level + 1);
            }
            break;
        case '/':
            if (fs.DateSeparator)
                out += fs.DateSeparator;
            break;
        case ':':
            if (fs.TimeSeparator)
                out += fs.TimeSeparator;
            break;
        case '\'':
        case '"': {
            const std::size_t start = i;
            while (i < n && format[i] != starter)
                ++i;
            out.append(format, start, i - start);
            if (i < n)
                ++i;
            break;
        }
        default:
            out += starter;
            break;
        }
    }
}

}  // namespace

CodePageString PatternFromPosixFormat(const CodePageString& posixFormat, bool isTime, char& separator)
{
    separator = 0;
    CodePageString out;
    if (!ConvertPosix(posixFormat, isTime, separator, out, 0))
        return CodePageString();
    return out;
}

TFormatSettings& FormatSettings()
{
    return SettingsStore();
}

void ResetFormatSettings()
{
    SettingsStore() = FormatSettingsFromLocale();
}

TDateTime Now()
{
    return GetHooks().now();
}

TDateTime Date()
{
    return std::floor(Now());
}

TDateTime Time()
{
    const TDateTime now = Now();
    return now - std::floor(now);
}

TDateTime EncodeDate(int year, int month, int day)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        throw EConvertError("Invalid argument to date encode");
    return static_cast<TDateTime>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
                                  DateTimeEpochDays);
}

TDateTime EncodeTime(int hour, int min, int sec, int msec)
{
    if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 || msec > 999)
        throw EConvertError("Invalid argument to time encode");
    return static_cast<TDateTime>(((hour * 60LL + min) * 60 + sec) * 1000 + msec) / kMSecsPerDay;
}

int DayOfWeek(TDateTime dt)
{
    return Decode(dt).dayOfWeek + 1;
}

void DecodeDate(TDateTime dt, int& year, int& month, int& day)
{
    const DateTimeParts p = Decode(dt);
    year = p.year;
    month = p.month;
    day = p.day;
}

void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec)
{
    const DateTimeParts p = Decode(dt);
    hour = p.hour;
    min = p.min;
    sec = p.sec;
    msec = p.msec;
}

CodePageString FormatDateTime(const CodePageString& format, TDateTime dt)
{
    CodePageString out;
    AppendFormat(out, format.empty() ? CodePageString("c") : format, Decode(dt), 0);
    return out;
}

CodePageString DateToStr(TDateTime dt)
{
    return FormatDateTime(FormatSettings().ShortDateFormat, dt);
}

CodePageString TimeToStr(TDateTime dt)
{
    return FormatDateTime(FormatSettings().LongTimeFormat, dt);
}

CodePageString DateTimeToStr(TDateTime dt)
{
    return FormatDateTime("c", dt);
}
