/* The calling convention of the archiver libraries, shared by the program (which binds the
 * functions by name at run time) and by the substitute libraries in archivers/ (which export
 * them). Plain C so that any library can honour it.
 *
 * A library with the prefix P exports P (the command function, only for some formats),
 * PGetVersion, PCheckArchive, PGetFileCount, POpenArchive, PFindFirst, PIsSFXFile and
 * PCloseArchive, e.g. UnZip, UnZipGetVersion, UnZipGetFileCount. Texts are NUL-terminated
 * UTF-8; integers are 32-bit.
 *
 * A library may also export PGetLastErrorText: why the last call on the calling thread found
 * the archive damaged, e.g. "CRC mismatch in docs/a.txt". Callers must do without it, as
 * other makers' libraries lack it.
 *
 * A library may also export PSetThreadCount: how many threads its later calls may use to
 * decode one archive (1 when never called). Their answers are the same whatever the count. */
#ifndef VARNELT_CHECKERS_ARCHIVER_API_H
#define VARNELT_CHECKERS_ARCHIVER_API_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Opaque handles: a window of the calling program (never used by the libraries, which open
 * no windows) and an archive opened by OpenArchive. */
typedef void* VarneltWindow;
typedef struct VarneltArchiveOpaque* VarneltArchive;

/* Result codes of the command function. */
enum {
    VARNELT_ARC_OK = 0,
    VARNELT_ARC_ERROR_START = 0x8000,
    VARNELT_ARC_ERROR_DISK_SPACE = 0x8001,
    VARNELT_ARC_ERROR_UNKNOWN_TYPE = 0x8004,
    VARNELT_ARC_ERROR_METHOD = 0x8005, /* an entry uses a method this library cannot decode */
    VARNELT_ARC_ERROR_FILE_OPEN = 0x8009,
    VARNELT_ARC_ERROR_PASSWORD = 0x800A, /* encrypted, and no password was given */
    VARNELT_ARC_ERROR_FILE_CRC = 0x800C, /* an entry's data does not match its checksum */
    VARNELT_ARC_ERROR_HEADER_CRC = 0x8016,
    VARNELT_ARC_ERROR_HEADER_BROKEN = 0x8017,
    VARNELT_ARC_ERROR_ARC_FILE_OPEN = 0x8018, /* the archive file cannot be opened */
    VARNELT_ARC_ERROR_NOT_ARC_FILE = 0x8019,  /* not an archive of this library's format */
    VARNELT_ARC_ERROR_CANNOT_READ = 0x801A,
    VARNELT_ARC_ERROR_COMMAND_NAME = 0x801C, /* unknown command or malformed command line */
    VARNELT_ARC_ERROR_ENOUGH_MEMORY = 0x801E,
    VARNELT_ARC_ERROR_HARC_ISNOT_OPENED = 0x8021,
    VARNELT_ARC_ERROR_NOT_SUPPORT = 0x8023,
    VARNELT_ARC_ERROR_EOF = 0x802D /* the archive ends in the middle of an entry */
};

/* Check modes handed to CheckArchive; every substitute runs its full test for each. */
enum {
    VARNELT_CHECK_RAPID = 1,
    VARNELT_CHECK_BASIC = 2,
    VARNELT_CHECK_FULLCRC = 8,
    VARNELT_CHECK_RECOVERY = 16
};

/* IsSFXFile answers 0 for a plain archive; a self-extracting one answers this positive code. */
enum { VARNELT_SFX_EXECUTABLE = 9921 };

enum { VARNELT_ENTRY_NAME_SIZE = 513 };

/* The entry record that FindFirst fills: 558 bytes, packed. */
#pragma pack(push, 1)
typedef struct VarneltEntryInfo {
    uint32_t originalSize;
    uint32_t compressedSize;
    uint32_t crc;
    uint32_t flag;
    uint32_t osType;
    uint16_t ratio;
    uint16_t dosDate;
    uint16_t dosTime;
    char fileName[VARNELT_ENTRY_NAME_SIZE]; /* UTF-8, folder part included, always ends in NUL */
    char reserved[3];
    char attribute[8];
    char mode[8];
} VarneltEntryInfo;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(VarneltEntryInfo) == 558, "entry record is 558 bytes");
static_assert(offsetof(VarneltEntryInfo, fileName) == 26, "name at offset 26");
static_assert(offsetof(VarneltEntryInfo, attribute) == 542, "attribute at offset 542");
static_assert(offsetof(VarneltEntryInfo, mode) == 550, "mode at offset 550");
#else
_Static_assert(sizeof(VarneltEntryInfo) == 558, "entry record is 558 bytes");
_Static_assert(offsetof(VarneltEntryInfo, fileName) == 26, "name at offset 26");
#endif

/* Function types, one per suffix. */
typedef int32_t (*VarneltGetVersionFn)(void);
typedef int32_t (*VarneltCommandFn)(VarneltWindow window, const char* commandLine, char* output,
                                    int32_t outputSize);
typedef int32_t (*VarneltCheckArchiveFn)(const char* path, int32_t mode);
typedef int32_t (*VarneltGetFileCountFn)(const char* path);
typedef VarneltArchive (*VarneltOpenArchiveFn)(VarneltWindow window, const char* path,
                                               uint32_t mode);
typedef int32_t (*VarneltFindFirstFn)(VarneltArchive archive, const char* wildName,
                                      VarneltEntryInfo* info);
typedef int32_t (*VarneltIsSFXFileFn)(VarneltArchive archive);
typedef int32_t (*VarneltCloseArchiveFn)(VarneltArchive archive);
/* Copies the reason as UTF-8 into buffer, cut on a character boundary and always ended by NUL
 * when size > 0, and answers the whole reason's length in bytes. It answers 0 (and writes an
 * empty text) when the last call passed, or merely found a file of another format. Each
 * thread has its own reason; every other call of the library replaces it. */
typedef int32_t (*VarneltGetLastErrorTextFn)(char* buffer, int32_t size);
typedef void (*VarneltSetThreadCountFn)(int32_t count);

#ifdef __cplusplus
}
#endif

#endif
