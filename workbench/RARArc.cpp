#include "workbench/RARArc.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "classlib/Files.h"
#include "classlib/Forms.h"

struct TRAR::TEntryPoints {
    decltype(&::RAROpenArchive) Open = nullptr;
    decltype(&::RARCloseArchive) Close = nullptr;
    decltype(&::RARReadHeader) ReadHeader = nullptr;
    decltype(&::RARProcessFile) ProcessFile = nullptr;
    decltype(&::RARSetChangeVolProc) SetChangeVolProc = nullptr;
    decltype(&::RARSetProcessDataProc) SetProcessDataProc = nullptr;
    decltype(&::RARSetPassword) SetPassword = nullptr;
};

namespace {

// The component whose events the library's callbacks reach.
TRAR* CurrentArchive = nullptr;

// The comment buffer: 64 KiB, of which the library is told 65535 bytes, so
// that a NUL always fits after the comment.
constexpr std::size_t CommentBufferSize = 65536;

struct TCurrentArchive {
    explicit TCurrentArchive(TRAR* rar) : Previous(CurrentArchive) { CurrentArchive = rar; }
    ~TCurrentArchive() { CurrentArchive = Previous; }
    TCurrentArchive(const TCurrentArchive&) = delete;
    TCurrentArchive& operator=(const TCurrentArchive&) = delete;
    TRAR* Previous;
};

template <class F>
void Lookup(HMODULE module, const char* name, F& entry, bool& found)
{
    entry = reinterpret_cast<F>(GetProcAddress(module, name));
    found = found && entry != nullptr;
}

CodePageString EntryName(const RARHeaderData& header)
{
    return CodePageString(header.FileName, ::strnlen(header.FileName, sizeof header.FileName));
}

}  // namespace

TRAR::TRAR(TComponent* AOwner)
    : TComponent(AOwner),
      FEntries(std::make_unique<TEntryPoints>()),
      FFilesToExtract(std::make_unique<TStringList>()),
      FFilesToTest(std::make_unique<TStringList>())
{
    FFilesToExtract->SetSorted(true);
    FFilesToTest->SetSorted(true);
    FLibraryPath = LibraryFilePath("UnRAR.dll");
}

void TRAR::EnsureLoaded() const
{
    if (FLoadTried)
        return;
    FLoadTried = true;
    // The loader would hand back a library it still holds by that path even
    // after its file is gone; the file must be there.
    if (!FileExists(FLibraryPath))
        return;
    FModule = LoadLibrary(FLibraryPath);
    FLoaded = FModule != 0;
    if (!FLoaded)
        return;
    Lookup(FModule, "RAROpenArchive", FEntries->Open, FLoaded);
    Lookup(FModule, "RARCloseArchive", FEntries->Close, FLoaded);
    Lookup(FModule, "RARReadHeader", FEntries->ReadHeader, FLoaded);
    Lookup(FModule, "RARProcessFile", FEntries->ProcessFile, FLoaded);
    Lookup(FModule, "RARSetChangeVolProc", FEntries->SetChangeVolProc, FLoaded);
    Lookup(FModule, "RARSetProcessDataProc", FEntries->SetProcessDataProc, FLoaded);
    Lookup(FModule, "RARSetPassword", FEntries->SetPassword, FLoaded);
}

bool TRAR::LoadedDLL() const
{
    EnsureLoaded();
    return FLoaded;
}

TRAR::~TRAR()
{
    if (CurrentArchive == this)
        CurrentArchive = nullptr;
    if (FModule)
        FreeLibrary(FModule);
}

bool TRAR::Extract()
{
    return Walk(TWalk::Extract);
}

bool TRAR::Test()
{
    return Walk(TWalk::Test);
}

void TRAR::FireError(int error)
{
    FireEvent(OnError, this, error);
}

void TRAR::RethrowPending()
{
    if (FPending)
        std::rethrow_exception(std::exchange(FPending, nullptr));
}

bool TRAR::Walk(TWalk kind)
{
    if (!LoadedDLL()) {
        FireError(rarNoLibrary);
        return false;
    }
    if (ArchiveName.empty()) {
        FireError(rarNoArchiveName);
        return false;
    }
    const TCurrentArchive current(this);
    FPending = nullptr;
    std::vector<char> comment(CommentBufferSize);
    CodePageString name = ArchiveName;
    RAROpenArchiveData open{};
    open.ArcName = name.data();
    open.OpenMode = RAR_OM_EXTRACT;
    open.CmtBuf = comment.data();
    open.CmtBufSize = CommentBufferSize - 1;
    void* handle = FEntries->Open(&open);
    bool result = false;
    // No exception leaves an operation: a handler's is shown as any handler's
    // would be, and the operation has failed.
    try {
        if (open.OpenResult != ERAR_SUCCESS) {
            if (kind == TWalk::Test)
                FireError(static_cast<int>(open.OpenResult));
            if (handle)
                FEntries->Close(handle);
            handle = nullptr;
            if (kind == TWalk::Extract)
                FireError(static_cast<int>(open.OpenResult));
            return false;
        }
        if (open.CmtState == 1 && OnComment) {
            TComment text{static_cast<int>(std::min<unsigned>(open.CmtSize, CommentBufferSize - 1)), comment.data()};
            FireEvent(OnComment, this, text);
        }
        result = WalkEntries(kind, handle, comment.data());
    } catch (const std::exception& e) {
        Application->HandleException(this, &e);
        result = false;
    }
    if (handle)
        FEntries->Close(handle);
    return result;
}

bool TRAR::WalkEntries(TWalk kind, void* handle, char* commentBuffer)
{
    const bool extract = kind == TWalk::Extract;
    if (OnVolumeChange)
        FEntries->SetChangeVolProc(handle, &TRAR::ChangeVolumeCallback);
    RARHeaderData header{};
    header.CmtBuf = commentBuffer;
    header.CmtBufSize = CommentBufferSize - 1;
    if (extract && OnProcessData)
        FEntries->SetProcessDataProc(handle, &TRAR::ProcessDataCallback);
    TStringList& filter = extract ? *FFilesToExtract : *FFilesToTest;

    bool result = true;
    for (;;) {
        const int read = FEntries->ReadHeader(handle, &header);
        if (read == ERAR_END_ARCHIVE)
            break;
        if (read != ERAR_SUCCESS) {
            // A damaged or cut header is a failure of the whole operation: an
            // archive that cannot be read to its end never tests good.
            FireError(read);
            return false;
        }
        const CodePageString name = EntryName(header);
        if (Stop) {
            Stop = false;
            break;
        }
        int at = 0;
        if (filter.Count() > 0 && !filter.Find(name, at)) {
            const int skipped = FEntries->ProcessFile(handle, RAR_SKIP, nullptr, nullptr);
            if (skipped != ERAR_SUCCESS) {
                FireError(skipped);
                return false;
            }
            continue;
        }
        if (extract) {
            FireEvent(OnExtracting, this, header);
            BytesProcessed = 0;
        } else {
            FireEvent(OnTesting, this, header);
        }
        if (header.Flags & RHDF_ENCRYPTED) {
            CodePageString password;
            FireEvent(OnReqPassword, this, header, password);
            if (!password.empty())
                FEntries->SetPassword(handle, password.data());
        }
        CodePageString target = TargetDir;
        const int processed = FEntries->ProcessFile(handle, extract ? RAR_EXTRACT : RAR_TEST,
                                                    extract && !target.empty() ? target.data() : nullptr, nullptr);
        RethrowPending();
        if (extract) {
            FireEvent(OnExtract, this, header, processed == ERAR_SUCCESS);
        } else {
            FireEvent(OnTested, this, header, processed == ERAR_SUCCESS);
        }
        if (processed != ERAR_SUCCESS) {
            result = false;
            FireError(processed);
            // One unwritable or damaged entry does not keep the others back.
            if (processed != ERAR_ECREATE && processed != ERAR_BAD_DATA)
                break;
        }
    }
    return result;
}

int TRAR::ProcessDataCallback(unsigned char* Addr, int Size)
{
    TRAR* rar = CurrentArchive;
    if (!rar || !rar->OnProcessData)
        return 1;
    try {
        rar->BytesProcessed += Size;
        const int position = static_cast<int>(std::min<std::int64_t>(rar->BytesProcessed, INT_MAX));
        return rar->OnProcessData(rar, reinterpret_cast<char*>(Addr), Size, position);
    } catch (...) {
        // It must not unwind through the library; it is raised again once
        // the library has returned.
        rar->FPending = std::current_exception();
        return 0;
    }
}

int TRAR::ChangeVolumeCallback(char* ArcName, int Mode)
{
    TRAR* rar = CurrentArchive;
    if (!rar || !rar->OnVolumeChange)
        return 0;
    try {
        return rar->OnVolumeChange(rar, ArcName, Mode);
    } catch (...) {
        rar->FPending = std::current_exception();
        return 0;
    }
}
