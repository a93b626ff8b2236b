#include "workbench/FormBuild.h"

#include "classlib/StdCtrls.h"

TLabel* PlaceLabel(TComponent* owner, TWinControl* parent, const char* name, const AnsiString& caption, int left,
                   int top, TWinControl* names)
{
    TLabel* label = NewComponent<TLabel>(owner, name);
    label->SetCaption(caption);
    label->SetLeft(left);
    label->SetTop(top);
    label->SetParent(parent);
    if (names)
        label->SetFocusControl(names);
    return label;
}

#include "platform/Skin.h"

void ApplyDefaultSkin(TSkinForm& skin, const AnsiString& appFolder)
{
    if (skin.SkinSource.empty())
        skin.SkinPath = AppPath(appFolder, "\\Vov-EZ.skn");
}
