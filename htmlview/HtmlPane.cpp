#include "htmlview/HtmlPane.h"

#include <algorithm>
#include <exception>
#include <filesystem>

#include "classlib/Files.h"
#include "classlib/FlagScope.h"
#include "classlib/Forms.h"
#include "classlib/Timer.h"
#include "htmlview/HtmlDocument.h"
#include "htmlview/HtmlImages.h"
#include "htmlview/HtmlTables.h"
#include "htmlview/HtmlTextSection.h"
#include "platform/Clipboard.h"
#include "platform/Messages.h"

namespace {

// The viewer posts itself this message to raise OnFormSubmit once the click
// that submitted the form is over.
constexpr UINT FormSubmitMessage = WM_USER + 100;
// A line is never laid out wider than this.
constexpr int MaxDocWidth = 2000;
constexpr int VerticalSmallChange = 16;
constexpr int HorizontalSmallChange = 15;
constexpr int AutoScrollInterval = 100;

// The hourglass while it lives.
struct HourGlass {
    TCursor Saved;
    HourGlass() : Saved(Screen ? Screen->Cursor() : crDefault)
    {
        if (Screen)
            Screen->SetCursor(crHourGlass);
    }
    ~HourGlass()
    {
        if (Screen)
            Screen->SetCursor(Saved);
    }
};

// Characters a double click selects as one word: digits, ASCII letters and
// the accented letters of the code page.
bool WordChar(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
           (u >= 192 && u != 215 && u != 247);
}

CodePageString ExpandName(const CodePageString& name)
{
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(std::filesystem::path(name), ec);
    return ec ? name : full.lexically_normal().string();
}

void AppendCellText(const TCell& cell, TDocumentText& out);

void AppendSectionText(const TSectionBase* s, TDocumentText& out)
{
    if (auto* table = dynamic_cast<const ThtmlTable*>(s)) {
        if (table->TooDeep())
            return;
        if (table->TopCaption)
            AppendCellText(*table->Caption->Cell, out);
        for (const auto& row : table->Rows)
            for (const auto& cell : *row)
                if (!cell->Filler())
                    AppendCellText(*cell->Cell, out);
        if (!table->TopCaption)
            AppendCellText(*table->Caption->Cell, out);
        return;
    }
    auto* sec = dynamic_cast<const TSection*>(s);
    if (!sec)
        return;
    const CodePageString& buff = sec->Buff;
    if (buff.find_first_not_of(std::string(" ") + ImagePlaceholder + ControlPlaceholder) == CodePageString::npos)
        return;
    // Each link is the text of the runs that carry it; a link split into
    // several runs (a bold word in it) stays one.
    TAccessibleLink* open = nullptr;
    for (int i = 0; i < sec->Fonts.Count(); ++i) {
        const TFontObj* run = sec->Fonts[i];
        const int end = i + 1 < sec->Fonts.Count() ? sec->Fonts[i + 1]->Pos : sec->Len;
        const int start = int(out.Text.size());
        for (int p = std::max(run->Pos, 0); p < end && p < int(buff.size()); ++p)
            if (buff[std::size_t(p)] != ImagePlaceholder && buff[std::size_t(p)] != ControlPlaceholder)
                out.Text += buff[std::size_t(p)];
        const CodePageString& url = run->UrlTarget.URL;
        if (url.empty()) {
            open = nullptr;
        } else if (open && open->Target == url) {
            open->End = int(out.Text.size());
            open->Name = out.Text.substr(std::size_t(open->Start), std::size_t(open->End - open->Start));
        } else {
            out.Links.push_back({out.Text.substr(std::size_t(start)), url, start, int(out.Text.size())});
            open = &out.Links.back();
        }
    }
    out.Text += '\n';
}

void AppendCellText(const TCell& cell, TDocumentText& out)
{
    for (const auto& section : cell)
        AppendSectionText(section.get(), out);
}

}  // namespace

TDocumentText DocumentText(const TSectionList& document)
{
    TDocumentText out;
    AppendCellText(document, out);
    // Links made of blanks only read as nothing; they are left out.
    out.Links.erase(std::remove_if(out.Links.begin(), out.Links.end(),
                                   [](const TAccessibleLink& l) { return Trim(l.Name).empty(); }),
                    out.Links.end());
    return out;
}

// --- the paint panel and the scroll bar ----------------------------------------------------------------------

TPaintPanel::TPaintPanel(TComponent* owner, THtmlPane* viewer) : TCustomControl(owner), FViewer(viewer)
{
    // The viewer paints the whole surface, background included.
    SetControlStyle(ControlStyle() & ~csOpaque);
}

void TPaintPanel::Paint()
{
    FViewer->PaintDocument(Canvas());
}

void TPaintPanel::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    FViewer->HtmlMouseDown(button, shift, x, y);
}

void TPaintPanel::MouseMove(TShiftState shift, int x, int y)
{
    FViewer->HtmlMouseMove(shift, x, y);
}

void TPaintPanel::MouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    FViewer->HtmlMouseUp(button, shift, x, y);
}

void TPaintPanel::DblClick()
{
    FViewer->HtmlDblClick();
}

void T32ScrollBar::SetScrollInfo(int position, int page, int min, int max)
{
    if (PageSize() != page)
        SetPageSize(page);
    if (Position() != position || Min() != min || Max() != max)
        SetParams(position, min, max);
}

// --- the viewer ------------------------------------------------------------------------------------------------

struct THtmlPane::BusyScope {
    explicit BusyScope(THtmlPane& viewer) : Viewer(viewer) { Viewer.SetBusy(true); }
    ~BusyScope() { Viewer.SetBusy(false); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;
    THtmlPane& Viewer;
};

struct THtmlPane::PendingSubmission {
    CodePageString Action;
    CodePageString Target;
    CodePageString EncType;
    CodePageString Method;
    std::unique_ptr<TStringList> Results;
};

THtmlPane::THtmlPane(TComponent* owner) : TCustomControl(owner)
{
    InitImageUnit();
    SetTabStop(true);
    SetCursor(2);
    FPanel = new TPaintPanel(this, this);
    FPanel->Name = "PaintPanel";
    FPanel->SetCursor(2);
    FPanel->SetParent(this);
    FVScrollBar = new T32ScrollBar(this);
    FVScrollBar->Name = "VScrollBar";
    FVScrollBar->SetKind(sbVertical);
    FVScrollBar->SetSmallChange(VerticalSmallChange);
    FVScrollBar->SetVisible(false);
    FVScrollBar->SetTabStop(false);
    FVScrollBar->SetParent(this);
    FHScrollBar = new TScrollBar(this);
    FHScrollBar->Name = "HScrollBar";
    FHScrollBar->SetKind(sbHorizontal);
    FHScrollBar->SetSmallChange(HorizontalSmallChange);
    FHScrollBar->SetVisible(false);
    FHScrollBar->SetTabStop(false);
    FHScrollBar->SetParent(this);
    FVScrollBar->OnChange = [this](TObject*) {
        if (FDocument && FDocument->ScrollTop != FVScrollBar->Position()) {
            FDocument->SetScrollTop(FVScrollBar->Position());
            FPanel->Invalidate();
        }
    };
    FHScrollBar->OnChange = [this](TObject*) { FPanel->Invalidate(); };
    const auto takeFocus = [this](TObject*, TScrollCode, int&) {
        if (CanFocus())
            SetFocus();
    };
    FVScrollBar->OnScroll = takeFocus;
    FHScrollBar->OnScroll = takeFocus;

    FAnchorNames = std::make_unique<TStringList>();
    FDocument = std::make_unique<TSectionList>(*this);
    ApplyDefaultFonts();

    FAutoScrollTimer = std::make_unique<TTimer>(nullptr);
    FAutoScrollTimer->SetEnabled(false);
    FAutoScrollTimer->SetInterval(AutoScrollInterval);
    FAutoScrollTimer->OnTimer = [this](TObject*) { AutoScrollStep(); };
    FMessageWindow = AllocateHWnd([this](TMessage& message) {
        if (message.Msg != FormSubmitMessage || !FPendingSubmit)
            return;
        const std::unique_ptr<PendingSubmission> pending = std::move(FPendingSubmit);
        if (FOnFormSubmit)
            FOnFormSubmit(this, pending->Action, pending->Target, pending->EncType, pending->Method,
                          pending->Results.get());
    });
    SetBounds(0, 0, 150, 150);
}

THtmlPane::~THtmlPane()
{
    DeallocateHWnd(FMessageWindow);
    FAutoScrollTimer.reset();
    // The form controls' windows lie on the paint panel: they go first.
    FDocument.reset();
}

TCanvas* THtmlPane::LayoutCanvas() const
{
    return FLayoutCanvas ? FLayoutCanvas : FPanel->Canvas();
}

void THtmlPane::SetBusy(bool busy)
{
    if (busy == FBusy)
        return;
    FBusy = busy;
    FireEvent(OnProcessing, this, busy);
}

void THtmlPane::ApplyDefaultFonts()
{
    FDocument->Charset = FCharSet;
    FDocument->SetDefaultFonts(FDefFontName, FDefPreFontName, FDefFontSize, FDefFontColor, FDefHotSpotColor,
                               FDefBackground);
}

void THtmlPane::StopSound()
{
    FireEvent(OnSoundRequest, this, CodePageString(), 0, true);
}

THtmlParseEvents THtmlPane::ParseEvents()
{
    THtmlParseEvents events;
    events.Meta = [this](TObject* sender, const CodePageString& httpEq, const CodePageString& name, const CodePageString& content) {
        MetaHandler(sender, httpEq, name, content);
    };
    events.Sound = OnSoundRequest;
    events.Include = OnInclude;
    return events;
}

void THtmlPane::ResetDocument()
{
    FDocument->Clear();
    FDocumentText.reset();
    FImageCache.AgeCache();
    ApplyDefaultFonts();
    FAnchorNames->Clear();
    FCursorCharPos = 0;
    FSelectionAnchor = -1;
}

// --- loading -------------------------------------------------------------------------------------------------------

void THtmlPane::LoadStrings(const TStrings& strings)
{
    FRefreshDelay = 0;
    LoadStringsAs(strings, fkHTML);
    if (FRefreshDelay >= 1)
        FireEvent(OnMetaRefresh, this, FRefreshDelay, FRefreshURL);
}

void THtmlPane::LoadStringsAs(const TStrings& strings, THtmlFileKind kind)
{
    if (FBusy)
        return;
    BusyScope busy(*this);
    ResetDocument();
    StopSound();
    THtmlParseInfo info;
    // A parse that stops with an error still shows what it read; the error
    // passes on once the viewer is usable again.
    std::exception_ptr error;
    try {
        if (kind == fkText)
            ParseTextStrings(*FDocument, *FAnchorNames, strings);
        else
            ParseHtmlStrings(*FDocument, *FAnchorNames, strings, ParseEvents(), info);
    } catch (...) {
        error = std::current_exception();
    }
    FinishLoad(info);
    ScrollTo(0);
    SetHScroll(0);
    FPanel->Invalidate();
    LoadedFileName.clear();
    if (error)
        std::rethrow_exception(error);
}

void THtmlPane::FinishLoad(const THtmlParseInfo& info)
{
    DocumentTitle = info.TitleText;
    BaseAddress = info.BaseHRef;
    BaseFrameTarget = info.BaseFrameTarget;
    FDocumentText.reset();
    LayOutDocument();
    AccessibleChanged(TAccessibleChange::Name);
}

void THtmlPane::LoadHtmlFile(const CodePageString& name)
{
    LoadAndRecord(name, fkHTML);
}

void THtmlPane::LoadImagePage(const CodePageString& name)
{
    LoadAndRecord(name, fkImage);
}

// The document left goes into the history when the file or its kind changed.
void THtmlPane::LoadAndRecord(const CodePageString& name, THtmlFileKind kind)
{
    if (FBusy || name.empty())
        return;
    const CodePageString file = LoadedFileName;
    const CodePageString title = DocumentTitle;
    const TReadingPosition position = SaveReadingPosition();
    const THtmlFileKind leftKind = LoadedFileKind;
    LoadFile(name, kind);
    if (LoadedFileName != file || LoadedFileKind != leftKind)
        RecordHistory(file, title, leftKind, position);
}

void THtmlPane::LoadFile(const CodePageString& name, THtmlFileKind kind)
{
    if (FBusy)
        return;
    CodePageString file = name;
    CodePageString dest;
    const std::size_t hash = file.find('#');
    if (hash != CodePageString::npos) {
        dest = file.substr(hash + 1);
        file.erase(hash);
    }
    FRefreshDelay = 0;
    {
        HourGlass hourGlass;
        BusyScope busy(*this);
        if (!FileExists(file))
            throw EInOutError("Can't locate file: " + file);
        const CodePageString previous = LoadedFileName;
        ResetDocument();
        StopSound();
        THtmlParseInfo info;
        std::exception_ptr error;
        try {
            switch (kind) {
            case fkHTML: ParseHtmlFile(*FDocument, *FAnchorNames, file, ParseEvents(), info); break;
            case fkText: ParseTextFile(*FDocument, *FAnchorNames, file); break;
            case fkImage:
                ParseHtmlBuffer(*FDocument, *FAnchorNames, "<img src=\"" + file + "\">", ParseEvents(), info);
                break;
            }
        } catch (...) {
            error = std::current_exception();
        }
        LoadedFileName = ExpandName(file);
        LoadedFileKind = kind;
        FinishLoad(info);
        if (!dest.empty() && !error) {
            JumpToAnchor(dest);
        } else if (LoadedFileName != previous || error) {
            ScrollTo(0);
            SetHScroll(0);
        }
        FPanel->Invalidate();
        if (error)
            std::rethrow_exception(error);
    }
    if (FRefreshDelay >= 1)
        FireEvent(OnMetaRefresh, this, FRefreshDelay, FRefreshURL);
}

bool THtmlPane::JumpToAnchor(const CodePageString& dest)
{
    CodePageString name = dest;
    if (!name.empty() && name[0] == '#')
        name.erase(0, 1);
    const int index = FAnchorNames->IndexOf(UpperCase(name));
    if (index < 0 || name.empty())
        return false;
    // The section shows with the page's top margin above it.
    const auto* section = static_cast<const TSectionBase*>(FAnchorNames->Objects(index));
    ScrollTo(section ? section->YValue - FMarginHeight : 0);
    SetHScroll(0);
    return true;
}

void THtmlPane::ClearDocument()
{
    if (FBusy)
        return;
    FDocument->Clear();
    FDocumentText.reset();
    ApplyDefaultFonts();
    FAnchorNames->Clear();
    BaseAddress.clear();
    BaseFrameTarget.clear();
    DocumentTitle.clear();
    LoadedFileName.clear();
    FDocHeight = 0;
    FDocWidth = 0;
    FHScrollBar->SetVisible(false);
    FVScrollBar->SetVisible(false);
    FVScrollBar->SetScrollInfo(0, FVScrollBar->PageSize(), 0, 0);
    FDocument->SetScrollTop(0);
    FCursorCharPos = 0;
    FSelectionAnchor = -1;
    StopSound();
    UpdateScrollBars();
    FPanel->Invalidate();
    AccessibleChanged(TAccessibleChange::Name);
}

// --- layout and scrolling ------------------------------------------------------------------------------------------

void THtmlPane::LayOutDocument()
{
    FDocWidth = 0;
    const TFlagScope layingOut(FLayingOut);
    const int border = FBorderStyle == htNone ? 1 : 3;
    const bool vertical = FScrollBars == ssVertical || FScrollBars == ssBoth;
    const int width = std::max(0, Width() - (vertical ? FScrollBarWidth : 0) - border - 2 * FMarginWidth);
    int maxWidth = 0;
    int curs = 0;
    const int height = FDocument->LayOutAll(LayoutCanvas(), FMarginHeight, width, maxWidth, curs);
    FDocHeight = height + (vertical ? 2 * FMarginHeight : FMarginHeight);
    FDocWidth = maxWidth;
    FLastWidth = Width();
    UpdateScrollBars();
}

void THtmlPane::UpdateScrollBars()
{
    if (!FPanel)
        return;
    FDocWidth = std::min(FDocWidth, MaxDocWidth);
    const int b = FBorderStyle == htNone ? 0 : 1;
    const bool allowV = FScrollBars == ssVertical || FScrollBars == ssBoth;
    const bool allowH = FScrollBars == ssHorizontal || FScrollBars == ssBoth;
    const int w = Width();
    const int h = Height();
    const int sw = FScrollBarWidth;
    const int contentWidth = 2 * FMarginWidth + FDocWidth;
    const bool vNeeded =
        allowV && (h - 2 <= FDocHeight || (allowH && h - 2 - sw <= FDocHeight && contentWidth > w - sw));
    const bool hNeeded = allowH && (contentWidth > w || (vNeeded && contentWidth > w - sw));
    const int room = vNeeded ? w - sw : w;
    const int panelWidth = std::max(0, room - 2 * b);
    const int panelHeight = std::max(0, h - 2 * b - (hNeeded ? sw : 0));
    FPanel->SetBounds(b, b, panelWidth, panelHeight);

    FHScrollBar->SetLargeChange(std::max(1, room - 20));
    FHScrollBar->SetBounds(b, h - sw - b, std::max(0, room - 2 * b), sw);
    FHScrollBar->SetPageSize(std::max(1, panelWidth));
    FHScrollBar->SetParams(FHScrollBar->Position(), 0, std::max(0, std::max(panelWidth, contentWidth)));
    FHScrollBar->SetVisible(hNeeded);

    FVScrollBar->SetBounds(w - sw - b, b, sw, panelHeight);
    FVScrollBar->SetLargeChange(std::max(1, panelHeight - VerticalSmallChange));
    FVScrollBar->SetScrollInfo(std::clamp(Position(), 0, std::max(0, MaxScroll())), panelHeight + 1, 0,
                               std::max(0, FDocHeight));
    FVScrollBar->SetVisible(vNeeded);
}

void THtmlPane::Relayout()
{
    const TReadingPosition position = SaveReadingPosition();
    LayOutDocument();
    RestoreReadingPosition(position);
    FPanel->Invalidate();
}

int THtmlPane::PanelHeight() const
{
    return FPanel->Height();
}

int THtmlPane::MaxScroll() const
{
    return FDocHeight - PanelHeight();
}

int THtmlPane::Position() const
{
    return FDocument ? FDocument->ScrollTop : 0;
}

void THtmlPane::SetPosition(int y)
{
    ScrollTo(y);
}

void THtmlPane::ScrollTo(int y)
{
    // The lower bound wins for a document shorter than the window.
    y = std::max(0, std::min(y, MaxScroll()));
    FDocument->SetScrollTop(y);
    FVScrollBar->SetPosition(y);
    FPanel->Invalidate();
}

int THtmlPane::HScrollPos() const
{
    return FHScrollBar->Visible() ? FHScrollBar->Position() : 0;
}

void THtmlPane::SetHScroll(int x)
{
    x = std::max(0, std::min(x, FHScrollBar->Max() - FPanel->Width()));
    FHScrollBar->SetPosition(x);
    FPanel->Invalidate();
}

TReadingPosition THtmlPane::SaveReadingPosition() const
{
    int top = 0;
    int index = 0;
    if (!FDocument || !FDocument->SectionAtY(FDocument->ScrollTop, top, index))
        return {0, 0};
    return {index, FDocument->ScrollTop - top};
}

void THtmlPane::RestoreReadingPosition(const TReadingPosition& position)
{
    if (position.Section >= 0 && position.Section < FDocument->Count())
        ScrollTo(FDocument->SectionTopOf(position.Section) + position.Offset);
}

void THtmlPane::Resize()
{
    TCustomControl::Resize();
    if (!FDocument)
        return;
    if (Width() != FLastWidth && !FBusy) {
        BusyScope busy(*this);
        FDocument->YOffChange = true;
        Relayout();
        FLastWidth = Width();
    } else {
        UpdateScrollBars();
    }
    if (PanelHeight() <= FDocHeight)
        ScrollTo(Position());
    else
        ScrollTo(0);
    SetHScroll(FHScrollBar->Position());
}

// --- painting ------------------------------------------------------------------------------------------------------

void THtmlPane::Paint()
{
    // The one-pixel border: in the text colour when single, or focused with
    // the focus; otherwise in the page's colour, so that it does not show.
    if (FBorderStyle == htNone)
        return;
    TCanvas* canvas = Canvas();
    const bool shown = FBorderStyle == htSingle || Focused();
    canvas->Brush()->SetStyle(bsSolid);
    canvas->Brush()->SetColor(shown ? clBtnText : FPanel->Color());
    canvas->FrameRect(ClientRect());
}

void THtmlPane::PaintDocument(TCanvas* canvas)
{
    if (FLayingOut)
        return;
    const TRect clip = canvas->ClipRect();
    const int hpos = HScrollPos();
    TBitmap* tile = ViewImages() ? FDocument->GetBackgroundBitmap() : nullptr;
    PaintDocumentBackground(*canvas, clip, tile, hpos, FDocument->ScrollTop, FPanel->Color());
    FDocument->Draw(canvas, clip, MaxDocWidth, FMarginWidth - hpos, FMarginHeight);
}

// --- the mouse -------------------------------------------------------------------------------------------------------

int THtmlPane::DocumentY(int panelY) const
{
    return panelY + FDocument->ScrollTop - FMarginHeight;
}

int THtmlPane::DocumentX(int panelX) const
{
    return panelX;
}

int THtmlPane::PositionAt(int x, int y)
{
    int xr = 0;
    int yr = 0;
    int caret = 0;
    TCell* cell = nullptr;
    bool inText = false;
    return FDocument->PositionAtPoint(LayoutCanvas(), DocumentX(x), DocumentY(y), xr, yr, caret, cell, inText);
}

bool THtmlPane::LinkAt(int x, int y, TUrlTarget& link, TFormControlObj*& control)
{
    link.Clear();
    control = nullptr;
    return FDocument->LinkAtPoint(LayoutCanvas(), DocumentX(x), DocumentY(y), link, control);
}

void THtmlPane::HtmlMouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    TCustomControl::MouseDown(button, shift, x, y);
    if (CanFocus())
        SetFocus();
    FLastMouse = {x, y};
    FHotSpotClicked = false;
    if (button != mbLeft)
        return;
    FLeftButtonDown = true;
    FSelecting = true;
    FSelectionAnchor = PositionAt(x, y);
    if (FSelectionAnchor >= 0) {
        if (FDocument->SelectionEnd > FDocument->SelectionBegin)
            FPanel->Invalidate();
        FDocument->SelectionBegin = FDocument->SelectionEnd = FSelectionAnchor;
        FCursorCharPos = FSelectionAnchor;
    }
}

void THtmlPane::HtmlMouseMove(TShiftState shift, int x, int y)
{
    TCustomControl::MouseMove(shift, x, y);
    FLastMouse = {x, y};
    if (FBusy)
        return;
    TUrlTarget link;
    TFormControlObj* control = nullptr;
    const bool overLink = LinkAt(x, y, link, control) && !link.URL.empty();
    TImageObj* image = nullptr;
    int ix = 0;
    int iy = 0;
    if (overLink) {
        FPanel->SetCursor(1);
    } else if ((OnImageClick || OnImageOver) &&
               FDocument->ObjectAtPoint(DocumentX(x), DocumentY(y), image, ix, iy)) {
        FPanel->SetCursor(crArrow);
        FireEvent(OnImageOver, this, image, shift, ix, iy);
    } else {
        FPanel->SetCursor(PositionAt(x, y) >= 0 ? 2 : crArrow);
    }
    const CodePageString url = overLink ? link.URL : CodePageString();
    if (url != HotSpotURL) {
        HotSpotURL = url;
        HotSpotTarget = overLink ? link.Target : CodePageString();
        FireEvent(OnHotSpotCovered, this, url);
    }
    if (FLeftButtonDown) {
        if ((y < 0 || y > PanelHeight()) && !FAutoScrolling) {
            FAutoScrolling = true;
            FAutoScrollTimer->SetEnabled(true);
        }
        if (!FNoSelect)
            ExtendSelection(x, y);
    }
}

void THtmlPane::ExtendSelection(int x, int y)
{
    if (FSelectionAnchor < 0)
        return;
    const int pos = PositionAt(x, std::clamp(y, 0, std::max(0, PanelHeight() - 1)));
    if (pos < 0)
        return;
    const int begin = std::min(FSelectionAnchor, pos);
    const int end = std::max(FSelectionAnchor, pos);
    FCursorCharPos = pos;
    if (begin != FDocument->SelectionBegin || end != FDocument->SelectionEnd) {
        FDocument->SelectionBegin = begin;
        FDocument->SelectionEnd = end;
        FPanel->Invalidate();
    }
}

// While the mouse is held above or below the panel, the view moves toward
// it, faster when it is far, and the selection follows.
void THtmlPane::AutoScrollStep()
{
    const int y = FLastMouse.y;
    if (!FAutoScrolling || !FLeftButtonDown || (y >= 0 && y <= PanelHeight())) {
        FAutoScrolling = false;
        FAutoScrollTimer->SetEnabled(false);
        return;
    }
    const int beyond = y < 0 ? -y : y - PanelHeight();
    const int step = VerticalSmallChange * (beyond > 15 ? 8 : 1);
    ScrollTo(Position() + (y < 0 ? -step : step));
    if (!FNoSelect)
        ExtendSelection(FLastMouse.x, y);
}

void THtmlPane::HtmlMouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    TCustomControl::MouseUp(button, shift, x, y);
    TImageObj* image = nullptr;
    int ix = 0;
    int iy = 0;
    if (OnImageClick && FDocument->ObjectAtPoint(DocumentX(x), DocumentY(y), image, ix, iy))
        FireEvent(OnImageClick, this, image, button, shift, ix, iy);
    if (button == mbRight) {
        if (!OnRightClick)
            return;
        TRightClickParameters parameters;
        if (FDocument->ObjectAtPoint(DocumentX(x), DocumentY(y), image, ix, iy)) {
            parameters.ClickedImage = image;
            parameters.ClickX = ix;
            parameters.ClickY = iy;
        }
        TUrlTarget link;
        TFormControlObj* control = nullptr;
        if (LinkAt(x, y, link, control)) {
            parameters.LinkURL = link.URL;
            parameters.LinkFrameTarget = link.Target;
        }
        FireEvent(OnRightClick, this, &parameters);
        return;
    }
    if (button != mbLeft)
        return;
    if (!FNoSelect)
        ExtendSelection(x, y);
    FSelecting = false;
    FAutoScrolling = false;
    FAutoScrollTimer->SetEnabled(false);
    const bool wasDown = FLeftButtonDown;
    FLeftButtonDown = false;
    if (!wasDown || FDocument->SelectionEnd > FDocument->SelectionBegin)
        return;
    TUrlTarget link;
    TFormControlObj* control = nullptr;
    if (!LinkAt(x, y, link, control))
        return;
    if (auto* imageInput = dynamic_cast<TImageFormControlObj*>(control)) {
        imageInput->ImageClicked();
    } else if (!link.URL.empty()) {
        HotSpotURL = link.URL;
        HotSpotTarget = link.Target;
        FHotSpotClicked = true;
        HotSpotClick();
    }
}

void THtmlPane::HtmlDblClick()
{
    if (FNoSelect || FBusy || FHotSpotClicked)
        return;
    const int pos = PositionAt(FLastMouse.x, FLastMouse.y);
    if (pos < 0)
        return;
    char ch = 0;
    TSectionBase* section = nullptr;
    if (!FDocument->CharAtPosition(pos, ch, section) || !WordChar(ch))
        return;
    const auto sameWord = [&](int p) {
        char c = 0;
        TSectionBase* s = nullptr;
        return p >= 0 && FDocument->CharAtPosition(p, c, s) && s == section && WordChar(c);
    };
    int begin = pos;
    while (sameWord(begin - 1))
        --begin;
    int end = pos + 1;
    while (sameWord(end))
        ++end;
    FDocument->SelectionBegin = begin;
    FDocument->SelectionEnd = end;
    FPanel->Invalidate();
}

void THtmlPane::HotSpotClick()
{
    bool handled = false;
    FireEvent(OnHotSpotClick, this, HotSpotURL, handled);
    if (handled)
        return;
    const TReadingPosition position = SaveReadingPosition();
    const CodePageString url = HotSpotURL;
    if (!url.empty() && url[0] == '#') {
        if (JumpToAnchor(url))
            RecordHistory(LoadedFileName, DocumentTitle, LoadedFileKind, position);
        return;
    }
    CodePageString name = url;
    CodePageString dest;
    const std::size_t hash = name.find('#');
    if (hash != CodePageString::npos) {
        dest = name.substr(hash);
        name.erase(hash);
    }
    name = ExpandLinkFileName(name);
    const CodePageString ext = UpperCase(ExtractFileExt(name)).substr(0, 5);
    if (ext == ".HTM" || ext == ".HTML") {
        if (name != LoadedFileName)
            LoadHtmlFile(name + dest);
        else if (JumpToAnchor(dest))
            RecordHistory(LoadedFileName, DocumentTitle, LoadedFileKind, position);
    } else if (ext == ".BMP" || ext == ".GIF" || ext == ".JPG" || ext == ".JPEG" || ext == ".PNG") {
        LoadImagePage(name);
    }
}

// --- the keyboard and the focus ----------------------------------------------------------------------------------

void THtmlPane::KeyDown(WORD& key, TShiftState shift)
{
    TCustomControl::KeyDown(key, shift);
    if (FBusy)
        return;
    int y = Position();
    switch (key) {
    case VK_PRIOR: y -= FVScrollBar->LargeChange(); break;
    case VK_NEXT: y += FVScrollBar->LargeChange(); break;
    case VK_HOME: y = 0; break;
    case VK_END: y = FDocHeight; break;
    case VK_UP: y -= VerticalSmallChange; break;
    case VK_DOWN: y += VerticalSmallChange; break;
    case VK_LEFT: SetHScroll(HScrollPos() - HorizontalSmallChange); return;
    case VK_RIGHT: SetHScroll(HScrollPos() + HorizontalSmallChange); return;
    default: return;
    }
    ScrollTo(y);
}

void THtmlPane::DoEnter()
{
    TCustomControl::DoEnter();
    Invalidate();
}

void THtmlPane::DoExit()
{
    TCustomControl::DoExit();
    Invalidate();
}

// A form control that takes the focus outside the window is brought to its
// middle.
void THtmlPane::FormControlEntered(TFormControlObj* control)
{
    TWinControl* window = control ? control->WinControl() : nullptr;
    if (!window)
        return;
    const int top = window->Top();
    if (top < 0 || top > PanelHeight() - 20) {
        ScrollTo(Position() + top - PanelHeight() / 2);
        FPanel->Invalidate();
    }
}

// --- forms, meta tags, the history -------------------------------------------------------------------------------

void THtmlPane::FormSubmit(const CodePageString& action, const CodePageString& target, const CodePageString& encType,
                           const CodePageString& method, std::unique_ptr<TStringList> results)
{
    if (!FOnFormSubmit)
        return;
    FPendingSubmit = std::make_unique<PendingSubmission>(
        PendingSubmission{action, target, encType, method, std::move(results)});
    PostMessage(FMessageWindow, FormSubmitMessage, 0, 0);
}

void THtmlPane::SetOnFormSubmit(TFormSubmitEvent handler)
{
    FOnFormSubmit = std::move(handler);
}

void THtmlPane::SetOnImageRequest(TGetImageEvent handler)
{
    FOnImageRequest = std::move(handler);
}

void THtmlPane::SetOnScript(TScriptEvent handler)
{
    FOnScript = std::move(handler);
}

void THtmlPane::SetOnObjectClick(TObjectClickEvent handler)
{
    FOnObjectClick = std::move(handler);
}

void THtmlPane::ObjectClick(TFormControlObj* obj, const CodePageString& onClick)
{
    FireEvent(FOnObjectClick, this, obj, onClick);
}

void THtmlPane::BackgroundChanged(TColor color)
{
    FPanel->SetColor(PaletteRelative(color));
}

void THtmlPane::MetaHandler(TObject* /*sender*/, const CodePageString& httpEq, const CodePageString& name,
                            const CodePageString& content)
{
    FireEvent(OnMeta, this, httpEq, name, content);
    if (!OnMetaRefresh || !SameText(httpEq, "refresh"))
        return;
    const std::size_t semicolon = content.find(';');
    int delay = -1;
    if (semicolon == CodePageString::npos || !TryStrToInt(Trim(content.substr(0, semicolon)), delay))
        delay = -1;
    if (delay < 1)
        return;
    const std::size_t url = LowerCase(content).find("url=");
    if (url == CodePageString::npos)
        return;
    FRefreshURL = content.substr(url + 4);
    FRefreshDelay = delay;
}

void THtmlPane::RecordHistory(const CodePageString& fileName, const CodePageString& title, THtmlFileKind kind,
                              const TReadingPosition& position)
{
    const TReadingPosition now = SaveReadingPosition();
    if (FHistoryMaxCount == 0 || LoadedFileName.empty())
        return;
    if (fileName == LoadedFileName && kind == LoadedFileKind && position == now)
        return;
    if (VisitedFiles.Count() > 0 && !fileName.empty()) {
        VisitedFiles.SetStrings(VisitIndex, fileName);
        VisitedTitles.SetStrings(VisitIndex, title);
        VisitedPositions[VisitIndex]->Pos = position;
        VisitedPositions[VisitIndex]->FileType = kind;
        for (int i = VisitIndex - 1; i >= 0; --i) {
            VisitedFiles.Delete(i);
            VisitedTitles.Delete(i);
            VisitedPositions.Delete(i);
        }
    }
    VisitIndex = 0;
    VisitedFiles.Insert(0, LoadedFileName);
    VisitedTitles.Insert(0, DocumentTitle);
    auto entry = std::make_unique<PositionObj>();
    entry->Pos = now;
    entry->FileType = LoadedFileKind;
    VisitedPositions.Insert(0, std::move(entry));
    if (VisitedFiles.Count() > FHistoryMaxCount) {
        VisitedFiles.Delete(FHistoryMaxCount);
        VisitedTitles.Delete(FHistoryMaxCount);
        VisitedPositions.Delete(FHistoryMaxCount);
    }
    FireEvent(OnHistoryChange, this);
}

void THtmlPane::EraseHistory()
{
    const bool had = VisitedFiles.Count() > 0;
    VisitedFiles.Clear();
    VisitedTitles.Clear();
    VisitedPositions.Clear();
    VisitIndex = 0;
    if (had)
        FireEvent(OnHistoryChange, this);
}

CodePageString THtmlPane::ExpandLinkFileName(const CodePageString& name)
{
    CodePageString result = UrlToServerPath(Trim(name), FServerRoot);
    if (!result.empty() && result[0] == '/')
        return ExpandName(result);
    if (SameText(BaseAddress, "DosPath"))
        return result;
    if (BaseAddress.empty())
        return ExpandName(ExtractFilePath(LoadedFileName) + result);
    return ExpandName(UrlToLocalPath(BaseAddress) + result);
}

// --- selection ------------------------------------------------------------------------------------------------------

CodePageString THtmlPane::SelectedText()
{
    return FDocument->SelectedText();
}

void THtmlPane::CopyToClipboard()
{
    const CodePageString text = SelectedText();
    if (!text.empty())
        ClipboardSetText(text);
}

void THtmlPane::SelectAll()
{
    FDocument->SelectionBegin = 0;
    FDocument->SelectionEnd = FDocument->Len;
    FPanel->Invalidate();
}

// --- assistive technology ----------------------------------------------------------------------------------------

CodePageString THtmlPane::AccessibleText() const
{
    if (!FDocumentText)
        FDocumentText = std::make_unique<TDocumentText>(DocumentText(*FDocument));
    return FDocumentText->Text;
}

std::vector<TAccessibleLink> THtmlPane::AccessibleLinks() const
{
    if (!FDocumentText)
        FDocumentText = std::make_unique<TDocumentText>(DocumentText(*FDocument));
    return FDocumentText->Links;
}

void THtmlPane::ActivateAccessibleLink(int index)
{
    const std::vector<TAccessibleLink> links = AccessibleLinks();
    if (index < 0 || index >= int(links.size()) || FBusy)
        return;
    HotSpotURL = links[std::size_t(index)].Target;
    HotSpotTarget.clear();
    HotSpotClick();
}

// --- properties ----------------------------------------------------------------------------------------------------

bool THtmlPane::ViewImages() const
{
    return FDocument->ShowImages;
}

void THtmlPane::SetViewImages(bool v)
{
    if (FBusy || v == FDocument->ShowImages)
        return;
    HourGlass hourGlass;
    FDocument->ShowImages = v;
    if (!FDocument->Empty()) {
        BusyScope busy(*this);
        Relayout();
    }
    FPanel->Invalidate();
}

void THtmlPane::SetDefBackground(TColor c)
{
    if (FBusy)
        return;
    FDefBackground = c;
    FDocument->SetBackground(c);
    FPanel->Invalidate();
}

void THtmlPane::SetBorderStyle(THTMLBorderStyle s)
{
    if (s == FBorderStyle)
        return;
    FBorderStyle = s;
    UpdateScrollBars();
    Invalidate();
}

void THtmlPane::SetHistoryMaxCount(int n)
{
    if (n < 0 || n == FHistoryMaxCount)
        return;
    if (n < FHistoryMaxCount)
        EraseHistory();
    FHistoryMaxCount = n;
}

void THtmlPane::SetDefFontName(const CodePageString& name)
{
    if (SameText(name, FDefFontName))
        return;
    FDefFontName = name;
    FontsChanged(true);
}

void THtmlPane::SetDefPreFontName(const CodePageString& name)
{
    if (SameText(name, FDefPreFontName))
        return;
    FDefPreFontName = name;
    FontsChanged(true);
}

void THtmlPane::SetDefFontSize(int size)
{
    FDefFontSize = std::max(6, size);
    FontsChanged(true);
}

void THtmlPane::SetDefFontColor(TColor c)
{
    FDefFontColor = c;
    FontsChanged(false);
}

void THtmlPane::SetDefHotSpotColor(TColor c)
{
    FDefHotSpotColor = c;
    FontsChanged(false);
}

// The document's fonts follow the defaults; a change of face or size lays
// the document out again.
void THtmlPane::FontsChanged(bool relayout)
{
    ApplyDefaultFonts();
    if (relayout && !FDocument->Empty() && !FBusy) {
        BusyScope busy(*this);
        Relayout();
    }
    FPanel->Invalidate();
}

void THtmlPane::SetImageCacheCount(int n)
{
    n = std::clamp(n, 0, 20);
    if (n == FImageCacheCount)
        return;
    FImageCacheCount = n;
    FImageCache.SetKeepLoads(n);
}

void THtmlPane::SetNoSelect(bool v)
{
    if (v == FNoSelect)
        return;
    FNoSelect = v;
    if (v) {
        FDocument->SelectionBegin = FDocument->SelectionEnd = 0;
        FPanel->Invalidate();
    }
}

void THtmlPane::SetScrollBars(TScrollStyle s)
{
    if (s == FScrollBars)
        return;
    FScrollBars = s;
    if (FBusy)
        return;
    BusyScope busy(*this);
    Relayout();
}

void THtmlPane::SetCharSet(int charSet)
{
    FCharSet = charSet;
    FontsChanged(true);
}

void THtmlPane::SetMarginHeight(int m)
{
    SetMargin(FMarginHeight, m);
}

void THtmlPane::SetMarginWidth(int m)
{
    SetMargin(FMarginWidth, m);
}

// Both margins take 0 to 50 pixels; a new one lays the document out again.
void THtmlPane::SetMargin(int& margin, int m)
{
    if (FBusy || m < 0 || m > 50 || m == margin)
        return;
    HourGlass hourGlass;
    margin = m;
    if (!FDocument->Empty()) {
        BusyScope busy(*this);
        Relayout();
    }
    FPanel->Invalidate();
}

void THtmlPane::SetServerRoot(const CodePageString& root)
{
    FServerRoot = Trim(root);
    if (!FServerRoot.empty() && (FServerRoot.back() == '/' || FServerRoot.back() == '\\'))
        FServerRoot.pop_back();
}
