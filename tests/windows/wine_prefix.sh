# Sourced by the Windows script tests once they are in the source tree's root: Wine runs in
# $WINEPREFIX when set (scripts/run-tests sets one, with its wineserver running), else in a
# prefix of the test's own, which wine_prefix_cleanup ends and removes. Also the verdicts:
# fail counts, pass reports.
own_prefix=""
if [ -z "${WINEPREFIX:-}" ]; then
    own_prefix=$(mktemp -d /tmp/kestrom-wine-test-XXXXXX)
    export WINEPREFIX=$own_prefix
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1 || true
    # wineboot returns while the new prefix is still being set up, which rewrites the
    # services' registry: wait until its programs have ended. Then, as scripts/run-tests
    # does, one server for the whole test.
    wineserver -w
    wineserver -p 2>/dev/null || true
fi
export WINEDEBUG=-all
wine_prefix_cleanup() {
    if [ -n "$own_prefix" ]; then
        wineserver -k 2>/dev/null || true
        rm -rf "$own_prefix"
    fi
}

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
