#!/usr/bin/env bash
# Makes one real file of every archive, database, media and program type the deep scan knows, with
# the tools that write them, into the folder given. The ZIP-based documents are written with
# python's zipfile and their real member names (no office suite or Android tools here).
set -euo pipefail
out=$1
mkdir -p "$out"
cd "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

seq 1 4000 > "$work/numbers.txt"
head -c 6000 /dev/urandom > "$work/noise.bin"
(cd "$work" && zip -q -X "$out/archive.zip" numbers.txt noise.bin)
echo "numbers and noise" | zip -q -z archive.zip
# Written to a pipe, so every entry's sizes follow its data in a descriptor.
(cd "$work" && zip -q -X - numbers.txt noise.bin | cat > "$out/streamed.zip")
(cd "$work" && zip -q -X -fz "$out/large64.zip" numbers.txt noise.bin)

python3 - <<'PY'
import zipfile

def write(name, members, stored_first=None):
    with zipfile.ZipFile(name, "w", zipfile.ZIP_DEFLATED) as z:
        if stored_first:
            z.writestr(zipfile.ZipInfo(stored_first[0]), stored_first[1], compress_type=zipfile.ZIP_STORED)
        for member, text in members:
            z.writestr(member, text)

types = '<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"/>'
rels = '<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"/>'
write("report.docx", [("[Content_Types].xml", types), ("_rels/.rels", rels),
                      ("word/document.xml", "<w:document><w:body>" + "<w:p>Quarterly report</w:p>" * 200 + "</w:body></w:document>"),
                      ("docProps/core.xml", "<cp:coreProperties/>")])
write("budget.xlsx", [("[Content_Types].xml", types), ("_rels/.rels", rels),
                      ("xl/workbook.xml", "<workbook><sheets><sheet name='Budget'/></sheets></workbook>"),
                      ("xl/worksheets/sheet1.xml", "<worksheet>" + "<row><c>42</c></row>" * 300 + "</worksheet>")])
write("letter.odt", [("content.xml", "<office:document-content>" + "<text:p>Dear reader</text:p>" * 150 + "</office:document-content>"),
                     ("styles.xml", "<office:document-styles/>"),
                     ("META-INF/manifest.xml", "<manifest:manifest/>")],
      stored_first=("mimetype", "application/vnd.oasis.opendocument.text"))
manifest = "Manifest-Version: 1.0\r\nMain-Class: demo.Main\r\nCreated-By: 17.0.2 (Eclipse Adoptium)\r\n\r\n"
write("tools.jar", [("META-INF/MANIFEST.MF", manifest),
                    ("demo/messages.properties", "greeting=Hello\nfarewell=Goodbye\n" * 40)])
write("game.apk", [("AndroidManifest.xml", bytes(range(256)) * 8), ("classes.dex", b"dex\n035\0" + bytes(3000)),
                   ("resources.arsc", bytes(range(64)) * 30), ("META-INF/MANIFEST.MF", manifest)])
PY

gzip -c -9 "$work/numbers.txt" > numbers.gz

sqlite3 shop.sqlite <<'SQL'
CREATE TABLE customer(id INTEGER PRIMARY KEY, name TEXT, city TEXT);
CREATE TABLE product(id INTEGER PRIMARY KEY, title TEXT, price REAL);
CREATE TABLE purchase(customer INTEGER, product INTEGER, at TEXT);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300)
INSERT INTO customer SELECT i, 'customer ' || i, 'town ' || (i % 17) FROM n;
INSERT INTO product VALUES (1, 'kettle', 24.5), (2, 'lamp', 12.0);
INSERT INTO purchase SELECT id, 1 + id % 2, '2024-01-15' FROM customer;
SQL

media() { ffmpeg -nostdin -loglevel error -y "$@"; }
media -f lavfi -i "sine=frequency=440:duration=1" -c:a libmp3lame -b:a 64k -metadata title=Tone -write_id3v1 1 tone.mp3
media -f lavfi -i "sine=frequency=660:duration=1" -c:a libmp3lame -b:a 32k -id3v2_version 0 -write_xing 0 bare.mp3
media -f lavfi -i "sine=frequency=330:duration=0.5" -ar 8000 -c:a pcm_s16le chime.wav
media -f lavfi -i "testsrc=size=64x48:rate=10:duration=1" -c:v mpeg4 -q:v 8 clip.avi
media -f lavfi -i "testsrc=size=64x48:rate=10:duration=1" -c:v mpeg4 -q:v 8 clip.mp4
media -f lavfi -i "testsrc=size=64x48:rate=10:duration=1" -c:v mpeg4 -q:v 8 clip.mov
# The same MP4 with its media box's size in 64 bits, written over the "free" box that writers
# leave before it for that purpose (every offset in the file stays as it was).
python3 - <<'PY'
import struct
b = open("clip.mp4", "rb").read()
ftyp = struct.unpack(">I", b[:4])[0]
assert b[ftyp:ftyp + 8] == b"\0\0\0\x08free" and b[ftyp + 12:ftyp + 16] == b"mdat"
media = struct.unpack(">I", b[ftyp + 8:ftyp + 12])[0]
open("large.mp4", "wb").write(b[:ftyp] + struct.pack(">I4sQ", 1, b"mdat", media + 8) + b[ftyp + 16:])
PY
# Older QuickTime files have no "ftyp" box: the same movie from its "wide" box on.
tail -c +$(( $(od -An -N4 -tu1 clip.mov | awk '{print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4}') + 1 )) clip.mov > legacy.mov

cp /usr/bin/true true.elf
# A 32-bit program made by the assembler and linker, and big-endian objects made by objcopy.
printf 'global _start\nsection .text\n_start:\n mov eax, 1\n xor ebx, ebx\n int 0x80\n' > "$work/exit.asm"
nasm -f elf32 "$work/exit.asm" -o "$work/exit.o"
ld -m elf_i386 -o exit32.elf "$work/exit.o"
objcopy -I binary -O elf32-big "$work/noise.bin" noise32be.elf
objcopy -I binary -O elf64-big "$work/noise.bin" noise64be.elf
