# shellcheck shell=bash
# Sourced by the tools' scripts, after their own say(): long steps that Ctrl+C can stop.
# GNU timeout puts its command in a process group of its own, out of the terminal's reach, so
# the script traps INT and TERM itself and ends the step's whole group.
#   step SECONDS WHAT COMMAND...   runs COMMAND with a deadline; its exit code, 124 (or 137
#                                  if it had to be killed) past the deadline, said with WHAT
#   on_interrupt                   the script's own, if defined: run once the step has ended
# Interrupted, the script says what it was doing, ends the step (TERM, then KILL after 5 s),
# says how to finish dpkg's work if an install stopped it half way, runs on_interrupt and its
# EXIT trap, and dies of the same signal, so that its callers stop too. Fit for set -e.
step_pid= step_what=
exec {steps_said}>&2  # what the script says reaches the user even from inside a redirected step
step() {
    local seconds=$1 rc
    step_what=$2
    shift 2
    timeout --kill-after=10 "$seconds" "$@" &
    step_pid=$!
    wait "$step_pid"
    rc=$?
    step_pid=
    case $rc in 124 | 137) say "gave up after $seconds s waiting for $step_what" 2>&"$steps_said" ;; esac
    step_what=
    return $rc
}

# Whether a process of group $1 is alive; a dead one its reaper has not collected yet is not.
group_alive() {
    local stat line fields
    for stat in /proc/[0-9]*/stat; do
        read -r line 2>/dev/null <"$stat" || continue
        read -r -a fields <<<"${line##*) }"  # state, parent, group
        [ "${fields[2]:-}" = "$1" ] && [ "${fields[0]}" != Z ] && return 0
    done
    return 1
}

end_step() {
    [ -n "$step_pid" ] || return 0
    kill -TERM -- "-$step_pid" 2>/dev/null || kill -TERM "$step_pid" 2>/dev/null || true
    local deadline=$((SECONDS + 5))
    while group_alive "$step_pid" && [ $SECONDS -lt $deadline ]; do sleep 0.1; done
    kill -KILL -- "-$step_pid" 2>/dev/null || true
    wait "$step_pid" 2>/dev/null || true
    step_pid=
}

interrupted() {
    trap '' INT TERM HUP  # a second Ctrl+C, or the terminal closing, would cut the clean-up short
    exec 2>&"$steps_said"
    say "interrupted${step_what:+ while waiting for $step_what}"
    end_step
    case $step_what in
    "apt-get to install"*) [ -z "$(dpkg --audit 2>/dev/null)" ] ||
        say "dpkg was stopped half way; as root, \`dpkg --configure -a\` finishes its work" ;;
    esac
    if declare -F on_interrupt >/dev/null; then on_interrupt || true; fi
    steps_exit_trap
    trap - "$1"
    kill -s "$1" $$
}

# The EXIT trap, run here once: bash skips it when it dies of a TERM or HUP that was trapped before
# the EXIT trap was set.
steps_exit_trap() {
    local command
    command=$(trap -p EXIT)  # trap -- 'COMMAND' EXIT
    [ -n "$command" ] || return 0
    command=${command#trap -- } && command=${command% EXIT} && eval "command=$command"
    trap - EXIT
    eval "$command" || true
}
trap 'interrupted INT' INT
trap 'interrupted TERM' TERM
