// One open archive behind a handle of the library's entry points.
//
// The archive's block headers are read here, by offset, and checked: their
// CRC16, their sizes against the file, the end-of-archive block. libarchive
// unpacks the data, reading the same file alongside; it is moved to an
// entry only when that entry's data is needed, and the entry it arrives at
// must be the one whose header was read here. Each entry's CRC32 and size
// are checked over what libarchive hands back.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "unrar/Rar4Format.h"
#include "unrar/UnRAR.h"

struct archive;
struct archive_entry;

namespace unrar {

class Archive {
public:
    // Opens ArchiveData.ArcName; null with ArchiveData.OpenResult set when it
    // fails. Reads the archive comment into the record's buffer.
    static std::unique_ptr<Archive> Open(RAROpenArchiveData& data);
    // The same on a descriptor the archive takes over (fuzzing, tests), with
    // name as the archive's name in the headers.
    static std::unique_ptr<Archive> OpenDescriptor(int fd, const std::string& name, RAROpenArchiveData& data);
    ~Archive();
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    int ReadHeader(RARHeaderData& header);
    int ProcessFile(int operation, const char* destPath, const char* destName);
    void SetPassword(const char* password) { FPasswordSet = password && *password; }
    void SetProcessDataProc(PROCESSDATAPROC proc) { FProcessData = proc; }
    void SetChangeVolProc(CHANGEVOLPROC proc) { FChangeVolume = proc; }

private:
    Archive(int fd, std::uint64_t size, std::string name, unsigned mode);
    struct UnpackerFree {
        void operator()(archive* a) const;
    };

    int Start(RAROpenArchiveData& data);
    void ReadComment(RAROpenArchiveData& data, std::uint16_t mainFlags);
    // The block at offset: 0, or the ERAR code that tells what is wrong with it.
    int ReadBlockAt(std::uint64_t offset, Rar4Block& block, Rar4File* file);
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const;
    // Moves libarchive to the entry of the last header read; false when it
    // cannot get there or arrives at another entry.
    bool UnpackerAtEntry();
    int Unpack(int operation, const std::string& path, const char* destPath, const char* destName);
    // ERAR_ECREATE when an entry of this walk already made the path, or one
    // of its folders, the other kind (a file where a folder must be, or a
    // folder where a file must be); test and extract both ask, so that an
    // archive that tests good can be extracted whole into an empty folder.
    int CheckPlace(const std::string& path, bool folder) const;
    void RecordPlace(const std::string& path, bool folder);

    int FFd;
    std::uint64_t FSize;
    std::string FName;
    unsigned FMode;

    std::uint64_t FNext = 0;  // offset of the next block header
    int FStuck = 0;           // a header error every later read repeats
    bool FEnded = false;

    bool FHaveEntry = false;  // a header was read and not yet processed
    Rar4File FEntry;
    bool FEntryTruncated = false;  // its data runs past the end of the file
    int FEntryIndex = -1;          // file headers read before it

    // Path -> is a folder, for the entries this walk tested or wrote; the
    // folders above them are implied.
    std::map<std::string, bool, std::less<>> FPlaces;

    bool FPasswordSet = false;
    PROCESSDATAPROC FProcessData = nullptr;
    CHANGEVOLPROC FChangeVolume = nullptr;  // kept for the caller; volumes are never changed

    std::unique_ptr<archive, UnpackerFree> FUnpacker;
    archive_entry* FUnpackerEntry = nullptr;
    int FUnpackerEntries = 0;  // entries libarchive has handed out
    bool FUnpackerLost = false;
};

}  // namespace unrar
