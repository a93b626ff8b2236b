// THtmlPane: the control that shows an HTML document. It owns the document,
// reads it from a string list or a file through the builder, lays it out
// for its width, paints it on its paint panel, scrolls it with its own bars,
// follows links, selects text with the mouse, keeps a history of the files
// it showed, and hands clicks on links, images and form controls to its
// events. It draws only through the class library's canvas. It is the host
// of its document (TViewerHost): it owns the document's image cache and
// takes the document's requests and events.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "classlib/BasicControls.h"
#include "classlib/Controls.h"
#include "htmlview/HtmlDocument.h"
#include "htmlview/HtmlBuild.h"
#include "htmlview/HtmlViewerHost.h"

class THtmlPane;
class TTimer;

enum THTMLBorderStyle { htFocused = 0, htNone = 1, htSingle = 2 };
// What a file load reads the file as.
enum THtmlFileKind { fkHTML = 0, fkText = 1, fkImage = 2 };

// A place in the document that survives a new layout: the section at the top
// of the window and how far into it the window starts. Section -1: none.
struct TReadingPosition {
    int Section = -1;
    int Offset = 0;
    friend bool operator==(const TReadingPosition&, const TReadingPosition&) = default;
};

// One entry of the history: where the reader left a file, and its kind.
class PositionObj : public TObject {
public:
    TReadingPosition Pos;
    THtmlFileKind FileType = fkHTML;
};

// What a right click was on: a link, an image (with the point in it), or both.
class TRightClickParameters : public TObject {
public:
    CodePageString LinkURL;
    CodePageString LinkFrameTarget;
    TImageObj* ClickedImage = nullptr;
    int ClickX = 0;
    int ClickY = 0;
};

// The surface the document is painted on; its mouse goes to the viewer.
class TPaintPanel : public TCustomControl {
public:
    TPaintPanel(TComponent* owner, THtmlPane* viewer);
    TAccessibleRole AccessibleRole() const override { return TAccessibleRole::Pane; }

protected:
    void Paint() override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void DblClick() override;

private:
    THtmlPane* FViewer;
};

// A scroll bar whose positions are the document's pixels.
class T32ScrollBar : public TScrollBar {
public:
    using TScrollBar::TScrollBar;
    // Sets position, page and range together, only when one of them changed.
    void SetScrollInfo(int position, int page, int min, int max);
};

// The document's text as a reader meets it: each section's characters in
// document order (table captions and cells in their reading order), a line
// break after each, no markup; inline images and controls left out. Links
// are the runs of text that carry one.
struct TDocumentText {
    CodePageString Text;
    std::vector<TAccessibleLink> Links;
};
TDocumentText DocumentText(const TSectionList& document);

using THotSpotEvent = std::function<void(TObject* Sender, const CodePageString& SRC)>;
using THotSpotClickEvent = std::function<void(TObject* Sender, const CodePageString& SRC, bool& Handled)>;
using TFormSubmitEvent = std::function<void(TObject* Sender, const CodePageString& Action, const CodePageString& Target,
                                            const CodePageString& EncType, const CodePageString& Method, TStringList* Results)>;
using TProcessingEvent = std::function<void(TObject* Sender, bool ProcessingOn)>;
using TMetaRefreshEvent = std::function<void(TObject* Sender, int Delay, const CodePageString& URL)>;
using TImageClickEvent =
    std::function<void(TObject* Sender, TObject* Obj, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TImageOverEvent = std::function<void(TObject* Sender, TObject* Obj, TShiftState Shift, int X, int Y)>;
using TRightClickEvent = std::function<void(TObject* Sender, TRightClickParameters* Parameters)>;

class THtmlPane : public TCustomControl, public TViewerHost {
public:
    explicit THtmlPane(TComponent* owner);
    ~THtmlPane() override;

    // --- loading ----------------------------------------------------------------------------------
    // Shows the lines as an HTML document. A document whose META asks for a
    // refresh raises OnMetaRefresh afterwards. "Open Comment at End of HTML
    // File" passes on, with the document read up to it shown.
    void LoadStrings(const TStrings& strings);
    void LoadStringsAs(const TStrings& strings, THtmlFileKind kind);
    // Load a file (a "#name" after the name jumps to that anchor) and record
    // the document left in the history. EInOutError "Can't locate file: "
    // for a missing file, with the document shown before left as it was.
    void LoadHtmlFile(const CodePageString& name);
    void LoadImagePage(const CodePageString& name);
    // Scrolls to the section of an anchor ("#" in front optional); false
    // when there is no such anchor.
    bool JumpToAnchor(const CodePageString& dest);
    virtual void ClearDocument();

    TReadingPosition SaveReadingPosition() const;
    void RestoreReadingPosition(const TReadingPosition& position);
    // The vertical scroll position, in document pixels.
    int Position() const;
    void SetPosition(int y);
    // A link's name as a file name: ServerRoot before a name from the root,
    // relative names against BASE or the loaded file's folder.
    CodePageString ExpandLinkFileName(const CodePageString& name) override;

    // The selected text, and the text put on the clipboard.
    CodePageString SelectedText();
    void CopyToClipboard();
    void SelectAll();

    // --- properties -------------------------------------------------------------------------------
    bool ViewImages() const;
    void SetViewImages(bool v);
    TColor DefBackground() const { return FDefBackground; }
    void SetDefBackground(TColor c);
    THTMLBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(THTMLBorderStyle s);
    int HistoryMaxCount() const { return FHistoryMaxCount; }
    void SetHistoryMaxCount(int n);
    CodePageString DefFontName() const { return FDefFontName; }
    void SetDefFontName(const CodePageString& name);
    CodePageString DefPreFontName() const { return FDefPreFontName; }
    void SetDefPreFontName(const CodePageString& name);
    int DefFontSize() const { return FDefFontSize; }
    void SetDefFontSize(int size);
    TColor DefFontColor() const { return FDefFontColor; }
    void SetDefFontColor(TColor c);
    TColor DefHotSpotColor() const { return FDefHotSpotColor; }
    void SetDefHotSpotColor(TColor c);
    int ImageCacheCount() const { return FImageCacheCount; }
    void SetImageCacheCount(int n);
    bool NoSelect() const { return FNoSelect; }
    void SetNoSelect(bool v);
    TScrollStyle ScrollBars() const { return FScrollBars; }
    void SetScrollBars(TScrollStyle s);
    int CharSet() const { return FCharSet; }
    void SetCharSet(int charSet);
    int MarginHeight() const { return FMarginHeight; }
    void SetMarginHeight(int m);
    int MarginWidth() const { return FMarginWidth; }
    void SetMarginWidth(int m);
    CodePageString ServerRoot() const { return FServerRoot; }
    void SetServerRoot(const CodePageString& root);

    // --- what the last load and the mouse left -----------------------------------------------------
    CodePageString DocumentTitle;
    CodePageString BaseAddress;
    CodePageString BaseFrameTarget;
    CodePageString LoadedFileName;  // expanded; empty after LoadStrings
    THtmlFileKind LoadedFileKind = fkHTML;
    CodePageString HotSpotURL;
    CodePageString HotSpotTarget;
    int DocWidth() const { return FDocWidth; }
    int DocHeight() const { return FDocHeight; }
    bool Busy() const { return FBusy; }
    // The history: index 0 is the newest entry, the document shown.
    TStringList VisitedFiles;
    TStringList VisitedTitles;
    TFreeList<PositionObj> VisitedPositions;
    int VisitIndex = 0;
    void EraseHistory();

    TSectionList* Document() const { return FDocument.get(); }
    TStringList* AnchorNames() const { return FAnchorNames.get(); }
    TPaintPanel* PaintPanel() override { return FPanel; }
    // The pictures of this viewer's documents, kept for ImageCacheCount loads.
    TStringBitmapList& ImageCache() override { return FImageCache; }
    T32ScrollBar* VScrollBar() const { return FVScrollBar; }
    TScrollBar* HScrollBar() const { return FHScrollBar; }
    int ScrollBarWidth() const { return FScrollBarWidth; }
    // The horizontal scroll position.
    int HScrollPos() const;

    // --- events -----------------------------------------------------------------------------------
    THotSpotEvent OnHotSpotCovered;
    THotSpotClickEvent OnHotSpotClick;
    TNotifyEvent OnHistoryChange;
    TProcessingEvent OnProcessing;
    TIncludeEvent OnInclude;
    TSoundEvent OnSoundRequest;
    TMetaEvent OnMeta;
    TMetaRefreshEvent OnMetaRefresh;
    TImageClickEvent OnImageClick;
    TImageOverEvent OnImageOver;
    TRightClickEvent OnRightClick;
    // The document asks for these through the viewer (TViewerHost).
    void SetOnImageRequest(TGetImageEvent handler);
    void SetOnScript(TScriptEvent handler);
    void SetOnObjectClick(TObjectClickEvent handler);
    // Runs once the click that submitted the form is over.
    void SetOnFormSubmit(TFormSubmitEvent handler);

    // --- assistive technology ---------------------------------------------------------------------------
    TAccessibleRole AccessibleRole() const override { return TAccessibleRole::Document; }
    CodePageString AccessibleName() const override { return DocumentTitle; }
    bool HasAccessibleText() const override { return true; }
    CodePageString AccessibleText() const override;
    std::vector<TAccessibleLink> AccessibleLinks() const override;
    void ActivateAccessibleLink(int index) override;

    // --- the panel's operations ---------------------------------------------------------------------
    void PaintDocument(TCanvas* canvas);
    void HtmlMouseDown(TMouseButton button, TShiftState shift, int x, int y);
    void HtmlMouseMove(TShiftState shift, int x, int y);
    void HtmlMouseUp(TMouseButton button, TShiftState shift, int x, int y);
    void HtmlDblClick();
    // A click on a link: OnHotSpotClick first, then an anchor, an HTML page
    // or a picture. URL and target are those of HotSpotURL and HotSpotTarget.
    virtual void HotSpotClick();

    // --- what the document asks of its viewer (TViewerHost) -----------------------------------------
    TObject* EventSender() override { return this; }
    const TGetImageEvent& ImageRequest() const override { return FOnImageRequest; }
    void BackgroundChanged(TColor color) override;
    const TScriptEvent& ScriptHandler() const override { return FOnScript; }
    bool FormSubmitAssigned() const override { return bool(FOnFormSubmit); }
    void FormSubmit(const CodePageString& action, const CodePageString& target, const CodePageString& encType,
                    const CodePageString& method, std::unique_ptr<TStringList> results) override;
    void ObjectClick(TFormControlObj* obj, const CodePageString& onClick) override;
    void FormControlEntered(TFormControlObj* obj) override;

    // The canvas that layout measures with (tests set one of fixed metrics).
    void SetLayoutCanvas(TCanvas* canvas) { FLayoutCanvas = canvas; }

protected:
    void Paint() override;
    void Resize() override;
    void KeyDown(WORD& key, TShiftState shift) override;
    void DoEnter() override;
    void DoExit() override;
    void LoadFile(const CodePageString& name, THtmlFileKind kind);
    void RecordHistory(const CodePageString& fileName, const CodePageString& title, THtmlFileKind kind,
                       const TReadingPosition& position);

private:
    struct BusyScope;
    struct PendingSubmission;
    TCanvas* LayoutCanvas() const;
    void SetBusy(bool busy);
    void ResetDocument();
    void FinishLoad(const THtmlParseInfo& info);
    void LayOutDocument();
    void UpdateScrollBars();
    // Layout again, keeping the reading position.
    void Relayout();
    void ApplyDefaultFonts();
    void FontsChanged(bool relayout);
    void SetMargin(int& margin, int m);
    void LoadAndRecord(const CodePageString& name, THtmlFileKind kind);
    void ScrollTo(int y);
    void SetHScroll(int x);
    int PanelHeight() const;
    int MaxScroll() const;
    int DocumentY(int panelY) const;
    int DocumentX(int panelX) const;
    // The character position under a panel point, -1 when none.
    int PositionAt(int x, int y);
    void ExtendSelection(int x, int y);
    void AutoScrollStep();
    void MetaHandler(TObject* sender, const CodePageString& httpEq, const CodePageString& name, const CodePageString& content);
    void StopSound();
    bool LinkAt(int x, int y, TUrlTarget& link, TFormControlObj*& control);
    THtmlParseEvents ParseEvents();

    // Declared before the document, whose pictures are its entries.
    TStringBitmapList FImageCache;
    std::unique_ptr<TSectionList> FDocument;
    std::unique_ptr<TStringList> FAnchorNames;
    TPaintPanel* FPanel = nullptr;
    T32ScrollBar* FVScrollBar = nullptr;
    TScrollBar* FHScrollBar = nullptr;
    std::unique_ptr<TTimer> FAutoScrollTimer;
    TCanvas* FLayoutCanvas = nullptr;
    std::uintptr_t FMessageWindow = 0;
    std::unique_ptr<PendingSubmission> FPendingSubmit;
    TFormSubmitEvent FOnFormSubmit;
    TObjectClickEvent FOnObjectClick;
    TGetImageEvent FOnImageRequest;
    TScriptEvent FOnScript;

    int FDocWidth = 0;
    int FDocHeight = 0;
    int FScrollBarWidth = 16;
    bool FBusy = false;
    bool FLayingOut = false;
    int FCursorCharPos = 0;
    int FSelectionAnchor = -1;
    bool FLeftButtonDown = false;
    bool FSelecting = false;
    bool FHotSpotClicked = false;
    bool FAutoScrolling = false;
    int FLastWidth = 0;
    int FRefreshDelay = 0;
    CodePageString FRefreshURL;
    TPoint FLastMouse;
    // The accessible text and links, made once per document.
    mutable std::unique_ptr<TDocumentText> FDocumentText;

    TColor FDefBackground = clBtnFace;
    THTMLBorderStyle FBorderStyle = htFocused;
    int FHistoryMaxCount = 0;
    CodePageString FDefFontName = "Times New Roman";
    CodePageString FDefPreFontName = "Courier New";
    int FDefFontSize = 12;
    TColor FDefFontColor = clBtnText;
    TColor FDefHotSpotColor = clBlue;
    int FImageCacheCount = 5;
    bool FNoSelect = false;
    TScrollStyle FScrollBars = ssBoth;
    int FCharSet = DEFAULT_CHARSET;
    int FMarginHeight = 5;
    int FMarginWidth = 10;
    CodePageString FServerRoot;
};

