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

rm -rf "$out"
mkdir -p "$out"
cp -a "$src" "$out/src"
cp "$work"/*.7z "$out/"
date -u +%FT%TZ >"$out/stamp"
