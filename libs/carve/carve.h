#pragma once
/* The carving library: finds files by their signatures anywhere on a volume (at every byte
 * offset) and decides each file's end from its format's structure. A small C interface with a
 * fixed 32-byte scan block; the formats are small descriptors of their own inside. */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
    CARVE_BLOCK_BYTES = 32,
    /* Scan block: user pointer at 0, progress (double, 0 to 1) at 8, pause (int32) at 16, stop
     * (int32) at 20, hit callback at 24. */
    CARVE_BLOCK_PROGRESS = 8,
    CARVE_BLOCK_PAUSE = 16,
    CARVE_BLOCK_STOP = 20,
    CARVE_BLOCK_CALLBACK = 24,
    CARVE_READ_STEP = 8192
};

/* Called once per carved file, on the scanning thread: the user pointer, the type's extension,
 * the file's first byte on the volume and its size (64-bit values as two halves, low first). */
typedef void (*carve_hit_fn)(void* user, const char* extension, uint32_t offset_low, uint32_t offset_high,
                             uint32_t size_low, uint32_t size_high);

/* Loads the type list ("extension on|off largest-size" per line). A missing file turns every
 * built-in type on; a bad line is reported on standard error and skipped. 0, or -1 when the file
 * exists but cannot be read. */
int32_t carve_configure(const char* path);
/* Scans the volume (a volume path or any name the platform opens) with the block; returns when
 * done or stopped. 0, or -1 when the volume cannot be opened. */
int32_t carve_scan(void* block, const char* volume_path);
/* The pieces of a joined file (a hit whose extension ends in "~j"), found again on the volume from
 * its offset: up to room pairs of 64-bit offset and size into pieces; their count, or -1 when the
 * file there no longer joins to size bytes (the volume or the type list changed since the scan). */
int32_t carve_pieces(const char* volume_path, uint32_t offset_low, uint32_t offset_high, uint32_t size_low,
                     uint32_t size_high, uint64_t* pieces, int32_t room);
/* Reading a volume: a handle (0 = failure), positioning (origin 0 = from the start; negative on
 * failure), reads of up to 8192 bytes at the position (the count read), closing. */
uintptr_t carve_open(const char* volume_path);
int32_t carve_seek(uintptr_t handle, uint32_t offset_low, uint32_t offset_high, int32_t origin);
int32_t carve_read(uintptr_t handle, void* buffer, uint32_t length);
void carve_close(uintptr_t handle);

#ifdef __cplusplus
}
#endif
