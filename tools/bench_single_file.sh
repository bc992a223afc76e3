#!/usr/bin/env bash
# Start-up cost of the single-file installer: `installer.exe --version` alone in a folder
# (first run, which writes the library out, and warm run, which checks and reuses it)
# against the same executable with tavro_installer.dll beside it, and all three against
# startup_reference.exe (a console program that imports kernel32 alone: what starting any
# process costs under Wine), measured in turns in the same run under Wine. Prints the median
# of each and the medians of the per-pair ratios.
# Usage: tools/bench_single_file.sh [RUNS]   (after tools/build.sh; default 21 runs)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
runs=${1:-21}

export WINEPREFIX=$build/wineprefix
. "$root/tools/wine_env.sh"
ensure_wine_prefix
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
start_wine_session

work=$(mktemp -d)
mkdir -p "$work/alone" "$work/beside"
cp "$build/bin/installer.exe" "$work/alone/"
cp "$build/bin/installer.exe" "$build/bin/tavro_installer.dll" "$work/beside/"
temp=$(winepath -u "$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')")

python3 - "$runs" "$work" "$temp" "$build/bin/startup_reference.exe" <<'PY'
import glob, os, shutil, statistics, subprocess, sys, time

runs, work, temp, reference = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
expected = None

def time_run(program, arguments):
    start = time.monotonic()
    out = subprocess.run(["wine", program] + arguments, stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, check=True).stdout
    return time.monotonic() - start, out

def run(folder):
    global expected
    elapsed, out = time_run(os.path.join(work, folder, "installer.exe"), ["--version"])
    expected = expected or out
    if out != expected:
        sys.exit("unexpected output: %r" % out)
    return elapsed

def forget_library():
    for folder in glob.glob(os.path.join(temp, "tavro_installer_*")):
        shutil.rmtree(folder)

for folder in ("beside", "alone"):  # warm-up: Wine's own start-up, the page cache
    run(folder)

first, warm, beside, platform = [], [], [], []
run("alone")
time_run(reference, [])
for _ in range(runs):
    platform.append(time_run(reference, [])[0])
    beside.append(run("beside"))
    warm.append(run("alone"))
    forget_library()
    first.append(run("alone"))

ms = lambda values: "%.1f ms" % (statistics.median(values) * 1000)
ratio = lambda a, b: "%.3f" % statistics.median(x / y for x, y in zip(a, b))
print("runs: %d, each in turn: kernel32-only program, beside, alone warm, alone first" % runs)
print("kernel32-only program (platform): %s" % ms(platform))
print("library beside (reference):       %s  to the platform's %s" % (
    ms(beside), ratio(beside, platform)))
print("alone, first run:                 %s  ratio %s  to the platform's %s" % (
    ms(first), ratio(first, beside), ratio(first, platform)))
print("alone, warm run:                  %s  ratio %s  to the platform's %s" % (
    ms(warm), ratio(warm, beside), ratio(warm, platform)))
PY
