#include "support/Keyboard.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>

#include "classlib/Forms.h"
#include "classlib/QtBridge.h"
#include "support/Loop.h"

namespace {

// The control a widget belongs to: the widget's own, or its nearest parent's
// (the focus may sit in a control's inner window, such as a combo box's edit).
TControl* ControlOf(QWidget* widget)
{
    for (QWidget* w = widget; w; w = w->parentWidget())
        if (TControl* control = ControlOfWidget(w); control && !control->Name.empty())
            return control;
    return nullptr;
}

}  // namespace

bool ShowActive(TForm* form)
{
    form->Show();
    QWidget* window = WidgetOf(form);
    window->activateWindow();
    return RunUntil([&] {
        // The offscreen platform keeps a window that was hidden as its focus
        // window, so asking for it again tells nobody: it is made active here.
        if (!form->Active() && QGuiApplication::focusWindow() == window->windowHandle())
            QApplication::setActiveWindow(window);
        return form->Active();
    });
}

void PressKey(int key, bool shift)
{
    QWidget* target = QApplication::focusWidget();
    if (!target)
        return;
    const Qt::KeyboardModifiers modifiers = shift ? Qt::ShiftModifier : Qt::NoModifier;
    // Shift+Tab reaches a window as the back-tab key.
    const int sent = key == Qt::Key_Tab && shift ? int(Qt::Key_Backtab) : key;
    const QString text = key == Qt::Key_Tab && !shift ? QStringLiteral("\t")
                         : key == Qt::Key_Escape      ? QString(QChar(0x1b))
                         : key == Qt::Key_Return      ? QStringLiteral("\r")
                                                      : QString();
    QKeyEvent press(QEvent::KeyPress, sent, modifiers, text);
    QApplication::sendEvent(target, &press);
    // The release goes to whoever has the focus now, as a user's would.
    if (QWidget* now = QApplication::focusWidget()) {
        QKeyEvent release(QEvent::KeyRelease, sent, modifiers, text);
        QApplication::sendEvent(now, &release);
    }
}

void TypeText(const std::string& text)
{
    for (char c : text) {
        QWidget* target = QApplication::focusWidget();
        if (!target)
            return;
        const QString character(QChar(static_cast<unsigned char>(c)));
        const int key = c >= 'a' && c <= 'z' ? Qt::Key_A + (c - 'a') : character.toUpper().at(0).unicode();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, character);
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, character);
        QApplication::sendEvent(target, &release);
    }
}

std::string FocusedControl()
{
    TControl* control = ControlOf(QApplication::focusWidget());
    return control ? control->Name : std::string();
}

std::vector<std::string> TabWalk(bool backwards)
{
    std::vector<std::string> visited;
    QWidget* start = QApplication::focusWidget();
    if (!start)
        return visited;
    visited.push_back(FocusedControl());
    QWidget* last = start;
    // A window has far fewer stops than this.
    for (int step = 0; step < 200; ++step) {
        PressKey(Qt::Key_Tab, backwards);
        QWidget* now = QApplication::focusWidget();
        // Back at the start, out of the window, or kept where it was (a
        // control that takes the key itself): the walk ends.
        if (!now || now == start || now == last || now->window() != start->window())
            break;
        visited.push_back(FocusedControl());
        last = now;
    }
    return visited;
}

std::vector<std::string> TabOrderOf(TForm* form, TWinControl* first)
{
    if (!ShowActive(form))
        return {"(the window did not become active)"};
    if (first)
        first->SetFocus();
    return TabWalk();
}
