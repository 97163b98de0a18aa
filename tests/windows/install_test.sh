#!/usr/bin/env bash
# Installs the Windows installer silently under Wine, checks the programs, the manual, the
# sample meet, the Start-menu entries and the uninstall entry are in place and that the
# installed kestromd.exe answers, then uninstalls silently and checks all of it is gone; then
# installs again with the Windows service ticked (/SERVICE) and checks the uninstaller removes
# the service too.
#   tests/windows/install_test.sh build-win/kestrom-3.23-win64-setup.exe
# Uses $WINEPREFIX when set (scripts/run-tests sets one), else a prefix of its own.
set -euo pipefail
setup=$(readlink -f "${1:?usage: tests/windows/install_test.sh SETUP.exe}")
[ -f "$setup" ] || { echo "no installer at $1" >&2; exit 1; }
cd "$(dirname "$0")/../.."
source tests/windows/wine_prefix.sh
trap wine_prefix_cleanup EXIT

dir="$WINEPREFIX/drive_c/Program Files/Kestrom"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Kestrom"
installed=(kestromd.exe kestrom-client.exe README.txt LICENSE-cpp-httplib.txt Uninstall.exe
    manual/index.html manual/manual.css examples/meet/orvo.evt examples/meet/orvo.ppl
    examples/meet/hywire.evt)
entries=("Kestrom manual.lnk" "Kestrom (sample meet).lnk")
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrom'

[ ! -e "$dir" ] || fail "Program Files\\Kestrom exists before installing"
wine "$setup" /S
for f in "${installed[@]}"; do
    [ -f "$dir/$f" ] || fail "not installed: $f"
done
# The staged copies are the ones shipped: same bytes as the sources they come from.
cmp -s "$dir/manual/index.html" docs/manual/index.html || fail "manual differs from docs/manual"
cmp -s "$dir/examples/meet/orvo.evt" examples/meet/orvo.evt || fail "sample meet differs"
for e in "${entries[@]}"; do
    [ -f "$menu/$e" ] || fail "no Start-menu entry: $e"
done
wine reg query "$uninstall_key" /v DisplayVersion 2>/dev/null | grep -q "$(sed -n \
    's/^project(Kestrom VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)" ||
    fail "no uninstall entry with the version"
version=$(wine "C:\\Program Files\\Kestrom\\kestromd.exe" --version 2>&1 | tr -d '\r' || true)
echo "installed kestromd.exe --version: $version"
grep -q "$(sed -n 's/^project(Kestrom VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)" \
    <<<"$version" || fail "installed kestromd.exe does not tell its version"
# The service is left out unless asked for.
if wine sc.exe query Kestrom >/dev/null 2>&1; then fail "the service was installed unasked"; fi
((failures)) || pass "silent install"

# An NSIS uninstaller copies itself to a temporary folder and returns at once; _?= runs it in
# place and waits, and leaves Uninstall.exe itself behind, which is checked and removed here.
# _?= must come last and unquoted, which wine's own quoting of arguments would break, so the
# command line is written out in a batch file for cmd to run as it stands.
uninstall_in_place() {
    printf '@"C:\\Program Files\\Kestrom\\Uninstall.exe" /S _?=C:\\Program Files\\Kestrom\r\n' \
        >"$WINEPREFIX/drive_c/kestrom-uninstall.bat"
    wine cmd /c 'C:\kestrom-uninstall.bat'
    rm -f "$WINEPREFIX/drive_c/kestrom-uninstall.bat"
}

# An operator's own file in the folder must survive the uninstall.
echo keep >"$dir/operator-notes.txt"
uninstall_in_place
[ -f "$dir/Uninstall.exe" ] || fail "the uninstaller did not run in place (_?= not seen)"
for f in "${installed[@]}"; do
    [ "$f" = Uninstall.exe ] || [ ! -e "$dir/$f" ] || fail "left behind: $f"
done
[ ! -e "$dir/manual" ] || fail "left behind: manual\\"
[ ! -e "$dir/examples" ] || fail "left behind: examples\\"
[ ! -e "$menu" ] || fail "Start-menu folder left behind"
[ -f "$dir/operator-notes.txt" ] || fail "uninstaller removed a file it did not install"
if wine reg query "$uninstall_key" >/dev/null 2>&1; then fail "uninstall entry left behind"; fi
rm -rf "$dir"
((failures)) || pass "silent uninstall"

# /SERVICE ticks the service section: kestromd.exe registers itself on the sample meet with
# its settings and log in ProgramData, and the uninstaller removes the service first.
wine "$setup" /S /SERVICE
image=$(wine reg query 'HKLM\System\CurrentControlSet\Services\Kestrom' /v ImagePath 2>/dev/null |
    tr -d '\r')
grep -qF '"C:\Program Files\Kestrom\kestromd.exe" --run-as-service --config-dir C:\ProgramData\Kestrom --event-dir "C:\Program Files\Kestrom\examples\meet"' \
    <<<"$image" || fail "service not installed on the sample meet: $image"
[ -d "$WINEPREFIX/drive_c/ProgramData/Kestrom/sample/results" ] ||
    fail "no results folder for the service's sample meet"
uninstall_in_place
if wine sc.exe query Kestrom >/dev/null 2>&1; then fail "the uninstaller left the service"; fi
[ ! -e "$dir/kestromd.exe" ] || fail "left behind after the service install: kestromd.exe"
rm -rf "$dir" "$WINEPREFIX/drive_c/ProgramData/Kestrom"
((failures)) && { echo "$failures failure(s)"; exit 1; }
pass "install and uninstall with the service"
