#include "workbench/UpdateData.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "classlib/Controls.h"
#include "classlib/Forms.h"
#include "classlib/IniFiles.h"
#include "platform/Hooks.h"
#include "transport/HttpProt.h"
#include "unrar/EntryName.h"
#include "workbench/RARArc.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const AnsiString& what, const std::error_code& error)
{
    throw EInOutError(what + ". " + error.message());
}

}  // namespace

AnsiString UpdateServerAddress(const TIniFile& settings)
{
    AnsiString server = settings.ReadString("Update", "Server", DefaultUpdateServer);
    while (!server.empty() && server.back() == '/')
        server.pop_back();
    return server.empty() ? AnsiString(DefaultUpdateServer) : server;
}

AnsiString FindIgnoringCase(const AnsiString& folder, const AnsiString& relative)
{
    const AnsiString wanted = unrar::SafeRelativePath(relative);
    if (wanted.empty())
        return folder + "/" + relative;
    fs::path at(folder);
    std::size_t start = 0;
    while (start <= wanted.size()) {
        std::size_t end = wanted.find('/', start);
        if (end == AnsiString::npos)
            end = wanted.size();
        const AnsiString part = wanted.substr(start, end - start);
        fs::path found = at / part;
        std::error_code ec;
        if (!fs::exists(found, ec)) {
            for (const auto& item : fs::directory_iterator(at, ec)) {
                if (SameText(item.path().filename().string(), part)) {
                    found = item.path();
                    break;
                }
            }
        }
        at = found;
        start = end + 1;
    }
    return at.string();
}

std::vector<AnsiString> UnpackNames(const TStrings& list)
{
    std::vector<AnsiString> names;
    for (int i = 0; i < list.Count(); ++i) {
        const AnsiString line = list.Strings(i);
        if (Trim(line).empty())
            continue;
        const AnsiString name = unrar::SafeRelativePath(line);
        if (name.empty())
            throw EInOutError("The update list names a file outside the data folder: \"" + line + "\".");
        names.push_back(name);
    }
    return names;
}

void InstallStagedFiles(const AnsiString& staging, const AnsiString& target)
{
    std::error_code ec;
    std::vector<fs::path> files;
    for (auto it = fs::recursive_directory_iterator(staging, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (it->is_regular_file(ec))
            files.push_back(fs::relative(it->path(), staging, ec));
    if (ec)
        Fail("Cannot read \"" + staging + "\"", ec);
    for (const fs::path& file : files) {
        const fs::path to = FindIgnoringCase(target, file.generic_string());
        fs::create_directories(to.parent_path(), ec);
        if (ec)
            Fail("Cannot create \"" + to.parent_path().string() + "\"", ec);
        fs::rename(fs::path(staging) / file, to, ec);
        if (ec)
            Fail("Cannot move \"" + (fs::path(staging) / file).string() + "\" to \"" + to.string() + "\"", ec);
    }
}

void RemoveFolder(const AnsiString& path)
{
    std::error_code ec;
    fs::remove_all(path, ec);
}

void ReplaceProgram(const AnsiString& newProgram, const AnsiString& program)
{
    if (::chmod(newProgram.c_str(), 0755) != 0)
        Fail("Cannot make \"" + newProgram + "\" executable", std::error_code(errno, std::generic_category()));
    if (std::rename(newProgram.c_str(), program.c_str()) != 0)
        Fail("Cannot rename \"" + newProgram + "\" to \"" + program + "\"", std::error_code(errno, std::generic_category()));
}

AnsiString DownloadUpdateFile(TCustomHttpCli& client, const std::function<void()>& get, const AnsiString& file,
                              TControl& abort)
{
    TFileStream stream(file, fmCreate);
    client.ReceiveStream = &stream;
    abort.SetEnabled(true);
    AnsiString status;
    try {
        get();
        status = "Status: Received " + IntToStr(stream.Size()) + " bytes";
    } catch (const EHttpException&) {
        status = "Status: Failed : " + IntToStr(client.HttpStatus()) + " " + client.StatusText();
    } catch (...) {
        abort.SetEnabled(false);
        client.ReceiveStream = nullptr;
        throw;
    }
    abort.SetEnabled(false);
    client.ReceiveStream = nullptr;
    return status;
}

bool UpdateArchiveTestsGood(TRAR& rar)
{
    if (!rar.LoadedDLL()) {
        Application->MessageBox("The RAR library libunrar.so could not be loaded.", "Error", MB_OK | MB_ICONERROR);
        return false;
    }
    if (!rar.Test()) {
        Application->MessageBox("Archive is corrupted", "Information", MB_OK | MB_ICONINFORMATION);
        return false;
    }
    return true;
}
