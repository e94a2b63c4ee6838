#!/usr/bin/env bash
# Ctrl+C typed in a terminal while a tool waits on a slow step: within seconds the tool ends
# with the step and all it started, no lock is left held, and it says what it was doing (and,
# where dpkg stopped half way, how to recover). Typed through a pseudo-terminal (script), with
# stand-ins for the slow steps: tools/deps.sh's apt-get, which holds apt's lock and has started
# a child as dpkg would; tools/test_fresh.sh's run in a fresh root, which mounts in its own
# namespaces and holds the root's lock; e2e/sandbox.sh's wineboot (the same stand-in), with a
# child of its own, under the sandbox's real display and namespaces.
set -u
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/harkwin-interrupt.XXXXXX) || exit 1
runner=
leftovers() {  # what of the run is still alive: its processes, and any in its namespace
    local pid state link
    for pid in $(cat "$work/pids" 2>/dev/null); do
        state=$(sed 's/.*) //' "/proc/$pid/stat" 2>/dev/null | cut -d' ' -f1)
        [ -n "$state" ] && [ "$state" != Z ] && echo "$pid"
    done
    [ -s "$work/ns" ] || return 0
    for link in /proc/[0-9]*/ns/mnt; do
        [ "$(readlink "$link" 2>/dev/null)" = "$(cat "$work/ns")" ] && link=${link#/proc/} && echo "${link%%/*}"
    done
}
stop() {
    kill -KILL $(leftovers) $runner 2>/dev/null && wait $runner 2>/dev/null
    runner=
    [ ! -s "$work/run" ] || { sleep 0.5; rm -rf --one-file-system "$(cat "$work/run")"; }
}
cleanup() { stop; rm -rf --one-file-system "$work"; }
trap cleanup EXIT
trap 'exit 130' INT TERM
mkdir -p "$work/bin" "$work/tools" "$work/e2e/bin" "$work/cache/bookworm/root/usr/bin"
for tool in bash cat grep sort seq sleep head tail mktemp rm dirname timeout tr flock; do
    ln -s "$(command -v $tool)" "$work/bin/$tool" || exit 1
done
cp "$repo/tools/deps.sh" "$repo/tools/test_fresh.sh" "$repo/tools/steps.sh" "$work/tools/"
cp "$repo/e2e/sandbox.sh" "$repo/e2e/prepare_prefix.sh" "$repo/e2e/display.sh" "$work/e2e/"
ln -s "$work/bin/apt-get" "$work/e2e/bin/wine" && ln -s "$(type -P true)" "$work/bin/wineserver"
cat >"$work/bin/apt-get" <<'STANDIN'
#!/bin/bash
[ "$1" = "$APT_SLOW" ] || exit 0
[ -z "${WINEPREFIX:-}" ] || { readlink /proc/self/ns/mnt >"$WORK/ns"; dirname "$WINEPREFIX" >"$WORK/run"; }
echo "$PPID $$" >>"$WORK/pids"  # its timeout, and itself
exec 3>"$WORK/lock" && flock 3
sleep 300 &  # as dpkg would be, holding the lock too
echo $! >>"$WORK/pids"
: >"$WORK/started"
wait
STANDIN
cat >"$work/tools/fresh_run.sh" <<'STANDIN'
#!/bin/bash
readlink /proc/self/ns/mnt | tee "$3/namespace" >"$WORK/ns"
echo "$3" >"$WORK/run"
mount -t tmpfs none "$3/root" && sleep 300 &  # a run under way, holding the root's lock
: >"$WORK/started"
wait
STANDIN
cat >"$work/terminal" <<'STANDIN'
#!/bin/bash
# A terminal's shell: it stays after the tool, so that no hangup ends what the tool left.
trap : INT
bash -c 'echo $$ >>"$WORK/pids"; eval "$1"' - "$1"
: >"$WORK/ended"
exec sleep 60
STANDIN
printf '#!/bin/bash\n[ "$1 $APT_SLOW" != "--audit install" ] || echo "half-configured: xvfb"\n' >"$work/bin/dpkg"
: >"$work/bin/debootstrap" && : >"$work/cache/bookworm/root.done" && : >"$work/cache/bookworm/root/usr/bin/apt-get"
chmod +x "$work/bin/"* "$work/tools/"* "$work/e2e/"*.sh "$work/terminal" "$work/cache/bookworm/root/usr/bin/apt-get"
mkfifo "$work/keys"
script=$(command -v script)
passed=0 failed=0
check() {
    if eval "$1"; then echo "ok - $2"; passed=$((passed + 1)); else echo "FAIL - $2"; failed=$((failed + 1)); fi
}
# case    the lock its slow step holds   what it must say besides "interrupted while waiting for"
while read -r slow lock says; do
    rm -f "$work/pids" "$work/started" "$work/ended" "$work/ns" "$work/run"
    case $slow in
    fresh) run="PATH=$work/bin:$PATH HARKWIN_FRESH_CACHE=$work/cache bash $work/tools/test_fresh.sh bookworm" ;;
    wineboot) run="PATH=$work/bin:$PATH bash $work/e2e/sandbox.sh true" ;;
    *) run="PATH=$work/bin bash $work/tools/deps.sh run" ;;
    esac
    # As from a terminal: Ctrl+C not ignored, as a command started with & (or by a caller that
    # ignores it) would have it.
    WORK=$work APT_SLOW=$slow env --default-signal=INT,QUIT "$script" -qfec \
        "$work/terminal '$run'" /dev/null <"$work/keys" >"$work/out" 2>&1 &
    runner=$!
    exec 3>"$work/keys"
    for _ in $(seq 200); do [ -e "$work/started" ] && break; sleep 0.1; done
    check '[ -e "$work/started" ]' "$slow: the slow step started within 20 s"
    printf '\003' >&3
    start=$(date +%s%N)
    for _ in $(seq 150); do [ -e "$work/ended" ] && break; sleep 0.1; done
    took=$((($(date +%s%N) - start) / 1000000))
    exec 3>&-
    check '[ $took -lt 8000 ]' "$slow: Ctrl+C ended the run in $took ms"
    check '[ -z "$(leftovers)" ]' "$slow: nothing of it is left running ($(leftovers | tr '\n' ' '))"
    check 'flock -n "$work/$lock" true' "$slow: no lock is held"
    check '[ ! -e "$work/run" ] || [ ! -e "$(cat "$work/run")" ]' "$slow: no run folder is left"
    check 'grep -aq "interrupted while waiting for" "$work/out" && grep -aq -- "$says" "$work/out"' \
        "$slow: it says what was interrupted: $(tr -d '\r' <"$work/out" | sed 's/^^C//' | tail -n 2 | tr '\n' ' ')"
    stop
done <<'ROWS'
update   lock                 apt-get update
install  lock                 dpkg --configure -a
fresh    cache/bookworm/lock  the bookworm run
wineboot lock                 the Wine prefix to be prepared
ROWS
echo "$passed passed, $failed failed"
[ $failed = 0 ]
