// The archive library's published interface: its seven entry points, the
// records they fill and the codes they return. libunrar.so exports exactly
// these; the archive component looks them up by name.
//
// The library reads RAR 4 archives (the block format that begins with
// "Rar!" 1A 07 00). It tests and extracts files and folders, checks every
// entry's CRC32, and writes nothing outside the destination folder. It does
// not decrypt, does not open further volumes and does not unpack packed
// comments; each of those has its own code below, and no encrypted byte is
// ever handed back as data.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// --- results ---------------------------------------------------------------------------

#define ERAR_SUCCESS 0
#define ERAR_END_ARCHIVE 10      // no more entries: the end-of-archive block was read, or the file ended
                                 // right after the last whole block (older archivers write no end block)
#define ERAR_NO_MEMORY 11
#define ERAR_BAD_DATA 12         // a damaged header or entry, a wrong CRC, a truncated archive, or an
                                 // entry name that would leave the destination folder
#define ERAR_BAD_ARCHIVE 13      // not a RAR archive
#define ERAR_UNKNOWN_FORMAT 14   // a RAR archive of a later format, or an entry packed in a way not known here
#define ERAR_EOPEN 15            // the archive cannot be opened
#define ERAR_ECREATE 16          // a file or folder cannot be created
#define ERAR_ECLOSE 17
#define ERAR_EREAD 18
#define ERAR_EWRITE 19
#define ERAR_SMALL_BUF 20        // the comment did not fit the buffer; it is cut
#define ERAR_UNKNOWN 21          // a call out of order (process without a header, test in list mode)
#define ERAR_MISSING_PASSWORD 22 // an encrypted entry and no password was set
// Codes of this library for what it does not do.
#define ERAR_NO_DECRYPTION 40    // encrypted headers, or an encrypted entry with a password set: not decrypted here
#define ERAR_NO_VOLUME_CHANGE 41 // the entry goes on in another volume, which is not opened here
#define ERAR_PACKED_COMMENT 42   // (comment state) the comment is packed and is not unpacked here
#define ERAR_STOPPED 43          // the process-data callback returned 0 or less

// --- open modes, operations, callback messages -----------------------------------------

#define RAR_OM_LIST 0     // headers only
#define RAR_OM_EXTRACT 1  // test and extract

#define RAR_SKIP 0
#define RAR_TEST 1
#define RAR_EXTRACT 2

#define RAR_VOL_ASK 0     // volume callback modes; this library never calls it
#define RAR_VOL_NOTIFY 1

// Header flags of an entry (RARHeaderData.Flags).
#define RHDF_SPLITBEFORE 0x01
#define RHDF_SPLITAFTER 0x02
#define RHDF_ENCRYPTED 0x04
#define RHDF_SOLID 0x10
#define RHDF_DIRECTORY 0xE0  // all three dictionary bits set

// --- records -----------------------------------------------------------------------------

// RAROpenArchive's record. CmtBuf may be null; otherwise CmtBufSize bytes
// are there for the archive comment. CmtState: 0 no comment, 1 read whole,
// ERAR_SMALL_BUF cut to the buffer, ERAR_BAD_DATA damaged, ERAR_PACKED_COMMENT.
struct RAROpenArchiveData {
    char* ArcName;
    unsigned int OpenMode;
    unsigned int OpenResult;
    char* CmtBuf;
    unsigned int CmtBufSize;
    unsigned int CmtSize;   // bytes of comment in CmtBuf (a NUL follows when there is room)
    unsigned int CmtState;
};

// One entry, as RARReadHeader fills it. FileName uses "/" between folders;
// names are cut to 259 bytes here (the library keeps the whole name). It is
// the name's 8-bit form, in the archiver's code page; an entry that also
// stores its name's Unicode form is written under that form, in UTF-8.
struct RARHeaderData {
    char ArcName[260];
    char FileName[260];
    unsigned int Flags;
    unsigned int PackSize;  // low 32 bits
    unsigned int UnpSize;   // low 32 bits
    unsigned int HostOS;    // 0 MS-DOS, 1 OS/2, 2 Windows, 3 Unix, 4 Mac OS, 5 BeOS
    unsigned int FileCRC;
    unsigned int FileTime;  // MS-DOS date and time
    unsigned int UnpVer;
    unsigned int Method;    // 0x30 stored ... 0x35 best
    unsigned int FileAttr;
    char* CmtBuf;           // left as the caller set them; entry comments are not read
    unsigned int CmtBufSize;
    unsigned int CmtSize;
    unsigned int CmtState;
};

// Called with each block of unpacked data during test and extract; a
// result of 0 or less stops the entry (ERAR_STOPPED).
typedef int (*PROCESSDATAPROC)(unsigned char* Addr, int Size);
// Registered for the caller's sake; this library never changes volumes.
typedef int (*CHANGEVOLPROC)(char* ArcName, int Mode);

// --- entry points --------------------------------------------------------------------------

// A handle, or null with ArchiveData->OpenResult saying why.
void* RAROpenArchive(struct RAROpenArchiveData* ArchiveData);
// 0, or ERAR_ECLOSE for a null handle.
int RARCloseArchive(void* hArcData);
// 0 with the next entry in HeaderData, ERAR_END_ARCHIVE after the last one,
// or an error (ERAR_BAD_DATA for a damaged or truncated archive).
int RARReadHeader(void* hArcData, struct RARHeaderData* HeaderData);
// Skips, tests or extracts the entry of the last header read. Extracting
// writes the entry below DestPath (the current folder when null or empty),
// or exactly at DestName when that is given.
int RARProcessFile(void* hArcData, int Operation, char* DestPath, char* DestName);
void RARSetChangeVolProc(void* hArcData, CHANGEVOLPROC ChangeVolProc);
void RARSetProcessDataProc(void* hArcData, PROCESSDATAPROC ProcessDataProc);
// Applies to the entries that follow. Decryption is not done here, so an
// encrypted entry then ends with ERAR_NO_DECRYPTION instead of ERAR_MISSING_PASSWORD.
void RARSetPassword(void* hArcData, char* Password);

#ifdef __cplusplus
}
#endif
