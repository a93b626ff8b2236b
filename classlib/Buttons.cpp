#include "classlib/Buttons.h"

#include <QIcon>
#include <QPixmap>
#include <QToolButton>

#include "classlib/QtBridge.h"

TSpeedButton::TSpeedButton(TComponent* AOwner) : TGraphicControl(AOwner), FGlyph(std::make_unique<TBitmap>())
{
    auto* button = new QToolButton;
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    ConnectControl(this, button, &QToolButton::clicked, [this](bool) {
        if (!Destroying())
            SafeCall([this] { Click(); });
    });
    AttachWidget(button);
    FGlyph->OnChange = [this](TObject*) { ApplyGlyph(); };
    SetBounds(0, 0, 23, 22);
}

TSpeedButton::~TSpeedButton()
{
    SetDestroying();
    FGlyph->OnChange = nullptr;
}

void TSpeedButton::ApplyText()
{
    auto* button = static_cast<QToolButton*>(OwnWidget());
    button->setText(ToQString(FText));
    button->setToolButtonStyle(FGlyph->Empty() ? Qt::ToolButtonTextOnly
                               : FText.empty() ? Qt::ToolButtonIconOnly
                                               : Qt::ToolButtonTextBesideIcon);
}

void TSpeedButton::ApplyGlyph()
{
    auto* button = static_cast<QToolButton*>(OwnWidget());
    if (FGlyph->Empty()) {
        button->setIcon(QIcon());
    } else {
        const int w = FGlyph->Width() / std::max(1, FNumGlyphs);
        QImage img = FGlyph->Image().image.copy(0, 0, w, FGlyph->Height());
        // The bottom-left pixel's colour is the glyph's background.
        const QRgb key = img.pixel(0, img.height() - 1) & 0xFFFFFF;
        img = img.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < img.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < img.width(); ++x)
                if ((line[x] & 0xFFFFFF) == key)
                    line[x] = 0;
        }
        button->setIcon(QIcon(QPixmap::fromImage(img)));
        button->setIconSize(img.size());
    }
    ApplyText();
}

void TSpeedButton::SetGlyph(const TBitmap* glyph)
{
    if (glyph)
        FGlyph->Assign(*glyph);
    else
        FGlyph->SetSize(0, 0);
    ApplyGlyph();
}

void TSpeedButton::SetNumGlyphs(int n)
{
    FNumGlyphs = std::clamp(n, 1, 4);
    ApplyGlyph();
}

void TSpeedButton::SetFlat(bool v)
{
    FFlat = v;
    static_cast<QToolButton*>(OwnWidget())->setAutoRaise(v);
}

void TSpeedButton::SetGroupIndex(int v)
{
    FGroupIndex = v;
    static_cast<QToolButton*>(OwnWidget())->setCheckable(v > 0);
}

void TSpeedButton::SetDown(bool v)
{
    if (FGroupIndex == 0)
        v = false;
    FDown = v;
    auto* button = static_cast<QToolButton*>(OwnWidget());
    const QSignalBlocker block(button);
    button->setChecked(v);
    if (v && Parent()) {
        for (int i = 0; i < Parent()->ControlCount(); ++i)
            if (auto* other = dynamic_cast<TSpeedButton*>(Parent()->Controls(i));
                other && other != this && other->FGroupIndex == FGroupIndex && other->FDown)
                other->SetDown(false);
    }
}

void TSpeedButton::Click()
{
    if (FGroupIndex > 0)
        SetDown(FDown && FAllowAllUp ? false : true);
    TGraphicControl::Click();
}
