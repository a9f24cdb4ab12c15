#!/usr/bin/env bash
# Resizing the window: the overlay keeps its 600 x 600 layout (its lines move
# with the window's height and width), the scene stretches with the window, and
# going back to 600 x 600 gives the first picture again.
# usage: check_resize.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
RG="${1:?build directory}/rollgrasp"
[ -x "$RG" ] || fail "no program $RG"

start_xvfb
start_app

W=900 H=450
xdotool windowsize "$WID" $W $H
new_frame first wide
[ "$(img size "$WORK/wide.xwd")" = "$W $H" ] || fail "window did not become ${W}x${H}"

# layout y (text baseline, counted from the bottom of the 600 x 600 space) ->
# top of an 18-pixel text band in the resized window
band_top() { echo $(( H - $1 * H / 600 - 14 )); }
at_least "$(count wide dark 0 "$(band_top 580)" 560 18)" 300 "dark pixels of the first help row near the top"
at_least "$(count wide dark 0 "$(band_top 340)" 290 18)" 150 "dark pixels of the mode line"
at_least "$(count wide dark 0 "$(band_top 20)" 290 18)" 150 "dark pixels of the hand line at the bottom"
# the cylinder's core region, stretched by 900/600 across and 450/600 down
at_least "$(count wide red 600 225 225 75)" 13000 "red cylinder pixels in the stretched core"
at_most "$(count wide red 0 0 500 450)" 10 "red pixels left of the stretched cylinder"

xdotool windowsize "$WID" 600 600
new_frame wide back
at_most "$(differ first back 0 0 600 600)" 0 "pixels that differ from the first picture after resizing back"
echo PASS
