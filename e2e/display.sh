# Sourced by the scripts that need a private X display of their own.
# start_display DIR: Xvfb on a free display, its process id in $xvfb_pid, DISPLAY exported;
# waits at most 20 s. stop_display ends it.
xvfb_pid=
start_display() {
    Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$1/display" >"$1/xvfb.log" 2>&1 9>&- &
    xvfb_pid=$!
    local deadline=$((SECONDS + 20))
    until [ -s "$1/display" ]; do
        if [ $SECONDS -ge $deadline ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
            echo "the virtual display did not start within 20 s: $(cat "$1/xvfb.log")" >&2
            return 1
        fi
        sleep 0.1
    done
    export DISPLAY=:$(head -n 1 "$1/display")
}
stop_display() {
    [ -n "$xvfb_pid" ] || return 0
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=
}
