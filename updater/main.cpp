// The updater's program entry. It works in the folder it is started in, the
// application folder; its one argument is the version it installs.
#include "classlib/Forms.h"
#include "updater/UpdaterWindow.h"

int main(int argc, char** argv)
{
    Application->Initialize();
    Application->SetTitle("Software Updater");
    Application->CreateForm(Form1);
    if (argc > 1)
        Form1->NewVersion = argv[1];
    Application->Run();
    Application->Reset();
    return 0;
}
