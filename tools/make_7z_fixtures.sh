#!/usr/bin/env bash
# make_7z_fixtures.sh OUT_DIR
#
# Makes the 7z archives that the unpacking tests read, with 7zz, and keeps the trees they
# were made from so that the tests can compare what they unpack byte for byte.
#
# OUT_DIR receives:
#   src/nested/         nested folders, an empty folder, an empty file, unicode names and
#                       files with a fixed modification time (2001-02-03 04:05:06 UTC)
#   nested.7z           src/nested, solid (LZMA2)
#   folders_only.7z     three nested folders and nothing else
#   src/dirs/           several folders of text files
#   solid_dirs.7z       src/dirs as one solid block
#   blocks.7z           src/dirs in 7z blocks of two files each
#   ppmd.7z             src/dirs with PPMd (decoded whole by the SDK)
#   src/big/            17 MB of text in 48 files
#   parts.7z            src/big, LZMA2 with a dictionary reset every 4 MB (parallel parts)
#   truncated.7z        nested.7z cut in half
#   corrupt.7z          parts.7z with one byte of the packed data changed
#   hostile_*.7z        a good file, then one whose name leaves the destination:
#                       dotdot ("../escaped.txt"), absolute ("/.../escaped.txt"), colon
#                       ("stream.txt:hidden"), device ("CON"), unc ("\\server\share\x")
#   dirs_in_solid.7z    one solid LZMA2 folder whose files have folder entries between them
#                       (an empty one, and one that holds a later file) and an empty file;
#                       built byte by byte, as 7zz lists folders first
#   src/dirs_in_solid/  what 7zz extracts from it
#   same_*.7z           good files, then two entries that reach one file on Windows, in one
#                       solid folder: dot ("name." and "name"), case ("A" and "a"),
#                       repeated ("twice" twice), folder (a file "sub" and "SUB/inner.txt")
#   stamp               written last
set -euo pipefail

[ $# -eq 1 ] || { echo "usage: $0 OUT_DIR" >&2; exit 2; }
out=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

pack() { # ARCHIVE DIR [7zz switches...]: the contents of DIR, paths relative to it
  local archive=$1 dir=$2; shift 2
  (cd "$dir" && 7zz a -bd -bso0 -bsp0 "$@" "$archive" .)
}

# A deterministic text of about N bytes (seeded), fast enough for megabytes.
text() { # SEED BYTES
  python3 -c '
import random, sys
rnd = random.Random(int(sys.argv[1]))
words = ["".join(rnd.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rnd.randint(2, 9)))
         for _ in range(3000)]
out, size = [], 0
while size < int(sys.argv[2]):
    line = " ".join(rnd.choice(words) for _ in range(12)) + "\n"
    out.append(line)
    size += len(line)
sys.stdout.write("".join(out))' "$1" "$2"
}

src=$work/src
mkdir -p "$src/nested/a/b/c" "$src/nested/empty folder" "$src/nested/ünïcødé 文件夹"
text 1 3000 >"$src/nested/top.txt"
text 2 20000 >"$src/nested/a/b/c/deep.txt"
: >"$src/nested/a/empty.txt"
text 3 500 >"$src/nested/ünïcødé 文件夹/日本語 ファイル.txt"
find "$src/nested" -exec touch -h -d '2001-02-03 04:05:06 UTC' {} +
pack "$work/nested.7z" "$src/nested"

mkdir -p "$work/folders/one/two/three"
pack "$work/folders_only.7z" "$work/folders"

for d in alpha beta gamma delta; do
  mkdir -p "$src/dirs/$d/inner"
  for i in 1 2 3; do
    text "${#d}$i" $((5000 * i)) >"$src/dirs/$d/file$i.txt"
  done
  text "9${#d}" 100 >"$src/dirs/$d/inner/note.txt"
done
pack "$work/solid_dirs.7z" "$src/dirs"
pack "$work/blocks.7z" "$src/dirs" -ms=2f
pack "$work/ppmd.7z" "$src/dirs" -m0=PPMd

mkdir -p "$src/big"
text 4 17000000 >"$work/big.txt"
split -n 48 -d -a 2 --additional-suffix=.txt "$work/big.txt" "$src/big/part"
pack "$work/parts.7z" "$src/big" -m0=LZMA2:d=1m:c=4m -mmt=4

size=$(stat -c %s "$work/nested.7z")
head -c $((size / 2)) "$work/nested.7z" >"$work/truncated.7z"
cp "$work/parts.7z" "$work/corrupt.7z"
printf '\x55' | dd of="$work/corrupt.7z" bs=1 seek=$(( $(stat -c %s "$work/parts.7z") / 3 )) \
  conv=notrunc status=none

# Hostile names: 7zz keeps ".." and absolute paths with -spf, and stores the other names
# as the host file system spells them.
hostile() { # NAME STORED-PATH: a good file, then STORED-PATH
  local dir=$work/hostile-$1
  mkdir -p "$dir/in/sub"
  echo good >"$dir/in/sub/good.txt"
  case $2 in
    ../*) echo escaped >"$dir/in/${2#../}"
          (cd "$dir/in/sub" && 7zz a -bd -bso0 -bsp0 -spf "$work/hostile_$1.7z" good.txt "$2") ;;
    /*)   (cd "$dir/in/sub" && 7zz a -bd -bso0 -bsp0 "$work/hostile_$1.7z" good.txt)
          mkdir -p "$dir/abs" && echo escaped >"$dir/abs/escaped.txt"
          7zz a -bd -bso0 -bsp0 -spf "$work/hostile_$1.7z" "$dir/abs/escaped.txt" ;;
    *)    echo escaped >"$dir/in/sub/$2"
          (cd "$dir/in/sub" && 7zz a -bd -bso0 -bsp0 "$work/hostile_$1.7z" good.txt "$2") ;;
  esac
}
hostile dotdot ../escaped.txt
hostile absolute /escaped.txt
hostile colon 'stream.txt:hidden'
hostile device CON
hostile unc '\\server\share\escaped.txt'

# A 7z archive of the entries given, in that order: one solid LZMA2 folder holds the data
# of the files; folders and empty files are empty streams wherever they stand.
python3 - "$work/dirs_in_solid.7z" <<'PYTHON'
import lzma, struct, sys, zlib

def number(n):  # The 7z variable-length number.
    for extra in range(8):
        if n < 1 << (7 * (extra + 1)):
            first = ((0xFF00 >> extra) & 0xFF) | (n >> (8 * extra))
            return bytes([first]) + (n & ((1 << (8 * extra)) - 1)).to_bytes(extra, "little")
    return b"\xff" + n.to_bytes(8, "little")

def bits(flags):
    out = bytearray((len(flags) + 7) // 8)
    for i, flag in enumerate(flags):
        if flag:
            out[i // 8] |= 0x80 >> (i % 8)
    return bytes(out)

def write_7z(path, entries):  # entries: (name, bytes) for a file, (name, None) for a folder
    streams = [data for _, data in entries if data]
    unpacked = b"".join(streams)
    packed = lzma.compress(unpacked, format=lzma.FORMAT_RAW,
                           filters=[{"id": lzma.FILTER_LZMA2, "dict_size": 1 << 20}])
    empty = [not data for _, data in entries]
    names = b"".join(name.encode("utf-16-le") + b"\0\0" for name, _ in entries)
    header = b"".join([
        b"\x01\x04",                                                 # header, streams
        b"\x06", number(0), number(1), b"\x09", number(len(packed)), b"\x00",
        b"\x07\x0b", number(1), b"\x00",                             # one folder:
        number(1), b"\x21\x21\x01\x10",                             # LZMA2, 1 MiB
        b"\x0c", number(len(unpacked)), b"\x00",
        b"\x08\x0d", number(len(streams)),                           # its files
        b"\x09", b"".join(number(len(s)) for s in streams[:-1]),
        b"\x0a\x01", b"".join(struct.pack("<I", zlib.crc32(s)) for s in streams),
        b"\x00\x00",
        b"\x05", number(len(entries)),                                # the entries
        b"\x0e", number(len(bits(empty))), bits(empty),
        b"\x0f", number(len(bits([d is not None for _, d in entries if not d]))),
        bits([d is not None for _, d in entries if not d]),
        b"\x11", number(len(names) + 1), b"\x00", names,
        b"\x00\x00"])
    tail = struct.pack("<QQI", len(packed), len(header), zlib.crc32(header))
    with open(path, "wb") as f:
        f.write(b"7z\xbc\xaf\x27\x1c\x00\x04" + struct.pack("<I", zlib.crc32(tail)) + tail)
        f.write(packed + header)

write_7z(sys.argv[1], [("first.txt", b"first line\n" * 300), ("holder", None), ("empty", None),
                       ("zero.txt", b""), ("holder/inner.txt", b"inner line\n" * 200),
                       ("last.txt", b"last line\n" * 100)])
PYTHON
7zz t -bd -bso0 -bsp0 "$work/dirs_in_solid.7z"
7zz x -bd -bso0 -bsp0 -o"$src/dirs_in_solid" "$work/dirs_in_solid.7z"

# Entries that reach one file on Windows. 7zz stores names as the host file system spells
# them; "7zz rn" gives a second entry the name of the first.
same() { # NAME FILE...: good files and FILE... (relative to the folder) in one solid folder
  local name=$1 dir=$work/same-$1; shift
  local seed=70
  for f in good1.txt good2.txt good3.txt "$@"; do
    mkdir -p "$dir/$(dirname "$f")"
    text $((seed++)) 3000 >"$dir/$f"
  done
  (cd "$dir" && 7zz a -bd -bso0 -bsp0 -ms=on "$work/same_$name.7z" good1.txt good2.txt good3.txt "$@")
}
same dot name. name
same case A a
same repeated twice other
7zz rn -bd -bso0 -bsp0 "$work/same_repeated.7z" other twice
same folder sub SUB/inner.txt

rm -rf "$out"
mkdir -p "$out"
cp -a "$src" "$out/src"
cp "$work"/*.7z "$out/"
date -u +%FT%TZ >"$out/stamp"
