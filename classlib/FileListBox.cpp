#include "classlib/FileListBox.h"

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

bool MatchesMask(const CodePageString& name, const CodePageString& masks)
{
    size_t start = 0;
    for (;;) {
        size_t end = masks.find(';', start);
        CodePageString mask = Trim(masks.substr(start, end == CodePageString::npos ? CodePageString::npos : end - start));
        // "*.*" stands for every name, with or without a dot.
        if (mask == "*.*" || mask == "*")
            return true;
        if (!mask.empty() && MatchOne(name.c_str(), mask.c_str()))
            return true;
        if (end == CodePageString::npos)
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

void TFileListBox::SetDirectory(const CodePageString& directory)
{
    const CodePageString previous = GetCurrentDir();
    if (!FDirectory.empty())
        SetCurrentDir(FDirectory);
    if (!SetCurrentDir(PathFromWindows(directory))) {
        SetCurrentDir(previous);
        throw EInOutError("Invalid filename");
    }
    FDirectory = GetCurrentDir();
    ReadFileNames();
}

void TFileListBox::SetMask(const CodePageString& mask)
{
    FMask = mask.empty() ? "*.*" : mask;
    ReadFileNames();
}

void TFileListBox::Update()
{
    ReadFileNames();
    TCustomListBox::Update();
}

CodePageString TFileListBox::FileName() const
{
    const int index = ItemIndex();
    if (index < 0 || index >= Items()->Count())
        return CodePageString();
    CodePageString dir = FDirectory;
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    return dir + Items()->Strings(index);
}

void TFileListBox::ReadFileNames()
{
    std::vector<CodePageString> names;
    if (DIR* dir = opendir(FDirectory.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const CodePageString name = entry->d_name;
            if (name.empty() || name[0] == '.')
                continue;  // hidden files, and the folder's own entries
            struct stat st {};
            const CodePageString full = FDirectory + "/" + name;
            if (stat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
                continue;
            if (MatchesMask(name, FMask))
                names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end(), [](const CodePageString& a, const CodePageString& b) { return CompareText(a, b) < 0; });
    Items()->BeginUpdate();
    Items()->Clear();
    for (const CodePageString& n : names)
        Items()->Add(n);
    Items()->EndUpdate();
}
