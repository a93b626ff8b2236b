// Dates and times: TDateTime, the locale's format settings, the clock, and
// encoding, decoding and formatting of dates and times.
#pragma once

#include <array>

#include "classlib/Strings.h"

using TDateTime = double;  // days since 1899-12-30, fraction = time of day

// --- dates and times -------------------------------------------------------

// The locale's formats, in the class library's pattern letters
// (d dd m mm yy yyyy, h hh n nn s ss, am/pm). Tests pin them.
struct TFormatSettings {
    CodePageString ShortDateFormat = "m/d/yyyy";
    CodePageString LongDateFormat = "dddd, mmmm d, yyyy";
    CodePageString ShortTimeFormat = "h:nn AMPM";
    CodePageString LongTimeFormat = "h:nn:ss AMPM";
    char DateSeparator = '/';
    char TimeSeparator = ':';
    char DecimalSeparator = '.';
    char ThousandSeparator = ',';
    CodePageString TimeAMString = "AM";
    CodePageString TimePMString = "PM";
    std::array<CodePageString, 12> ShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::array<CodePageString, 12> LongMonthNames = {"January", "February", "March",     "April",
                                                 "May",     "June",     "July",      "August",
                                                 "September", "October", "November", "December"};
    // Sunday first.
    std::array<CodePageString, 7> ShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    std::array<CodePageString, 7> LongDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                              "Thursday", "Friday", "Saturday"};
};
// The process's formats: read from the C library's locale at first use,
// replaceable by tests.
TFormatSettings& FormatSettings();
// Reads the locale's formats again (after a test changed them).
void ResetFormatSettings();
// A C library date or time format ("%d.%m.%Y") in the pattern letters above
// ("dd/mm/yyyy" with separator '.'); empty when it holds a directive that has
// no counterpart. separator receives the first punctuation between fields
// (0 when none), which the result writes as '/' (dates) or ':' (times).
CodePageString PatternFromPosixFormat(const CodePageString& posixFormat, bool isTime, char& separator);

TDateTime Now();  // through the clock hook
TDateTime Date();
TDateTime Time();
// EConvertError "Invalid argument to date encode" / "... time encode".
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int min, int sec, int msec);
int DayOfWeek(TDateTime dt);  // 1 = Sunday
void DecodeDate(TDateTime dt, int& year, int& month, int& day);
void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec);
CodePageString FormatDateTime(const CodePageString& format, TDateTime dt);
CodePageString DateToStr(TDateTime dt);  // ShortDateFormat
CodePageString TimeToStr(TDateTime dt);  // LongTimeFormat
CodePageString DateTimeToStr(TDateTime dt);
