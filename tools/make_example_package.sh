#!/usr/bin/env bash
# make_example_package.sh OUT_DIR HOST_EXE LIBRARY STUB_EXE SIGNER
#
# Makes the example browser package that the end-to-end tests and the README example
# install, from the build's own outputs: the host HOST_EXE (which carries its library) with
# that library LIBRARY beside it as tavro_installer.dll, as in an installation, and the stub
# program STUB_EXE (see
# desktop/windows/installer/test/example_package/stub_program.cc) copied under the name of
# each program the installer starts. SIGNER is the product configuration's expected signer:
# the signed files carry a self-made certificate with that common name.
#
# OUT_DIR receives:
#   package/              the unpacked package: what the package fetcher extracts and the
#                         folder the package's own installer.exe runs from
#     installer.exe, tavro_installer.dll   the package's installer (the backend)
#     tavro.exe                            the browser
#     launcher.exe                         installed into the install folder itself
#     installer_helper.exe, installer_helper_64.exe   the taskbar-pin helpers, used from
#                                          the package folder only
#     files_list        installed into the version subfolder, relative to the package:
#                         tavro.exe, installer.exe, tavro_installer.dll and resources\...
#     root_files_list   installed into the install folder itself:
#                         launcher.VisualElementsManifest.xml
#     installer_prefs_include.json   {"welcome-url": ...}, read by the installer
#     resources\about.txt, resources\locales\*.json, resources\themes\default\*   data
#   suite/suite_installer.exe   the component "suite"; a sibling of package/, as the
#                         component folders are ("components" = "suite:suite"); signed
#   package.7z            package/ as a 7z archive (its contents at the archive's root)
#   package_installer.exe HOST_EXE with package.7z appended as a full-package payload,
#                         then signed: the payload is covered by the signature. It runs
#                         alone (the package fetcher asks it for its version).
#   suite_sfx.exe         the component's self-extracting archive (an additional file of
#                         type "suite", "archive" 1): run, it writes suite_installer.exe
#                         beside itself; signed
#   stamp                 written last
# Needs 7zz, and openssl and osslsigncode for sign_test_exe.sh.
set -euo pipefail

[ $# -eq 5 ] || { echo "usage: $0 OUT_DIR HOST_EXE LIBRARY STUB_EXE SIGNER" >&2; exit 2; }
out=$1 host=$2 library=$3 stub=$4 signer=$5
tools=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sign() {
  bash "$tools/sign_test_exe.sh" "$1" "$2" "$signer" "$work"
}

staged=$work/out
pkg=$staged/package
mkdir -p "$pkg/resources/locales" "$pkg/resources/themes/default" "$staged/suite"

cp "$host" "$pkg/installer.exe"
cp "$library" "$pkg/tavro_installer.dll"
for name in tavro.exe launcher.exe installer_helper.exe installer_helper_64.exe; do
  cp "$stub" "$pkg/$name"
done

printf 'Tavro example package\r\n' >"$pkg/resources/about.txt"
printf '{"hello": "Hello"}\n' >"$pkg/resources/locales/en-US.json"
printf '{"hello": "Hei"}\n' >"$pkg/resources/locales/nb.json"
printf '{"name": "default", "dark": false}\n' >"$pkg/resources/themes/default/theme.json"
printf 'A name with a blank.\r\n' >"$pkg/resources/themes/default/read me.txt"
printf '<Application><VisualElements ShowNameOnSquare150x150Logo="on"/></Application>\r\n' \
  >"$pkg/launcher.VisualElementsManifest.xml"
printf '{"welcome-url": "https://www.tavro.example/welcome/"}\n' \
  >"$pkg/installer_prefs_include.json"

# The lists name files relative to the package folder, one per line ending in CR LF.
printf '%s\r\n' tavro.exe installer.exe tavro_installer.dll 'resources\about.txt' \
  'resources\locales\en-US.json' 'resources\locales\nb.json' \
  'resources\themes\default\theme.json' 'resources\themes\default\read me.txt' \
  >"$pkg/files_list"
printf '%s\r\n' launcher.VisualElementsManifest.xml >"$pkg/root_files_list"

sign "$stub" "$staged/suite/suite_installer.exe"
cp "$staged/suite/suite_installer.exe" "$staged/suite_sfx.exe"

(cd "$pkg" && 7zz a -bd -bso0 -bsp0 -mx=5 "$staged/package.7z" ./*)

cp "$host" "$work/package_installer.exe"
bash "$tools/append_payload.sh" "$work/package_installer.exe" "$staged/package.7z" align
sign "$work/package_installer.exe" "$staged/package_installer.exe"

rm -rf "$out"
mkdir -p "$(dirname "$out")"
mv "$staged" "$out"
date -u +%FT%TZ >"$out/stamp"
