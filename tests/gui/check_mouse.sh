#!/usr/bin/env bash
# The mouse camera: a left drag turns the view about the scene, a right drag and
# a shift-left drag move it, the wheel zooms, Home and F5 give the start-up view
# back; the view keys of mode 'I' still work with it and combine with it.
# usage: check_mouse.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
RG="${1:?build directory}/rollgrasp"
[ -x "$RG" ] || fail "no program $RG"

start_xvfb
start_app

# drag BUTTON X0 Y0 X1 Y1 [MODIFIER]: a drag in steps, in window coordinates
drag() {
  local b=$1 x0=$2 y0=$3 x1=$4 y1=$5 mod=${6:-} i
  xdotool windowfocus "$WID" 2>/dev/null
  [ -n "$mod" ] && xdotool keydown "$mod"
  xdotool mousemove --window "$WID" "$x0" "$y0" mousedown "$b"
  for i in 1 2 3 4; do
    xdotool mousemove --window "$WID" $(( x0 + (x1 - x0) * i / 4 )) $(( y0 + (y1 - y0) * i / 4 ))
    sleep 0.05
  done
  xdotool mouseup "$b"
  [ -n "$mod" ] && xdotool keyup "$mod"
}
# left edge of the red cylinder in picture NAME
red_left() { img bbox "$WORK/$1.xwd" red 0 0 600 600 | cut -d' ' -f1; }
SCENE="300 0 300 600"   # the right half, where hand and work are; the overlay stays left

first_red=$(count first red 0 0 600 600)
first_left=$(red_left first)

# --- orbit: the picture of the scene changes, the overlay does not
drag 1 450 300 530 330
new_frame first orbit
at_least "$(differ first orbit $SCENE)" 5000 "scene pixels changed by a left drag"
at_most "$(differ first orbit 0 0 290 225)" 0 "help-text pixels changed by a left drag"

# --- Home: back to the start-up view, exactly
keys Home
new_frame orbit home
at_most "$(differ first home 0 0 600 600)" 0 "pixels that differ from the start-up picture after Home"

# --- pan with the right button: the cylinder follows the mouse to the left
drag 3 450 300 390 300
new_frame home pan
moved=$(( first_left - $(red_left pan) ))
[ "$moved" -ge 40 ] && [ "$moved" -le 80 ] || fail "a right drag of 60 pixels to the left moved the cylinder by $moved"
note "right drag of 60 pixels moved the cylinder's left edge by $moved pixels"
keys F5
new_frame pan home5
at_most "$(differ first home5 0 0 600 600)" 0 "pixels that differ from the start-up picture after F5"

# --- pan with shift and the left button
drag 1 450 300 450 360 shift
new_frame home5 shiftpan
top0=$(img bbox "$WORK/first.xwd" red 0 0 600 600 | cut -d' ' -f2)
top1=$(img bbox "$WORK/shiftpan.xwd" red 0 0 600 600 | cut -d' ' -f2)
[ $(( top1 - top0 )) -ge 40 ] || fail "a shift-left drag of 60 pixels down moved the cylinder by $(( top1 - top0 ))"
note "shift-left drag moved the cylinder down by $(( top1 - top0 )) pixels"
keys Home
new_frame shiftpan home2

# --- the wheel: away from the user zooms in (more red), towards zooms out
xdotool click --window "$WID" --repeat 3 --delay 80 4
new_frame home2 zoomin
at_least "$(count zoomin red 0 0 600 600)" $(( first_red * 13 / 10 )) "red pixels after zooming in (start-up: $first_red)"
xdotool click --window "$WID" --repeat 6 --delay 80 5
new_frame zoomin zoomout
at_most "$(count zoomout red 0 0 600 600)" $(( first_red * 9 / 10 )) "red pixels after zooming out (start-up: $first_red)"
keys Home
new_frame zoomout home3
at_most "$(differ first home3 0 0 600 600)" 0 "pixels that differ after the wheel and Home"

# --- mode 'I' turns with the mouse camera: both apply, Home undoes only the mouse
keys I q q q q q
wait_rows viewI 11100
shot turned
drag 1 450 300 520 300
new_frame turned turnedorbit
at_least "$(differ turned turnedorbit $SCENE)" 5000 "scene pixels changed by a drag after mode 'I' turns"
keys Q
new_frame turnedorbit both
at_least "$(differ turnedorbit both $SCENE)" 200 "scene pixels changed by 'Q' with the mouse camera on"
keys Home q
for i in $(seq 50); do
  shot back
  [ "$(differ turned back 0 0 600 600)" = 0 ] && break
  sleep 0.15
done
at_most "$(differ turned back 0 0 600 600)" 0 "pixels that differ from the turned view after Home and 'q'"
echo PASS
