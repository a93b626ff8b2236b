// What the form controls of a viewed document need from the document that
// holds them: its forms and its list of controls, the face of their font,
// the end of a control's keyboard focus, and the host of the viewer that
// shows the document, which places the controls and takes their events (a
// submission, a click, the focus). The document root implements it; tests
// implement it with a small recorder.
#pragma once

#include "classlib/Classes.h"
#include "htmlview/HtmlUtil.h"

class ThtmlForm;
class TFormControlObj;
class TFormControlList;
class TViewerHost;

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

    // The viewer's side: the window the controls are placed on and the
    // events of submissions, clicks and the keyboard focus.
    virtual TViewerHost& Viewer() = 0;
    // The document's default font face; edits, lists and text areas use it
    // at size 10.
    virtual CodePageString FontName() const = 0;

    // A control lost the keyboard focus: the document puts away the controls
    // that the last paint did not place (HideControlsNotOnScreen).
    virtual void FormControlExited(TFormControlObj* Obj) = 0;
};
