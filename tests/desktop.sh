# An X display of a test's own with a window manager on it, for the tests
# that drive a real program window: tests/ui/real_window_test.sh,
# tests/deb/deb_package_test.sh and, through tests/win/wine_desktop.sh, the
# Windows program under Wine. Sourced, not run:
#
#   source tests/desktop.sh
#   trap desktop_stop EXIT
#   desktop_start_display "$work/x" || fail "..."
#   desktop_start_wm "$work/x" || fail "..."
#   without_display "$program" SERVER USER PASSWORD COMPANY N
#
#   desktop_start_display D
#                       starts Xvfb (1024x768x24, the display number chosen by
#                       the server, no TCP, no reset when its last client
#                       leaves: a server in the middle of its reset refuses a
#                       client that connects then), its files in D (the screen also
#                       as the XWD file D/Xvfb_screen0, which reads far faster
#                       than a client can fetch it); exports DISPLAY, and
#                       XDG_RUNTIME_DIR as a folder of its own, and takes
#                       WAYLAND_DISPLAY and QT_QPA_PLATFORM away, so that a
#                       program started afterwards shows its window there.
#   desktop_start_wm D  starts openbox on that display and returns once it
#                       manages the screen (a window mapped before would be
#                       left unframed and uncentred); one that ends at once
#                       is started again.
#   desktop_stop        ends them (only the processes started here); safe to
#                       call twice and from an EXIT trap.
#   without_display CMD...
#                       runs CMD with no display of any kind, as a scheduler
#                       starts it.
#
# The two start functions return 1 with what went wrong on standard error.
# Safe under set -e.

desktop_xvfb_pid="" desktop_wm_pid=""

desktop_start_display() {
  local dir="$1" i
  mkdir -p "$dir" "$dir/runtime" && chmod 700 "$dir/runtime" || return 1
  : >"$dir/display"
  Xvfb -displayfd 7 -screen 0 1024x768x24 -nolisten tcp -noreset -fbdir "$dir" 7>"$dir/display" >"$dir/xvfb.log" 2>&1 &
  desktop_xvfb_pid=$!
  for i in $(seq 100); do
    [ -s "$dir/display" ] && break
    kill -0 "$desktop_xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -s "$dir/display" ]; then
    echo "Xvfb did not start: $(cat "$dir/xvfb.log")" >&2
    return 1
  fi
  DISPLAY=":$(head -n1 "$dir/display")"
  XDG_RUNTIME_DIR="$dir/runtime"
  export DISPLAY XDG_RUNTIME_DIR
  unset WAYLAND_DISPLAY QT_QPA_PLATFORM
}

desktop_start_wm() {
  local dir="$1" i attempt
  # A window manager that could not open the display it was given (seen once
  # on a loaded machine, the display answering a moment later) is started
  # again, at most three times.
  for attempt in 1 2 3; do
    openbox --sm-disable >"$dir/openbox.log" 2>&1 &
    desktop_wm_pid=$!
    for i in $(seq 100); do
      xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
      kill -0 "$desktop_wm_pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -0 "$desktop_wm_pid" 2>/dev/null && break
    echo "openbox ended at once (attempt $attempt): $(cat "$dir/openbox.log")" >&2
    sleep 0.5
  done
  echo "openbox did not start on $DISPLAY (Xvfb $(kill -0 "$desktop_xvfb_pid" 2>/dev/null && echo running || echo ended)): $(cat "$dir/openbox.log")" >&2
  return 1
}

desktop_stop() {
  [ -z "$desktop_wm_pid" ] || kill "$desktop_wm_pid" 2>/dev/null || true
  [ -z "$desktop_xvfb_pid" ] || kill "$desktop_xvfb_pid" 2>/dev/null || true
  desktop_wm_pid="" desktop_xvfb_pid=""
}

without_display() {
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@"
}
