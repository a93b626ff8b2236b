#include "classlib/SysUtils.h"

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

namespace {

char LoCase(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsBlankByte(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = UpCase(c);
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Decimal with an optional sign, or "$"/"0x" hex; hex takes the full 32-bit
// range and reads as the signed value with the same bits.
bool ParseInt(const AnsiString& s, int& value)
{
    const std::size_t n = s.size();
    std::size_t i = 0;
    bool negative = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < n && s[i] == '$') {
        hex = true;
        ++i;
    } else if (i + 1 < n && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i == n)
        return false;
    std::uint64_t magnitude = 0;
    for (; i < n; ++i) {
        const int digit = hex ? HexDigit(s[i]) : (s[i] >= '0' && s[i] <= '9' ? s[i] - '0' : -1);
        if (digit < 0)
            return false;
        magnitude = magnitude * (hex ? 16 : 10) + static_cast<unsigned>(digit);
        if (magnitude > 0xFFFFFFFFull)
            return false;
    }
    if (hex) {
        std::uint32_t bits = static_cast<std::uint32_t>(magnitude);
        if (negative)
            bits = 0u - bits;
        value = static_cast<int>(bits);
        return true;
    }
    if (magnitude > (negative ? 2147483648ull : 2147483647ull))
        return false;
    const long long signedValue = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    value = static_cast<int>(signedValue);
    return true;
}

}  // namespace

AnsiString FileError(const char* what, const AnsiString& path, int error)
{
    return AnsiString(what) + " \"" + path + "\". " +
           (error == NotARegularFile ? "It is not a regular file." : std::strerror(error));
}

// --- strings -------------------------------------------------------------

AnsiString IntToStr(long long value)
{
    return std::to_string(value);
}

int StrToInt(const AnsiString& s)
{
    int value = 0;
    if (!ParseInt(s, value))
        throw EConvertError("'" + s + "' is not a valid integer value");
    return value;
}

int StrToIntDef(const AnsiString& s, int fallback)
{
    int value = 0;
    return ParseInt(s, value) ? value : fallback;
}

bool TryStrToInt(const AnsiString& s, int& value)
{
    return ParseInt(s, value);
}

int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    const long long product = (long long)a * b;
    const long long divisor = c;
    long long quotient = product / divisor;
    const long long remainder = product % divisor;
    // Half away from zero: twice the remainder reaches the divisor.
    if (remainder != 0 && 2 * (remainder < 0 ? -remainder : remainder) >= (divisor < 0 ? -divisor : divisor))
        quotient += (product < 0) == (divisor < 0) ? 1 : -1;
    if (quotient > INT_MAX || quotient < INT_MIN)
        return -1;
    return int(quotient);
}

std::string_view TrimView(std::string_view s)
{
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && IsBlankByte(s[begin]))
        ++begin;
    while (end > begin && IsBlankByte(s[end - 1]))
        --end;
    return s.substr(begin, end - begin);
}

AnsiString Trim(const AnsiString& s)
{
    return AnsiString(TrimView(s));
}

AnsiString TrimLeft(const AnsiString& s)
{
    std::size_t begin = 0;
    while (begin < s.size() && IsBlankByte(s[begin]))
        ++begin;
    return s.substr(begin);
}

AnsiString TrimRight(const AnsiString& s)
{
    std::size_t end = s.size();
    while (end > 0 && IsBlankByte(s[end - 1]))
        --end;
    return s.substr(0, end);
}

AnsiString UpperCase(const AnsiString& s)
{
    AnsiString result = s;
    for (char& c : result)
        c = UpCase(c);
    return result;
}

AnsiString LowerCase(const AnsiString& s)
{
    AnsiString result = s;
    for (char& c : result)
        c = LoCase(c);
    return result;
}

int CompareText(std::string_view a, std::string_view b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(UpCase(a[i]));
        const auto cb = static_cast<unsigned char>(UpCase(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool SameText(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && CompareText(a, b) == 0;
}

int CompareStr(const AnsiString& a, const AnsiString& b)
{
    const int c = a.compare(b);  // char_traits<char> compares as unsigned bytes
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

int Pos(const AnsiString& sub, const AnsiString& s)
{
    if (sub.empty())
        return 0;
    const std::size_t at = s.find(sub);
    return at == AnsiString::npos ? 0 : static_cast<int>(at) + 1;
}

AnsiString Copy(const AnsiString& s, int index, int count)
{
    const long long length = static_cast<long long>(s.size());
    long long start = index < 1 ? 0 : static_cast<long long>(index) - 1;
    if (start > length)
        start = length;
    long long n = count < 0 ? 0 : count;
    if (n > length - start)
        n = length - start;
    return s.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(n));
}

// --- files and folders -----------------------------------------------------

bool FileExists(const AnsiString& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const AnsiString& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(const AnsiString& path)
{
    if (path.empty())
        return false;
    AnsiString dir = path;
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    if (DirectoryExists(dir))
        return true;
    const std::size_t slash = dir.rfind('/');
    if (slash != AnsiString::npos && slash > 0 && !ForceDirectories(dir.substr(0, slash)))
        return false;
    return ::mkdir(dir.c_str(), 0777) == 0 || (errno == EEXIST && DirectoryExists(dir));
}

bool DeleteFile(const AnsiString& path)
{
    return !DirectoryExists(path) && ::unlink(path.c_str()) == 0;
}

bool RenameFile(const AnsiString& from, const AnsiString& to)
{
    // The Windows call refuses to replace an existing file, and callers
    // delete the old one first where they mean to.
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0)
        return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

AnsiString GetCurrentDir()
{
    std::vector<char> buffer(4096);
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size()))
            return AnsiString(buffer.data());
        if (errno != ERANGE || buffer.size() > (1u << 20))
            return AnsiString();
        buffer.resize(buffer.size() * 2);
    }
}

bool SetCurrentDir(const AnsiString& dir)
{
    return ::chdir(dir.c_str()) == 0;
}

AnsiString ExtractFilePath(const AnsiString& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == AnsiString::npos ? AnsiString() : path.substr(0, slash + 1);
}

AnsiString ExtractFileName(const AnsiString& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == AnsiString::npos ? path : path.substr(slash + 1);
}

AnsiString ExtractFileExt(const AnsiString& path)
{
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot == AnsiString::npos || (slash != AnsiString::npos && dot < slash))
        return AnsiString();
    return path.substr(dot);
}

AnsiString ChangeFileExt(const AnsiString& path, const AnsiString& ext)
{
    const AnsiString current = ExtractFileExt(path);
    return path.substr(0, path.size() - current.size()) + ext;
}

AnsiString PathFromWindows(const AnsiString& name)
{
    AnsiString result = name;
    std::replace(result.begin(), result.end(), '\\', '/');
    return result;
}

AnsiString AppPath(const AnsiString& folder, const AnsiString& relative)
{
    AnsiString rel = PathFromWindows(relative);
    const std::size_t firstNonSlash = rel.find_first_not_of('/');
    rel.erase(0, firstNonSlash == AnsiString::npos ? rel.size() : firstNonSlash);
    AnsiString base = folder;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    const bool root = base.empty() && !folder.empty();
    if (rel.empty())
        return root ? AnsiString("/") : base;
    if (base.empty() && !root)
        return rel;
    return base + "/" + rel;
}

int TryReadFileBytes(const AnsiString& path, std::string& out)
{
    int fd;
    // Without blocking: a named pipe with no writer would wait here forever.
    do
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return errno;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    if (!S_ISREG(st.st_mode)) {
        const int error = S_ISDIR(st.st_mode) ? EISDIR : NotARegularFile;
        ::close(fd);
        return error;
    }
    out.clear();
    if (st.st_size > 0)
        out.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            return error;
        }
        if (n == 0)
            break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return 0;
}

std::string ReadFileBytes(const AnsiString& path)
{
    std::string data;
    const int error = TryReadFileBytes(path, data);
    if (error != 0)
        throw EFOpenError(FileError("Cannot open file", path, error));
    return data;
}

void WriteFileAtomic(const AnsiString& path, const std::string& bytes, TWriteSync sync)
{
    static std::atomic<unsigned> counter{0};
    // Drawn once: a random device per write costs more than the write of a small file.
    static const unsigned salt = std::random_device{}() % 1000000u;
    const AnsiString dir = ExtractFilePath(path);
    const AnsiString name = ExtractFileName(path);
    if (name.empty())
        throw EFCreateError(FileError("Cannot create file", path, EISDIR));

    // A name of our own, created exclusively, so two writers never share a
    // temporary file. Open with 0666 so the umask applies as for any file.
    AnsiString temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        const std::string suffix = ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
                                   std::to_string((salt + static_cast<unsigned>(attempt) * 7919u) % 1000000u);
        // The temporary name is a file name too: a long name is cut so that
        // the two fit in one (the suffix alone keeps it apart).
        constexpr std::size_t FileNameMax = 255;
        temp = dir + "." + name.substr(0, FileNameMax - 1 - suffix.size()) + suffix;
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST && errno != EINTR)
            break;
    }
    if (fd < 0)
        throw EFCreateError(FileError("Cannot create file", path, errno));

    auto fail = [&](int error) {
        ::close(fd);
        ::unlink(temp.c_str());
        throw EFCreateError(FileError("Cannot create file", path, error));
    };
    // An existing file keeps its permissions, and is replaced durably at
    // once: a deferred sync could leave it empty after a crash.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        ::fchmod(fd, st.st_mode & 07777);
        sync = TWriteSync::Now;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail(n < 0 ? errno : EIO);
        done += static_cast<std::size_t>(n);
    }
    if (sync == TWriteSync::Now && ::fsync(fd) != 0)
        fail(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        throw EFCreateError(FileError("Cannot create file", path, error));
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        throw EFCreateError(FileError("Cannot create file", path, error));
    }
    if (sync == TWriteSync::Later)
        return;
    // Make the rename itself durable; a failure here loses nothing written.
    const int dirFd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

AnsiString LinkTarget(const AnsiString& path)
{
    AnsiString target = path;
    // As many links as the system itself follows in one name.
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return target;
        std::string next(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 0) + 256, '\0');
        const ssize_t length = ::readlink(target.c_str(), next.data(), next.size());
        if (length < 0 || static_cast<std::size_t>(length) >= next.size())
            return target;
        next.resize(static_cast<std::size_t>(length));
        target = next.front() == '/' ? AnsiString(next) : ExtractFilePath(target) + next;
    }
    return target;
}

void RefuseReadOnlyFile(const AnsiString& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    int error = 0;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        error = EACCES;
    else if (::access(path.c_str(), W_OK) != 0)
        error = errno;
    if (error != 0)
        throw EFCreateError(FileError("Cannot create file", path, error));
}

void WriteUserFile(const AnsiString& path, const std::string& bytes)
{
    const AnsiString target = LinkTarget(path);
    RefuseReadOnlyFile(target);
    WriteFileAtomic(target, bytes);
}

void SyncFiles(const AnsiString& folder, const std::vector<AnsiString>& files)
{
    const auto failed = [](const AnsiString& path, int error) {
        return EFCreateError(FileError("Cannot save files in", path, error));
    };
    const int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        throw failed(folder, errno);
    // The write-back of every file is started first, so that the disk
    // takes them together; then each is waited for.
    for (const bool wait : {false, true}) {
        for (const AnsiString& file : files) {
            const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                if (errno == ENOENT)
                    continue;
                const int error = errno;
                ::close(dirFd);
                throw failed(file, error);
            }
            const int result = wait ? ::fsync(fd) : ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
            const int error = errno;
            ::close(fd);
            if (result != 0 && wait) {
                ::close(dirFd);
                throw failed(file, error);
            }
        }
    }
    const int result = ::fsync(dirFd);
    const int error = errno;
    ::close(dirFd);
    if (result != 0)
        throw failed(folder, error);
}

// --- dates and numbers -----------------------------------------------------

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

bool ConvertPosix(const AnsiString& in, bool isTime, char& separator, AnsiString& out, int depth)
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
            out += c == '"' ? "'\"'" : AnsiString("\"") + c + "\"";
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
            const AnsiString date = PatternFromPosixFormat(::nl_langinfo_l(D_FMT, loc), false, separator);
            if (!date.empty()) {
                settings.ShortDateFormat = date;
                if (separator)
                    settings.DateSeparator = separator;
            }
            separator = 0;
            const AnsiString time = PatternFromPosixFormat(::nl_langinfo_l(T_FMT, loc), true, separator);
            if (!time.empty()) {
                settings.LongTimeFormat = time;
                AnsiString shortTime = time;
                std::size_t seconds = shortTime.find("ss");
                if (seconds != AnsiString::npos) {
                    const std::size_t from = seconds > 0 && shortTime[seconds - 1] == ':' ? seconds - 1 : seconds;
                    shortTime.erase(from, seconds + 2 - from);
                }
                settings.ShortTimeFormat = shortTime;
                if (separator)
                    settings.TimeSeparator = separator;
            }
            const AnsiString am = ::nl_langinfo_l(AM_STR, loc);
            const AnsiString pm = ::nl_langinfo_l(PM_STR, loc);
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

bool StartsWithNoCase(const AnsiString& s, std::size_t at, const char* what)
{
    const std::size_t n = std::strlen(what);
    return at + n <= s.size() && SameText(s.substr(at, n), what);
}

void AppendNumber(AnsiString& out, int value, int digits)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%0*d", digits, value);
    out += buffer;
}

void AppendFormat(AnsiString& out, const AnsiString& format, const DateTimeParts& t, int level)
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

AnsiString PatternFromPosixFormat(const AnsiString& posixFormat, bool isTime, char& separator)
{
    separator = 0;
    AnsiString out;
    if (!ConvertPosix(posixFormat, isTime, separator, out, 0))
        return AnsiString();
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

AnsiString FormatDateTime(const AnsiString& format, TDateTime dt)
{
    AnsiString out;
    AppendFormat(out, format.empty() ? AnsiString("c") : format, Decode(dt), 0);
    return out;
}

AnsiString DateToStr(TDateTime dt)
{
    return FormatDateTime(FormatSettings().ShortDateFormat, dt);
}

AnsiString TimeToStr(TDateTime dt)
{
    return FormatDateTime(FormatSettings().LongTimeFormat, dt);
}

AnsiString DateTimeToStr(TDateTime dt)
{
    return FormatDateTime("c", dt);
}
