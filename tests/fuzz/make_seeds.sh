#!/usr/bin/env bash
# Makes the seeds too large to keep in the repository, with the real tools, into OUT/<target>/:
# FAT12, FAT16 and FAT32 volumes with live, deleted and nested files and folders; an exFAT volume
# with entry sets written into it (live, deleted, a deleted folder, a fragmented file); an NTFS volume
# with files written and deleted through tarn-ntfs-edit (when its path is given); and the carving
# samples of tests/carve/make_samples.sh, alone and planted together in small volumes. Every
# image is cut after its last byte that is not zero: the targets read zeros past their input.
#   tests/fuzz/make_seeds.sh OUT [TARN_NTFS_EDIT]
set -euo pipefail
out=$(realpath -m "$1")
edit=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8 TZ=UTC
at() { faketime '2024-01-15 10:00:00' "$@"; }
mkdir -p "$out"/{fat_module,fat_engine,exfat_module,ntfs_scan,ntfs_lost,carve_format,carve_scan,probe_staging,gpt_table}

# Cuts a file after its last byte that is not zero.
trim() {
  python3 - "$1" "$2" <<'PY'
import sys
data = open(sys.argv[1], "rb").read().rstrip(b"\0")
open(sys.argv[2], "wb").write(data)
PY
}

# bits, size in KiB: the smallest cluster count each type is told by (FAT32 needs 65,525).
fat_seed() {
  local bits=$1 kib=$2 img=$work/fat$1.img
  rm -f "$img"
  at mkfs.fat -C --invariant -i 1234ABCD -F "$bits" -s 1 -f 1 -r 32 "$img" "$kib" >/dev/null 2>&1
  seq 1 300 > "$work/numbers.txt"
  echo "a short file" > "$work/short.txt"
  at mmd -i "$img" ::/Keep ::/Keep/Inner ::/Gone ::/Gone/Below
  at mcopy -i "$img" "$work/numbers.txt" "::/Keep/a file with a long name.txt"
  at mcopy -i "$img" "$work/short.txt" ::/Keep/Inner/short.txt
  at mcopy -i "$img" "$work/numbers.txt" ::/Gone/numbers.txt
  at mcopy -i "$img" "$work/short.txt" ::/Gone/Below/short.txt
  at mcopy -i "$img" "$work/short.txt" ::/erased.txt
  at mdel -i "$img" ::/erased.txt
  at mdeltree -i "$img" ::/Gone
  trim "$img" "$out/fat_module/fat$bits.img"
  cp "$out/fat_module/fat$bits.img" "$out/fat_engine/fat$bits.img"
}
# GPT: a disk of 4096 sectors made by sgdisk, as the target lays its input at both ends: sector 0
# and the primary copy (34 sectors), then the backup copy (the last 33).
img=$work/gpt.img
rm -f "$img"
truncate -s $((4096 * 512)) "$img"
sgdisk -n 1:2048:2559 -t 1:0700 -n 2:2560:3583 -t 2:8300 "$img" >/dev/null
{ head -c $((34 * 512)) "$img"; tail -c $((33 * 512)) "$img"; } > "$out/gpt_table/sgdisk_both_copies.img"

# (The FAT12 seed is small enough to be kept with the others in corpus/.)
fat_seed 16 2600
fat_seed 32 33600

# exFAT: mkfs.exfat packs its structures at the start; the sets are written by hand (a mount
# needs root): a live folder holding a deleted file, a deleted folder holding one, a deleted file
# along a FAT chain, and a deleted file of NoFatChain in the root.
img=$work/exfat.img
rm -f "$img"
truncate -s 4M "$img"
mkfs.exfat -c 4K -b 4K -L SEED "$img" >/dev/null
python3 - "$img" "$out/exfat_module/exfat.img" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
sector = 1 << data[108]
cluster = sector << data[109]
fat, heap, root = (struct.unpack_from("<I", data, o)[0] for o in (80, 88, 96))
fat *= sector
heap *= sector
def at(c): return heap + (c - 2) * cluster
def chk(b):
    s = 0
    for i, x in enumerate(b):
        if i not in (2, 3): s = ((s >> 1) | ((s & 1) << 15)) + x & 0xFFFF
    return s
def name_hash(n):
    h = 0
    for ch in n.upper():
        for x in (ord(ch) & 0xFF, ord(ch) >> 8): h = ((h >> 1) | ((h & 1) << 15)) + x & 0xFFFF
    return h
def put(c, slot, name, attr, first, size, contiguous, deleted):
    k = (len(name) + 14) // 15
    s = bytearray((2 + k) * 32)
    s[0], s[1] = 0x85, 1 + k
    struct.pack_into("<H", s, 4, attr)
    struct.pack_into("<III", s, 8, 0x58AF5A2B, 0x58AF5A2B, 0x58AF5A2B)
    s[32], s[33], s[35] = 0xC0, 1 | (2 if contiguous else 0), len(name)
    struct.pack_into("<H2xQ4xIQ", s, 36, name_hash(name), size, first, size)
    for i, ch in enumerate(name):
        s[64 + i // 15 * 32] = 0xC1
        struct.pack_into("<H", s, 64 + i // 15 * 32 + 2 + i % 15 * 2, ord(ch))
    struct.pack_into("<H", s, 2, chk(s))
    if deleted:
        for o in range(0, len(s), 32): s[o] &= 0x7F
    data[at(c) + slot * 32: at(c) + slot * 32 + len(s)] = s
    return len(s) // 32
slot = next(i for i in range(cluster // 32) if data[at(root) + i * 32] == 0)
live, gone = 8, 9
struct.pack_into("<I", data, fat + live * 4, 0xFFFFFFFF)
data[at(2) + (live - 2) // 8] |= 1 << ((live - 2) % 8)
slot += put(root, slot, "Live", 0x10, live, cluster, False, False)
slot += put(root, slot, "Gone", 0x10, gone, cluster, True, True)
slot += put(root, slot, "chained.bin", 0x20, 10, 3 * cluster, False, True)
slot += put(root, slot, "plain.txt", 0x20, 15, 5000, True, True)
put(live, 0, "in live.txt", 0x20, 17, 100, True, True)
put(gone, 0, "in gone.txt", 0x20, 18, 100, True, True)
for a, b in ((10, 12), (12, 14), (14, 0xFFFFFFFF)):
    struct.pack_into("<I", data, fat + a * 4, b)
for c in range(10, 19):
    data[at(c):at(c) + 16] = b"seed data %5d\n" % c
open(sys.argv[2], "wb").write(bytes(data).rstrip(b"\0"))
PY

# NTFS: the file table lies near the volume's start; the image is cut at the first 4 KiB block
# of zeros after it, which keeps every file record and drops the data far out.
if [ -n "$edit" ]; then
  img=$work/ntfs.img
  truncate -s 2M "$img"
  at mkntfs -F -Q -q "$img" >/dev/null 2>&1
  ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 at "$edit" "$img" mkdir /D fill /D/a.bin 9000 1 fill /D/b.txt 300 2 \
    fill /c.txt 100 3 mkdir /D/E fill /D/E/f.bin 20000 4 rm /D/a.bin rm /D/E/f.bin >/dev/null
  python3 - "$img" "$out/ntfs_scan/ntfs.img" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
cluster = struct.unpack_from("<H", data, 11)[0] * data[13]
at = struct.unpack_from("<Q", data, 0x30)[0] * cluster
while at < len(data) and data[at:at + 4096].strip(b"\0"):
    at += 4096
open(sys.argv[2], "wb").write(data[:at])
PY
  cp "$out/ntfs_scan/ntfs.img" "$out/probe_staging/ntfs.img" # its label lies in the file table
  cp "$out/ntfs_scan/ntfs.img" "$out/ntfs_lost/ntfs.img"      # its records, read as lost ones
fi

# Carving: each sample alone (for the descriptors, led by its descriptor's number), and a few
# small volumes of several samples at sector starts and odd offsets between random bytes.
bash "$here/../carve/make_samples.sh" "$work/samples" >/dev/null 2>&1
python3 - "$here/../../libs/carve" "$work/samples" "$here/corpus/carve_format" "$out" <<'PY'
import glob, os, random, re, shutil, sys
carve, samples, committed, out = sys.argv[1:5]
order = re.findall(r"&carve_(\w+)", open(os.path.join(carve, "formats/registry.cpp")).read())
ext = {}
for source in glob.glob(os.path.join(carve, "formats/*.cpp")):
    for name, e in re.findall(r'const carve_format_s carve_(\w+)\s*\{\s*"(\w+)"', open(source).read()):
        ext[e] = order.index(name)
aliases = {"docx": "zip", "xlsx": "zip", "pptx": "zip", "odt": "zip", "ods": "zip", "odp": "zip", "jar": "zip",
           "apk": "zip", "epub": "zip", "doc": "ole", "xls": "ole", "ppt": "ole", "msg": "ole", "m4a": "mp4",
           "opus": "ogg", "webm": "mkv", "dll": "exe", "tgz": "gz", "jpeg": "jpg", "tiff": "tif"}
largest = 200 << 10
files = sorted(f for f in glob.glob(os.path.join(samples, "*")) if os.path.getsize(f) <= largest)
for f in files:
    e = os.path.splitext(f)[1][1:].lower()
    index = ext.get(aliases.get(e, e))
    if index is not None:
        open(os.path.join(out, "carve_format", os.path.basename(f)), "wb").write(bytes([index]) + open(f, "rb").read())
random.seed(7)
pool = files + sorted(glob.glob(os.path.join(committed, "*")))
for n in range(12):
    volume = bytearray()
    for f in random.sample(pool, 4):
        volume += random.randbytes(random.randrange(1, 3000))
        if len(volume) % 2:
            volume += bytes(-len(volume) % 512)
        data = open(f, "rb").read()
        volume += data[1:] if f.startswith(committed) else data
    if len(volume) <= 2 * largest:
        open(os.path.join(out, "carve_scan", "volume%02d.bin" % n), "wb").write(bytes(volume))
for f in files:
    shutil.copy(f, os.path.join(out, "carve_scan", os.path.basename(f)))
PY
