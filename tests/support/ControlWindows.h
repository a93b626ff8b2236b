// The windowing system's side of controls and menu items, for the checks
// that only it can answer: what the toolkit's views, menus and scroll bars
// hold, and what assistive technology reads. The class library keeps these
// objects to itself; tests reach them through here alone. Where a test does
// what a user does (a click, a key, a look at the screen), it goes through
// UserClick.h, Keyboard.h or Screen.h instead.
#pragma once

class QAccessibleInterface;
class QAction;
class QImage;
class QWidget;
class TControl;
class TMenuItem;

// The window behind a control; nullptr once it is gone.
QWidget* WindowOf(const TControl* control);
// The action that stands for a menu item in its menu.
QAction* MenuActionOf(const TMenuItem* item);
// What assistive technology finds at a control: the accessible node of its
// window, nullptr when it has none.
QAccessibleInterface* AccessibleOf(const TControl* control);
// The control as it paints itself now, its children included.
QImage PictureOf(const TControl* control);
