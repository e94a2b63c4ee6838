#!/usr/bin/env bash
# Runs the README's two commands where nothing was installed by hand: on a pristine Debian
# root per release, made once by debootstrap and then only ever the read-only lower layer of
# an overlay, so every run starts from the same clean system. Needs root.
#   test_fresh.sh [suite...]          (default: bookworm trixie)
# HARKWIN_FRESH_MAKE (default "test") is what make runs before `make run`, e.g. "test storm";
# empty, `make run` runs alone.
# HARKWIN_FRESH_CACHE (default /var/cache/harkwin-fresh) keeps the roots and the downloaded
# packages between runs; the packages only spare the download, each run installs afresh.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cache=${HARKWIN_FRESH_CACHE:-/var/cache/harkwin-fresh}
suites=("$@")
[ ${#suites[@]} -gt 0 ] || suites=(bookworm trixie)

say() { echo "test-fresh: $*" >&2; }
[ "$(id -u)" = 0 ] || { say "needs root (debootstrap, overlay and chroot)"; exit 1; }
. "$repo/tools/steps.sh"
for tool in debootstrap git; do
    command -v $tool >/dev/null && continue
    step 600 "apt-get update" apt-get update -qq || say "apt-get update failed; trying with the package lists apt has"
    DEBIAN_FRONTEND=noninteractive step 900 "apt-get to install $tool" apt-get install -y -qq -o Dpkg::Use-Pty=0 $tool >/dev/null ||
        { say "cannot install $tool"; exit 1; }
done
# Waits are bounded: HARKWIN_FRESH_TIMEOUT (default 2400 s) for the make run inside a root.
export HARKWIN_FRESH_TIMEOUT=${HARKWIN_FRESH_TIMEOUT:-2400}
make_args=${HARKWIN_FRESH_MAKE-test}

# The Debian archive that serves SUITE, among those this machine's apt sources name (deb822
# or one-line format): the first that has the suite's Release file, in $url (not echoed: a
# step in a command substitution would be out of the interrupt's reach).
mirror() {
    local suite=$1 uri release
    release=$(mktemp /tmp/harkwin-release.XXXXXX) || return 1
    for uri in $( (cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
                     awk '/^URIs:/ { for (i = 2; i <= NF; i++) print $i }'
                 cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
                     awk '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; break } }') |
                 grep -v -- '-security' | awk '!seen[$0]++'); do
        if step 60 "$uri to answer" /usr/lib/apt/apt-helper download-file "${uri%/}/dists/$suite/Release" "$release" \
            >/dev/null 2>&1 && grep -q "^Origin: Debian" "$release"; then
            rm -f "$release"
            url=$uri
            return 0
        fi
    done
    rm -f "$release"
    say "no archive in this machine's apt sources serves Debian $suite"
    return 1
}

# A root counts only once it was made whole: its mark is written after it is in place.
make_root() {
    local suite=$1 root=$cache/$1/root
    [ -e "$cache/$suite/root.done" ] && [ -x "$root/usr/bin/apt-get" ] && return 0
    local url tmp=$cache/$suite/root.new
    mirror "$suite" && [ -n "$url" ] || return 1
    say "making a pristine $suite root from $url (once)"
    rm -rf --one-file-system "$tmp" "$root" && mkdir -p "$tmp" || { say "cannot make $tmp"; return 1; }
    # In a mount namespace of its own, what it mounts in the root goes with it, even if it is
    # killed; the half-made root is removed by the next try.
    step 1800 "debootstrap to make the $suite root" unshare --mount -- \
        debootstrap --variant=minbase "$suite" "$tmp" "$url" >"$cache/$suite/debootstrap.log" 2>&1 ||
        { say "debootstrap $suite failed, see $cache/$suite/debootstrap.log"; return 1; }
    # What every installed machine has and minbase lacks.
    printf '127.0.0.1\tlocalhost\n::1\t\tlocalhost ip6-localhost ip6-loopback\n' >"$tmp/etc/hosts" &&
        rm -rf "$tmp/var/cache/apt/archives"/*.deb &&
        mv "$tmp" "$root" && touch "$cache/$suite/root.done" || { say "cannot put the $suite root in place"; return 1; }
}

# The run's mounts are in its own mount namespace, which fresh_run.sh names in the run folder,
# and they end with the last of its processes: until then the folder is not touched.
ns_process() {  # a process still in the namespace named in $1/namespace
    local ns link
    ns=$(cat "$1/namespace" 2>/dev/null) || return 1
    for link in /proc/[0-9]*/ns/mnt; do
        [ "$(readlink "$link" 2>/dev/null)" = "$ns" ] && { link=${link#/proc/}; echo "${link%%/*}"; return 0; }
    done
    return 1
}
end_run() {  # end_run RUN SUITE: waits for the namespace to end, then removes the folder
    local run=$1 suite=$2 pid mounts deadline=$((SECONDS + 30)) told=
    while pid=$(ns_process "$run"); do
        [ -n "$told" ] || { say "waiting up to 30 s for the $suite run's last processes to end"; told=1; }
        if [ $SECONDS -ge $deadline ]; then
            mounts=$(grep -c " $run/" "/proc/$pid/mountinfo" 2>/dev/null) || true
            say "process $pid of the $suite run is still alive, with ${mounts:-its} mounts in $run; kept"
            return 1
        fi
        sleep 0.1
    done
    rm -rf --one-file-system "$run"
}

# run_suite SUITE: one run in a fresh overlay over the pristine root. The run's own mount
# and process namespaces end with it, so nothing it started outlives it. Interrupted, its first
# process is ended by steps.sh (unshare --kill-child takes it along), and the namespace goes
# with it.
current_run= current_suite=
on_interrupt() { [ -z "$current_run" ] || end_run "$current_run" "$current_suite"; }
run_suite() {
    local suite=$1 run rc=0
    run=$(mktemp -d /var/tmp/harkwin-fresh.XXXXXX) && [ -d "$run" ] || { say "no run folder"; return 1; }
    mkdir -p "$run/upper" "$run/work" "$run/root" "$cache/$suite/archives/partial" ||
        { say "cannot lay out $run"; return 1; }
    current_run=$run current_suite=$suite
    HARKWIN_FRESH_OUTSIDE="$(readlink /proc/self/ns/pid) $(readlink /proc/self/ns/mnt)" \
        step $((HARKWIN_FRESH_TIMEOUT + 3600)) "the $suite run (${make_args:+make $make_args, then }make run, in a fresh root)" \
        unshare --mount --pid --fork --kill-child -- "$repo/tools/fresh_run.sh" "$repo" "$cache/$suite" "$run" "$make_args" ||
        rc=$?
    current_run=
    end_run "$run" "$suite" || return 1
    return $rc
}

# A root is made under an exclusive lock and used under a shared one, so that no run removes
# a half-made root that another is about to use as its lower layer.
failed=()
for suite in "${suites[@]}"; do
    start=$SECONDS
    mkdir -p "$cache/$suite" && exec 8>"$cache/$suite/lock" || { say "cannot lock $cache/$suite"; exit 1; }
    step 3600 "another run's lock on the $suite root" flock -x 8 || exit 1
    make_root "$suite" || { failed+=("$suite"); exec 8>&-; continue; }
    flock -s 8
    if run_suite "$suite"; then say "$suite passed in $((SECONDS - start)) s"
    else say "$suite FAILED after $((SECONDS - start)) s"; failed+=("$suite"); fi
    exec 8>&-
done
[ ${#failed[@]} -eq 0 ] || { say "failed on: ${failed[*]}"; exit 1; }
say "passed on: ${suites[*]}"
