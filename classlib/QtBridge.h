// Internal to the class library: the meeting point with the windowing system.
// Only classlib/*.cpp include this header, besides the test support (reaching
// a control's window for what tests check of it) and the tests of the
// functions below. Text crosses the boundary through platform/QtText.h, as
// Windows-1252.
#pragma once

#include <QColor>
#include <QCursor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include <optional>
#include <vector>

#include "classlib/Controls.h"
#include "classlib/Graphics.h"
#include "platform/QtText.h"

QColor ToQColor(TColor color);
TColor FromQColor(const QColor& color);
QFont ToQFont(const TFont& font);
// Text as the font shows it: in the code page, or in the symbol font's own
// encoding for the font named "Symbol" (one character per byte either way).
QString CanvasText(const TFont& font, const CodePageString& text);
// The height of a line of text: the ascent and the descent, each rounded up.
int FontCellHeight(const QFont& font);
inline QRect ToQRect(const TRect& r) { return QRect(r.Left, r.Top, r.Width(), r.Height()); }
inline TRect FromQRect(const QRect& r) { return Bounds(r.x(), r.y(), r.width(), r.height()); }
Qt::CursorShape ToQtCursor(TCursor cursor);
// A cursor by number: the application's own pictures (positive numbers,
// registered with SetCustomCursor) and the standard shapes.
QCursor ToQCursor(TCursor cursor);
void SetCustomCursor(TCursor cursor, const QCursor& shape);
bool HasCustomCursor(TCursor cursor);

// The canvas over a QPainter. The painter belongs to the caller and must
// outlive the canvas.
class TQtCanvas : public TCanvas {
public:
    explicit TQtCanvas(QPainter* painter, const TRect& clip);
    ~TQtCanvas() override;

    TSize TextExtent(const CodePageString& text) override;
    TTextMetric TextMetrics() override;
    void TextOut(int x, int y, const CodePageString& text) override;
    void TextRect(const TRect& rect, int x, int y, const CodePageString& text) override;
    void FillRect(const TRect& rect) override;
    void FrameRect(const TRect& rect) override;
    void Rectangle(int x1, int y1, int x2, int y2) override;
    void Ellipse(int x1, int y1, int x2, int y2) override;
    void Polygon(const TPoint* points, int count) override;
    void Polyline(const TPoint* points, int count) override;
    void LineTo(int x, int y) override;
    void DrawFocusRect(const TRect& rect) override;
    void DrawBitmap(const TRect& dest, const TBitmap& bitmap, const TRect& source, bool transparent,
                    TColor transparentColor) override;
    TColor Pixel(int x, int y) override;
    void SetPixel(int x, int y, TColor color) override;
    TRect ClipRect() override;
    TRect IntersectClip(const TRect& rect) override;
    void RestoreClip(const TRect& saved) override;

    QPainter* Painter() const { return FPainter; }
    // The image painted on, when the painter paints on one (for Pixel).
    void SetImage(QImage* image) { FImage = image; }

protected:
    // Called before every drawing operation; a canvas that opens its painter
    // lazily does it here.
    virtual void Prepare() {}
    void SetPainter(QPainter* painter) { FPainter = painter; }

private:
    void SyncFont();
    void SyncPen();
    void SyncBrush();
    // Whether the pen draws lines one solid pixel wide, in plain copy mode,
    // on a painter that only shifts by whole pixels.
    bool IsPlainPixelPen() const;
    void DrawTextCell(int x, int y, const CodePageString& text, const TRect* clip);

    QPainter* FPainter;
    QImage* FImage = nullptr;
    TRect FClip;
    unsigned FFontSerial = ~0u;
    TFont FSyncedFont;
    bool FHasSyncedFont = false;
    QFont FQFont;
    int FAscent = 0;
    int FCellHeight = 0;
    std::optional<CodePageString> FMeasuredText;  // in FQFont
    int FMeasuredWidth = 0;
};

// A canvas over a one-pixel image, for measuring text outside painting.
std::unique_ptr<TCanvas> CreateMeasureCanvas();

// The image behind a TBitmap.
struct TBitmapImage {
    QImage image;  // Format_ARGB32
};

// Runs a handler of the system's code from the windowing system's event
// dispatch: an exception is shown in the application's error box instead of
// unwinding through the toolkit.
template <class F>
void SafeCall(F&& f);
void ShowHandlerException(const std::exception* e);
template <class F>
void SafeCall(F&& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        ShowHandlerException(&e);
    } catch (...) {
        ShowHandlerException(nullptr);
    }
}

// Creates the QApplication when there is none and sets up style, palette,
// fonts and accessibility (once).
void EnsureToolkit();

// Paints the widget before returning, however recently its window was painted.
void RepaintNow(QWidget* widget);

// While one lives, windows are painted whenever they ask, not at most once a
// frame, and paints held back until then are sent when it is made.
class TUnpacedPaints {
public:
    TUnpacedPaints();
    ~TUnpacedPaints();
    TUnpacedPaints(const TUnpacedPaints&) = delete;
    TUnpacedPaints& operator=(const TUnpacedPaints&) = delete;
};

// Gives a scrolled view scroll bars that paint again only when what they show
// changes (see BasicControls.cpp).
class QAbstractScrollArea;
void UseSteadyScrollBars(QAbstractScrollArea* area);

// The paint surface of TGraphicControl and TCustomControl.
QWidget* CreatePaintWidget(TControl* control);
bool IsPaintWidget(const QObject* object);

// The control behind a window, or nullptr.
TControl* ControlOfWidget(const QObject* widget);

// Per-control windowing state.
struct TControlImpl {
    QPointer<QWidget> widget;  // the control's window
    QPointer<QWidget> client;  // where children go (TWinControl)
    QObject* filter = nullptr; // the event glue installed on the window
    std::vector<QMetaObject::Connection> connections;  // cut by SetDestroying
};

// The window behind a control; nullptr once it is gone. Whoever holds a
// window may read it, or any window under it: every text the controls keep
// back goes in first (TControl::DefersText).
inline QWidget* WidgetOf(const TControl* control)
{
    TControl::FlushTexts();
    return control->ControlImpl()->widget;
}
// The window a control's children are placed in: its inner client window when
// it has one, else its own.
inline QWidget* ClientWidgetOf(const TWinControl* control)
{
    const TControlImpl* impl = control->ControlImpl();
    return impl->client ? impl->client.data() : impl->widget.data();
}
// The action that stands for a menu item in its menu (Menus.cpp).
class TMenuItem;
class QAction;
QAction* ActionOf(const TMenuItem* item);

// Sends the input of a window (the control's own, or one inside it) to the
// control through the control's event filter, and maps the window to it.
void RouteInput(TControl* control, TControlImpl& impl, QWidget* widget);
// Drops a window that is going away from the map of windows to controls.
void ForgetWidget(const QObject* widget);

// Connects a window signal to a handler of the control; the connection is cut
// when the control starts to go away.
template <class Sender, class Signal, class Handler>
void ConnectControl(TControl* control, Sender* sender, Signal signal, Handler handler)
{
    control->ControlImpl()->connections.push_back(QObject::connect(sender, signal, sender, std::move(handler)));
}

// Turns the toolkit's modifiers and buttons into a shift state.
TShiftState ShiftFromQt(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons);
// Key translation both ways; 0 when there is no virtual key for it.
WORD VirtualKeyFromQt(int qtKey);
