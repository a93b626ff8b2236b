// What the form controls of a viewed document need from the document that
// holds them: its forms and its list of controls, the window the controls
// are placed on, the face of their font, and the viewer's events for a
// submission, a click on a control and the keyboard focus. The document root
// implements it; tests implement it with a small recorder.
#pragma once

#include <memory>

#include "classlib/Classes.h"
#include "htmlview/HtmlUtil.h"

class ThtmlForm;
class TFormControlObj;
class TFormControlList;
class TWinControl;

class TFormDocumentHost {
public:
    virtual ~TFormDocumentHost() = default;

    // The document's forms, owned here. Every control is freed with its form
    // and takes itself out of FormControlList() as it goes, so the host
    // empties this list while FormControlList() is still alive.
    virtual TFreeList<ThtmlForm>& FormList() = 0;
    // Every form control of the document in document order; the controls
    // belong to their forms, this list only refers to them.
    virtual TFormControlList& FormControlList() = 0;

    // The window the controls are placed on (the viewer's paint panel). A
    // document without a viewer answers none: its controls have no parent
    // and are never shown.
    virtual TWinControl* PaintPanel() = 0;
    // The document's default font face; edits, lists and text areas use it
    // at size 10.
    virtual CodePageString FontName() const = 0;

    // Whether the viewer has an OnFormSubmit handler; without one nothing is
    // submitted.
    virtual bool FormSubmitAssigned() const = 0;
    // A form's submission, its name=value pairs in Results. The viewer keeps
    // them and raises OnFormSubmit once the click that caused it is over: the
    // call runs inside a control's own event and must not free the document.
    virtual void FormSubmit(const CodePageString& Action, const CodePageString& Target, const CodePageString& EncType,
                            const CodePageString& Method, std::unique_ptr<TStringList> Results) = 0;
    // The viewer's OnObjectClick, for a click on a button, a check box or a
    // radio button, with the control's ONCLICK text; nothing when the viewer
    // has no handler. It runs inside the control's event: it must not free
    // the document.
    virtual void ObjectClick(TFormControlObj* Obj, const CodePageString& OnClick) = 0;

    // A control got the keyboard focus: the viewer scrolls it into view.
    virtual void FormControlEntered(TFormControlObj* Obj) = 0;
    // A control lost the keyboard focus: the document puts away the controls
    // that the last paint did not place (HideControlsNotOnScreen).
    virtual void FormControlExited(TFormControlObj* Obj) = 0;
};
