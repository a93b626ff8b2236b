// The seven entry points, each a thin guard around the archive object: no
// exception ever crosses into the caller, which may not be C++.
#include <new>

#include "unrar/Archive.h"
#include "unrar/UnRAR.h"

#define UNRAR_EXPORT __attribute__((visibility("default")))

using unrar::Archive;

namespace {

Archive* Of(void* handle)
{
    return static_cast<Archive*>(handle);
}

template <class F>
int Guarded(F&& call)
{
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return ERAR_NO_MEMORY;
    } catch (...) {
        return ERAR_UNKNOWN;
    }
}

}  // namespace

extern "C" {

UNRAR_EXPORT void* RAROpenArchive(RAROpenArchiveData* ArchiveData)
{
    if (!ArchiveData)
        return nullptr;
    void* handle = nullptr;
    const int failure = Guarded([&] {
        handle = Archive::Open(*ArchiveData).release();
        return 0;
    });
    if (failure)
        ArchiveData->OpenResult = static_cast<unsigned>(failure);
    return handle;
}

UNRAR_EXPORT int RARCloseArchive(void* hArcData)
{
    if (!hArcData)
        return ERAR_ECLOSE;
    delete Of(hArcData);
    return ERAR_SUCCESS;
}

UNRAR_EXPORT int RARReadHeader(void* hArcData, RARHeaderData* HeaderData)
{
    if (!hArcData || !HeaderData)
        return ERAR_UNKNOWN;
    return Guarded([&] { return Of(hArcData)->ReadHeader(*HeaderData); });
}

UNRAR_EXPORT int RARProcessFile(void* hArcData, int Operation, char* DestPath, char* DestName)
{
    if (!hArcData)
        return ERAR_UNKNOWN;
    return Guarded([&] { return Of(hArcData)->ProcessFile(Operation, DestPath, DestName); });
}

UNRAR_EXPORT void RARSetChangeVolProc(void* hArcData, CHANGEVOLPROC ChangeVolProc)
{
    if (hArcData)
        Of(hArcData)->SetChangeVolProc(ChangeVolProc);
}

UNRAR_EXPORT void RARSetProcessDataProc(void* hArcData, PROCESSDATAPROC ProcessDataProc)
{
    if (hArcData)
        Of(hArcData)->SetProcessDataProc(ProcessDataProc);
}

UNRAR_EXPORT void RARSetPassword(void* hArcData, char* Password)
{
    if (hArcData)
        Of(hArcData)->SetPassword(Password);
}

}  // extern "C"
