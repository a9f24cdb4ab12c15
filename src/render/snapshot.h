// A picture of the current frame, drawn by the same code as the window.
#pragma once

#include "app/window_view.h"
#include "core/state.h"

// Draws the frame that the window would show for s into a 600 x 600 GLUT window
// on the X display and writes it to path as an RGB PNG. Returns 0 on success;
// without a usable display, or when the file cannot be written, prints one line
// to stderr, writes no file and returns nonzero.
int RenderSnapshotPNG(const rg::Sim& s, const char* path);
// The same for the window's view v: its panels and its camera.
int RenderSnapshotPNG(const rg::Sim& s, const rg::WindowView& v, const char* path);
