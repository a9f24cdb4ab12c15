// Loads the drawing module beside the running program on first use.
#pragma once

#include <string>

#include "app/window_view.h"
#include "core/state.h"

namespace rgbatch {

// The drawing entry points of the module, or false with *why saying what failed.
struct Renderer {
  int (*displayAvailable)(char* why, std::size_t n) = nullptr;
  int (*snapshotPng)(const rg::Sim* s, const rg::WindowView* v, const char* path) = nullptr;
  int (*snapshotPngData)(const rg::Sim* s, const rg::WindowView* v, std::string* png) = nullptr;
};
bool LoadRenderer(Renderer* out, std::string* why);

}  // namespace rgbatch
