#!/usr/bin/env bash
# found_partitions.sh CLI MAKE_DEMO_DISK FILES_TOOL NTFS_TOOL: a partition that the search finds
# on a disk whose table was wiped is scanned and recovered from without writing anything: every
# find lists the same files, live and deleted, as the intact disk's partition at the same place,
# recovers them byte for byte the same, carves the same hits, and the disk's bytes never change.
set -euo pipefail
cli=$1 make_disk=$2 files_tool=$3 ntfs_tool=$4

export LC_ALL=C.UTF-8 TZ=UTC
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
export XDG_DATA_HOME=$work/data

intact=$work/intact.img
"$make_disk" --files-tool "$files_tool" --ntfs-tool "$ntfs_tool" "$intact" >/dev/null
wiped=$work/wiped.img
cp --sparse=always "$intact" "$wiped"
dd if=/dev/zero of="$wiped" bs=1 seek=446 count=64 conv=notrunc status=none
before=$(sha256sum <"$wiped")

# The intact disk's volumes by start sector: row and file system.
declare -A row_at fs_at
while IFS=$'\t' read -r row _ fs _ _ _ number _; do
  start=$(sfdisk -d "$intact" | sed -nE "s/^[^ ]*${number} : start= *([0-9]+),.*/\1/p")
  row_at[$start]=$row
  fs_at[$start]=$fs
done < <(TARN_DISKS=$intact "$cli" volumes)

TARN_DISKS=$wiped "$cli" partitions 1 >"$work/search" || fail "partitions 1 on the wiped disk"
grep -qx $'table\tnone' "$work/search" || fail "the wiped disk's table is not named as none"
grep -v '^table' "$work/search" >"$work/finds"
[ "$(wc -l <"$work/finds")" -ge 2 ] || fail "the search found $(wc -l <"$work/finds") partitions, not the FAT32 and the NTFS one"
while IFS=$'\t' read -r index fs start _; do
  row=${row_at[$start]:-}
  [ -n "$row" ] || { fail "find $index ($fs at $start) lies where the intact disk has no partition"; continue; }
  [ "${fs_at[$start]}" = "$fs" ] || fail "find $index is $fs, the intact partition ${fs_at[$start]}"
  TARN_DISKS=$intact "$cli" scan "$row" --all --recover "$work/intact-$index" >"$work/intact-$index.txt" \
    || fail "scan $row of the intact disk"
  TARN_DISKS=$wiped "$cli" scan "1:$index" --all --recover "$work/found-$index" >"$work/found-$index.txt" \
    || fail "scan 1:$index of the wiped disk"
  [ -s "$work/found-$index.txt" ] || fail "scan 1:$index listed nothing"
  diff "$work/intact-$index.txt" "$work/found-$index.txt" >&2 || fail "find $index lists other files than row $row"
  diff -r "$work/intact-$index" "$work/found-$index" >&2 || fail "find $index recovers other bytes than row $row"
  # Without --all only what was deleted, which the intact partition lists the same way.
  TARN_DISKS=$wiped "$cli" scan "1:$index" >"$work/deleted-$index.txt" || fail "scan 1:$index without --all"
  TARN_DISKS=$intact "$cli" scan "$row" | diff - "$work/deleted-$index.txt" >&2 || fail "deleted files of find $index"
  [ "$(wc -l <"$work/deleted-$index.txt")" -lt "$(wc -l <"$work/found-$index.txt")" ] \
    || fail "find $index: --all lists no file that still exists"
  TARN_DISKS=$intact "$cli" carve "$row" >"$work/carve-intact-$index.txt" || fail "carve $row"
  TARN_DISKS=$wiped "$cli" carve "1:$index" | diff "$work/carve-intact-$index.txt" - >&2 || fail "carve 1:$index"
done <"$work/finds"

# Addresses that name no find are refused with a reason, never scanned as something else.
for bad in 1:9 1:x 7:0; do
  if TARN_DISKS=$wiped "$cli" scan "$bad" >/dev/null 2>"$work/err"; then fail "scan $bad succeeded"; fi
  [ -s "$work/err" ] || fail "scan $bad said nothing"
done

[ "$(sha256sum <"$wiped")" = "$before" ] || fail "the wiped disk changed"
[ ! -d "$XDG_DATA_HOME/TarnRecovery" ] || [ -z "$(ls "$XDG_DATA_HOME/TarnRecovery" | grep -i backup)" ] \
  || fail "a sector backup was written: something meant to write"
[ "$failures" -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "found partitions: every find scanned and recovered as its intact partition"
