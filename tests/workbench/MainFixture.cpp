#include "MainFixture.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "classlib/Forms.h"
#include "classlib/SysUtils.h"
#include "workbench/EngineData.h"
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
        return answer;
    };
    GetHooks().errorBox = [this](const std::string& message) { Errors.push_back(message); };
}

TBoxRecorder::~TBoxRecorder()
{
    ResetHooks();
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
