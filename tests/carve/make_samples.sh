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

# The same bytes and times every run: a sample that changed from run to run would make the tests'
# outcome change with it.
stamp() { touch -d '2024-01-15 12:00:00' "$@"; }
seq 1 4000 > "$work/numbers.txt"
python3 -c 'import random, sys; random.seed(6000); sys.stdout.buffer.write(random.randbytes(6000))' > "$work/noise.bin"
stamp "$work/numbers.txt" "$work/noise.bin"
(cd "$work" && zip -q -X "$out/archive.zip" numbers.txt noise.bin)
echo "numbers and noise" | zip -q -z archive.zip
# Written to a pipe, so every entry's sizes follow its data in a descriptor.
(cd "$work" && zip -q -X - numbers.txt noise.bin | cat > "$out/streamed.zip")
(cd "$work" && zip -q -X -fz "$out/large64.zip" numbers.txt noise.bin)
# A small first member before the larger ones.
printf 'What is in this archive: random bytes, then numbers.\n' > "$work/readme.txt"
stamp "$work/readme.txt"
(cd "$work" && zip -q -X "$out/mixed.zip" readme.txt noise.bin numbers.txt)

python3 - <<'PY'
import zipfile

when = (2024, 1, 15, 12, 0, 0)

def write(name, members, stored_first=None):
    with zipfile.ZipFile(name, "w", zipfile.ZIP_DEFLATED) as z:
        if stored_first:
            z.writestr(zipfile.ZipInfo(stored_first[0], when), stored_first[1], compress_type=zipfile.ZIP_STORED)
        for member, text in members:
            z.writestr(zipfile.ZipInfo(member, when), text, compress_type=zipfile.ZIP_DEFLATED)

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

# Bit-exact: no random stream serials or identifiers in the files.
media() { ffmpeg -nostdin -loglevel error -y "${@:1:$#-1}" -fflags +bitexact "${@: -1}"; }
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
# Run in the work folder: the objects name their input, which must not carry its random path.
(cd "$work" && nasm -f elf32 exit.asm -o exit.o && ld -m elf_i386 -o "$out/exit32.elf" exit.o)
(cd "$work" && objcopy -I binary -O elf32-big noise.bin "$out/noise32be.elf")
(cd "$work" && objcopy -I binary -O elf64-big noise.bin "$out/noise64be.elf")

# Pictures: TIFF, and camera raw files as TIFF writers leave them once the maker (NEF, ARW) or the
# DNG version is set by libtiff's own tool. No tool here writes a Canon raw file: its header is
# built by hand around a TIFF directory.
convert -size 64x48 gradient:red-blue -depth 8 photo.tif
convert -seed 5 -size 40x30 plasma:fractal -depth 8 -define tiff:endian=msb tmp_msb.tif
mv tmp_msb.tif camera.nef && tiffset -s 271 "NIKON CORPORATION" camera.nef
convert -size 40x30 gradient:green-yellow -depth 8 TIFF:camera.arw && tiffset -s 271 "SONY" camera.arw
convert -size 48x32 gradient:white-black -depth 8 TIFF:camera.dng && tiffset -s 50706 1 4 0 0 camera.dng
python3 - <<'PY'
import struct
width, height = 24, 16
pixels = bytes((x * 10 + y) & 0xFF for y in range(height) for x in range(width * 3))
make = b"Canon\0"
entries = [(256, 3, 1, width), (257, 3, 1, height), (258, 3, 1, 8), (259, 3, 1, 1), (262, 3, 1, 2),
           (271, 2, len(make), None), (273, 4, 1, None), (277, 3, 1, 3), (278, 3, 1, height),
           (279, 4, 1, len(pixels))]
ifd_at = 16
data_at = ifd_at + 2 + 12 * len(entries) + 4
out = bytearray(b"II*\0" + struct.pack("<I", ifd_at) + b"CR\x02\0" + struct.pack("<I", 0))
out += struct.pack("<H", len(entries))
for tag, kind, count, value in entries:
    if tag == 271:
        value = data_at
    elif tag == 273:
        value = data_at + len(make)
    if kind == 3 and count == 1:
        out += struct.pack("<HHIHH", tag, kind, count, value, 0)
    else:
        out += struct.pack("<HHII", tag, kind, count, value)
out += struct.pack("<I", 0) + make + pixels
open("camera.cr2", "wb").write(out)
PY
convert -size 64x48 gradient:orange-purple picture.heic
convert -size 64x48 gradient:blue-cyan picture.avif
convert -seed 9 -size 64x48 plasma:fractal picture.webp
convert -size 32x32 gradient:red-yellow \( -size 16x16 gradient:blue-green \) icon.ico
convert -seed 11 -size 40x30 plasma:fractal layers.psd
# A progressive JPEG, and one with a restart marker after every block row.
convert -seed 3 -size 160x120 plasma:fractal -interlace JPEG progressive.jpg
convert -seed 4 -size 160x120 plasma:fractal ppm:- | cjpeg -restart 1 -quality 80 > restart.jpg

# Archives and compressed files.
(cd "$work" && 7zz a -bd -bso0 -bsp0 "$out/bundle.7z" numbers.txt noise.bin)
bzip2 -c -9 "$work/numbers.txt" > numbers.bz2
xz -c "$work/numbers.txt" > numbers.xz
# Streams appended to one another are one file to the tools that read them.
{ bzip2 -c -1 "$work/numbers.txt"; bzip2 -c -1 "$work/noise.bin"; } > streams.bz2
{ xz -c "$work/numbers.txt"; xz -c "$work/noise.bin"; } > streams.xz
(cd "$work" && tar -cf "$out/bundle.tar" numbers.txt noise.bin)
# A POSIX (pax) archive with a name too long for the header, and one without record padding.
long_name=$(printf 'folder_with_a_rather_long_name_%.0s' 1 2 3 4)/numbers.txt
mkdir -p "$work/$(dirname "$long_name")" && cp "$work/numbers.txt" "$work/$long_name"
stamp "$work/$long_name" "$work/$(dirname "$long_name")"
(cd "$work" && tar --format=pax --pax-option=exthdr.name=%d/PaxHeaders/%f,delete=atime,delete=ctime \
  -cf "$out/posix.tar" "$long_name" noise.bin)
(cd "$work" && tar -b 1 -cf "$out/unpadded.tar" noise.bin)
# No tool here writes RAR archives: both versions are built by hand with one stored file, their
# headers and CRCs as the format defines them.
python3 - <<'PY'
import struct, zlib
data = b"stored in a RAR archive\n" * 40

def rar4():
    def block(kind, flags, body, extra=b""):
        head = struct.pack("<BHH", kind, flags, 7 + len(body)) + body
        return struct.pack("<H", zlib.crc32(head) & 0xFFFF) + head + extra
    name = b"notes.txt"
    file_body = struct.pack("<IIBIIBBHI", len(data), len(data), 3, zlib.crc32(data), 0x58A1_0000, 20, 0x30, len(name), 0x20) + name
    return (b"Rar!\x1A\x07\x00" + block(0x73, 0, b"\0" * 6) + block(0x74, 0x8000, file_body, data)
            + block(0x7B, 0x4000, b""))

def vint(n):
    out = b""
    while True:
        b = n & 0x7F
        n >>= 7
        out += bytes([b | (0x80 if n else 0)])
        if not n:
            return out

def rar5():
    def header(fields, data=b""):
        body = vint(len(fields)) + fields
        return struct.pack("<I", zlib.crc32(body)) + body + data
    main = vint(1) + vint(0) + vint(0)
    name = b"notes.txt"
    file_fields = (vint(2) + vint(2) + vint(len(data)) + vint(0) + vint(len(data)) + vint(0x20)
                   + struct.pack("<I", zlib.crc32(data)) + vint(0) + vint(0) + vint(len(name)) + name)
    end = vint(5) + vint(0) + vint(0)
    return b"Rar!\x1A\x07\x01\x00" + header(main) + header(file_fields, data) + header(end)

open("notes.rar", "wb").write(rar4())
open("notes5.rar", "wb").write(rar5())
PY

# Compound documents, named by their streams: gsf writes the container around the streams given.
for kind in doc:WordDocument xls:Workbook ppt:"PowerPoint Document" msg:__substg1.0_0037001F; do
  mkdir -p "$work/ole-${kind%%:*}"
  stream="$work/ole-${kind%%:*}/${kind#*:}"
  head -c 9000 "$work/noise.bin" > "$stream"
  seq 1 900 > "$work/ole-${kind%%:*}/SummaryInformation"
  stamp "$stream" "$work/ole-${kind%%:*}/SummaryInformation"
  gsf createole "compound.${kind%%:*}" "$stream" "$work/ole-${kind%%:*}/SummaryInformation" > /dev/null 2>&1
done

# Sound and video in more containers.
media -f lavfi -i "sine=frequency=550:duration=1" -ar 22050 -c:a flac tone.flac
# FLAC's last frame is parsed to its end: other lengths, rates, channels and compression.
media -f lavfi -i "sine=frequency=300:duration=0.37" -ar 8000 -c:a flac short.flac
media -f lavfi -i "sine=frequency=300:duration=2.3" -ac 2 -ar 44100 -c:a flac -compression_level 12 stereo.flac
media -f lavfi -i "sine=frequency=770:duration=1" -c:a libvorbis tone.ogg
media -f lavfi -i "sine=frequency=880:duration=1" -c:a libopus tone.opus
media -f lavfi -i "testsrc=size=64x48:rate=10:duration=1" -c:v mpeg4 -q:v 8 clip.mkv
media -f lavfi -i "testsrc=size=64x48:rate=10:duration=1" -c:v libvpx -b:v 50k clip.webm
# Written to a pipe as a live stream: the segment's size is unknown.
media -f lavfi -i "testsrc=size=64x48:rate=10:duration=1" -c:v libvpx -b:v 50k -live 1 -f webm - | cat > live.webm
media -f lavfi -i "testsrc=size=64x48:rate=10:duration=1" -c:v flv1 -q:v 8 clip.flv
media -f lavfi -i "testsrc=size=64x48:rate=10:duration=1" -c:v mpeg2video -q:v 8 clip.ts

# Programs: a Windows program and library linked by lld from the assembler's objects, and a Java
# class compiled by javac, which also writes the RTF document through the Swing RTF writer.
printf 'global start\nsection .text\nstart:\n xor eax, eax\n ret\nsection .data\n db "data section", 0\n' > "$work/win.asm"
(cd "$work" && nasm -f win64 win.asm -o win.obj)
lld-link -nologo -Brepro -subsystem:console -entry:start -out:program.exe "$work/win.obj"
lld-link -nologo -Brepro -dll -noentry -out:library.dll "$work/win.obj"
rm -f library.lib
mkdir -p "$work/java"
cat > "$work/java/RtfWriter.java" <<'JAVA'
import java.io.FileOutputStream;
import javax.swing.text.DefaultStyledDocument;
import javax.swing.text.SimpleAttributeSet;
import javax.swing.text.StyleConstants;
import javax.swing.text.rtf.RTFEditorKit;

public class RtfWriter {
    public static void main(String[] args) throws Exception {
        DefaultStyledDocument doc = new DefaultStyledDocument();
        SimpleAttributeSet bold = new SimpleAttributeSet();
        StyleConstants.setBold(bold, true);
        doc.insertString(0, "Minutes of the meeting\n", bold);
        for (int i = 1; i <= 40; i++)
            doc.insertString(doc.getLength(), "Item " + i + ": agreed {in braces} and a back\\slash.\n", null);
        try (FileOutputStream out = new FileOutputStream(args[0])) {
            new RTFEditorKit().write(out, doc, 0, doc.getLength());
        }
    }
}
JAVA
javac -d "$work/java" "$work/java/RtfWriter.java"
cp "$work/java/RtfWriter.class" RtfWriter.class
java -Djava.awt.headless=true -cp "$work/java" RtfWriter minutes.rtf

# Text: a plain text file, and XML, HTML and JSON written by python's own writers.
{ for i in $(seq 1 60); do echo "Line $i of the notes: nothing but plain words here."; done; } > notes.txt
python3 - <<'PY'
import json, html
import xml.etree.ElementTree as ET
root = ET.Element("catalog")
for i in range(40):
    ET.SubElement(root, "book", id=str(i)).text = f"Title number {i}"
ET.ElementTree(root).write("catalog.xml", encoding="utf-8", xml_declaration=True)
with open("catalog.xml", "a") as f:
    f.write("\n")
rows = "".join(f"<tr><td>{i}</td><td>{html.escape('<item & more>')}</td></tr>\n" for i in range(40))
open("page.html", "w").write(f"<!DOCTYPE html>\n<html><head><title>Table</title></head>\n<body><table>\n{rows}</table></body></html>\n")
json.dump({"people": [{"name": f"person {i}", "age": 20 + i, "tags": ["a", "b"], "score": i * 1.5} for i in range(30)]},
          open("people.json", "w"), indent=2)
PY
