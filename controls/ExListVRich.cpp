#include "controls/ExListVRich.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace {

// Groups that hold no text of the cell; they are skipped whole, with every
// group inside them.
constexpr const char* SkippedDestinations[] = {
    "stylesheet", "info",     "pict",      "object",    "header",          "footer",     "headerl",
    "headerr",    "headerf",  "footerl",   "footerr",   "footerf",         "footnote",   "listtable",
    "listoverridetable",      "rsidtbl",   "generator", "themedata",       "colorschememapping",
    "latentstyles",           "datastore", "xmlnstbl",  "filetbl",         "revtbl",     "fldinst",
    "bkmkstart",  "bkmkend",  "template",  "comment",   "author",          "title",      "nonshppict",
};

constexpr size_t MaxDepth = 64;     // deeper groups are skipped whole
constexpr int MaxHalfPoints = 1024;
constexpr int TabWidth = 48;        // half an inch at 96 pixels per inch

struct TCharFormat {
    int Font = -1;
    int HalfPoints = 0;
    TFontStyles Style;
    int Color = 0;
    friend bool operator==(const TCharFormat&, const TCharFormat&) = default;
};

enum TDestination { dtText, dtFontTable, dtColorTable, dtSkip };

struct TGroup {
    TCharFormat Format;
    TDestination Destination = dtText;
};

class TReader {
public:
    explicit TReader(const CodePageString& source) : FSource(source) { FDocument.Paragraphs.emplace_back(); }

    TRichDocument Read()
    {
        FStack.push_back({});
        size_t i = 0;
        const size_t n = FSource.size();
        while (i < n) {
            const char c = FSource[i];
            if (FOverflow > 0) {
                if (c == '{')
                    ++FOverflow;
                else if (c == '}')
                    --FOverflow;
                else if (c == '\\' && i + 1 < n)
                    ++i;  // an escaped brace does not count
                ++i;
                continue;
            }
            switch (c) {
            case '{':
                if (FStack.size() >= MaxDepth) {
                    FOverflow = 1;
                } else {
                    FStack.push_back(FStack.back());
                    FGroupStart = true;
                }
                ++i;
                break;
            case '}':
                if (FStack.size() > 1)
                    FStack.pop_back();
                FGroupStart = false;
                ++i;
                break;
            case '\\':
                i = Control(i + 1);
                break;
            case '\r':
            case '\n':
                ++i;
                break;
            default:
                Emit(c);
                ++i;
                break;
            }
        }
        return std::move(FDocument);
    }

private:
    TGroup& Top() { return FStack.back(); }

    // Reads the control after a backslash at i; returns where reading goes on.
    size_t Control(size_t i)
    {
        const size_t n = FSource.size();
        if (i >= n)
            return i;
        const char c = FSource[i];
        if (std::isalpha(static_cast<unsigned char>(c))) {
            size_t end = i;
            while (end < n && end - i < 32 && std::isalpha(static_cast<unsigned char>(FSource[end])))
                ++end;
            const CodePageString word = FSource.substr(i, end - i);
            bool hasParam = false;
            long long param = 0;
            bool negative = false;
            if (end < n && FSource[end] == '-' && end + 1 < n && std::isdigit(static_cast<unsigned char>(FSource[end + 1]))) {
                negative = true;
                ++end;
            }
            size_t digits = 0;
            while (end < n && std::isdigit(static_cast<unsigned char>(FSource[end]))) {
                if (digits++ < 10)
                    param = param * 10 + (FSource[end] - '0');
                hasParam = true;
                ++end;
            }
            if (negative)
                param = -param;
            if (end < n && FSource[end] == ' ')
                ++end;
            return Word(word, hasParam, int(std::clamp<long long>(param, -2000000000LL, 2000000000LL)), end);
        }
        FGroupStart = false;
        switch (c) {
        case '\'': {
            // A byte by two hexadecimal digits; a bad escape is dropped whole.
            if (i + 2 < n) {
                const int hi = Hex(FSource[i + 1]);
                const int lo = Hex(FSource[i + 2]);
                if (hi >= 0 && lo >= 0)
                    Emit(char(hi * 16 + lo));
            }
            return std::min(n, i + 3);
        }
        case '\\':
        case '{':
        case '}':
            Emit(c);
            return i + 1;
        case '*':
            Top().Destination = dtSkip;
            return i + 1;
        case '~':
            Emit(char(0xA0));
            return i + 1;
        case '_':
            Emit('-');
            return i + 1;
        case '\r':
        case '\n':
            Paragraph();
            return i + 1;
        default:
            return i + 1;  // \- and other symbols
        }
    }

    size_t Word(const CodePageString& word, bool hasParam, int param, size_t next)
    {
        const bool first = FGroupStart;
        FGroupStart = false;
        TGroup& group = Top();
        if (group.Destination == dtSkip)
            return next;
        if (word == "bin") {
            // Binary data of the given length follows; it is no text.
            const size_t skip = hasParam && param > 0 ? size_t(param) : 0;
            return std::min(FSource.size(), next + skip);
        }
        if (first) {
            if (word == "fonttbl") {
                group.Destination = dtFontTable;
                return next;
            }
            if (word == "colortbl") {
                group.Destination = dtColorTable;
                return next;
            }
            for (const char* skipped : SkippedDestinations)
                if (word == skipped) {
                    group.Destination = dtSkip;
                    return next;
                }
        }
        if (group.Destination == dtFontTable) {
            if (word == "f") {
                FFontNumber = param;
                FFontName.clear();
            }
            return next;
        }
        if (group.Destination == dtColorTable) {
            const int value = std::clamp(param, 0, 255);
            if (word == "red")
                FRed = value, FColorSet = true;
            else if (word == "green")
                FGreen = value, FColorSet = true;
            else if (word == "blue")
                FBlue = value, FColorSet = true;
            return next;
        }
        TCharFormat& f = group.Format;
        const bool on = !hasParam || param != 0;
        if (word == "b")
            f.Style = on ? f.Style << fsBold : f.Style >> fsBold;
        else if (word == "i")
            f.Style = on ? f.Style << fsItalic : f.Style >> fsItalic;
        else if (word == "ul")
            f.Style = on ? f.Style << fsUnderline : f.Style >> fsUnderline;
        else if (word == "ulnone")
            f.Style = f.Style >> fsUnderline;
        else if (word == "cf")
            f.Color = std::max(0, param);
        else if (word == "f")
            f.Font = param;
        else if (word == "fs" && param > 0 && param <= MaxHalfPoints)
            f.HalfPoints = param;
        else if (word == "plain")
            f = TCharFormat{};
        else if (word == "par" || word == "line")
            Paragraph();
        else if (word == "tab")
            Emit('\t');
        return next;
    }

    void Paragraph()
    {
        if (Top().Destination == dtText)
            FDocument.Paragraphs.emplace_back();
    }

    void Emit(char c)
    {
        FGroupStart = false;
        TGroup& group = Top();
        switch (group.Destination) {
        case dtSkip:
            return;
        case dtFontTable:
            if (c == ';') {
                FFonts[FFontNumber] = Trim(FFontName);
                FFontName.clear();
            } else {
                FFontName += c;
            }
            return;
        case dtColorTable:
            if (c == ';') {
                FColors.push_back(FColorSet ? RGB(FRed, FGreen, FBlue) : clDefault);
                FRed = FGreen = FBlue = 0;
                FColorSet = false;
            }
            return;
        case dtText:
            break;
        }
        std::vector<TRichRun>& runs = FDocument.Paragraphs.back().Runs;
        const TCharFormat& f = group.Format;
        if (runs.empty() || !(FRunFormat == f) || FRunParagraph != FDocument.Paragraphs.size()) {
            TRichRun run;
            if (auto it = FFonts.find(f.Font); it != FFonts.end())
                run.FontName = it->second;
            run.Size = f.HalfPoints / 2;
            run.Style = f.Style;
            run.Color = f.Color >= 0 && size_t(f.Color) < FColors.size() ? FColors[size_t(f.Color)] : clDefault;
            runs.push_back(run);
            FRunFormat = f;
            FRunParagraph = FDocument.Paragraphs.size();
        }
        runs.back().Text += c;
    }

    static int Hex(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        const char u = char(std::toupper(static_cast<unsigned char>(c)));
        return u >= 'A' && u <= 'F' ? u - 'A' + 10 : -1;
    }

    const CodePageString& FSource;
    TRichDocument FDocument;
    std::vector<TGroup> FStack;
    bool FGroupStart = false;
    int FOverflow = 0;
    std::map<int, CodePageString> FFonts;
    int FFontNumber = 0;
    CodePageString FFontName;
    std::vector<TColor> FColors;
    int FRed = 0, FGreen = 0, FBlue = 0;
    bool FColorSet = false;
    TCharFormat FRunFormat;
    size_t FRunParagraph = 0;
};

}  // namespace

TRichDocument ParseRichText(const CodePageString& rtf)
{
    return TReader(rtf).Read();
}

CodePageString RichPlainText(const TRichDocument& document)
{
    CodePageString text;
    for (size_t p = 0; p < document.Paragraphs.size(); ++p) {
        if (p > 0)
            text += "\r\n";
        for (const TRichRun& run : document.Paragraphs[p].Runs)
            text += run.Text;
    }
    // The paragraph mark that ends the text opens no paragraph of its own.
    while (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0)
        text.resize(text.size() - 2);
    return text;
}

void TExRichEdit::SetRichText(const CodePageString& rtf)
{
    for (TCached& c : FCache)
        if (c.Source == rtf) {
            FDocument = c.Document;
            return;
        }
    FDocument = ParseRichText(rtf);
    if (FCache.size() >= 8)
        FCache.erase(FCache.begin());
    FCache.push_back({rtf, FDocument});
}

void TExRichEdit::RecolorStart(int count, TColor color)
{
    size_t left = size_t(std::max(0, count));
    for (size_t p = 0; p < FDocument.Paragraphs.size() && left > 0; ++p) {
        if (p > 0)
            left -= std::min<size_t>(left, 2);
        std::vector<TRichRun>& runs = FDocument.Paragraphs[p].Runs;
        for (size_t r = 0; r < runs.size() && left > 0; ++r) {
            if (runs[r].Text.size() > left) {
                // The run is split where the coloured part ends.
                TRichRun rest = runs[r];
                rest.Text.erase(0, left);
                runs[r].Text.resize(left);
                runs.insert(runs.begin() + std::ptrdiff_t(r) + 1, std::move(rest));
            }
            runs[r].Color = color;
            left -= runs[r].Text.size();
        }
    }
}

TExRichEdit::TFormatted TExRichEdit::Format(TCanvas& canvas, const TRect& rect, TColor background,
                                            bool measureOnly)
{
    const TFont cellFont(*canvas.Font());
    const TColor brushColor = canvas.Brush()->Color();
    const TBrushStyle brushStyle = canvas.Brush()->Style();
    TFormatted result;
    TRect clip{};
    if (!measureOnly) {
        clip = canvas.IntersectClip(rect);
        if (background != clNone) {
            canvas.Brush()->SetStyle(bsSolid);
            canvas.Brush()->SetColor(background);
            canvas.FillRect(rect);
        }
    }
    canvas.Brush()->SetStyle(bsClear);

    struct TPiece {
        CodePageString Text;
        TFont Font;
        int X = 0;
        int Width = 0;
        int Height = 0;
    };
    auto fontOf = [&](const TRichRun& run) {
        TFont f(cellFont);
        if (!run.FontName.empty())
            f.SetName(run.FontName);
        if (run.Size > 0)
            f.SetSize(run.Size);
        f.SetStyle(run.Style);
        if (run.Color != clDefault)
            f.SetColor(run.Color);
        return f;
    };

    int y = rect.Top;
    bool full = false;
    for (const TRichParagraph& paragraph : FDocument.Paragraphs) {
        if (full)
            break;
        std::vector<TPiece> line;
        int x = rect.Left;
        auto flush = [&] {
            int height = 0;
            for (const TPiece& p : line)
                height = std::max(height, p.Height);
            if (line.empty()) {
                canvas.SetFont(&cellFont);
                height = canvas.TextHeight("gh");
            }
            if (!measureOnly)
                for (const TPiece& p : line) {
                    canvas.SetFont(&p.Font);
                    canvas.TextOut(p.X, y + height - p.Height, p.Text);
                }
            result.Width = std::max(result.Width, x - rect.Left);
            y += height;
            line.clear();
            x = rect.Left;
            if (!measureOnly && y >= rect.Bottom)
                full = true;
        };
        for (const TRichRun& run : paragraph.Runs) {
            const TFont font = fontOf(run);
            canvas.SetFont(&font);
            size_t at = 0;
            while (at < run.Text.size() && !full) {
                TPiece piece;
                piece.Font = font;
                if (run.Text[at] == '\t') {
                    const int next = rect.Left + ((x - rect.Left) / TabWidth + 1) * TabWidth;
                    piece.Width = next - x;
                    piece.Height = canvas.TextHeight("gh");
                    ++at;
                } else {
                    size_t end = at;
                    while (end < run.Text.size() && run.Text[end] != ' ' && run.Text[end] != '\t')
                        ++end;
                    while (end < run.Text.size() && run.Text[end] == ' ')
                        ++end;
                    piece.Text = run.Text.substr(at, end - at);
                    const TSize size = canvas.TextExtent(piece.Text);
                    piece.Width = size.cx;
                    piece.Height = size.cy;
                    at = end;
                    if (x + piece.Width > rect.Right && !line.empty()) {
                        flush();
                        if (full)
                            break;
                        canvas.SetFont(&font);
                    }
                }
                piece.X = x;
                x += piece.Width;
                line.push_back(std::move(piece));
            }
        }
        if (!full)
            flush();
    }
    result.Height = y - rect.Top;
    canvas.SetFont(&cellFont);
    canvas.Brush()->SetColor(brushColor);
    canvas.Brush()->SetStyle(brushStyle);
    if (!measureOnly)
        canvas.RestoreClip(clip);
    return result;
}
