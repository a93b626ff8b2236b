// What a window shows on the screen, against what painting it afresh shows.
#pragma once

#include <QEvent>
#include <QObject>
#include <QRegion>

#include <map>

class TControl;

// Whether the window holding the control shows on the screen what painting
// it afresh shows: no part of it kept an old picture.
bool ShowsItsLatestState(TControl* control);

// Counts the paints of windows, and the parts they painted, while it is on.
struct TPaintCounter : QObject {
    TPaintCounter();
    ~TPaintCounter() override;
    bool eventFilter(QObject* object, QEvent* event) override;
    // What f gives, its paints not counted (pictures taken off the screen).
    template <class F>
    auto Unseen(F f)
    {
        on = false;
        auto result = f();
        on = true;
        return result;
    }

    // The parts of the control's own window painted while counted.
    QRegion PaintedOn(const TControl* control) const;

    std::map<QObject*, int> paints;
    std::map<QObject*, QRegion> painted;
    bool on = true;
};
