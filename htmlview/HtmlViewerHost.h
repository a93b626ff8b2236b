// TViewerHost: everything a document needs from the viewer that shows it,
// in one place. The document holds one host and asks it for the window its
// form controls and animations live on, the cache its pictures come from,
// the viewer's image request and script handler, the file name of a link,
// and it tells it of a new background colour and of what its form controls
// do. THtmlPane is the host of its document; TStandaloneHost serves a
// document that no viewer shows (tools, fuzz targets, tests).
//
// The host outlives its document: the document's pictures are entries of the
// host's cache, released as the document frees them.
#pragma once

#include <functional>
#include <memory>

#include "classlib/Classes.h"
#include "classlib/Graphics.h"
#include "htmlview/HtmlImages.h"

class TFormControlObj;
class TWinControl;

// A SCRIPT element's text, its lines ended by CR LF; the text is the handler's.
using TScriptEvent = std::function<void(TObject* sender, const CodePageString& language, CodePageString script)>;
// The viewer's OnObjectClick: the viewer, the form control and its ONCLICK text.
using TObjectClickEvent = std::function<void(TObject* sender, TFormControlObj* obj, const CodePageString& onClick)>;

class TViewerHost {
public:
    virtual ~TViewerHost() = default;

    // The sender of the viewer's events (the viewer itself); none for a
    // document that no viewer shows.
    virtual TObject* EventSender() = 0;
    // The window the form controls are placed on and animated images
    // repaint (the viewer's paint panel). None: the controls have no parent
    // and are never shown.
    virtual TWinControl* PaintPanel() = 0;

    // --- pictures ---------------------------------------------------------------------
    // The cache the document's pictures are fetched from and held in.
    virtual TStringBitmapList& ImageCache() = 0;
    // The viewer's OnImageRequest; empty when it has none, and then pictures
    // are read from the files that ExpandLinkFileName names.
    virtual const TGetImageEvent& ImageRequest() const = 0;
    // A link's or a picture's name as a file name.
    virtual CodePageString ExpandLinkFileName(const CodePageString& name) = 0;
    // The document's background colour changed (a BODY BGCOLOR, the
    // viewer's default).
    virtual void BackgroundChanged(TColor color) = 0;

    // --- the builder --------------------------------------------------------------------
    // The viewer's OnScript; empty when it has none, and then a SCRIPT's
    // text is skipped.
    virtual const TScriptEvent& ScriptHandler() const = 0;

    // --- form controls ------------------------------------------------------------------
    // Whether the viewer has an OnFormSubmit handler; without one nothing is
    // submitted.
    virtual bool FormSubmitAssigned() const = 0;
    // A form's submission, its name=value pairs in results. The viewer keeps
    // them and raises OnFormSubmit once the click that caused it is over: the
    // call runs inside a control's own event and must not free the document.
    virtual void FormSubmit(const CodePageString& action, const CodePageString& target, const CodePageString& encType,
                            const CodePageString& method, std::unique_ptr<TStringList> results) = 0;
    // The viewer's OnObjectClick, for a click on a button, a check box or a
    // radio button, with the control's ONCLICK text; nothing when the viewer
    // has no handler. It runs inside the control's event: it must not free
    // the document.
    virtual void ObjectClick(TFormControlObj* obj, const CodePageString& onClick) = 0;
    // A control got the keyboard focus: the viewer scrolls it into view.
    virtual void FormControlEntered(TFormControlObj* obj) = 0;
};

// The host of a document that no viewer shows. It owns the document's image
// cache; each request goes to the handler set here, and one not set does
// nothing (no image request: pictures are read from the files they name;
// no submit handler: forms submit nothing).
class TStandaloneHost : public TViewerHost {
public:
    using TFormSubmitHandler =
        std::function<void(const CodePageString& action, const CodePageString& target, const CodePageString& encType,
                           const CodePageString& method, std::unique_ptr<TStringList> results)>;

    TObject* Sender = nullptr;
    TWinControl* Panel = nullptr;
    TStringBitmapList Cache;
    TGetImageEvent GetImage;
    TScriptEvent OnScript;
    TFormSubmitHandler OnFormSubmit;
    TObjectClickEvent OnObjectClick;
    std::function<void(TFormControlObj* obj)> OnFormControlEnter;

    TObject* EventSender() override { return Sender; }
    TWinControl* PaintPanel() override { return Panel; }
    TStringBitmapList& ImageCache() override { return Cache; }
    const TGetImageEvent& ImageRequest() const override { return GetImage; }
    CodePageString ExpandLinkFileName(const CodePageString& name) override { return name; }
    void BackgroundChanged(TColor /*color*/) override {}
    const TScriptEvent& ScriptHandler() const override { return OnScript; }
    bool FormSubmitAssigned() const override { return bool(OnFormSubmit); }
    void FormSubmit(const CodePageString& action, const CodePageString& target, const CodePageString& encType,
                    const CodePageString& method, std::unique_ptr<TStringList> results) override
    {
        if (OnFormSubmit)
            OnFormSubmit(action, target, encType, method, std::move(results));
    }
    void ObjectClick(TFormControlObj* obj, const CodePageString& onClick) override
    {
        if (OnObjectClick)
            OnObjectClick(Sender, obj, onClick);
    }
    void FormControlEntered(TFormControlObj* obj) override
    {
        if (OnFormControlEnter)
            OnFormControlEnter(obj);
    }
};
