// The main window's "MetaTags" page: the tags to write, each with its
// check box, and the viewer of the generated block.
#include "workbench/SubmitMain.h"

#include "classlib/ExtCtrls.h"
#include "classlib/StdCtrls.h"
#include "controls/Btchkbox.h"
#include "controls/ImgBtn.h"
#include "controls/LedLbl.h"
#include "workbench/FormBuild.h"
#include "workbench/Glyphs.h"

void TSubmitMain::BuildMetaTagsPage(TWinControl* page)
{
    struct TTagRow {
        TBitCheckBox** check;
        const char* checkName;
        const char* caption;
        TEdit** edit;
        const char* editName;
        TLedLabel** led;
        const char* ledName;
    };
    const TTagRow rows[] = {
        {&TitleCk, "TitleCk", "Title", &TitleMet, "TitleMet", &CLED1Met, "CLED1Met"},
        {&DescriptionCk, "DescriptionCk", "Description", &DescriptionMet, "DescriptionMet", &CLED2Met, "CLED2Met"},
        {&Key1Ck, "Key1Ck", "Keywords", &Key1Met, "Key1Met", &CLED3Met, "CLED3Met"},
        {&AuthorCk, "AuthorCk", "Author", &Author, "Author", nullptr, nullptr},
        {&CopyrightCk, "CopyrightCk", "Copyright", &CopyRight, "CopyRight", nullptr, nullptr},
    };
    int top = 10;
    for (const TTagRow& row : rows) {
        *row.check = PlaceBitCheck(this, page, row.checkName, row.caption, 8, top + 2, 100, true);
        *row.edit = Place<TEdit>(this, page, row.editName, 112, top, 380, 21);
        if (row.led)
            *row.led = PlaceLed(this, page, row.ledName, 500, top - 2, 5, 15, 25);
        top += 28;
    }

    struct TChoiceRow {
        TBitCheckBox** check;
        const char* checkName;
        const char* caption;
        TComboBox** combo;
        const char* comboName;
        std::initializer_list<const char*> items;
        const char* text;
        int left;
        int top;
    };
    const TChoiceRow choices[] = {
        {&DistCk, "DistCk", "Distribution", &Distribution, "Distribution", {"Global", "Local"}, "Global", 8, top},
        {&RevisitCk, "RevisitCk", "Revisit", &Revisit, "Revisit", {"7 Days", "14 Days", "30 Days", "60 Days"},
         "14 Days", 236, top},
        {&RatingCk, "RatingCk", "Rating", &Rating, "Rating", {"General", "Mature", "14 years", "Restricted"},
         "General", 8, top + 28},
        {&RobotsCk, "RobotsCk", "Robots", &Robots, "Robots", {"NoIndex", "All", "Index", "NoFollow"}, "All", 236,
         top + 28},
    };
    for (const TChoiceRow& row : choices) {
        *row.check = PlaceBitCheck(this, page, row.checkName, row.caption, row.left, row.top + 2, 100, false);
        *row.combo = PlaceCombo(this, page, row.comboName, row.left + 104, row.top, 110, row.items, row.text);
    }

    Button10 = PlaceButton(this, page, "Button10", "Generate Tags", 478, top, 110);
    Button12 = PlaceButton(this, page, "Button12", "Apply Tags", 478, top + 28, 110);

    ViewerBox = Place<TPanel>(this, page, "ViewerBox", 8, top + 62, 592, 518 - (top + 62));
    ViewerBox->SetBevelOuter(bvLowered);
    ViewerBox->SetColor(clWindow);
}
