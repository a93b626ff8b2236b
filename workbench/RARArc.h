// The RAR archive component: tests and extracts an archive through the
// archive library ("UnRAR.dll", found where the component is created, and
// loaded when first needed), and reports each entry and each failure through
// its events.
//
// One archive operation runs at a time in the process: the library's
// callbacks reach the component that runs it.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

#include "classlib/Classes.h"
#include "platform/Library.h"
#include "unrar/UnRAR.h"

// The component's own error numbers; every other number is the library's.
constexpr int rarNoLibrary = 50;      // the library or one of its entry points is missing
constexpr int rarNoArchiveName = 13;  // ArchiveName is empty

// The archive comment: its size, then the buffer.
struct TComment {
    int Size = 0;
    const char* Buffer = nullptr;
};

using TProcessDataProcN = std::function<int(TObject* Sender, char* Addr, int BlockSize, int Position)>;
using TChangeVolProcN = std::function<int(TObject* Sender, char* ArcName, int Mode)>;
using TErrorProc = std::function<void(TObject* Sender, int Error)>;
using TCommentProc = std::function<void(TObject* Sender, TComment& Comment)>;
using TListFileProc = std::function<void(TObject* Sender, const RARHeaderData& ListedFile)>;
using TFileBeingExtracted = std::function<void(TObject* Sender, const RARHeaderData& eFile)>;
using TFileExtracted = std::function<void(TObject* Sender, const RARHeaderData& eFile, bool Result)>;
using TFileBeingTested = std::function<void(TObject* Sender, const RARHeaderData& eFile)>;
using TFileTested = std::function<void(TObject* Sender, const RARHeaderData& eFile, bool Result)>;
using TReqPassword = std::function<void(TObject* Sender, const RARHeaderData& eFile, CodePageString& Password)>;

class TRAR : public TComponent {
public:
    explicit TRAR(TComponent* AOwner);
    ~TRAR() override;

    CodePageString ArchiveName;
    // Sorted; when not empty, only the entries named (letter case ignored)
    // are extracted or tested. The setters copy the given lines.
    TStringList* FilesToExtract() const { return FFilesToExtract.get(); }
    void SetFilesToExtract(const TStrings& files) { FFilesToExtract->Assign(files); }
    TStringList* FilesToTest() const { return FFilesToTest.get(); }
    void SetFilesToTest(const TStrings& files) { FFilesToTest->Assign(files); }
    CodePageString TargetDir;  // where Extract writes; the current folder when empty
    bool Stop = false;     // ends a running walk before the next entry; cleared when honoured
    // The library and all seven entry points were found.
    bool LoadedDLL() const;

    TProcessDataProcN OnProcessData;  // each unpacked block during Extract; its result goes to the library
    TChangeVolProcN OnVolumeChange;
    TErrorProc OnError;
    TCommentProc OnComment;
    TListFileProc OnListFile;  // never fired
    TFileBeingExtracted OnExtracting;
    TFileExtracted OnExtract;
    TFileBeingTested OnTesting;
    TFileTested OnTested;
    TReqPassword OnReqPassword;

    // True when nothing failed: every entry (or every one in the filter)
    // was extracted or tested, and the archive was read to its end.
    bool Extract();
    bool Test();

private:
    struct TEntryPoints;
    enum class TWalk { Test, Extract };
    bool Walk(TWalk kind);
    bool WalkEntries(TWalk kind, void* handle, char* commentBuffer);
    void FireError(int error);
    void RethrowPending();
    static int ProcessDataCallback(unsigned char* Addr, int Size);
    static int ChangeVolumeCallback(char* ArcName, int Mode);

    // Loads the library the first time it is asked for: most runs of the
    // programs never open an archive, and the library brings its own
    // dependencies to load and relocate.
    void EnsureLoaded() const;

    std::string FLibraryPath;  // resolved when the component is created
    mutable HMODULE FModule = 0;
    std::unique_ptr<TEntryPoints> FEntries;
    mutable bool FLoadTried = false;
    mutable bool FLoaded = false;
    std::unique_ptr<TStringList> FFilesToExtract;
    std::unique_ptr<TStringList> FFilesToTest;
    std::int64_t BytesProcessed = 0;  // of the entry being extracted
    std::exception_ptr FPending;      // a handler's exception, raised inside a library callback
};
