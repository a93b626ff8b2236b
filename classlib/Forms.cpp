#include "classlib/Forms.h"

#include <QApplication>
#include <QBuffer>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMenuBar>
#include <QPixmap>
#include <QScreen>

#include <algorithm>
#include <unistd.h>

#include "classlib/Accessibility.h"
#include "classlib/Files.h"
#include "classlib/Menus.h"
#include "classlib/QtBridge.h"
#include "platform/Hooks.h"
#include "platform/Messages.h"

TApplication* Application = new TApplication(nullptr);
TScreen* Screen = new TScreen(nullptr);

namespace {

// "Delete it later": the message a form's Release posts to itself.
constexpr UINT CM_RELEASE = WM_USER + 5;

std::vector<TForm*>& LiveForms()
{
    static std::vector<TForm*> forms;
    return forms;
}

bool IsLive(const TForm* form)
{
    const auto& forms = LiveForms();
    return std::find(forms.begin(), forms.end(), form) != forms.end();
}

HWND ReleaseWindow()
{
    static HWND wnd = AllocateHWnd([](TMessage& m) {
        if (m.Msg != CM_RELEASE)
            return;
        auto* form = reinterpret_cast<TForm*>(m.LParam);
        if (!IsLive(form))
            return;
        form->BeforeDestruction();
        delete form;
    });
    return wnd;
}

// The top-level window of a form: its client area plus the menu bar.
class TFormWidget : public QWidget {
public:
    explicit TFormWidget(TForm* form) : FForm(form) {}

protected:
    void closeEvent(QCloseEvent* event) override
    {
        // The form decides (OnCloseQuery, OnClose); the window itself only hides.
        event->ignore();
        if (!FForm->Destroying())
            SafeCall([&] { FForm->HandleCloseRequest(); });
    }
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        if (!FForm->Destroying())
            SafeCall([&] { FForm->HandleWindowResized(width(), height()); });
    }
    void moveEvent(QMoveEvent* event) override
    {
        QWidget::moveEvent(event);
        if (!FForm->Destroying())
            SafeCall([&] { FForm->HandleWindowMoved(x(), y()); });
    }
    void changeEvent(QEvent* event) override
    {
        QWidget::changeEvent(event);
        if (event->type() == QEvent::ActivationChange && !FForm->Destroying())
            SafeCall([&] { FForm->HandleActivation(isActiveWindow()); });
    }

private:
    TForm* FForm;
};

constexpr int kMenuHeight = 19;

}  // namespace

void ShowHandlerException(const std::exception* e)
{
    Application->HandleException(nullptr, e);
}

// --- TForm -------------------------------------------------------------------------------

TForm::TForm(TComponent* AOwner) : TWinControl(AOwner)
{
    SetVisibleField(false);
    auto* frame = new TFormWidget(this);
    AttachWidget(frame);
    auto* client = new QWidget(frame);
    client->setAutoFillBackground(true);
    client->show();
    SetClientWidget(client);
    LiveForms().push_back(this);
    SetVisibleField(false);
    SetParentColor(false);
    SetParentFont(false);
    SetColor(clBtnFace);
    SetBounds(0, 0, 320, 240);
    ApplyColor();
}

TForm::~TForm()
{
    SetDestroying();
    auto& forms = LiveForms();
    forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
    if (FModalLoop)
        FModalLoop->quit();
    if (FMenu)
        FMenu->OnItemsChanged = nullptr;
    if (Application && Application->FMainForm == this)
        Application->FMainForm = nullptr;
}

void TForm::Notification(TComponent* component, TOperation operation)
{
    TWinControl::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FMenu)
        FMenu = nullptr;
}

void TForm::AfterConstruction()
{
    try {
        FireEvent(OnCreate, this);
    } catch (const std::exception& e) {
        Application->HandleException(this, &e);
    }
}

void TForm::BeforeDestruction()
{
    if (FDestroyCalled)
        return;
    FDestroyCalled = true;
    try {
        FireEvent(OnDestroy, this);
    } catch (const std::exception& e) {
        Application->HandleException(this, &e);
    }
}

int TForm::FrameWidth() const
{
    switch (FBorderStyle) {
    case bsNone: return 0;
    case bsSizeable:
    case bsSizeToolWin: return 4;
    default: return 3;
    }
}

int TForm::CaptionHeight() const
{
    switch (FBorderStyle) {
    case bsNone: return 0;
    case bsToolWindow:
    case bsSizeToolWin: return 17;
    default: return 19;
    }
}

int TForm::MenuHeight() const
{
    return FMenu ? kMenuHeight : 0;
}

int TForm::ClientWidth() const
{
    return std::max(0, Width() - 2 * FrameWidth());
}

int TForm::ClientHeight() const
{
    return std::max(0, Height() - CaptionHeight() - 2 * FrameWidth() - MenuHeight());
}

void TForm::SetClientWidth(int w)
{
    SetWidth(w + 2 * FrameWidth());
}

void TForm::SetClientHeight(int h)
{
    SetHeight(h + CaptionHeight() + 2 * FrameWidth() + MenuHeight());
}

void TForm::SetBorderStyle(TFormBorderStyle style)
{
    if (style == FBorderStyle)
        return;
    FBorderStyle = style;
    if (QWidget* w = OwnWidget()) {
        const bool shown = w->isVisible();
        Qt::WindowFlags flags = Qt::Window;
        switch (style) {
        case bsNone: flags |= Qt::FramelessWindowHint; break;
        case bsToolWindow:
        case bsSizeToolWin: flags = Qt::Tool; break;
        case bsDialog: flags = Qt::Dialog; break;
        default: break;
        }
        if (FFormStyle == fsStayOnTop)
            flags |= Qt::WindowStaysOnTopHint;
        w->setWindowFlags(flags);
        if (shown)
            w->show();
    }
    ApplyGeometry();
    Realign();
}

void TForm::SetFormStyle(TFormStyle style)
{
    FFormStyle = style;
    if (QWidget* w = OwnWidget()) {
        const bool shown = w->isVisible();
        w->setWindowFlag(Qt::WindowStaysOnTopHint, style == fsStayOnTop);
        if (shown)
            w->show();
    }
}

void TForm::SetWindowState(TWindowState state)
{
    FWindowState = state;
    QWidget* w = OwnWidget();
    if (!w)
        return;
    if (!w->isVisible())
        return;
    switch (state) {
    case wsMinimized: w->showMinimized(); break;
    case wsMaximized: w->showMaximized(); break;
    default: w->showNormal(); break;
    }
}

void TForm::SetMenu(TMainMenu* menu)
{
    if (menu == FMenu)
        return;
    if (FMenu)
        FMenu->OnItemsChanged = nullptr;
    FMenu = menu;
    auto* frame = OwnWidget();
    if (FMenu && !FMenuBar && frame) {
        auto* bar = new QMenuBar(frame);
        bar->setNativeMenuBar(false);
        bar->show();
        FMenuBar = bar;
    }
    if (FMenu)
        FMenu->OnItemsChanged = [this] { RebuildMenuBar(); };
    RebuildMenuBar();
    if (FMenuBar)
        FMenuBar->setVisible(FMenu != nullptr);
    // The outer frame stays; the client area gives way to the menu.
    ApplyGeometry();
    Realign();
}

void TForm::RebuildMenuBar()
{
    auto* bar = static_cast<QMenuBar*>(FMenuBar);
    if (!bar)
        return;
    if (!FMenu) {
        bar->clear();
        return;
    }
    // The bar is brought in step with the menu's items one action at a time:
    // a bar on the screen measures all its items again for each action that
    // comes or goes.
    QList<QAction*> want;
    TMenuItem* root = FMenu->Items();
    for (int i = 0; i < root->Count(); ++i)
        want.push_back(ActionOf(root->Items(i)));
    for (QAction* action : bar->actions())
        if (!want.contains(action))
            bar->removeAction(action);
    for (qsizetype i = 0; i < want.size(); ++i) {
        const QList<QAction*> shown = bar->actions();
        if (i < shown.size() && shown[i] == want[i])
            continue;
        bar->insertAction(i < shown.size() ? shown[i] : nullptr, want[i]);
    }
}

void TForm::LayoutFrame()
{
    QWidget* client = ClientWidgetOf(this);
    if (FMenuBar)
        FMenuBar->setGeometry(0, 0, ClientWidth(), MenuHeight());
    if (client && client != OwnWidget())
        client->setGeometry(0, MenuHeight(), ClientWidth(), ClientHeight());
}

void TForm::ApplyGeometry()
{
    QWidget* w = OwnWidget();
    if (!w)
        return;
    w->move(Left(), Top());
    w->resize(std::max(1, ClientWidth()), std::max(1, ClientHeight() + MenuHeight()));
    LayoutFrame();
}

void TForm::HandleWindowResized(int clientWidth, int clientHeight)
{
    const int width = clientWidth + 2 * FrameWidth();
    const int height = clientHeight + CaptionHeight() + 2 * FrameWidth();  // the window holds the menu bar
    // A window that was made one pixel for an empty client area reports it.
    if (ClientWidth() == 0 && clientWidth == 1 && width - 1 == Width())
        return;
    if (width == Width() && height == Height()) {
        LayoutFrame();
        return;
    }
    SetBoundsFields(Left(), Top(), width, height);
    LayoutFrame();
    Resize();
}

void TForm::HandleWindowMoved(int left, int top)
{
    if (FPlacing)
        return;
    SetBoundsFields(left, top, Width(), Height());
}

void TForm::HandleActivation(bool active)
{
    FireEvent(active ? OnActivate : OnDeactivate, this);
}

void TForm::PlaceOnFirstShow()
{
    if (FShownOnce)
        return;
    FShownOnce = true;
    if (FPosition == poScreenCenter || FPosition == poDesktopCenter ||
        (FPosition == poMainFormCenter && (!Application->MainForm() || Application->MainForm() == this))) {
        SetBounds((Screen->Width() - Width()) / 2, (Screen->Height() - Height()) / 2, Width(), Height());
    } else if (FPosition == poMainFormCenter || FPosition == poOwnerFormCenter) {
        TForm* centre = Application->MainForm();
        if (FPosition == poOwnerFormCenter)
            if (auto* ownerForm = dynamic_cast<TForm*>(Owner()))
                centre = ownerForm;
        if (centre)
            SetBounds(centre->Left() + (centre->Width() - Width()) / 2,
                      centre->Top() + (centre->Height() - Height()) / 2, Width(), Height());
    }
}

void TForm::ApplyVisibility()
{
    QWidget* w = OwnWidget();
    if (!w)
        return;
    if (Visible()) {
        if (w->isVisible())
            return;
        DoShow();
        if (!Visible())
            return;  // OnShow hid it again
        PlaceOnFirstShow();
        ApplyGeometry();
        // Showing may report a provisional position while the window is
        // placed; the form keeps the one it asked for.
        FPlacing = true;
        if (FWindowState == wsMaximized)
            w->showMaximized();
        else if (FWindowState == wsMinimized)
            w->showMinimized();
        else
            w->show();
        FPlacing = false;
        if (QGuiApplication::platformName() != "offscreen") {
            w->raise();
            w->activateWindow();
        }
        if (FActiveControl && FActiveControl->CanFocus())
            FActiveControl->SetFocus();
        PrepareAccessibility(this);
    } else {
        if (!w->isVisible())
            return;
        w->hide();
        DoHide();
    }
}

void TForm::ApplyText()
{
    if (QWidget* w = OwnWidget())
        w->setWindowTitle(ToQString(FText));
}

void TForm::ApplyColor()
{
    QWidget* client = ClientWidgetOf(this);
    if (!client)
        return;
    QPalette pal = client->palette();
    pal.setColor(QPalette::Window, ToQColor(Color()));
    client->setPalette(pal);
    if (QWidget* w = OwnWidget()) {
        QPalette fp = w->palette();
        fp.setColor(QPalette::Window, ToQColor(Color()));
        w->setPalette(fp);
    }
}

void TForm::DoShow()
{
    FireEvent(OnShow, this);
}

void TForm::DoHide()
{
    FireEvent(OnHide, this);
}

void TForm::DoClose(TCloseAction& action)
{
    FireEvent(OnClose, this, action);
}

TWinControl* TForm::ActiveControl() const
{
    QWidget* focus = QApplication::focusWidget();
    if (focus && OwnWidget() && OwnWidget()->isAncestorOf(focus)) {
        for (QObject* o = focus; o; o = o->parent())
            if (auto* wc = dynamic_cast<TWinControl*>(ControlOfWidget(o)))
                return wc == this ? nullptr : wc;
    }
    return FActiveControl;
}

void TForm::SetActiveControl(TWinControl* control)
{
    FActiveControl = control;
    if (control && Showing() && control->CanFocus())
        control->SetFocus();
}

bool TForm::Active() const
{
    QWidget* w = OwnWidget();
    return w && w->isActiveWindow();
}

bool TForm::CloseQuery()
{
    bool canClose = true;
    FireEvent(OnCloseQuery, this, canClose);
    return canClose;
}

void TForm::Close()
{
    if (FModalLoop) {
        SetModalResult(mrCancel);
        return;
    }
    if (!CloseQuery())
        return;
    TCloseAction action = caHide;
    DoClose(action);
    if (action == caNone)
        return;
    if (Application->MainForm() == this) {
        Hide();
        Application->Terminate();
    } else if (action == caHide) {
        Hide();
    } else if (action == caMinimize) {
        SetWindowState(wsMinimized);
    } else {
        Hide();
        Release();
    }
}

void TForm::HandleCloseRequest()
{
    Close();
}

void TForm::SetModalResult(TModalResult result)
{
    FModalResult = result;
    if (FModalLoop && result != mrNone && FModalLoop->isRunning())
        FModalLoop->quit();
}

TModalResult TForm::ShowModal()
{
    if (Visible() || FModalLoop)
        throw Exception("Cannot make a visible window modal");
    QWidget* w = OwnWidget();
    QEventLoop loop;
    FModalLoop = &loop;
    FModalResult = mrNone;
    w->setWindowModality(Qt::ApplicationModal);
    TCloseAction action = caHide;
    auto finish = [&] {
        FModalLoop = nullptr;
        if (IsLive(this)) {
            Hide();
            w->setWindowModality(Qt::NonModal);
        }
    };
    try {
        Show();
        for (;;) {
            if (FModalResult == mrNone)
                loop.exec();
            if (!IsLive(this))
                return mrCancel;
            if (FModalResult == mrNone && Application->Terminated())
                FModalResult = mrCancel;
            if (FModalResult == mrNone)
                continue;
            action = caNone;
            if (CloseQuery()) {
                action = caHide;
                DoClose(action);
            }
            if (action == caNone) {
                FModalResult = mrNone;
                if (Application->Terminated())
                    break;
                continue;
            }
            break;
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
    const TModalResult result = FModalResult;
    if (action == caFree)
        Release();
    return result;
}

void TForm::Release()
{
    PostMessage(ReleaseWindow(), CM_RELEASE, 0, reinterpret_cast<LPARAM>(this));
}

// --- TApplication -----------------------------------------------------------------------------

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {}

TApplication::~TApplication()
{
    Reset();
}

void TApplication::Initialize()
{
    EnsureToolkit();
    // A handler run from the message queue that throws ends up where every
    // handler's exception does: OnException or the error box.
    SetDispatchExceptionHandler([](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            Application->HandleException(nullptr, &e);
        } catch (...) {
            Application->HandleException(nullptr, nullptr);
        }
    });
}

void TApplication::FormCreated(TForm* form)
{
    form->AfterConstruction();
    if (!FMainForm && IsLive(form))
        FMainForm = form;
}

void TApplication::Run()
{
    if (!FMainForm)
        return;
    EnsureToolkit();
    if (FShowMainForm && !FTerminated)
        FMainForm->Show();
    FRunning = true;
    while (!FTerminated)
        QCoreApplication::exec();
    FRunning = false;
}

void TApplication::Terminate()
{
    FTerminated = true;
    // The waits of the socket layer run their own loops: they see the quit message and end.
    ::PostQuitMessage();
    if (qApp)
        QCoreApplication::exit(0);
}

void TApplication::ProcessMessages()
{
    // A job holding the loop lets messages through to show where it is.
    const TUnpacedPaints unpaced;
    ::ProcessMessages();
}

void TApplication::HandleMessage()
{
    ::WaitAndProcessMessages();
}

void TApplication::SetTitle(const CodePageString& title)
{
    FTitle = title;
    // The standard error box takes its caption from the application's title.
    // The toolkit's display name is left alone: the window system would add
    // it to the caption of every window and message box.
    SetErrorBoxCaption(title);
}

CodePageString TApplication::ExeName() const
{
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return CodePageString();
    return CodePageString(buf, size_t(n));
}

void TApplication::ShowException(const std::exception* e)
{
    CodePageString message;
    if (auto* ex = dynamic_cast<const Exception*>(e))
        message = ex->Message;
    else if (e)
        message = e->what();
    else
        message = "Unknown exception";
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        message += '.';
    ShowErrorBox(message);
}

void TApplication::HandleException(TObject* sender, const std::exception* e)
{
    if (!FireEvent(OnException, sender, e))
        ShowException(e);
}

int TApplication::MessageBox(const CodePageString& text, const CodePageString& caption, unsigned flags)
{
    return ShowMessageBox(text, caption, flags);
}

void TApplication::Reset()
{
    FMainForm = nullptr;
    std::vector<TForm*> forms;
    for (int i = 0; i < ComponentCount(); ++i)
        if (auto* f = dynamic_cast<TForm*>(Components(i)))
            forms.push_back(f);
    for (TForm* f : forms)
        if (IsLive(f) && !f->Destroying()) {
            f->BeforeDestruction();
            delete f;
        }
    FTerminated = false;
    ClearQuitMessage();
}

// --- TScreen ----------------------------------------------------------------------------------

int TScreen::Width() const
{
    EnsureToolkit();
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().width() : 800;
}

int TScreen::Height() const
{
    EnsureToolkit();
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().height() : 600;
}

void TScreen::SetCursor(TCursor cursor)
{
    if (cursor == FCursor)
        return;
    EnsureToolkit();
    if (FCursor != crDefault)
        QApplication::restoreOverrideCursor();
    FCursor = cursor;
    if (cursor != crDefault)
        QApplication::setOverrideCursor(ToQCursor(cursor));
}

void TScreen::SetCursorImage(TCursor index, const TBitmap& image, TPoint hotSpot)
{
    if (index <= 0 || image.Empty())
        return;
    EnsureToolkit();
    SetCustomCursor(index, QCursor(QPixmap::fromImage(image.Image().image), hotSpot.x, hotSpot.y));
}

bool TScreen::HasCursorImage(TCursor index) const
{
    return HasCustomCursor(index);
}

int TScreen::ColorBits() const
{
    if (const auto& hook = GetHooks().screenColorBits)
        return hook();
    EnsureToolkit();
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->depth() : 24;
}

int TScreen::FormCount() const
{
    return int(LiveForms().size());
}

TForm* TScreen::Forms(int index) const
{
    const auto& forms = LiveForms();
    if (index < 0 || index >= int(forms.size()))
        throw EListError("List index out of bounds (" + IntToStr(index) + ")");
    return forms[size_t(index)];
}

TForm* TScreen::ActiveForm() const
{
    for (TForm* f : LiveForms())
        if (f->Active())
            return f;
    return nullptr;
}

// --- helpers --------------------------------------------------------------------------------------

void ShowMessage(const CodePageString& text)
{
    ShowMessageBox(text, Application->Title(), MB_OK);
}

bool SaveControlScreenshot(TControl* control, const CodePageString& path)
{
    if (!control || !WidgetOf(control))
        return false;
    QWidget* w = WidgetOf(control);
    w->ensurePolished();
    const QPixmap pixmap = w->grab();
    if (pixmap.isNull())
        return false;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!pixmap.save(&buffer, "PNG"))
        return false;
    try {
        WriteFileAtomic(path, std::string(bytes.constData(), size_t(bytes.size())));
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

bool SaveFormScreenshot(TForm* form, const CodePageString& path)
{
    return SaveControlScreenshot(form, path);
}
