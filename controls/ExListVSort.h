// How the list view compares two cells when it sorts: the eleven comparison
// styles as pure functions of the two texts and the system's formats.
#pragma once

#include <string_view>

#include "classlib/Dates.h"

enum TSortStyle {
    ssGreater,      // 0: every pair compares "greater"
    ssText,         // 1: byte-wise, case-sensitive
    ssNumber,       // 2: floating-point numbers
    ssDateTime,     // 3: date and time in the system's format
    ssTextNoCase,   // 4: letters a to z upper-cased, then byte-wise
    ssTextCase,     // 5: as 1
    ssDayMonthYear, // 6: day, month, year
    ssMonthDayYear, // 7: month, day, year
    ssCustom,       // 8: the list's OnCustomCompare
    ssThousands,    // 9: numbers with the system's thousands separators
    ssRaw,          // 10: the list's OnRawCompare, with the two rows
};

struct TSortFormat {
    TSortStyle Style = ssText;
    CodePageString Prefix;
    CodePageString Suffix;
    friend bool operator==(const TSortFormat&, const TSortFormat&) = default;
};

// The number a numeric style (2, 9) reads from a cell: the prefix and the
// suffix removed at their first occurrence, for style 9 every thousands
// separator too, the decimal separator read as "."; an empty text is 0.
// False when the text is no number.
bool SortNumber(std::string_view text, const TSortFormat& format, const TFormatSettings& settings, double& value);
// The date a date style (3, 6, 7) reads from a cell; 0 when it reads none.
double SortDate(std::string_view text, TSortStyle style, const TFormatSettings& settings);
// 1, 0 or -1 for styles 0 to 7 and 9 (8 and 10 are the list's events; they
// and unknown styles compare equal here). Two numbers of which one is no
// number are equal.
int CompareSortTexts(std::string_view a, std::string_view b, const TSortFormat& format,
                     const TFormatSettings& settings);
