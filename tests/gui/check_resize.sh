#!/usr/bin/env bash
# Resizing the window: the scene keeps its shape (a wider window shows more at
# the sides, nothing is stretched), the overlay keeps its rows at the top and
# bottom edges, a small window keeps the text rows apart, and going back to
# 600 x 600 gives the first picture again.
# usage: check_resize.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
RG="${1:?build directory}/rollgrasp"
[ -x "$RG" ] || fail "no program $RG"

start_xvfb
start_app
# width / height of the red cylinder, in hundredths
shape() { img bbox "$WORK/$1.xwd" red 0 0 2000 2000 | awk '{ print int(100 * ($3 - $1 + 1) / ($4 - $2 + 1)) }'; }
shape0=$(shape first)
red0=$(count first red 0 0 600 600)

W=1000 H=700
xdotool windowsize "$WID" $W $H
new_frame first wide
[ "$(img size "$WORK/wide.xwd")" = "$W $H" ] || fail "window did not become ${W}x${H}"
shape1=$(shape wide)
[ $(( shape1 - shape0 )) -le 4 ] && [ $(( shape0 - shape1 )) -le 4 ] ||
  fail "the cylinder's width/height went from $shape0 to $shape1 in a ${W}x${H} window"
note "cylinder shape kept: width/height $shape0 -> $shape1 (/100)"
# the same scene, uniformly $H/600 larger: about (7/6)^2 of the red pixels
red1=$(count wide red 0 0 $W $H)
at_least "$red1" $(( red0 * 120 / 100 )) "red pixels in the ${W}x${H} window (600x600: $red0)"
at_most "$red1" $(( red0 * 155 / 100 )) "red pixels in the ${W}x${H} window (stretched would be about $(( red0 * 194 / 100 )))"
at_least "$(count wide dark 0 0 560 20)" 300 "dark pixels of the first help row at the top"
at_least "$(count wide dark 0 $(( H - 40 )) 290 30)" 150 "dark pixels of the hand line at the bottom"

W=400 H=400
xdotool windowsize "$WID" $W $H
new_frame wide small
at_least "$(img runs "$WORK/small.xwd" dark 0 0 60 160)" 11 "separate help rows in a 400x400 window"
at_least "$(img runs "$WORK/small.xwd" dark 0 170 60 70)" 3 "separate mode-panel rows in a 400x400 window"

xdotool windowsize "$WID" 600 600
new_frame small back
at_most "$(differ first back 0 0 600 600)" 0 "pixels that differ from the first picture after resizing back"
echo PASS
