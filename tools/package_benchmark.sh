#!/usr/bin/env bash
# package_benchmark.sh [ROUNDS] - the package fetcher's checksum and unpacking against the
# native tools, measured in the same run on the same files, as ratios.
#
#   checksum: VerifyChecksum of a 300 MB file (package_benchmark.exe under Wine) against
#             `openssl dgst -sha256` (native) on the same file;
#   unpack:   LzmaUtil unpacking a solid 7z package of about 200 MB (thousands of files, a
#             third of the bytes random, the rest text; made with 7zz's default settings)
#             against `7zz x` of the same archive; plus the peak private memory of the
#             unpacking process, read from the host as its anonymous resident memory
#             (RssAnon in /proc/<pid>/status, sampled every few milliseconds), since Wine
#             reports no private-usage counter.
#   download: WininetDownloader fetching the 300 MB file over loopback from the tests'
#             autoupdate server (autoupdate_server.exe under Wine) against native `curl`
#             fetching it from the same server, which also shows what the server can send;
#   the same platform: beside the native tools, the same files handled under Wine by a
#             plain Windows program (copy_reference.exe): the 300 MB file read through (what
#             any checksum under Wine must at least take) and the unpacked files copied (what
#             writing them under Wine takes), so that Wine's own cost is told from ours.
#
# Each figure is the median of ROUNDS (default 5) rounds; the tools alternate so that both
# sides see the same machine load. Wall times are of whole processes on both sides (a warm
# wineserver runs for the whole script); the Wine side's own in-process time is printed
# beside it. The test data is made once in $BENCH_DIR (default /tmp/tavro-package-bench,
# about 1.5 GB with the outputs) and kept for later runs.
#
# Needs a build (tools/build.sh), python3, openssl, curl and 7zz.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
rounds=${1:-5}
bench=${BENCH_DIR:-/tmp/tavro-package-bench}
exe=$build/bin/package_benchmark.exe
reference=$build/bin/copy_reference.exe
server_exe=$build/bin/autoupdate_server.exe
for program in "$exe" "$reference" "$server_exe"; do
  [ -f "$program" ] || { echo "build first: tools/build.sh (no $program)" >&2; exit 1; }
done

export WINEPREFIX=$build/wineprefix
. "$root/tools/wine_env.sh"
ensure_wine_prefix
. "$root/tools/autoupdate_server.sh"
trap 'stop_autoupdate_server; wineserver -k 2>/dev/null || true' EXIT
start_wine_session

mkdir -p "$bench"
winpath() { printf 'Z:%s' "${1//\//\\}"; }
now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
median() { sort -g | awk '{ v[NR] = $1 } END { printf "%.3f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# ---------------------------------------------------------------- test data
if [ ! -f "$bench/hash.bin" ]; then
  echo "making a 300 MB file to hash" >&2
  head -c 300M /dev/urandom >"$bench/hash.bin.tmp" && mv "$bench/hash.bin.tmp" "$bench/hash.bin"
fi
if [ ! -f "$bench/package.7z" ]; then
  echo "making the package content (about 300 MB in 5000 files) and its archive" >&2
  rm -rf "$bench/content"
  python3 - "$bench/content" 300 <<'EOF'
import os, random, sys
root, total = sys.argv[1], int(sys.argv[2]) << 20
rnd = random.Random(7)
words = [''.join(rnd.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(rnd.randint(2, 10)))
         for _ in range(5000)]
written = index = 0
while written < total:
    folder = os.path.join(root, 'dir%02d' % (index % 40), 'sub%d' % (index % 7))
    os.makedirs(folder, exist_ok=True)
    size = int(rnd.expovariate(1 / 60000)) + 1
    if index % 3 == 0:
        data, name = rnd.randbytes(size), 'blob%05d.bin' % index
    else:
        lines, length = [], 0
        while length < size:
            line = ' '.join(rnd.choice(words) for _ in range(rnd.randint(3, 14))) + '\n'
            lines.append(line)
            length += len(line)
        data, name = ''.join(lines).encode()[:size], 'text%05d.txt' % index
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)
    written += size
    index += 1
EOF
  (cd "$bench/content" && 7zz a -bd -bso0 -bsp0 "$bench/package.7z.tmp" ./*)
  mv "$bench/package.7z.tmp" "$bench/package.7z"
fi
checksum=$(openssl dgst -sha256 -r "$bench/hash.bin" | cut -c1-64)
echo "archive: $(stat -L -c %s "$bench/package.7z") bytes," \
     "$(find -L "$bench/content" -type f | wc -l) files" >&2

start_autoupdate_server "$build/bin" "$bench/server" "$bench/hash.bin"
download_url="http://127.0.0.1:$(cat "$bench/server/port")/packages/tavro_installer.exe"

# ---------------------------------------------------------------- rounds
# unpack_ours OUT: runs the Wine side and samples its RssAnon; prints
# "<wall> <in-process> <peak KiB> <baseline KiB>".
unpack_ours() {
  local out=$1 log=$bench/unpack.log pid= rss peak=0 base= start end
  start=$(now)
  wine "$exe" unpack "$(winpath "$bench/package.7z")" "$(winpath "$out")" >"$log" 2>&1 &
  local wine_pid=$!
  while kill -0 "$wine_pid" 2>/dev/null; do
    [ -n "$pid" ] || pid=$(pgrep -f 'package_benchmark.exe unpack' | head -n 1 || true)
    if [ -n "$pid" ] && rss=$(awk '/^RssAnon:/ { print $2 }' "/proc/$pid/status" 2>/dev/null) &&
       [ -n "$rss" ]; then
      [ -n "$base" ] || base=$rss
      [ "$rss" -gt "$peak" ] && peak=$rss
    fi
    sleep 0.005
  done
  wait "$wine_pid" || { cat "$log" >&2; echo "unpacking failed" >&2; exit 1; }
  end=$(now)
  printf '%s %s %s %s\n' "$(elapsed "$start" "$end")" \
    "$(sed -n 's/.*unpack_seconds=\([0-9.]*\).*/\1/p' "$log")" "$peak" "${base:-0}"
}

: >"$bench/figures"
for round in $(seq "$rounds"); do
  start=$(now); openssl dgst -sha256 "$bench/hash.bin" >/dev/null; end=$(now)
  openssl_s=$(elapsed "$start" "$end")
  start=$(now)
  line=$(wine "$exe" checksum "$(winpath "$bench/hash.bin")" "$checksum")
  end=$(now)
  [[ $line == *match=1* ]] || { echo "checksum mismatch: $line" >&2; exit 1; }
  ours_hash_wall=$(elapsed "$start" "$end")
  ours_hash_in=$(sed -n 's/.*checksum_seconds=\([0-9.]*\).*/\1/p' <<<"$line")

  rm -rf "$bench/out-7zz"; sync
  start=$(now); 7zz x -bd -bso0 -bsp0 -o"$bench/out-7zz" "$bench/package.7z"; end=$(now)
  sevenzip_s=$(elapsed "$start" "$end")
  rm -rf "$bench/out-ours"; sync
  read -r ours_wall ours_in peak base < <(unpack_ours "$bench/out-ours")

  start=$(now); wine "$reference" read "$(winpath "$bench/hash.bin")" >/dev/null; end=$(now)
  wine_read_s=$(elapsed "$start" "$end")
  rm -rf "$bench/out-wine"; sync
  start=$(now)
  wine "$reference" tree "$(winpath "$(readlink -f "$bench/content")")" \
    "$(winpath "$bench/out-wine")" >/dev/null
  end=$(now)
  wine_copy_s=$(elapsed "$start" "$end")

  rm -f "$bench/download-curl"
  start=$(now); curl -sf -o "$bench/download-curl" "$download_url"; end=$(now)
  curl_s=$(elapsed "$start" "$end")
  rm -f "$bench/download-ours"
  start=$(now)
  line=$(wine "$exe" download "$download_url" "$(winpath "$bench/download-ours")")
  end=$(now)
  [[ $line == *finished=1* ]] || { echo "download failed: $line" >&2; exit 1; }
  download_wall=$(elapsed "$start" "$end")
  download_in=$(sed -n 's/.*download_seconds=\([0-9.]*\).*/\1/p' <<<"$line")
  cmp -s "$bench/hash.bin" "$bench/download-ours" || { echo "downloaded file differs" >&2; exit 1; }

  echo "$openssl_s $ours_hash_wall $ours_hash_in $sevenzip_s $ours_wall $ours_in $peak $base" \
    "$wine_read_s $wine_copy_s $curl_s $download_wall $download_in" >>"$bench/figures"
  printf 'round %d: sha256 openssl %ss, ours %ss (in process %ss); unpack 7zz %ss, ours %ss (in process %ss), peak RssAnon %d KiB (at start %d KiB)\n' \
    "$round" "$openssl_s" "$ours_hash_wall" "$ours_hash_in" "$sevenzip_s" "$ours_wall" "$ours_in" \
    "$peak" "$base" >&2
  printf 'round %d: download curl %ss, ours %ss (in process %ss)\n' "$round" "$curl_s" \
    "$download_wall" "$download_in" >&2
done
rm -f "$bench/download-curl" "$bench/download-ours"
diff -r "$bench/content" "$bench/out-ours" >/dev/null || { echo "unpacked files differ" >&2; exit 1; }

rm -rf "$bench/out-wine"
col() { awk -v c="$1" '{ print $c }' "$bench/figures" | median; }
openssl_m=$(col 1); hash_wall_m=$(col 2); hash_in_m=$(col 3)
sevenzip_m=$(col 4); unpack_wall_m=$(col 5); unpack_in_m=$(col 6)
wine_read_m=$(col 9); wine_copy_m=$(col 10)
curl_m=$(col 11); download_wall_m=$(col 12); download_in_m=$(col 13)
peak_max=$(awk '$7 > m { m = $7 } END { print m + 0 }' "$bench/figures")
echo
echo "SHA-256 of 300 MB, medians of $rounds: openssl dgst ${openssl_m}s; VerifyChecksum ${hash_wall_m}s" \
     "as a process under Wine, ${hash_in_m}s in process"
awk -v o="$openssl_m" -v w="$hash_wall_m" -v i="$hash_in_m" 'BEGIN {
  printf "  throughput ratio (openssl time / ours): %.2f (process), %.2f (in process); goal >= 1.0\n", o / w, o / i }'
awk -v r="$wine_read_m" -v w="$hash_wall_m" 'BEGIN {
  printf "  the same platform: the file read through under Wine %.3fs; ours / that: %.2f (process)\n", r, w / r }'
echo "Unpacking, medians of $rounds: 7zz x ${sevenzip_m}s; LzmaUtil ${unpack_wall_m}s as a process" \
     "under Wine, ${unpack_in_m}s in process"
awk -v s="$sevenzip_m" -v w="$unpack_wall_m" -v i="$unpack_in_m" 'BEGIN {
  printf "  wall-time ratio (ours / 7zz): %.2f (process), %.2f (in process); goal <= 1.0\n", w / s, i / s }'
awk -v c="$wine_copy_m" -v w="$unpack_wall_m" 'BEGIN {
  printf "  the same platform: the unpacked files copied under Wine %.3fs; ours / that: %.2f (process)\n", c, w / c }'
awk -v p="$peak_max" 'BEGIN { printf "  peak anonymous memory of the unpacking process: %.1f MB (largest of all rounds); goal < 64 MB\n", p / 1024 }'
echo "Download of 300 MB over loopback, medians of $rounds: curl ${curl_m}s; WininetDownloader" \
     "${download_wall_m}s as a process under Wine, ${download_in_m}s in process"
awk -v c="$curl_m" -v w="$download_wall_m" -v i="$download_in_m" 'BEGIN {
  printf "  throughput ratio (curl time / ours): %.2f (process), %.2f (in process); %.0f MB/s in process\n", c / w, c / i, 300 * 1.048576 / i }'
