#include "updater/UpdaterWindow.h"

#include <algorithm>
#include <climits>
#include <exception>

#include "classlib/BasicControls.h"
#include "classlib/Files.h"
#include "classlib/IniFiles.h"
#include "classlib/ListView.h"
#include "classlib/ProgressBar.h"
#include "platform/Hooks.h"
#include "platform/Shell.h"
#include "transport/UpdHttpProt.h"
#include "workbench/FormBuild.h"
#include "workbench/Proxyset.h"
#include "workbench/RARArc.h"
#include "workbench/UpdateData.h"

TForm1* Form1 = nullptr;

namespace {

constexpr UINT WM_START_UPDATE = WM_USER + 1;

}  // namespace

TForm1::TForm1(TComponent* AOwner) : TForm(AOwner)
{
    MakeToolWindow(*this, "Form1", "Software Updater", 295, 103);
    SetFormStyle(fsStayOnTop);

    GroupBox1 = Place<TGroupBox>(this, this, "GroupBox1", 6, 4, 283, 54);
    GroupBox1->SetCaption("Status");
    Label1 = PlaceLabel(this, GroupBox1, "Label1", "Connecting:", 10, 18);
    Label2 = PlaceLabel(this, GroupBox1, "Label2", "", 10, 34);
    UpdateBar1 = Place<TProgressBar>(this, this, "UpdateBar1", 6, 64, 283, 12);
    UpdateBar1->SetMin(0);
    UpdateBar1->SetMax(100);
    UpdateAbort = Place<TButton>(this, this, "UpdateAbort", 190, 80, 99, 21);
    UpdateAbort->SetCaption("Cancel Update");
    UpdateAbort->OnClick = [this](TObject* sender) { UpdateAbortClick(sender); };

    HttpCli2 = NewComponent<UpdHttp::THttpCli>(this, "HttpCli2");
    HttpCli2->OnHeaderEnd = [this](TObject* sender) { HttpCli2HeaderEnd(sender); };
    HttpCli2->OnDocData = [this](TObject* sender, const char* buffer, int len) { HttpCli2DocData(sender, buffer, len); };
    RAR1 = NewComponent<TRAR>(this, "RAR1");
    RAR1->OnExtracting = [this](TObject* sender, const RARHeaderData& entry) { RAR1Extracting(sender, entry); };
    RAR1->OnProcessData = [this](TObject* sender, char* addr, int size, int position) {
        return RAR1ProcessData(sender, addr, size, position);
    };

    // A window manager may show the window without activating it; the update
    // then begins once the window is up all the same.
    FStartWindow = AllocateHWnd([this](TMessage& message) {
        if (message.Msg == WM_START_UPDATE)
            FormActivate(this);
    });

    OnCreate = [this](TObject* sender) { FormCreate(sender); };
    OnActivate = [this](TObject* sender) { FormActivate(sender); };
    OnShow = [this](TObject* sender) { FormShow(sender); };
}

TForm1::~TForm1()
{
    DeallocateHWnd(FStartWindow);
    DestroyComponents();
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::FormCreate(TObject*)
{
    FWorkFolder = GetCurrentDir();
    FStarted = false;
}

void TForm1::FormShow(TObject*)
{
    PostMessage(FStartWindow, WM_START_UPDATE, 0, 0);
}

void TForm1::FormActivate(TObject*)
{
    if (FBegun)
        return;
    FBegun = true;
    FStarted = true;
    try {
        RunUpdate();
    } catch (const std::exception& e) {
        // The update ends here and the window stays, showing why.
        Application->HandleException(this, &e);
    }
}

CodePageString TForm1::AppName() const
{
    try {
        return TIniFile(FWorkFolder + "/wkt.ini").ReadString("rur", "appname", "Empty");
    } catch (const std::exception&) {
        return "";
    }
}

CodePageString TForm1::ProgramName() const
{
    return PlainProgramName(AppName());
}

void TForm1::StartProgram()
{
    const CodePageString program = ProgramName();
    if (!program.empty())
        ShellExecute(0, "open", FindIgnoringCase(FWorkFolder, program), "", "", SW_SHOWNORMAL);
}

void TForm1::RunUpdate()
{
    const CodePageString archive = FWorkFolder + "/" + SoftwareArchiveFileName;
    const CodePageString staging = FWorkFolder + "/" + SoftwareStagingFolderName;
    // The program to replace is named by the settings installed here, read
    // before anything comes from the archive, and must be a file of this
    // folder: nothing else may be written or started.
    const CodePageString program = ProgramName();
    if (program.empty()) {
        Label1->SetCaption("Status: Failed");
        Application->MessageBox("The program's name in wkt.ini ([rur] appname) is not a file name of this folder: \"" +
                                    AppName() + "\". Nothing was updated.",
                                "Error", MB_OK | MB_ICONERROR);
        Close();
        return;
    }
    // What an earlier update left is never installed by this one.
    RemoveFolder(staging);
    const CodePageString leftOver = FindIgnoringCase(FWorkFolder, NewProgramFileName);
    if (FileExists(leftOver))
        DeleteFile(leftOver);

    {
        const TIniFile settings(FWorkFolder + "/wkt.ini");
        HttpCli2->URL = UpdateServerAddress(settings) + SoftwareArchiveUrlPath;
        HandProxyTo(*HttpCli2, ReadProxySettings(settings));
    }
    Label1->SetCaption("Status: Loading");
    const TUpdateDownload download = DownloadUpdateFile(*HttpCli2, [this] { HttpCli2->Get(); }, archive, *UpdateAbort);
    Label1->SetCaption(download.Status);
    if (download.Complete) {
        Label1->SetCaption("Status: Extracting");
        UpdateBar1->SetVisible(true);
        InstallNewProgram(archive, staging, program);
    } else if (!download.WriteError.empty()) {
        TellDownloadNotWritten(download);
    } else if (FStarted) {
        Application->MessageBox("No Update Available at this time... Please try again later.", "No Update",
                                MB_OK | MB_ICONEXCLAMATION);
    }
    if (FileExists(archive))
        DeleteFile(archive);
    RemoveFolder(staging);
    // A cancel has started the old program already.
    if (FStarted)
        StartProgram();
    Close();
}

bool TForm1::InstallNewProgram(const CodePageString& archive, const CodePageString& staging, const CodePageString& program)
{
    RAR1->ArchiveName = archive;
    if (!UpdateArchiveTestsGood(*RAR1))
        return false;
    // The whole archive comes out into the staging folder first: the old
    // program is touched only once every entry has come out whole.
    RAR1->TargetDir = staging;
    if (!ExtractUpdateArchive(*RAR1, "The update could not be extracted."))
        return false;
    // Only the new program is taken from the archive. Anything else it holds
    // (settings, the updater, the archive library, data) is left out with the
    // staging folder: the installation keeps its own.
    const CodePageString staged = FindIgnoringCase(staging, NewProgramFileName);
    if (!FileExists(staged)) {
        Application->MessageBox("Archive is corrupted", "Information", MB_OK | MB_ICONINFORMATION);
        return false;
    }
    CrashPoint("rename");
    // Beside the old program first, then over it in one rename; a failure
    // raises, and both files stay for the user to see.
    const CodePageString newProgram = FWorkFolder + "/" + NewProgramFileName;
    ReplaceProgram(staged, newProgram);
    CrashPoint("replace");
    ReplaceProgram(newProgram, FindIgnoringCase(FWorkFolder, program));
    if (!NewVersion.empty()) {
        try {
            TIniFile(FWorkFolder + "/wkt.ini").WriteString("rur", "version", NewVersion);
        } catch (const std::exception&) {
            // Unrecorded, the update is only offered once more.
        }
    }
    return true;
}

void TForm1::UpdateAbortClick(TObject*)
{
    FStarted = false;
    HttpCli2->Abort();
    StartProgram();
    Close();
}

void TForm1::HttpCli2HeaderEnd(TObject*)
{
    const int length = HttpCli2->DocLength();
    Label2->SetCaption(IntToStr(length));
    // Without a length the bar stays where it is.
    FLengthKnown = length >= 0;
    if (FLengthKnown) {
        UpdateBar1->SetMax(length);
        UpdateBar1->SetPosition(0);
    }
}

void TForm1::HttpCli2DocData(TObject*, const char*, int)
{
    CrashPoint("download");
    const std::int64_t size = HttpCli2->ReceiveStream ? HttpCli2->ReceiveStream->Size() : 0;
    Label1->SetCaption("Status: Received " + IntToStr(size) + " bytes");
    if (FLengthKnown)
        UpdateBar1->SetPosition(static_cast<int>(std::min<std::int64_t>(size, INT_MAX)));
}

void TForm1::RAR1Extracting(TObject*, const RARHeaderData& eFile)
{
    UpdateBar1->SetMin(0);
    UpdateBar1->SetPosition(0);
    UpdateBar1->SetMax(static_cast<int>(std::min<unsigned>(eFile.UnpSize, INT_MAX)));
}

int TForm1::RAR1ProcessData(TObject*, char*, int, int Position)
{
    CrashPoint("extract");
    UpdateBar1->SetPosition(Position);
    return 1;
}
