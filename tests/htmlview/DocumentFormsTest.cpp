#include <gtest/gtest.h>

#include "DocumentFixture.h"
#include "classlib/BasicControls.h"
#include "classlib/Forms.h"
#include "classlib/Panels.h"
#include "htmlview/HtmlDocument.h"
#include "htmlview/HtmlForms.h"
#include "htmlview/HtmlTextSection.h"

namespace {

// Form controls in a document whose paint panel is a real panel of a window.
class DocumentFormsTest : public DocumentTest {
protected:
    DocumentFormsTest()
    {
        SetOpenForm(nullptr);
        window = new TForm(Application);
        window->SetBounds(0, 0, 640, 480);
        panel = new TPanel(window);
        panel->SetParent(window);
        panel->SetAlign(alClient);
        host.Panel = panel;
    }
    ~DocumentFormsTest() override
    {
        root.Clear();  // the controls go before the panel they sit on
        delete window;
        SetOpenForm(nullptr);
    }
    TFormControlObj* Control(TSection* section, const std::string& tag, TCell* cell = nullptr)
    {
        const TAttributeList attributes = Tag(tag);
        const HtmlSymbol which = TokenizeHtml(tag).front().Symbol;
        return section->AddFormControl(FormControlSpecOf(which, attributes), cell ? cell : &root,
                                       ImageSpecOf(attributes));
    }

    TForm* window = nullptr;
    TPanel* panel = nullptr;
};

TEST_F(DocumentFormsTest, ControlsTakeTheirRoomInLinesAndArePlacedWhenPainted)
{
    TSection* sec = Text("ab");
    TFormControlObj* edit = Control(sec, "<input name=q value=abc>");
    sec->AddText("cd");
    TFormControlObj* box = Control(sec, "<input type=checkbox name=c>");
    TFormControlObj* hidden = Control(sec, "<input type=hidden name=h value=1>");
    EXPECT_EQ(sec->Buff, "ab" + std::string(1, ControlPlaceholder) + "cd" + std::string(1, ControlPlaceholder))
        << "a hidden field takes no place in the text";
    EXPECT_EQ(sec->FormControls.Count(), 2);
    EXPECT_EQ(root.FormControlList().Count(), 3);
    EXPECT_EQ(root.FormList().Count(), 1) << "controls outside a FORM share one made for them";
    EXPECT_EQ(hidden->OwnerForm, edit->OwnerForm);

    Layout(600);
    ASSERT_EQ(sec->Lines.size(), 1u);
    EXPECT_EQ(edit->WinControl()->Width(), 20 * 7 + 5) << "measured on the layout's canvas";
    // The edit is 20 high on a 16-pixel line; the check box stands on the baseline.
    EXPECT_EQ(sec->Lines[0].SpaceBefore, 4);
    EXPECT_EQ(sec->BlockHeight, 20);

    Paint(600);
    EXPECT_TRUE(edit->OnScreen);
    EXPECT_EQ(edit->WinControl()->BoundsRect(), Bounds(14, 0, 145, 20));
    EXPECT_EQ(box->WinControl()->Left(), 14 + 145 + 14);
    EXPECT_EQ(box->WinControl()->Top(), 20 - 4 - box->WinControl()->Height());
    EXPECT_TRUE(edit->WinControl()->Visible());
    EXPECT_EQ(TextPositions().at("cd"), Point(14 + 145, 4));

    // Scrolled out of sight, the controls the paint did not place are hidden.
    root.SetScrollTop(500);
    EXPECT_FALSE(edit->OnScreen);
    Paint(600);
    EXPECT_FALSE(edit->WinControl()->Visible());
    EXPECT_FALSE(box->WinControl()->Visible());

    // A narrow line breaks after a control even without a blank.
    root.SetScrollTop(0);
    Layout(14 + 145 + 7);
    EXPECT_EQ(LineTexts(*sec), (std::vector<std::string>{"ab" + std::string(1, ControlPlaceholder),
                                                          "cd" + std::string(1, ControlPlaceholder)}));
}

TEST_F(DocumentFormsTest, ImageInputsSubmitTheirPointAndEventsReachTheViewer)
{
    server.AddBitmap("go.bmp", 30, 20);
    TSection* sec = Text("");
    auto* image = dynamic_cast<TImageFormControlObj*>(Control(sec, "<input type=image src=go.bmp name=go>"));
    ASSERT_TRUE(image);
    ASSERT_EQ(sec->Images.Count(), 1);
    EXPECT_EQ(sec->Images[0]->OwnControl, image);
    TFormControlObj* field = Control(sec, "<input name=q value=abc>");
    Layout(600);
    Paint(600);

    struct Submitted {
        CodePageString action;
        std::vector<CodePageString> pairs;
    };
    std::vector<Submitted> submitted;
    image->OwnerForm->Action = "/search";
    EXPECT_FALSE(root.Viewer().FormSubmitAssigned());
    image->OwnerForm->Submit("");
    host.OnFormSubmit = [&](const CodePageString& action, const CodePageString&, const CodePageString&, const CodePageString&,
                            std::unique_ptr<TStringList> results) {
        Submitted s{action, {}};
        for (int i = 0; i < results->Count(); ++i)
            s.pairs.push_back((*results)[i]);
        submitted.push_back(s);
    };
    EXPECT_TRUE(root.Viewer().FormSubmitAssigned());

    // The picture stands on the baseline: its top is 20 - 16 + 4 below the line's top.
    const int imageTop = sec->Images[0]->PaintTop;
    TUrlTarget url;
    TFormControlObj* hit = nullptr;
    ASSERT_TRUE(root.LinkAtPoint(&canvas, 12, imageTop + 7, url, hit));
    EXPECT_EQ(hit, image);
    EXPECT_EQ(image->MouseX, 12);
    EXPECT_EQ(image->MouseY, 7);
    image->ImageClicked();
    ASSERT_EQ(submitted.size(), 1u);
    EXPECT_EQ(submitted[0].action, "/search");
    EXPECT_EQ(submitted[0].pairs, (std::vector<CodePageString>{"go.x=12", "go.y=7", "q=abc"}));

    TObject viewer;
    host.Sender = &viewer;
    std::vector<std::pair<TObject*, CodePageString>> clicks;
    host.OnObjectClick = [&](TObject* sender, TFormControlObj*, const CodePageString& onClick) {
        clicks.push_back({sender, onClick});
    };
    root.Viewer().ObjectClick(field, "alert()");
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0].first, &viewer);
    EXPECT_EQ(clicks[0].second, "alert()");

    std::vector<TFormControlObj*> entered;
    host.OnFormControlEnter = [&](TFormControlObj* obj) { entered.push_back(obj); };
    root.Viewer().FormControlEntered(field);
    EXPECT_EQ(entered, std::vector<TFormControlObj*>{field});

    root.Clear();
    EXPECT_EQ(root.FormList().Count(), 0);
    EXPECT_EQ(root.FormControlList().Count(), 0);
}

TEST_F(DocumentFormsTest, RadioButtonsTakeTheirCellsBackground)
{
    auto cell = std::make_unique<TCellObj>(&root, 0, CellSpecOf(Tag("<td bgcolor=yellow>")));
    auto inCell = std::make_unique<TSection>(&root, 0, font, nullptr, jLeft);
    auto* inTable = static_cast<TRadioButtonFormControlObj*>(Control(inCell.get(), "<input type=radio>", cell->Cell.get()));
    cell->Cell->Add(std::move(inCell));
    ThtmlTable* table = Add<ThtmlTable>(TableSpecOf(Tag("<table>")), jLeft, &root, 0);
    table->Rows.Add(std::make_unique<TCellList>())->Add(std::move(cell));
    TSection* sec = Text("");
    auto* onPage = static_cast<TRadioButtonFormControlObj*>(Control(sec, "<input type=radio>"));
    root.SetBackground(clAqua);
    Layout(600);
    Paint(600);
    EXPECT_EQ(inTable->Panel()->Color(), PaletteRGB(255, 255, 0));
    EXPECT_EQ(onPage->Panel()->Color(), PaletteRelative(clAqua));
}

}  // namespace
