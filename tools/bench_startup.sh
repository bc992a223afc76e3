#!/usr/bin/env bash
# Start-up of the installer's short runs against the start of any process on the same
# platform: installer.exe (the library beside it) with
#   --version                           the informational answer
#   --help                              the help, after COM and the crash client
#   --backend                           a backend's start, up to its runner (which ends at
#                                       once: no front end started it)
#   --crash-reporter-parent-id=<ended>  a crash reporter's start (it gives up on finding
#                                       its parent)
# each against startup_reference.exe, a console program that imports nothing but kernel32
# (under Wine, what Wine itself takes to start a process). The programs run in turns, in the
# same run, under Wine with a warm wineserver, each case after a warm-up turn, in an order
# that changes from turn to turn; a run waits for the crash reporter it started to end. A window stays open on the private
# display throughout: Wine's desktop process, which the first window of a session starts
# and which ends a second after the last one, then lives for the whole run, as a Windows
# desktop does. Printed are the median of each and the median of the per-turn ratios.
#
# BASELINE: a folder holding another build's installer.exe and tavro_installer.dll (say,
# from before a change), measured in the same turns and printed beside this build.
# Usage: tools/bench_startup.sh [RUNS]   (after tools/build.sh; default 21 runs)
set -euo pipefail
# COM's apartment and the crash client make windows: they get a display of their own.
if [ -z "${BENCH_STARTUP_DISPLAY:-}" ]; then
  BENCH_STARTUP_DISPLAY=1 exec xvfb-run -a -s '-screen 0 1024x768x24 -nolisten tcp' "$0" "$@"
fi
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
runs=${1:-21}
baseline=${BASELINE:-}

reference=$build/bin/startup_reference.exe
[ -f "$reference" ] || { echo "build first: tools/build.sh (no $reference)" >&2; exit 1; }
if [ "$(x86_64-w64-mingw32-objdump -p "$reference" | sed -n 's/^\s*DLL Name: //p')" != KERNEL32.dll ]; then
  echo "$reference must import kernel32 alone" >&2
  exit 1
fi

# A prefix of its own: the backends and reporters leave logs in its temporary folder.
export WINEPREFIX=$build/bench_wineprefix
. "$root/tools/wine_env.sh"
ensure_wine_prefix
work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
start_wine_session
wine notepad.exe </dev/null >/dev/null 2>&1 &

mkdir -p "$work/current"
cp "$build/bin/installer.exe" "$build/bin/tavro_installer.dll" "$work/current/"
if [ -n "$baseline" ]; then
  mkdir -p "$work/baseline"
  cp "$baseline/installer.exe" "$baseline/tavro_installer.dll" "$work/baseline/"
fi
temp=$(winepath -u "$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')")

python3 - "$runs" "$work" "$reference" "$temp" <<'PY'
import os, re, shutil, statistics, subprocess, sys, time

runs, work, reference, temp = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
builds = [b for b in ("current", "baseline") if os.path.isdir(os.path.join(work, b))]
# (name, arguments, exit code); the reporter's parent id names no process.
cases = [("--version", ["--version"], 0),
         ("--help", ["--help"], 0),
         ("backend start", ["--backend"], 1),
         ("crash reporter start", ["--crash-reporter-parent-id=4000000000"], 0)]

def run(program, arguments, exit_code):
    # The output goes to a file: a pipe would stay open for as long as any process that
    # inherited it runs (Wine's desktop process, say).
    with open(os.path.join(work, "output"), "w+b") as output:
        start = time.monotonic()
        returncode = subprocess.run(["wine", program] + arguments, stdin=subprocess.DEVNULL,
                                    stdout=output, stderr=subprocess.STDOUT).returncode
        elapsed = time.monotonic() - start
        output.seek(0)
        text = output.read().decode(errors="replace")
    if returncode != exit_code:
        sys.exit("%s %s: exit code %d, expected %d\n%s" % (
            program, " ".join(arguments), returncode, exit_code, text))
    # What an installer started (its crash reporter) runs from the same folder: the next run
    # starts once that has ended too, but without a pause, in which Wine would end its
    # desktop process and start it again for the next run.
    # Wine shows a program it started by its Windows path.
    folder = re.escape(os.path.basename(work)) + r"[\\/]" + os.path.basename(os.path.dirname(program))
    deadline = time.monotonic() + 10
    while program != reference and time.monotonic() < deadline and subprocess.run(
            ["pgrep", "-f", folder + r"[\\/]installer\.exe"],
            stdout=subprocess.DEVNULL).returncode == 0:
        time.sleep(0.005)
    return elapsed

times = {(case[0], who): [] for case in cases for who in ["reference"] + builds}
for name, arguments, exit_code in cases:
    programs = [("reference", reference, [], 0)] + [
        (build, os.path.join(work, build, "installer.exe"), arguments, exit_code)
        for build in builds]
    for turn in range(runs + 1):  # the first turn warms up: Wine's desktop, the page cache
        # Each program takes each place in the turn as often: what one leaves running (Wine
        # tidying up after a process) weighs on all alike.
        shift = turn % len(programs)
        sample = {}
        for who, program, program_arguments, program_exit_code in (programs[shift:] +
                                                                   programs[:shift]):
            sample[who] = run(program, program_arguments, program_exit_code)
        if turn:
            for who, value in sample.items():
                times[(name, who)].append(value)
# The runs' logs.
shutil.rmtree(os.path.join(temp, "Tavro Installer"), ignore_errors=True)

ms = lambda values: "%6.1f ms" % (statistics.median(values) * 1000)
ratio = lambda a, b: "%5.2f" % statistics.median(x / y for x, y in zip(a, b))
print("runs: %d of each, in turns; ratios: medians of the per-turn ratios" % runs)
header = "%-22s %-10s %-18s" % ("", "reference", "this build")
if "baseline" in builds:
    header += " %-18s %s" % ("baseline", "this / baseline")
print(header)
for name, _, _ in cases:
    ref = times[(name, "reference")]
    line = "%-22s %-10s %s x%s" % (name, ms(ref), ms(times[(name, "current")]),
                                   ratio(times[(name, "current")], ref))
    if "baseline" in builds:
        base = times[(name, "baseline")]
        line += "  %s x%s  %s" % (ms(base), ratio(base, ref), ratio(times[(name, "current")], base))
    print(line)
PY
