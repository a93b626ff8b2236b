// Assistive technology: every control can be found by its component name.
//
// Standard controls carry their component Name as accessible description;
// controls that draw themselves get an accessible interface of their own,
// built from TControl's Accessible* members (role, name, value, state,
// actions). Internal to the class library except for the tree walk that
// tests and scripts use.
#pragma once

#include <vector>

#include "classlib/Controls.h"

// Installs the accessible interfaces (once; the first control does it).
void InstallAccessibility();
// Puts the control's Name into its window's accessible description.
void ApplyAccessibleDescription(TControl* control);
// The same for a whole window and everything in it, and names each edit and
// list after the label beside it (forms do this when they are shown).
void PrepareAccessibility(TControl* root);
// Tells assistive technology that a control's name, value or state changed.
void NotifyAccessibleChange(TControl* control, TAccessibleChange what);

// One node of the accessible tree as assistive technology sees it.
struct TAccessibleNode {
    CodePageString Role;         // the toolkit's role name ("PushButton", "Table", "Cell", ...)
    CodePageString Name;
    CodePageString Description;  // the component name
    CodePageString Value;
    std::vector<CodePageString> Actions;
    bool Checked = false;
    int Depth = 0;
};
// The text a control offers through the accessible text interface; empty
// when it offers none.
CodePageString AccessibleTextOf(TControl* control);
// Performs an action of the first node of that name in the accessible tree
// under root; false when there is no such node or action.
bool DoAccessibleActionNamed(TControl* root, const CodePageString& name, const CodePageString& action);
// Walks the accessible tree under a control's window, depth first.
std::vector<TAccessibleNode> WalkAccessibleTree(TControl* root, int maxNodes = 100000);
