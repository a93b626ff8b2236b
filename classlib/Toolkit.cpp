#include "classlib/QtBridge.h"

#include <QApplication>
#include <QStyleFactory>
#include <QThreadPool>
#include <QTimer>
#include <QWidget>

#include <unordered_map>
#include <vector>

#include "classlib/Accessibility.h"
#include "classlib/Graphics.h"
#include "platform/Hooks.h"

namespace {

// Paints each window at most once a frame. A window whose contents change
// in every round of messages (a crawl, many requests answering) would be
// painted hundreds of times a second, more than any screen shows; a paint
// asked for within a frame of the last one is held and sent when the frame
// is over, so the window always ends up showing its latest state. A
// repaint asked for now (TControl::Repaint) is never held, nor is a paint
// while a job that holds the loop lets messages through
// (Application->ProcessMessages): it does so to show its state then.
class TPaintPacer : public QObject {
public:
    static constexpr std::uint32_t FrameMs = 16;

    void PaintNow(QWidget* widget)
    {
        const bool sending = FSending;
        FSending = true;
        widget->repaint();
        FSending = sending;
    }

    // Paints are not held until the matching Unpace; the held ones are sent now.
    void Unpace()
    {
        if (FUnpaced++ > 0)
            return;
        std::vector<QWidget*> held;
        for (const auto& [window, pace] : FWindows)
            if (pace.held)
                held.push_back(window);
        for (QWidget* window : held)
            SendHeld(window);
    }
    void Pace() { --FUnpaced; }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() != QEvent::UpdateRequest || FSending || FUnpaced > 0 || !object->isWidgetType())
            return false;
        auto* window = static_cast<QWidget*>(object);
        if (!window->isWindow())
            return false;
        auto [at, added] = FWindows.try_emplace(window);
        if (added)
            connect(window, &QObject::destroyed, this, [this, window] { FWindows.erase(window); });
        TPace& pace = at->second;
        const std::uint32_t now = GetTickCount();
        if (pace.held)
            return true;  // the held paint covers this one
        const std::uint32_t since = now - pace.last;
        if (!pace.painted || since >= FrameMs) {
            pace.painted = true;
            pace.last = now;
            return false;
        }
        pace.held = true;
        QTimer::singleShot(int(FrameMs - since), window, [this, window] { SendHeld(window); });
        return true;
    }

private:
    struct TPace {
        std::uint32_t last = 0;
        bool painted = false;
        bool held = false;
    };

    void SendHeld(QWidget* window)
    {
        // A held paint already sent by Unpace leaves its timer nothing to send.
        const auto at = FWindows.find(window);
        if (at == FWindows.end() || !at->second.held)
            return;
        at->second.held = false;
        at->second.last = GetTickCount();
        // The window's own paint request was held back, and the window asks
        // for no other until it has had one: this is it.
        QEvent request(QEvent::UpdateRequest);
        const bool sending = FSending;
        FSending = true;
        QCoreApplication::sendEvent(window, &request);
        FSending = sending;
    }

    std::unordered_map<QWidget*, TPace> FWindows;
    bool FSending = false;
    int FUnpaced = 0;
};

TPaintPacer* Pacer = nullptr;

}  // namespace

TUnpacedPaints::TUnpacedPaints()
{
    if (Pacer)
        Pacer->Unpace();
}

TUnpacedPaints::~TUnpacedPaints()
{
    if (Pacer)
        Pacer->Pace();
}

void RepaintNow(QWidget* widget)
{
    if (Pacer)
        Pacer->PaintNow(widget);
    else
        widget->repaint();
}

// Sets the toolkit up once, before the first window: the application object
// when the program has none yet, one style, and a palette of the classic desktop
// colours with the default dialog font, so that windows look alike on every
// machine; then the accessible interfaces of the controls we draw ourselves.
void EnsureToolkit()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    if (!qApp) {
        static int argc = 1;
        static char name[] = "Tenvarel";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
    QApplication::setQuitOnLastWindowClosed(false);
    // The raster painter hands the parts of a tall fill to the pooled threads
    // and waits for them all. Our windows' fills are small: one pooled thread
    // doing the parts in turn costs less than waking several, and start-up
    // creates one thread instead of one per core. So no long job may run on
    // the global pool: a paint would wait behind it. Such a job takes a pool
    // of its own.
    QThreadPool::globalInstance()->setMaxThreadCount(1);
    if (QStyle* fusion = QStyleFactory::create("Fusion"))
        QApplication::setStyle(fusion);
    QPalette pal;
    auto set = [&](QPalette::ColorRole role, TColor c) {
        pal.setColor(QPalette::All, role, ToQColor(c));
    };
    set(QPalette::Window, clBtnFace);
    set(QPalette::WindowText, clWindowText);
    set(QPalette::Base, clWindow);
    set(QPalette::AlternateBase, clBtnFace);
    set(QPalette::ToolTipBase, clInfoBk);
    set(QPalette::ToolTipText, clInfoText);
    set(QPalette::Text, clWindowText);
    set(QPalette::Button, clBtnFace);
    set(QPalette::ButtonText, clBtnText);
    set(QPalette::BrightText, clWhite);
    set(QPalette::Light, clBtnHighlight);
    set(QPalette::Midlight, cl3DLight);
    set(QPalette::Mid, clBtnShadow);
    set(QPalette::Dark, clBtnShadow);
    set(QPalette::Shadow, cl3DDkShadow);
    set(QPalette::Highlight, clHighlight);
    set(QPalette::HighlightedText, clHighlightText);
    set(QPalette::Link, clBlue);
    set(QPalette::PlaceholderText, clGrayText);
    pal.setColor(QPalette::Disabled, QPalette::WindowText, ToQColor(clGrayText));
    pal.setColor(QPalette::Disabled, QPalette::Text, ToQColor(clGrayText));
    pal.setColor(QPalette::Disabled, QPalette::ButtonText, ToQColor(clGrayText));
    QApplication::setPalette(pal);
    QFont base = ToQFont(TFont());
    QApplication::setFont(base);
    InstallAccessibility();
    Pacer = new TPaintPacer;
    Pacer->setParent(qApp);
    QObject::connect(Pacer, &QObject::destroyed, [] { Pacer = nullptr; });
    qApp->installEventFilter(Pacer);
}
