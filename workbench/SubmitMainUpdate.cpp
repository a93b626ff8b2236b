// The main window's database and software update: the download from the
// update server into the update window, the archive's test, its extraction
// into a staging folder where the listed files are scrambled, the move into
// the data folder, the reload, and the start of the updater when a new
// program version is announced.
//
// Nothing reaches the data folder before the whole update has checked out:
// a failed download, a damaged archive or a bad update list leaves the old
// database as it was.
#include "workbench/SubmitMain.h"

#include <algorithm>
#include <climits>
#include <exception>

#include "classlib/BasicControls.h"
#include "classlib/DocumentContainer.h"
#include "classlib/FileListBox.h"
#include "classlib/Files.h"
#include "classlib/FlagScope.h"
#include "classlib/IniFiles.h"
#include "classlib/ListView.h"
#include "classlib/Menus.h"
#include "classlib/PageControl.h"
#include "classlib/ProgressBar.h"
#include "controls/ExListV.h"
#include "controls/ImgBtn.h"
#include "platform/Hooks.h"
#include "transport/HttpProt.h"
#include "workbench/EngineData.h"
#include "workbench/FormBuild.h"
#include "workbench/RARArc.h"
#include "workbench/UpdateBox.h"
#include "workbench/UpdateData.h"

namespace {

// The updater's file in the application folder, and its package.
constexpr const char* UpdaterPackageName = "updater";

}  // namespace

void TSubmitMain::WireUpdate()
{
    RAR1 = NewComponent<TRAR>(this, "RAR1");
    RAR1->OnExtracting = [this](TObject* sender, const RARHeaderData& entry) { RAR1Extracting(sender, entry); };
    RAR1->OnProcessData = [this](TObject* sender, char* addr, int size, int position) {
        return RAR1ProcessData(sender, addr, size, position);
    };
    Ole1 = NewComponent<TOleContainer>(this, "Ole1");
    Ole1->PackageName = UpdaterPackageName;
    HttpCli2->OnDocData = [this](TObject* sender, const char* buffer, int len) { HttpCli2DocData(sender, buffer, len); };
    UpdateDatabase1->OnClick = Calls(&TSubmitMain::UpdateDatabase1Click);
    // The update works on the window's lists and files to its end.
    OnCloseQuery = [this, previous = OnCloseQuery](TObject* sender, bool& canClose) {
        if (previous)
            previous(sender, canClose);
        if (FUpdating)
            canClose = false;
    };
}

void TSubmitMain::UpdateDatabase1Click(TObject*)
{
    if (FUpdating || !UpdateBox)
        return;
    bool updaterStarted = false;
    {
        const TFlagScope updating(FUpdating);
        UpdateDatabase1->SetEnabled(false);
        const TFinally enable{[this] { UpdateDatabase1->SetEnabled(true); }};
        try {
            updaterStarted = RunDatabaseUpdate();
        } catch (const std::exception& e) {
            Application->HandleException(this, &e);
        }
    }
    // The updater replaces this program and starts it again.
    if (updaterStarted)
        Close();
}

bool TSubmitMain::RunDatabaseUpdate()
{
    TUpdateBox& box = *UpdateBox;
    const CodePageString archive = AppPath(AppFolder, DatabaseArchiveFileName);
    const CodePageString staging = AppPath(AppFolder, UpdateStagingFolderName);
    // A backup that could not be put back stays, with its journal, for the
    // next start to try again.
    const TFinally cleanUp{[&] {
        DeleteFile(archive);
        RemoveFolder(staging);
        box.UpdateBar1->SetVisible(false);
        box.Close();
    }};

    // What an earlier update left is undone first; an update never starts
    // over files it could not put back.
    RecoverUpdate(AppFolder);
    box.Show();
    HttpCli2->URL = UpdateServerAddress(TIniFile(AppPath(AppFolder, SettingsFileName))) + DatabaseArchiveUrlPath;
    box.InfoLabel->SetCaption("Status: Loading");
    const TUpdateDownload download = DownloadUpdateFile(*HttpCli2, [this] { HttpCli2->Get(); }, archive, *box.UpdateAbort);
    box.InfoLabel->SetCaption(download.Status);
    if (!download.WriteError.empty()) {
        TellDownloadNotWritten(download);
        return false;
    }
    if (!download.Complete) {
        Application->MessageBox("No Update Available at this time... Please try again later.", "No Update",
                                MB_OK | MB_ICONEXCLAMATION);
        return false;
    }

    box.InfoLabel->SetCaption("Status: Extracting");
    box.UpdateBar1->SetVisible(true);
    RAR1->ArchiveName = archive;
    if (InstallDatabaseUpdate(staging)) {
        if (Application->MessageBox("Update Complete.\n Do you wish to Load the updated database  ?", "Update Complete",
                                    MB_YESNO | MB_ICONQUESTION) == IDYES)
            ReloadEngineDatabase();
    }
    box.UpdateBar1->SetVisible(false);
    return CheckSoftwareUpdate();
}

bool TSubmitMain::InstallDatabaseUpdate(const CodePageString& staging)
{
    // Each failure has its own message: no library, a damaged archive, or
    // an archive that could not be written out.
    if (!UpdateArchiveTestsGood(*RAR1))
        return false;
    RemoveFolder(staging);
    RAR1->TargetDir = staging;
    if (!ExtractUpdateArchive(*RAR1, "The update could not be extracted into the data folder."))
        return false;
    // A missing list, a listed file that is missing and a name outside the
    // data folder each raise, and the update ends with nothing installed.
    CrashPoint("extract");
    const CodePageString unpackList = FindIgnoringCase(staging, UnpackListName);
    {
        TStringList list;
        list.LoadFromFile(unpackList);
        for (const CodePageString& name : UnpackNames(list)) {
            const CodePageString file = FindIgnoringCase(staging, name);
            ScrambleFile(file, file, EngineCipherStart);
        }
    }
    DeleteFile(unpackList);
    // Every file of the archive lands in the data folder but the user's own
    // (custom engines, projects), all of them or, on a failure, none.
    InstallStagedFiles(staging, AppPath(AppFolder, DataFolderName), AppPath(AppFolder, UpdateBackupFolderName),
                       IsUserDataName);
    return true;
}

void TSubmitMain::ReloadEngineDatabase()
{
    EngineList->Clear();
    ExListView2->Items()->Clear();
    UpdateBox->InfoLabel->SetCaption("Reloading database");
    TellLeftOutLines(LoadEngineFiles(nullptr, UpdateBox->UpdateBar1));
    FilterEngineList(this);
}

bool TSubmitMain::CheckSoftwareUpdate()
{
    const CodePageString info = AppPath(AppFolder, UpdateInfoFileName);
    if (!FileExists(info))
        return false;
    const CodePageString newVersion = ReadSettingOrEmpty(info, "rur", "version2", "Empty");
    const CodePageString version = ReadSettingOrEmpty(AppPath(AppFolder, SettingsFileName), "rur", "version", "Empty");
    DeleteFile(info);
    if (newVersion == version)
        return false;
    if (Application->MessageBox("Software Updater Has Detected a Software Update v" + newVersion +
                                    "\n Make sure you have saved any projects you are currently working on before "
                                    "you update the software\nDo you want to continue to do the software update?",
                                "Software Updater", MB_YESNO | MB_ICONQUESTION) != IDYES)
        return false;

    // The updater records the new version once the new program is in place,
    // so that an update that fails is offered again.
    Ole1->Parameters = {newVersion};
    // The updater works in the folder it starts in: the application folder.
    FileListBox1->SetDirectory(AppFolder);
    try {
        Ole1->DoVerb(ovPrimary);
    } catch (const EOleError& e) {
        FileListBox1->SetDirectory(AppPath(AppFolder, ReportsFolderName));
        Application->ShowException(&e);
        return false;
    }
    return true;
}

void TSubmitMain::HttpCli2DocData(TObject*, const char*, int)
{
    if (UpdateBox)
        UpdateBox->InfoLabel->SetCaption("Status: " + IntToStr(HttpCli2->ReceivedBytes()));
}

void TSubmitMain::RAR1Extracting(TObject*, const RARHeaderData& eFile)
{
    if (!UpdateBox)
        return;
    TProgressBar& bar = *UpdateBox->UpdateBar1;
    bar.SetMin(0);
    bar.SetPosition(0);
    bar.SetMax(static_cast<int>(std::min<unsigned>(eFile.UnpSize, INT_MAX)));
}

int TSubmitMain::RAR1ProcessData(TObject*, char*, int, int Position)
{
    if (UpdateBox)
        UpdateBox->UpdateBar1->SetPosition(Position);
    return 1;
}
