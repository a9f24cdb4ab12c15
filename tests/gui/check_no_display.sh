#!/usr/bin/env bash
# Without a display the program says so in one line that names xvfb-run, and
# ends with a non-zero status instead of crashing.
# usage: check_no_display.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
RG="${1:?build directory}/rollgrasp"
[ -x "$RG" ] || fail "no program $RG"

expect_refusal() {  # expect_refusal WHAT, after running the program into $WORK/out, $WORK/err
  local rc=$1 what=$2
  [ "$rc" -ne 0 ] || fail "$what: exit status 0"
  [ "$rc" -lt 128 ] || fail "$what: ended by a signal (status $rc)"
  [ "$(wc -l <"$WORK/err")" -eq 1 ] || { cat "$WORK/err" >&2; fail "$what: expected one line on stderr"; }
  grep -q 'xvfb-run' "$WORK/err" || fail "$what: the message does not name xvfb-run: $(cat "$WORK/err")"
  note "$what: status $rc, $(cat "$WORK/err")"
}

env -u DISPLAY "$RG" </dev/null >"$WORK/out" 2>"$WORK/err"
expect_refusal $? "DISPLAY not set"

# a mistyped option of the program's own is refused with the usage, status 2, before
# anything else (it is not handed to the windowing toolkit)
for opt in --nowait --no-wiat --frames; do
  env -u DISPLAY "$RG" "$opt" </dev/null >"$WORK/out" 2>"$WORK/err"
  rc=$?
  [ "$rc" -eq 2 ] || fail "$opt: status $rc, expected 2"
  grep -q "unknown option $opt" "$WORK/err" && grep -q '^usage: rollgrasp' "$WORK/err" ||
    fail "$opt: no usage: $(cat "$WORK/err")"
done
note "unknown options refused with the usage, status 2"

# a plan time out of its range, or no number, is refused the same way
for value in inf 0 3601 5s ""; do
  env -u DISPLAY "$RG" "--plan-time=$value" </dev/null >"$WORK/out" 2>"$WORK/err"
  rc=$?
  [ "$rc" -eq 2 ] || fail "--plan-time=$value: status $rc, expected 2"
  grep -q "^rollgrasp: --plan-time needs a number of seconds above 0 and at most 3600" "$WORK/err" ||
    fail "--plan-time=$value: $(head -1 "$WORK/err")"
done
note "plan times beyond (0, 3600] refused, status 2"

# a display number with no server behind it
n=917
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$(( n + 1 )); done
DISPLAY=":$n" "$RG" </dev/null >"$WORK/out" 2>"$WORK/err"
expect_refusal $? "DISPLAY=:$n without a server"
grep -q ":$n" "$WORK/err" || fail "the message does not name the display :$n"
echo PASS
