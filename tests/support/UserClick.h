// The mouse on a control, sent to its widget as the windowing system sends a
// user's moves, presses and releases, so that the control's own mouse
// handling (and the error box for a handler that throws) takes part.
#pragma once

class TControl;
class TCustomListBox;

// A left click: the button pressed and released at one point of the control.
void ClickAt(TControl* control, int x, int y);
// The left button pressed, or released, at a point of the control (a release
// outside it has a point outside its bounds).
void PressAt(TControl* control, int x, int y);
void ReleaseAt(TControl* control, int x, int y);
// A click on a line of a list box: its view makes that line the current one
// (-1: none), which the list takes as the user's click when it changes.
void ClickLine(TCustomListBox* list, int row);
// The pointer coming onto the control at a point, and leaving it.
void PointerEnters(TControl* control, int x, int y);
void PointerLeaves(TControl* control);
