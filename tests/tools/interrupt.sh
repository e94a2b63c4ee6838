#!/usr/bin/env bash
# Ctrl+C typed in a terminal while tools/deps.sh waits on a slow apt-get: within seconds the
# run ends with the apt-get and what it started, no lock is left held, and the run says what
# it was doing and, where dpkg stopped half way, how to recover. Typed through a pseudo-terminal
# (script), with a stand-in apt-get that holds a lock and has started a child of its own.
set -u
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/harkwin-interrupt.XXXXXX) || exit 1
runner=
leftovers() {  # what of the run is still alive
    local pid state
    for pid in $(cat "$work/pids" 2>/dev/null); do
        state=$(sed 's/.*) //' "/proc/$pid/stat" 2>/dev/null | cut -d' ' -f1)
        [ -n "$state" ] && [ "$state" != Z ] && echo "$pid"
    done
}
stop() { kill -KILL $(leftovers) $runner 2>/dev/null; runner=; }
cleanup() { stop; rm -rf "$work"; }
trap cleanup EXIT
trap 'exit 130' INT TERM
mkdir -p "$work/bin" "$work/tools"
for tool in bash cat grep sort seq sleep head tail mktemp rm dirname timeout tr flock; do
    ln -s "$(command -v $tool)" "$work/bin/$tool" || exit 1
done
cp "$repo/tools/deps.sh" "$repo/tools/steps.sh" "$work/tools/"
cat >"$work/bin/apt-get" <<'STANDIN'
#!/bin/bash
[ "$1" = "$APT_SLOW" ] || exit 0
echo "$PPID $$" >>"$WORK/pids"  # its timeout, and itself
exec 3>"$WORK/lock" && flock 3
sleep 300 &  # as dpkg would be, holding the lock too
echo $! >>"$WORK/pids"
: >"$WORK/started"
wait
STANDIN
printf '#!/bin/bash\n[ "$1 $APT_SLOW" != "--audit install" ] || echo "half-configured: xvfb"\n' >"$work/bin/dpkg"
chmod +x "$work/bin/"*
mkfifo "$work/keys"
script=$(command -v script)
passed=0 failed=0
check() {
    if eval "$1"; then echo "ok - $2"; passed=$((passed + 1)); else echo "FAIL - $2"; failed=$((failed + 1)); fi
}
# apt-get's slow step   what the run must say besides "interrupted"
while read -r slow says; do
    rm -f "$work/pids" "$work/started"
    # As from a terminal: Ctrl+C not ignored, as a command started with & would have it.
    (trap - INT QUIT; WORK=$work APT_SLOW=$slow exec "$script" -qfec \
        "PATH=$work/bin bash -c 'echo \$\$ >>$work/pids; exec bash $work/tools/deps.sh run'" /dev/null) \
        <"$work/keys" >"$work/out" 2>&1 &
    runner=$!
    exec 3>"$work/keys"
    for _ in $(seq 200); do [ -e "$work/started" ] && break; sleep 0.1; done
    check '[ -e "$work/started" ]' "$slow: the stand-in apt-get started within 20 s"
    printf '\003' >&3
    start=$(date +%s%N)
    for _ in $(seq 150); do kill -0 $runner 2>/dev/null || break; sleep 0.1; done
    took=$((($(date +%s%N) - start) / 1000000))
    exec 3>&-
    check '[ $took -lt 8000 ]' "$slow: Ctrl+C ended the run in $took ms"
    check '[ -z "$(leftovers)" ]' "$slow: nothing of it is left running ($(leftovers | tr '\n' ' '))"
    check 'flock -n "$work/lock" true' "$slow: and no lock is held"
    check 'grep -aq "interrupted while waiting for apt-get" "$work/out" && grep -aq -- "$says" "$work/out"' \
        "$slow: it says what was interrupted: $(tr -d '\r' <"$work/out" | sed 's/^^C//' | tail -n +2 | tr '\n' ' ')"
    stop
done <<'ROWS'
update   interrupted
install  dpkg --configure -a
ROWS
echo "$passed passed, $failed failed"
[ $failed = 0 ]
