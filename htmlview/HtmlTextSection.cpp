#include "htmlview/HtmlTextSection.h"

#include <algorithm>
#include <climits>

#include "classlib/Controls.h"
#include "classlib/Panels.h"
#include "classlib/Strings.h"
#include "classlib/Timer.h"
#include "htmlview/HtmlDocument.h"
#include "htmlview/HtmlGif.h"

namespace {

// A page colour on which the light edge of a frame or rule must be silver to show.
bool WhitePage(TColor background)
{
    const TColor page = background & ~PaletteFlag;
    return page == clWhite || (page == clWindow && ColorToRGB(clWindow) == clWhite);
}

bool SameTextAt(const CodePageString& text, std::size_t at, const CodePageString& lowerWord)
{
    for (std::size_t i = 0; i < lowerWord.size(); ++i) {
        char c = text[at + i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != lowerWord[i])
            return false;
    }
    return true;
}

TFontStyles WithOverrides(TFontStyles style, TFontStyles overrides)
{
    for (TFontStyle s : {fsBold, fsItalic, fsUnderline, fsStrikeOut})
        if (overrides.Contains(s))
            style << s;
    return style;
}

auto FirstImageAtOrAfter(const TImageObjList& list, int pos)
{
    return std::lower_bound(list.begin(), list.end(), pos, [](const auto& img, int p) { return img->Pos < p; });
}

}  // namespace

// --- text sections ---------------------------------------------------------------------------------

struct TSection::Fitting {
    // Floats met after text on the line: recorded below it once it is done.
    std::vector<TImageObj*> Aside;
    // The tallest float recorded at the line's start.
    int StartFloatHeight = 0;
};

TSection::TSection(TSectionList* document, int level, const TMyFont& font, const TUrlTarget* urlTarget,
                   TJustify justify)
    : TSectionBase(document)
{
    TMyFont first = font;
    if (document) {
        first.SetStyle(WithOverrides(first.Style(), document->InlineStyle.StyleOverrides));
        document->InlineStyle.SubSupState = NoScript;
    }
    FirstFont = document ? document->SharedFont(first) : std::make_shared<const TMyFont>(first);
    Fonts.Add(std::make_unique<TFontObj>(0, FirstFont, urlTarget ? *urlTarget : TUrlTarget()));
    ListLevel = std::clamp(level, 0, MaxListLevel);
    Indent = ListLevel * IndentManager::ListIndent;
    Justify = justify == jCentre || justify == jRight ? justify : jLeft;
}

void TSection::AddText(const CodePageString& s)
{
    if (s.empty() || Len > MaxSectionText)
        return;
    bool dropBlank = Len == 0 || Buff.back() == ' ';
    if (!dropBlank) {
        // Text after nothing but floating images starts without a blank.
        dropBlank = true;
        for (int i = 0; i < Len && dropBlank; ++i) {
            const TImageObj* img = Buff[std::size_t(i)] == ImagePlaceholder ? Images.FindImage(i) : nullptr;
            dropBlank = img && img->Floating();
        }
    }
    Buff.append(s, dropBlank && s[0] == ' ' ? 1 : 0, CodePageString::npos);
    Len = int(Buff.size());
}

void TSection::AddBlankIfEmpty()
{
    if (Len == 0) {
        Buff = " ";
        Len = 1;
    }
}

void TSection::ChangeFont(const TMyFont& font)
{
    TMyFont changed = font;
    if (RootDocument) {
        changed.SetStyle(WithOverrides(changed.Style(), RootDocument->InlineStyle.StyleOverrides));
        if (RootDocument->InlineStyle.SubSupState != NoScript)
            changed.SetNormalSize(RootDocument, MulDiv(changed.NormalSize, 3, 4));
    }
    std::shared_ptr<const TMyFont> shared =
        RootDocument ? RootDocument->SharedFont(changed) : std::make_shared<const TMyFont>(changed);
    TFontObj* run = Fonts.Last();
    if (run->Pos == Len) {
        run->TheFont = std::move(shared);
    } else {
        const TUrlTarget link = run->UrlTarget;
        run = Fonts.Add(std::make_unique<TFontObj>(Len, std::move(shared), link));
    }
    if (RootDocument)
        run->SScript = RootDocument->InlineStyle.SubSupState;
}

void TSection::HRef(HtmlSymbol sy, const TMyFont& font, const TUrlTarget& urlTarget)
{
    ChangeFont(font);
    TFontObj* run = Fonts.Last();
    run->UrlTarget.Clear();
    if (sy == HtmlSymbol::Href)
        run->UrlTarget = urlTarget;
}

TImageObj* TSection::AddImage(const TImageSpec& spec)
{
    // Placeholders count as text: a section full of them takes no more.
    if (Len > MaxSectionText)
        return nullptr;
    TImageObj* img = Images.Add(std::make_unique<TImageObj>(RootDocument, Len, spec));
    Buff += ImagePlaceholder;
    Len = int(Buff.size());
    return img;
}

void TSection::SetClear(std::uint8_t clear)
{
    if (clear != 0)
        ClearAttr = clear;
}

TFormControlObj* TSection::AddFormControl(const TFormControlSpec& spec, TCell* cell, const TImageSpec& picture)
{
    if (!RootDocument)
        return nullptr;
    const TFormControlKind kind = spec.Kind;
    // Placeholders count as text: a section full of them takes no more.
    if (Len > MaxSectionText && kind != TFormControlKind::Hidden)
        return nullptr;
    TFormControlObj* control = CreateFormControl(*RootDocument, Len, spec);
    if (!control)
        return nullptr;
    if (kind == TFormControlKind::Image) {
        if (TImageObj* img = AddImage(picture))
            img->OwnControl = control;
    } else if (kind != TFormControlKind::Hidden) {
        FormControls.Add(control);
        FControlCell = cell;
        Buff += ControlPlaceholder;
        Len = int(Buff.size());
    }
    return control;
}

int TSection::ControlWidthAt(int pos) const
{
    return FormControls.Count() ? FormControls.WidthAt(pos) : -1;
}

int TSection::ControlHeightAt(int pos, bool& tickBox) const
{
    std::uint8_t tick = 0;
    const int height = FormControls.Count() ? FormControls.HeightAt(pos, tick) : -1;
    tickBox = tick != 0;
    return height;
}

int TSection::CharsToNextControl(int pos) const
{
    return FormControls.Count() ? FormControls.CharsToNextControl(pos) : 9999;
}

void TSection::PlaceControl(int pos, int x, const LineRec& line, int lineBottom)
{
    TFormControlObj* control = FormControls.ControlAt(pos);
    TWinControl* window = control ? control->WinControl() : nullptr;
    if (!window)
        return;
    control->OnScreen = true;
    // Check boxes and radio buttons stand on the baseline, the others on the
    // bottom of the text.
    const int top = lineBottom - window->Height() - RootDocument->ScrollTop - (control->TickBox ? line.Descent : 0);
    window->SetBounds(x, top, window->Width(), window->Height());
    window->Show();
    if (auto* radio = dynamic_cast<TRadioButtonFormControlObj*>(control))
        radio->Panel()->SetColor(FControlCell && FControlCell->BackFilled ? PaletteRelative(FControlCell->BackColor)
                                                                          : PaletteRelative(RootDocument->Background));
}

void TSection::MeasureAll(TCanvas* canvas)
{
    Fonts.MeasureAll(canvas);
}

int TSection::TextExtent(TCanvas* canvas, int start, int n)
{
    // One buffer for every section (the viewer runs on one thread): one of
    // its own would add its size to every cell of a table.
    static CodePageString scratch;
    scratch.assign(Buff, std::size_t(start), std::size_t(n));
    return canvas->TextExtent(scratch).cx;
}

int TSection::SegmentEnd(TCanvas* canvas, int start, int limit, const TFontObj*& run)
{
    int overhang = 0;
    run = Fonts.FontAt(start, overhang);
    int end = std::min(limit, start + Fonts.RunCharsAt(start, Len));
    end = std::min(end, start + Images.CharsToNextImage(start));
    end = std::min(end, start + CharsToNextControl(start));
    run->Select(canvas);
    return std::max(end, start + 1);
}

int TSection::FitText(TCanvas* canvas, int start, int n, int overhang, int room, int& width)
{
    width = 0;
    const auto fits = [&](int count) {
        const int w = TextExtent(canvas, start, count) - overhang;
        if (w > room)
            return false;
        width = w;
        return true;
    };
    // Short segments are tried whole first; long ones (a paragraph of one
    // run) by prefixes of doubling length, so that a line never measures the
    // rest of its section. Either way the count is the largest that fits.
    int fit = 0;        // a prefix length known to fit
    int noFit = n + 1;  // one known not to
    if (n <= 256) {
        if (fits(n))
            return n;
        noFit = n;
    } else {
        for (int probe = 16;; probe *= 2) {
            if (probe >= n) {
                if (fits(n))
                    return n;
                noFit = n;
                break;
            }
            if (!fits(probe)) {
                noFit = probe;
                break;
            }
            fit = probe;
        }
    }
    while (noFit - fit > 1) {
        const int mid = fit + (noFit - fit) / 2;
        if (fits(mid))
            fit = mid;
        else
            noFit = mid;
    }
    return fit;  // width is that of the last prefix that fitted: fit's
}

int TSection::RunWidth(TCanvas* canvas, int start, int n, bool removeSpaces)
{
    if (n <= 0)
        return 0;
    if (removeSpaces)
        while (n > 1 && Buff[std::size_t(start + n - 1)] == ' ')
            --n;
    int width = 0;
    const int end = start + n;
    for (int i = start; i < end;) {
        if (Buff[std::size_t(i)] == ImagePlaceholder) {
            if (const TImageObj* img = Images.FindImage(i)) {
                if (!img->Floating())
                    width += img->ImageWidth;
                ++i;
                continue;
            }
        }
        if (Buff[std::size_t(i)] == ControlPlaceholder) {
            const int w = ControlWidthAt(i);
            if (w >= 0) {
                width += w;
                ++i;
                continue;
            }
        }
        const TFontObj* run = nullptr;
        const int segmentEnd = SegmentEnd(canvas, i, end, run);
        width += TextExtent(canvas, i, segmentEnd - i) - run->Overhang;
        i = segmentEnd;
    }
    return width;
}

// How many characters from start fit in width: images and controls are
// placed whole or not at all, text by halving over the prefix length. For
// the line breaker (imgr and fit given) a float met before any other content
// goes to the edge at once and takes its room; one met later is put aside.
// Otherwise floats take no room.
int TSection::FitLine(TCanvas* canvas, int width, int start, int max, int y, IndentManager* imgr, Fitting* fit)
{
    const int end = std::min(Len, start + max);
    int used = 0;
    bool contentMet = false;
    int i = start;
    while (i < end) {
        const char c = Buff[std::size_t(i)];
        if (c == ImagePlaceholder) {
            if (TImageObj* img = Images.FindImage(i)) {
                if (img->Floating()) {
                    if (imgr && !contentMet) {
                        UpdateImage(*imgr, y, *img);
                        used += img->ImageWidth + img->HSpace;
                        fit->StartFloatHeight = std::max(fit->StartFloatHeight, img->ImageHeight);
                    } else if (imgr) {
                        fit->Aside.push_back(img);
                    }
                } else {
                    if (used + img->ImageWidth > width)
                        break;
                    used += img->ImageWidth;
                    contentMet = true;
                }
                ++i;
                continue;
            }
        }
        if (c == ControlPlaceholder) {
            const int w = ControlWidthAt(i);
            if (w >= 0) {
                if (used + w > width)
                    break;
                used += w;
                contentMet = true;
                ++i;
                continue;
            }
        }
        contentMet = true;
        const TFontObj* run = nullptr;
        const int segmentEnd = SegmentEnd(canvas, i, end, run);
        int fittingWidth = 0;
        const int fitting = FitText(canvas, i, segmentEnd - i, run->Overhang, width - used, fittingWidth);
        if (fitting == segmentEnd - i) {
            used += fittingWidth;
            i = segmentEnd;
            continue;
        }
        // A segment that does not fit whole ends the count.
        i += fitting;
        break;
    }
    return i - start;
}

int TSection::CountFitting(TCanvas* canvas, int width, int start, int max)
{
    return FitLine(canvas, width, start, max, 0, nullptr, nullptr);
}

int TSection::ClearSpace(const IndentManager& imgr, int y) const
{
    if (ClearAttr == 0)
        return 0;
    int clearLeft = 0;
    int clearRight = 0;
    imgr.ClearLines(clearLeft, clearRight);
    const int left = std::max(0, clearLeft - y - 1);
    const int right = std::max(0, clearRight - y - 1);
    return ClearAttr == 1 ? left : ClearAttr == 2 ? right : std::max(left, right);
}

void TSection::CompleteLine(TCanvas* canvas, int start, int n, int& y, IndentManager& imgr, const Fitting& fit)
{
    LineRec line;
    line.Start = start;
    line.Ln = n;
    const int end = start + n;

    bool hasText = false;
    for (int i = start; i < end && !hasText; ++i) {
        const char c = Buff[std::size_t(i)];
        hasText = !(c == ImagePlaceholder && Images.FindImage(i)) && !(c == ControlPlaceholder && ControlWidthAt(i) >= 0);
    }
    // The descent of the last run of the line places the images and controls.
    int descent = 0;
    if (hasText) {
        int index = 0;
        Fonts.RunAt(start, index);
        for (int r = index; r < Fonts.Count() && (r == index || Fonts[r]->Pos < end); ++r) {
            const TFontObj* run = Fonts[r];
            line.LineHeight = std::max(line.LineHeight, run->FontHeight);
            line.Descent = std::max(line.Descent, run->Descent);
            descent = run->Descent;
        }
    }

    for (auto it = FirstImageAtOrAfter(Images, start); it != Images.end() && (*it)->Pos < end; ++it) {
        const TImageObj& img = **it;
        const int h = img.ImageHeight - line.LineHeight;
        switch (img.VertAlign) {
        case ATop:
            line.SpaceAfter = std::max(line.SpaceAfter, h);
            break;
        case AMiddle:
            line.SpaceAfter = std::max(line.SpaceAfter, h / 2);
            line.SpaceBefore = std::max(line.SpaceBefore, h - h / 2);
            break;
        case ABottom:
            line.SpaceBefore = std::max(line.SpaceBefore, img.ImageHeight + descent - line.LineHeight);
            break;
        default:
            break;
        }
    }
    for (int i = start; i < end; ++i) {
        if (Buff[std::size_t(i)] != ControlPlaceholder)
            continue;
        bool tickBox = false;
        const int h = ControlHeightAt(i, tickBox);
        if (h >= 0)
            line.SpaceBefore =
                std::max(line.SpaceBefore, tickBox ? h - (line.LineHeight - descent) : h - line.LineHeight);
    }

    const int left = imgr.LeftEdgeAt(y);
    const int right = imgr.RightEdgeAt(y);
    if (Justify == jLeft) {
        line.LineIndent = left;
    } else {
        const int textWidth = RunWidth(canvas, start, n, true);
        line.LineIndent = Justify == jCentre ? std::max(left, (right + left - textWidth) / 2) : right - textWidth - 1;
    }

    const int height = line.LineHeight + line.SpaceAfter + line.SpaceBefore;
    BlockHeight += height;
    y += height;
    line.LineImageHeight = std::max(height, fit.StartFloatHeight);
    for (TImageObj* img : fit.Aside) {
        if (img->Pos >= end)
            continue;  // the line was cut before it: the next line meets it
        UpdateImage(imgr, y, *img);
        line.LineImageHeight = std::max(line.LineImageHeight, img->ImageHeight + height);
    }
    Lines.push_back(line);
}

int TSection::LayOutBlock(TCanvas* canvas, int y, IndentManager& imgr, int& maxWidth, int& curs)
{
    YValue = y;
    FirstPosition = curs;
    BlockHeight = 0;
    Lines.clear();
    imgr.SetListLevel(y, ListLevel);
    MeasureAll(canvas);
    if (Len == 0) {
        BlockHeight = ClearSpace(imgr, y);
        PaintHeight = BlockHeight;
        maxWidth = 0;
        return BlockHeight;
    }

    LeftX = imgr.LeftEdgeAt(y);
    maxWidth = imgr.Width;
    const int width = imgr.RightEdgeAt(y) - imgr.LeftEdgeAt(y);
    for (const auto& img : Images) {
        int overhang = 0;
        img->LayOutBlock(canvas, Fonts.FontAt(img->Pos, overhang), width);
        maxWidth = std::max(maxWidth, img->ImageWidth + Indent);
    }
    for (int i = 0; i < Len; ++i)
        if (Buff[std::size_t(i)] == ControlPlaceholder) {
            const int w = ControlWidthAt(i);
            if (w >= 0)
                maxWidth = std::max(maxWidth, w + Indent);
        }

    const auto isBreak = [this](int i) {
        const char c = Buff[std::size_t(i)];
        return c == ' ' || (c == ImagePlaceholder && Images.FindImage(i)) ||
               (c == ControlPlaceholder && ControlWidthAt(i) >= 0);
    };
    const int clear = ClearSpace(imgr, y);
    int start = 0;
    while (start < Len) {
        if (Lines.empty() && clear > 0) {
            LineRec gap;
            gap.LineHeight = clear;
            gap.LineImageHeight = clear;
            gap.LineIndent = imgr.LeftEdgeAt(y);
            Lines.push_back(gap);
            BlockHeight += clear;
            y += clear;
        }
        const int lineWidth = Preformatted() ? PreformattedWidth : imgr.RightEdgeAt(y) - imgr.LeftEdgeAt(y);
        Fitting fit;
        int n = std::max(1, FitLine(canvas, lineWidth, start, Len - start, y, &imgr, &fit));
        if (n < Len - start) {
            const int last = start + n - 1;  // the last character that fits
            if (Buff[std::size_t(last)] != ' ' && !isBreak(last + 1)) {
                int back = last;
                while (back >= start && !isBreak(back))
                    --back;
                if (back > start) {
                    n = back - start + 1;
                } else {
                    // A word longer than the line: it overflows rather than being cut.
                    int wordEnd = last + 1;
                    while (wordEnd < Len && !isBreak(wordEnd))
                        ++wordEnd;
                    n = wordEnd - start;
                }
            }
            // The blanks at a break end the line, so that the next line
            // starts with its word.
            while (start + n < Len && Buff[std::size_t(start + n)] == ' ')
                ++n;
        }
        CompleteLine(canvas, start, n, y, imgr, fit);
        start += n;
    }
    curs = FirstPosition + Len;
    if (ListLevel > 0)
        BlockHeight = std::max(BlockHeight, imgr.NextLeftY() - YValue);
    PaintHeight = std::max(BlockHeight, imgr.FloatsBottom() - YValue);
    return BlockHeight;
}

CodePageString TSection::ListMarker(char listChar, int n)
{
    static constexpr const char* Roman[21] = {"",    "i",    "ii",   "iii", "iv",  "v",    "vi",
                                              "vii", "viii", "ix",   "x",   "xi",  "xii",  "xiii",
                                              "xiv", "xv",   "xvi",  "xvii", "xviii", "xix", "xx"};
    n = std::max(n, 0);
    CodePageString marker;
    switch (listChar) {
    case 'A':
    case 'a':
        marker = char(listChar + std::min(n - 1, 25));
        break;
    case 'I':
        marker = UpperCase(Roman[std::min(n, 20)]);
        break;
    case 'i':
        marker = Roman[std::min(n, 20)];
        break;
    default:
        marker = IntToStr(n);
        break;
    }
    return marker + ".";
}

void TSection::DrawMarker(TCanvas* canvas, const LineRec& line, int x0, int baseline)
{
    const TSectionList* doc = RootDocument;
    if (ListType == ltOrdered) {
        const CodePageString marker = ListMarker(MarkerChar(), ListNumber);
        canvas->SetFont(FirstFont.get());
        canvas->Brush()->SetStyle(bsClear);
        const int ascent = canvas->TextMetrics().Ascent;
        canvas->TextOut(x0 - 5 - canvas->TextWidth(marker), baseline - ascent, marker);
    } else if (ListType == ltBullet && !NoBulletMark()) {
        const int c = line.DrawY - doc->ScrollTop + line.LineHeight / 2;
        const TColor page = doc->Background & ~PaletteFlag;
        if (page == clBtnFace || page == clSilver || WhitePage(doc->Background)) {
            static constexpr TColor LevelColors[3] = {clRed, clNavy, clMaroon};
            if (ListLevel <= 5) {
                const TColor color = LevelColors[ListLevel % 3];
                canvas->Brush()->SetStyle(bsSolid);
                canvas->Brush()->SetColor(color);
                canvas->Pen()->SetColor(color);
            }
        } else {
            canvas->Brush()->SetStyle(bsClear);
            canvas->Pen()->SetColor(PaletteRelative(doc->FontColor));
        }
        canvas->Ellipse(x0 - 10, c - 2, x0 - 5, c + 3);
        canvas->Brush()->SetColor(PaletteRelative(doc->Background));
        canvas->Brush()->SetStyle(bsSolid);
        canvas->Pen()->SetColor(PaletteRelative(doc->FontColor));
    }
}

int TSection::Draw(TCanvas* canvas, const TRect& aRect, IndentManager& imgr, int x, int y)
{
    const TSectionList* doc = RootDocument;
    const int screenTop = y - doc->ScrollTop;
    if (screenTop >= aRect.Bottom || screenTop + PaintHeight <= aRect.Top)
        return y + BlockHeight;
    int selBegin = doc->SelectionBegin - FirstPosition;
    int selEnd = doc->SelectionEnd - FirstPosition;
    if (selEnd <= selBegin)
        selBegin = selEnd = -1;
    const TRect band = Rect(canvas->ClipRect().Left, screenTop, canvas->ClipRect().Right, screenTop + PaintHeight);

    int lineY = y;
    for (std::size_t l = 0; l < Lines.size(); ++l) {
        LineRec& line = Lines[l];
        const int lineTop = lineY;
        line.DrawY = lineTop + line.SpaceBefore;
        lineY += line.SpaceBefore + line.LineHeight;  // the bottom of the text: baseline + descent
        const int baseline = lineY - line.Descent;
        line.PaintLeft = x + line.LineIndent;
        // Lines out of the clip are passed over (their place is still
        // recorded for the hit tests); a line's band reaches as far down as
        // the floats that start on it.
        const int lineScreenTop = lineTop - doc->ScrollTop;
        if (lineScreenTop >= aRect.Bottom ||
            lineScreenTop + std::max(line.LineImageHeight, lineY + line.SpaceAfter - lineTop) <= aRect.Top) {
            lineY += line.SpaceAfter;
            continue;
        }
        if (l == 0 && ListType != ltPlain)
            DrawMarker(canvas, line, LeftX + x, baseline - doc->ScrollTop);

        int cx = line.PaintLeft;
        bool lineStart = true;  // only floats met so far
        const int end = line.Start + line.Ln;
        for (int i = line.Start; i < end;) {
            const char c = Buff[std::size_t(i)];
            if (c == ImagePlaceholder) {
                if (TImageObj* img = Images.FindImage(i)) {
                    int overhang = 0;
                    const TFontObj* run = Fonts.FontAt(i, overhang);
                    if (!img->Floating()) {
                        img->Draw(canvas, cx, run, baseline, line.DrawY);
                        cx += img->ImageWidth;
                        lineStart = false;
                    } else {
                        img->Draw(canvas, imgr.LeftEdge + img->Indent, run, baseline, lineStart ? lineTop : lineY);
                    }
                    ++i;
                    continue;
                }
            }
            if (c == ControlPlaceholder) {
                const int w = ControlWidthAt(i);
                if (w >= 0) {
                    PlaceControl(i, cx, line, lineY);
                    cx += w;
                    lineStart = false;
                    ++i;
                    continue;
                }
            }
            lineStart = false;
            const TFontObj* run = nullptr;
            int segmentEnd = std::min(SegmentEnd(canvas, i, end, run), i + 32000);
            const bool selected = i >= selBegin && i < selEnd;
            if (selBegin > i && selBegin < segmentEnd)
                segmentEnd = selBegin;
            if (selEnd > i && selEnd < segmentEnd)
                segmentEnd = selEnd;
            const CodePageString text = Buff.substr(std::size_t(i), std::size_t(segmentEnd - i));
            if (selected) {
                canvas->Brush()->SetStyle(bsSolid);
                canvas->Brush()->SetColor(run->TheFont->Color());
                canvas->Font()->SetColor(PaletteRelative(doc->Background));
            } else {
                canvas->Brush()->SetStyle(bsClear);
            }
            int textTop = baseline - run->Ascent - doc->ScrollTop;
            if (!Preformatted()) {
                if (run->SScript == SubScript)
                    textTop += run->Descent / 2 + 1;
                else if (run->SScript == SuperScript)
                    textTop -= run->FontHeight / 3;
            }
            const int textX = cx - run->Overhang / 2;
            if (Preformatted()) {
                const TRect saved = canvas->IntersectClip(band);
                canvas->TextOut(textX, textTop, text);
                canvas->RestoreClip(saved);
            } else {
                canvas->TextOut(textX, textTop, text);
            }
            cx += canvas->TextWidth(text) - run->Overhang;
            i = segmentEnd;
        }
        lineY += line.SpaceAfter;
    }
    return y + BlockHeight;
}

void TSection::CopySelection()
{
    TSectionList* doc = RootDocument;
    if (!doc)
        return;
    const int selBegin = doc->SelectionBegin - FirstPosition;
    const int selEnd = doc->SelectionEnd - FirstPosition;
    if (selEnd <= selBegin)
        return;
    for (const LineRec& line : Lines) {
        const int lineEnd = line.Start + line.Ln;
        if (selBegin >= lineEnd || selEnd <= line.Start)
            continue;
        const int from = std::max(selBegin, line.Start);
        const int to = std::min(selEnd, lineEnd);
        CodePageString text;
        if (from == line.Start)
            text.append(std::size_t(3 * std::max(0, line.LineIndent / IndentManager::ListIndent)), ' ');
        // Images and controls have no text to copy.
        for (int i = from; i < to; ++i) {
            const char c = Buff[std::size_t(i)];
            if (c != ImagePlaceholder && c != ControlPlaceholder)
                text += c;
        }
        if (to == lineEnd)
            WriteLine(doc->ClipBuffer, text, int(text.size()));
        else
            doc->ClipBuffer.WriteBuffer(text.data(), std::int64_t(text.size()));
    }
}

int TSection::LineAtY(int y, int& lineTop) const
{
    int top = 0;
    for (std::size_t l = 0; l < Lines.size(); ++l) {
        const LineRec& line = Lines[l];
        const int bottom = top + line.LineHeight + line.SpaceBefore + line.SpaceAfter;
        if (bottom > y) {
            lineTop = top;
            return int(l);
        }
        top = bottom;
    }
    return -1;
}

bool TSection::LinkAtPoint(TCanvas* canvas, int x, int y, TUrlTarget& urlTarget, TFormControlObj*& formControl)
{
    if (!Images.Empty()) {
        int ix = 0;
        int iy = 0;
        bool uMap = false;
        bool isMap = false;
        int imagePos = 0;
        const TMapItem* map = nullptr;
        TFormControlObj* control = nullptr;
        if (Images.ImageAtPoint(x, y + YValue, ix, iy, control, uMap, map, isMap, imagePos)) {
            if (control) {
                // An image input submits the point clicked in it.
                if (auto* image = dynamic_cast<TImageFormControlObj*>(control))
                    image->SetMousePoint(ix, iy);
                formControl = control;
                return true;
            }
            if (uMap) {
                CodePageString url;
                CodePageString target;
                if (!map->HitTest(ix, iy, url, target))
                    return false;
                urlTarget.URL = url;
                urlTarget.Target = target;
                return true;
            }
            int overhang = 0;
            const TFontObj* run = Fonts.FontAt(imagePos, overhang);
            if (run && !run->UrlTarget.URL.empty()) {
                urlTarget = run->UrlTarget;
                if (isMap)
                    urlTarget.URL += "?" + IntToStr(ix) + "," + IntToStr(iy);
                return true;
            }
            return false;
        }
    }
    int lineTop = 0;
    const int l = LineAtY(y, lineTop);
    if (l < 0)
        return false;
    const LineRec& line = Lines[std::size_t(l)];
    if (x < line.PaintLeft)
        return false;
    const int n = CountFitting(canvas, x - line.PaintLeft, line.Start, line.Ln);
    if (n >= line.Ln)
        return false;
    int overhang = 0;
    const TFontObj* run = Fonts.FontAt(line.Start + n, overhang);
    if (!run || run->UrlTarget.URL.empty())
        return false;
    urlTarget = run->UrlTarget;
    return true;
}

bool TSection::ObjectAtPoint(int x, int y, TImageObj*& obj, int& ix, int& iy)
{
    return Images.ObjectAtPoint(x, y + YValue, obj, ix, iy);
}

int TSection::PositionAtPoint(TCanvas* canvas, int x, int y, int& xr, int& yr, int& caretHeight, TCell*& /*sCell*/,
                              bool& inText)
{
    int lineTop = 0;
    const int l = LineAtY(y, lineTop);
    if (l < 0)
        return -1;
    const LineRec& line = Lines[std::size_t(l)];
    caretHeight = line.LineHeight;
    yr = lineTop + line.SpaceBefore;
    inText = true;
    int n = 0;
    if (x < line.PaintLeft) {
        xr = line.PaintLeft;
        inText = false;
    } else {
        n = CountFitting(canvas, x - line.PaintLeft, line.Start, line.Ln);
        xr = line.PaintLeft + RunWidth(canvas, line.Start, n, false);
        if (n < line.Ln) {
            const int next = RunWidth(canvas, line.Start + n, 1, false);
            if (x > xr + next / 2) {
                xr += next;
                ++n;
            }
        }
        if (n >= line.Ln)
            inText = false;
    }
    return FirstPosition + line.Start + n;
}

bool TSection::PointAtPosition(TCanvas* canvas, int cursor, int& x, int& y)
{
    int offset = cursor - FirstPosition;
    if (Len == 0 || offset < 0 || offset >= Len)
        return false;
    int top = YValue;
    for (const LineRec& line : Lines) {
        if (line.Ln > offset) {
            x = line.LineIndent + RunWidth(canvas, line.Start, offset, false);
            y = top;
            return true;
        }
        offset -= line.Ln;
        top += line.LineHeight + line.SpaceBefore + line.SpaceAfter;
    }
    return false;
}

bool TSection::CharAtPosition(int pos, char& ch, TSectionBase*& obj)
{
    if (pos < FirstPosition || pos >= FirstPosition + Len)
        return false;
    ch = Buff[std::size_t(pos - FirstPosition)];
    obj = this;
    return true;
}

int TSection::SearchText(int from, const CodePageString& toFind, bool matchCase)
{
    if (Len == 0 || toFind.empty() || from >= FirstPosition + Len)
        return -1;
    const std::size_t start = std::size_t(std::max(0, from - FirstPosition));
    if (matchCase) {
        const std::size_t at = Buff.find(toFind, start);
        return at == CodePageString::npos ? -1 : FirstPosition + int(at);
    }
    const CodePageString word = LowerCase(toFind.substr(0, 255));
    const char firsts[] = {word[0], UpperCase(word.substr(0, 1))[0], 0};
    for (std::size_t at = Buff.find_first_of(firsts, start); at != CodePageString::npos && at + word.size() <= Buff.size();
         at = Buff.find_first_of(firsts, at + 1)) {
        if (SameTextAt(Buff, at, word))
            return FirstPosition + int(at);
    }
    return -1;
}

void TSection::RefreshFonts()
{
    if (!RootDocument)
        return;
    Fonts.RefreshFonts(RootDocument);
    TMyFont first = *FirstFont;
    first.SetFont(RootDocument, RootDocument->FontColor);
    FirstFont = RootDocument->SharedFont(first);
}

void TSection::WidthRange(TCanvas* canvas, int& min, int& max)
{
    min = 0;
    max = 0;
    if (Len == 0)
        return;
    MeasureAll(canvas);
    int floatSum = 0;
    int widestImage = 0;
    for (const auto& img : Images) {
        int overhang = 0;
        img->LayOutBlock(canvas, Fonts.FontAt(img->Pos, overhang), 0);
        if (img->PercentWidth)
            continue;
        if (img->Floating())
            floatSum += img->ImageWidth + img->HSpace;
        else
            widestImage = std::max(widestImage, img->ImageWidth);
    }
    max = floatSum + RunWidth(canvas, 0, Len, false) + Indent;

    const auto separates = [this](int i) {
        const char c = Buff[std::size_t(i)];
        return c == ' ' || (c == ImagePlaceholder && Images.FindImage(i));
    };
    int widestWord = 0;
    for (int i = 0; i < Len;) {
        while (i < Len && separates(i))
            ++i;
        int j = i;
        while (j < Len && !separates(j))
            ++j;
        if (j > i)
            widestWord = std::max(widestWord, RunWidth(canvas, i, j - i, false));
        i = j;
    }
    min = std::max(widestWord, widestImage) + floatSum + Indent;
}

// --- block sections --------------------------------------------------------------------------------

void TParagraphSpace::CopySelection()
{
    if (RootDocument)
        WriteLine(RootDocument->ClipBuffer, CodePageString(), 0);
}

void TParagraphSpace::UpdateSize()
{
    if (RootDocument)
        BlockHeight = MulDiv(14, RootDocument->FontSize, 12);
}

void THeadingSpace::CopySelection()
{
    if (RootDocument)
        WriteLine(RootDocument->ClipBuffer, CodePageString(), 0);
}

void THeadingSpace::UpdateSize()
{
    static constexpr int Gaps[7] = {8, 16, 12, 10, 8, 6, 4};
    const int gap = HeadingLevel >= 1 && HeadingLevel <= 6 ? Gaps[HeadingLevel] : Gaps[0];
    if (RootDocument)
        BlockHeight = MulDiv(gap, RootDocument->FontSize, 12);
}

THorzLine::THorzLine(TSectionList* document, const TRuleSpec& spec)
    : TSectionBase(document),
      VSize(spec.VSize),
      HWidth(spec.HWidth),
      Percent(spec.Percent),
      Color(spec.Color),
      HasColor(spec.HasColor),
      NoShade(spec.NoShade),
      Align(spec.Align)
{
}

void THorzLine::CopySelection()
{
    if (RootDocument)
        WriteLine(RootDocument->ClipBuffer, CodePageString(), 0);
}

void THorzLine::UpdateSize()
{
    if (RootDocument)
        BlockHeight = MulDiv(20, RootDocument->FontSize, 12) - 2 + VSize;
}

int THorzLine::LayOutBlock(TCanvas* canvas, int y, IndentManager& imgr, int& maxWidth, int& curs)
{
    FLeftIndent = imgr.LeftEdgeAt(y) - imgr.LeftEdge;
    FRightIndent = imgr.RightEdgeAt(y) - imgr.RightEdge;
    return TSectionBase::LayOutBlock(canvas, y, imgr, maxWidth, curs);
}

int THorzLine::Draw(TCanvas* canvas, const TRect& aRect, IndentManager& imgr, int /*x*/, int y)
{
    const TSectionList* doc = RootDocument;
    const int screenTop = y - doc->ScrollTop;
    if (screenTop >= aRect.Bottom || screenTop + BlockHeight <= aRect.Top)
        return y + BlockHeight;
    const int top = screenTop + (BlockHeight - VSize) / 2;
    const int left = imgr.LeftEdge + FLeftIndent;
    const int right = imgr.RightEdge + FRightIndent;
    int x1 = left + 10;
    int x2 = right - 10;
    if (HWidth >= 0) {
        const int w = Percent ? MulDiv(right - left, HWidth, 100) : HWidth;
        x1 = Align == jLeft ? left : Align == jRight ? right - w : left + (right - left - w) / 2;
        x2 = x1 + w;
    }
    if (HasColor) {
        canvas->Brush()->SetStyle(bsSolid);
        canvas->Brush()->SetColor(PaletteRelative(Color));
        canvas->FillRect(Rect(x1, top, x2, top + VSize));
    } else {
        canvas->Pen()->SetColor(NoShade ? clBlack : clBtnShadow);
        canvas->MoveTo(x1, top + VSize);
        canvas->LineTo(x1, top);
        canvas->LineTo(x2, top);
        canvas->Pen()->SetColor(NoShade ? clBlack : WhitePage(doc->Background) ? clSilver : clBtnHighlight);
        canvas->LineTo(x2, top + VSize);
        canvas->LineTo(x1, top + VSize);
    }
    return y + BlockHeight;
}

void TPreFormated::AddText(const CodePageString& s)
{
    if (s.empty() || Len > MaxSectionText)
        return;
    Buff += s;
    Len = int(Buff.size());
}

int TPreFormated::LayOutBlock(TCanvas* canvas, int y, IndentManager& imgr, int& maxWidth, int& curs)
{
    const int width = imgr.Width;
    imgr.Width = PreformattedWidth;
    const int height = TSection::LayOutBlock(canvas, y, imgr, maxWidth, curs);
    imgr.Width = width;
    int min = 0;
    WidthRange(canvas, min, maxWidth);
    return height;
}

void TPreFormated::WidthRange(TCanvas* canvas, int& min, int& max)
{
    min = 0;
    max = 0;
    if (Len == 0)
        return;
    MeasureAll(canvas);
    max = RunWidth(canvas, 0, Len, false) + Indent;
    // A long preformatted line asks a table column for no more than this.
    min = std::min(500, max);
}

TUListItem::TUListItem(TSectionList* document, int level, const TMyFont& font, const TUrlTarget* urlTarget)
    : TSection(document, level, font, urlTarget, jLeft)
{
    ListType = ltBullet;
}

TDListItem::TDListItem(TSectionList* document, int level, const TMyFont& font, const TUrlTarget* urlTarget)
    : TUListItem(document, level, font, urlTarget)
{
    ListType = ltNoMarker;
}

TOListItem::TOListItem(TSectionList* document, int level, const TMyFont& font, const TUrlTarget* urlTarget,
                       char listChar, int number)
    : TUListItem(document, level, font, urlTarget), ListChar(listChar)
{
    ListNumber = number;
    ListType = ltOrdered;
}
