#!/usr/bin/env bash
# Benchmark of the installer's main job: a silent installation of a large package (the
# example package with 5,000 more files, 200 MB) from the local autoupdate server, against
# what the same work takes with the plain tools: "7zz x" of the same archive plus a plain
# recursive copy of the unpacked files. Both are measured in this run, three times each,
# with warm caches; the script prints the medians and the ratio (the goal: at most 1.3).
# Beside them, the same work on the same platform: the unpacked files copied under Wine by a
# small Windows program (copy_reference.exe, CopyFileW file by file) and the start of a
# program that imports kernel32 alone (startup_reference.exe), so that the phases of the
# installation can be told apart into Wine's own cost and ours; the deletion of the copied
# files by the same program (the installation deletes its unpacked files, the reference does
# not), which with the copy and "7zz x" gives the least that the installation's file work
# can take here; and the transaction's copy operation against CopyFileW in one process
# (copy_benchmark.exe). The backend's phase is split by the times of the installation
# subfolder that its copy fills.
#
# The installation includes everything a user's does: the download-URL request, the
# download over loopback, the checksum, the signer check (installer and package are signed
# with the test certificate), the version and stream checks, writing out and unpacking the
# archive, the backend's copy into the install folder with its registry entries, and the
# statistics report.
# Usage: tools/bench_silent_install.sh   (BUILD_DIR as for tools/build.sh)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
export BUILD_DIR=$build
"$root/tools/build.sh" >/dev/null

# A prefix of its own: the tests' prefix stays as the tests leave it.
export WINEPREFIX=$build/bench_wineprefix
. "$root/tools/wine_env.sh"
. "$root/tools/autoupdate_server.sh"
ensure_wine_prefix

bin=$build/bin
work=$build/bench_silent_install
files=5000
file_size=40000
signer=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["expected_signer"])' \
  "$root/desktop/windows/installer/host/product_config.json")

# The package, made once per example package.
example=$bin/example_package/current
stamp="$files $file_size $(stat -c %Y "$example/stamp")"
if [ "$(cat "$work/package.stamp" 2>/dev/null)" != "$stamp" ]; then
  echo "Making the benchmark package ($files files of $file_size bytes)..."
  rm -rf "$work" && mkdir -p "$work"
  cp -r "$example/package" "$work/package"
  python3 - "$work/package" "$files" "$file_size" <<'PY'
import os, random, sys
folder, count, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rnd = random.Random(7)
words = [bytes(rnd.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rnd.randint(2, 9)))
         for _ in range(2000)]
names = []
for i in range(count):
    name = "data\\%02d\\file_%04d.bin" % (i // 250, i)
    path = os.path.join(folder, *name.split("\\"))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    # Half of each file is text, half is random: it compresses about as a browser does.
    text = b" ".join(rnd.choice(words) for _ in range(size // 10))[: size // 2]
    with open(path, "wb") as f:
        f.write(text + os.urandom(size - len(text)))
    names.append(name)
with open(os.path.join(folder, "files_list"), "ab") as f:
    f.write(b"".join(n.encode() + b"\r\n" for n in names))
PY
  (cd "$work/package" && 7zz a -bd -bso0 -bsp0 -mx=5 "$work/package.7z" ./*)
  cp "$bin/installer.exe" "$work/unsigned.exe"
  bash "$root/tools/append_payload.sh" "$work/unsigned.exe" "$work/package.7z" align
  bash "$root/tools/sign_test_exe.sh" "$work/unsigned.exe" "$work/package_installer.exe" \
    "$signer" "$work/certs"
  echo "$stamp" >"$work/package.stamp"
fi
archive_mb=$(( $(stat -c %s "$work/package.7z") / 1000000 ))
content_mb=$(du -sm --apparent-size "$work/package" | cut -f1)

trap 'stop_autoupdate_server; wineserver -k 2>/dev/null || true' EXIT
start_wine_session
start_autoupdate_server "$bin" "$work/server" "$work/package_installer.exe"
# A signed installer checks the package's signer, as a published one does.
bash "$root/tools/sign_test_exe.sh" "$work/server/installer.exe" "$work/server/signed.exe" \
  "$signer" "$work/certs"
mv "$work/server/signed.exe" "$work/server/installer.exe"

install_folder='C:\bench_silent_install'
install_unix=$(winepath -u "$install_folder")
now() { date +%s.%N; }
elapsed() { python3 -c 'import sys; print("%.2f" % (float(sys.argv[2]) - float(sys.argv[1])))' "$1" "$(now)"; }
median() { printf '%s\n' "$@" | sort -g | sed -n "$(( ($# + 1) / 2 ))p"; }

reference=()
extracts=()
copies=()
wine_copies=()
deletions=()
wine_deletions=()
installs=()
for round in 1 2 3; do
  rm -rf "$work/reference" "$work/reference_copy"
  start=$(now)
  7zz x -bd -bso0 -bsp0 "$work/package.7z" -o"$work/reference"
  extracts+=("$(elapsed "$start")")
  copy_start=$(now)
  cp -r "$work/reference" "$work/reference_copy"
  copies+=("$(elapsed "$copy_start")")
  reference+=("$(elapsed "$start")")
  rm -rf "$work/reference_copy"
  start=$(now)
  wine "$bin/copy_reference.exe" tree "$(winepath -w "$work/reference")" \
    "$(winepath -w "$work/reference_copy")" >/dev/null
  wine_copies+=("$(elapsed "$start")")
  # The installer also deletes the unpacked files, which the reference leaves: what that
  # takes natively and under Wine (DeleteFileW file by file), each of a tree just written.
  start=$(now)
  wine "$bin/copy_reference.exe" delete "$(winepath -w "$work/reference_copy")" >/dev/null
  wine_deletions+=("$(elapsed "$start")")
  start=$(now)
  rm -r "$work/reference"
  deletions+=("$(elapsed "$start")")

  # A fresh installation each round: the folder goes (its registry entries are rewritten).
  rm -rf "$install_unix"
  start=$(now)
  wine "$work/server/installer.exe" --silent "--installfolder=$install_folder" >/dev/null 2>&1 ||
    { echo "round $round: the installation failed" >&2; exit 1; }
  installs+=("$(elapsed "$start")")
  [ -f "$install_unix/launcher.exe" ] || { echo "round $round: nothing installed" >&2; exit 1; }
done
# The copy of the last installation, from outside: its installation subfolder is made just
# before the first file, and each folder's time changes with the last file put into it.
subfolder=$(dirname "$(find "$install_unix" -mindepth 2 -maxdepth 2 -type d -name data -print -quit)")
copy_times="$start $(stat -c %.9W "$subfolder") $(find "$subfolder" -type d -printf '%T@\n' | sort -g | tail -n 1)"
# For scale, what Wine itself takes for the copy: the same files copied by its xcopy.
rm -rf "$work/reference_copy"
7zz x -bd -bso0 -bsp0 "$work/package.7z" -o"$work/reference"
start=$(now)
wine cmd /c xcopy /E /I /Q /Y "$(winepath -w "$work/reference")" \
  "$(winepath -w "$work/reference_copy")" >/dev/null 2>&1
wine_copy=$(elapsed "$start")
# The copy operation alone, in one process, against CopyFileW there (copy_benchmark.exe).
operation=$(wine "$bin/copy_benchmark.exe" "$(winepath -w "$work/reference")" \
  "$(winepath -w "$work/operation_copy")" 1 | sed -n 's/^ratio: //p')
rm -rf "$work/operation_copy"
rm -rf "$work/reference" "$work/reference_copy" "$install_unix"
starts=()
for _ in 1 2 3 4 5; do
  start=$(now)
  wine "$bin/startup_reference.exe" >/dev/null
  starts+=("$(elapsed "$start")")
done

ref=$(median "${reference[@]}")
inst=$(median "${installs[@]}")
echo "Package: $files extra files, $content_mb MB unpacked, $archive_mb MB archive"
printf '7zz x + cp -r (reference): %s s   (rounds: %s; 7zz x alone: %s)\n' "$ref" \
  "${reference[*]}" "${extracts[*]}"
printf 'silent installation:       %s s   (rounds: %s)\n' "$inst" "${installs[*]}"
wine_program_copy=$(median "${wine_copies[@]}")
printf 'for scale, the copy alone: cp -r %s s, under Wine (xcopy) %s s\n' "$(median "${copies[@]}")" \
  "$wine_copy"
printf 'the same platform: the copy by copy_reference.exe under Wine %s s (rounds: %s); a\n' \
  "$wine_program_copy" "${wine_copies[*]}"
printf '  kernel32-only program starts in %s s; the transaction'"'"'s copy operation takes %s\n' \
  "$(median "${starts[@]}")" "$operation"
printf '  times what CopyFileW does in the same process\n'
printf 'deleting the unpacked files (the installation must, the reference need not): rm -r %s s,\n' \
  "$(median "${deletions[@]}")"
printf '  under Wine (DeleteFileW) %s s (rounds: %s)\n' "$(median "${wine_deletions[@]}")" \
  "${wine_deletions[*]}"
python3 -c 'import sys; print("ratio: %.2f (goal: at most 1.3)" % (float(sys.argv[1]) / float(sys.argv[2])))' \
  "$inst" "$ref"
# The least this file work can take on this platform: unpacking as fast as 7zz x, then the
# copy and the deletion at Wine's own speed. What lies above it is the installer's own cost
# (its checks, steps, processes and messages).
python3 -c '
import sys
extract, copy, delete, inst = (float(x) for x in sys.argv[1:])
floor = extract + copy + delete
print("the same file work at the platform'"'"'s speed (7zz x + the copy and the deletion under Wine):"
      " %.2f s; the installation takes %.2f times that" % (floor, inst / floor))
' "$(median "${extracts[@]}")" "$wine_program_copy" "$(median "${wine_deletions[@]}")" "$inst"
# Where the last installation spent its time, from the statistics it sent (milliseconds
# since the front end started).
for _ in $(seq 50); do [ -s "$work/server/stats.json" ] && break; sleep 0.1; done
tail -n 1 "$work/server/stats.json" | python3 -c '
import json, sys, time
fetch = json.loads(sys.stdin.read())["fetches"][-1]
at = lambda key: fetch[key]["elapsed"] / 1000.0
total = float(sys.argv[1])
phases = [("start-up", 0, at("start_time")),
          ("download-URL request and download", at("start_time"), at("download_end_time")),
          ("checksum, signer, version and stream", at("download_end_time"), at("extract_start_time")),
          ("writing out the archive", at("extract_start_time"), at("unpack_start_time")),
          ("unpacking", at("unpack_start_time"), at("unpack_end_time")),
          ("backend: hand-over, copy, registry; statistics", at("package_ready_time"), total)]
wine_copy, wine_start = float(sys.argv[2]), float(sys.argv[3])
# The same work on the same platform, where there is one.
references = {"start-up": ("a kernel32-only program starting", wine_start),
              "unpacking": ("writing the files: their copy under Wine", wine_copy),
              "backend: hand-over, copy, registry; statistics":
                  ("the copy under Wine", wine_copy),
              "  the copy of the package files": ("the copy under Wine", wine_copy)}
# The phase split of the backend by the times of the installation subfolder, against the
# wall-clock time the front end noted when the package was ready (and the end of its process).
started, copy_start, copy_end = (float(t) for t in sys.argv[4].split())
ready = fetch["package_ready_time"]["time"]
ready = time.mktime(time.strptime(ready[:19], "%Y-%m-%d %H:%M:%S")) + float(ready[19:])
phases += [("  hand-over to the backend in the package", ready, copy_start),
           ("  the copy of the package files", copy_start, copy_end),
           ("  after the copy; statistics", copy_end, started + total)]
print("Phases of the last installation (beside: the same platform doing that work):")
for name, begin, end in phases:
    line = "  %-48s %6.2f s" % (name, end - begin)
    if name in references:
        what, seconds = references[name]
        line += "   %s %.2f s, ratio %.2f" % (what, seconds, (end - begin) / seconds)
    print(line)
' "${installs[2]}" "$wine_program_copy" "$(median "${starts[@]}")" "$copy_times"
