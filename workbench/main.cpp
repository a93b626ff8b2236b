// Tenvarel's program entry.
//
// The program works in its application folder, the folder of the program
// file: every data path is relative to the current directory, so it is made
// that folder first, wherever the program was started from.
//
// TENVAREL_QUIT_AFTER_SHOW=1 ends the program as soon as its main window is
// shown, after printing "Tenvarel: main window shown" (for scripts and tests
// that start the installed program headless).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "classlib/Files.h"
#include "classlib/Forms.h"
#include "platform/Messages.h"
#include "workbench/SubmitMain.h"
#include "workbench/Tenvarel.h"

namespace {

constexpr UINT WM_SHOWN_PROBE = WM_USER + 1;

bool QuitAfterShow()
{
    const char* value = std::getenv("TENVAREL_QUIT_AFTER_SHOW");
    return value && *value && std::strcmp(value, "0") != 0;
}

}  // namespace

int main()
{
    Application->Initialize();
    const CodePageString folder = ExtractFilePath(Application->ExeName());
    if (!folder.empty())
        SetCurrentDir(folder);

    CreateProgramForms();

    HWND probe = 0;
    if (QuitAfterShow()) {
        // Runs from the message loop, which starts once Run has shown the
        // main window; asks again until the window is on the screen.
        probe = AllocateHWnd([&probe](TMessage& message) {
            if (message.Msg != WM_SHOWN_PROBE)
                return;
            if (SubmitMain && SubmitMain->Showing()) {
                std::printf("Tenvarel: main window shown\n");
                std::fflush(stdout);
                Application->Terminate();
            } else {
                PostMessage(probe, WM_SHOWN_PROBE, 0, 0);
            }
        });
        PostMessage(probe, WM_SHOWN_PROBE, 0, 0);
    }

    Application->Run();
    if (probe)
        DeallocateHWnd(probe);
    Application->Reset();
    return 0;
}
