// A left click on a control, sent to its widget as the windowing system sends
// a user's press and release, so that the control's own mouse handling (and
// the error box for a handler that throws) takes part.
#pragma once

class TControl;

void ClickAt(TControl* control, int x, int y);
