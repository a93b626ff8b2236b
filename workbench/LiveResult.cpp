#include "workbench/LiveResult.h"

#include <string>
#include <tuple>

#include "classlib/BasicControls.h"
#include "classlib/Files.h"
#include "classlib/IniFiles.h"
#include "classlib/ListView.h"
#include "classlib/PageControl.h"
#include "classlib/ProgressBar.h"
#include "classlib/Skin.h"
#include "classlib/Timer.h"
#include "controls/ImgBtn.h"
#include "controls/Tranpanl.h"
#include "transport/StHttpProt.h"
#include "workbench/FormBuild.h"
#include "workbench/Glyphs.h"
#include "workbench/Proxyset.h"
#include "workbench/SubmitMain.h"

TLiveResult* LiveResult = nullptr;

TLiveResult::TLiveResult(TComponent* AOwner) : TForm(AOwner)
{
    MakeToolWindow(*this, "LiveResult", "Submit Options", 300, 124);

    TranPanel1 = PlaceClient<TTranPanel>(this, this, "TranPanel1", 300, 124);

    GroupBox1 = Place<TGroupBox>(this, TranPanel1, "GroupBox1", 8, 6, 138, 52);
    GroupBox1->SetCaption("Timeout in sec");
    TimeOuts = Place<TComboBox>(this, GroupBox1, "TimeOuts", 10, 20, 118, 22);
    for (int seconds = 10; seconds <= 90; seconds += 10)
        TimeOuts->Items()->Add(IntToStr(seconds));

    GroupBox2 = Place<TGroupBox>(this, TranPanel1, "GroupBox2", 154, 6, 138, 52);
    GroupBox2->SetCaption("Submit on how many Ports");
    Ports = Place<TComboBox>(this, GroupBox2, "Ports", 10, 20, 118, 22);
    for (const int ports : {1, 5, 10, 15, 20, 25, 30, 35, 40, 45, 50})
        Ports->Items()->Add(IntToStr(ports));

    Button1 = PlaceButton(this, TranPanel1, "Button1", "Save", 120, 92);
    Button1->OnClick = [this](TObject* sender) { Button1Click(sender); };
    Button3 = PlaceButton(this, TranPanel1, "Button3", "Close", 208, 92);
    Button3->OnClick = [this](TObject*) { Close(); };
    CloseOnEscape(*this);

    // Two parallel first-in-first-out lists of the running requests; never shown.
    ListBox4 = Place<TListBox>(this, TranPanel1, "ListBox4", 8, 66, 40, 20);
    ListBox4->SetVisible(false);
    ListBox5 = Place<TListBox>(this, TranPanel1, "ListBox5", 52, 66, 40, 20);
    ListBox5->SetVisible(false);

    Timer5 = NewComponent<TTimer>(this, "Timer5");
    Timer5->SetEnabled(false);
    Timer5->SetInterval(1000);
    Timer5->OnTimer = [this](TObject* sender) { Timer5Timer(sender); };

    HttpCli1 = NewComponent<TSTHttpCli>(this, "HttpCli1");

    SkinForm1 = NewComponent<TSkinForm>(this, "SkinForm1");
    OnCreate = [this](TObject* sender) { FormCreate(sender); };
    OnShow = [this](TObject* sender) { FormShow(sender); };
}

TLiveResult::~TLiveResult()
{
    DestroyComponents();
    if (LiveResult == this)
        LiveResult = nullptr;
}

void TLiveResult::FormCreate(TObject*)
{
    // The main window is created first and has read [SubOptions] by now.
    if (!SubmitMain)
        return;
    const TSubmitOptions& options = SubmitMain->Run().Options;
    TimeOuts->SetText(IntToStr(options.Timeout));
    Ports->SetText(IntToStr(options.Ports));
}

void TLiveResult::FormShow(TObject*)
{
    ApplyDefaultSkin(*SkinForm1, MainAppFolder());
}

// --- the options ---------------------------------------------------------------------------

void TLiveResult::Button1Click(TObject*)
{
    // Both are checked before either is stored: a refused value writes
    // nothing, so a run can never be set to start no request at all.
    int timeout = 0;
    int ports = 0;
    for (const auto& [text, what, value] :
         {std::tuple{TimeOuts->Text(), "Timeout", &timeout}, std::tuple{Ports->Text(), "Ports", &ports}}) {
        if (const auto refusal = CheckSubmitOption(text, what, *value)) {
            Application->MessageBox(*refusal, "Submit Options", MB_OK | MB_ICONEXCLAMATION);
            return;
        }
    }
    const CodePageString folder = MainAppFolder();
    TIniFile settings(AppPath(folder, SettingsFileName));
    // Both in one rewrite: a failed save leaves neither half of it.
    settings.WriteValues({{"SubOptions", "Timeout", IntToStr(timeout)}, {"SubOptions", "Ports", IntToStr(ports)}});
    if (SubmitMain)
        SubmitMain->Run().Options = {ports, timeout};
}

// --- the proxy -----------------------------------------------------------------------------

void TLiveResult::SetSubmitProxy(const ProxySettings& settings)
{
    FProxy = settings;
    HandProxyTo(*HttpCli1, settings);
}

// --- the run's requests ------------------------------------------------------------------

int TLiveResult::Seconds() const
{
    return SubmitMain ? SubmitMain->Run().Seconds() : 0;
}

int TLiveResult::RunningCount() const
{
    return SubmitMain ? SubmitMain->Run().RunningCount() : 0;
}

void TLiveResult::RequestStarted(TListItem* row, int second)
{
    FRunningRows.push_back(row);
    ListBox4->Items()->Add(IntToStr(row ? row->Index() : -1));
    ListBox5->Items()->Add(IntToStr(second));
}

void TLiveResult::RequestEnded(std::size_t place)
{
    if (place >= FRunningRows.size())
        return;
    FRunningRows.erase(FRunningRows.begin() + static_cast<std::ptrdiff_t>(place));
    ListBox4->Items()->Delete(static_cast<int>(place));
    ListBox5->Items()->Delete(static_cast<int>(place));
}

void TLiveResult::Timer5Timer(TObject*)
{
    if (SubmitMain)
        SubmitMain->Run().Tick();
}

void TLiveResult::RowDeleted(TListItem* row)
{
    // Called while the row is being deleted: the rows after it move up by
    // one once it is gone. A request whose row is gone shows -1.
    const int gone = row->Index();
    for (std::size_t i = 0; i < FRunningRows.size(); ++i) {
        if (FRunningRows[i] == row)
            FRunningRows[i] = nullptr;
        int index = FRunningRows[i] ? FRunningRows[i]->Index() : -1;
        if (index > gone)
            --index;
        const CodePageString shown = IntToStr(index);
        if (ListBox4->Items()->Strings(static_cast<int>(i)) != shown)
            ListBox4->Items()->SetStrings(static_cast<int>(i), shown);
    }
}
