#!/usr/bin/env bash
# The overlay composed into large bitmaps equals the overlay drawn one character
# at a time, pixel for pixel (tests/gl/overlay_pixels.cpp), in a private Xvfb.
# usage: check_overlay_pixels.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
BUILD="${1:?build directory}"
PROG="$BUILD/test_overlay_pixels"
[ -x "$PROG" ] || fail "no test program $PROG"
start_xvfb
"$PROG" || fail "the overlay differs from the drawing one character at a time"
echo PASS
