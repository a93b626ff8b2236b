// Keys as a user presses them: sent to the control that has the focus, the
// way the windowing system delivers them, so that the toolkit's own Tab
// handling and the controls' key handlers both take part.
#pragma once

#include <string>
#include <vector>

class TForm;
class TWinControl;

// Shows the form and waits until it is the active window.
bool ShowActive(TForm* form);
// Presses and releases a key (a Qt::Key) on the focused control; shift holds Shift down.
void PressKey(int key, bool shift = false);
// Types text into the focused control, a character at a time.
void TypeText(const std::string& text);
// The component name of the control with the focus; "" when none has it.
std::string FocusedControl();
// The controls that Tab (or Shift+Tab) visits from the one that has the
// focus on, until the focus comes back to it, leaves the window or stays
// where it is: by their component names, the starting one first.
std::vector<std::string> TabWalk(bool backwards = false);
// The window's Tab order: the form is shown and activated, the focus put on
// first (or left where the window puts it), and Tab walked once round.
std::vector<std::string> TabOrderOf(TForm* form, TWinControl* first = nullptr);
