// Basic types, exceptions and string, number, date and file helpers that the
// system's code is written against. Text is bytes; positions the system shows
// or passes around count from 1.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using AnsiString = std::string;
using TDateTime = double;  // days since 1899-12-30, fraction = time of day

// Root of the class library's exceptions. Message is what the user sees.
class Exception : public std::exception {
public:
    explicit Exception(AnsiString message) : Message(std::move(message)) {}
    const char* what() const noexcept override { return Message.c_str(); }
    AnsiString Message;
};

// A text that is not a number (StrToInt and friends).
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// File system failure outside the stream classes.
class EInOutError : public Exception {
public:
    using Exception::Exception;
};

// --- strings -------------------------------------------------------------

AnsiString IntToStr(long long value);
// Decimal, optional sign, surrounding blanks refused; "$" prefix for hex as the
// class library accepts it. Throws EConvertError: "'<s>' is not a valid integer value".
int StrToInt(const AnsiString& s);
int StrToIntDef(const AnsiString& s, int fallback);
bool TryStrToInt(const AnsiString& s, int& value);

// a * b / c in 64 bits, rounded half away from zero; -1 when c is 0 or the
// result does not fit in 32 bits, as the platform's MulDiv answers.
int MulDiv(int a, int b, int c);

AnsiString Trim(const AnsiString& s);       // cuts bytes <= ' ' at both ends
std::string_view TrimView(std::string_view s);  // the same, without a copy
// Calls line(view) for each line of text, without its line end. Lines end
// with CR LF, LF or CR; a trailing line break ends the last line without
// starting an empty one.
template <class F>
void ForEachLine(std::string_view text, F&& line)
{
    std::size_t start = 0;
    const std::size_t n = text.size();
    while (start < n) {
        std::size_t end = start;
        while (end < n && text[end] != '\r' && text[end] != '\n')
            ++end;
        line(text.substr(start, end - start));
        if (end < n && text[end] == '\r' && end + 1 < n && text[end + 1] == '\n')
            end += 2;
        else if (end < n)
            end += 1;
        start = end;
    }
}
AnsiString TrimLeft(const AnsiString& s);
AnsiString TrimRight(const AnsiString& s);
AnsiString UpperCase(const AnsiString& s);  // ASCII only
AnsiString LowerCase(const AnsiString& s);  // ASCII only

// ASCII case folded, then byte order: <0, 0, >0.
int CompareText(std::string_view a, std::string_view b);
// The letter upper-cased as CompareText and SameText fold it (ASCII only).
inline char UpCase(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
bool SameText(std::string_view a, std::string_view b);
int CompareStr(const AnsiString& a, const AnsiString& b);

// 1-based position of sub in s, 0 when absent.
int Pos(const AnsiString& sub, const AnsiString& s);
// Copy(s, index, count) with a 1-based index; out-of-range parts are cut, never thrown.
AnsiString Copy(const AnsiString& s, int index, int count);

// --- files and folders -----------------------------------------------------

bool FileExists(const AnsiString& path);
bool DirectoryExists(const AnsiString& path);
bool ForceDirectories(const AnsiString& path);
bool DeleteFile(const AnsiString& path);
bool RenameFile(const AnsiString& from, const AnsiString& to);
AnsiString GetCurrentDir();
bool SetCurrentDir(const AnsiString& dir);
AnsiString ExtractFilePath(const AnsiString& path);  // up to and including the last '/'
AnsiString ExtractFileName(const AnsiString& path);
AnsiString ExtractFileExt(const AnsiString& path);   // with the dot
AnsiString ChangeFileExt(const AnsiString& path, const AnsiString& ext);
// Turns a Windows-style relative name ("\data\data.czc") into a path of ours.
AnsiString PathFromWindows(const AnsiString& name);
// Joins the application folder and a relative name given in either style.
AnsiString AppPath(const AnsiString& folder, const AnsiString& relative);

// Reads a whole file; throws EFOpenError (see Classes.h) when it can't, and
// for anything but a regular file (a folder, a pipe, a device).
std::string ReadFileBytes(const AnsiString& path);
// The same read without an exception: 0 with the bytes in out, else the errno
// of what failed (EISDIR for a folder) or NotARegularFile for a pipe, a
// device or a socket, none of which is read: a pipe with no writer would
// block, and a device may never end.
inline constexpr int NotARegularFile = -1;
int TryReadFileBytes(const AnsiString& path, std::string& out);
// `what "path". reason`: the system's text for an errno, or "It is not a
// regular file." for NotARegularFile.
AnsiString FileError(const char* what, const AnsiString& path, int error);
// When a WriteFileAtomic write is made durable: before the call returns (the
// file and the rename in its folder synced), or by a later SyncFiles call,
// which flushes many writes at once. Only a new file waits: a file
// that is replaced is synced at once, since a crash before the sync could
// leave it empty under its name.
enum class TWriteSync { Now, Later };
// Writes through a temporary file in the same folder and a rename, so that a
// crash mid-write leaves the old file whole. Throws EFCreateError.
void WriteFileAtomic(const AnsiString& path, const std::string& bytes, TWriteSync sync = TWriteSync::Now);
// The file that a write to path changes: the end of its chain of symbolic
// links, whether that file exists yet or not; path itself when it is no link.
AnsiString LinkTarget(const AnsiString& path);
// Throws EFCreateError when path is a regular file that may not be written:
// the rename of WriteFileAtomic needs only the folder's permission, and would
// replace it. A file without any write permission is read-only for everyone,
// the superuser included, as on the system the program comes from.
void RefuseReadOnlyFile(const AnsiString& path);
// Writes a file the user chose, as an editor saves it: through a symbolic
// link into the file it leads to, and never over a file the user made
// read-only. Throws EFCreateError.
void WriteUserFile(const AnsiString& path, const std::string& bytes);
// Makes files written with TWriteSync::Later in one folder durable: each
// file, then the folder that holds their names. Only these are flushed, not
// what other programs left unwritten on the same disk. A file that is gone
// since (deleted meanwhile) is passed over. Throws EFCreateError when the
// folder can't be opened or the system reports a failed write-back.
void SyncFiles(const AnsiString& folder, const std::vector<AnsiString>& files);

// --- dates and numbers -----------------------------------------------------

// The locale's formats, in the class library's pattern letters
// (d dd m mm yy yyyy, h hh n nn s ss, am/pm). Tests pin them.
struct TFormatSettings {
    AnsiString ShortDateFormat = "m/d/yyyy";
    AnsiString LongDateFormat = "dddd, mmmm d, yyyy";
    AnsiString ShortTimeFormat = "h:nn AMPM";
    AnsiString LongTimeFormat = "h:nn:ss AMPM";
    char DateSeparator = '/';
    char TimeSeparator = ':';
    char DecimalSeparator = '.';
    char ThousandSeparator = ',';
    AnsiString TimeAMString = "AM";
    AnsiString TimePMString = "PM";
    std::array<AnsiString, 12> ShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::array<AnsiString, 12> LongMonthNames = {"January", "February", "March",     "April",
                                                 "May",     "June",     "July",      "August",
                                                 "September", "October", "November", "December"};
    // Sunday first.
    std::array<AnsiString, 7> ShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    std::array<AnsiString, 7> LongDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
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
AnsiString PatternFromPosixFormat(const AnsiString& posixFormat, bool isTime, char& separator);

TDateTime Now();  // through the clock hook
TDateTime Date();
TDateTime Time();
// EConvertError "Invalid argument to date encode" / "... time encode".
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int min, int sec, int msec);
int DayOfWeek(TDateTime dt);  // 1 = Sunday
void DecodeDate(TDateTime dt, int& year, int& month, int& day);
void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec);
AnsiString FormatDateTime(const AnsiString& format, TDateTime dt);
AnsiString DateToStr(TDateTime dt);  // ShortDateFormat
AnsiString TimeToStr(TDateTime dt);  // LongTimeFormat
AnsiString DateTimeToStr(TDateTime dt);
