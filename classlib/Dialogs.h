// File dialogs. Execute shows the dialog modally; tests (and scripts) replace
// the dialog with FileDialogHook so that nothing waits for a person.
#pragma once

#include <functional>

#include "classlib/Classes.h"
#include "classlib/Strings.h"

class TOpenDialog : public TComponent {
public:
    explicit TOpenDialog(TComponent* AOwner) : TComponent(AOwner) {}

    // True when the user chose a file; FileName then holds it.
    virtual bool Execute();

    CodePageString FileName;
    CodePageString InitialDir;
    CodePageString Title;
    // "Description|*.htm;*.html|Other|*.*": pairs of description and masks.
    CodePageString Filter;
    int FilterIndex = 1;
    CodePageString DefaultExt;
    bool Save = false;  // a save dialog (TSaveDialog sets it)
};

class TSaveDialog : public TOpenDialog {
public:
    explicit TSaveDialog(TComponent* AOwner) : TOpenDialog(AOwner) { Save = true; }
};

// Answers every dialog in place of a person: sets FileName and returns
// whether a file was chosen. Empty: the real dialog.
std::function<bool(TOpenDialog& dialog)>& FileDialogHook();
