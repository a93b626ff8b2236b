// The main window's "Doorway Pages" page: the panel that holds the doorway
// page's viewer.
#include "workbench/SubmitMain.h"

#include "classlib/ExtCtrls.h"
#include "workbench/FormBuild.h"

void TSubmitMain::BuildDoorwayPage(TWinControl* page)
{
    DoorwayBox = PlaceClient<TPanel>(this, page, "DoorwayBox", page->ClientWidth(), page->ClientHeight());
    DoorwayBox->SetBevelOuter(bvLowered);
    DoorwayBox->SetColor(clWindow);
}
