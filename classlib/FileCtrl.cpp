#include "classlib/FileCtrl.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "classlib/Files.h"

namespace {

bool MatchOne(const char* name, const char* mask)
{
    // Iterative wildcard match with one backtrack point.
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name) {
        if (*mask == '*') {
            star = mask++;
            resume = name;
        } else if (*mask == '?' ||
                   std::tolower(static_cast<unsigned char>(*mask)) == std::tolower(static_cast<unsigned char>(*name))) {
            ++mask;
            ++name;
        } else if (star) {
            mask = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*mask == '*')
        ++mask;
    return *mask == 0;
}

}  // namespace

bool MatchesMask(const AnsiString& name, const AnsiString& masks)
{
    size_t start = 0;
    for (;;) {
        size_t end = masks.find(';', start);
        AnsiString mask = Trim(masks.substr(start, end == AnsiString::npos ? AnsiString::npos : end - start));
        // "*.*" stands for every name, with or without a dot.
        if (mask == "*.*" || mask == "*")
            return true;
        if (!mask.empty() && MatchOne(name.c_str(), mask.c_str()))
            return true;
        if (end == AnsiString::npos)
            return false;
        start = end + 1;
    }
}

TFileListBox::TFileListBox(TComponent* AOwner) : TCustomListBox(AOwner)
{
    SetSorted(true);
    FDirectory = GetCurrentDir();
    ReadFileNames();
}

void TFileListBox::SetDirectory(const AnsiString& directory)
{
    const AnsiString previous = GetCurrentDir();
    if (!FDirectory.empty())
        SetCurrentDir(FDirectory);
    if (!SetCurrentDir(PathFromWindows(directory))) {
        SetCurrentDir(previous);
        throw EInOutError("Invalid filename");
    }
    FDirectory = GetCurrentDir();
    ReadFileNames();
}

void TFileListBox::SetMask(const AnsiString& mask)
{
    FMask = mask.empty() ? "*.*" : mask;
    ReadFileNames();
}

void TFileListBox::Update()
{
    ReadFileNames();
    TCustomListBox::Update();
}

AnsiString TFileListBox::FileName() const
{
    const int index = ItemIndex();
    if (index < 0 || index >= Items()->Count())
        return AnsiString();
    AnsiString dir = FDirectory;
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    return dir + Items()->Strings(index);
}

void TFileListBox::ReadFileNames()
{
    std::vector<AnsiString> names;
    if (DIR* dir = opendir(FDirectory.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const AnsiString name = entry->d_name;
            if (name.empty() || name[0] == '.')
                continue;  // hidden files, and the folder's own entries
            struct stat st {};
            const AnsiString full = FDirectory + "/" + name;
            if (stat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
                continue;
            if (MatchesMask(name, FMask))
                names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end(), [](const AnsiString& a, const AnsiString& b) { return CompareText(a, b) < 0; });
    Items()->BeginUpdate();
    Items()->Clear();
    for (const AnsiString& n : names)
        Items()->Add(n);
    Items()->EndUpdate();
}
