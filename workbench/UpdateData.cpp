#include "workbench/UpdateData.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <system_error>

#include "classlib/Controls.h"
#include "classlib/Files.h"
#include "classlib/Forms.h"
#include "classlib/IniFiles.h"
#include "platform/Hooks.h"
#include "transport/HttpProt.h"
#include "unrar/EntryName.h"
#include "workbench/RARArc.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const CodePageString& what, const std::error_code& error)
{
    throw EInOutError(what + ". " + error.message());
}

}  // namespace

CodePageString UpdateServerAddress(const TIniFile& settings)
{
    CodePageString server = settings.ReadString("Update", "Server", DefaultUpdateServer);
    while (!server.empty() && server.back() == '/')
        server.pop_back();
    return server.empty() ? CodePageString(DefaultUpdateServer) : server;
}

CodePageString FindIgnoringCase(const CodePageString& folder, const CodePageString& relative)
{
    const CodePageString wanted = unrar::SafeRelativePath(relative);
    if (wanted.empty())
        return folder + "/" + relative;
    fs::path at(folder);
    std::size_t start = 0;
    while (start <= wanted.size()) {
        std::size_t end = wanted.find('/', start);
        if (end == CodePageString::npos)
            end = wanted.size();
        const CodePageString part = wanted.substr(start, end - start);
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

std::vector<CodePageString> UnpackNames(const TStrings& list)
{
    std::vector<CodePageString> names;
    for (int i = 0; i < list.Count(); ++i) {
        const CodePageString line = list.Strings(i);
        if (Trim(line).empty())
            continue;
        const CodePageString name = unrar::SafeRelativePath(line);
        if (name.empty())
            throw EInOutError("The update list names a file outside the data folder: \"" + line + "\".");
        names.push_back(name);
    }
    return names;
}

bool IsUserDataName(const CodePageString& relative)
{
    const CodePageString name = LowerCase(unrar::SafeRelativePath(relative));
    auto inFolder = [&](const char* folder) {
        const std::size_t n = std::strlen(folder);
        return name.compare(0, n, folder) == 0 && (name.size() == n || name[n] == '/');
    };
    return name == "datac.czc" || name == "pro.zrc" || inFolder("session") || inFolder("update.tmp") ||
           inFolder("update.old");
}

namespace {

// One file of an install: where it is staged, the place it takes (both
// relative), and whether a file stood there before.
struct TStagedMove {
    std::string staged;
    std::string target;
    bool existed = false;
};

constexpr const char* JournalName = "journal";

// The journal: a line per file, "<0 or 1> TAB staged TAB target". Names hold
// no control characters, so a TAB or a line end never occurs in one.
std::string JournalText(const std::vector<TStagedMove>& moves)
{
    std::string text;
    for (const TStagedMove& m : moves)
        text += std::string(m.existed ? "1" : "0") + '\t' + m.staged + '\t' + m.target + "\r\n";
    return text;
}

std::vector<TStagedMove> ReadJournal(const fs::path& path)
{
    TStringList lines;
    lines.LoadFromFile(path.string());
    std::vector<TStagedMove> moves;
    for (int i = 0; i < lines.Count(); ++i) {
        const std::string line = lines.Strings(i);
        const std::size_t first = line.find('\t');
        const std::size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
        if (second == std::string::npos)
            continue;
        TStagedMove m{line.substr(first + 1, second - first - 1), line.substr(second + 1), line.compare(0, first, "1") == 0};
        // Only names that stay below their folders, and never the user's
        // own files, are ever acted on.
        if (unrar::SafeRelativePath(m.staged) == m.staged && unrar::SafeRelativePath(m.target) == m.target &&
            !IsUserDataName(m.target))
            moves.push_back(std::move(m));
    }
    return moves;
}

bool Present(const fs::path& path)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

// Puts every file of the moves back as it was before the install: a file
// that was replaced comes back from the backup, a file that was new goes.
// Throws EInOutError, after trying every file, when one cannot be put back.
void PutBack(const fs::path& staging, const fs::path& target, const fs::path& backup,
             const std::vector<TStagedMove>& moves)
{
    CodePageString failed;
    for (auto m = moves.rbegin(); m != moves.rend(); ++m) {
        const fs::path placed = target / m->target;
        const fs::path saved = backup / m->target;
        std::error_code ec;
        if (m->existed) {
            if (!Present(saved))
                continue;  // never moved: the old file is still in its place
            if (Present(placed))
                fs::remove_all(placed, ec);  // the new file, put there after the old one left
            fs::rename(saved, placed, ec);
        } else if (!Present(staging / m->staged) && Present(placed)) {
            fs::remove(placed, ec);
        }
        if (ec && failed.empty())
            failed = "Cannot put back \"" + placed.string() + "\". " + ec.message();
    }
    if (!failed.empty())
        throw EInOutError(failed);
}

// Makes what was removed from a folder durable.
void SyncFolder(const CodePageString& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void CreateParents(const fs::path& path)
{
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (ec)
        Fail("Cannot create \"" + path.parent_path().string() + "\"", ec);
}

void Move(const fs::path& from, const fs::path& to)
{
    CreateParents(to);
    std::error_code ec;
    fs::rename(from, to, ec);
    if (ec)
        Fail("Cannot move \"" + from.string() + "\" to \"" + to.string() + "\"", ec);
}

}  // namespace

void InstallStagedFiles(const CodePageString& staging, const CodePageString& target, const CodePageString& backup,
                        const std::function<bool(const CodePageString&)>& leftOut)
{
    std::error_code ec;
    std::vector<TStagedMove> moves;
    std::set<std::string> targets;
    for (auto it = fs::recursive_directory_iterator(staging, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_regular_file(ec))
            continue;
        const std::string staged = fs::relative(it->path(), staging, ec).generic_string();
        if (leftOut && leftOut(staged))
            continue;
        const fs::path to = FindIgnoringCase(target, staged);
        const std::string relative = fs::path(to).lexically_relative(target.c_str()).generic_string();
        if (unrar::SafeRelativePath(relative) != relative || (leftOut && leftOut(relative)))
            throw EInOutError("The update cannot be installed as \"" + to.string() + "\".");
        // Only a plain file is ever replaced: a folder would go with its
        // contents, and a link would have its target replaced.
        const fs::file_status status = fs::symlink_status(to, ec);
        if (fs::exists(status) && !fs::is_regular_file(status))
            throw EInOutError("The update cannot replace \"" + to.string() + "\", which is not a plain file.");
        if (!targets.insert(relative).second)
            throw EInOutError("The update holds two files for \"" + to.string() + "\".");
        moves.push_back({staged, relative, Present(to)});
    }
    if (ec)
        Fail("Cannot read \"" + staging + "\"", ec);
    std::sort(moves.begin(), moves.end(), [](const TStagedMove& a, const TStagedMove& b) { return a.staged < b.staged; });

    // The files of an earlier install that could not be put back wait in
    // the backup; they are never thrown away for a new one.
    if (Present(fs::path(backup.c_str()) / JournalName))
        throw EInOutError("An earlier update could not be undone; its files wait in \"" + backup + "\".");
    // The journal is on disk before the first file moves, so that a process
    // killed from here on can be undone at the next start.
    RemoveFolder(backup);
    fs::create_directories(backup.c_str(), ec);
    if (ec)
        Fail("Cannot create \"" + backup + "\"", ec);
    WriteFileAtomic(backup + "/" + JournalName, JournalText(moves));
    try {
        for (const TStagedMove& m : moves) {
            if (m.existed) {
                CrashPoint("install");
                Move(fs::path(target) / m.target, fs::path(backup) / m.target);
            }
            CrashPoint("install");
            Move(fs::path(staging) / m.staged, fs::path(target) / m.target);
        }
    } catch (const std::exception&) {
        PutBack(staging.c_str(), target.c_str(), backup.c_str(), moves);
        RemoveFolder(backup);
        throw;
    }
    // Done once the journal is gone for good; the old files go after it.
    fs::remove(fs::path(backup) / JournalName, ec);
    if (ec)
        Fail("Cannot remove \"" + backup + "/" + JournalName + "\"", ec);
    SyncFolder(backup);
    RemoveFolder(backup);
}

void RecoverUpdate(const CodePageString& appFolder)
{
    const fs::path staging = AppPath(appFolder, UpdateStagingFolderName).c_str();
    const fs::path backup = AppPath(appFolder, UpdateBackupFolderName).c_str();
    if (Present(backup / JournalName))
        PutBack(staging, AppPath(appFolder, DataFolderName).c_str(), backup, ReadJournal(backup / JournalName));
    RemoveFolder(backup.string());
    RemoveFolder(staging.string());
    std::error_code ec;
    fs::remove(AppPath(appFolder, DatabaseArchiveFileName).c_str(), ec);
}

void RemoveFolder(const CodePageString& path)
{
    std::error_code ec;
    fs::remove_all(path, ec);
}

CodePageString PlainProgramName(const CodePageString& appname)
{
    if (appname.empty() || appname == "." || appname == "..")
        return {};
    for (const char c : appname)
        if (static_cast<unsigned char>(c) < 0x20 || c == '/' || c == '\\')
            return {};
    static constexpr const char* ownFiles[] = {"wkt.ini",  "libunrar.so",      "updater",
                                               "data",     "reports",          "doorways",
                                               "softup.zrc", NewProgramFileName, SoftwareStagingFolderName};
    for (const char* own : ownFiles)
        if (SameText(appname, own))
            return {};
    return appname;
}

void ReplaceProgram(const CodePageString& newProgram, const CodePageString& program)
{
    if (::chmod(newProgram.c_str(), 0755) != 0)
        Fail("Cannot make \"" + newProgram + "\" executable", std::error_code(errno, std::generic_category()));
    if (std::rename(newProgram.c_str(), program.c_str()) != 0)
        Fail("Cannot rename \"" + newProgram + "\" to \"" + program + "\"", std::error_code(errno, std::generic_category()));
}

namespace {

// The download's file. A write that fails is remembered with its reason:
// raised inside the client's data handling, it would be lost there, and the
// download would seem to end well with a short file.
class TDownloadFile : public TStream {
public:
    explicit TDownloadFile(const CodePageString& name) : FFile(name, fmCreate) {}
    std::int64_t Read(void* buffer, std::int64_t count) override { return FFile.Read(buffer, count); }
    std::int64_t Write(const void* buffer, std::int64_t count) override
    {
        if (!FError.empty())
            return count;
        errno = 0;
        if (FFile.Write(buffer, count) != count)
            FError = std::strerror(errno ? errno : EIO);
        return count;
    }
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override { return FFile.Seek(offset, origin); }
    const CodePageString& Error() const { return FError; }

private:
    TFileStream FFile;
    CodePageString FError;
};

}  // namespace

TUpdateDownload DownloadUpdateFile(TCustomHttpCli& client, const std::function<void()>& get, const CodePageString& file,
                                   TControl& abort)
{
    TDownloadFile stream(file);
    const THttpDataEvent previous = client.OnDocData;
    const TFinally restore{[&] {
        abort.SetEnabled(false);
        client.ReceiveStream = nullptr;
        client.OnDocData = previous;
    }};
    bool stopped = false;
    // A file that cannot be written ends the download at once.
    client.OnDocData = [&](TObject* sender, const char* buffer, int len) {
        if (previous)
            previous(sender, buffer, len);
        if (!stream.Error().empty() && !stopped) {
            stopped = true;
            client.Abort();
        }
    };
    client.ReceiveStream = &stream;
    abort.SetEnabled(true);
    TUpdateDownload result;
    try {
        get();
        result.Status = "Status: Received " + IntToStr(stream.Size()) + " bytes";
        result.Complete = client.HttpStatus() == 200;
    } catch (const EHttpException&) {
        result.Status = "Status: Failed : " + IntToStr(client.HttpStatus()) + " " + client.StatusText();
    }
    // A reply cut short of its announced length is no archive to test: it
    // may well end at a block boundary. The client fails such a reply
    // already; this holds whatever client fetches it.
    const std::int64_t size = stream.Size();
    if (result.Complete && client.DocLength() >= 0 && size != client.DocLength()) {
        result.Complete = false;
        result.Status = "Status: Failed : received " + IntToStr(size) + " of " + IntToStr(client.DocLength()) + " bytes";
    }
    if (!stream.Error().empty()) {
        result.Complete = false;
        result.WriteError = stream.Error();
        result.Status = "Status: Failed : cannot write " + file + ": " + stream.Error();
    }
    return result;
}

void TellDownloadNotWritten(const TUpdateDownload& download)
{
    Application->MessageBox("The update could not be written to disk: " + download.WriteError + ".", "Error",
                            MB_OK | MB_ICONERROR);
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

bool ExtractUpdateArchive(TRAR& rar, const CodePageString& failure)
{
    int lastError = 0;
    const TErrorProc previous = rar.OnError;
    rar.OnError = [&](TObject* sender, int error) {
        lastError = error;
        if (previous)
            previous(sender, error);
    };
    const TFinally restore{[&] { rar.OnError = previous; }};
    if (rar.Extract())
        return true;
    CodePageString text = failure;
    if (lastError == ERAR_EWRITE)
        text += "\nA file could not be written: the disk may be full.";
    Application->MessageBox(text, "Error", MB_OK | MB_ICONERROR);
    return false;
}
