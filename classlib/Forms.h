// Forms, the application object and the screen.
//
// A form is a top-level window. Its constructor builds its components; the
// application creates it with CreateForm, which runs OnCreate once the
// constructor is done (an exception there goes to the error box and the form
// is still created). Left, Top, Width and Height are the outer frame, as on
// the desktop the system was designed for; ClientWidth and ClientHeight are
// what is left inside the frame, the caption and the main menu.
#pragma once

#include <functional>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Controls.h"

class TMainMenu;
class QEventLoop;

enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter, poDesktopCenter,
                 poMainFormCenter, poOwnerFormCenter };
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
using TFormBorderStyle = TBorderStyle;

using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = 1;
constexpr TModalResult mrCancel = 2;
constexpr TModalResult mrAbort = 3;
constexpr TModalResult mrRetry = 4;
constexpr TModalResult mrIgnore = 5;
constexpr TModalResult mrYes = 6;
constexpr TModalResult mrNo = 7;
constexpr TModalResult mrAll = 8;

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

class TForm : public TWinControl {
public:
    explicit TForm(TComponent* AOwner);
    ~TForm() override;

    // Runs OnCreate; CreateForm calls it after the constructor.
    virtual void AfterConstruction();
    // Runs OnDestroy; whoever frees a form calls it first (the application
    // and Release do).
    virtual void BeforeDestruction();

    TFormBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TFormBorderStyle style);
    TPosition Position() const { return FPosition; }
    void SetPosition(TPosition position) { FPosition = position; }
    TWindowState WindowState() const { return FWindowState; }
    void SetWindowState(TWindowState state);
    TFormStyle FormStyle() const { return FFormStyle; }
    void SetFormStyle(TFormStyle style);
    bool KeyPreview() const { return FKeyPreview; }
    void SetKeyPreview(bool v) { FKeyPreview = v; }
    TMainMenu* Menu() const { return FMenu; }
    void SetMenu(TMainMenu* menu);
    TWinControl* ActiveControl() const;
    void SetActiveControl(TWinControl* control);
    bool Active() const;

    int ClientWidth() const override;
    int ClientHeight() const override;
    void SetClientWidth(int w) override;
    void SetClientHeight(int h) override;
    // Frame sizes for the border style: each side, and the caption bar.
    int FrameWidth() const;
    int CaptionHeight() const;
    int MenuHeight() const;

    // Show and Hide (from TControl) show and hide the window; Close asks
    // OnCloseQuery and OnClose, and ends the program for the main form.
    void Close();
    bool CloseQuery();
    // Shows the form modally and runs a nested loop until ModalResult is set
    // (Close sets mrCancel). Returns the ModalResult.
    TModalResult ShowModal();
    TModalResult ModalResult() const { return FModalResult; }
    void SetModalResult(TModalResult result);
    bool Modal() const { return FModalLoop != nullptr; }
    // Frees the form once the current message is handled.
    void Release();

    TNotifyEvent OnCreate;
    TNotifyEvent OnDestroy;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;
    TCloseEvent OnClose;
    TCloseQueryEvent OnCloseQuery;

    // Internal: the window asked to close, moved, resized or (de)activated.
    void HandleCloseRequest();
    void HandleWindowResized(int clientWidth, int clientHeight);
    void HandleWindowMoved(int left, int top);
    void HandleActivation(bool active);

protected:
    void ApplyGeometry() override;
    void ApplyVisibility() override;
    void ApplyText() override;
    void ApplyColor() override;
    bool KeyPreviewOn() const override { return FKeyPreview; }
    virtual void DoShow();
    virtual void DoHide();
    virtual void DoClose(TCloseAction& action);
    // Forgets the menu when it is freed (a form's own menu goes with its
    // components, before the form's destructor runs).
    void Notification(TComponent* component, TOperation operation) override;

private:
    void LayoutFrame();
    void PlaceOnFirstShow();
    void RebuildMenuBar();
    TFormBorderStyle FBorderStyle = bsSizeable;
    TPosition FPosition = poDesigned;
    TWindowState FWindowState = wsNormal;
    TFormStyle FFormStyle = fsNormal;
    bool FKeyPreview = false;
    bool FShownOnce = false;
    bool FPlacing = false;
    bool FDestroyCalled = false;
    TMainMenu* FMenu = nullptr;
    TWinControl* FActiveControl = nullptr;
    TModalResult FModalResult = mrNone;
    QEventLoop* FModalLoop = nullptr;
    QWidget* FMenuBar = nullptr;
};

using TExceptionEvent = std::function<void(TObject* Sender, const std::exception* E)>;

class TApplication : public TComponent {
public:
    explicit TApplication(TComponent* AOwner);
    ~TApplication() override;

    // Prepares the windowing system (the program's first call), and sends
    // the exceptions of queued handlers (timers, sockets) to HandleException.
    void Initialize();
    // Creates a form owned by the application, stores it in ref and runs its
    // OnCreate; the first form created becomes the main form.
    template <class T>
    void CreateForm(T*& ref)
    {
        T* form = new T(this);
        ref = form;
        FormCreated(form);
    }
    // Shows the main form and runs the message loop until Terminate.
    void Run();
    void Terminate();
    bool Terminated() const { return FTerminated; }
    // Runs whatever messages are pending, and returns.
    void ProcessMessages();
    // Waits for at least one message, then runs what is pending.
    void HandleMessage();

    TForm* MainForm() const { return FMainForm; }
    CodePageString Title() const { return FTitle; }
    void SetTitle(const CodePageString& title);
    bool ShowMainForm() const { return FShowMainForm; }
    void SetShowMainForm(bool v) { FShowMainForm = v; }
    // The program file's full path.
    CodePageString ExeName() const;

    // The standard error box with the exception's message (a final period
    // is added when the message ends in anything above '.', as the class
    // library does). Goes through the error-box hook.
    void ShowException(const std::exception* e);
    // What a handler's escaping exception comes to: OnException, or the box.
    void HandleException(TObject* sender, const std::exception* e);
    // A message box through the message-box hook; returns IDOK, IDYES, ...
    int MessageBox(const CodePageString& text, const CodePageString& caption, unsigned flags);

    TExceptionEvent OnException;

    // For tests: frees every form, forgets the main form and Terminated.
    void Reset();

private:
    friend class TForm;
    void FormCreated(TForm* form);
    TForm* FMainForm = nullptr;
    CodePageString FTitle;
    bool FTerminated = false;
    bool FShowMainForm = true;
    bool FRunning = false;
};

class TScreen : public TComponent {
public:
    explicit TScreen(TComponent* AOwner) : TComponent(AOwner) {}
    int Width() const;
    int Height() const;
    static constexpr int PixelsPerInch = 96;
    // crDefault shows each control's own cursor; anything else overrides all.
    TCursor Cursor() const { return FCursor; }
    void SetCursor(TCursor cursor);
    // The application's own cursors, by a positive number: a control whose
    // Cursor is that number shows the picture, with its hot spot at hotSpot.
    void SetCursorImage(TCursor index, const TBitmap& image, TPoint hotSpot);
    bool HasCursorImage(TCursor index) const;
    // Bits per pixel of the screen (through the screenColorBits hook when set).
    int ColorBits() const;
    int FormCount() const;
    TForm* Forms(int index) const;
    TForm* ActiveForm() const;

private:
    TCursor FCursor = crDefault;
};

extern TApplication* Application;
extern TScreen* Screen;

// Shows a message in a box captioned with the application's title.
void ShowMessage(const CodePageString& text);

// Renders a form (or any control) as it looks now into a PNG file. False
// when it cannot be rendered or written.
bool SaveFormScreenshot(TForm* form, const CodePageString& path);
bool SaveControlScreenshot(TControl* control, const CodePageString& path);
