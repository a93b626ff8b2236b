#include "MainFixture.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "classlib/Files.h"
#include "classlib/Forms.h"
#include "classlib/ListView.h"
#include "classlib/PageControl.h"
#include "classlib/ProgressBar.h"
#include "controls/ExListV.h"
#include "controls/ImgBtn.h"
#include "controls/LedLbl.h"
#include "support/UserClick.h"
#include "workbench/EngineData.h"
#include "workbench/ProjectData.h"
#include "workbench/SubmitMain.h"
#include "workbench/Tenvarel.h"

namespace fs = std::filesystem;

TInstallFolder::TInstallFolder() : FDir("tenvarel-install")
{
    const fs::path source = TENVAREL_SOURCE_DIR "/appdata";
    const fs::path built = TENVAREL_BUILD_DIR "/appdata/data";
    const fs::path root = Path();
    for (const char* name : {"wkt.ini", "logo.jpg"})
        fs::copy_file(source / name, root / name);
    fs::create_directories(root / "data/session");
    fs::create_directories(root / "reports");
    fs::create_directories(root / "doorways");
    for (const char* name : {"data/datam.czc", "data/catagory.zro", "data/session/session.zro"})
        fs::copy_file(source / name, root / name);
    for (const char* name : {"data.czc", "datac.czc"})
        fs::copy_file(built / name, root / "data" / name);
    fs::copy_file(TENVAREL_BUILD_DIR "/libunrar.so", root / "libunrar.so");
}

std::string TInstallFolder::Read(const std::string& relative) const
{
    std::ifstream in(File(relative), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void TInstallFolder::Remove(const std::string& relative) const
{
    fs::remove(File(relative));
}

TBoxRecorder::TBoxRecorder(int answer)
{
    GetHooks().messageBox = [this, answer](const MessageBoxCall& call) {
        Boxes.push_back(call);
        if (Answers.empty())
            return answer;
        const int scripted = Answers.front();
        Answers.pop_front();
        return scripted;
    };
    GetHooks().errorBox = [this](const std::string& message) { Errors.push_back(message); };
}

TBoxRecorder::~TBoxRecorder()
{
    ResetHooks();
}

bool operator==(const MessageBoxCall& a, const MessageBoxCall& b)
{
    return a.text == b.text && a.caption == b.caption && a.flags == b.flags;
}

void PrintTo(const MessageBoxCall& box, std::ostream* os)
{
    *os << "{\"" << box.caption << "\", \"" << box.text << "\", " << box.flags << "}";
}

TRunningProgram::TRunningProgram(const TInstallFolder& folder) : FOldDir(GetCurrentDir())
{
    SetCurrentDir(folder.Path());
    CreateProgramForms();
}

TRunningProgram::~TRunningProgram()
{
    Application->Reset();
    SetCurrentDir(FOldDir);
}

std::vector<std::string> EngineFileLines(const std::string& path)
{
    TStringList lines;
    LoadScrambledStrings(path, lines, EngineCipherStart);
    std::vector<std::string> out;
    for (int i = 0; i < lines.Count(); ++i)
        out.push_back(lines.Strings(i));
    return out;
}

std::string ScrambledEngineFile(const std::vector<std::string>& records)
{
    std::string text;
    for (const std::string& record : records)
        text += record + "\r\n";
    return ScrambleBytes(text, EngineCipherStart);
}

TListItem* RowOf(const std::string& caption)
{
    TListItems* rows = SubmitMain->ExListView2->Items();
    for (int i = 0; i < rows->Count(); ++i)
        if (rows->Item(i)->CaptionRef() == caption)
            return rows->Item(i);
    return nullptr;
}

const std::vector<std::string>& ReportTableHead()
{
    static const std::vector<std::string> head = {
        "<table border=\"1\" cellspacing=\"0\" width=\"100%\">",
        "<tr><td BGCOLOR=\"#C0C0C0\"><B>Buscador</B></td>",
        "<td BGCOLOR=\"#C0C0C0\"><B>URL</B></td>",
        "<td BGCOLOR=\"#C0C0C0\"><B>Resultado</B></td>",
        "<td BGCOLOR=\"#C0C0C0\"><B>Fecha</B></td>",
        "<td BGCOLOR=\"#C0C0C0\"><B>Tipo</B></td></tr>",
    };
    return head;
}

void PressNewProject() { SubmitMain->ImgBtn1->Click(); }
void PressSaveProject() { SubmitMain->ImgBtn2->Click(); }
std::string ProjectCount() { return SubmitMain->LedLabel1->Text(); }

void UserPressImport() { ClickAt(SubmitMain->Button3, 4, 4); }
void UserPressAbortImport() { ClickAt(SubmitMain->Button4, 4, 4); }
void UserPressApplyImport() { ClickAt(SubmitMain->Button5, 4, 4); }
bool ImportEnabled() { return SubmitMain->Button3->Enabled(); }
bool AbortImportEnabled() { return SubmitMain->Button4->Enabled(); }

void PressSubmit() { SubmitMain->Button6->Click(); }
void PressStopSubmission() { SubmitMain->Button7->Click(); }
bool SubmitEnabled() { return SubmitMain->Button6->Enabled(); }
bool StopSubmissionEnabled() { return SubmitMain->Button7->Enabled(); }
std::string SucceededCount() { return SubmitMain->LedLabel2->Text(); }
std::string FailedCount() { return SubmitMain->LedLabel3->Text(); }
std::string TimedOutCount() { return SubmitMain->LedLabel4->Text(); }

void StartRankingCheck() { SubmitMain->Button8->Click(); }
void StopRankingCheck() { SubmitMain->Button9->Click(); }
bool StartRankingEnabled() { return SubmitMain->Button8->Enabled(); }
bool StopRankingEnabled() { return SubmitMain->Button9->Enabled(); }

void PressGenerateTags() { SubmitMain->Button10->Click(); }
void PressApplyTags() { SubmitMain->Button12->Click(); }
