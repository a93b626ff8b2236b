#include "classlib/QtBridge.h"

#include <QApplication>
#include <QStyleFactory>

#include "classlib/Accessibility.h"
#include "classlib/Graphics.h"

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
}
