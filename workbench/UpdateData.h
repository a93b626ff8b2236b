// The files of the database and software update, and the steps of an update
// that need no window: the server's address, names from the update files
// matched the Windows way, and moving a checked update into place.
#pragma once

#include <functional>
#include <vector>

#include "classlib/Classes.h"

class TControl;
class TCustomHttpCli;
class TIniFile;
class TRAR;

// Runs at the end of the scope, however it is left.
template <class F>
struct TFinally {
    F Action;
    ~TFinally() { Action(); }
};
template <class F>
TFinally(F) -> TFinally<F>;

// Relative to the application folder.
inline constexpr const char* DatabaseArchiveFileName = "\\data\\pro.zrc";
inline constexpr const char* UpdateInfoFileName = "\\data\\softup.ini";
inline constexpr const char* DataFolderName = "\\data";
// An update is extracted here, checked and scrambled, and only then moved
// into the data folder, so that a failed update leaves the old files.
inline constexpr const char* UpdateStagingFolderName = "\\data\\update.tmp";
// While staged files move into place, the files they replace wait here,
// with the journal that tells how to put them back.
inline constexpr const char* UpdateBackupFolderName = "\\data\\update.old";
// In the database archive, relative to the data folder.
inline constexpr const char* UnpackListName = "un.pac";
// The updater's files, in its working folder.
inline constexpr const char* SoftwareArchiveFileName = "softup.zrc";
inline constexpr const char* NewProgramFileName = "softup.exe";
// The software archive is extracted here, inside the working folder, and
// only its new program is taken from it.
inline constexpr const char* SoftwareStagingFolderName = "softup.tmp";

// Paths on the update server.
inline constexpr const char* DatabaseArchiveUrlPath = "/qev/data.zrc";
inline constexpr const char* SoftwareArchiveUrlPath = "/vorna/softup.zrc";
inline constexpr const char* DefaultUpdateServer = "http://update.example.com";

// [Update] Server, the base URL the paths are appended to; the default when
// the key is missing or empty.
CodePageString UpdateServerAddress(const TIniFile& settings);

// The file below folder whose relative name matches, each part ignoring
// letter case, as names in the update files are Windows names; folder plus
// the name as given when nothing matches.
CodePageString FindIgnoringCase(const CodePageString& folder, const CodePageString& relative);

// The UnpackList's names, relative to the data folder, blank lines left
// out. Throws EInOutError for a line that would leave the data folder.
std::vector<CodePageString> UnpackNames(const TStrings& list);

// True for names, relative to the data folder, that a database update never
// replaces: the user's own custom engines and projects, and the update's
// own working files.
bool IsUserDataName(const CodePageString& relative);

// Moves every file below staging to its place below target (matched
// ignoring case), replacing what is there, except those leftOut names
// (relative to staging). All or nothing: each file it replaces first moves
// into backup, beside a journal written before the first move; a failure
// puts every file back as it was and throws EInOutError. A process killed
// part-way leaves the journal, and RecoverUpdate puts the files back.
void InstallStagedFiles(const CodePageString& staging, const CodePageString& target, const CodePageString& backup,
                        const std::function<bool(const CodePageString&)>& leftOut = {});

// What a database update left behind when it was stopped part-way (killed,
// or the machine went down): puts back the files of an install that did not
// finish, then removes the staging and backup folders and the downloaded
// archive. Run at start, before the data is read. Throws EInOutError when a
// file cannot be put back; the journal then stays for the next start.
void RecoverUpdate(const CodePageString& appFolder);

// Removes a folder with everything in it; nothing when there is none.
void RemoveFolder(const CodePageString& path);

// Makes newProgram executable and renames it over program: the old program
// stays until the new one takes its place in one step. Throws EInOutError.
void ReplaceProgram(const CodePageString& newProgram, const CodePageString& program);

// The updater's [rur] appname when it is a plain file name of the working
// folder that the update may replace; empty otherwise (a path, "..", a
// control character, or the name of the settings, the updater, the archive
// library or the data folder).
CodePageString PlainProgramName(const CodePageString& appname);

// --- steps both update windows take ------------------------------------------------------

struct TUpdateDownload {
    // The status line the windows show after it: "Status: Received <size>
    // bytes", or "Status: Failed : " and why.
    CodePageString Status;
    // True only for a reply of status 200 whose whole body reached the file.
    bool Complete = false;
    // Why the file could not be written ("No space left on device"); empty
    // when it could.
    CodePageString WriteError;
};

// Fetches the client's URL into file (created, or emptied) with get, the
// client's synchronous GET; abort is enabled only while it runs. A status
// of 400 or more (local failures and an abort are 404) fails with
// "<status> <reason>"; so does a body short of its announced length, and a
// file that cannot be written, which also ends the download at once. Other
// exceptions pass on.
TUpdateDownload DownloadUpdateFile(TCustomHttpCli& client, const std::function<void()>& get, const CodePageString& file,
                                   TControl& abort);

// Tells that a download could not be written to disk, and why.
void TellDownloadNotWritten(const TUpdateDownload& download);

// True when the library is there and the archive tests good; otherwise
// shows which of the two it is, and returns false.
bool UpdateArchiveTestsGood(TRAR& rar);

// Extracts the archive into rar's TargetDir. On a failure shows failure,
// with a line that says so when a file could not be written (a full disk),
// and returns false.
bool ExtractUpdateArchive(TRAR& rar, const CodePageString& failure);
