#include "workbench/FormBuild.h"

#include "classlib/Forms.h"
#include "classlib/StdCtrls.h"

void MakeToolWindow(TForm& form, const char* name, const AnsiString& caption, int clientWidth, int clientHeight)
{
    form.Name = name;
    form.SetCaption(caption);
    form.SetBorderStyle(bsToolWindow);
    form.SetPosition(poScreenCenter);
    form.SetClientWidth(clientWidth);
    form.SetClientHeight(clientHeight);
}

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
