#!/usr/bin/env bash
# kestromd.exe as the Windows service "Kestrom" under Wine's service manager: installed with a
# config folder and a port, started with sc, answering a ping, stopped with sc (settings saved,
# start-up and stop lines in kestromd.log), started again and removed by --uninstall-service
# while it runs, and then unknown to sc. Also the refusals: a second install, removing what is
# not installed, --run-as-service outside the service manager.
#   tests/windows/service_test.sh [build-win/kestromd.exe]
# Uses $WINEPREFIX when set (scripts/run-tests sets one), else a prefix of its own.
set -euo pipefail
cd "$(dirname "$0")/../.."
daemon=$(readlink -f "${1:-build-win/kestromd.exe}")
[ -f "$daemon" ] || { echo "no kestromd.exe at ${1:-build-win/kestromd.exe}" >&2; exit 1; }
source tests/windows/wine_prefix.sh
work=$(mktemp -d /tmp/kestrom-service-cfg-XXXXXX)
cfg="Z:${work//\//\\}"
log="$work/kestromd.log"

# Wine ends its service manager, and every service with it, once no other Wine program of the
# prefix runs; a cmd.exe that waits on a pipe keeps the prefix alive for the whole test.
mkfifo "$work/keepalive"
wine cmd.exe <"$work/keepalive" >/dev/null 2>&1 &
keepalive=$!
exec 9>"$work/keepalive"

cleanup() {
    wine "$daemon" --uninstall-service >/dev/null 2>&1 || true
    exec 9>&-
    wait "$keepalive" 2>/dev/null || true
    rm -rf "$work"
    wine_prefix_cleanup
}
trap cleanup EXIT

# Waits up to $1 seconds for the command after it to succeed.
wait_until() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.2
    done
}

state() { wine sc.exe query Kestrom 2>/dev/null | tr -d '\r' | sed -n 's/^ *STATE *: *[0-9]* *//p'; }
is_state() { [ "$(state)" = "$1" ]; }
installed() { wine sc.exe query Kestrom >/dev/null 2>&1; }

# A free port the service may take (the system's own free ports lie above its limit of 32767).
port=$(python3 -c '
import random, socket
while True:
    p = random.randint(20000, 32000)
    try:
        socket.create_server(("127.0.0.1", p)).close()
        print(p)
        break
    except OSError:
        pass')
if [ -x build/kestrom-client ]; then client=(build/kestrom-client); else client=(wine build-win/kestrom-client.exe); fi
answers() { "${client[@]}" --port "$port" --timeout 1000 ping >/dev/null 2>&1; }

# Refusals while nothing is installed.
if installed; then fail "a service Kestrom exists before the test"; fi
if out=$(wine "$daemon" --uninstall-service 2>&1); then fail "removing what is not installed succeeded"; fi
grep -q "is not installed" <<<"$out" || fail "no 'not installed' message: $out"
if out=$(wine "$daemon" --run-as-service 2>&1); then fail "--run-as-service ran from a console"; fi
grep -q "sc start Kestrom" <<<"$out" || fail "--run-as-service outside the manager: $out"

out=$(wine "$daemon" --install-service --config-dir "$cfg" --port "$port" --event-dir "$cfg" \
    --results-dir "$cfg" --new-console-token 2>&1) || fail "install failed: $out"
image=$(wine reg query 'HKLM\System\CurrentControlSet\Services\Kestrom' /v ImagePath 2>/dev/null |
    tr -d '\r')
grep -qF "\"$(wine winepath -w "$daemon" 2>/dev/null | tr -d '\r')\" --run-as-service --config-dir $cfg --port $port" \
    <<<"$image" || fail "service command line: $image"
grep -q -- "--new-console-token" <<<"$image" && fail "the service would make a new token each start"
wine reg query 'HKLM\System\CurrentControlSet\Services\Kestrom' /v Start 2>/dev/null |
    grep -q "0x2" || fail "not started with Windows (auto start)"
if out=$(wine "$daemon" --install-service --config-dir "$cfg" 2>&1); then
    fail "a second install succeeded"
fi
grep -q "already installed" <<<"$out" || fail "no 'already installed' message: $out"
((failures)) || pass "install and its refusals"

wine sc.exe start Kestrom >/dev/null 2>&1 || fail "sc start Kestrom"
wait_until 20 answers || fail "the service does not answer a ping on port $port"
is_state RUNNING || fail "not RUNNING but $(state)"
wine sc.exe stop Kestrom >/dev/null 2>&1 || fail "sc stop Kestrom"
wait_until 20 is_state STOPPED || fail "not STOPPED after sc stop but $(state)"
wine sc.exe query Kestrom | tr -d '\r' | grep -q "WIN32_EXIT_CODE *: *0 " ||
    fail "stopped with an exit code: $(wine sc.exe query Kestrom | tr -d '\r')"
if answers; then fail "still answering after the stop"; fi
# The port given at install time reaches settings.reg only through the save at the stop.
grep -q "\"PortNumber\"=\"$port\"" "$work/settings.reg" 2>/dev/null ||
    fail "settings not saved at the stop: $(cat "$work/settings.reg" 2>&1)"
grep -q "kestromd (Kestrom) .*: listening on port $port" "$log" || fail "no start-up line in the log"
grep -q "Ping" "$log" || fail "the ping is not in the log"
grep -q "stopped by the service manager" "$log" || fail "no stop line in the log"
((failures)) || pass "start, ping, stop"

# Removing a running service stops it first, which saves its settings again.
wine sc.exe start Kestrom >/dev/null 2>&1 || fail "second sc start Kestrom"
wait_until 20 answers || fail "the restarted service does not answer"
out=$(wine "$daemon" --uninstall-service 2>&1) || fail "uninstall failed: $out"
[ "$(grep -c "stopped by the service manager" "$log")" = 2 ] ||
    fail "--uninstall-service did not stop the running service"
if answers; then fail "answering after --uninstall-service"; fi
if installed; then fail "sc query still finds Kestrom"; fi
((failures)) || pass "uninstall of the running service"

echo "--- kestromd.log"
cat "$log"
((failures)) && { echo "$failures failure(s)"; exit 1; }
exit 0
