// The entry points of the drawing code as a module that a program without a
// window loads only when it needs a picture (rollgrasp-batch --snapshot and
// --frames): a run that writes no picture then does not load GL, GLUT, X11 or
// libpng at all, which is most of such a program's start-up time.
#pragma once

#include <cstddef>
#include <string>

#include "app/window_view.h"
#include "core/state.h"

// The module's file name, found beside the program that loads it.
#define RG_RENDER_MODULE_FILE "librollgrasp-render.so"

extern "C" {
// rg::DisplayAvailable: 1 when an X display with OpenGL can be opened; else 0
// with the reason in why (at most n bytes, terminated).
int rg_render_display_available(char* why, std::size_t n);
// RenderSnapshotPNG: the frame the window would show for s, written to path.
// v: the window's view to draw (its panels and camera), nullptr for the start-up view.
int rg_render_snapshot_png(const rg::Sim* s, const rg::WindowView* v, const char* path);
// RenderSnapshotPNGData: the same picture as the bytes of a PNG file in *png, for a
// program that writes (and, on failure, removes) its output files itself.
int rg_render_snapshot_png_data(const rg::Sim* s, const rg::WindowView* v, std::string* png);
}
