// File and folder functions: existence, paths and names, whole-file reads,
// atomic and user-chosen writes, deferred syncs, and the texts of file errors.
#pragma once

#include <string>
#include <vector>

#include "classlib/Strings.h"

// File system failure outside the stream classes.
class EInOutError : public Exception {
public:
    using Exception::Exception;
};

// --- files and folders -----------------------------------------------------

bool FileExists(const CodePageString& path);
bool DirectoryExists(const CodePageString& path);
bool ForceDirectories(const CodePageString& path);
bool DeleteFile(const CodePageString& path);
bool RenameFile(const CodePageString& from, const CodePageString& to);
CodePageString GetCurrentDir();
bool SetCurrentDir(const CodePageString& dir);
CodePageString ExtractFilePath(const CodePageString& path);  // up to and including the last '/'
CodePageString ExtractFileName(const CodePageString& path);
CodePageString ExtractFileExt(const CodePageString& path);   // with the dot
CodePageString ChangeFileExt(const CodePageString& path, const CodePageString& ext);
// Turns a Windows-style relative name ("\data\data.czc") into a path of ours.
CodePageString PathFromWindows(const CodePageString& name);
// Joins the application folder and a relative name given in either style.
CodePageString AppPath(const CodePageString& folder, const CodePageString& relative);

// Reads a whole file; throws EFOpenError (see Classes.h) when it can't, and
// for anything but a regular file (a folder, a pipe, a device).
std::string ReadFileBytes(const CodePageString& path);
// The same read without an exception: 0 with the bytes in out, else the errno
// of what failed (EISDIR for a folder) or NotARegularFile for a pipe, a
// device or a socket, none of which is read: a pipe with no writer would
// block, and a device may never end.
inline constexpr int NotARegularFile = -1;
int TryReadFileBytes(const CodePageString& path, std::string& out);
// `what "path". reason`: the system's text for an errno, or "It is not a
// regular file." for NotARegularFile.
CodePageString FileError(const char* what, const CodePageString& path, int error);
// When a WriteFileAtomic write is made durable: before the call returns (the
// file and the rename in its folder synced), or by a later SyncFiles call,
// which flushes many writes at once. Only a new file waits: a file
// that is replaced is synced at once, since a crash before the sync could
// leave it empty under its name.
enum class TWriteSync { Now, Later };
// Writes through a temporary file in the same folder and a rename, so that a
// crash mid-write leaves the old file whole. Throws EFCreateError.
void WriteFileAtomic(const CodePageString& path, const std::string& bytes, TWriteSync sync = TWriteSync::Now);
// The file that a write to path changes: the end of its chain of symbolic
// links, whether that file exists yet or not; path itself when it is no link.
CodePageString LinkTarget(const CodePageString& path);
// Throws EFCreateError when path is a regular file that may not be written:
// the rename of WriteFileAtomic needs only the folder's permission, and would
// replace it. A file without any write permission is read-only for everyone,
// the superuser included, as on the system the program comes from.
void RefuseReadOnlyFile(const CodePageString& path);
// Writes a file the user chose, as an editor saves it: through a symbolic
// link into the file it leads to, and never over a file the user made
// read-only. Throws EFCreateError.
void WriteUserFile(const CodePageString& path, const std::string& bytes);
// Makes files written with TWriteSync::Later in one folder durable: each
// file, then the folder that holds their names. Only these are flushed, not
// what other programs left unwritten on the same disk. A file that is gone
// since (deleted meanwhile) is passed over. Throws EFCreateError when the
// folder can't be opened or the system reports a failed write-back.
void SyncFiles(const CodePageString& folder, const std::vector<CodePageString>& files);
