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

// Relative to the application folder.
inline constexpr const char* DatabaseArchiveFileName = "\\data\\pro.zrc";
inline constexpr const char* UpdateInfoFileName = "\\data\\softup.ini";
inline constexpr const char* DataFolderName = "\\data";
// An update is extracted here, checked and scrambled, and only then moved
// into the data folder, so that a failed update leaves the old files.
inline constexpr const char* UpdateStagingFolderName = "\\data\\update.tmp";
// In the database archive, relative to the data folder.
inline constexpr const char* UnpackListName = "un.pac";
// The updater's files, in its working folder.
inline constexpr const char* SoftwareArchiveFileName = "softup.zrc";
inline constexpr const char* NewProgramFileName = "softup.exe";

// Paths on the update server.
inline constexpr const char* DatabaseArchiveUrlPath = "/qev/data.zrc";
inline constexpr const char* SoftwareArchiveUrlPath = "/vorna/softup.zrc";
inline constexpr const char* DefaultUpdateServer = "http://update.example.com";

// [Update] Server, the base URL the paths are appended to; the default when
// the key is missing or empty.
AnsiString UpdateServerAddress(const TIniFile& settings);

// The file below folder whose relative name matches, each part ignoring
// letter case, as names in the update files are Windows names; folder plus
// the name as given when nothing matches.
AnsiString FindIgnoringCase(const AnsiString& folder, const AnsiString& relative);

// The UnpackList's names, relative to the data folder, blank lines left
// out. Throws EInOutError for a line that would leave the data folder.
std::vector<AnsiString> UnpackNames(const TStrings& list);

// Moves every file below staging to its place below target (matched
// ignoring case), replacing what is there, each by one rename. Throws
// EInOutError.
void InstallStagedFiles(const AnsiString& staging, const AnsiString& target);

// Removes a folder with everything in it; nothing when there is none.
void RemoveFolder(const AnsiString& path);

// Makes newProgram executable and renames it over program: the old program
// stays until the new one takes its place in one step. Throws EInOutError.
void ReplaceProgram(const AnsiString& newProgram, const AnsiString& program);

// --- steps both update windows take ------------------------------------------------------

// Fetches the client's URL into file (created, or emptied) with get, the
// client's synchronous GET; abort is enabled only while it runs. Returns the
// status line the windows show after it: "Status: Received <size> bytes",
// or "Status: Failed : <status> <reason>" for a status of 400 or more
// (local failures and an abort are 404). Other exceptions pass on.
AnsiString DownloadUpdateFile(TCustomHttpCli& client, const std::function<void()>& get, const AnsiString& file,
                              TControl& abort);

// True when the library is there and the archive tests good; otherwise
// shows which of the two it is, and returns false.
bool UpdateArchiveTestsGood(TRAR& rar);
