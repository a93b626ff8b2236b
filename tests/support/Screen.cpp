#include "support/Screen.h"

#include <QApplication>
#include <QBackingStore>
#include <QImage>
#include <QPaintEvent>
#include <QWidget>

#include "support/ControlWindows.h"

bool ShowsItsLatestState(TControl* control)
{
    QWidget* window = WindowOf(control)->window();
    QPaintDevice* device = window->backingStore() ? window->backingStore()->paintDevice() : nullptr;
    if (!device || device->devType() != QInternal::Image)
        return false;
    const QImage screen = static_cast<QImage*>(device)->copy(window->rect()).convertToFormat(QImage::Format_RGB32);
    return screen == window->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

TPaintCounter::TPaintCounter()
{
    qApp->installEventFilter(this);
}

TPaintCounter::~TPaintCounter()
{
    qApp->removeEventFilter(this);
}

QRegion TPaintCounter::PaintedOn(const TControl* control) const
{
    const auto found = painted.find(WindowOf(control));
    return found == painted.end() ? QRegion() : found->second;
}

bool TPaintCounter::eventFilter(QObject* object, QEvent* event)
{
    if (on && event->type() == QEvent::Paint) {
        ++paints[object];
        painted[object] += static_cast<QPaintEvent*>(event)->region();
    }
    return false;
}
