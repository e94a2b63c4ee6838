#!/usr/bin/env bash
# One run of test_fresh.sh, as process 1 of its own mount and process namespaces: an overlay
# over the pristine root, a clean clone of HEAD, then as root inside it the README's
# `make test` (or the make arguments given) and `make run` without a display. Everything left
# running dies with it.
#   fresh_run.sh REPO SUITE-CACHE RUN-DIR [MAKE-ARGS]    (empty MAKE-ARGS: make run alone)
set -euo pipefail
repo=${1:?} suite_cache=${2:?} run=${3:?} make_args=${4-test}
suite=$(basename "$suite_cache")
m=$run/root
say() { echo "test-fresh[$suite]: $*" >&2; }
# It mounts and, on its way out, kills every process it can see: only as process 1 of a PID
# namespace of its own, in a mount namespace of its own, is that nothing but its own. Its
# caller (test_fresh.sh) names the namespaces it left in HARKWIN_FRESH_OUTSIDE; a namespace
# that cannot be read, or no word of the caller's, is not known to be its own. Checked before
# anything is touched.
own() {
    local mine
    mine=$(readlink /proc/self/ns/$1) && [ -n "$mine" ] && [ -n "${HARKWIN_FRESH_OUTSIDE:-}" ] &&
        case " $HARKWIN_FRESH_OUTSIDE " in *" $mine "*) return 1 ;; *) return 0 ;; esac
}
if [ "$$" != 1 ] || ! own pid || ! own mnt; then
    say "refusing to run: not process 1 of PID and mount namespaces of its own (tools/test_fresh.sh starts it so)"
    exit 2
fi
# They go into a shell command line inside the root: targets and VAR=value words only.
[[ $make_args =~ ^[A-Za-z0-9_.=\ -]*$ ]] || { say "make arguments may hold only targets and VAR=value words"; exit 2; }
# Whatever is still running is killed; kill fails only when nothing is left, which is fine.
trap 'kill -KILL -1 2>/dev/null || true' EXIT
# Its mounts are seen only in its own mount namespace: test_fresh.sh waits for it to end.
readlink /proc/self/ns/mnt >"$run/namespace"

mount -t overlay overlay -o "lowerdir=$suite_cache/root,upperdir=$run/upper,workdir=$run/work" "$m"
mount -t proc proc "$m/proc"
mount --rbind /sys "$m/sys"
mount --rbind /dev "$m/dev"
mount -t tmpfs tmpfs "$m/tmp"
mount --bind "$suite_cache/archives" "$m/var/cache/apt/archives"
cp /etc/resolv.conf "$m/etc/resolv.conf"
timeout 300 git clone -q "$repo" "$m/root/harkwin"
say "clean clone of $(git -C "$m/root/harkwin" log -1 --format=%h)"

inside() {
    chroot "$m" /usr/bin/env -i HOME=/root LANG=C.UTF-8 ${HARKWIN_NO_I386:+HARKWIN_NO_I386=1} \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin /bin/bash -c "$1"
}

start=$SECONDS
inside 'timeout 600 apt-get update -qq' || say "apt-get update failed; trying with the package lists the root has"
inside 'DEBIAN_FRONTEND=noninteractive timeout 900 apt-get install -y -qq make >/dev/null' ||
    { say "cannot install make"; exit 1; }
say "make installed"
if [ -n "$make_args" ]; then
    rc=0
    inside "cd /root/harkwin && timeout --kill-after=30 ${HARKWIN_FRESH_TIMEOUT:-2400} make $make_args" || rc=$?
    [ $rc = 124 ] && say "make $make_args took over ${HARKWIN_FRESH_TIMEOUT:-2400} s"
    say "make $make_args exited with $rc after $((SECONDS - start)) s"
    [ $rc -eq 0 ] || exit $rc
fi

# make run keeps the program running until stopped: wait for its word, then stop its
# process group (SIGTERM: a background job ignores SIGINT).
log=$run/make-run.log
: >"$log"  # there before the first look at it
setsid bash -c "$(declare -f inside); m=$m; inside 'cd /root/harkwin && exec make run'" >"$log" 2>&1 &
runner=$!
run_start=$SECONDS deadline=$((SECONDS + 900))  # alone, make run installs and builds first
until grep -q "Harkwin is running" "$log" || ! kill -0 $runner 2>/dev/null; do
    if [ $SECONDS -ge $deadline ]; then say "make run said nothing within 900 s"; break; fi
    sleep 0.5
done
cat "$log"
grep -q "Harkwin is running" "$log" && say "make run: the dialog on screen $((SECONDS - run_start)) s after make run began"
# What make run left on the system: no foreign architecture, no test tool, unless make test came first.
say "foreign architectures: $(inside 'dpkg --print-foreign-architectures' | tr '\n' ' ')(none listed is none);" \
    "test tools present: $(inside 'for t in clang++ cppcheck clang-tidy i686-w64-mingw32-g++-posix zip; do command -v $t; done' | tr '\n' ' ')"
ok=0
grep -q "Harkwin is running" "$log" && kill -0 $runner 2>/dev/null && ok=1
kill -TERM -- -$runner 2>/dev/null || true
for _ in $(seq 100); do kill -0 $runner 2>/dev/null || break; sleep 0.2; done
kill -KILL -- -$runner 2>/dev/null || true
wait $runner 2>/dev/null || true
shot=$m/root/harkwin/build/harkwin-run.png
if [ $ok = 1 ] && [ -s "$shot" ]; then
    mkdir -p "$repo/build"
    cp "$shot" "$repo/build/fresh-$suite-run.png"
    say "make run showed the dialog; its screenshot is build/fresh-$suite-run.png"
else
    say "make run did not bring the program up"
    exit 1
fi
