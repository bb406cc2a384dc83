#pragma once
/* The NTFS scanning library: walks every MFT entry of an NTFS volume that is or was in use and
 * writes deleted files out. A small C interface with fixed block layouts; The Sleuth Kit does the
 * NTFS reading inside, through the program's own byte sources. */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
    NTFS_SCAN_CONTEXT_BYTES = 8248, /* the caller's scan context block */
    NTFS_SCAN_RECORD_BYTES = 576,   /* one file record */
    /* Context layout: u32 at 0 non-zero while open; u64 total at 8; the library's state at 16;
     * three u32 progress counters at 8224, 8228, 8232 (progress = (c3 + 8 (c1 + c2)) / total). */
    NTFS_SCAN_CONTEXT_TOTAL = 8,
    NTFS_SCAN_CONTEXT_C1 = 8224,
    NTFS_SCAN_CONTEXT_C2 = 8228,
    NTFS_SCAN_CONTEXT_C3 = 8232,
    /* Record layout: u64 number at 0, u64 parent at 8, u64 size at 16, i64 created at 24, i64
     * modified at 40 (seconds since 1970 UTC), flags in the u32 at 48, the entry's sequence number
     * in the u16 at 52 and its parent's at 54, UTF-16 name of up to 259 characters and a zero at 56. */
    NTFS_SCAN_FLAG_DIRECTORY = 0x01,
    NTFS_SCAN_FLAG_FILE = 0x02,
    NTFS_SCAN_FLAG_DELETED = 0x80
};

/* Negative results of ntfs_scan_startup and ntfs_scan_recover. */
enum {
    NTFS_SCAN_NO_DEVICE = -1,  /* the device name names no volume, or it cannot be opened */
    NTFS_SCAN_NOT_NTFS = -2,   /* no NTFS file system there */
    NTFS_SCAN_NOT_OPEN = -3,   /* no scan context is open */
    NTFS_SCAN_NO_RECORD = -4,  /* no such MFT entry, or it holds no data */
    NTFS_SCAN_UNWRITABLE = -5, /* the destination cannot be created */
    NTFS_SCAN_SHORT = -6,      /* a read or write failed on the way; the shorter file stays */
    NTFS_SCAN_BAD_ARGUMENT = -7,
    NTFS_SCAN_LARGE_CLUSTERS = -8 /* a sound NTFS boot sector whose clusters exceed 64 KiB, which the reader does not open */
};

/* Opens a scan context on the volume named "/dev/hdXN" (X = 'a' + disk number, N = partition
 * number). 0 on success, a negative result on failure (the context stays closed). */
int32_t ntfs_scan_startup(const char* device_name, void* context);
/* Fills a zeroed record with the next MFT entry that is or was in use: 1, or 0 when there are no
 * more (or no context is open). */
int32_t ntfs_scan_next(void* context, void* record);
/* Closes the scan context; the caller zero-fills the block afterwards. */
void ntfs_scan_cleanup(void* context);
/* Writes the default data stream of MFT entry (high << 32 | low) to destination, byte for byte
 * (resident, non-resident, sparse, compressed, attribute lists). 0 on success. detail receives
 * the number of bytes written when not null. */
int32_t ntfs_scan_recover(void* context, uint32_t record_low, uint32_t record_high, const char* destination,
                          uint32_t* detail);

#ifdef __cplusplus
}
#endif
