#!/usr/bin/env bash
# check_demo_disk.sh MAKE_DEMO_DISK FILES_TOOL NTFS_TOOL: builds the demo disk and checks its
# partition table, its file systems, the live and deleted names and contents, and the whole files
# in the unpartitioned space, each with a tool other than the ones that made it.
set -euo pipefail
make_disk=$1 files_tool=$2 ntfs_tool=$3

export LC_ALL=C.UTF-8
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
img=$work/demo.img
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

"$make_disk" --files-tool "$files_tool" --ntfs-tool "$ntfs_tool" "$img" >"$work/summary"
cat "$work/summary"
"$files_tool" "$work/samples" >/dev/null 2>&1

size=$(stat -c %s "$img")
[ "$size" -ge $((256 * 1024 * 1024)) ] || fail "image is only $size bytes"

# The partitions the summary reports are the ones in the table, with FAT32 LBA and FAT16 types.
read -r p1_start p1_sectors < <(sed -nE 's/^partition 1: .*start sector ([0-9]+), ([0-9]+) sectors$/\1 \2/p' "$work/summary")
read -r p2_start p2_sectors < <(sed -nE 's/^partition 2: .*start sector ([0-9]+), ([0-9]+) sectors$/\1 \2/p' "$work/summary")
read -r p3_start p3_sectors < <(sed -nE 's/^partition 3: .*start sector ([0-9]+), ([0-9]+) sectors$/\1 \2/p' "$work/summary")
sfdisk -d "$img" | sed -nE 's/^.*: start= *([0-9]+), size= *([0-9]+), type=([0-9a-f]+).*$/\1 \2 \3/p' >"$work/table"
printf '%s %s c\n%s %s 6\n%s %s 7\n' "$p1_start" "$p1_sectors" "$p2_start" "$p2_sectors" "$p3_start" "$p3_sectors" \
  | diff - "$work/table" \
  || fail "partition table differs from the summary"

# check_fat START SECTORS LABEL TYPE: fsck.fat finds no fault and the label and type are right.
check_fat() {
  local part=$work/part.img
  dd if="$img" of="$part" bs=512 skip="$1" count="$2" status=none
  fsck.fat -n "$part" >"$work/fsck" 2>&1 || { cat "$work/fsck" >&2; fail "fsck.fat at sector $1"; }
  fsstat "$part" >"$work/fsstat"
  grep -q "^Volume Label (Boot Sector): $3 *$" "$work/fsstat" || fail "label $3 at sector $1"
  grep -q "^File System Type: $4$" "$work/fsstat" || fail "type $4 at sector $1"
  rm -f "$part"
}
check_fat "$p1_start" "$p1_sectors" DEMO32 FAT32
check_fat "$p2_start" "$p2_sectors" DEMO16 FAT16

# listing START: every entry The Sleuth Kit finds as "live|deleted TYPE PATH".
listing() {
  fls -r -p -o "$1" "$img" | awk -F'\t' '{ state = ($1 ~ /\*/) ? "deleted" : "live"; print state, substr($1, 1, 3), $2 }'
}
listing "$p1_start" >"$work/fat32"
listing "$p2_start" >"$work/fat16"
listing "$p3_start" >"$work/ntfs"
fsstat -o "$p3_start" "$img" >"$work/ntfs-fsstat"
grep -q "^File System Type: NTFS$" "$work/ntfs-fsstat" || fail "no NTFS at sector $p3_start"
grep -q "^Volume Name: DEMONTFS$" "$work/ntfs-fsstat" || fail "NTFS volume name"

# expect LISTING LINE...: each line is in the listing.
expect() {
  local list=$1; shift
  for line in "$@"; do
    grep -qFx -- "$line" "$work/$list" || fail "$list lacks: $line"
  done
}
expect fat32 \
  "live r/r README.TXT" "live r/r notes.txt" "live r/r LEER.TXT" \
  "live r/r Größenübersicht.txt" "live r/r 文档说明.txt" \
  "live d/d Übungsblätter" "live r/r Übungsblätter/Blatt 01 Lösungen.pdf" \
  "live d/d 照片" "live r/r 照片/海边.jpg" "live r/r 照片/山景 全景.jpg" \
  "live r/r DOCS/Jahresbericht 2023.pdf" "live r/r LOGS/SYSTEM.LOG" \
  "live r/r Fotos/Urlaub 2023/IMG_0001.JPG" \
  "deleted r/r Entwurf Änderungen.txt" "deleted r/r 旧照片.jpg" "deleted r/r gelöscht-leer.txt" \
  "deleted r/r Textur.png" "deleted r/r 照片/删除的图表.png" \
  "deleted d/d Alte Entwürfe" "deleted r/r Alte Entwürfe/Bericht alt.pdf" \
  "deleted d/d 旧文件" "deleted r/r 旧文件/报告.pdf" "deleted r/r 旧文件/子目录/图片.jpg"
expect fat16 \
  "live r/r KATALOG.TXT" "live r/r Bericht.pdf" "live r/r Daten/Übersicht.txt" \
  "deleted r/r altes Foto.jpg" "deleted r/r _RCHIV/Grafik.png"
expect ntfs \
  "live r/r Bilder/Reise/Berge.jpg" "live r/r Dokumente/Jahresbericht.pdf" "live r/r Projekte/teil-b.bin" \
  "deleted -/r Bilder/Reise/海滩.jpg" "deleted -/r Bilder/Sonnenuntergang.jpg" "deleted -/r Dokumente/notiz.txt" \
  "deleted -/r Projekte/teil-a.bin" "deleted -/d Projekte/Entwurf" "deleted -/r Projekte/Entwurf/图表.png" \
  "deleted -/r Projekte/Entwurf/Übersicht.txt"

# same_content LISTING START PATH SAMPLE: the file's bytes, read by The Sleuth Kit, are the
# sample's. For deleted files this shows that no later write took their clusters. (PDFs are
# left out: they carry the time they were written.)
same_content() {
  local inode
  inode=$(fls -r -p -o "$2" "$img" | awk -F'\t' -v p="$3" '$2 == p { sub(/:$/, "", $1); n = split($1, f, " "); print f[n]; exit }')
  if [ -z "$inode" ]; then fail "$1: no $3"; return; fi
  icat -o "$2" "$img" "$inode" | cmp -s - "$work/samples/$4" || fail "$1: content of $3 differs from $4"
}
same_content fat32 "$p1_start" "照片/山景 全景.jpg" mountains.jpg
same_content fat32 "$p1_start" "旧照片.jpg" holiday.jpg
same_content fat32 "$p1_start" "Textur.png" texture.png
same_content fat32 "$p1_start" "旧文件/说明.txt" readme_zh.txt
same_content fat16 "$p2_start" "altes Foto.jpg" beach.jpg
same_content ntfs "$p3_start" "Bilder/Reise/海滩.jpg" beach.jpg
same_content ntfs "$p3_start" "Dokumente/notiz.txt" notes_en.txt
same_content ntfs "$p3_start" "Projekte/Entwurf/图表.png" chart.png

# The whole files in the unpartitioned space: past the last partition, starting with their
# format's signature and holding exactly the sample's bytes (a PDF: its size and its end mark).
free_start=$((p2_start + p2_sectors))
declare -A magic=([jpeg]=ffd8ff [png]=89504e470d0a1a0a [pdf]=255044462d)
raw_count=0
while read -r _ type sector bytes name; do
  raw_count=$((raw_count + 1))
  [ "$sector" -ge "$free_start" ] && [ $((sector + (bytes + 511) / 512)) -le "$p3_start" ] \
    || fail "$name at sector $sector lies inside a partition"
  [ $((sector * 512 + bytes)) -le "$size" ] || fail "$name runs past the end of the image"
  head_hex=$(od -An -tx1 -N8 -j $((sector * 512)) "$img" | tr -d ' \n')
  [[ $head_hex == "${magic[$type]}"* ]] || fail "$name at sector $sector starts with $head_hex, not $type"
  [ "$(stat -c %s "$work/samples/$name")" -eq "$bytes" ] || fail "$name: $bytes bytes reported"
  if [ "$type" = pdf ]; then
    end=$(od -An -c -N6 -j $((sector * 512 + bytes - 6)) "$img" | tr -d ' ')
    [ "$end" = '%%EOF\n' ] || fail "$name at sector $sector does not end with %%EOF"
  else
    cmp -s -n "$bytes" -i $((sector * 512)):0 "$img" "$work/samples/$name" \
      || fail "$name at sector $sector differs from the sample"
  fi
done < <(grep '^raw ' "$work/summary")
for type in jpeg png pdf; do
  grep -q "^raw $type " "$work/summary" || fail "no raw $type file"
done

# A second run gives the same image byte for byte: no clock, random id or uninitialised pixel
# leaks into it.
"$make_disk" --files-tool "$files_tool" --ntfs-tool "$ntfs_tool" "$work/again.img" >/dev/null
cmp -s "$img" "$work/again.img" || fail "a second run made a different image"

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "demo disk checks passed"
