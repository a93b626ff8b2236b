#include "workbench/Tenvarel.h"

#include "classlib/Forms.h"
#include "workbench/CustomDatabase.h"
#include "workbench/LiveResult.h"
#include "workbench/Proxyset.h"
#include "workbench/Spider.h"
#include "workbench/SubmitMain.h"
#include "workbench/UpdateBox.h"

void CreateProgramForms()
{
    Application->CreateForm(SubmitMain);
    Application->CreateForm(Spider);
    Application->CreateForm(LiveResult);
    Application->CreateForm(CustomDatabase);
    Application->CreateForm(Proxyset);
    Application->CreateForm(UpdateBox);
}
