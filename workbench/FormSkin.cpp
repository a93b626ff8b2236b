// The skin step and the application folder of the windows, apart from the
// form building helpers: these two need the main window, and the updater,
// which builds its window with the same helpers, has none.
#include "workbench/FormBuild.h"

#include "classlib/Files.h"
#include "classlib/ListView.h"
#include "classlib/Skin.h"
#include "workbench/SubmitMain.h"

void ApplyDefaultSkin(TSkinForm& skin, const CodePageString& appFolder)
{
    if (skin.SkinSource.empty())
        skin.SkinPath = AppPath(appFolder, "\\Vov-EZ.skn");
}

CodePageString MainAppFolder()
{
    return SubmitMain ? SubmitMain->AppFolder : GetCurrentDir();
}
