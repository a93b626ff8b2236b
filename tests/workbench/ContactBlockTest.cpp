// The contact block as both windows lay it out: the project page's Contact
// box and the custom engine wizard's hidden record panel, child by child in
// the order they were placed, with their bounds, tab order and labels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MainFixture.h"
#include "classlib/BasicControls.h"
#include "classlib/Forms.h"
#include "controls/Tranpanl.h"
#include "workbench/CustomDatabase.h"
#include "workbench/SubmitMain.h"

namespace {

// Each child of parent in its order: name, bounds and tab order, and for a
// label its place, its caption and the control it names.
std::vector<std::string> Children(const TWinControl& parent)
{
    std::vector<std::string> lines;
    for (int i = 0; i < parent.ControlCount(); ++i) {
        const TControl* child = parent.Controls(i);
        std::string line = child->Name + " " + std::to_string(child->Left()) + "," + std::to_string(child->Top());
        const auto* label = dynamic_cast<const TLabel*>(child);
        // A label's size follows its caption in the font it has.
        if (!label)
            line += " " + std::to_string(child->Width()) + "x" + std::to_string(child->Height());
        if (const auto* control = dynamic_cast<const TWinControl*>(child))
            line += " tab " + std::to_string(control->TabOrder());
        if (label) {
            line += " \"" + label->Caption() + "\"";
            if (label->FocusControl())
                line += " names " + label->FocusControl()->Name;
        }
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

TEST(ContactBlock, BothWindowsPlaceTheirContactFieldsAsBefore)
{
    TInstallFolder folder;
    TBoxRecorder boxes;
    TRunningProgram program(folder);

    // Two labelled columns.
    const std::vector<std::string> projectPage = {
        "name 80,20 190x21 tab 0",
        "Label16 10,23 \"First Name\" names name",
        "LastN 80,44 190x21 tab 1",
        "Label17 10,47 \"Last Name\" names LastN",
        "Company 80,68 190x21 tab 2",
        "Label18 10,71 \"Company\" names Company",
        "Address1 80,92 190x21 tab 3",
        "Label19 10,95 \"Address 1\" names Address1",
        "Address2 80,116 190x21 tab 4",
        "Label20 10,119 \"Address 2\" names Address2",
        "City 362,20 214x21 tab 5",
        "Label21 298,23 \"City\" names City",
        "State 362,44 214x21 tab 6",
        "Label22 298,47 \"State\" names State",
        "Zip 362,68 214x21 tab 7",
        "Label23 298,71 \"Zip\" names Zip",
        "Country 362,92 214x21 tab 8",
        "Label24 298,95 \"Country\" names Country",
        "Phone 362,116 214x21 tab 9",
        "Label25 298,119 \"Phone\" names Phone",
        "Fax 362,140 214x21 tab 10",
        "Label26 298,143 \"Fax\" names Fax",
    };
    EXPECT_EQ(Children(*SubmitMain->ContactBox), projectPage);

    // A grid four wide in the record's field order, the contact fields
    // among the wizard's own, without labels.
    const std::vector<std::string> wizardPanel = {
        "Session_Name 4,4 130x21 tab 0",
        "urllist 138,4 130x21 tab 1",
        "cgiurl 272,4 130x21 tab 2",
        "title2 406,4 130x21 tab 3",
        "url 4,28 130x21 tab 4",
        "email 138,28 130x21 tab 5",
        "Description 272,28 130x21 tab 6",
        "category 406,28 130x21 tab 7",
        "cattype 4,52 130x21 tab 8",
        "name 138,52 130x21 tab 9",
        "hidden 272,52 130x21 tab 10",
        "LastN 406,52 130x21 tab 11",
        "Company 4,76 130x21 tab 12",
        "Address1 138,76 130x21 tab 13",
        "Address2 272,76 130x21 tab 14",
        "City 406,76 130x21 tab 15",
        "State 4,100 130x21 tab 16",
        "Zip 138,100 130x21 tab 17",
        "Phone 272,100 130x21 tab 18",
        "Fax 406,100 130x21 tab 19",
        "method 4,124 130x21 tab 20",
        "Key1 138,124 130x21 tab 21",
        "Country 272,124 130x21 tab 22",
        "Button5 4,150 80x22",
        "Button4 88,150 80x22",
        "NameList 172,150 60x40 tab 23",
        "ValueList 236,150 60x40 tab 24",
        "Memo2 300,150 120x40 tab 25",
    };
    EXPECT_EQ(Children(*CustomDatabase->TranPanel1), wizardPanel);
}
