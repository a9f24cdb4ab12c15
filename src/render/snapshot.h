// A picture of the current frame, drawn by the same code as the window.
#pragma once

#include <string>

#include "app/window_view.h"
#include "core/state.h"

// Draws the frame that the window would show for s into a 600 x 600 GLUT window
// on the X display and writes it to path as an RGB PNG, whole or not at all
// (core/output_file.h). Returns 0 on success; without a usable display, or when
// the file cannot be written (a path that is no regular file included), prints
// one line to stderr, leaves path as it was and returns nonzero.
int RenderSnapshotPNG(const rg::Sim& s, const char* path);
// The same for the window's view v: its panels and its camera.
int RenderSnapshotPNG(const rg::Sim& s, const rg::WindowView& v, const char* path);
// The same picture as the bytes of a PNG file in *png, for a caller that writes
// its files itself; 0 on success, else one line on stderr and nonzero.
int RenderSnapshotPNGData(const rg::Sim& s, const rg::WindowView& v, std::string* png);
// The frame of the window that is current (the program's own), drawn at its size as
// it shows it, as the bytes of a PNG file; 0 on success, else one line on stderr.
int WindowPNGData(const rg::Sim& s, const rg::WindowView& v, std::string* png);
