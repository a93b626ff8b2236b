// A see-through container that groups controls over the window background.
#pragma once

#include "classlib/Controls.h"

class TTranPanel : public TCustomControl {
public:
    explicit TTranPanel(TComponent* AOwner);

    // A one-pixel frame in the button-shadow colour; nothing else is painted.
    bool Border() const { return FBorder; }
    void SetBorder(bool value);

    TAccessibleRole AccessibleRole() const override { return TAccessibleRole::Grouping; }

protected:
    void Paint() override;

private:
    bool FBorder = false;
};

// The control style of a see-through container: no background fill, so the
// parent shows through, and it holds other controls.
constexpr unsigned TransparentContainerStyle(unsigned style)
{
    return (style & ~csOpaque) | csAcceptsControls;
}
