#include "classlib/ShellIcons.h"

#include <memory>

#include "classlib/Files.h"

namespace {

struct TExtensionIcon {
    const char* Extension;
    TShellIcon Icon;
};

constexpr TExtensionIcon ExtensionIcons[] = {
    {".txt", shText},     {".ini", shText},     {".log", shText},     {".csv", shText},
    {".bmp", shPicture},  {".jpg", shPicture},  {".jpeg", shPicture}, {".gif", shPicture},
    {".png", shPicture},  {".ico", shPicture},  {".htm", shWebPage},  {".html", shWebPage},
    {".exe", shProgram},  {".com", shProgram},  {".bat", shProgram},  {".sh", shProgram},
    {".zip", shArchive},  {".rar", shArchive},  {".zrc", shArchive},  {".gz", shArchive},
};

// A sheet of paper with a folded corner, and a mark of its kind on it.
void DrawDocument(TCanvas* c, int s, TColor mark, TShellIcon kind)
{
    const int fold = s / 4;
    const int l = s / 8, r = s - s / 8 - 1, t = 0, b = s - 1;
    c->Pen()->SetColor(RGB(96, 96, 96));
    c->Brush()->SetColor(clWhite);
    const TPoint sheet[] = {{l, t}, {r - fold, t}, {r, t + fold}, {r, b}, {l, b}};
    c->Polygon(sheet, 5);
    const TPoint corner[] = {{r - fold, t}, {r - fold, t + fold}, {r, t + fold}};
    c->Polyline(corner, 3);
    c->Pen()->SetColor(mark);
    c->Brush()->SetColor(mark);
    switch (kind) {
    case shText:
        for (int y = t + fold + 2; y < b - 1; y += std::max(2, s / 8)) {
            c->MoveTo(l + 2, y);
            c->LineTo(r - 2, y);
        }
        break;
    case shPicture:
        c->FillRect(Rect(l + 2, t + fold + 1, r - 1, b - 1));
        c->Brush()->SetColor(clYellow);
        c->Pen()->SetColor(clYellow);
        c->Ellipse(l + 3, t + fold + 2, l + 3 + s / 5, t + fold + 2 + s / 5);
        break;
    case shWebPage:
        c->Brush()->SetColor(RGB(120, 170, 230));
        c->Ellipse(l + 2, t + fold, r - 1, b - 1);
        c->MoveTo((l + r) / 2, t + fold);
        c->LineTo((l + r) / 2, b - 1);
        c->MoveTo(l + 2, (t + fold + b) / 2);
        c->LineTo(r - 1, (t + fold + b) / 2);
        break;
    case shProgram:
        c->FillRect(Rect(l + 2, t + fold, r - 1, t + fold + s / 6));
        break;
    case shArchive:
        for (int y = t + 1; y < b - 1; y += 2)
            c->FillRect(Rect((l + r) / 2 - 1, y, (l + r) / 2 + 1, y + 1));
        break;
    default:
        break;
    }
}

void DrawFolder(TCanvas* c, int s)
{
    const int t = s / 5, b = s - s / 8;
    c->Pen()->SetColor(RGB(150, 110, 20));
    c->Brush()->SetColor(RGB(240, 200, 80));
    const TPoint tab[] = {{0, t}, {s / 3, t}, {s / 3 + 2, t + 2}, {s - 1, t + 2}, {s - 1, b}, {0, b}};
    c->Polygon(tab, 6);
    c->MoveTo(0, t + 4);
    c->LineTo(s - 1, t + 4);
}

std::unique_ptr<TImageList> MakeList(int size)
{
    auto list = std::make_unique<TImageList>(nullptr);
    list->SetWidth(size);
    list->SetHeight(size);
    for (int i = 0; i < shShellIconCount; ++i) {
        TBitmap picture(size, size);
        TCanvas* c = picture.Canvas();
        c->Brush()->SetColor(clFuchsia);  // left out when drawn
        c->FillRect(Rect(0, 0, size, size));
        const auto icon = TShellIcon(i);
        if (icon == shFolder)
            DrawFolder(c, size);
        else
            DrawDocument(c, size, icon == shProgram ? clNavy : icon == shArchive ? clMaroon : RGB(70, 110, 170), icon);
        list->AddMasked(&picture, clFuchsia);
    }
    return list;
}

}  // namespace

const TImageList& SystemImageList(bool large)
{
    static std::unique_ptr<TImageList> small = MakeList(16);
    static std::unique_ptr<TImageList> big = MakeList(32);
    return large ? *big : *small;
}

int ShellIconIndex(const CodePageString& path)
{
    if (DirectoryExists(path))
        return shFolder;
    const CodePageString extension = LowerCase(ExtractFileExt(path));
    for (const TExtensionIcon& e : ExtensionIcons)
        if (extension == e.Extension)
            return e.Icon;
    return shDocument;
}
