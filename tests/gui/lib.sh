# Shared steps of the GUI checks: a private Xvfb server, the real rollgrasp in
# it, keys typed with xdotool, window screenshots with xwd, and the picture
# questions answered by img.py. Sourced by the check scripts; they run without
# standard input and without a display of their own.
set -u

GUI_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# In a sanitizer build the OpenGL driver's own allocations, which it keeps to
# the end of the process, would be reported as leaks of the program and turn
# its exit status into 1. Memory errors and undefined behaviour are still caught.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
TITLE_RE='^F:Robot Choice, O:Obstacle Set'
WORK=$(mktemp -d "${TMPDIR:-/tmp}/rg-gui.XXXXXX")
XVFB_PID=""
APP_PID=""
WID=""

cleanup() {
  [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
  wait 2>/dev/null
  if [ "${RG_GUI_KEEP:-0}" = 1 ]; then echo "pictures kept in $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  if [ -n "$APP_PID" ] && [ -s "$WORK/app.err" ]; then
    echo "--- rollgrasp stderr:" >&2
    tail -n 20 "$WORK/app.err" >&2
  fi
  exit 1
}

note() { echo "ok: $*"; }

need_tools() {
  local t
  for t in Xvfb xdotool xwd python3 "$@"; do
    command -v "$t" >/dev/null 2>&1 || fail "missing tool $t (scripts/install-deps.sh installs it)"
  done
}

img() { python3 "$GUI_DIR/img.py" "$@"; }

# rep C N: the character C N times, for long key strings ("rep s 200").
rep() { printf "%${2}s" "" | tr ' ' "$1"; }

# Starts Xvfb on a free display number and exports DISPLAY. -noreset keeps the
# server from resetting between the programs that connect to it one by one.
start_xvfb() {
  need_tools
  : >"$WORK/display"
  Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1024x768x24 3>"$WORK/display" \
    </dev/null >"$WORK/xvfb.log" 2>&1 &
  XVFB_PID=$!
  local i
  for i in $(seq 100); do
    if [ -s "$WORK/display" ] && grep -q '^[0-9]' "$WORK/display"; then
      export DISPLAY=":$(head -n1 "$WORK/display")"
      return 0
    fi
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  cat "$WORK/xvfb.log" >&2
  fail "Xvfb did not start"
}

# Waits for the visible window with the simulator's title; sets WID.
find_window() {
  local i
  WID=""
  for i in $(seq 150); do
    WID=$(xdotool search --onlyvisible --name "$TITLE_RE" 2>/dev/null | head -n1)
    [ -n "$WID" ] && return 0
    [ -n "$APP_PID" ] && ! kill -0 "$APP_PID" 2>/dev/null && fail "rollgrasp ended before its window appeared"
    sleep 0.1
  done
  fail "no window titled like '$TITLE_RE' appeared"
}

# Starts the program under test (default: the real rollgrasp) with no standard
# input, places its window at the screen's corner and gives it the focus.
start_app() {
  # RG_ARGS: options of the program for this check (word-split)
  "$RG" ${RG_ARGS:-} </dev/null >"$WORK/app.out" 2>"$WORK/app.err" &
  APP_PID=$!
  find_window
  xdotool windowmove "$WID" 0 0
  xdotool windowfocus "$WID" 2>/dev/null
  wait_drawn first
}

keys() {
  xdotool windowfocus "$WID" 2>/dev/null
  xdotool key --delay 60 "$@"
}

# shot NAME: the window's pixels into $WORK/NAME.xwd
shot() { xwd -id "$WID" -silent >"$WORK/$1.xwd" || fail "xwd could not capture the window"; }

# The window shows its first frame: the white background over most of the
# window and the help text at the top, into NAME.xwd. A window that is not yet
# painted is black (or undefined), which passes neither test, so a busy machine
# only makes this wait longer.
wait_drawn() {
  local i white help
  for i in $(seq 150); do
    shot "$1"
    white=$(img count "$WORK/$1.xwd" white 0 0 600 600)
    help=$(img count "$WORK/$1.xwd" dark 0 0 560 220)
    if [ "$white" -gt 200000 ] && [ "$help" -gt 1500 ] && [ "$help" -lt 20000 ]; then
      settle "$1"
      return 0
    fi
    sleep 0.1
  done
  fail "the window never showed its first frame (white pixels $white, dark help pixels $help)"
}

# wait_for NAME TEXT CMD...: takes screenshots NAME until the shell command CMD
# (which may read $WORK/NAME.xwd) succeeds, then settles it; fails with TEXT.
wait_for() {
  local name=$1 what=$2 i
  shift 2
  # WAIT_TRIES: more looks for content that takes long to come (a whole run under
  # the sanitizers on a loaded machine)
  for i in $(seq "${WAIT_TRIES:-100}"); do
    shot "$name"
    if eval "$*"; then [ "${LIVE:-0}" = 1 ] || settle "$name"; return 0; fi
    sleep 0.15
  done
  fail "$what (never seen in $name)"
}

# Re-takes NAME until two pictures in a row are equal.
settle() {
  local i
  for i in $(seq 30); do
    sleep 0.1
    xwd -id "$WID" -silent >"$WORK/$1.again.xwd"
    if cmp -s "$WORK/$1.xwd" "$WORK/$1.again.xwd"; then return 0; fi
    mv "$WORK/$1.again.xwd" "$WORK/$1.xwd"
  done
  fail "the window kept changing"
}

# new_frame PREV NAME: waits until the window differs from PREV.xwd, then
# settles it into NAME.xwd.
new_frame() {
  local i
  for i in $(seq 60); do
    shot "$2"
    if ! cmp -s "$WORK/$1.xwd" "$WORK/$2.xwd"; then settle "$2"; return 0; fi
    sleep 0.1
  done
  fail "the window did not change after the keys (still as in $1)"
}

# count NAME CLASS x y w h
count() { img count "$WORK/$1.xwd" "$2" "$3" "$4" "$5" "$6"; }

# differ A B x y w h: number of pixels that differ between A and B in the region
differ() { img diff "$WORK/$1.xwd" "$WORK/$2.xwd" "$3" "$4" "$5" "$6"; }

# at_least VALUE MIN WHAT
at_least() {
  [ "$1" -ge "$2" ] || fail "$3: $1 (expected at least $2)"
  note "$3: $1 >= $2"
}

# at_most VALUE MAX WHAT
at_most() {
  [ "$1" -le "$2" ] || fail "$3: $1 (expected at most $2)"
  note "$3: $1 <= $2"
}

# Waits up to $1 seconds for the program under test to end. Sets EXIT_STATUS
# to its exit status, or to "running" when it is still there.
wait_exit() {
  local i
  EXIT_STATUS=running
  for i in $(seq $(( $1 * 10 ))); do
    if ! kill -0 "$APP_PID" 2>/dev/null; then
      wait "$APP_PID"
      EXIT_STATUS=$?
      APP_PID=""
      return 0
    fi
    sleep 0.1
  done
}

# The mode panel: which of its five text rows (layout y = 340, 320, 300, 280,
# 260, left of the hand) hold text in screenshot NAME, e.g. 11100.
PANEL_X=0 PANEL_W=295
BAND_H=18
BANDS="246 266 286 306 326"
rows() {
  local out="" n
  for n in $(img bands "$WORK/$1.xwd" dark $PANEL_X $PANEL_W $BAND_H $BANDS); do
    if [ "$n" -ge 150 ]; then out="${out}1"; elif [ "$n" -le 5 ]; then out="${out}0"; else out="${out}?"; fi
  done
  echo "$out"
}

# wait_rows NAME ROWS: takes screenshots until the panel shows ROWS. With LIVE=1
# (a window that keeps changing, as while it plays) the picture is not settled.
wait_rows() {
  local i
  for i in $(seq 75); do
    shot "$1"
    if [ "$(rows "$1")" = "$2" ]; then [ "${LIVE:-0}" = 1 ] || settle "$1"; return 0; fi
    sleep 0.2
  done
  fail "panel rows $(rows "$1") in $1, expected $2"
}
